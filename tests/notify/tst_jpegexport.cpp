// A DIB section written as a JPEG file: the picture and quality decoded back
// with libjpeg-turbo, the identity kept from a replaced file, and the two
// error reports.
#include "JpegExport.h"
#include "JpegLibrary.h"
#include "JpegProbe.h"
#include "cDIBSection.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QImage scene(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y, qRgb(30 + 190 * x / width, 40 + 170 * y / height, y < height / 2 ? 200 : 40));
    return image;
}

bool writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct stat statOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info;
}

bool setTimes(const QString& path, timespec access, timespec modification) {
    const timespec times[2] = {access, modification};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// Stands in for a library whose initialisation fails.
class RefusingLibrary final : public JpegLibrary {
public:
    int ijlInit(JpegCoreProperties&) override { return -17; }
    int ijlWrite(JpegCoreProperties& p, int mode) override {
        ++writes;
        return JpegLibrary::ijlWrite(p, mode);
    }
    int writes = 0;
};

} // namespace

class tst_JpegExport final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    JpegLibrary m_library;
    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void pixelsSurviveTheRoundTrip_data() {
        QTest::addColumn<int>("width");
        QTest::newRow("pad 1") << 37;
        QTest::newRow("pad 2") << 38;
        QTest::newRow("pad 3") << 39;
        QTest::newRow("pad 0") << 40;
    }
    void pixelsSurviveTheRoundTrip() {
        QFETCH(int, width);
        const QImage picture = scene(width, 23);
        cDIBSection dib;
        dib.CreateFromPicture(picture);
        QCOMPARE(dib.BytesPerScanLine() - 3 * width, (4 - (3 * width) % 4) % 4);
        JpegExport::Error error;
        QVERIFY(JpegExport::SaveDibAsJpg(m_library, dib, path("round.jpg"), 90, &error));

        const JpegProbe::Result jpeg = JpegProbe::read(path("round.jpg"));
        QVERIFY2(jpeg.ok, qPrintable(jpeg.error));
        QCOMPARE(jpeg.width, width);
        QCOMPARE(jpeg.height, 23);
        QCOMPARE(jpeg.components, 3);
        const double meanError = JpegProbe::meanError(jpeg.pixels, picture);
        QVERIFY2(meanError < 4.0, qPrintable(QString::number(meanError)));
        // Top and bottom not exchanged, left and right not exchanged.
        QVERIFY(JpegProbe::meanError(jpeg.pixels, picture.mirrored(false, true)) > 20.0);
        QVERIFY(JpegProbe::meanError(jpeg.pixels, picture.mirrored(true, false)) > 20.0);
    }

    void qualityShowsInTheQuantisationTables_data() {
        QTest::addColumn<int>("quality");
        QTest::newRow("90") << 90;
        QTest::newRow("50") << 50;
        QTest::newRow("20") << 20;
    }
    void qualityShowsInTheQuantisationTables() {
        QFETCH(int, quality);
        cDIBSection dib;
        dib.CreateFromPicture(scene(32, 16));
        QVERIFY(JpegExport::SaveDibAsJpg(m_library, dib, path("quality.jpg"), quality));
        const JpegProbe::Result jpeg = JpegProbe::read(path("quality.jpg"));
        QVERIFY2(jpeg.ok, qPrintable(jpeg.error));
        QVERIFY(jpeg.luminance == JpegProbe::standardTable(false, quality));
        QVERIFY(jpeg.chrominance == JpegProbe::standardTable(true, quality));
        // Tables of a neighbouring quality differ, so the match is no accident.
        QVERIFY(jpeg.luminance != JpegProbe::standardTable(false, quality + 1));
    }

    void newFileHasCurrentTimesAndDefaultPermissions() {
        const QString file = path("fresh.jpg");
        QFile::remove(file);
        const mode_t previousMask = ::umask(027);
        const qint64 before = QDateTime::currentSecsSinceEpoch();
        cDIBSection dib;
        dib.CreateFromPicture(scene(8, 8));
        const bool saved = JpegExport::SaveDibAsJpg(m_library, dib, file, 90);
        const qint64 after = QDateTime::currentSecsSinceEpoch();
        ::umask(previousMask);
        QVERIFY(saved);
        const struct stat info = statOf(file);
        QCOMPARE(info.st_mode & 07777, mode_t(0640));
        QVERIFY(info.st_mtim.tv_sec >= before - 1 && info.st_mtim.tv_sec <= after + 1);
    }

    void replacementKeepsTimesAndPermissions() {
        const QString file = path("kept.jpg");
        QVERIFY(writeFile(file, "an older snapshot"));
        const timespec access{981'173'106, 123'456'789};         // 2001-02-03
        const timespec modification{1'015'051'335, 987'654'321}; // 2002-03-02
        QVERIFY(setTimes(file, access, modification));
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0604), 0);

        cDIBSection dib;
        dib.CreateFromPicture(scene(16, 16));
        for (int round = 0; round < 2; ++round) {
            QVERIFY(JpegExport::SaveDibAsJpg(m_library, dib, file, 90));
            // Looked at before reading the content, which may touch atime.
            const struct stat info = statOf(file);
            QCOMPARE(info.st_mode & 07777, mode_t(0604));
            QCOMPARE(info.st_atim.tv_sec, access.tv_sec);
            QCOMPARE(info.st_atim.tv_nsec, access.tv_nsec);
            QCOMPARE(info.st_mtim.tv_sec, modification.tv_sec);
            QCOMPARE(info.st_mtim.tv_nsec, modification.tv_nsec);
            QVERIFY(readFile(file).startsWith("\xFF\xD8\xFF"));
            QVERIFY(setTimes(file, access, modification)); // undo the read's atime update
        }
    }

    void readOnlyFileIsReplacedAndStaysReadOnly() {
        const QString file = path("readonly.jpg");
        QVERIFY(writeFile(file, "old"));
        QCOMPARE(::chmod(QFile::encodeName(file).constData(), 0444), 0);
        cDIBSection dib;
        dib.CreateFromPicture(scene(8, 8));
        QVERIFY(JpegExport::SaveDibAsJpg(m_library, dib, file, 90));
        QCOMPARE(statOf(file).st_mode & 07777, mode_t(0444));
        QVERIFY(JpegProbe::read(file).ok);
    }

    void initialisationFailureTouchesNothing() {
        const QString file = path("untouched.jpg");
        QVERIFY(writeFile(file, "previous"));
        const timespec modification{1'000'000'000, 0};
        QVERIFY(setTimes(file, modification, modification));
        RefusingLibrary library;
        cDIBSection dib;
        dib.CreateFromPicture(scene(8, 8));
        JpegExport::Error error;
        QVERIFY(!JpegExport::SaveDibAsJpg(library, dib, file, 90, &error));
        QCOMPARE(error.number, 26001);
        QCOMPARE(error.description, QStringLiteral("Failed to initialise the IJL library: -17"));
        QCOMPARE(error.source,
                 QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() +
                     QStringLiteral(".mIntelJPEGLibrary"));
        QVERIFY(error.source.startsWith(u"tst_jpegexport"));
        QCOMPARE(library.writes, 0);
        QCOMPARE(statOf(file).st_mtim.tv_sec, modification.tv_sec);
        QCOMPARE(readFile(file), QByteArray("previous"));
    }

    void writeFailureReportsTheCode() {
        cDIBSection dib;
        dib.CreateFromPicture(scene(8, 8));
        JpegExport::Error error;
        QVERIFY(!JpegExport::SaveDibAsJpg(m_library, dib, path("no/such/dir.jpg"), 90, &error));
        QCOMPARE(error.number, 26001);
        QCOMPARE(error.description,
                 QStringLiteral("Failed to save to JPG %1").arg(JpegLibrary::FileOpenFailed));
        QVERIFY(error.source.endsWith(u".mIntelJPEGLibrary"));
    }

    void failedWriteLeavesNoFile() {
        // The old file goes first; a section without pixels cannot be written.
        const QString file = path("gone.jpg");
        QVERIFY(writeFile(file, "previous"));
        cDIBSection empty;
        QVERIFY(!empty.Create(0, 8));
        JpegExport::Error error;
        QVERIFY(!JpegExport::SaveDibAsJpg(m_library, empty, file, 90, &error));
        QCOMPARE(error.description,
                 QStringLiteral("Failed to save to JPG %1").arg(JpegLibrary::InvalidRecord));
        QVERIFY(!QFile::exists(file));
    }

    void qualityOutOfRangeFails() {
        cDIBSection dib;
        dib.CreateFromPicture(scene(8, 8));
        JpegExport::Error error;
        QVERIFY(!JpegExport::SaveDibAsJpg(m_library, dib, path("q.jpg"), 0, &error));
        QVERIFY(error.description.startsWith(u"Failed to save to JPG "));
        QVERIFY(!QFile::exists(path("q.jpg")));
    }
};

QTEST_GUILESS_MAIN(tst_JpegExport)
#include "tst_jpegexport.moc"
