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
// compressed size and a clock the test sets; recordings really capture
// the test scene camera.
class tst_Surveillance final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SizedFrames m_frames;

    // A directory of its own for each test and row, so names never clash.
    QString vidPath() const {
        QString name = QString::fromLatin1(QTest::currentTestFunction());
        if (QTest::currentDataTag() != nullptr)
            name += u'-' + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
        QDir().mkpath(m_dir.filePath(name));
        return m_dir.filePath(name) + u'/';
    }

    // Base 100 000 bytes; 103 994 is 3.99 % off, 103 996 rounds to 4.00 %.
    const std::vector<std::uint8_t>& base() { return m_frames.frame(100000); }
    const std::vector<std::uint8_t>& calm() { return m_frames.frame(103994); }
    const std::vector<std::uint8_t>& atThreshold() { return m_frames.frame(103996); }
    const std::vector<std::uint8_t>& active() { return m_frames.frame(110000); }

    void arm(SurveillanceRig& rig, const QString& path = QString()) {
        rig.stuff.VidPath = path.isEmpty() ? vidPath() : path;
        rig.surveillance.mnuStart_Click();
        QCOMPARE(rig.text(Panel::State), QStringLiteral("STANDBY"));
        rig.examine(base());
    }
    // Starts a recording and waits until the capture really runs.
    void record(SurveillanceRig& rig) {
        rig.examine(active());
        QCOMPARE(rig.text(Panel::State), QStringLiteral("RECORDING"));
        QTRY_VERIFY_WITH_TIMEOUT(rig.capture.IsCapturing(), 5000);
    }
    // Ticks after `seconds` more and returns the ending period's panel.
    static QString tick(SurveillanceRig& rig, int seconds = 0) {
        rig.advance(seconds);
        rig.surveillance.Timer1_Timer();
        return rig.text(Panel::TimeToGo);
    }

private Q_SLOTS:
    void initTestCase() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        for (const auto* f : {&base(), &calm(), &atThreshold(), &active()})
            QVERIFY2(!f->empty(), "no frame of the wanted compressed size");
    }

    void armingAndDisarming() {
        SurveillanceRig rig;
        QSignalSpy statistics(&rig.surveillance, &Surveillance::statisticsVisibilityRequested);
        rig.examine(base());
        QCOMPARE(rig.stuff.FrameCount, 0); // off: frames are not examined
        rig.mnuStat.setChecked(true);
        rig.stuff.FrameCount = 9;
        rig.panels.setText(Panel::Timestamp, QStringLiteral("Overlay disabled"));
        arm(rig);
        QVERIFY(rig.surveillance.SurveillanceOn() && !rig.surveillance.Mailing());
        QCOMPARE(rig.text(Panel::Timestamp), QString());
        QCOMPARE(rig.mnuStart.text(), QStringLiteral("&Stop"));
        QVERIFY(!rig.mnuTimer.isVisible() && rig.surveillance.Timer1.isActive());
        // The first frame became the base.
        QCOMPARE(rig.text(Panel::Deviation), QStringLiteral("0.00%  (4%)"));
        rig.examine(calm());
        QCOMPARE(rig.text(Panel::Deviation), QStringLiteral("3.99%  (4%)"));
        QCOMPARE(rig.stuff.LastFrameSize, 103994);
        QCOMPARE(rig.stuff.BaseSize, 100000);
        QCOMPARE(rig.stuff.BaseCount, 1);
        QCOMPARE(rig.stuff.FrameCount, 2);
        QCOMPARE(rig.text(Panel::State), QStringLiteral("STANDBY"));

        rig.panels.setText(Panel::TimeToGo, QStringLiteral("kept"));
        rig.surveillance.forceRecording();
        rig.surveillance.mnuStart_Click();
        QCOMPARE(rig.text(Panel::State), QStringLiteral("OFF"));
        QCOMPARE(rig.text(Panel::Deviation), QString());
        QCOMPARE(rig.text(Panel::TimeToGo), QStringLiteral("kept"));
        QCOMPARE(rig.mnuStart.text(), QStringLiteral("&Start"));
        QVERIFY(rig.mnuTimer.isVisible() && !rig.surveillance.Timer1.isActive());
        QVERIFY(rig.surveillance.ForceRecording()); // left for the next start
        QCOMPARE(statistics.count(), 2);
        QCOMPARE(statistics.at(1).at(0).toBool(), false);
        QVERIFY(rig.rows.isEmpty());
    }

    void lowSpace_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("lowSpace");
        QTest::addColumn<bool>("armed");
        QTest::newRow("no limit, missing folder") << "/no/such/dir/" << 0 << true;
        QTest::newRow("missing folder") << "/no/such/dir/" << 1 << false;
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
        auto verifyArmed = [&](bool on) {
            QCOMPARE(rig.surveillance.SurveillanceOn(), on);
            QCOMPARE(rig.text(Panel::State),
                     on ? QStringLiteral("STANDBY") : QStringLiteral("OFF"));
            QCOMPARE(rig.text(Panel::Timestamp), on ? QString() : QStringLiteral("LOW DISK SPACE"));
            QCOMPARE(rig.surveillance.Timer1.isActive(), on);
        };
        rig.surveillance.mnuStart_Click();
        verifyArmed(armed);
        if (!armed)
            return;
        // Each tick applies the same rule while armed.
        tick(rig);
        verifyArmed(true);
        rig.stuff.LowSpace = std::numeric_limits<std::int32_t>::max();
        tick(rig);
        verifyArmed(false);
    }

    void aRecordingStarts_data() {
        QTest::addColumn<QDateTime>("at");
        QTest::addColumn<int>("frame");
        QTest::addColumn<bool>("forced");
        QTest::addColumn<QString>("taken");
        QTest::addColumn<QString>("started");
        QTest::addColumn<QString>("file");
        const QDateTime later(QDate(2026, 12, 6), QTime(9, 5, 10));
        const QString at = QStringLiteral("12/6/2026 9:05:10 AM");
        QTest::newRow("at the threshold")
            << later << 103996 << false << QString() << at << "1262026-90510-AM.avi";
        QTest::newRow("forced on a calm frame")
            << later << 100000 << true << QString() << at << "1262026-90510-AM.avi";
        QTest::newRow("name in use")
            << later << 110000 << false << "1262026-90510-AM.avi" << at << "1262026-90510-AM-2.avi";
        QTest::newRow("midnight") << QDateTime(QDate(2027, 1, 1), QTime(0, 0)) << 110000 << false
                                  << QString() << "1/1/2027"
                                  << "112027.avi";
    }
    void aRecordingStarts() {
        QFETCH(QDateTime, at);
        QFETCH(int, frame);
        QFETCH(bool, forced);
        QFETCH(QString, taken);
        QFETCH(QString, started);
        QFETCH(QString, file);
        SurveillanceRig rig;
        arm(rig);
        if (!taken.isEmpty())
            QVERIFY(QFile(vidPath() + taken).open(QIODevice::WriteOnly));
        if (forced)
            rig.surveillance.forceRecording();
        rig.clock = at;
        rig.examine(m_frames.frame(frame));
        QCOMPARE(rig.text(Panel::State), QStringLiteral("RECORDING"));
        QCOMPARE(rig.text(Panel::Timestamp), started);
        QCOMPARE(rig.surveillance.OutputFile(), vidPath() + file);
        QCOMPARE(rig.capture.CaptureFile(), rig.surveillance.OutputFile());
        QVERIFY(!rig.surveillance.ForceRecording() && rig.mnuSuspend.isEnabled());
        QVERIFY(rig.surveillance.Timer2.isActive());
    }

    // A folder that cannot be written keeps the recording started and is
    // tried again ten seconds after the failure, with a new name.
    void anUnwritableFolderIsRetriedEveryTenSeconds() {
        SurveillanceRig rig;
        QVERIFY(rig.openCamera());
        const QString folder = vidPath() + QStringLiteral("later/");
        arm(rig, folder);
        rig.examine(active());
        const QString first = rig.surveillance.OutputFile();
        QTRY_VERIFY(!rig.surveillance.Timer2.isActive());
        QVERIFY(!rig.capture.IsCapturing() && !rig.stuff.CaptureStatusText.isEmpty());
        QCOMPARE(rig.text(Panel::State), QStringLiteral("RECORDING"));
        rig.examine(base()); // no ending period without a capture
        QVERIFY(!rig.surveillance.StopPending());
        QVERIFY(QDir().mkpath(folder));
        rig.advance(9);
        rig.examine(active());
        QVERIFY(rig.surveillance.OutputFile() != first);
        QTRY_VERIFY(!rig.surveillance.Timer2.isActive());
        QVERIFY(!rig.capture.IsCapturing());
        rig.advance(1);
        record(rig);
        rig.surveillance.mnuStart_Click();
        QCOMPARE(rig.rows.size(), 1);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
    }

    void baseRefresh() {
        SurveillanceRig rig;
        rig.stuff.RefreshSeconds = 0;
        arm(rig);
        tick(rig, 100000);
        QCOMPARE(rig.text(Panel::BaseRefresh), QString()); // never refreshed
        rig.stuff.RefreshSeconds = 30;
        tick(rig);
        QCOMPARE(rig.text(Panel::BaseRefresh), QStringLiteral("-99970 sec"));
        QCOMPARE(rig.stuff.BaseCountdown, std::numeric_limits<std::int16_t>::min());
        QCOMPARE(rig.stuff.BaseSize, 0);
        tick(rig); // without a base there is nothing to count down
        QCOMPARE(rig.text(Panel::BaseRefresh), QString());
        rig.examine(calm());
        QCOMPARE(rig.stuff.BaseSize, 103994);
        QCOMPARE(rig.stuff.BaseCount, 2);
        tick(rig, 29);
        QCOMPARE(rig.text(Panel::BaseRefresh), QStringLiteral("1 sec"));
        QCOMPARE(rig.stuff.BaseCountdown, std::int16_t(1));
    }

    void theChosenScreenSaverIsStarted() {
        // Each saver that runs writes its name; only the chosen one may.
        const QString ran = m_dir.filePath(QStringLiteral("savers-ran"));
        for (const char* name : {"--- Do not enable a screen saver ---", "Probe"}) {
            QFile saver(m_dir.filePath(QLatin1String(name) + QStringLiteral(".scr")));
            QVERIFY(saver.open(QIODevice::WriteOnly));
            saver.write("#!/bin/sh\necho '" + QByteArray(name) + "' >> '" + QFile::encodeName(ran) +
                        "'\n");
            saver.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        for (const char* name : {"--- Do not enable a screen saver ---", "Missing", "Probe"}) {
            SurveillanceRig rig;
            rig.stuff.setSystemDirectory(m_dir.path() + u'/');
            rig.stuff.Saver = QString::fromLatin1(name);
            arm(rig); // a missing saver changes nothing
        }
        auto log = [&] {
            QFile f(ran);
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        QTRY_VERIFY_WITH_TIMEOUT(!log().isEmpty(), 5000);
        QCOMPARE(log(), QByteArray("Probe\n"));
    }

    // A fixed-time recording ends in "RECORDED" whatever the frames say,
    // hands over its row and asks for the mail; while it goes out nothing is
    // examined, and the latch holds until a calm frame.
    void aFixedTimeRecordingEndsInRecordedAndAMail() {
        SurveillanceRig rig;
        QSignalSpy frames(&rig.capture, &CaptureControl::FrameCallback);
        QVERIFY(rig.openCamera());
        QVERIFY(frames.wait(5000)); // the camera's first frame, for the snapshot
        rig.stuff.TimeType = StopMode::FixedTime;
        rig.stuff.EMail = QStringLiteral("owner@example.com");
        rig.stuff.SMTPServer = QStringLiteral("127.0.0.1");
        QSignalSpy mails(&rig.surveillance, &Surveillance::mailRequested);
        arm(rig);
        record(rig);
        QVERIFY(QFileInfo(rig.stuff.VidPath + QStringLiteral("StillShot.dib")).size() > 0);
        const QString started = rig.text(Panel::Timestamp);
        QCOMPARE(tick(rig), QString()); // no frame examined yet
        rig.examine(active());
        QVERIFY(rig.surveillance.StopPending());
        QCOMPARE(tick(rig), QStringLiteral("10 sec"));
        QCOMPARE(rig.text(Panel::BaseRefresh), QStringLiteral("Wait"));
        rig.advance(9);
        rig.examine(active()); // activity does not prolong it
        QCOMPARE(tick(rig), QStringLiteral("1 sec"));
        rig.panels.setText(Panel::BaseRefresh, QStringLiteral("untouched"));
        QCOMPARE(tick(rig, 1), QString());
        QVERIFY(!rig.capture.IsCapturing() && !rig.mnuSuspend.isEnabled());
        QCOMPARE(rig.text(Panel::State), QStringLiteral("RECORDED"));
        QCOMPARE(rig.text(Panel::Timestamp), QString());
        QCOMPARE(rig.rows, QStringList{started + u'|' + DateText::general(rig.clock) + u'|' +
                                       rig.surveillance.OutputFile()});
        QVERIFY(QFileInfo(rig.surveillance.OutputFile()).size() > 0);
        QCOMPARE(mails.count(), 1);
        QCOMPARE(mails.first().first().toString(), started);
        QVERIFY(rig.surveillance.Mailing() && !rig.surveillance.Timer1.isActive());
        QCOMPARE(rig.text(Panel::BaseRefresh), QStringLiteral("untouched")); // tick ended there
        const int examined = rig.stuff.FrameCount;
        rig.examine(base());
        QCOMPARE(rig.stuff.FrameCount, examined);
        rig.surveillance.mailEnded();
        QVERIFY(!rig.surveillance.Mailing() && rig.surveillance.Timer1.isActive());

        rig.advance(100);
        rig.examine(active());
        QCOMPARE(rig.text(Panel::State), QStringLiteral("RECORDED"));
        QVERIFY(!rig.surveillance.Timer2.isActive());
        tick(rig);
        QCOMPARE(rig.text(Panel::BaseRefresh), QStringLiteral("Wait"));
        rig.examine(calm());
        QVERIFY(!rig.surveillance.RecordedLatch());
        QCOMPARE(rig.text(Panel::State), QStringLiteral("STANDBY"));
        tick(rig);
        QCOMPARE(rig.stuff.BaseSize, 0); // long overdue
        rig.surveillance.mnuStart_Click();
    }

    void aMailFollowsOnlyWhenConfigured_data() {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<int>("notify");
        QTest::addColumn<QString>("email");
        QTest::addColumn<bool>("mail");
        QTest::newRow("configured") << QString() << 1 << "owner@example.com" << true;
        QTest::newRow("/NOMAIL") << "/nomail" << 1 << "owner@example.com" << false;
        QTest::newRow("notify off") << QString() << 0 << "owner@example.com" << false;
        QTest::newRow("blank address") << QString() << 1 << "   " << false;
    }
    void aMailFollowsOnlyWhenConfigured() {
        QFETCH(QString, commandLine);
        QFETCH(int, notify);
        QFETCH(QString, email);
        QFETCH(bool, mail);
        SurveillanceRig rig(commandLine);
        rig.stuff.Notify = std::uint8_t(notify);
        rig.stuff.EMail = email;
        rig.stuff.SMTPServer = QStringLiteral("127.0.0.1");
        QCOMPARE(rig.surveillance.mailWillFollow(), mail);
    }

    // After activity the ending period starts at the last active frame;
    // a due refresh waits for the end of the capture unless told not to;
    // the recording also ends by hand.
    void aRecordingEndsAfterActivityOrByHand() {
        SurveillanceRig rig;
        QVERIFY(rig.openCamera());
        rig.stuff.RefreshSeconds = 10;
        arm(rig);
        record(rig);
        rig.examine(active());
        QVERIFY(!rig.surveillance.StopPending());
        rig.examine(calm());
        QCOMPARE(tick(rig, 6), QStringLiteral("4 sec"));
        rig.examine(atThreshold());
        QCOMPARE(tick(rig), QString());
        QCOMPARE(rig.text(Panel::BaseRefresh), QStringLiteral("Wait"));
        rig.advance(2);
        rig.examine(calm());
        QCOMPARE(tick(rig), QStringLiteral("10 sec")); // counted from here
        QCOMPARE(tick(rig, 9), QStringLiteral("1 sec"));
        QCOMPARE(rig.stuff.BaseSize, 100000);
        QCOMPARE(tick(rig, 1), QString());
        QVERIFY(!rig.capture.IsCapturing() && !rig.surveillance.RecordedLatch());
        QCOMPARE(rig.text(Panel::State), QStringLiteral("STANDBY"));
        QCOMPARE(rig.text(Panel::BaseRefresh), QStringLiteral("-8 sec"));
        QCOMPARE(rig.stuff.BaseSize, 0);
        QCOMPARE(rig.rows.size(), 1);

        rig.examine(base());
        record(rig);
        rig.surveillance.mnuSuspend_Click();
        QVERIFY(!rig.capture.IsCapturing() && !rig.mnuSuspend.isEnabled());
        QCOMPARE(rig.rows.size(), 2);
        QCOMPARE(rig.text(Panel::State), QStringLiteral("STANDBY"));
        QCOMPARE(rig.text(Panel::Timestamp), QString());

        rig.stuff.SuspendRefresh = false; // the countdown runs through the capture
        record(rig);
        tick(rig, 11);
        QCOMPARE(rig.stuff.BaseSize, 0);
        rig.surveillance.mnuStart_Click();
        QVERIFY(!rig.capture.IsCapturing());
        QCOMPARE(rig.rows.size(), 3);
        QCOMPARE(rig.text(Panel::State), QStringLiteral("OFF"));
        QCOMPARE(rig.text(Panel::TimeToGo), QString());
    }
};

QTEST_MAIN(tst_Surveillance)
#include "tst_surveillance.moc"
