// The small windows over the real surveillance and the test scene camera:
// the standby countdown on the test's clock, the statistics and the
// detection areas fed frames of known compressed size.
#include "CaptureControl.h"
#include "DetectionAreasDialog.h"
#include "DeviationHistory.h"
#include "DeviationPlot.h"
#include "MaskEditor.h"
#include "SensitivityPresets.h"
#include "Statistics.h"
#include "StatisticsFigures.h"
#include "SurveillanceRig.h"
#include "TimerForm.h"
#include "WaitBound.h"
#include "WebAccessDialog.h"

#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class tst_Windows final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Seconds left (marked "?" when label and bar disagree), panel 2, and
    // whether the window shows and ticks.
    static QString state(TimerForm& form, SurveillanceRig& rig) {
        const int left = form.ProgressBar1->value();
        const bool same = form.Label2->text() == QStringLiteral("%1 seconds").arg(left);
        return QString::number(left) + (same ? " " : "? ") + rig.panels.text(Panel::State) +
               (form.isVisible() ? " shown" : " hidden") +
               (form.countdown().Timer1.isActive() ? " ticking" : " still");
    }

    // The values of the statistics window, the bar and whether it shows.
    static QString shown(const Statistics& w) {
        QStringList texts;
        for (const QLabel* l :
             {w.Label15, w.Label16, w.Label18, w.Label19, w.Label12, w.Label10, w.Label2, w.Label4,
              w.Label7, w.examinedRate, w.framesSkipped, w.preRecordBytes})
            texts << l->text();
        // The frames kept for pre-record vary with the scene.
        if (texts.last().toLongLong() > 0)
            texts.last() = QStringLiteral(">0");
        return texts.join(u'|') +
               QStringLiteral("|%1/%2|")
                   .arg(w.ProgressBar1->value())
                   .arg(w.ProgressBar1->maximum()) +
               (w.isVisible() ? "shown" : "hidden");
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Events, one after another: a number ticks at that many seconds after
    // the window opened; the state after each is noted (before the first:
    // 30 seconds, not shown, ticking).
    void countdown_data() {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("states");
        // The count comes from the clock, not from the number of ticks, and
        // a late tick ends it as well.
        QTest::newRow("counts down and arms")
            << "1 29 45"
            << "29 OFF shown ticking|1 OFF shown ticking|0 STANDBY hidden still";
        QTest::newRow("by its own timer") << "modal"
                                          << "0 STANDBY hidden still";
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
    }
    void countdown() {
        QFETCH(QString, events);
        QFETCH(QString, states);
        SurveillanceRig rig;
        rig.stuff.VidPath = m_dir.path() + u'/';
        const QDateTime openedAt = rig.clock;
        TimerForm form(rig.stuff, rig.surveillance);
        QStringList seen{state(form, rig)};
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (const QString& event : events.split(u' ')) {
            if (event == "cancel") {
                QTest::mouseClick(form.Command1, Qt::LeftButton);
            } else if (event == "escape") {
                QTest::keyClick(&form, Qt::Key_Escape);
            } else if (event == "arm") {
                rig.surveillance.mnuStart_Click();
            } else if (event == "modal") { // the modal window's own timer ends it
                rig.clock = openedAt.addSecs(40);
                QElapsedTimer elapsed;
                elapsed.start();
                QCOMPARE(form.exec(), int(QDialog::Accepted));
                QVERIFY(elapsed.elapsed() >= 900 && elapsed.elapsed() < TestData::Bound);
            } else if (event == "low") {
                rig.stuff.LowSpace = std::numeric_limits<std::int32_t>::max();
            } else {
                rig.clock = openedAt.addSecs(event.toInt());
                form.countdown().Timer1_Timer();
            }
            seen << state(form, rig);
        }
        QCOMPARE(seen.join(u'|'), "30 OFF hidden ticking|" + states);
        if (events.startsWith("low"))
            QCOMPARE(rig.panels.text(Panel::Timestamp), QStringLiteral("LOW DISK SPACE"));
    }

    // Armed with its entry checked it follows the figures by its own timer
    // and the capture status at once.
    void statisticsFollowTheSurveillance() {
        QCOMPARE(StatisticsFigures::frameStateText("RECORDED", "3 sec") + '|' +
                     StatisticsFigures::frameStateText("RECORDING", "   ") +
                     StatisticsFigures::numberText(-3),
                 QStringLiteral("RECORDED|RECORDING-3"));
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
        QCOMPARE(shown(window), QStringLiteral("|???|???||0|0|0|0|0|0|0|0|0/1|hidden"));
        Q_EMIT r.capture.StatusCallback(0, QStringLiteral("Report one"));
        r.mnuStat.setChecked(true);
        r.surveillance.mnuStart_Click();
        r.examine(frames.frame(100000)); // the base
        r.examine(frames.frame(102000)); // 2 % off a threshold of 4 %
        r.advance(1);
        r.surveillance.Timer1_Timer();
        QTRY_COMPARE_WITH_TIMEOUT(
            shown(window),
            "Report one|" + r.capture.DeviceName(0) + "|1.0|STANDBY| 102000| 2| 1| 100000|" +
                StatisticsFigures::numberText(r.stuff.BaseCountdown) + "|2.0| 0|>0|200/400|shown",
            TestData::Bound);
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
        // Scales of one step of 1, 2 or 5 times a power of ten; minute
        // ticks below; the presets below the top dashed across the middle,
        // where no curve or name is, and the one in use red.
        QStringList scale;
        for (const double top : {0.5, 2.4, 8.0, 30.0, 250.0}) {
            QStringList ticks;
            for (const double t : DeviationPlot::valueTicks(top))
                ticks << QString::number(t);
            scale << ticks.join(u' ');
        }
        for (int x = a.left(); x <= a.right(); ++x)
            if (plot.pixelColor(x, a.bottom() + 2) ==
                window.plot->palette().color(QPalette::WindowText))
                scale << QString::number(std::lround((x - a.left()) * 2.0 / (a.width() - 1)));
        for (const double preset : SensitivityPresets::Thresholds) {
            const int y = window.plot->yOf(preset);
            int dashes = 0, off = 0;
            for (int x = a.left() + a.width() / 3; x < a.right() - a.width() / 3; ++x) {
                dashes += plot.pixelColor(x, y) == DeviationPlot::PresetColor;
                off += plot.pixelColor(x, y - 3) == DeviationPlot::PresetColor ||
                       plot.pixelColor(x, y + 3) == DeviationPlot::PresetColor;
            }
            const bool red = plot.pixelColor(a.center().x(), y) == DeviationPlot::ThresholdColor;
            scale << QString::number(preset) + (red                                   ? "red"
                                                : dashes > a.width() / 12 && off == 0 ? "dashed"
                                                                                      : "-");
        }
        QCOMPARE(scale.join(u'|'), QStringLiteral("0 0.1 0.2 0.3 0.4 0.5|0 0.5 1 1.5 2|0 2 4 6 8|"
                                                  "0 5 10 15 20 25 30|0 50 100 150 200 250|"
                                                  "0|1|2|1.2dashed|2dashed|4red|6dashed|8-"));
        // The status label keeps its text until the next report.
        r.stuff.CaptureStatusText = QStringLiteral("later text");
        r.stuff.Threshold = 1.2F;
        r.stuff.LastDeviation = 10.0F;
        r.panels.setText(Panel::State, QStringLiteral("RECORDING"));
        r.panels.setText(Panel::TimeToGo, QStringLiteral("10 sec"));
        window.Timer1_Timer();
        QCOMPARE(window.Label15->text() + '|' + window.Label19->text() + '|' +
                     shown(window).section(u'|', -2),
                 QStringLiteral("Report one|RECORDING (Ending)|120/120|shown"));
        Q_EMIT r.capture.StatusCallback(0, QStringLiteral("Device ready") + QChar(u'\0'));
        QCOMPARE(window.Label15->text(), QStringLiteral("Device ready"));
        r.advance(60);
        r.surveillance.mnuStart_Click();
        QVERIFY(!window.isVisible());
        // The recording's start a minute ago is marked mid-way, its end now
        // at the right.
        const QImage marked = window.plot->grab().toImage();
        QStringList marks;
        for (int x = a.left(); x <= a.right(); ++x) {
            const QColor c = marked.pixelColor(x, a.top() + 3);
            if (c == DeviationPlot::StartColor || c == DeviationPlot::EndColor)
                marks << (c == DeviationPlot::StartColor ? "s" : "e") +
                             QString::number(std::lround((x - a.left()) * 2.0 / a.width()));
        }
        marks.removeDuplicates();
        QCOMPARE(marks.join(u' '), QStringLiteral("s1 e2"));
        // Two minutes later only the newest deviation and no mark is left.
        const auto kept = [&] {
            QStringList items;
            for (const DeviationHistory::Sample& d : history.samples())
                items << QString::number(d.deviation);
            for (const DeviationHistory::Mark& m : history.marks())
                items << QString::number(history.latestMs() - m.ms) + (m.started ? "s" : "e");
            return items.join(u' ');
        };
        QCOMPARE(kept(), QStringLiteral("0 2 60000s 0e"));
        r.surveillance.mnuStart_Click();
        r.advance(121);
        r.examine(frames.frame(103000));
        QCOMPARE(kept(), QStringLiteral("0"));
    }

    // Areas drawn, moved and deleted with the mouse, in percent of the
    // picture and inside it; a slip of the hand draws none. Suggest wants a
    // measurement, then puts the threshold above the history's highest.
    void detectionAreas() {
        QCOMPARE(QString::asprintf("%g %g %g", DetectionAreasDialog::suggestion(0.0),
                                   DetectionAreasDialog::suggestion(2.0),
                                   DetectionAreasDialog::suggestion(3.9)),
                 QStringLiteral("0.25 2.75 5.15"));
        SizedFrames frames;
        SurveillanceRig r;
        r.stuff.VidPath = m_dir.path() + u'/';
        DeviationHistory history(r.surveillance, r.panels, r.stuff);
        DetectionAreasDialog dialog({QRectF(50, 50, 25, 25)}, 0.0F, history);
        connect(&r.surveillance, &Surveillance::deviationMeasured, &dialog,
                &DetectionAreasDialog::showDeviation);
        QImage picture(320, 240, QImage::Format_RGB32);
        picture.fill(QColor(200, 200, 200));
        dialog.showPicture(picture);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* editor = dialog.findChild<MaskEditor*>();
        const auto at = [editor](double x, double y) {
            return editor->toWidget(QRectF(x, y, 0, 0)).topLeft().toPoint();
        };
        const auto drag = [&](double x, double y, double toX, double toY) {
            QTest::mousePress(editor, Qt::LeftButton, {}, at(x, y));
            QTest::mouseMove(editor, at((x + toX) / 2, (y + toY) / 2));
            QTest::mouseRelease(editor, Qt::LeftButton, {}, at(toX, toY));
        };
        const auto masks = [&] {
            QStringList texts;
            for (const QRectF& m : dialog.masks())
                texts << QString::asprintf("%.0f,%.0f,%.0f,%.0f", m.left(), m.top(), m.width(),
                                           m.height());
            const QImage shown = editor->grab().toImage();
            const auto shade = [&](double x, double y) {
                return qGray(shown.pixel(at(x, y))) < 150 ? "#" : ".";
            };
            return texts.join(u' ') + ' ' + shade(20, 25) + shade(60, 60) + shade(95, 95);
        };
        QStringList seen{masks()};
        drag(30, 40, 10, 10);
        seen << masks();
        drag(60, 10, 60.5, 10.5);
        drag(90, 90, 130, 120);
        seen << masks();
        drag(55, 55, 95, 65);
        seen << masks();
        QTest::keyClick(editor, Qt::Key_Delete);
        seen << masks();
        QCOMPARE(seen, QStringList({"50,50,25,25 .#.", "50,50,25,25 10,10,20,30 ##.",
                                    "50,50,25,25 10,10,20,30 90,90,10,10 ###",
                                    "75,60,25,25 10,10,20,30 90,90,10,10 #.#",
                                    "10,10,20,30 90,90,10,10 #.#"}));

        auto* threshold = dialog.findChild<QDoubleSpinBox*>(QStringLiteral("Threshold"));
        auto* suggest = dialog.findChild<QPushButton*>(QStringLiteral("Suggest"));
        const auto state = [&] {
            return threshold->text() + '|' +
                   dialog.findChild<QLabel*>(QStringLiteral("Deviation"))->text() + '|' +
                   dialog.findChild<QLabel*>(QStringLiteral("Note"))->text().section(u':', 0, 0);
        };
        suggest->click();
        seen = QStringList{state()};
        r.surveillance.mnuStart_Click();
        r.examine(frames.frame(100000)); // the base
        r.examine(frames.frame(102000));
        r.examine(frames.frame(100000));
        seen << state();
        suggest->click();
        seen << state() + QString::asprintf("|%g", double(dialog.ownThreshold()));
        QCOMPARE(seen,
                 QStringList({"Sensitivity preset|Deviation now: none yet|Nothing measured yet",
                              "Sensitivity preset|Deviation now: 0.00 %|Nothing measured yet",
                              "2.75 %|Deviation now: 0.00 %|Highest deviation of the last "
                              "two minutes|2.75"}));
    }

    // A password the stored form cannot keep is said at once and cannot be
    // applied; the port the environment forces is named, and the addresses
    // carry it. What OK applies is checked on the real program in
    // tst_telnetconsole.
    void webAccessDialog() {
        WebAccess access;
        access.portOverride = 9000;
        access.status = QStringLiteral("Off: no password.");
        WebAccessDialog dialog(access, [](const QString&, int) { return WebAccess(); });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* password = dialog.findChild<QLineEdit*>(QStringLiteral("Password"));
        auto* note = dialog.findChild<QLabel*>(QStringLiteral("PasswordNote"));
        auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("OK"));
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        const auto state = [&] {
            return (note->isVisible() ? note->text() : QStringLiteral("-")) +
                   (ok->isEnabled() ? " ok" : " no ok");
        };
        QStringList seen{state()};
        QTest::keyClicks(password, "My pass!");
        seen << state();
        password->setText("Mypass7");
        seen << state();
        QCOMPARE(seen, QStringList({"- ok",
                                    "Only letters and digits can be stored in the password; "
                                    "remove the other characters. no ok",
                                    "- ok"}));
        QVERIFY(dialog.findChild<QLabel*>(QStringLiteral("PortNote"))->text().contains("9000"));
        const QString addresses = dialog.findChild<QLabel*>(QStringLiteral("Addresses"))->text();
        QVERIFY2(addresses == "This machine has no network address." ||
                     (addresses.startsWith("https://") &&
                      addresses.count(":9000/") == addresses.count("https://")),
                 qPrintable(addresses));
    }
};

QTEST_MAIN(tst_Windows)
#include "tst_windows.moc"
