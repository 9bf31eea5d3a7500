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

// The standby countdown window on the test's clock: ticks are run by hand
// after the clock has been moved on, except where the real timer is meant.
class tst_TimerForm final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    void prepare(SurveillanceRig& rig) { rig.stuff.VidPath = m_dir.path() + u'/'; }

    static void tickAt(SurveillanceRig& rig, TimerForm& form, int secondsSinceOpening,
                       const QDateTime& openedAt) {
        rig.clock = openedAt.addSecs(secondsSinceOpening);
        form.countdown().Timer1_Timer();
    }

private Q_SLOTS:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(m_dir.isValid());
    }

    void opensAtThirtySeconds() {
        SurveillanceRig rig;
        prepare(rig);
        TimerForm form(rig.stuff, rig.surveillance);
        QCOMPARE(form.windowTitle(), QStringLiteral("Timer"));
        QVERIFY(form.isModal());
        QCOMPARE(form.Label1->text(), QStringLiteral("Standby mode starts in"));
        QCOMPARE(form.Label2->text(), QStringLiteral("30 seconds"));
        QCOMPARE(form.Command1->text(), QStringLiteral("&Cancel"));
        QCOMPARE(form.Label1->font().family(), QStringLiteral("Comic Sans MS"));
        QCOMPARE(form.Label2->font().family(), QStringLiteral("Comic Sans MS"));
        QCOMPARE(form.ProgressBar1->minimum(), 0);
        QCOMPARE(form.ProgressBar1->maximum(), 30);
        QCOMPARE(form.ProgressBar1->value(), 30);
        QCOMPARE(form.countdown().CountdownSeconds, std::int16_t(30));
        QVERIFY(form.countdown().Timer1.isActive());
        QCOMPARE(form.countdown().Timer1.interval(), 1000);
    }

    void countsDownAndArms() {
        SurveillanceRig rig;
        prepare(rig);
        const QDateTime openedAt = rig.clock;
        TimerForm form(rig.stuff, rig.surveillance);
        form.show();
        tickAt(rig, form, 1, openedAt);
        QCOMPARE(form.Label2->text(), QStringLiteral("29 seconds"));
        QCOMPARE(form.ProgressBar1->value(), 29);
        tickAt(rig, form, 2, openedAt);
        QCOMPARE(form.Label2->text(), QStringLiteral("28 seconds"));
        tickAt(rig, form, 29, openedAt);
        QCOMPARE(form.Label2->text(), QStringLiteral("1 seconds"));
        QVERIFY(form.isVisible());
        QVERIFY(!rig.surveillance.SurveillanceOn());
        QCOMPARE(rig.panels.text(Panel::State), QStringLiteral("OFF"));

        tickAt(rig, form, 30, openedAt);
        // The last count stays on show as the window closes.
        QCOMPARE(form.Label2->text(), QStringLiteral("0 seconds"));
        QCOMPARE(form.ProgressBar1->value(), 0);
        QVERIFY(rig.surveillance.SurveillanceOn());
        QCOMPARE(rig.panels.text(Panel::State), QStringLiteral("STANDBY"));
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QVERIFY(!form.countdown().Timer1.isActive());
    }

    void aLateTickStillShowsZero() {
        SurveillanceRig rig;
        prepare(rig);
        const QDateTime openedAt = rig.clock;
        TimerForm form(rig.stuff, rig.surveillance);
        form.show();
        // The count comes from the clock, not from the number of ticks.
        tickAt(rig, form, 12, openedAt);
        QCOMPARE(form.Label2->text(), QStringLiteral("18 seconds"));
        tickAt(rig, form, 45, openedAt);
        QCOMPARE(form.Label2->text(), QStringLiteral("0 seconds"));
        QVERIFY(rig.surveillance.SurveillanceOn());
        QVERIFY(!form.isVisible());
    }

    void cancelStartsNothing() {
        SurveillanceRig rig;
        prepare(rig);
        const QDateTime openedAt = rig.clock;
        TimerForm form(rig.stuff, rig.surveillance);
        form.show();
        tickAt(rig, form, 10, openedAt);
        QTest::mouseClick(form.Command1, Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.result(), int(QDialog::Rejected));
        QVERIFY(!form.countdown().Timer1.isActive());
        // A tick that was already queued changes nothing.
        tickAt(rig, form, 31, openedAt);
        QVERIFY(!rig.surveillance.SurveillanceOn());
        QCOMPARE(rig.panels.text(Panel::State), QStringLiteral("OFF"));
        QCOMPARE(form.Label2->text(), QStringLiteral("20 seconds"));
    }

    void escapeIsACancel() {
        SurveillanceRig rig;
        prepare(rig);
        TimerForm form(rig.stuff, rig.surveillance);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(!form.isVisible());
        QVERIFY(!form.countdown().Timer1.isActive());
        QVERIFY(!rig.surveillance.SurveillanceOn());
    }

    void armedMeanwhileStaysArmed() {
        SurveillanceRig rig;
        prepare(rig);
        const QDateTime openedAt = rig.clock;
        TimerForm form(rig.stuff, rig.surveillance);
        form.show();
        tickAt(rig, form, 5, openedAt);
        // The remote console arms it while the window counts.
        rig.surveillance.mnuStart_Click();
        QVERIFY(rig.surveillance.SurveillanceOn());
        tickAt(rig, form, 30, openedAt);
        QVERIFY(rig.surveillance.SurveillanceOn());
        QCOMPARE(rig.panels.text(Panel::State), QStringLiteral("STANDBY"));
        QVERIFY(!form.isVisible());
    }

    void refusedForLowSpaceClosesAllTheSame() {
        SurveillanceRig rig;
        prepare(rig);
        rig.stuff.LowSpace = std::numeric_limits<std::int32_t>::max();
        const QDateTime openedAt = rig.clock;
        TimerForm form(rig.stuff, rig.surveillance);
        form.show();
        tickAt(rig, form, 30, openedAt);
        QVERIFY(!rig.surveillance.SurveillanceOn());
        QCOMPARE(rig.panels.text(Panel::Timestamp), QStringLiteral("LOW DISK SPACE"));
        QVERIFY(!form.isVisible());
    }

    void eachOpeningStartsAgain() {
        SurveillanceRig rig;
        prepare(rig);
        {
            const QDateTime openedAt = rig.clock;
            TimerForm first(rig.stuff, rig.surveillance);
            tickAt(rig, first, 20, openedAt);
            QCOMPARE(first.Label2->text(), QStringLiteral("10 seconds"));
            first.Command1->click();
        }
        rig.advance(100);
        const QDateTime openedAt = rig.clock;
        TimerForm second(rig.stuff, rig.surveillance);
        QCOMPARE(second.Label2->text(), QStringLiteral("30 seconds"));
        tickAt(rig, second, 1, openedAt);
        QCOMPARE(second.Label2->text(), QStringLiteral("29 seconds"));
    }

    void modalRunEndsByItsOwnTimer() {
        SurveillanceRig rig;
        prepare(rig);
        TimerForm form(rig.stuff, rig.surveillance);
        // The program's clock is already past the end; the first real tick
        // of the window's timer closes it.
        rig.advance(30);
        bool modal = false;
        QTimer::singleShot(100, &form, [&] { modal = QApplication::activeModalWidget() == &form; });
        QElapsedTimer elapsed;
        elapsed.start();
        QCOMPARE(form.exec(), int(QDialog::Accepted));
        QVERIFY(modal);
        QVERIFY(elapsed.elapsed() >= 900);
        QVERIFY(elapsed.elapsed() < 5000);
        QVERIFY(rig.surveillance.SurveillanceOn());
        QCOMPARE(form.Label2->text(), QStringLiteral("0 seconds"));
    }
};

QTEST_MAIN(tst_TimerForm)
#include "tst_timerform.moc"
