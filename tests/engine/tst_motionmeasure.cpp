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
    void deviation_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("base");
        QTest::addColumn<float>("threshold");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<bool>("reached");
        QTest::newRow("same") << 1000 << 1000 << 8.0F << "0.00%  (8%)" << false;
        QTest::newRow("smaller counts the same") << 9600 << 10000 << 4.0F << "4.00%  (4%)" << true;
        QTest::newRow("3.996 rounds up to 4") << 103996 << 100000 << 4.0F << "4.00%  (4%)" << true;
        QTest::newRow("3.994 rounds down") << 103994 << 100000 << 4.0F << "3.99%  (4%)" << false;
        // Exact halves go to the even neighbour.
        QTest::newRow("0.125 to 0.12") << 801 << 800 << 1.2F << "0.12%  (1.2%)" << false;
        QTest::newRow("0.375 to 0.38") << 803 << 800 << 1.2F << "0.38%  (1.2%)" << false;
        QTest::newRow("large change") << 5000 << 100 << 2.0F << "4900.00%  (2%)" << true;
        // 1.2 is not exact in binary; the rounded deviation still reaches it.
        QTest::newRow("at 1.2") << 101200 << 100000 << 1.2F << "1.20%  (1.2%)" << true;
    }
    void deviation() {
        QFETCH(int, size);
        QFETCH(int, base);
        QFETCH(float, threshold);
        QFETCH(QString, panel);
        QFETCH(bool, reached);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const float d = MotionMeasure::deviation(size, base);
        QCOMPARE(MotionMeasure::panelText(d, threshold), panel);
        QCOMPARE(d >= threshold, reached);
        // The deviation follows the locale, the threshold never does.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(MotionMeasure::panelText(d, threshold),
                 QString(panel).replace(panel.indexOf(u'.'), 1, u','));
        QCOMPARE(MotionMeasure::thresholdText(threshold), panel.section(u'(', 1).chopped(2));
    }

    void fileName_data() {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("file");
        QTest::newRow("dotted date") << "06.12.2026 09:05:07"
                                     << "06122026-090507.avi";
        QTest::newRow("US date") << "12/6/2026 9:05:07 AM"
                                 << "1262026-90507-AM.avi";
        QTest::newRow("midnight") << "1/1/2027"
                                  << "112027.avi";
        QTest::newRow("month name") << "6 Dec 2026 03:32:15"
                                    << "6-Dec-2026-033215.avi";
    }
    void fileName() {
        QFETCH(QString, start);
        QFETCH(QString, file);
        QTemporaryDir dir;
        const QString path = RecordingName::fromStartText(dir.path() + u'/', start);
        QCOMPARE(path, dir.filePath(file));
        // Earlier recordings of the same second are kept.
        QCOMPARE(RecordingName::unused(path), path);
        const QString second = path.chopped(4) + QStringLiteral("-2.avi");
        for (const QString& name : {path, second})
            QVERIFY(QFile(name).open(QIODevice::WriteOnly));
        QCOMPARE(RecordingName::unused(path), path.chopped(4) + QStringLiteral("-3.avi"));
    }
};

QTEST_APPLESS_MAIN(tst_MotionMeasure)
#include "tst_motionmeasure.moc"
