#include "TestScene.h"
#include "ZLib.h"

#include <QTest>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

// The synthetic camera and the compressed-size measure, without any
// pipeline: all of it is deterministic.
class tst_TestScene final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void scheduleParsing() {
        QStringList parsed; // garbage gives the default 20:5
        for (const char* text :
             {"2:1.5", "0:3", "", "20", "a:b", "5:", ":5", "3:0", "-1:2", "2:1x", "1:2:3"}) {
            const auto s = TestScene::parseSchedule(text);
            parsed << QStringLiteral("%1:%2").arg(s.calmSeconds).arg(s.activeSeconds);
        }
        QCOMPARE(parsed.join(u' '), "2:1.5 0:3 20:5 20:5 20:5 20:5 20:5 20:5 20:5 20:5 20:5");
        QCOMPARE(TestScene::parseUnplug("1:2.5").backAfterMs, 2500);
        QCOMPARE(TestScene::parseUnplug("-1:2").afterMs, -1);
    }

    void zlibLengthMatchesCompress2() {
        // Random (incompressible), constant and scene data, some larger
        // than the internal scratch buffer.
        std::mt19937 rng(42);
        std::vector<std::vector<std::uint8_t>> inputs{std::vector<std::uint8_t>(300000),
                                                      std::vector<std::uint8_t>(100000, 7)};
        std::generate(inputs[0].begin(), inputs[0].end(), [&rng] { return std::uint8_t(rng()); });
        TestScene scene(320, 240, 5.0);
        inputs.emplace_back(scene.frameBytes());
        scene.render(3, inputs.back().data());
        ZLib zlib;
        for (const auto& input : inputs) {
            uLongf length = compressBound(uLong(input.size()));
            std::vector<Bytef> out(length);
            QCOMPARE(compress2(out.data(), &length, input.data(), uLong(input.size()), 9), Z_OK);
            for (int twice = 0; twice < 2; ++twice) // the reused stream keeps no state
                QCOMPARE(zlib.compressedLength(input.data(), input.size()), std::size_t(length));
        }
    }

    // One whole default cycle at 5 fps: 20 s calm, then a 5 s visit.
    void compressedSizeDeviation() {
        TestScene scene(640, 480, 5.0), twin(640, 480, 5.0);
        QVERIFY(scene.figureCoverage() > 0.17 && scene.figureCoverage() < 0.27);
        ZLib zlib;
        std::vector<std::uint8_t> frame(scene.frameBytes()), again(scene.frameBytes());
        scene.render(0, frame.data());
        const std::size_t base = zlib.compressedLength(frame.data(), frame.size());
        double worstCalm = 0.0;
        int visible = 0, loud = 0;
        for (int i = 0; i < 125; ++i) {
            scene.render(i, frame.data());
            if (i == 17 || i == 18) { // the same on every run, yet the sensor noise moves
                twin.render(17, again.data());
                QCOMPARE(frame == again, i == 17);
            }
            const double dev =
                std::abs(double(zlib.compressedLength(frame.data(), frame.size())) - double(base)) /
                double(base) * 100.0;
            if (i < 100) {
                QVERIFY(!scene.intruderVisible(i));
                worstCalm = std::max(worstCalm, dev);
            } else if (scene.intruderVisible(i)) {
                ++visible;
                loud += dev > 8.0 ? 1 : 0;
            }
        }
        QVERIFY2(worstCalm < 1.2 * 0.8, qPrintable(QString::number(worstCalm)));
        QVERIFY(visible >= 23); // he walks in from just outside the picture
        QVERIFY(loud >= visible * 8 / 10);
        // The cycle repeats: the next cycle starts calm again.
        QVERIFY(!scene.intruderVisible(125));
        QVERIFY(scene.intruderVisible(125 + 112));
    }
};

QTEST_GUILESS_MAIN(tst_TestScene)
#include "tst_testscene.moc"
