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

    // Decoded close to `picture` (a gradient: upside down or mirrored is far
    // off), with libjpeg-turbo's tables for `quality`.
    static void checkJpeg(const QString& file, const QImage& picture, int quality,
                          double maxError) {
        const double error = JpegProbe::meanError(file, picture);
        QVERIFY2(error < maxError, qPrintable(QString::number(error)));
        QVERIFY(JpegProbe::hasQualityTables(file, quality));
    }

private Q_SLOTS:
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
        ::umask(027); // this process's new files follow it
        QVERIFY(save(m_library, width, 23, file, quality));
        struct stat info {};
        QCOMPARE(::stat(name.constData(), &info), 0); // before a read touches atime
        QCOMPARE(int(info.st_mode & 07777), mode != 0 ? mode : 0640);
        QCOMPARE(info.st_atim.tv_nsec == old[0].tv_nsec && info.st_atim.tv_sec == old[0].tv_sec &&
                     info.st_mtim.tv_nsec == old[1].tv_nsec && info.st_mtim.tv_sec == old[1].tv_sec,
                 mode != 0);
        checkJpeg(file, TestData::gradient(width, 23), quality, maxError);
    }

    // A library that does not start leaves the old file; a write that fails
    // leaves no file.
    void failureIsReported() {
        const QString file = m_dir.filePath("failed.jpg");
        JpegExport::Error error;
        m_library.refuse = true;
        const bool saved = writeFile(file, "previous") && save(m_library, 8, 8, file, 90, &error);
        m_library.refuse = false;
        QVERIFY(!saved);
        QCOMPARE(QStringList({QString::number(error.number), error.source, error.description,
                              readFile(file)}),
                 QStringList({"26001", "tst_jpegexport.mIntelJPEGLibrary",
                              "Failed to initialise the IJL library: -17", "previous"}));
        // Without pixels the library refuses the record.
        QVERIFY(!save(m_library, 0, 8, file, 90, &error) && !QFile::exists(file));
        QCOMPARE(error.description, "Failed to save to JPG -4");
    }

    // Read by content, whatever the name says; a JPEG file that cannot be
    // written is still named. A picture that cannot be loaded changes nothing.
    void snapshot_data() {
        QTest::addColumn<QByteArray>("format"); // empty: the capture control's own
        QTest::addColumn<int>("imageFormat");
        QTest::addColumn<int>("cutTo"); // bytes of the file kept, -1 for all
        QTest::newRow("24-bit DIB, odd width") << QByteArray() << int(QImage::Format_RGB32) << -1;
        QTest::newRow("8-bit bmp") << QByteArray("BMP") << int(QImage::Format_Indexed8) << -1;
        QTest::newRow("png") << QByteArray("PNG") << int(QImage::Format_RGB32) << -1;
        QTest::newRow("DIB cut in the info header")
            << QByteArray() << int(QImage::Format_RGB32) << 20;
    }
    void snapshot() {
        QFETCH(QByteArray, format);
        QFETCH(int, imageFormat);
        QFETCH(int, cutTo);
        m_trace.clear();
        // Undithered, so the error left is that of the encoding.
        const QImage picture = TestData::gradient(161, 121).convertToFormat(
            QImage::Format(imageFormat), Qt::ThresholdDither | Qt::AvoidDither);
        cDIBSection dib; // as the capture control writes a snapshot
        dib.CreateFromPicture(picture);
        QVERIFY(format.isEmpty() ? DibFile::write(m_dibFile, dib.DIBSectionBitsPtr(), dib.Width(),
                                                  dib.Height(), std::size_t(dib.BytesPerScanLine()))
                                 : picture.save(m_dibFile, format.constData()));
        QVERIFY((cutTo < 0 || QFile::resize(m_dibFile, cutTo)) &&
                writeFile(m_jpgFile, "previous jpeg"));
        const QImage earlier = TestData::gradient(3, 3);
        m_snapshot.Picture1 = earlier;
        m_snapshot.SnapshotJpgFile = "/earlier/StillShot.jpg";
        QCOMPARE(m_snapshot.SaveJPGPic(m_dibFile, m_vidPath), cutTo < 0);
        if (cutTo >= 0) {
            QCOMPARE(
                QStringList({m_snapshot.SnapshotJpgFile, readFile(m_jpgFile), m_trace.join(',')}),
                QStringList({"/earlier/StillShot.jpg", "previous jpeg", "SaveJPGPic - Step 1"}));
            QCOMPARE(m_snapshot.Picture1, earlier);
            return;
        }
        QCOMPARE(m_snapshot.SnapshotJpgFile, m_jpgFile);
        QCOMPARE(m_trace, QStringList({"SaveJPGPic - Step 1", "SaveJPGPic - Step 2",
                                       "SaveJPGPic - Step 3"}));
        checkJpeg(m_jpgFile, picture, 90, 5.0);
        QVERIFY(!m_snapshot.SaveJPGPic(m_dibFile, m_vidPath + "no-such-dir/"));
        QCOMPARE(m_snapshot.SnapshotJpgFile, m_vidPath + "no-such-dir/StillShot.jpg");
    }
};

QTEST_GUILESS_MAIN(tst_JpegExport)
#include "tst_jpegexport.moc"
