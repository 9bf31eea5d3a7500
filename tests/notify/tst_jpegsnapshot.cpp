// The snapshot conversion from the capture control's "StillShot.dib" to
// "StillShot.jpg": the file written, its quality, its trace, and the
// pictures that cannot be loaded.
#include "DibFile.h"
#include "JpegLibrary.h"
#include "JpegProbe.h"
#include "JpegSnapshot.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <vector>

namespace {

QImage scene(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y, qRgb(20 + 200 * x / width, 220 - 180 * y / height, x < width / 3 ? 60 : 180));
    return image;
}

// The picture as the capture control writes a snapshot.
bool writeDib(const QString& path, const QImage& picture) {
    const std::size_t stride = DibFile::paddedStride(picture.width());
    std::vector<std::uint8_t> rows(stride * std::size_t(picture.height()), 0);
    for (int y = 0; y < picture.height(); ++y) {
        std::uint8_t* line = rows.data() + stride * std::size_t(picture.height() - 1 - y);
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            line[3 * x] = std::uint8_t(qBlue(p));
            line[3 * x + 1] = std::uint8_t(qGreen(p));
            line[3 * x + 2] = std::uint8_t(qRed(p));
        }
    }
    return DibFile::write(path, rows.data(), picture.width(), picture.height(), stride);
}

bool writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_JpegSnapshot final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_vidPath;
    JpegLibrary m_library;
    QStringList m_trace;

    QString dibFile() const { return m_vidPath + QStringLiteral("StillShot.dib"); }
    QString jpgFile() const { return m_vidPath + QStringLiteral("StillShot.jpg"); }
    JpegSnapshot::Trace recorder() {
        return [this](const QString& where, const QString& text) {
            m_trace << where + QStringLiteral(" - ") + text;
        };
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_vidPath = m_dir.path() + u'/';
    }
    void init() {
        QFile::remove(dibFile());
        QFile::remove(jpgFile());
        m_trace.clear();
    }

    void convertsTheSnapshot() {
        const QImage picture = scene(640, 480);
        QVERIFY(writeDib(dibFile(), picture));
        JpegSnapshot snapshot(m_library, recorder());
        QVERIFY(snapshot.SaveJPGPic(dibFile(), m_vidPath));
        QCOMPARE(snapshot.SnapshotJpgFile, jpgFile());
        QCOMPARE(snapshot.Picture1.size(), QSize(640, 480));
        QCOMPARE(m_trace, QStringList({QStringLiteral("SaveJPGPic - Step 1"),
                                       QStringLiteral("SaveJPGPic - Step 2"),
                                       QStringLiteral("SaveJPGPic - Step 3")}));

        const JpegProbe::Result jpeg = JpegProbe::read(jpgFile());
        QVERIFY2(jpeg.ok, qPrintable(jpeg.error));
        QCOMPARE(jpeg.width, 640);
        QCOMPARE(jpeg.height, 480);
        QVERIFY(jpeg.luminance == JpegProbe::standardTable(false, 90));
        QVERIFY(jpeg.chrominance == JpegProbe::standardTable(true, 90));
        const double error = JpegProbe::meanError(jpeg.pixels, picture);
        QVERIFY2(error < 3.0, qPrintable(QString::number(error)));
        QVERIFY(QFile::exists(dibFile()));
    }

    void oddWidthSnapshot() {
        const QImage picture = scene(161, 121); // 483 bytes a row, 1 of padding
        QVERIFY(writeDib(dibFile(), picture));
        JpegSnapshot snapshot(m_library);
        QVERIFY(snapshot.SaveJPGPic(dibFile(), m_vidPath));
        const JpegProbe::Result jpeg = JpegProbe::read(jpgFile());
        QVERIFY2(jpeg.ok, qPrintable(jpeg.error));
        QCOMPARE(QSize(jpeg.width, jpeg.height), QSize(161, 121));
        QVERIFY(JpegProbe::meanError(jpeg.pixels, picture) < 4.0);
    }

    void otherPictureTypes_data() {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<int>("imageFormat");
        QTest::newRow("8-bit bmp") << QByteArray("BMP") << int(QImage::Format_Indexed8);
        QTest::newRow("1-bit bmp") << QByteArray("BMP") << int(QImage::Format_Mono);
        QTest::newRow("32-bit bmp") << QByteArray("BMP") << int(QImage::Format_ARGB32);
        QTest::newRow("png") << QByteArray("PNG") << int(QImage::Format_RGB32);
    }
    void otherPictureTypes() {
        QFETCH(QByteArray, format);
        QFETCH(int, imageFormat);
        // Undithered, so the JPEG error stays that of the encoding.
        const QImage picture = scene(48, 32).convertToFormat(QImage::Format(imageFormat),
                                                             Qt::ThresholdDither | Qt::AvoidDither);
        // The name says .dib whatever the content; the content decides.
        QVERIFY(picture.save(dibFile(), format.constData()));
        JpegSnapshot snapshot(m_library);
        QVERIFY(snapshot.SaveJPGPic(dibFile(), m_vidPath));
        const JpegProbe::Result jpeg = JpegProbe::read(jpgFile());
        QVERIFY2(jpeg.ok, qPrintable(jpeg.error));
        QCOMPARE(QSize(jpeg.width, jpeg.height), QSize(48, 32));
        QImageReader stored(dibFile());
        stored.setDecideFormatFromContent(true);
        const QImage expected = stored.read().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(expected.size(), QSize(48, 32));
        const double error = JpegProbe::meanError(jpeg.pixels, expected);
        QVERIFY2(error < 5.0, qPrintable(QString::number(error)));
    }

    void replacementKeepsThePermissions() {
        QVERIFY(writeFile(jpgFile(), "previous"));
        QCOMPARE(::chmod(QFile::encodeName(jpgFile()).constData(), 0600), 0);
        QVERIFY(writeDib(dibFile(), scene(32, 32)));
        JpegSnapshot snapshot(m_library);
        QVERIFY(snapshot.SaveJPGPic(dibFile(), m_vidPath));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(jpgFile()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0600));
        QVERIFY(JpegProbe::read(jpgFile()).ok);
    }

    void missingDibFailsAtTheFirstStep() {
        QVERIFY(writeFile(jpgFile(), "previous jpeg"));
        JpegSnapshot snapshot(m_library, recorder());
        snapshot.SnapshotJpgFile = QStringLiteral("/earlier/StillShot.jpg");
        QVERIFY(!snapshot.SaveJPGPic(dibFile(), m_vidPath));
        QCOMPARE(snapshot.SnapshotJpgFile, QStringLiteral("/earlier/StillShot.jpg"));
        QCOMPARE(m_trace, QStringList{QStringLiteral("SaveJPGPic - Step 1")});
        QCOMPARE(readFile(jpgFile()), QByteArray("previous jpeg"));
    }

    void corruptDib_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("this is not a picture at all, just some words");
        QTest::newRow("bitmap magic, garbage after") << QByteArray("BM") + QByteArray(60, '\x7f');
        QByteArray headerOnly;
        {
            // A valid 24-bit 4 x 4 file cut after its file header.
            QVERIFY(writeDib(m_vidPath + QStringLiteral("whole.dib"), scene(4, 4)));
            headerOnly = readFile(m_vidPath + QStringLiteral("whole.dib")).left(20);
        }
        QTest::newRow("cut in the info header") << headerOnly;
    }
    void corruptDib() {
        QFETCH(QByteArray, content);
        QVERIFY(writeFile(dibFile(), content));
        const QImage earlier = scene(3, 3);
        JpegSnapshot snapshot(m_library);
        snapshot.Picture1 = earlier;
        QVERIFY(!snapshot.SaveJPGPic(dibFile(), m_vidPath));
        QVERIFY(snapshot.SnapshotJpgFile.isEmpty());
        QCOMPARE(snapshot.Picture1, earlier);
        QVERIFY(!QFile::exists(jpgFile()));
    }

    void unwritableOutputFails() {
        QVERIFY(writeDib(dibFile(), scene(16, 16)));
        JpegSnapshot snapshot(m_library);
        const QString elsewhere = m_vidPath + QStringLiteral("no-such-dir/");
        QVERIFY(!snapshot.SaveJPGPic(dibFile(), elsewhere));
        // Named before the conversion, so the mail knows what was meant.
        QCOMPARE(snapshot.SnapshotJpgFile, elsewhere + QStringLiteral("StillShot.jpg"));
    }
};

QTEST_GUILESS_MAIN(tst_JpegSnapshot)
#include "tst_jpegsnapshot.moc"
