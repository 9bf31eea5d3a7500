#include "DibFile.h"
#include "TestScene.h"
#include "ZLib.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

// The synthetic camera, the compressed-size measure and the BMP writer,
// without any pipeline: all of it is deterministic.
class tst_TestScene final : public QObject {
    Q_OBJECT

private:
    static double deviation(std::size_t size, std::size_t base) {
        return std::abs(double(size) - double(base)) / double(base) * 100.0;
    }
    static std::uint32_t le32(const QByteArray& b, int at) {
        std::uint32_t v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | static_cast<std::uint8_t>(b[at + i]);
        return v;
    }

private Q_SLOTS:
    void scheduleParsing() {
        const auto s = TestScene::parseSchedule("2:1.5");
        QCOMPARE(s.calmSeconds, 2.0);
        QCOMPARE(s.activeSeconds, 1.5);
        QCOMPARE(TestScene::parseSchedule("0:3").calmSeconds, 0.0);
        for (const char* garbage : {"", "20", "a:b", "5:", ":5", "3:0", "-1:2", "2:1x", "1:2:3"}) {
            const auto g = TestScene::parseSchedule(garbage);
            QVERIFY2(g.calmSeconds == 20.0 && g.activeSeconds == 5.0, garbage);
        }
        qputenv("SENTORIX_SCENE", "7:0.5");
        QCOMPARE(TestScene::scheduleFromEnvironment().calmSeconds, 7.0);
        qunsetenv("SENTORIX_SCENE");
        QCOMPARE(TestScene::scheduleFromEnvironment().activeSeconds, 5.0);
    }

    void zlibLengthMatchesCompress2() {
        // Random (incompressible), constant and scene data, some larger
        // than the internal scratch buffer.
        std::mt19937 rng(42);
        std::vector<std::vector<std::uint8_t>> inputs;
        inputs.emplace_back(300000);
        for (auto& b : inputs.back())
            b = static_cast<std::uint8_t>(rng());
        inputs.emplace_back(100000, std::uint8_t{7});
        inputs.emplace_back(1, std::uint8_t{1});
        TestScene scene(320, 240, 5.0);
        inputs.emplace_back(scene.frameBytes());
        scene.render(3, inputs.back().data());

        ZLib zlib;
        for (const auto& input : inputs) {
            std::vector<Bytef> out(compressBound(static_cast<uLong>(input.size())));
            uLongf length = static_cast<uLongf>(out.size());
            QCOMPARE(
                compress2(out.data(), &length, input.data(), static_cast<uLong>(input.size()), 9),
                Z_OK);
            // Twice: the reused stream must not carry state over.
            QCOMPARE(zlib.compressedLength(input.data(), input.size()), std::size_t(length));
            QCOMPARE(zlib.compressedLength(input.data(), input.size()), std::size_t(length));
        }
    }

    void framesAreDeterministicTopDownAndNoisy() {
        TestScene a(640, 480, 5.0), b(640, 480, 5.0);
        std::vector<std::uint8_t> f1(a.frameBytes()), f2(a.frameBytes()), f3(a.frameBytes());
        a.render(17, f1.data());
        b.render(17, f2.data());
        a.render(18, f3.data());
        QVERIFY(f1 == f2);
        QVERIFY(f1 != f3); // the sensor noise moves
        // The first rows (top of the picture) are the red marker band, the
        // last ones are not.
        const std::uint8_t* top = f1.data() + a.stride() * 1 + 3 * 100;
        QVERIFY(top[0] < 10 && top[1] < 10 && top[2] > 245);
        const std::uint8_t* bottom = f1.data() + a.stride() * 478 + 3 * 100;
        QVERIFY(!(bottom[0] < 10 && bottom[1] < 10 && bottom[2] > 245));
        QVERIFY(a.markerRows() >= 2);
        QVERIFY(a.figureCoverage() > 0.17 && a.figureCoverage() < 0.27);
    }

    void compressedSizeDeviation_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("640x480") << 640 << 480;
        QTest::newRow("320x240") << 320 << 240;
    }
    void compressedSizeDeviation() {
        // One whole default cycle at 5 fps: 20 s calm, then a 5 s visit.
        QFETCH(int, width);
        QFETCH(int, height);
        TestScene scene(width, height, 5.0);
        ZLib zlib;
        std::vector<std::uint8_t> frame(scene.frameBytes());
        scene.render(0, frame.data());
        const std::size_t base = zlib.compressedLength(frame.data(), frame.size());
        double worstCalm = 0.0;
        int visible = 0, loud = 0;
        for (int i = 0; i < 125; ++i) {
            scene.render(i, frame.data());
            const double dev = deviation(zlib.compressedLength(frame.data(), frame.size()), base);
            if (i < 100) {
                QVERIFY(!scene.intruderVisible(i));
                worstCalm = std::max(worstCalm, dev);
            } else if (scene.intruderVisible(i)) {
                ++visible;
                loud += dev > 8.0 ? 1 : 0;
            }
        }
        qInfo("worst calm deviation %.3f%%, %d of %d intruder frames above 8%%", worstCalm, loud,
              visible);
        QVERIFY(worstCalm < 1.2 * 0.8);
        QVERIFY(visible >= 23); // he walks in from just outside the picture
        QVERIFY(loud >= visible * 8 / 10);
        // The cycle repeats: the next cycle starts calm again.
        QVERIFY(!scene.intruderVisible(125));
        QVERIFY(scene.intruderVisible(125 + 112));
    }

    void bmpFileLayout() {
        TestScene scene(321, 200, 5.0); // odd width: rows need padding
        std::vector<std::uint8_t> topDown(scene.frameBytes());
        scene.render(110, topDown.data());
        // Bottom-up copy, as the frames are delivered.
        std::vector<std::uint8_t> bottomUp(topDown.size());
        for (int y = 0; y < scene.height(); ++y)
            std::memcpy(bottomUp.data() + scene.stride() * y,
                        topDown.data() + scene.stride() * (scene.height() - 1 - y), scene.stride());
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("frame.bmp"));
        QVERIFY(
            DibFile::write(path, bottomUp.data(), scene.width(), scene.height(), scene.stride()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        const std::size_t stride = DibFile::paddedStride(321);
        QCOMPARE(stride, std::size_t(964));
        QCOMPARE(bytes.left(2), QByteArray("BM"));
        QCOMPARE(le32(bytes, 2), std::uint32_t(bytes.size()));
        QCOMPARE(le32(bytes, 10), 54u); // pixel data offset
        QCOMPARE(le32(bytes, 14), 40u); // BITMAPINFOHEADER
        QCOMPARE(le32(bytes, 18), 321u);
        QCOMPARE(le32(bytes, 22), 200u); // positive: bottom-up
        QCOMPARE(static_cast<int>(bytes[28]), 24);
        QCOMPARE(le32(bytes, 34), std::uint32_t(stride * 200));
        QCOMPARE(std::size_t(bytes.size()), 54 + stride * 200);
        QVERIFY(std::memcmp(bytes.constData() + 54, bottomUp.data(), bottomUp.size()) == 0);
        // An independent reader agrees on the picture: top-left is red.
        const QImage image(path);
        QCOMPARE(image.size(), QSize(321, 200));
        QCOMPARE(image.pixelColor(5, 0).red(), 255);
        const std::uint8_t* px = topDown.data() + scene.stride() * 150 + 3 * 200;
        QCOMPARE(image.pixel(200, 150), qRgb(px[2], px[1], px[0]));

        QVERIFY(!DibFile::write(dir.filePath(QStringLiteral("missing/x.bmp")), bottomUp.data(), 321,
                                200, scene.stride()));
    }
};

QTEST_GUILESS_MAIN(tst_TestScene)
#include "tst_testscene.moc"
