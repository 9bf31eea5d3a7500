#include "MotionMeasure.h"
#include "RecordingName.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

// The arithmetic behind the deviation and the recording's file name.
class tst_MotionMeasure final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void destinationCapacity() {
        QCOMPARE(MotionMeasure::destinationCapacity(0), std::size_t(12));
        QCOMPARE(MotionMeasure::destinationCapacity(10), std::size_t(23));
        // 921 600 bytes is a 640 x 480 frame: 1 013 760 + 12.
        QCOMPARE(MotionMeasure::destinationCapacity(921600), std::size_t(1013772));
        QCOMPARE(MotionMeasure::destinationCapacity(1), std::size_t(13)); // Int(13.1)
    }

    void deviationRounding_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("base");
        QTest::addColumn<float>("expected");
        QTest::newRow("same") << 1000 << 1000 << 0.0F;
        QTest::newRow("exactly 4") << 10400 << 10000 << 4.0F;
        QTest::newRow("smaller counts the same") << 9600 << 10000 << 4.0F;
        QTest::newRow("3.996 rounds up to 4") << 103996 << 100000 << 4.0F;
        QTest::newRow("3.994 rounds down") << 103994 << 100000 << 3.99F;
        // Exact halves go to the even neighbour.
        QTest::newRow("0.125 to 0.12") << 801 << 800 << 0.12F;
        QTest::newRow("0.375 to 0.38") << 803 << 800 << 0.38F;
        QTest::newRow("0.625 to 0.62") << 805 << 800 << 0.62F;
        QTest::newRow("large change") << 5000 << 100 << 4900.0F;
    }
    void deviationRounding() {
        QFETCH(int, size);
        QFETCH(int, base);
        QFETCH(float, expected);
        QCOMPARE(MotionMeasure::deviation(size, base), expected);
    }

    void deviationReachesTheThresholdInSinglePrecision() {
        // 1.2 is not exact in binary; the rounded deviation and the
        // threshold must still compare equal.
        const float d = MotionMeasure::deviation(101200, 100000);
        QVERIFY(d >= 1.2F);
        QVERIFY(MotionMeasure::deviation(101194, 100000) < 1.2F);
    }

    void panelText() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(MotionMeasure::panelText(3.5F, 4.0F), QStringLiteral("3.50%  (4%)"));
        QCOMPARE(MotionMeasure::panelText(0.87F, 1.2F), QStringLiteral("0.87%  (1.2%)"));
        QCOMPARE(MotionMeasure::panelText(0.0F, 8.0F), QStringLiteral("0.00%  (8%)"));
        QCOMPARE(MotionMeasure::panelText(4900.0F, 2.0F), QStringLiteral("4900.00%  (2%)"));
        // The deviation follows the locale, the threshold never does.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(MotionMeasure::panelText(3.5F, 1.2F), QStringLiteral("3,50%  (1.2%)"));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void thresholdTexts() {
        QStringList texts;
        for (const float t : {1.2F, 2.0F, 4.0F, 6.0F, 8.0F})
            texts << MotionMeasure::thresholdText(t);
        QCOMPARE(texts, (QStringList{"1.2", "2", "4", "6", "8"}));
    }

    void fileNameFromStartText_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("file");
        QTest::newRow("dotted date") << "06.12.2026 09:05:07"
                                     << "/v/06122026-090507.avi";
        QTest::newRow("US date") << "12/6/2026 9:05:07 AM"
                                 << "/v/1262026-90507-AM.avi";
        QTest::newRow("midnight") << "1/1/2027"
                                  << "/v/112027.avi";
        QTest::newRow("month name") << "6 Dec 2026 03:32:15"
                                    << "/v/6-Dec-2026-033215.avi";
    }
    void fileNameFromStartText() {
        QFETCH(QString, start);
        QFETCH(QString, file);
        QCOMPARE(RecordingName::fromStartText(QStringLiteral("/v/"), start), file);
    }

    void unusedNameKeepsEarlierRecordings() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("1262026-90507-AM.avi"));
        QCOMPARE(RecordingName::unused(path), path);
        for (const QString& name : {path, dir.filePath(QStringLiteral("1262026-90507-AM-2.avi"))}) {
            QFile f(name);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QCOMPARE(RecordingName::unused(path),
                 dir.filePath(QStringLiteral("1262026-90507-AM-3.avi")));
    }
};

QTEST_APPLESS_MAIN(tst_MotionMeasure)
#include "tst_motionmeasure.moc"
