// The small windows over the real surveillance and the test scene camera:
// the standby countdown on the test's clock, the statistics fed frames of
// known compressed size, and the about box.
#include "CaptureControl.h"
#include "DeviationHistory.h"
#include "DeviationPlot.h"
#include "Statistics.h"
#include "StatisticsFigures.h"
#include "SurveillanceRig.h"
#include "TimerForm.h"
#include "frmAbout.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class tst_Windows final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Seconds left (marked "?" when label and bar disagree), panel 2, and
    // whether the window shows and ticks.
    static QString state(TimerForm& form, SurveillanceRig& rig) {
        const int left = form.ProgressBar1->value();
        const bool same = form.Label2->text() == QStringLiteral("%1 seconds").arg(left);
        return QStringLiteral("%1%2 %3 %4 %5")
            .arg(left)
            .arg(same ? "" : "?")
            .arg(rig.panels.text(Panel::State), form.isVisible() ? "shown" : "hidden",
                 form.countdown().Timer1.isActive() ? "ticking" : "still");
    }

    // Every text of the statistics window, the bar and whether it shows.
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
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(m_dir.isValid());
    }

    // Events, one after another: a number ticks at that many seconds after
    // the window opened; the state after each is noted.
    void countdown_data() {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("states");
        QTest::newRow("counts down and arms") << "1 2 29 30"
                                              << "29 OFF shown ticking|28 OFF shown ticking|1 OFF "
                                                 "shown ticking|0 STANDBY hidden still";
        // The count comes from the clock, not from the number of ticks.
        QTest::newRow("late tick") << "12 45"
                                   << "18 OFF shown ticking|0 STANDBY hidden still";
        // A tick that was already queued changes nothing.
        QTest::newRow("cancel") << "10 cancel 31"
                                << "20 OFF shown ticking|20 OFF hidden still|20 OFF hidden still";
        QTest::newRow("escape") << "escape"
                                << "30 OFF hidden still";
        // The remote console arms it while the window counts.
        QTest::newRow("armed meanwhile")
            << "5 arm 30"
            << "25 OFF shown ticking|25 STANDBY shown ticking|0 STANDBY hidden still";
        QTest::newRow("refused for low space") << "low 30"
                                               << "30 OFF shown ticking|0 OFF hidden still";
        QTest::newRow("each opening starts again")
            << "20 cancel again 1"
            << "10 OFF shown ticking|10 OFF hidden still|30 OFF shown ticking|29 OFF shown ticking";
    }
    void countdown() {
        QFETCH(QString, events);
        QFETCH(QString, states);
        SurveillanceRig rig;
        rig.stuff.VidPath = m_dir.path() + u'/';
        QDateTime openedAt = rig.clock;
        auto form = std::make_unique<TimerForm>(rig.stuff, rig.surveillance);
        QCOMPARE(
            QStringList({form->windowTitle(), form->Label1->text(), form->Command1->text(),
                         state(*form, rig)}),
            QStringList({"Timer", "Standby mode starts in", "&Cancel", "30 OFF hidden ticking"}));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QStringList seen;
        for (const QString& event : events.split(u' ')) {
            if (event == "cancel") {
                QTest::mouseClick(form->Command1, Qt::LeftButton);
                QCOMPARE(form->result(), int(QDialog::Rejected));
            } else if (event == "escape") {
                QTest::keyClick(form.get(), Qt::Key_Escape);
            } else if (event == "arm") {
                rig.surveillance.mnuStart_Click();
            } else if (event == "low") {
                rig.stuff.LowSpace = std::numeric_limits<std::int32_t>::max();
            } else if (event == "again") {
                rig.advance(100);
                openedAt = rig.clock;
                form = std::make_unique<TimerForm>(rig.stuff, rig.surveillance);
                form->show();
            } else {
                rig.clock = openedAt.addSecs(event.toInt());
                form->countdown().Timer1_Timer();
            }
            seen << state(*form, rig);
        }
        QCOMPARE(seen.join(u'|'), states);
        if (events.startsWith("low"))
            QCOMPARE(rig.panels.text(Panel::Timestamp), QStringLiteral("LOW DISK SPACE"));
        else if (rig.surveillance.SurveillanceOn())
            QCOMPARE(form->result(), int(QDialog::Accepted));
    }

    // The program's clock is already past the end; the first real tick of
    // the modal window's own timer closes it.
    void countdownEndsByItsOwnTimer() {
        SurveillanceRig rig;
        rig.stuff.VidPath = m_dir.path() + u'/';
        TimerForm form(rig.stuff, rig.surveillance);
        rig.advance(30);
        bool modal = false;
        QTimer::singleShot(100, &form, [&] { modal = QApplication::activeModalWidget() == &form; });
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(form.exec(), int(QDialog::Accepted));
        QVERIFY(modal && elapsed.elapsed() >= 900 && elapsed.elapsed() < 5000);
        QVERIFY(rig.surveillance.SurveillanceOn());
    }

    // Hidden it shows nothing new; armed with its entry checked it follows
    // the figures by its own timer and the capture status at once.
    void statisticsFollowTheSurveillance() {
        QCOMPARE(StatisticsFigures::frameStateText("RECORDED", "3 sec"),
                 QStringLiteral("RECORDED"));
        QCOMPARE(StatisticsFigures::frameStateText("RECORDING", "   "),
                 QStringLiteral("RECORDING"));
        QCOMPARE(StatisticsFigures::numberText(-3), QStringLiteral("-3"));
        SizedFrames frames;
        SurveillanceRig r;
        r.stuff.VidPath = m_dir.path() + u'/';
        QVERIFY(r.openCamera());
        DeviationHistory history(r.surveillance, r.panels, r.stuff);
        Statistics window(r.stuff, r.panels, r.capture, history);
        window.Form_Load();
        connect(&r.surveillance, &Surveillance::statisticsVisibilityRequested, &window,
                &QWidget::setVisible);
        connect(&r.surveillance, &Surveillance::captureStatusChanged, &window,
                &Statistics::showCaptureStatus);
        // Captions and values in reading order, %1 to %12 the values.
        const QString layout = QStringLiteral(
            "Video Status|Current Hardware Driver|Current Frame|Base Image|Label15=%1|"
            "Label16=%2|Label18=%3|Label19=%4|Label14=Difference|Label11=Frame Size|Label12=%5|"
            "Label13=Bytes|Label9=Frame #|Label10=%6|examinedCaption=Examined|examinedRate=%10|"
            "examinedUnit=per sec|skippedCaption=Skipped|framesSkipped=%11|"
            "preRecordCaption=Pre-record|preRecordBytes=%12|preRecordUnit=Bytes|"
            "Label1=Base Image #|Label2=%7|"
            "Label3=Image Size|Label4=%8|Label5=Bytes|Label6=Image Refresh|Label7=%9|Label8=Secs|");
        const QString loaded = shown(window);
        QCOMPARE(loaded, layout.arg("", "???", "???", "", "0", "0", "0", "0", "0", "0", "0", "0") +
                             "0/1|hidden");
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
                                             StatisticsFigures::numberText(r.stuff.BaseCountdown),
                                             "2.0", " 0", window.preRecordBytes->text()) +
                                      "200/400|shown",
                                  2000);
        // Armed, the pre-record keeps frames of the running camera.
        QTRY_VERIFY_WITH_TIMEOUT(window.preRecordBytes->text().toLongLong() > 0, 5000);
        // The plot's top is twice the threshold of 4 %: its line halves the area.
        const QRect a = window.plot->area();
        const QImage plot = window.plot->grab().toImage();
        const int lineY = a.bottom() - int(std::lround((a.height() - 1) / 2.0));
        int onLine = 0, above = 0;
        for (int x = a.left() + 2; x < a.right() - 2; ++x) {
            onLine += plot.pixelColor(x, lineY) == DeviationPlot::ThresholdColor;
            above += plot.pixelColor(x, lineY - 3) == DeviationPlot::ThresholdColor;
        }
        QCOMPARE(QString("%1 %2").arg(onLine).arg(above), QString("%1 0").arg(a.width() - 5));
        // The status label keeps its text until the next report.
        r.stuff.CaptureStatusText = QStringLiteral("later text");
        r.stuff.Threshold = 1.2F;
        r.stuff.LastDeviation = 10.0F;
        r.panels.setText(Panel::State, QStringLiteral("RECORDING"));
        r.panels.setText(Panel::TimeToGo, QStringLiteral("10 sec"));
        window.Timer1_Timer();
        QCOMPARE(window.Label15->text() + '|' + window.Label19->text(),
                 QStringLiteral("Report one|RECORDING (Ending)"));
        QCOMPARE(shown(window).section(u'|', -2), QStringLiteral("120/120|shown"));
        Q_EMIT r.capture.StatusCallback(0, QStringLiteral("Device ready") + QChar(u'\0'));
        QCOMPARE(window.Label15->text(), QStringLiteral("Device ready"));
        r.surveillance.mnuStart_Click();
        QVERIFY(!window.isVisible());
        // Two minutes later only the newest deviation and no mark is left.
        const auto kept = [&] {
            QStringList items;
            for (const DeviationHistory::Sample& d : history.samples())
                items << QString::number(d.deviation);
            for (const DeviationHistory::Mark& m : history.marks())
                items << QString::number(history.latestMs() - m.ms) + (m.started ? "s" : "e");
            return items.join(u' ');
        };
        QCOMPARE(kept(), QStringLiteral("0 0 2 0s 0e"));
        r.surveillance.mnuStart_Click();
        r.advance(121);
        r.examine(frames.frame(103000));
        QCOMPARE(kept(), QStringLiteral("0"));
    }

    // OK closes it; the main window opens it modal.
    void aboutShowsItsTextsAndOkCloses() {
        frmAbout about;
        // The disclaimer's lines end with CR LF.
        const QString disclaimer = about.lblDisclaimer->text();
        QVERIFY(disclaimer.startsWith(QStringLiteral("Copyright")));
        QCOMPARE(
            QStringList({about.windowTitle(), about.lblTitle->text(), about.lblVersion->text(),
                         disclaimer.section(QStringLiteral("\r\n"), 1), about.cmdOK->text()}),
            QStringList({"About", "Sentorix", "Revision 1.0.18",
                         "https://sentorix.example.org/\r\ncontact@sentorix.example.org", "OK"}));
        QVERIFY(!about.picIcon->pixmap().isNull() && !about.picLogo->pixmap().isNull());
        about.show();
        QTest::mouseClick(about.cmdOK, Qt::LeftButton);
        QVERIFY(about.result() == QDialog::Accepted && !about.isVisible());
    }
};

QTEST_MAIN(tst_Windows)
#include "tst_windows.moc"
