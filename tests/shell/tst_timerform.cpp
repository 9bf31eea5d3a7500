// The standby countdown window on the test's clock: ticks are run by hand
// after the clock has been moved on, except where the real timer is meant.
#include "StandbyCountdown.h"
#include "SurveillanceRig.h"
#include "TimerForm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

class tst_TimerForm final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static QString state(TimerForm& form, SurveillanceRig& rig) {
        return QStringLiteral("%1 %2 %3 %4 %5")
            .arg(form.Label2->text())
            .arg(form.ProgressBar1->value())
            .arg(rig.panels.text(Panel::State), form.isVisible() ? "shown" : "hidden",
                 form.countdown().Timer1.isActive() ? "ticking" : "still");
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
        QTest::newRow("counts down and arms")
            << "1 2 29 30"
            << "29 seconds 29 OFF shown ticking|28 seconds 28 OFF shown ticking|"
               "1 seconds 1 OFF shown ticking|0 seconds 0 STANDBY hidden still";
        // The count comes from the clock, not from the number of ticks.
        QTest::newRow("late tick") << "12 45"
                                   << "18 seconds 18 OFF shown ticking|0 seconds 0 STANDBY hidden "
                                      "still";
        // A tick that was already queued changes nothing.
        QTest::newRow("cancel") << "10 cancel 31"
                                << "20 seconds 20 OFF shown ticking|20 seconds 20 OFF hidden "
                                   "still|20 seconds 20 OFF hidden still";
        QTest::newRow("escape") << "escape"
                                << "30 seconds 30 OFF hidden still";
        // The remote console arms it while the window counts.
        QTest::newRow("armed meanwhile")
            << "5 arm 30"
            << "25 seconds 25 OFF shown ticking|25 seconds 25 STANDBY shown ticking|"
               "0 seconds 0 STANDBY hidden still";
        QTest::newRow("refused for low space")
            << "low 30"
            << "30 seconds 30 OFF shown ticking|0 seconds 0 OFF hidden still";
        QTest::newRow("each opening starts again")
            << "20 cancel again 1"
            << "10 seconds 10 OFF shown ticking|10 seconds 10 OFF hidden still|"
               "30 seconds 30 OFF shown ticking|29 seconds 29 OFF shown ticking";
    }
    void countdown() {
        QFETCH(QString, events);
        QFETCH(QString, states);
        SurveillanceRig rig;
        rig.stuff.VidPath = m_dir.path() + u'/';
        QDateTime openedAt = rig.clock;
        auto form = std::make_unique<TimerForm>(rig.stuff, rig.surveillance);
        QCOMPARE(QStringList({form->windowTitle(), form->Label1->text(), form->Command1->text(),
                              state(*form, rig)}),
                 QStringList({"Timer", "Standby mode starts in", "&Cancel",
                              "30 seconds 30 OFF hidden ticking"}));
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

    void modalRunEndsByItsOwnTimer() {
        SurveillanceRig rig;
        rig.stuff.VidPath = m_dir.path() + u'/';
        TimerForm form(rig.stuff, rig.surveillance);
        // The program's clock is already past the end; the first real tick
        // of the window's timer closes it.
        rig.advance(30);
        bool modal = false;
        QTimer::singleShot(100, &form, [&] { modal = QApplication::activeModalWidget() == &form; });
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(form.exec(), int(QDialog::Accepted));
        QVERIFY(modal && elapsed.elapsed() >= 900 && elapsed.elapsed() < 5000);
        QVERIFY(rig.surveillance.SurveillanceOn());
    }
};

QTEST_MAIN(tst_TimerForm)
#include "tst_timerform.moc"
