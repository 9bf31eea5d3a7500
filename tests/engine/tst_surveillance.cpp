#include "DateText.h"
#include "SurveillanceRig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

// The surveillance states, transition by transition, on frames of known
// compressed size and a clock the test sets.
class tst_Surveillance final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SizedFrames m_frames;

    // A directory of its own for each test, so names never clash across tests.
    QString vidPath() const {
        const QString path = m_dir.filePath(QString::fromLatin1(QTest::currentTestFunction()));
        QDir().mkpath(path);
        return path + u'/';
    }

    // Base 100 000 bytes; 103 994 is 3.99 % off, 103 996 rounds to 4.00 %.
    const std::vector<std::uint8_t>& base() { return m_frames.frame(100000); }
    const std::vector<std::uint8_t>& calm() { return m_frames.frame(103994); }
    const std::vector<std::uint8_t>& atThreshold() { return m_frames.frame(103996); }
    const std::vector<std::uint8_t>& active() { return m_frames.frame(110000); }

    void arm(SurveillanceRig& rig) {
        rig.stuff.VidPath = vidPath();
        rig.surveillance.mnuStart_Click();
        QCOMPARE(rig.panels.text(2), QStringLiteral("STANDBY"));
        rig.examine(base());
    }

    // Starts a recording and waits until the capture really runs.
    void record(SurveillanceRig& rig) {
        rig.examine(active());
        QCOMPARE(rig.panels.text(2), QStringLiteral("RECORDING"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.capture.IsCapturing(), 5000);
    }

private Q_SLOTS:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        for (const auto* f : {&base(), &calm(), &atThreshold(), &active()})
            QVERIFY2(!f->empty(), "no frame of the wanted compressed size");
    }

    void armingSetsTheStandbyState() {
        SurveillanceRig rig;
        rig.mnuStat.setChecked(true);
        rig.stuff.VidPath = vidPath();
        rig.stuff.BaseSize = 5;
        rig.stuff.FrameCount = 9;
        rig.surveillance.RecordedLatch = true;
        rig.surveillance.Mailing = true;
        rig.panels.setText(5, QStringLiteral("Overlay disabled"));
        rig.surveillance.mnuStart_Click();
        QVERIFY(rig.surveillance.SurveillanceOn);
        QVERIFY(!rig.surveillance.RecordedLatch && !rig.surveillance.Mailing);
        QCOMPARE(rig.panels.text(2), QStringLiteral("STANDBY"));
        QCOMPARE(rig.panels.text(5), QString());
        QCOMPARE(rig.mnuStart.text(), QStringLiteral("&Stop"));
        QVERIFY(!rig.mnuTimer.isVisible());
        QVERIFY(rig.surveillance.Timer1.isActive());
        QCOMPARE(rig.stuff.BaseSize, 0);
        QCOMPARE(rig.stuff.FrameCount, 0);
        QCOMPARE(rig.statisticsRequests, QList<bool>{true});

        rig.panels.setText(1, QStringLiteral("1.00%  (4%)"));
        rig.panels.setText(3, QStringLiteral("5 sec"));
        rig.panels.setText(4, QStringLiteral("kept"));
        rig.surveillance.ForceRecording = true;
        rig.surveillance.mnuStart_Click();
        QVERIFY(!rig.surveillance.SurveillanceOn);
        QCOMPARE(rig.panels.text(2), QStringLiteral("OFF"));
        QCOMPARE(rig.panels.text(1), QString());
        QCOMPARE(rig.panels.text(3), QString());
        QCOMPARE(rig.panels.text(4), QStringLiteral("kept"));
        QCOMPARE(rig.mnuStart.text(), QStringLiteral("&Start"));
        QVERIFY(rig.mnuTimer.isVisible());
        QVERIFY(!rig.surveillance.Timer1.isActive());
        QVERIFY(rig.surveillance.ForceRecording); // left for the next start
        QCOMPARE(rig.statisticsRequests, (QList<bool>{true, false}));
        QVERIFY(rig.rows.isEmpty()); // nothing was recording
    }

    void armingIsRefusedOnLowSpace_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("lowSpace");
        QTest::addColumn<bool>("armed");
        QTest::newRow("no limit, missing directory")
            << QStringLiteral("/no/such/dir/") << 0 << true;
        QTest::newRow("missing directory") << QStringLiteral("/no/such/dir/") << 1 << false;
        QTest::newRow("more than the drive has")
            << QString() << std::numeric_limits<std::int32_t>::max() << false;
        QTest::newRow("enough space") << QString() << 1 << true;
    }
    void armingIsRefusedOnLowSpace() {
        QFETCH(QString, path);
        QFETCH(int, lowSpace);
        QFETCH(bool, armed);
        SurveillanceRig rig;
        rig.stuff.VidPath = path.isEmpty() ? vidPath() : path;
        rig.stuff.LowSpace = lowSpace;
        rig.surveillance.mnuStart_Click();
        QCOMPARE(rig.surveillance.SurveillanceOn, armed);
        QCOMPARE(rig.panels.text(2), armed ? QStringLiteral("STANDBY") : QStringLiteral("OFF"));
        QCOMPARE(rig.panels.text(5), armed ? QString() : QStringLiteral("LOW DISK SPACE"));
        QCOMPARE(rig.surveillance.Timer1.isActive(), armed);
        QCOMPARE(rig.mnuStart.text(), armed ? QStringLiteral("&Stop") : QStringLiteral("&Start"));
    }

    void firstFrameIsTheBase() {
        SurveillanceRig rig;
        arm(rig);
        QCOMPARE(rig.panels.text(1), QStringLiteral("0.00%  (4%)"));
        QCOMPARE(rig.stuff.BaseSize, 100000);
        QCOMPARE(rig.stuff.BaseCount, 1);
        QCOMPARE(rig.stuff.FrameCount, 1);
        QCOMPARE(rig.surveillance.BaseTakenAt, rig.clock);
        rig.examine(calm());
        QCOMPARE(rig.panels.text(1), QStringLiteral("3.99%  (4%)"));
        QCOMPARE(rig.stuff.LastFrameSize, 103994);
        QCOMPARE(rig.stuff.LastDeviation, 3.99F);
        QCOMPARE(rig.stuff.BaseCount, 1);
        QCOMPARE(rig.stuff.FrameCount, 2);
        QCOMPARE(rig.panels.text(2), QStringLiteral("STANDBY"));
    }

    void framesAreIgnoredWhileOffOrMailing() {
        SurveillanceRig rig;
        rig.examine(base());
        QCOMPARE(rig.stuff.FrameCount, 0);
        arm(rig);
        rig.surveillance.Mailing = true;
        rig.panels.setText(1, QStringLiteral("n/a"));
        rig.examine(active());
        QCOMPARE(rig.panels.text(1), QStringLiteral("n/a"));
        QCOMPARE(rig.stuff.FrameCount, 1);
        QCOMPARE(rig.panels.text(2), QStringLiteral("STANDBY"));
    }

    void deviationAtTheThresholdStartsARecording() {
        SurveillanceRig rig;
        arm(rig);
        rig.advance(3);
        rig.examine(atThreshold());
        QCOMPARE(rig.panels.text(1), QStringLiteral("4.00%  (4%)"));
        QCOMPARE(rig.panels.text(2), QStringLiteral("RECORDING"));
        QCOMPARE(rig.panels.text(5), QStringLiteral("12/6/2026 9:05:10 AM"));
        QCOMPARE(rig.surveillance.OutputFile, vidPath() + QStringLiteral("1262026-90510-AM.avi"));
        QCOMPARE(rig.capture.CaptureFile(), rig.surveillance.OutputFile);
        QVERIFY(rig.mnuSuspend.isEnabled());
        QVERIFY(rig.surveillance.Timer2.isActive());
        QCOMPARE(rig.surveillance.Timer2.interval(), 1);
    }

    void aCaptureThatDoesNotStartIsRetriedWithANewName() {
        SurveillanceRig rig; // no camera open: StartCapture fails
        arm(rig);
        rig.examine(active());
        const QString first = rig.surveillance.OutputFile;
        QTRY_VERIFY(!rig.surveillance.Timer2.isActive());
        QVERIFY(!rig.capture.IsCapturing());
        QVERIFY(!rig.stuff.CaptureStatusText.isEmpty());
        QCOMPARE(rig.panels.text(2), QStringLiteral("RECORDING"));
        // No ending period without a capture, whatever the frames say.
        rig.examine(base());
        QVERIFY(!rig.surveillance.StopPending);
        rig.advance(1);
        rig.examine(active());
        QVERIFY(rig.surveillance.OutputFile != first);
        QVERIFY(rig.surveillance.Timer2.isActive());
    }

    void forcedRecordingStartsOnACalmFrame() {
        SurveillanceRig rig;
        arm(rig);
        rig.surveillance.ForceRecording = true;
        rig.examine(base());
        QCOMPARE(rig.panels.text(1), QStringLiteral("0.00%  (4%)"));
        QCOMPARE(rig.panels.text(2), QStringLiteral("RECORDING"));
        QVERIFY(!rig.surveillance.ForceRecording);
    }

    void recordedLatchWaitsForACalmFrame() {
        SurveillanceRig rig;
        arm(rig);
        rig.surveillance.RecordedLatch = true;
        rig.panels.setText(2, QStringLiteral("RECORDED"));
        rig.examine(active());
        QVERIFY(rig.panels.text(1).startsWith(QStringLiteral("10.00%")));
        QCOMPARE(rig.panels.text(2), QStringLiteral("RECORDED"));
        QVERIFY(!rig.surveillance.Timer2.isActive());
        rig.examine(calm());
        QVERIFY(!rig.surveillance.RecordedLatch);
        QCOMPARE(rig.panels.text(2), QStringLiteral("STANDBY"));
        rig.examine(active());
        QCOMPARE(rig.panels.text(2), QStringLiteral("RECORDING"));
    }

    void midnightGivesANameWithoutTime() {
        SurveillanceRig rig;
        arm(rig);
        rig.clock = QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0));
        rig.examine(active());
        QCOMPARE(rig.panels.text(5), QStringLiteral("1/1/2027"));
        QCOMPARE(rig.surveillance.OutputFile, vidPath() + QStringLiteral("112027.avi"));
    }

    void aNameInUseIsNotOverwritten() {
        SurveillanceRig rig;
        arm(rig);
        QFile taken(vidPath() + QStringLiteral("1262026-90507-AM.avi"));
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.write("an earlier recording");
        taken.close();
        rig.examine(active());
        QCOMPARE(rig.surveillance.OutputFile, vidPath() + QStringLiteral("1262026-90507-AM-2.avi"));
        QVERIFY(taken.remove());
    }

    void baseRefreshSchedule() {
        SurveillanceRig rig;
        rig.stuff.RefreshSeconds = 30;
        arm(rig);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(3), QStringLiteral("30 sec"));
        QCOMPARE(rig.stuff.BaseCountdown, std::int16_t(30));
        rig.advance(29);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(3), QStringLiteral("1 sec"));
        QCOMPARE(rig.stuff.BaseSize, 100000);
        rig.advance(1);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(3), QStringLiteral("0 sec"));
        QCOMPARE(rig.stuff.BaseSize, 0);
        // Without a base there is nothing to count down.
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(3), QString());
        rig.examine(calm());
        QCOMPARE(rig.stuff.BaseSize, 103994);
        QCOMPARE(rig.stuff.BaseCount, 2);
        QCOMPARE(rig.panels.text(1), QStringLiteral("0.00%  (4%)"));
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(3), QStringLiteral("30 sec"));
    }

    void noRefreshWhenNeverOrLatched() {
        SurveillanceRig rig;
        rig.stuff.RefreshSeconds = 0;
        arm(rig);
        rig.advance(100000);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(3), QString());
        QCOMPARE(rig.stuff.BaseSize, 100000);

        rig.stuff.RefreshSeconds = 30;
        rig.surveillance.RecordedLatch = true;
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(3), QStringLiteral("Wait"));
        QCOMPARE(rig.stuff.BaseSize, 100000);
        rig.surveillance.RecordedLatch = false;
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.stuff.BaseSize, 0); // long overdue
    }

    void lowSpaceWhileArmedStopsSurveillance() {
        SurveillanceRig rig;
        arm(rig);
        rig.surveillance.Timer1_Timer();
        QVERIFY(rig.surveillance.SurveillanceOn);
        rig.stuff.LowSpace = std::numeric_limits<std::int32_t>::max();
        rig.surveillance.Timer1_Timer();
        QVERIFY(!rig.surveillance.SurveillanceOn);
        QCOMPARE(rig.panels.text(2), QStringLiteral("OFF"));
        QCOMPARE(rig.panels.text(5), QStringLiteral("LOW DISK SPACE"));
        QVERIFY(!rig.surveillance.Timer1.isActive());
    }

    void theChosenScreenSaverIsStarted() {
        const QString savers = m_dir.filePath(QStringLiteral("share/sentorix/savers"));
        QVERIFY(QDir().mkpath(savers));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("share"))));
        const QString marker = m_dir.filePath(QStringLiteral("saver-ran"));
        QFile saver(savers + QStringLiteral("/Probe.scr"));
        QVERIFY(saver.open(QIODevice::WriteOnly));
        saver.write("#!/bin/sh\ntouch '" + QFile::encodeName(marker) + "'\n");
        saver.close();
        saver.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        for (const char* name : {"--- Do not enable a screen saver ---", "", "0"}) {
            SurveillanceRig rig;
            rig.stuff.Saver = QString::fromLatin1(name);
            arm(rig);
            QVERIFY(rig.surveillance.SurveillanceOn); // a missing saver changes nothing
        }
        QTest::qWait(300);
        QVERIFY(!QFileInfo::exists(marker));

        SurveillanceRig rig;
        rig.stuff.Saver = QStringLiteral("Probe");
        arm(rig);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(marker), 5000);
        qunsetenv("XDG_DATA_HOME");
    }

    // --- with the capture really running ---

    void fixedTimeRecordingEndsInRecorded() {
        SurveillanceRig rig;
        QVERIFY(rig.openCamera());
        rig.stuff.TimeType = 2;
        arm(rig);
        record(rig);
        const QString started = rig.panels.text(5);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(4), QString()); // no frame examined yet
        rig.examine(active());
        QVERIFY(rig.surveillance.StopPending);
        QCOMPARE(rig.surveillance.StopPendingSince, rig.clock);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(4), QStringLiteral("10 sec"));
        QCOMPARE(rig.panels.text(3), QStringLiteral("Wait")); // refresh suspended
        // Activity does not prolong a fixed-time recording.
        rig.advance(9);
        rig.examine(active());
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(4), QStringLiteral("1 sec"));
        QVERIFY(rig.capture.IsCapturing());
        rig.advance(1);
        rig.surveillance.Timer1_Timer();
        QVERIFY(!rig.capture.IsCapturing());
        QCOMPARE(rig.panels.text(2), QStringLiteral("RECORDED"));
        QVERIFY(rig.surveillance.RecordedLatch);
        QCOMPARE(rig.panels.text(4), QString());
        QCOMPARE(rig.panels.text(5), QString());
        QVERIFY(!rig.mnuSuspend.isEnabled());
        QCOMPARE(rig.rows, QStringList{started + u'|' + DateText::general(rig.clock) + u'|' +
                                       rig.surveillance.OutputFile});
        QVERIFY(QFileInfo(rig.surveillance.OutputFile).size() > 0);

        rig.examine(active());
        QCOMPARE(rig.panels.text(2), QStringLiteral("RECORDED"));
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(3), QStringLiteral("Wait"));
        rig.examine(base());
        QCOMPARE(rig.panels.text(2), QStringLiteral("STANDBY"));
        rig.examine(active());
        QCOMPARE(rig.panels.text(2), QStringLiteral("RECORDING"));
        rig.surveillance.mnuStart_Click();
    }

    void activityRenewsTheEndingPeriod() {
        SurveillanceRig rig;
        QVERIFY(rig.openCamera());
        arm(rig);
        record(rig);
        rig.examine(active());
        QVERIFY(!rig.surveillance.StopPending);
        rig.examine(calm());
        QVERIFY(rig.surveillance.StopPending);
        rig.advance(6);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(4), QStringLiteral("4 sec"));
        rig.examine(atThreshold());
        QVERIFY(!rig.surveillance.StopPending);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(4), QString());
        rig.advance(2);
        rig.examine(calm());
        QCOMPARE(rig.surveillance.StopPendingSince, rig.clock);
        rig.advance(9);
        rig.surveillance.Timer1_Timer();
        QVERIFY(rig.capture.IsCapturing());
        rig.advance(1);
        rig.surveillance.Timer1_Timer();
        QVERIFY(!rig.capture.IsCapturing());
        QCOMPARE(rig.panels.text(2), QStringLiteral("STANDBY"));
        QVERIFY(!rig.surveillance.RecordedLatch);
        QCOMPARE(rig.rows.size(), 1);
    }

    void refreshWaitsForTheEndOfARecording() {
        SurveillanceRig rig;
        QVERIFY(rig.openCamera());
        rig.stuff.RefreshSeconds = 30;
        arm(rig);
        record(rig);
        rig.examine(calm());
        rig.advance(40); // the refresh falls due during the capture
        rig.stuff.RecordSeconds = 60;
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(3), QStringLiteral("Wait"));
        QCOMPARE(rig.stuff.BaseSize, 100000);
        rig.surveillance.mnuSuspend_Click();
        QCOMPARE(rig.panels.text(2), QStringLiteral("STANDBY"));
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(3), QStringLiteral("-10 sec"));
        QCOMPARE(rig.stuff.BaseSize, 0);

        // Without the suspension the countdown runs through the capture.
        rig.stuff.SuspendRefresh = false;
        rig.examine(base());
        record(rig);
        rig.advance(31);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.stuff.BaseSize, 0);
        rig.surveillance.mnuStart_Click();
    }

    void stoppingDuringARecordingLogsIt() {
        SurveillanceRig rig;
        QVERIFY(rig.openCamera());
        arm(rig);
        record(rig);
        rig.examine(calm());
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.panels.text(4), QStringLiteral("10 sec"));
        rig.surveillance.mnuStart_Click();
        QVERIFY(!rig.capture.IsCapturing());
        QCOMPARE(rig.rows.size(), 1);
        QCOMPARE(rig.panels.text(2), QStringLiteral("OFF"));
        QCOMPARE(rig.panels.text(4), QString());
        QCOMPARE(rig.panels.text(5), QString());
        QVERIFY(!rig.mnuSuspend.isEnabled());
    }

    void suspendEndsTheRecordingWithoutLatch() {
        SurveillanceRig rig;
        QVERIFY(rig.openCamera());
        rig.stuff.TimeType = 2;
        arm(rig);
        record(rig);
        rig.surveillance.mnuSuspend_Click();
        QCOMPARE(rig.panels.text(2), QStringLiteral("STANDBY"));
        QVERIFY(!rig.surveillance.RecordedLatch);
        QCOMPARE(rig.rows.size(), 1);
        rig.advance(1);
        rig.examine(active());
        QCOMPARE(rig.panels.text(2), QStringLiteral("RECORDING"));
        rig.surveillance.mnuStart_Click();
    }

    void snapshotOnlyWhenAMailFollows_data() {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("notify");
        QTest::addColumn<QString>("email");
        QTest::addColumn<bool>("snapshot");
        QTest::newRow("mail configured") << QString() << 1 << "owner@example.com" << true;
        QTest::newRow("/NOMAIL") << "/nomail" << 1 << "owner@example.com" << false;
        QTest::newRow("notify off") << QString() << 0 << "owner@example.com" << false;
        QTest::newRow("blank address") << QString() << 1 << "   " << false;
    }
    void snapshotOnlyWhenAMailFollows() {
        QFETCH(QString, commandLine);
        QFETCH(int, notify);
        QFETCH(QString, email);
        QFETCH(bool, snapshot);
        SurveillanceRig rig(commandLine);
        QVERIFY(rig.openCamera());
        rig.stuff.Notify = std::uint8_t(notify);
        rig.stuff.EMail = email;
        rig.stuff.SMTPServer = QStringLiteral("127.0.0.1");
        rig.stuff.TimeType = 2;
        QStringList mails;
        rig.surveillance.SendMail = [&](const QString& start) { mails << start; };
        const QString dib = vidPath() + QStringLiteral("StillShot.dib");
        QFile::remove(dib);
        QTest::qWait(500); // the camera's first frame, for the snapshot
        arm(rig);
        record(rig);
        QCOMPARE(QFileInfo::exists(dib), snapshot);
        const QString started = rig.panels.text(5);
        rig.examine(active());
        rig.advance(10);
        rig.panels.setText(3, QStringLiteral("untouched"));
        rig.surveillance.Timer1_Timer();
        QVERIFY(!rig.capture.IsCapturing());
        if (snapshot) {
            QCOMPARE(mails, QStringList{started});
            QVERIFY(!rig.surveillance.Timer1.isActive());
            QCOMPARE(rig.panels.text(3), QStringLiteral("untouched")); // rest of the tick skipped
        } else {
            QVERIFY(mails.isEmpty());
            QVERIFY(rig.surveillance.Timer1.isActive());
            QCOMPARE(rig.panels.text(3), QStringLiteral("Wait"));
        }
        rig.surveillance.mnuStart_Click();
    }
};

QTEST_MAIN(tst_Surveillance)
#include "tst_surveillance.moc"
