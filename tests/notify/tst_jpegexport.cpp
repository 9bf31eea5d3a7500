// A DIB section written as a JPEG file: decoded back with libjpeg-turbo, the
// identity of a replaced file kept, and the failures reported.
#include "JpegExport.h"
#include "JpegLibrary.h"
#include "JpegProbe.h"
#include "TestData.h"
#include "cDIBSection.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using TestData::readFile;
using TestData::writeFile;

namespace {

// The real library, refusing to start when told to, counting the writes.
struct CountingLibrary final : JpegLibrary {
    int ijlInit(JpegCoreProperties& p) override { return refuse ? -17 : JpegLibrary::ijlInit(p); }
    int ijlWrite(JpegCoreProperties& p, int mode) override {
        ++writes;
        return JpegLibrary::ijlWrite(p, mode);
    }
    bool refuse = false;
    int writes = 0;
};

qint64 nanoseconds(const timespec& t) {
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

} // namespace

class tst_JpegExport final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    CountingLibrary m_library;

private Q_SLOTS:
    void pixelsAndQualityRoundTrip_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("quality");
        QTest::addColumn<double>("maxError"); // mean per channel
        QTest::newRow("row pad 1, quality 90") << 37 << 90 << 4.0;
        QTest::newRow("row pad 2, quality 50") << 38 << 50 << 7.0;
        QTest::newRow("row pad 3, quality 20") << 39 << 20 << 10.0;
        QTest::newRow("row pad 0, quality 75") << 40 << 75 << 5.0;
    }
    void pixelsAndQualityRoundTrip() {
        QFETCH(int, width);
        QFETCH(int, quality);
        QFETCH(double, maxError);
        const QImage picture = TestData::gradient(width, 23);
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        const QString file = m_dir.filePath("round.jpg");
        QVERIFY(JpegExport::SaveDibAsJpg(m_library, dib, file, quality));

        const JpegProbe::Result jpeg = JpegProbe::read(file);
        QVERIFY2(jpeg.ok, qPrintable(jpeg.error));
        QCOMPARE(QSize(jpeg.width, jpeg.height), picture.size());
        QCOMPARE(jpeg.components, 3);
        const double error = JpegProbe::meanError(jpeg.pixels, picture);
        QVERIFY2(error < maxError, qPrintable(QString::number(error)));
        // Neither upside down nor mirrored.
        QVERIFY(JpegProbe::meanError(jpeg.pixels, picture.mirrored(false, true)) > 20.0);
        QVERIFY(JpegProbe::meanError(jpeg.pixels, picture.mirrored(true, false)) > 20.0);
        QVERIFY(jpeg.luminance == JpegProbe::standardTable(false, quality));
        QVERIFY(jpeg.chrominance == JpegProbe::standardTable(true, quality));
        // A neighbouring quality has other tables, so the match is no accident.
        QVERIFY(jpeg.luminance != JpegProbe::standardTable(false, quality + 1));
    }

    void replacedFileKeepsItsIdentity_data() {
        QTest::addColumn<int>("mode"); // of the file replaced; 0 for none
        QTest::newRow("new file: umask 027") << 0;
        QTest::newRow("0604, old times") << 0604;
        QTest::newRow("read-only") << 0444;
    }
    void replacedFileKeepsItsIdentity() {
        QFETCH(int, mode);
        const QString file = m_dir.filePath("identity.jpg");
        const QByteArray name = QFile::encodeName(file);
        QFile::remove(file);
        const timespec old[2] = {{981'173'106, 123'456'789}, {1'015'051'335, 987'654'321}};
        if (mode != 0) {
            QVERIFY(writeFile(file, "an older snapshot"));
            QCOMPARE(::utimensat(AT_FDCWD, name.constData(), old, 0), 0);
            QCOMPARE(::chmod(name.constData(), mode_t(mode)), 0);
        }
        cDIBSection dib;
        dib.CreateFromPicture(TestData::gradient(16, 16));
        const mode_t previousMask = ::umask(027);
        const bool saved = JpegExport::SaveDibAsJpg(m_library, dib, file, 90);
        ::umask(previousMask);
        QVERIFY(saved);

        struct stat info {};
        QCOMPARE(::stat(name.constData(), &info), 0); // before a read touches atime
        QCOMPARE(int(info.st_mode & 07777), mode != 0 ? mode : 0640);
        if (mode != 0) {
            QCOMPARE(nanoseconds(info.st_atim), nanoseconds(old[0]));
            QCOMPARE(nanoseconds(info.st_mtim), nanoseconds(old[1]));
        } else {
            QVERIFY(qAbs(info.st_mtim.tv_sec - QDateTime::currentSecsSinceEpoch()) < 60);
        }
        QVERIFY(JpegProbe::read(file).ok);
    }

    void failureIsReported_data() {
        QTest::addColumn<bool>("refuseInit");
        QTest::addColumn<bool>("pixels");
        QTest::addColumn<int>("quality");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("description");
        QTest::newRow("initialisation: nothing touched")
            << true << true << 90 << "kept.jpg"
            << "Failed to initialise the IJL library: -17";
        QTest::newRow("no such folder") << false << true << 90 << "no/such/dir.jpg"
                                        << "Failed to save to JPG -6";
        QTest::newRow("no pixels: the old file is gone") << false << false << 90 << "gone.jpg"
                                                         << "Failed to save to JPG -4";
        QTest::newRow("quality 0") << false << true << 0 << "q.jpg"
                                   << "Failed to save to JPG -4";
    }
    void failureIsReported() {
        QFETCH(bool, refuseInit);
        QFETCH(bool, pixels);
        QFETCH(int, quality);
        QFETCH(QString, file);
        QFETCH(QString, description);
        file = m_dir.filePath(file);
        writeFile(file, "previous"); // fails where the folder is missing
        CountingLibrary library;
        library.refuse = refuseInit;
        cDIBSection dib;
        if (pixels)
            dib.CreateFromPicture(TestData::gradient(8, 8));
        else
            QVERIFY(!dib.Create(0, 8));
        JpegExport::Error error;
        QVERIFY(!JpegExport::SaveDibAsJpg(library, dib, file, quality, &error));
        QCOMPARE(error.number, 26001);
        QCOMPARE(error.source, QStringLiteral("tst_jpegexport.mIntelJPEGLibrary"));
        QCOMPARE(error.description, description);
        QCOMPARE(library.writes, refuseInit ? 0 : 1);
        QCOMPARE(readFile(file), refuseInit ? QByteArray("previous") : QByteArray());
        QCOMPARE(QFile::exists(file), refuseInit);
    }
};

QTEST_GUILESS_MAIN(tst_JpegExport)
#include "tst_jpegexport.moc"
