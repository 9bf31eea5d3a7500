// The JPEG library's three calls over libjpeg-turbo: what it encodes from a
// record, and each record it refuses.
#include "JpegLibrary.h"
#include "JpegProbe.h"
#include "TestData.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

class tst_JpegLibrary final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    JpegLibrary m_library;
    const QByteArray m_file = QFile::encodeName(m_dir.filePath(QStringLiteral("out.jpg")));

    // A valid record over the rows of `bgr` (blue, green, red, rows padded
    // to four bytes), bottom row first when bottomUp.
    void fill(JpegCoreProperties& p, const QImage& bgr, bool bottomUp) {
        QCOMPARE(m_library.ijlInit(p), JpegLibrary::Ok);
        p.DIBWidth = p.JPGWidth = bgr.width();
        p.DIBHeight = bottomUp ? -bgr.height() : bgr.height();
        p.JPGHeight = bgr.height();
        p.DIBBytes = bgr.constBits();
        p.DIBPadBytes = int(bgr.bytesPerLine()) - 3 * bgr.width();
        p.JPGFile = m_file.constData();
        p.jquality = 90;
    }

private Q_SLOTS:
    // Widths 41 and 39 pad their rows by one and three bytes.
    void rowOrderAndPadding_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("bottomUp");
        QTest::newRow("bottom-up, pad 1") << 41 << true;
        QTest::newRow("top-down, pad 3") << 39 << false;
    }
    void rowOrderAndPadding() {
        QFETCH(int, width);
        QFETCH(bool, bottomUp);
        QVERIFY(TestData::writeFile(m_file, QByteArray(100000, 'x'))); // replaced by the JPEG
        const QImage picture = TestData::gradient(width, 27);
        const QImage bgr = picture.convertToFormat(QImage::Format_BGR888).mirrored(false, bottomUp);
        JpegCoreProperties p{};
        fill(p, bgr, bottomUp);
        QCOMPARE(m_library.ijlWrite(p, JpegLibrary::IJL_JFILE_WRITEWHOLEIMAGE), JpegLibrary::Ok);
        QCOMPARE(m_library.ijlFree(p), JpegLibrary::Ok);
        QVERIFY(p.compressor == nullptr);

        const JpegProbe::Result jpeg = JpegProbe::read(m_file);
        QVERIFY2(jpeg.ok, qPrintable(jpeg.error));
        QVERIFY(QFile(m_file).size() < 100000);
        const double error = JpegProbe::meanError(jpeg.pixels, picture);
        QVERIFY2(error < 4.0, qPrintable(QString::number(error)));
        // Read the other way round the same bytes are far off.
        QVERIFY(JpegProbe::meanError(jpeg.pixels, picture.mirrored(false, true)) > 20.0);
    }

    void refusedRecords() {
        const QImage bgr = TestData::gradient(8, 8).convertToFormat(QImage::Format_BGR888);
        const int invalid = JpegLibrary::InvalidRecord;
        const struct {
            const char* name;
            std::function<void(JpegCoreProperties&)> change;
            int expected;
            int mode = JpegLibrary::IJL_JFILE_WRITEWHOLEIMAGE;
        } cases[] = {
            {"other mode", [](auto&) {}, JpegLibrary::UnsupportedMode, 7},
            {"not initialised", [this](auto& p) { m_library.ijlFree(p); },
             JpegLibrary::NotInitialised},
            {"no pixels", [](auto& p) { p.DIBBytes = nullptr; }, invalid},
            {"no file name", [](auto& p) { p.JPGFile = ""; }, invalid},
            {"zero width", [](auto& p) { p.DIBWidth = p.JPGWidth = 0; }, invalid},
            {"zero height", [](auto& p) { p.DIBHeight = p.JPGHeight = 0; }, invalid},
            {"scaling", [](auto& p) { p.JPGWidth = 16; }, invalid},
            {"negative padding", [](auto& p) { p.DIBPadBytes = -1; }, invalid},
            {"quality 0", [](auto& p) { p.jquality = 0; }, invalid},
            {"quality 101", [](auto& p) { p.jquality = 101; }, invalid},
            {"four channels", [](auto& p) { p.DIBChannels = 4; }, invalid},
            {"directory missing", [](auto& p) { p.JPGFile = "/nonexistent/x.jpg"; },
             JpegLibrary::FileOpenFailed},
        };
        QFile::remove(m_file);
        for (const auto& c : cases) {
            JpegCoreProperties p{};
            fill(p, bgr, true);
            c.change(p);
            QVERIFY2(m_library.ijlWrite(p, c.mode) == c.expected, c.name);
            QVERIFY2(!QFile::exists(m_file), c.name);
        }
    }
};

QTEST_GUILESS_MAIN(tst_JpegLibrary)
#include "tst_jpeglibrary.moc"
