#include "DateText.h"
#include "SurveillanceRig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

// The surveillance states, transition by transition, on frames of known
// compressed size and a clock the test sets.
class tst_Surveillance final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SizedFrames m_frames;

    // A directory of its own for each test and row, so names never clash.
    QString vidPath() const {
        QString name = QString::fromLatin1(QTest::currentTestFunction());
        if (QTest::currentDataTag() != nullptr)
            name += u'-' + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
        const QString path = m_dir.filePath(name);
        QDir().mkpath(path);
        return path + u'/';
    }

    // Base 100 000 bytes; 103 994 is 3.99 % off, 103 996 rounds to 4.00 %.
    const std::vector<std::uint8_t>& base() { return m_frames.frame(100000); }
    const std::vector<std::uint8_t>& calm() { return m_frames.frame(103994); }
    const std::vector<std::uint8_t>& atThreshold() { return m_frames.frame(103996); }
    const std::vector<std::uint8_t>& active() { return m_frames.frame(110000); }

    static QString text(const SurveillanceRig& rig, Panel panel) { return rig.panels.text(panel); }

    void arm(SurveillanceRig& rig) {
        rig.stuff.VidPath = vidPath();
        rig.surveillance.mnuStart_Click();
        QCOMPARE(text(rig, Panel::State), QStringLiteral("STANDBY"));
        rig.examine(base());
    }

    // Starts a recording and waits until the capture really runs.
    void record(SurveillanceRig& rig) {
        rig.examine(active());
        QCOMPARE(text(rig, Panel::State), QStringLiteral("RECORDING"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.capture.IsCapturing(), 5000);
    }

private Q_SLOTS:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        for (const auto* f : {&base(), &calm(), &atThreshold(), &active()})
            QVERIFY2(!f->empty(), "no frame of the wanted compressed size");
    }

    void armingAndDisarming() {
        SurveillanceRig rig;
        rig.examine(base());
        QCOMPARE(rig.stuff.FrameCount, 0); // off: frames are not examined
        rig.mnuStat.setChecked(true);
        rig.stuff.VidPath = vidPath();
        rig.stuff.BaseSize = 5;
        rig.stuff.FrameCount = 9;
        rig.panels.setText(Panel::Timestamp, QStringLiteral("Overlay disabled"));
        rig.surveillance.mnuStart_Click();
        QVERIFY(rig.surveillance.SurveillanceOn());
        QVERIFY(!rig.surveillance.RecordedLatch() && !rig.surveillance.Mailing());
        QCOMPARE(text(rig, Panel::State), QStringLiteral("STANDBY"));
        QCOMPARE(text(rig, Panel::Timestamp), QString());
        QCOMPARE(rig.mnuStart.text(), QStringLiteral("&Stop"));
        QVERIFY(!rig.mnuTimer.isVisible());
        QVERIFY(rig.surveillance.Timer1.isActive());
        QCOMPARE(rig.stuff.BaseSize, 0);
        QCOMPARE(rig.stuff.FrameCount, 0);
        QCOMPARE(rig.statisticsRequests, QList<bool>{true});

        // The first frame becomes the base.
        rig.examine(base());
        QCOMPARE(text(rig, Panel::Deviation), QStringLiteral("0.00%  (4%)"));
        QCOMPARE(rig.stuff.BaseSize, 100000);
        rig.examine(calm());
        QCOMPARE(text(rig, Panel::Deviation), QStringLiteral("3.99%  (4%)"));
        QCOMPARE(rig.stuff.LastFrameSize, 103994);
        QCOMPARE(rig.stuff.LastDeviation, 3.99F);
        QCOMPARE(rig.stuff.BaseCount, 1);
        QCOMPARE(rig.stuff.FrameCount, 2);
        QCOMPARE(text(rig, Panel::State), QStringLiteral("STANDBY"));

        rig.panels.setText(Panel::BaseRefresh, QStringLiteral("5 sec"));
        rig.panels.setText(Panel::TimeToGo, QStringLiteral("kept"));
        rig.surveillance.forceRecording();
        rig.surveillance.mnuStart_Click();
        QVERIFY(!rig.surveillance.SurveillanceOn());
        QCOMPARE(text(rig, Panel::State), QStringLiteral("OFF"));
        QCOMPARE(text(rig, Panel::Deviation), QString());
        QCOMPARE(text(rig, Panel::BaseRefresh), QString());
        QCOMPARE(text(rig, Panel::TimeToGo), QStringLiteral("kept"));
        QCOMPARE(rig.mnuStart.text(), QStringLiteral("&Start"));
        QVERIFY(rig.mnuTimer.isVisible());
        QVERIFY(!rig.surveillance.Timer1.isActive());
        QVERIFY(rig.surveillance.ForceRecording()); // left for the next start
        QCOMPARE(rig.statisticsRequests, (QList<bool>{true, false}));
        QVERIFY(rig.rows.isEmpty()); // nothing was recording
    }

    void lowSpace_data() {
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
    void lowSpace() {
        QFETCH(QString, path);
        QFETCH(int, lowSpace);
        QFETCH(bool, armed);
        SurveillanceRig rig;
        rig.stuff.VidPath = path.isEmpty() ? vidPath() : path;
        rig.stuff.LowSpace = lowSpace;
        rig.surveillance.mnuStart_Click();
        QCOMPARE(rig.surveillance.SurveillanceOn(), armed);
        QCOMPARE(text(rig, Panel::State),
                 armed ? QStringLiteral("STANDBY") : QStringLiteral("OFF"));
        QCOMPARE(text(rig, Panel::Timestamp), armed ? QString() : QStringLiteral("LOW DISK SPACE"));
        QCOMPARE(rig.surveillance.Timer1.isActive(), armed);
        QCOMPARE(rig.mnuStart.text(), armed ? QStringLiteral("&Stop") : QStringLiteral("&Start"));
        if (!armed)
            return;
        // The tick applies the same rule while armed.
        rig.surveillance.Timer1_Timer();
        QVERIFY(rig.surveillance.SurveillanceOn());
        rig.stuff.LowSpace = std::numeric_limits<std::int32_t>::max();
        rig.surveillance.Timer1_Timer();
        QVERIFY(!rig.surveillance.SurveillanceOn());
        QCOMPARE(text(rig, Panel::State), QStringLiteral("OFF"));
        QCOMPARE(text(rig, Panel::Timestamp), QStringLiteral("LOW DISK SPACE"));
        QVERIFY(!rig.surveillance.Timer1.isActive());
    }

    void aRecordingStarts_data() {
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<int>("frame");
        QTest::addColumn<bool>("forced");
        QTest::addColumn<QString>("taken");
        QTest::addColumn<QString>("deviation");
        QTest::addColumn<QString>("started");
        QTest::addColumn<QString>("file");
        const QDateTime later(QDate(2026, 12, 6), QTime(9, 5, 10));
        QTest::newRow("at the threshold") << later << 103996 << false << QString() << "4.00%  (4%)"
                                          << "12/6/2026 9:05:10 AM"
                                          << "1262026-90510-AM.avi";
        QTest::newRow("forced on a calm frame")
            << later << 100000 << true << QString() << "0.00%  (4%)"
            << "12/6/2026 9:05:10 AM"
            << "1262026-90510-AM.avi";
        QTest::newRow("name in use") << later << 110000 << false << "1262026-90510-AM.avi"
                                     << "10.00%  (4%)"
                                     << "12/6/2026 9:05:10 AM"
                                     << "1262026-90510-AM-2.avi";
        QTest::newRow("midnight") << QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0)) << 110000 << false
                                  << QString() << "10.00%  (4%)"
                                  << "1/1/2027"
                                  << "112027.avi";
    }
    void aRecordingStarts() {
        QFETCH(QDateTime, at);
        QFETCH(int, frame);
        QFETCH(bool, forced);
        QFETCH(QString, taken);
        QFETCH(QString, deviation);
        QFETCH(QString, started);
        QFETCH(QString, file);
        SurveillanceRig rig;
        arm(rig);
        if (!taken.isEmpty()) {
            QFile earlier(vidPath() + taken);
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("an earlier recording");
        }
        if (forced)
            rig.surveillance.forceRecording();
        rig.clock = at;
        rig.examine(m_frames.frame(frame));
        QCOMPARE(text(rig, Panel::Deviation), deviation);
        QCOMPARE(text(rig, Panel::State), QStringLiteral("RECORDING"));
        QCOMPARE(text(rig, Panel::Timestamp), started);
        QCOMPARE(rig.surveillance.OutputFile(), vidPath() + file);
        QCOMPARE(rig.capture.CaptureFile(), rig.surveillance.OutputFile());
        QVERIFY(!rig.surveillance.ForceRecording());
        QVERIFY(rig.mnuSuspend.isEnabled());
        QVERIFY(rig.surveillance.Timer2.isActive());
        QCOMPARE(rig.surveillance.Timer2.interval(), 1);
    }

    void aCaptureThatDoesNotStartIsRetriedWithANewName() {
        SurveillanceRig rig; // no camera open: StartCapture fails
        arm(rig);
        rig.examine(active());
        const QString first = rig.surveillance.OutputFile();
        QTRY_VERIFY(!rig.surveillance.Timer2.isActive());
        QVERIFY(!rig.capture.IsCapturing());
        QVERIFY(!rig.stuff.CaptureStatusText.isEmpty());
        QCOMPARE(text(rig, Panel::State), QStringLiteral("RECORDING"));
        // No ending period without a capture, whatever the frames say.
        rig.examine(base());
        QVERIFY(!rig.surveillance.StopPending());
        rig.advance(1);
        rig.examine(active());
        QVERIFY(rig.surveillance.OutputFile() != first);
        QVERIFY(rig.surveillance.Timer2.isActive());
    }

    void baseRefreshSchedule() {
        SurveillanceRig rig;
        rig.stuff.RefreshSeconds = 0;
        arm(rig);
        rig.advance(100000);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::BaseRefresh), QString()); // never refreshed
        QCOMPARE(rig.stuff.BaseSize, 100000);

        rig.stuff.RefreshSeconds = 30;
        rig.surveillance.mnuStart_Click();
        arm(rig);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::BaseRefresh), QStringLiteral("30 sec"));
        QCOMPARE(rig.stuff.BaseCountdown, std::int16_t(30));
        rig.advance(29);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::BaseRefresh), QStringLiteral("1 sec"));
        QCOMPARE(rig.stuff.BaseSize, 100000);
        rig.advance(1);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::BaseRefresh), QStringLiteral("0 sec"));
        QCOMPARE(rig.stuff.BaseSize, 0);
        // Without a base there is nothing to count down.
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::BaseRefresh), QString());
        rig.examine(calm());
        QCOMPARE(rig.stuff.BaseSize, 103994);
        QCOMPARE(rig.stuff.BaseCount, 2);
        QCOMPARE(text(rig, Panel::Deviation), QStringLiteral("0.00%  (4%)"));
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::BaseRefresh), QStringLiteral("30 sec"));
    }

    void theChosenScreenSaverIsStarted() {
        const QString savers = m_dir.filePath(QStringLiteral("savers"));
        QVERIFY(QDir().mkpath(savers));
        const QString marker = m_dir.filePath(QStringLiteral("saver-ran"));
        QFile saver(savers + QStringLiteral("/Probe.scr"));
        QVERIFY(saver.open(QIODevice::WriteOnly));
        saver.write("#!/bin/sh\ntouch '" + QFile::encodeName(marker) + "'\n");
        saver.close();
        saver.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        for (const char* name : {"--- Do not enable a screen saver ---", "", "0"}) {
            SurveillanceRig rig;
            rig.stuff.setSystemDirectory(savers + u'/');
            rig.stuff.Saver = QString::fromLatin1(name);
            arm(rig);
            QVERIFY(rig.surveillance.SurveillanceOn()); // a missing saver changes nothing
        }
        QTest::qWait(300);
        QVERIFY(!QFileInfo::exists(marker));

        SurveillanceRig rig;
        rig.stuff.setSystemDirectory(savers + u'/');
        rig.stuff.Saver = QStringLiteral("Probe");
        arm(rig);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(marker), 5000);
    }

    // --- with the capture really running ---

    void fixedTimeRecordingEndsInRecorded() {
        SurveillanceRig rig;
        QVERIFY(rig.openCamera());
        rig.stuff.TimeType = StopMode::FixedTime;
        arm(rig);
        record(rig);
        const QString started = text(rig, Panel::Timestamp);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::TimeToGo), QString()); // no frame examined yet
        rig.examine(active());
        QVERIFY(rig.surveillance.StopPending());
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::TimeToGo), QStringLiteral("10 sec"));
        QCOMPARE(text(rig, Panel::BaseRefresh), QStringLiteral("Wait")); // refresh suspended
        // Activity does not prolong a fixed-time recording.
        rig.advance(9);
        rig.examine(active());
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::TimeToGo), QStringLiteral("1 sec"));
        QVERIFY(rig.capture.IsCapturing());
        rig.advance(1);
        rig.surveillance.Timer1_Timer();
        QVERIFY(!rig.capture.IsCapturing());
        QCOMPARE(text(rig, Panel::State), QStringLiteral("RECORDED"));
        QVERIFY(rig.surveillance.RecordedLatch());
        QCOMPARE(text(rig, Panel::TimeToGo), QString());
        QCOMPARE(text(rig, Panel::Timestamp), QString());
        QVERIFY(!rig.mnuSuspend.isEnabled());
        QCOMPARE(rig.rows, QStringList{started + u'|' + DateText::general(rig.clock) + u'|' +
                                       rig.surveillance.OutputFile()});
        QVERIFY(QFileInfo(rig.surveillance.OutputFile()).size() > 0);

        // Latched: activity records nothing and the base is kept until a calm frame.
        rig.advance(100);
        rig.examine(active());
        QVERIFY(text(rig, Panel::Deviation).startsWith(QStringLiteral("10.00%")));
        QCOMPARE(text(rig, Panel::State), QStringLiteral("RECORDED"));
        QVERIFY(!rig.surveillance.Timer2.isActive());
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::BaseRefresh), QStringLiteral("Wait"));
        QCOMPARE(rig.stuff.BaseSize, 100000);
        rig.examine(base());
        QVERIFY(!rig.surveillance.RecordedLatch());
        QCOMPARE(text(rig, Panel::State), QStringLiteral("STANDBY"));
        rig.surveillance.Timer1_Timer();
        QCOMPARE(rig.stuff.BaseSize, 0); // long overdue
        rig.examine(base());
        rig.examine(active());
        QCOMPARE(text(rig, Panel::State), QStringLiteral("RECORDING"));
        rig.surveillance.mnuStart_Click();
    }

    void activityRenewsTheEndingPeriod() {
        SurveillanceRig rig;
        QVERIFY(rig.openCamera());
        arm(rig);
        record(rig);
        rig.examine(active());
        QVERIFY(!rig.surveillance.StopPending());
        rig.examine(calm());
        QVERIFY(rig.surveillance.StopPending());
        rig.advance(6);
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::TimeToGo), QStringLiteral("4 sec"));
        rig.examine(atThreshold());
        QVERIFY(!rig.surveillance.StopPending());
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::TimeToGo), QString());
        rig.advance(2);
        rig.examine(calm());
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::TimeToGo), QStringLiteral("10 sec")); // counted from here
        rig.advance(9);
        rig.surveillance.Timer1_Timer();
        QVERIFY(rig.capture.IsCapturing());
        rig.advance(1);
        rig.surveillance.Timer1_Timer();
        QVERIFY(!rig.capture.IsCapturing());
        QCOMPARE(text(rig, Panel::State), QStringLiteral("STANDBY"));
        QVERIFY(!rig.surveillance.RecordedLatch());
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
        QCOMPARE(text(rig, Panel::BaseRefresh), QStringLiteral("Wait"));
        QCOMPARE(rig.stuff.BaseSize, 100000);
        rig.surveillance.mnuSuspend_Click();
        QCOMPARE(text(rig, Panel::State), QStringLiteral("STANDBY"));
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::BaseRefresh), QStringLiteral("-10 sec"));
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

    void endingARecordingByHand_data() {
        QTest::addColumn<bool>("suspend");
        QTest::newRow("stop") << false;
        QTest::newRow("suspend") << true;
    }
    void endingARecordingByHand() {
        QFETCH(bool, suspend);
        SurveillanceRig rig;
        QVERIFY(rig.openCamera());
        rig.stuff.TimeType = StopMode::FixedTime;
        arm(rig);
        record(rig);
        rig.examine(calm());
        rig.surveillance.Timer1_Timer();
        QCOMPARE(text(rig, Panel::TimeToGo), QStringLiteral("10 sec"));
        if (suspend)
            rig.surveillance.mnuSuspend_Click();
        else
            rig.surveillance.mnuStart_Click();
        QVERIFY(!rig.capture.IsCapturing());
        QCOMPARE(rig.rows.size(), 1);
        QCOMPARE(text(rig, Panel::State),
                 suspend ? QStringLiteral("STANDBY") : QStringLiteral("OFF"));
        QCOMPARE(text(rig, Panel::TimeToGo), QString());
        QCOMPARE(text(rig, Panel::Timestamp), QString());
        QVERIFY(!rig.mnuSuspend.isEnabled());
        QVERIFY(!rig.surveillance.RecordedLatch());
        if (!suspend)
            return;
        rig.advance(1);
        rig.examine(active());
        QCOMPARE(text(rig, Panel::State), QStringLiteral("RECORDING"));
        rig.surveillance.mnuStart_Click();
    }

    void snapshotAndMailOnlyWhenAMailFollows_data() {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("notify");
        QTest::addColumn<QString>("email");
        QTest::addColumn<bool>("mail");
        QTest::newRow("mail configured") << QString() << 1 << "owner@example.com" << true;
        QTest::newRow("/NOMAIL") << "/nomail" << 1 << "owner@example.com" << false;
        QTest::newRow("notify off") << QString() << 0 << "owner@example.com" << false;
        QTest::newRow("blank address") << QString() << 1 << "   " << false;
    }
    void snapshotAndMailOnlyWhenAMailFollows() {
        QFETCH(QString, commandLine);
        QFETCH(int, notify);
        QFETCH(QString, email);
        QFETCH(bool, mail);
        SurveillanceRig rig(commandLine);
        QSignalSpy frames(&rig.capture, &CaptureControl::FrameCallback);
        QVERIFY(rig.openCamera());
        rig.stuff.Notify = std::uint8_t(notify);
        rig.stuff.EMail = email;
        rig.stuff.SMTPServer = QStringLiteral("127.0.0.1");
        rig.stuff.TimeType = StopMode::FixedTime;
        QSignalSpy mails(&rig.surveillance, &Surveillance::mailRequested);
        const QString dib = vidPath() + QStringLiteral("StillShot.dib");
        QVERIFY(frames.wait(5000)); // the camera's first frame, for the snapshot
        arm(rig);
        record(rig);
        QCOMPARE(QFileInfo::exists(dib), mail);
        const QString started = text(rig, Panel::Timestamp);
        rig.examine(active());
        rig.advance(10);
        rig.panels.setText(Panel::BaseRefresh, QStringLiteral("untouched"));
        rig.surveillance.Timer1_Timer();
        QVERIFY(!rig.capture.IsCapturing());
        QCOMPARE(rig.surveillance.Mailing(), mail);
        if (!mail) {
            QCOMPARE(mails.count(), 0);
            QVERIFY(rig.surveillance.Timer1.isActive());
            QCOMPARE(text(rig, Panel::BaseRefresh), QStringLiteral("Wait"));
            return;
        }
        QCOMPARE(mails.count(), 1);
        QCOMPARE(mails.first().first().toString(), started);
        QVERIFY(!rig.surveillance.Timer1.isActive());
        QCOMPARE(text(rig, Panel::BaseRefresh), QStringLiteral("untouched")); // tick ended there
        // While the mail goes out, frames are not examined.
        const int examined = rig.stuff.FrameCount;
        rig.examine(base());
        QCOMPARE(rig.stuff.FrameCount, examined);
        rig.surveillance.mailEnded();
        QVERIFY(!rig.surveillance.Mailing());
        QVERIFY(rig.surveillance.Timer1.isActive());
        rig.examine(base());
        QCOMPARE(rig.stuff.FrameCount, examined + 1);
        rig.surveillance.mnuStart_Click();
    }
};

QTEST_MAIN(tst_Surveillance)
#include "tst_surveillance.moc"
