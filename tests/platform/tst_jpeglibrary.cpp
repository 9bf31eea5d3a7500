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
    // green, red, rows padded by one byte to four), bottom row first unless
    // it says otherwise. What is refused leaves no file; what is written
    // replaces one and decodes to the picture.
    void records() {
        using P = JpegCoreProperties;
        const int invalid = JpegLibrary::InvalidRecord, ok = JpegLibrary::Ok;
        const QImage picture = TestData::gradient(41, 27);
        const QImage topDown = picture.convertToFormat(QImage::Format_BGR888);
        const QImage bottomUp = topDown.mirrored();
        const struct {
            const char* name;
            std::function<void(P&)> change;
            int expected;
            int mode = JpegLibrary::IJL_JFILE_WRITEWHOLEIMAGE;
        } cases[] = {
            {"bottom-up", [](P&) {}, ok},
            {"top-down", [&](P& p) { p.DIBHeight = 27, p.DIBBytes = topDown.constBits(); }, ok},
            {"other mode", [](P&) {}, JpegLibrary::UnsupportedMode, 7},
            {"not initialised", [this](P& p) { m_library.ijlFree(p); },
             JpegLibrary::NotInitialised},
            {"no pixels", [](P& p) { p.DIBBytes = nullptr; }, invalid},
            {"no file name", [](P& p) { p.JPGFile = ""; }, invalid},
            {"zero width", [](P& p) { p.DIBWidth = p.JPGWidth = 0; }, invalid},
            {"zero height", [](P& p) { p.DIBHeight = p.JPGHeight = 0; }, invalid},
            {"scaling", [](P& p) { p.JPGWidth = 16; }, invalid},
            {"negative padding", [](P& p) { p.DIBPadBytes = -1; }, invalid},
            {"quality 0", [](P& p) { p.jquality = 0; }, invalid},
            {"quality 101", [](P& p) { p.jquality = 101; }, invalid},
            {"four channels", [](P& p) { p.DIBChannels = 4; }, invalid},
            {"directory missing", [](P& p) { p.JPGFile = "/nonexistent/x.jpg"; },
             JpegLibrary::FileOpenFailed},
        };
        for (const auto& c : cases) {
            QFile::remove(m_file);
            QVERIFY(c.expected != ok || TestData::writeFile(m_file, QByteArray(100000, 'x')));
            P p{};
            QCOMPARE(m_library.ijlInit(p), ok);
            p.DIBWidth = p.JPGWidth = 41;
            p.DIBHeight = -(p.JPGHeight = 27);
            p.DIBBytes = bottomUp.constBits();
            p.DIBPadBytes = int(bottomUp.bytesPerLine()) - 3 * 41;
            p.JPGFile = m_file.constData();
            p.jquality = 90;
            c.change(p);
            QVERIFY2(m_library.ijlWrite(p, c.mode) == c.expected, c.name);
            QVERIFY2(QFile::exists(m_file) == (c.expected == ok), c.name);
            if (c.expected != ok)
                continue;
            QVERIFY(m_library.ijlFree(p) == ok && p.compressor == nullptr);
            // Upside down or mirrored a gradient is far off.
            const double error = JpegProbe::meanError(m_file, picture);
            QVERIFY2(error < 4.0 && QFile(m_file).size() < 100000,
                     qPrintable(QString::number(error)));
        }
    }
};

QTEST_GUILESS_MAIN(tst_JpegLibrary)
#include "tst_jpeglibrary.moc"
