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

private Q_SLOTS:
    // Each case changes a valid record over the rows of a gradient (blue,
    // green, red, rows padded to four bytes: widths 41 and 39 pad by one and
    // three), bottom row first unless it says otherwise. What is refused
    // leaves no file; what is written replaces one and decodes to the picture.
    void records() {
        const int invalid = JpegLibrary::InvalidRecord, ok = JpegLibrary::Ok;
        const auto none = [](JpegCoreProperties&) {};
        const struct {
            const char* name;
            std::function<void(JpegCoreProperties&)> change;
            int expected;
            int mode = JpegLibrary::IJL_JFILE_WRITEWHOLEIMAGE;
            int width = 41;
            bool bottomUp = true;
        } cases[] = {
            {"bottom-up, pad 1", none, ok},
            {"top-down, pad 3", none, ok, JpegLibrary::IJL_JFILE_WRITEWHOLEIMAGE, 39, false},
            {"other mode", none, JpegLibrary::UnsupportedMode, 7},
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
        for (const auto& c : cases) {
            QFile::remove(m_file);
            QVERIFY(c.expected != ok || TestData::writeFile(m_file, QByteArray(100000, 'x')));
            const QImage picture = TestData::gradient(c.width, 27);
            const QImage bgr =
                picture.convertToFormat(QImage::Format_BGR888).mirrored(false, c.bottomUp);
            JpegCoreProperties p{};
            QCOMPARE(m_library.ijlInit(p), ok);
            p.DIBWidth = p.JPGWidth = bgr.width();
            p.DIBHeight = c.bottomUp ? -bgr.height() : bgr.height();
            p.JPGHeight = bgr.height();
            p.DIBBytes = bgr.constBits();
            p.DIBPadBytes = int(bgr.bytesPerLine()) - 3 * bgr.width();
            p.JPGFile = m_file.constData();
            p.jquality = 90;
            c.change(p);
            QVERIFY2(m_library.ijlWrite(p, c.mode) == c.expected, c.name);
            QVERIFY2(QFile::exists(m_file) == (c.expected == ok), c.name);
            if (c.expected != ok)
                continue;
            QVERIFY(m_library.ijlFree(p) == ok && p.compressor == nullptr);
            QVERIFY(QFile(m_file).size() < 100000);
            // Upside down or mirrored a gradient is far off.
            const double error = JpegProbe::meanError(m_file, picture);
            QVERIFY2(error < 4.0, qPrintable(QString::number(error)));
        }
    }
};

QTEST_GUILESS_MAIN(tst_JpegLibrary)
#include "tst_jpeglibrary.moc"
