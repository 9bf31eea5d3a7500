// The statistics window over the real surveillance and the test scene
// camera, fed frames of known compressed size.
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

class tst_Statistics final : public QObject {
    Q_OBJECT

    // Every text of the window, the bar and whether it shows, in one line.
    static QString shown(const Statistics& w) {
        QStringList texts;
        for (const QGroupBox* box : w.findChildren<QGroupBox*>())
            texts << box->title();
        for (const QLabel* label : w.findChildren<QLabel*>())
            texts << label->objectName() + '=' + label->text();
        texts << QStringLiteral("%1/%2").arg(w.ProgressBar1->value()).arg(w.ProgressBar1->maximum())
              << (w.isVisible() ? "shown" : "hidden");
        return texts.join(u'|');
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void frameStateText() {
        const char* rows[][3] = {{"RECORDING", "   ", "RECORDING"},
                                 {"RECORDING", "7 sec", "RECORDING (Ending)"},
                                 {"RECORDED", "3 sec", "RECORDED"},
                                 {"MAILING", "", "MAILING"}};
        for (const auto& [state, toGo, text] : rows)
            QCOMPARE(StatisticsFigures::frameStateText(state, toGo), QLatin1String(text));
        QCOMPARE(StatisticsFigures::numberText(-3), QStringLiteral("-3"));
    }

    // Hidden it shows nothing new; armed with its entry checked it follows
    // the figures by its own timer and the capture status at once.
    void windowFollowsTheSurveillance() {
        QTemporaryDir dir;
        SizedFrames frames;
        SurveillanceRig r;
        r.stuff.VidPath = dir.path() + u'/';
        QVERIFY(r.openCamera());
        Statistics window(r.stuff, r.panels, r.capture);
        window.Form_Load();
        connect(&r.surveillance, &Surveillance::statisticsVisibilityRequested, &window,
                &QWidget::setVisible);
        connect(&r.surveillance, &Surveillance::captureStatusChanged, &window,
                &Statistics::showCaptureStatus);
        // Captions and values in reading order, %1 to %9 the values.
        const QString layout = QStringLiteral(
            "Video Status|Current Hardware Driver|Current Frame|Base Image|Label15=%1|"
            "Label16=%2|Label18=%3|Label19=%4|Label14=Difference|Label11=Frame Size|Label12=%5|"
            "Label13=Bytes|Label9=Frame #|Label10=%6|Label1=Base Image #|Label2=%7|"
            "Label3=Image Size|Label4=%8|Label5=Bytes|Label6=Image Refresh|Label7=%9|Label8=Secs|");
        const QString loaded = shown(window);
        QCOMPARE(loaded, layout.arg("", "???", "???", "", "0", "0", "0", "0", "0") + "0/1|hidden");
        Q_EMIT r.capture.StatusCallback(0, QStringLiteral("Report one"));
        r.surveillance.mnuStart_Click();
        r.examine(frames.frame(100000));
        window.Timer1_Timer();
        QCOMPARE(shown(window), loaded);
        r.surveillance.mnuStart_Click();

        r.mnuStat.setChecked(true);
        r.surveillance.mnuStart_Click();
        r.examine(frames.frame(100000)); // the base
        r.examine(frames.frame(102000)); // 2 % off a threshold of 4 %
        r.advance(1);
        r.surveillance.Timer1_Timer();
        QTRY_COMPARE_WITH_TIMEOUT(shown(window),
                                  layout.arg("Report one", r.capture.DeviceName(0), "1.0",
                                             "STANDBY", " 102000", " 2", " 1", " 100000",
                                             StatisticsFigures::numberText(r.stuff.BaseCountdown)) +
                                      "200/400|shown",
                                  2000);
        // The status label keeps its text until the next report.
        r.stuff.CaptureStatusText = QStringLiteral("later text");
        r.stuff.Threshold = 1.2F;
        r.stuff.LastDeviation = 10.0F;
        r.panels.setText(Panel::State, QStringLiteral("RECORDING"));
        r.panels.setText(Panel::TimeToGo, QStringLiteral("10 sec"));
        window.Timer1_Timer();
        QCOMPARE(window.Label15->text(), QStringLiteral("Report one"));
        QCOMPARE(window.Label19->text(), QStringLiteral("RECORDING (Ending)"));
        QCOMPARE(shown(window).section(u'|', -2), QStringLiteral("120/120|shown"));
        Q_EMIT r.capture.StatusCallback(0, QStringLiteral("Device ready") + QChar(u'\0'));
        QCOMPARE(window.Label15->text(), QStringLiteral("Device ready"));
        r.surveillance.mnuStart_Click();
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(tst_Statistics)
#include "tst_statistics.moc"
