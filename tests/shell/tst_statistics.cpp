#include "CaptureControl.h"
#include "Statistics.h"
#include "StatisticsFigures.h"
#include "SurveillanceRig.h"

#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>

// The statistics window over the real surveillance, fed frames of known
// compressed size.
class tst_Statistics final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SizedFrames m_frames;

    // The window as start-up loads it, and as the main window wires it.
    struct Rig {
        SurveillanceRig r;
        Statistics window;
        Rig()
            : window(r.stuff, r.panels, r.capture) {
            window.Form_Load();
            QObject::connect(&r.surveillance, &Surveillance::statisticsVisibilityRequested, &window,
                             &QWidget::setVisible);
            QObject::connect(&r.surveillance, &Surveillance::captureStatusChanged, &window,
                             &Statistics::showCaptureStatus);
        }
    };

    void arm(Rig& rig) {
        rig.r.stuff.VidPath = m_dir.path() + u'/';
        rig.r.surveillance.mnuStart_Click();
        QCOMPARE(rig.r.panels.text(Panel::State), QStringLiteral("STANDBY"));
    }

private Q_SLOTS:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(m_dir.isValid());
        for (std::int32_t size : {100000, 102000})
            QVERIFY2(!m_frames.frame(size).empty(), "no frame of the wanted compressed size");
    }

    void numberText_data() {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << QStringLiteral(" 0");
        QTest::newRow("positive") << qint64(104211) << QStringLiteral(" 104211");
        QTest::newRow("negative") << qint64(-3) << QStringLiteral("-3");
    }

    void numberText() {
        QFETCH(qint64, value);
        QFETCH(QString, text);
        QCOMPARE(StatisticsFigures::numberText(value), text);
    }

    void frameState_data() {
        QTest::addColumn<QString>("panel2");
        QTest::addColumn<QString>("panel4");
        QTest::addColumn<QString>("text");
        QTest::newRow("standby") << "STANDBY"
                                 << ""
                                 << "STANDBY";
        QTest::newRow("recording") << "RECORDING"
                                   << ""
                                   << "RECORDING";
        QTest::newRow("recording, blanks") << "RECORDING"
                                           << "   "
                                           << "RECORDING";
        QTest::newRow("ending") << "RECORDING"
                                << "7 sec"
                                << "RECORDING (Ending)";
        QTest::newRow("recorded") << "RECORDED"
                                  << "3 sec"
                                  << "RECORDED";
        QTest::newRow("mailing") << "MAILING"
                                 << ""
                                 << "MAILING";
    }

    void frameState() {
        QFETCH(QString, panel2);
        QFETCH(QString, panel4);
        QFETCH(QString, text);
        QCOMPARE(StatisticsFigures::frameStateText(panel2, panel4), text);
    }

    void designAndLoad() {
        SurveillanceRig r;
        Statistics window(r.stuff, r.panels, r.capture);
        QCOMPARE(window.windowTitle(), QStringLiteral("Video Statistics"));
        QCOMPARE(window.Label19->text(), QStringLiteral("Statusinfo"));
        for (QLabel* value :
             {window.Label2, window.Label4, window.Label7, window.Label10, window.Label12}) {
            QCOMPARE(value->text(), QStringLiteral("0"));
            QCOMPARE(value->font().family(), QStringLiteral("Courier New"));
        }
        QCOMPARE(window.Label16->text(), QStringLiteral("???"));
        QCOMPARE(window.Label18->text(), QStringLiteral("???"));
        QVERIFY(window.Label15->text().isEmpty());
        QStringList groups;
        for (const QGroupBox* box : window.findChildren<QGroupBox*>())
            groups << box->title();
        QCOMPARE(
            groups,
            (QStringList{QStringLiteral("Video Status"), QStringLiteral("Current Hardware Driver"),
                         QStringLiteral("Current Frame"), QStringLiteral("Base Image")}));
        const auto caption = [&window](const char* name) {
            const auto* label = window.findChild<QLabel*>(QLatin1String(name));
            return label ? label->text() : QString();
        };
        QCOMPARE(caption("Label14"), QStringLiteral("Difference"));
        QCOMPARE(caption("Label11"), QStringLiteral("Frame Size"));
        QCOMPARE(caption("Label13"), QStringLiteral("Bytes"));
        QCOMPARE(caption("Label9"), QStringLiteral("Frame #"));
        QCOMPARE(caption("Label1"), QStringLiteral("Base Image #"));
        QCOMPARE(caption("Label3"), QStringLiteral("Image Size"));
        QCOMPARE(caption("Label5"), QStringLiteral("Bytes"));
        QCOMPARE(caption("Label6"), QStringLiteral("Image Refresh"));
        QCOMPARE(caption("Label8"), QStringLiteral("Secs"));

        window.Form_Load();
        QVERIFY(window.Label19->text().isEmpty());
        QVERIFY(window.Timer1.isActive());
        QCOMPARE(window.Timer1.interval(), 500);
        QVERIFY(!window.isVisible());
    }

    void figuresAfterFrames() {
        Rig rig;
        rig.r.mnuStat.setChecked(true);
        arm(rig);
        QVERIFY(rig.window.isVisible());
        rig.r.examine(m_frames.frame(100000)); // the base
        rig.r.examine(m_frames.frame(102000)); // 2 % off
        rig.r.advance(1);
        rig.r.surveillance.Timer1_Timer();
        rig.window.Timer1_Timer();
        QCOMPARE(rig.window.Label2->text(), QStringLiteral(" 1"));
        QCOMPARE(rig.window.Label4->text(), QStringLiteral(" 100000"));
        QCOMPARE(rig.window.Label10->text(), QStringLiteral(" 2"));
        QCOMPARE(rig.window.Label12->text(), QStringLiteral(" 102000"));
        QCOMPARE(rig.window.Label7->text(),
                 StatisticsFigures::numberText(rig.r.stuff.BaseCountdown));
        QVERIFY(rig.r.stuff.BaseCountdown > 0);
        QCOMPARE(rig.window.Label19->text(), QStringLiteral("STANDBY"));
        // Threshold 4 %: the bar runs to 400 hundredths and shows 2 %.
        QCOMPARE(rig.window.ProgressBar1->minimum(), 0);
        QCOMPARE(rig.window.ProgressBar1->maximum(), 400);
        QCOMPARE(rig.window.ProgressBar1->value(), 200);
        // No device selected: the driver labels read empty.
        QVERIFY(rig.window.Label16->text().isEmpty());
        QVERIFY(rig.window.Label18->text().isEmpty());
    }

    void aDeviationAboveTheThresholdFillsTheBar() {
        Rig rig;
        rig.r.mnuStat.setChecked(true);
        rig.r.stuff.Threshold = 1.2F;
        arm(rig);
        rig.r.stuff.LastDeviation = 10.0F;
        rig.window.Timer1_Timer();
        QCOMPARE(rig.window.ProgressBar1->maximum(), 120);
        QCOMPARE(rig.window.ProgressBar1->value(), 120);
    }

    void endingPeriodIsShown() {
        Rig rig;
        rig.r.mnuStat.setChecked(true);
        arm(rig);
        rig.r.panels.setText(Panel::State, QStringLiteral("RECORDING"));
        rig.window.Timer1_Timer();
        QCOMPARE(rig.window.Label19->text(), QStringLiteral("RECORDING"));
        rig.r.panels.setText(Panel::TimeToGo, QStringLiteral("10 sec"));
        rig.window.Timer1_Timer();
        QCOMPARE(rig.window.Label19->text(), QStringLiteral("RECORDING (Ending)"));
    }

    void hiddenWindowIsNotRefreshed() {
        Rig rig;
        arm(rig);
        // The entry is not checked: arming leaves the window hidden.
        QVERIFY(!rig.window.isVisible());
        rig.r.examine(m_frames.frame(100000));
        rig.window.Timer1_Timer();
        QCOMPARE(rig.window.Label10->text(), QStringLiteral("0"));
        QVERIFY(rig.window.Label19->text().isEmpty());

        rig.r.stuff.CaptureStatusText = QStringLiteral("Capture started");
        rig.window.show();
        rig.window.Timer1_Timer();
        QCOMPARE(rig.window.Label10->text(), QStringLiteral(" 1"));
        QCOMPARE(rig.window.Label15->text(), QStringLiteral("Capture started"));

        // The status label keeps its text until the next status report.
        rig.window.hide();
        rig.r.stuff.CaptureStatusText = QStringLiteral("later text");
        rig.r.examine(m_frames.frame(102000));
        rig.window.show();
        rig.window.Timer1_Timer();
        QCOMPARE(rig.window.Label10->text(), QStringLiteral(" 2"));
        QCOMPARE(rig.window.Label15->text(), QStringLiteral("Capture started"));
        Q_EMIT rig.r.capture.StatusCallback(0, QStringLiteral("Device ready") + QChar(u'\0'));
        QCOMPARE(rig.window.Label15->text(), QStringLiteral("Device ready"));
    }

    void statusReportWhileHiddenWaits() {
        Rig rig;
        Q_EMIT rig.r.capture.StatusCallback(0, QStringLiteral("Report one"));
        QVERIFY(rig.window.Label15->text().isEmpty());
        rig.window.show();
        rig.window.Timer1_Timer();
        QCOMPARE(rig.window.Label15->text(), QStringLiteral("Report one"));
    }

    void disarmingHidesIt() {
        Rig rig;
        rig.r.mnuStat.setChecked(true);
        arm(rig);
        QVERIFY(rig.window.isVisible());
        rig.r.surveillance.mnuStart_Click();
        QVERIFY(!rig.window.isVisible());
    }

    void itsOwnTimerRefreshesTheDriverLabels() {
        Rig rig;
        QVERIFY(rig.r.openCamera());
        rig.r.mnuStat.setChecked(true);
        arm(rig);
        rig.r.examine(m_frames.frame(100000));
        QTRY_COMPARE_WITH_TIMEOUT(rig.window.Label10->text(), QStringLiteral(" 1"), 2000);
        QCOMPARE(rig.window.Label16->text(), rig.r.capture.DeviceName(0));
        QVERIFY(!rig.window.Label16->text().isEmpty());
        QCOMPARE(rig.window.Label18->text(), QStringLiteral("1.0"));
    }
};

QTEST_MAIN(tst_Statistics)
#include "tst_statistics.moc"
