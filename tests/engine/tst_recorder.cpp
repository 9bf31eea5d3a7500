#include "AviProbe.h"
#include "SurveillanceRig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

Q_DECLARE_METATYPE(TestScene::Unplug)

// The recorder on the real test scene camera and the real clock: what the
// camera delivers decides, and the AVI files are read back.
class tst_Recorder final : public QObject {
    Q_OBJECT

    // One finished recording as the test saw it.
    struct Recording {
        QString file;
        qint64 startedMs = 0;      // panel 2 turned "RECORDING"
        qint64 stoppedMs = 0;      // the row was handed over
        qint64 pendingFromMs = -1; // the ending period's countdown appeared
    };

    QTemporaryDir m_dir;
    QElapsedTimer m_clock;
    QStringList m_states;
    bool m_countdownShown = false;
    QList<Recording> m_recordings;

    QString vidPath() const {
        QString name = QString::fromLatin1(QTest::currentTestFunction());
        if (QTest::currentDataTag() != nullptr)
            name += u'-' + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
        const QString path = m_dir.filePath(name);
        QDir().mkpath(path);
        return path + u'/';
    }

    // Follows panel 2 and the rows of a rig on the camera's frames.
    void watch(SurveillanceRig& rig) {
        m_states.clear();
        m_recordings.clear();
        m_countdownShown = false;
        m_clock.start();
        connect(&rig.panels, &StatusPanels::textChanged, &rig.surveillance,
                [this](Panel panel, const QString& text) {
                    if (panel == Panel::TimeToGo) {
                        // The last time the countdown appeared; activity clears it.
                        if (!text.isEmpty() && !m_countdownShown && !m_recordings.isEmpty())
                            m_recordings.last().pendingFromMs = m_clock.elapsed();
                        m_countdownShown = !text.isEmpty();
                    }
                    if (panel != Panel::State || (!m_states.isEmpty() && m_states.last() == text))
                        return;
                    m_states << text;
                    if (text == QLatin1String("RECORDING"))
                        m_recordings.append({QString(), m_clock.elapsed(), 0, -1});
                });
        connect(&rig.surveillance, &Surveillance::recordingStopped, &rig.surveillance,
                [this](const QString&, const QString&, const QString& file) {
                    QVERIFY(!m_recordings.isEmpty());
                    Recording& r = m_recordings.last();
                    r.file = file;
                    r.stoppedMs = m_clock.elapsed();
                });
    }

    // The test scene camera with visits on the given schedule.
    static CaptureControl::Options scene(const char* schedule, TestScene::Unplug unplug = {}) {
        return sceneCamera(TestScene::parseSchedule(schedule), unplug);
    }
    static void setUp(SurveillanceRig& rig) {
        QVERIFY(rig.openCamera());
        rig.capture.setFrameRate(5);
        rig.capture.setFrameSize(QSize(640, 480));
    }

    int finished() const {
        int n = 0;
        for (const Recording& r : m_recordings)
            n += r.file.isEmpty() ? 0 : 1;
        return n;
    }

    // A playable AVI at the captured size whose length is that of the
    // capture within a second.
    static void verifyPlayable(const Recording& r) {
        const QList<AviProbe::Stream> streams = AviProbe::probe(r.file);
        QVERIFY2(!streams.isEmpty(), qPrintable(r.file));
        QCOMPARE(streams.first().width, 640);
        QCOMPARE(streams.first().height, 480);
        QVERIFY(streams.first().frames > 0);
        // Closed properly: the header's length agrees with the frames.
        QVERIFY(std::abs(streams.first().duration * 5.0 - streams.first().frames) <= 1.0);
        const double captured = double(r.stoppedMs - r.startedMs) / 1000.0;
        const double duration = double(streams.first().frames) / 5.0;
        QVERIFY2(
            std::abs(duration - captured) <= 1.0,
            qPrintable(
                QStringLiteral("%1 s in the file, %2 s captured").arg(duration).arg(captured)));
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void fixedTimeGivesOneRecordingOfTheSetLengthPerVisit() {
        SurveillanceRig rig(QString(), SurveillanceRig::Frames::FromCamera, scene("3:1.5"));
        setUp(rig);
        rig.stuff.TimeType = StopMode::FixedTime;
        rig.stuff.RecordSeconds = 2;
        rig.stuff.VidPath = vidPath();
        watch(rig);
        rig.surveillance.mnuStart_Click();
        QTRY_VERIFY_WITH_TIMEOUT(finished() >= 2, 30000);
        rig.surveillance.mnuStart_Click();

        // Each visit: recorded, latched until the intruder left, armed again.
        // The end of the recording passes through "STANDBY" on its way to
        // "RECORDED".
        const QStringList visit{QStringLiteral("RECORDING"), QStringLiteral("STANDBY"),
                                QStringLiteral("RECORDED")};
        QCOMPARE(m_states.mid(1, 7), visit + QStringList{QStringLiteral("STANDBY")} + visit);
        for (int i = 0; i < 2; ++i) {
            const Recording& r = m_recordings.at(i);
            // Two seconds of the clock's whole seconds after the start: one to
            // two seconds, and up to a frame and a tick later.
            const qint64 length = r.stoppedMs - r.startedMs;
            QVERIFY2(length >= 900 && length <= 2600, qPrintable(QString::number(length)));
            verifyPlayable(r);
        }
    }

    void variableTimeEndsTheSetTimeAfterTheLastActivity() {
        SurveillanceRig rig(QString(), SurveillanceRig::Frames::FromCamera, scene("3:1.5"));
        setUp(rig);
        rig.stuff.TimeType = StopMode::AfterActivity;
        rig.stuff.RecordSeconds = 2;
        rig.stuff.VidPath = vidPath();
        watch(rig);
        rig.surveillance.mnuStart_Click();
        QTRY_VERIFY_WITH_TIMEOUT(finished() >= 1, 30000);
        rig.surveillance.mnuStart_Click();

        QCOMPARE(m_states.mid(1, 2),
                 (QStringList{QStringLiteral("RECORDING"), QStringLiteral("STANDBY")}));
        const Recording& r = m_recordings.first();
        // The countdown goes by whole seconds of the clock, checked four
        // times a second and shown from the first tick: between three
        // quarters of a second and two and a quarter seconds.
        QVERIFY(r.pendingFromMs >= 0);
        const qint64 pendingForMs = r.stoppedMs - r.pendingFromMs;
        QVERIFY2(pendingForMs >= 750 && pendingForMs <= 2300,
                 qPrintable(QString::number(pendingForMs)));
        // The whole visit is in the file, and the quiet time after it.
        QVERIFY(r.stoppedMs - r.startedMs >= 2000);
        verifyPlayable(r);
    }

    void anUnpluggedCameraEndsTheRecordingAndSurveillanceUntilItIsBack_data() {
        QTest::addColumn<TestScene::Unplug>("unplug");
        // Six seconds of frames, then gone for good or for two seconds.
        TestScene::Unplug neverBack;
        neverBack.afterFrames = 30;
        QTest::newRow("never back") << neverBack;
        QTest::newRow("back") << TestScene::parseUnplug("6:2");
    }
    void anUnpluggedCameraEndsTheRecordingAndSurveillanceUntilItIsBack() {
        QFETCH(TestScene::Unplug, unplug);
        const qint64 backAfterMs = unplug.backAfterMs;
        SurveillanceRig rig(QString(), SurveillanceRig::Frames::FromCamera, scene("2:30", unplug));
        const QString tracePath = m_dir.filePath(QStringLiteral("unplugged.dat"));
        QFile::remove(tracePath);
        rig.stuff.DebugMode = rig.stuff.trace().open(tracePath);
        setUp(rig);
        rig.stuff.RecordSeconds = 20;
        rig.stuff.VidPath = vidPath();
        watch(rig);
        qint64 lostMs = -1;
        qint64 standbyAgainMs = -1;
        connect(&rig.capture, &CaptureControl::StatusCallback, &rig.surveillance, [&](int code) {
            if (code == CaptureControl::StatusDeviceLost)
                lostMs = m_clock.elapsed();
        });
        connect(&rig.panels, &StatusPanels::textChanged, &rig.surveillance,
                [&](Panel panel, const QString& text) {
                    if (panel == Panel::State && text == QLatin1String("STANDBY") && lostMs >= 0 &&
                        standbyAgainMs < 0)
                        standbyAgainMs = m_clock.elapsed();
                });
        rig.surveillance.mnuStart_Click();
        QTRY_VERIFY_WITH_TIMEOUT(finished() == 1, 30000);
        QVERIFY(!rig.surveillance.SurveillanceOn());
        QCOMPARE(rig.panels.text(Panel::State), QStringLiteral("OFF"));
        QCOMPARE(rig.panels.text(Panel::Timestamp), QStringLiteral("NO CAMERA"));
        QVERIFY(!rig.stuff.CaptureStatusText.isEmpty());
        QVERIFY(!rig.mnuSuspend.isEnabled());
        verifyPlayable(m_recordings.first());
        QFile trace(tracePath);
        QVERIFY(trace.open(QIODevice::ReadOnly));
        QVERIFY(trace.readAll().contains(" - Status_Callback - Camera lost: "));
        if (backAfterMs < 0)
            return;

        // Armed again by itself, on a new base image of the camera's picture.
        QTRY_VERIFY_WITH_TIMEOUT(standbyAgainMs >= 0, 10000);
        QVERIFY(rig.surveillance.SurveillanceOn());
        QCOMPARE(rig.capture.Device(), 0);
        QCOMPARE(rig.panels.text(Panel::Timestamp), QString());
        QTRY_VERIFY_WITH_TIMEOUT(rig.stuff.BaseCount > 0, 5000);
        qInfo("armed again %lld ms after the camera was back",
              standbyAgainMs - lostMs - backAfterMs);
        rig.surveillance.mnuStart_Click();
    }

    void aFullDiskEndsSurveillance_data() {
        QTest::addColumn<double>("share");
        QTest::addColumn<int>("recordings");
        // The limit as a share of a first recording of one and a half
        // seconds: room for a few more frames, or not for one.
        QTest::newRow("part of a recording fits") << 2.0 << 2;
        QTest::newRow("no frame fits") << 0.05 << 1;
    }
    void aFullDiskEndsSurveillance() {
        QFETCH(double, share);
        QFETCH(int, recordings);
        SurveillanceRig rig(QString(), SurveillanceRig::Frames::FromCamera, scene("2:30"));
        setUp(rig);
        rig.stuff.RecordSeconds = 20;
        rig.stuff.VidPath = vidPath();
        watch(rig);
        rig.surveillance.mnuStart_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_recordings.isEmpty() && rig.capture.IsCapturing(), 10000);
        QTest::qWait(1500);
        rig.surveillance.mnuSuspend_Click();
        QCOMPARE(finished(), 1);
        const QString earlier = m_recordings.first().file;
        const qint64 earlierSize = QFileInfo(earlier).size();
        QVERIFY(earlierSize > 0);

        // From here no file may grow past the limit, as on a disk that
        // fills up; the writer then gets EFBIG instead of a signal.
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = rlim_t(share * double(earlierSize));
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        // The intruder is still there, so the next frame records again,
        // until the disk is full; then surveillance ends for good.
        QTRY_VERIFY_WITH_TIMEOUT(!rig.surveillance.SurveillanceOn(), 20000);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QCOMPARE(rig.panels.text(Panel::State), QStringLiteral("OFF"));
        QCOMPARE(rig.panels.text(Panel::Timestamp), QStringLiteral("LOW DISK SPACE"));
        QVERIFY(!rig.capture.IsCapturing());
        QVERIFY(!rig.stuff.CaptureStatusText.isEmpty());
        QVERIFY(!rig.mnuSuspend.isEnabled());
        QCOMPARE(finished(), recordings);
        // No empty file of an attempt that wrote nothing.
        QCOMPARE(QDir(rig.stuff.VidPath).entryList(QDir::Files).size(), recordings);
        QCOMPARE(QFileInfo(earlier).size(), earlierSize);
        verifyPlayable(m_recordings.first());
        if (recordings == 2) {
            QVERIFY(QFileInfo(m_recordings.at(1).file).size() <= qint64(limited.rlim_cur));
            verifyPlayable(m_recordings.at(1));
        }
    }

    void aMissingOutputFolderIsRetriedUntilItExists() {
        SurveillanceRig rig(QString(), SurveillanceRig::Frames::FromCamera, scene("1:30"));
        setUp(rig);
        const QString folder = vidPath() + QStringLiteral("later/");
        rig.stuff.VidPath = folder;
        watch(rig);
        rig.surveillance.mnuStart_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.stuff.CaptureStatusText.isEmpty(), 10000);
        QElapsedTimer sinceFailure;
        sinceFailure.start();
        // Still armed and still trying: the free-space limit of 0 lets an
        // unknown drive pass.
        QVERIFY(rig.surveillance.SurveillanceOn());
        QCOMPARE(rig.panels.text(Panel::State), QStringLiteral("RECORDING"));
        QVERIFY(!rig.capture.IsCapturing());

        // Tried again ten seconds after the failure, not at every frame.
        QVERIFY(QDir().mkpath(folder));
        QTRY_VERIFY_WITH_TIMEOUT(rig.capture.IsCapturing(), 15000);
        QVERIFY2(sinceFailure.elapsed() >= 9500,
                 qPrintable(QString::number(sinceFailure.elapsed())));
        QTest::qWait(1000);
        rig.surveillance.mnuStart_Click();
        QCOMPARE(finished(), 1);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
        QVERIFY(m_recordings.first().file.startsWith(folder));
        QVERIFY(!AviProbe::probe(m_recordings.first().file).isEmpty());
    }
};

QTEST_MAIN(tst_Recorder)
#include "tst_recorder.moc"
