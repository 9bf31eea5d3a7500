// A DIB section written as a JPEG file, and the snapshot "StillShot.dib"
// converted to "StillShot.jpg": decoded back, the identity of a replaced file
// kept, the failures reported; pictures that cannot be loaded change nothing.
#include "DibFile.h"
#include "JpegExport.h"
#include "JpegLibrary.h"
#include "JpegProbe.h"
#include "JpegSnapshot.h"
#include "TestData.h"
#include "cDIBSection.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using TestData::readFile;
using TestData::writeFile;

namespace {

// The real library, refusing to start when told to.
struct RefusingLibrary final : JpegLibrary {
    int ijlInit(JpegCoreProperties& p) override { return refuse ? -17 : JpegLibrary::ijlInit(p); }
    bool refuse = false;
};

bool save(JpegLibrary& library, int width, int height, const QString& file, int quality,
          JpegExport::Error* error = nullptr) {
    cDIBSection dib;
    dib.CreateFromPicture(TestData::gradient(width, height));
    return JpegExport::SaveDibAsJpg(library, dib, file, quality, error);
}

} // namespace

class tst_JpegExport final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    RefusingLibrary m_library;
    const QString m_vidPath = m_dir.path() + u'/';
    const QString m_dibFile = m_vidPath + "StillShot.dib";
    const QString m_jpgFile = m_vidPath + "StillShot.jpg";
    QStringList m_trace;
    JpegSnapshot m_snapshot{m_library, [this](const QString& where, const QString& text) {
                                m_trace << where + " - " + text;
                            }};

    // The picture as the capture control writes a snapshot.
    bool writeDib(const QImage& picture) const {
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        return DibFile::write(m_dibFile, dib.DIBSectionBitsPtr(), dib.Width(), dib.Height(),
                              std::size_t(dib.BytesPerScanLine()));
    }

    // Decoded close to `picture` (a gradient: upside down or mirrored is far
    // off), with libjpeg-turbo's tables for `quality`.
    static void checkJpeg(const QString& file, const QImage& picture, int quality,
                          double maxError) {
        const double error = JpegProbe::meanError(file, picture);
        QVERIFY2(error < maxError, qPrintable(QString::number(error)));
        QVERIFY(JpegProbe::hasQualityTables(file, quality));
    }

private Q_SLOTS:
    void init() {
        QFile::remove(m_dibFile);
        m_trace.clear();
    }

    // Decoded back at the quality asked for, with each row padding; a
    // replaced file keeps its mode and times, a new one follows the umask.
    void roundTrip_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("quality");
        QTest::addColumn<double>("maxError"); // mean per channel
        QTest::addColumn<int>("mode");        // of the file replaced; 0 for none
        QTest::newRow("row pad 1, quality 90, new file") << 37 << 90 << 4.0 << 0;
        QTest::newRow("row pad 2, quality 50, 0604") << 38 << 50 << 7.0 << 0604;
        QTest::newRow("row pad 3, quality 20, read-only") << 39 << 20 << 10.0 << 0444;
        QTest::newRow("row pad 0, quality 75, new file") << 40 << 75 << 5.0 << 0;
    }
    void roundTrip() {
        QFETCH(int, width);
        QFETCH(int, quality);
        QFETCH(double, maxError);
        QFETCH(int, mode);
        const QString file = m_dir.filePath("round.jpg");
        const QByteArray name = QFile::encodeName(file);
        QFile::remove(file);
        const timespec old[2] = {{981'173'106, 123'456'789}, {1'015'051'335, 987'654'321}};
        if (mode != 0)
            QVERIFY(writeFile(file, "an older snapshot") &&
                    ::utimensat(AT_FDCWD, name.constData(), old, 0) == 0 &&
                    ::chmod(name.constData(), mode_t(mode)) == 0);
        const mode_t previousMask = ::umask(027);
        const bool saved = save(m_library, width, 23, file, quality);
        ::umask(previousMask);
        QVERIFY(saved);
        struct stat info {};
        QCOMPARE(::stat(name.constData(), &info), 0); // before a read touches atime
        QCOMPARE(int(info.st_mode & 07777), mode != 0 ? mode : 0640);
        QCOMPARE(info.st_atim.tv_nsec == old[0].tv_nsec && info.st_atim.tv_sec == old[0].tv_sec &&
                     info.st_mtim.tv_nsec == old[1].tv_nsec && info.st_mtim.tv_sec == old[1].tv_sec,
                 mode != 0);
        checkJpeg(file, TestData::gradient(width, 23), quality, maxError);
    }

    void failureIsReported_data() {
        QTest::addColumn<bool>("refuseInit");
        QTest::addColumn<int>("width"); // 0: no pixels
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("description");
        QTest::newRow("initialisation: nothing touched")
            << true << 8 << "kept.jpg"
            << "Failed to initialise the IJL library: -17";
        QTest::newRow("no such folder") << false << 8 << "no/dir.jpg"
                                        << "Failed to save to JPG -6";
        QTest::newRow("no pixels: the old file is gone") << false << 0 << "gone.jpg"
                                                         << "Failed to save to JPG -4";
    }
    void failureIsReported() {
        QFETCH(bool, refuseInit);
        QFETCH(int, width);
        QFETCH(QString, file);
        QFETCH(QString, description);
        file = m_dir.filePath(file);
        writeFile(file, "previous"); // fails where the folder is missing
        m_library.refuse = refuseInit;
        JpegExport::Error error;
        const bool saved = save(m_library, width, 8, file, 90, &error);
        m_library.refuse = false;
        QVERIFY(!saved);
        QCOMPARE(QStringList({QString::number(error.number), error.source, error.description}),
                 QStringList({"26001", "tst_jpegexport.mIntelJPEGLibrary", description}));
        QCOMPARE(readFile(file), refuseInit ? QByteArray("previous") : QByteArray());
        QCOMPARE(QFile::exists(file), refuseInit);
    }

    // Read by content, whatever the name says; a JPEG file that cannot be
    // written is still named, as the mail needs the name of what was meant.
    void contentDecidesTheFormat_data() {
        QTest::addColumn<QByteArray>("format"); // empty: the capture control's own
        QTest::addColumn<int>("imageFormat");
        QTest::newRow("24-bit DIB, odd width") << QByteArray() << int(QImage::Format_RGB32);
        QTest::newRow("8-bit bmp") << QByteArray("BMP") << int(QImage::Format_Indexed8);
        QTest::newRow("png") << QByteArray("PNG") << int(QImage::Format_RGB32);
    }
    void contentDecidesTheFormat() {
        QFETCH(QByteArray, format);
        QFETCH(int, imageFormat);
        // Undithered, so the error left is that of the encoding.
        const QImage picture = TestData::gradient(161, 121).convertToFormat(
            QImage::Format(imageFormat), Qt::ThresholdDither | Qt::AvoidDither);
        QVERIFY(format.isEmpty() ? writeDib(picture) : picture.save(m_dibFile, format.constData()));
        QVERIFY(m_snapshot.SaveJPGPic(m_dibFile, m_vidPath));
        QCOMPARE(m_snapshot.SnapshotJpgFile, m_jpgFile);
        QCOMPARE(m_snapshot.Picture1.size(), picture.size());
        QCOMPARE(m_trace, QStringList({"SaveJPGPic - Step 1", "SaveJPGPic - Step 2",
                                       "SaveJPGPic - Step 3"}));
        checkJpeg(m_jpgFile, picture, 90, 5.0);
        QVERIFY(QFile::exists(m_dibFile));
        QVERIFY(!m_snapshot.SaveJPGPic(m_dibFile, m_vidPath + "no-such-dir/"));
        QCOMPARE(m_snapshot.SnapshotJpgFile, m_vidPath + "no-such-dir/StillShot.jpg");
    }

    void unloadablePictureChangesNothing_data() {
        QTest::addColumn<QByteArray>("content"); // null: no file
        QTest::newRow("no file") << QByteArray();
        QTest::newRow("bitmap magic, garbage after") << "BM" + QByteArray(60, '\x7f');
        QVERIFY(writeDib(TestData::gradient(4, 4)));
        QTest::newRow("cut in the info header") << readFile(m_dibFile).left(20);
    }
    void unloadablePictureChangesNothing() {
        QFETCH(QByteArray, content);
        QVERIFY(content.isNull() || writeFile(m_dibFile, content));
        QVERIFY(writeFile(m_jpgFile, "previous jpeg"));
        const QImage earlier = TestData::gradient(3, 3);
        m_snapshot.Picture1 = earlier;
        m_snapshot.SnapshotJpgFile = "/earlier/StillShot.jpg";
        QVERIFY(!m_snapshot.SaveJPGPic(m_dibFile, m_vidPath));
        QCOMPARE(m_snapshot.SnapshotJpgFile, QStringLiteral("/earlier/StillShot.jpg"));
        QCOMPARE(m_snapshot.Picture1, earlier);
        QCOMPARE(m_trace, QStringList{"SaveJPGPic - Step 1"});
        QCOMPARE(readFile(m_jpgFile), QByteArray("previous jpeg"));
    }
};

QTEST_GUILESS_MAIN(tst_JpegExport)
#include "tst_jpegexport.moc"
