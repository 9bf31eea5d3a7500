#include "AviProbe.h"
#include "RecordingName.h"
#include "SurveillanceRig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {

// A rig on the camera's frames at 5 frames a second, the scene visited on
// `schedule` and unplugged as `unplug` says. It notes each change of panel
// 2, when the recording started, when the ending period's countdown last
// appeared and when the last row was handed over.
struct Scenario {
    Scenario(const char* schedule, const char* unplug, int recordSeconds)
        : rig(QString(), SurveillanceRig::Frames::FromCamera,
              sceneCamera(TestScene::parseSchedule(schedule), TestScene::parseUnplug(unplug)))
        , rows(&rig.surveillance, &Surveillance::recordingStopped) {
        rig.stuff.RecordSeconds = recordSeconds;
        rig.capture.setFrameRate(5);
        rig.capture.setFrameSize(QSize(640, 480));
        QObject::connect(&rig.panels, &StatusPanels::textChanged, &rig.surveillance,
                         [this](Panel panel, const QString& text) {
                             if (panel == Panel::TimeToGo) {
                                 if (!text.isEmpty() && !countdownShown)
                                     pendingMs = clock.elapsed();
                                 countdownShown = !text.isEmpty();
                             } else if (panel == Panel::State &&
                                        (states.isEmpty() || states.last() != text)) {
                                 states << text;
                                 if (text == QLatin1String("RECORDING"))
                                     recordingMs = clock.elapsed();
                             }
                         });
        QObject::connect(&rig.surveillance, &Surveillance::recordingStopped, &rig.surveillance,
                         [this] { stoppedMs = clock.elapsed(); });
    }
    bool start() {
        clock.start();
        const bool opened = rig.openCamera();
        rig.surveillance.mnuStart_Click();
        return opened;
    }
    // With the frames kept from before the start: two seconds, or since arming.
    double recordedSeconds() const {
        return double(stoppedMs - recordingMs) / 1000.0 + std::min(2.0, recordingMs / 1000.0);
    }

    SurveillanceRig rig;
    QSignalSpy rows;
    QElapsedTimer clock;
    QStringList states;
    qint64 recordingMs = -1, pendingMs = -1, stoppedMs = -1;
    bool countdownShown = false;
};

// A playable AVI at the captured size, closed properly, `seconds` long
// within a second.
void verifyPlayable(const QString& file, double seconds) {
    const QList<AviProbe::Stream> streams = AviProbe::probe(file);
    QVERIFY2(!streams.isEmpty(), qPrintable(file));
    const AviProbe::Stream& video = streams.first();
    QCOMPARE(QSize(video.width, video.height), QSize(640, 480));
    QVERIFY(video.frames > 0 && std::abs(video.duration * 5.0 - video.frames) <= 1.0);
    QVERIFY2(std::abs(video.frames / 5.0 - seconds) <= 1.0,
             qPrintable(QStringLiteral("%1 frames in %2 s").arg(video.frames).arg(seconds)));
}

} // namespace

// The recorder on the test scene camera and the real clock: what the
// camera delivers decides, and the AVI files are read back.
class tst_Recorder final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // One visit of the intruder, recorded until two seconds after he left.
    void aVisitIsRecorded() {
        Scenario s("3:1.5", "", 2);
        QVERIFY(s.start());
        QTRY_VERIFY_WITH_TIMEOUT(s.rows.count() == 1, 30000);
        s.rig.surveillance.mnuStart_Click();
        QCOMPARE(s.states, (QStringList{"STANDBY", "RECORDING", "STANDBY", "OFF"}));
        const QString file = s.rows.first().at(2).toString();
        QCOMPARE(file, RecordingName::fromStartText(s.rig.stuff.VidPath,
                                                    s.rows.first().at(0).toString()));
        QCOMPARE(QDir(s.rig.stuff.VidPath).entryList(QDir::Files),
                 QStringList{QFileInfo(file).fileName()});
        // The countdown goes by whole seconds of the clock, checked four
        // times a second: between three quarters of a second and two and a
        // quarter seconds. The whole visit is in the file.
        const qint64 pendingForMs = s.stoppedMs - s.pendingMs;
        QVERIFY2(pendingForMs >= 750 && pendingForMs <= 2300,
                 qPrintable(QString::number(pendingForMs)));
        QVERIFY(s.stoppedMs - s.recordingMs >= 2000);
        verifyPlayable(file, s.recordedSeconds());
    }

    // Six seconds of frames, then the camera is gone for two: the recording
    // is kept, surveillance ends with "NO CAMERA" and is armed again.
    void anUnpluggedCameraEndsSurveillanceUntilItIsBack() {
        Scenario s("2:30", "6:2", 20);
        SurveillanceRig& rig = s.rig;
        const QString tracePath = rig.videos.filePath(QStringLiteral("unplugged.dat"));
        rig.stuff.DebugMode = rig.stuff.trace().open(tracePath);
        QVERIFY(s.start());
        QTRY_VERIFY_WITH_TIMEOUT(s.rows.count() == 1, 30000);
        QVERIFY(!rig.surveillance.SurveillanceOn() && !rig.mnuSuspend.isEnabled());
        QCOMPARE(rig.text(Panel::State), QStringLiteral("OFF"));
        QCOMPARE(rig.text(Panel::Timestamp), QStringLiteral("NO CAMERA"));
        QVERIFY(!rig.stuff.CaptureStatusText.isEmpty());
        verifyPlayable(s.rows.first().at(2).toString(), s.recordedSeconds());
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

    // Rows: the limit as a share of a first recording of seven frames (room
    // for a few more frames, or not for one), the recordings made.
    void aFullDiskEndsSurveillance() {
        for (const auto& [share, recordings] : {std::pair{2.0, 2}, {0.05, 1}}) {
            Scenario s("2:30", "", 20);
            SurveillanceRig& rig = s.rig;
            QSignalSpy written(&rig.capture, &CaptureControl::StreamCallback);
            QVERIFY(s.start());
            QTRY_VERIFY_WITH_TIMEOUT(written.count() >= 7, 10000);
            rig.surveillance.mnuSuspend_Click();
            QCOMPARE(s.rows.count(), 1);
            const QString earlier = s.rows.first().at(2).toString();
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
            QCOMPARE(s.rows.count(), recordings);
            // No empty file of an attempt that wrote nothing.
            QCOMPARE(QDir(rig.stuff.VidPath).entryList(QDir::Files).size(), recordings);
            QCOMPARE(QFileInfo(earlier).size(), earlierSize);
            for (const QList<QVariant>& row : s.rows) {
                const QString file = row.at(2).toString();
                QVERIFY(QFileInfo(file).size() <=
                        qint64(std::max(limited.rlim_cur, rlim_t(earlierSize))));
                QVERIFY(!AviProbe::probe(file).isEmpty());
            }
        }
    }
};

QTEST_MAIN(tst_Recorder)
#include "tst_recorder.moc"
