#include "AviProbe.h"
#include "RecordingName.h"
#include "SurveillanceRig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

// The recorder on the test scene camera and the real clock: what the
// camera delivers decides, and the AVI files are read back.
class tst_Recorder final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QElapsedTimer m_clock;
    QStringList m_states;      // panel 2, each change
    qint64 m_recordingMs = -1; // the last "RECORDING"
    qint64 m_pendingMs = -1;   // the ending period's countdown appeared
    qint64 m_stoppedMs = -1;   // the last row was handed over
    bool m_countdownShown = false;

    // Arms a rig on the camera's frames at 5 frames a second and follows it.
    void start(SurveillanceRig& rig, const char* folder) {
        rig.stuff.VidPath = m_dir.filePath(QLatin1String(folder)) + u'/';
        QVERIFY(QDir().mkpath(rig.stuff.VidPath));
        rig.capture.setFrameRate(5);
        rig.capture.setFrameSize(QSize(640, 480));
        QVERIFY(rig.openCamera());
        m_states.clear();
        m_recordingMs = m_pendingMs = m_stoppedMs = -1;
        m_countdownShown = false;
        m_clock.start();
        connect(&rig.panels, &StatusPanels::textChanged, &rig.surveillance,
                [this](Panel panel, const QString& text) {
                    if (panel == Panel::TimeToGo) { // the last time it appeared
                        if (!text.isEmpty() && !m_countdownShown)
                            m_pendingMs = m_clock.elapsed();
                        m_countdownShown = !text.isEmpty();
                    }
                    if (panel != Panel::State || (!m_states.isEmpty() && m_states.last() == text))
                        return;
                    m_states << text;
                    if (text == QLatin1String("RECORDING"))
                        m_recordingMs = m_clock.elapsed();
                });
        connect(&rig.surveillance, &Surveillance::recordingStopped, &rig.surveillance,
                [this] { m_stoppedMs = m_clock.elapsed(); });
        rig.surveillance.mnuStart_Click();
    }
    static CaptureControl::Options scene(const char* schedule, const char* unplug = "") {
        return sceneCamera(TestScene::parseSchedule(schedule), TestScene::parseUnplug(unplug));
    }
    // A playable AVI at the captured size, closed properly, `seconds` long
    // within a second.
    static void verifyPlayable(const QString& file, double seconds) {
        const QList<AviProbe::Stream> streams = AviProbe::probe(file);
        QVERIFY2(!streams.isEmpty(), qPrintable(file));
        const AviProbe::Stream& video = streams.first();
        QCOMPARE(QSize(video.width, video.height), QSize(640, 480));
        QVERIFY(video.frames > 0 && std::abs(video.duration * 5.0 - video.frames) <= 1.0);
        QVERIFY2(std::abs(video.frames / 5.0 - seconds) <= 1.0,
                 qPrintable(QStringLiteral("%1 frames in %2 s").arg(video.frames).arg(seconds)));
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // One visit of the intruder, recorded until two seconds after he left.
    void aVisitIsRecorded() {
        SurveillanceRig rig(QString(), SurveillanceRig::Frames::FromCamera, scene("3:1.5"));
        rig.stuff.RecordSeconds = 2;
        QSignalSpy rows(&rig.surveillance, &Surveillance::recordingStopped);
        start(rig, "visit");
        QTRY_VERIFY_WITH_TIMEOUT(rows.count() == 1, 30000);
        rig.surveillance.mnuStart_Click();
        QCOMPARE(m_states, (QStringList{"STANDBY", "RECORDING", "STANDBY", "OFF"}));
        const QString started = rows.first().at(0).toString();
        const QString file = rows.first().at(2).toString();
        QCOMPARE(file, RecordingName::fromStartText(rig.stuff.VidPath, started));
        QCOMPARE(QDir(rig.stuff.VidPath).entryList(QDir::Files),
                 QStringList{QFileInfo(file).fileName()});
        // The countdown goes by whole seconds of the clock, checked four
        // times a second: between three quarters of a second and two and a
        // quarter seconds. The whole visit is in the file.
        const qint64 pendingForMs = m_stoppedMs - m_pendingMs;
        QVERIFY2(pendingForMs >= 750 && pendingForMs <= 2300,
                 qPrintable(QString::number(pendingForMs)));
        QVERIFY(m_stoppedMs - m_recordingMs >= 2000);
        verifyPlayable(file, double(m_stoppedMs - m_recordingMs) / 1000.0);
    }

    // Six seconds of frames, then the camera is gone for two: the recording
    // is kept, surveillance ends with "NO CAMERA" and is armed again.
    void anUnpluggedCameraEndsSurveillanceUntilItIsBack() {
        SurveillanceRig rig(QString(), SurveillanceRig::Frames::FromCamera, scene("2:30", "6:2"));
        rig.stuff.RecordSeconds = 20;
        const QString tracePath = m_dir.filePath(QStringLiteral("unplugged.dat"));
        rig.stuff.DebugMode = rig.stuff.trace().open(tracePath);
        QSignalSpy rows(&rig.surveillance, &Surveillance::recordingStopped);
        start(rig, "unplugged");
        QTRY_VERIFY_WITH_TIMEOUT(rows.count() == 1, 30000);
        QVERIFY(!rig.surveillance.SurveillanceOn() && !rig.mnuSuspend.isEnabled());
        QCOMPARE(rig.text(Panel::State), QStringLiteral("OFF"));
        QCOMPARE(rig.text(Panel::Timestamp), QStringLiteral("NO CAMERA"));
        QVERIFY(!rig.stuff.CaptureStatusText.isEmpty());
        verifyPlayable(rows.first().at(2).toString(), double(m_stoppedMs - m_recordingMs) / 1000.0);
        QFile trace(tracePath);
        QVERIFY(trace.open(QIODevice::ReadOnly));
        QVERIFY(trace.readAll().contains(" - Status_Callback - Camera lost: "));

        // Armed again by itself, on a new base image of the camera's picture.
        QTRY_VERIFY_WITH_TIMEOUT(rig.surveillance.SurveillanceOn(), 10000);
        QCOMPARE(rig.capture.Device(), 0);
        QCOMPARE(rig.text(Panel::Timestamp), QString());
        QTRY_VERIFY_WITH_TIMEOUT(rig.stuff.BaseCount > 0, 5000);
        rig.surveillance.mnuStart_Click();
    }

    void aFullDiskEndsSurveillance_data() {
        QTest::addColumn<double>("share");
        QTest::addColumn<int>("recordings");
        // The limit as a share of a first recording of seven frames: room
        // for a few more frames, or not for one.
        QTest::newRow("part of a recording fits") << 2.0 << 2;
        QTest::newRow("no frame fits") << 0.05 << 1;
    }
    void aFullDiskEndsSurveillance() {
        QFETCH(double, share);
        QFETCH(int, recordings);
        SurveillanceRig rig(QString(), SurveillanceRig::Frames::FromCamera, scene("2:30"));
        rig.stuff.RecordSeconds = 20;
        QSignalSpy rows(&rig.surveillance, &Surveillance::recordingStopped);
        QSignalSpy written(&rig.capture, &CaptureControl::StreamCallback);
        start(rig, QTest::currentDataTag());
        QTRY_VERIFY_WITH_TIMEOUT(written.count() >= 7, 10000);
        rig.surveillance.mnuSuspend_Click();
        QCOMPARE(rows.count(), 1);
        const QString earlier = rows.first().at(2).toString();
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

        QCOMPARE(rig.text(Panel::State), QStringLiteral("OFF"));
        QCOMPARE(rig.text(Panel::Timestamp), QStringLiteral("LOW DISK SPACE"));
        QVERIFY(!rig.capture.IsCapturing() && !rig.mnuSuspend.isEnabled());
        QVERIFY(!rig.stuff.CaptureStatusText.isEmpty());
        QCOMPARE(rows.count(), recordings);
        // No empty file of an attempt that wrote nothing.
        QCOMPARE(QDir(rig.stuff.VidPath).entryList(QDir::Files).size(), recordings);
        QCOMPARE(QFileInfo(earlier).size(), earlierSize);
        for (const QList<QVariant>& row : rows) {
            const QString file = row.at(2).toString();
            QVERIFY(QFileInfo(file).size() <=
                    qint64(std::max(limited.rlim_cur, rlim_t(earlierSize))));
            QVERIFY(!AviProbe::probe(file).isEmpty());
        }
    }
};

QTEST_MAIN(tst_Recorder)
#include "tst_recorder.moc"
