// The JPEG library's three calls over libjpeg-turbo: what it encodes from a
// record, and each record it refuses.
#include "JpegLibrary.h"
#include "JpegProbe.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

namespace {

// A picture whose rows and columns can be told apart after encoding.
QImage scene(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y, qRgb(30 + 190 * x / width, 40 + 170 * y / height, y < height / 2 ? 200 : 40));
    return image;
}

// The picture as rows of BGR bytes with `pad` bytes after each row, in the
// given order.
std::vector<std::uint8_t> pixelBytes(const QImage& picture, int pad, bool bottomUp) {
    const int stride = picture.width() * 3 + pad;
    std::vector<std::uint8_t> bytes(std::size_t(stride) * std::size_t(picture.height()), 0xEE);
    for (int y = 0; y < picture.height(); ++y) {
        const int row = bottomUp ? picture.height() - 1 - y : y;
        std::uint8_t* line = bytes.data() + std::size_t(row) * std::size_t(stride);
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            line[3 * x] = std::uint8_t(qBlue(p));
            line[3 * x + 1] = std::uint8_t(qGreen(p));
            line[3 * x + 2] = std::uint8_t(qRed(p));
        }
    }
    return bytes;
}

} // namespace

class tst_JpegLibrary final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    JpegLibrary m_library;

    QString path(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    // A valid record over `bytes` after ijlInit.
    void fill(JpegCoreProperties& p, const std::vector<std::uint8_t>& bytes, int width, int height,
              int pad, bool bottomUp, const QByteArray& file) {
        QCOMPARE(m_library.ijlInit(p), JpegLibrary::Ok);
        p.DIBWidth = width;
        p.DIBHeight = bottomUp ? -height : height;
        p.DIBBytes = bytes.data();
        p.DIBPadBytes = pad;
        p.JPGFile = file.constData();
        p.JPGWidth = width;
        p.JPGHeight = height;
        p.jquality = 90;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void initialisationDefaults() {
        JpegCoreProperties p{};
        QCOMPARE(m_library.ijlInit(p), JpegLibrary::Ok);
        QVERIFY(p.compressor != nullptr);
        QCOMPARE(p.DIBChannels, 3);
        QVERIFY(p.DIBColor == JpegCoreProperties::PixelOrder::Bgr);
        QCOMPARE(p.JPGChannels, 3);
        QVERIFY(p.JPGColor == JpegCoreProperties::JpegColor::YCbCr);
        QVERIFY(p.JPGSubsampling == JpegCoreProperties::Subsampling::S420);
        QCOMPARE(m_library.ijlFree(p), JpegLibrary::Ok);
        QVERIFY(p.compressor == nullptr);
    }

    void rowOrderAndPadding_data() {
        QTest::addColumn<int>("pad");
        QTest::addColumn<bool>("bottomUp");
        QTest::newRow("bottom-up, pad 1") << 1 << true;
        QTest::newRow("bottom-up, pad 0") << 0 << true;
        QTest::newRow("top-down, pad 3") << 3 << false;
        QTest::newRow("top-down, pad 6") << 6 << false;
    }
    void rowOrderAndPadding() {
        QFETCH(int, pad);
        QFETCH(bool, bottomUp);
        const QImage picture = scene(41, 27);
        const auto bytes = pixelBytes(picture, pad, bottomUp);
        const QByteArray file = QFile::encodeName(path("order.jpg"));
        JpegCoreProperties p{};
        fill(p, bytes, 41, 27, pad, bottomUp, file);
        QCOMPARE(m_library.ijlWrite(p, JpegLibrary::IJL_JFILE_WRITEWHOLEIMAGE), JpegLibrary::Ok);
        m_library.ijlFree(p);

        const JpegProbe::Result jpeg = JpegProbe::read(path("order.jpg"));
        QVERIFY2(jpeg.ok, qPrintable(jpeg.error));
        QCOMPARE(jpeg.width, 41);
        QCOMPARE(jpeg.height, 27);
        const double error = JpegProbe::meanError(jpeg.pixels, picture);
        QVERIFY2(error < 4.0, qPrintable(QString::number(error)));
        // The same bytes read the other way round are far off: the check
        // above tells the orders apart.
        QVERIFY(JpegProbe::meanError(jpeg.pixels, picture.mirrored(false, true)) > 20.0);
    }

    void refusedRecords_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("expected");
        const int whole = JpegLibrary::IJL_JFILE_WRITEWHOLEIMAGE;
        QTest::newRow("other mode") << "" << 7 << JpegLibrary::UnsupportedMode;
        QTest::newRow("not initialised") << "free" << whole << JpegLibrary::NotInitialised;
        QTest::newRow("no pixels") << "bytes" << whole << JpegLibrary::InvalidRecord;
        QTest::newRow("no file name") << "file" << whole << JpegLibrary::InvalidRecord;
        QTest::newRow("zero width") << "width" << whole << JpegLibrary::InvalidRecord;
        QTest::newRow("zero height") << "height" << whole << JpegLibrary::InvalidRecord;
        QTest::newRow("scaling") << "jpgwidth" << whole << JpegLibrary::InvalidRecord;
        QTest::newRow("negative padding") << "pad" << whole << JpegLibrary::InvalidRecord;
        QTest::newRow("quality 0") << "q0" << whole << JpegLibrary::InvalidRecord;
        QTest::newRow("quality 101") << "q101" << whole << JpegLibrary::InvalidRecord;
        QTest::newRow("four channels") << "channels" << whole << JpegLibrary::InvalidRecord;
        QTest::newRow("directory missing") << "dir" << whole << JpegLibrary::FileOpenFailed;
    }
    void refusedRecords() {
        QFETCH(QString, change);
        QFETCH(int, mode);
        QFETCH(int, expected);
        const QImage picture = scene(8, 8);
        const auto bytes = pixelBytes(picture, 0, true);
        const QByteArray file =
            QFile::encodeName(change == u"dir" ? path("missing/refused.jpg") : path("refused.jpg"));
        QFile::remove(path("refused.jpg"));
        JpegCoreProperties p{};
        fill(p, bytes, 8, 8, 0, true, file);
        if (change == u"free")
            m_library.ijlFree(p);
        else if (change == u"bytes")
            p.DIBBytes = nullptr;
        else if (change == u"file")
            p.JPGFile = "";
        else if (change == u"width")
            p.DIBWidth = p.JPGWidth = 0;
        else if (change == u"height")
            p.DIBHeight = p.JPGHeight = 0;
        else if (change == u"jpgwidth")
            p.JPGWidth = 16;
        else if (change == u"pad")
            p.DIBPadBytes = -1;
        else if (change == u"q0")
            p.jquality = 0;
        else if (change == u"q101")
            p.jquality = 101;
        else if (change == u"channels")
            p.DIBChannels = 4;
        QCOMPARE(m_library.ijlWrite(p, mode), expected);
        QVERIFY(!QFile::exists(path("refused.jpg")));
    }

    void replacesAnExistingFile() {
        QFile old(path("replace.jpg"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x')); // longer than the JPEG
        old.close();
        const QImage picture = scene(16, 16);
        const auto bytes = pixelBytes(picture, 0, true);
        const QByteArray file = QFile::encodeName(path("replace.jpg"));
        JpegCoreProperties p{};
        fill(p, bytes, 16, 16, 0, true, file);
        QCOMPARE(m_library.ijlWrite(p, JpegLibrary::IJL_JFILE_WRITEWHOLEIMAGE), JpegLibrary::Ok);
        QVERIFY(JpegProbe::read(path("replace.jpg")).ok);
        QVERIFY(QFileInfo(path("replace.jpg")).size() < 100000);
    }
};

QTEST_GUILESS_MAIN(tst_JpegLibrary)
#include "tst_jpeglibrary.moc"
