// The JPEG library's three calls over libjpeg-turbo: what it encodes from a
// record, and each record it refuses.
#include "JpegLibrary.h"
#include "JpegProbe.h"
#include "TestData.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

class tst_JpegLibrary final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    JpegLibrary m_library;

    // Initialises p and fills in a valid record over `bytes`.
    void fill(JpegCoreProperties& p, const std::vector<std::uint8_t>& bytes, QSize size, int pad,
              bool bottomUp, const QByteArray& file) {
        QCOMPARE(m_library.ijlInit(p), JpegLibrary::Ok);
        p.DIBWidth = p.JPGWidth = size.width();
        p.DIBHeight = bottomUp ? -size.height() : size.height();
        p.JPGHeight = size.height();
        p.DIBBytes = bytes.data();
        p.DIBPadBytes = pad;
        p.JPGFile = file.constData();
        p.jquality = 90;
    }

private Q_SLOTS:
    void rowOrderAndPadding_data() {
        QTest::addColumn<int>("pad");
        QTest::addColumn<bool>("bottomUp");
        QTest::newRow("bottom-up, pad 1") << 1 << true;
        QTest::newRow("top-down, pad 3") << 3 << false;
    }
    void rowOrderAndPadding() {
        QFETCH(int, pad);
        QFETCH(bool, bottomUp);
        const QString path = m_dir.filePath(QStringLiteral("order.jpg"));
        QVERIFY(TestData::writeFile(path, QByteArray(100000, 'x'))); // replaced by the JPEG
        const QImage picture = TestData::gradient(41, 27);
        const auto bytes = TestData::bgrRows(picture, pad, bottomUp);
        const QByteArray file = QFile::encodeName(path);
        JpegCoreProperties p{};
        fill(p, bytes, picture.size(), pad, bottomUp, file);
        QCOMPARE(m_library.ijlWrite(p, JpegLibrary::IJL_JFILE_WRITEWHOLEIMAGE), JpegLibrary::Ok);
        QCOMPARE(m_library.ijlFree(p), JpegLibrary::Ok);
        QVERIFY(p.compressor == nullptr);

        const JpegProbe::Result jpeg = JpegProbe::read(path);
        QVERIFY2(jpeg.ok, qPrintable(jpeg.error));
        QCOMPARE(QSize(jpeg.width, jpeg.height), picture.size());
        QVERIFY(QFileInfo(path).size() < 100000);
        const double error = JpegProbe::meanError(jpeg.pixels, picture);
        QVERIFY2(error < 4.0, qPrintable(QString::number(error)));
        // The same bytes read the other way round are far off: the check
        // above tells the orders apart.
        QVERIFY(JpegProbe::meanError(jpeg.pixels, picture.mirrored(false, true)) > 20.0);
    }

    void refusedRecords() {
        const QImage picture = TestData::gradient(8, 8);
        const auto bytes = TestData::bgrRows(picture, 0, true);
        const QString path = m_dir.filePath(QStringLiteral("refused.jpg"));
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
        const QByteArray file = QFile::encodeName(path);
        for (const auto& c : cases) {
            JpegCoreProperties p{};
            fill(p, bytes, picture.size(), 0, true, file);
            c.change(p);
            QVERIFY2(m_library.ijlWrite(p, c.mode) == c.expected, c.name);
            QVERIFY2(!QFile::exists(path), c.name);
        }
    }
};

QTEST_GUILESS_MAIN(tst_JpegLibrary)
#include "tst_jpeglibrary.moc"
