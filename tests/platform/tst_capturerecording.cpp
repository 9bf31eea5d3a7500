#include "AviProbe.h"
#include "CaptureControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

// Recording AVI files from the test scene, read back with ffprobe.
class tst_CaptureRecording final : public QObject {
    Q_OBJECT

    using Stream = AviProbe::Stream;
    static QList<Stream> probe(const QString& path) { return AviProbe::probe(path); }

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() {
        qputenv("SENTORIX_NO_CAMERAS", "1");
        if (QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
            QFAIL("ffprobe is needed to read the recordings back");
    }

    void recordsPlayableAvi_data() {
        QTest::addColumn<bool>("audio");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("fps");
        QTest::newRow("video 640x480 5 fps") << false << QSize(640, 480) << 5;
        QTest::newRow("video+audio 320x240 10 fps") << true << QSize(320, 240) << 10;
    }
    void recordsPlayableAvi() {
        QFETCH(bool, audio);
        QFETCH(QSize, size);
        QFETCH(int, fps);
        const QString path = m_dir.filePath(QStringLiteral("%1.avi").arg(QTest::currentDataTag()));
        CaptureControl control;
        control.setFrameRate(fps);
        control.setFrameSize(size);
        QVERIFY(control.setDevice(0));
        control.setCaptureAudio(audio);
        QCOMPARE(control.CaptureAudio(), audio);
        QSignalSpy frames(&control, &CaptureControl::FrameCallback);
        QSignalSpy streamed(&control, &CaptureControl::StreamCallback);
        QSignalSpy status(&control, &CaptureControl::StatusCallback);
        QTRY_VERIFY_WITH_TIMEOUT(frames.count() > 0, 5000);

        control.setCaptureFile(path);
        QElapsedTimer timer;
        timer.start();
        QVERIFY2(control.StartCapture(), qPrintable(control.lastError()));
        QVERIFY(control.IsCapturing());
        // Format changes are refused while recording.
        control.setFrameRate(fps + 1);
        control.setFrameSize(QSize(1280, 720));
        QCOMPARE(control.FrameRate(), fps);
        QCOMPARE(control.frameSize(), size);
        QTest::qWait(2500);
        const int framesDuring = frames.count();
        control.StopCapture();
        const double seconds = timer.elapsed() / 1000.0;
        QVERIFY(!control.IsCapturing());
        QVERIFY(streamed.count() > 0);
        QTRY_VERIFY_WITH_TIMEOUT(frames.count() > framesDuring, 5000); // live again after stop
        QCOMPARE(status.count(), 0);

        const QList<Stream> streams = probe(path);
        QCOMPARE(streams.size(), audio ? 2 : 1);
        const Stream& video = streams.at(0);
        QCOMPARE(video.codec, QStringLiteral("mjpeg"));
        QCOMPARE(QSize(video.width, video.height), size);
        qInfo("%d frames in %.2f s recorded, video duration %.2f s", video.frames, seconds,
              video.duration);
        // Within one frame per second of the recorded time (plus the
        // frames in flight at start and stop).
        QVERIFY(std::abs(video.frames - seconds * fps) <= seconds + 2);
        QVERIFY(std::abs(video.duration * fps - video.frames) <= 1.0);
        if (audio) {
            const Stream& sound = streams.at(1);
            QVERIFY2(sound.codec.startsWith(QStringLiteral("pcm")), qPrintable(sound.codec));
            qInfo("audio %s, %.2f s", qPrintable(sound.codec), sound.duration);
            QVERIFY(std::abs(sound.duration - video.duration) < 1.0);
        }
    }

    void refusedCaptures() {
        CaptureControl control;
        control.setCaptureFile(m_dir.filePath(QStringLiteral("early.avi")));
        QVERIFY(!control.StartCapture()); // no device open
        QVERIFY(!control.IsCapturing());

        QVERIFY(control.setDevice(0));
        control.setCaptureFile(QString());
        QVERIFY(!control.StartCapture());
        control.setCaptureFile(m_dir.filePath(QStringLiteral("no/such/dir/x.avi")));
        QVERIFY(!control.StartCapture());
        QVERIFY(!control.IsCapturing());
        QVERIFY(!control.lastError().isEmpty());
        control.setCaptureFile(QStringLiteral("/proc/sentorix-cannot-create.avi"));
        QVERIFY(!control.StartCapture());

        // The control is still fine afterwards.
        const QString good = m_dir.filePath(QStringLiteral("after-failure.avi"));
        control.setCaptureFile(good);
        QVERIFY2(control.StartCapture(), qPrintable(control.lastError()));
        QSignalSpy streamed(&control, &CaptureControl::StreamCallback);
        QTRY_VERIFY_WITH_TIMEOUT(streamed.count() >= 2, 5000);
        control.StopCapture();
        const auto streams = probe(good);
        QCOMPARE(streams.size(), 1);
        QVERIFY(streams.at(0).frames >= 2);
    }

    void writeErrorEndsCapture() {
        // /dev/full opens fine and fails every write with "no space left".
        CaptureControl control;
        QVERIFY(control.setDevice(0));
        QSignalSpy status(&control, &CaptureControl::StatusCallback);
        control.setCaptureFile(QStringLiteral("/dev/full"));
        const bool started = control.StartCapture();
        if (started)
            QTRY_VERIFY_WITH_TIMEOUT(status.count() > 0, 5000);
        QVERIFY(!control.IsCapturing());
        QVERIFY(!control.lastError().isEmpty());
        if (started) {
            QCOMPARE(status.first().at(0).toInt(), int(CaptureControl::StatusCaptureFailed));
            qInfo("reported: %s", qPrintable(status.first().at(1).toString()));
        }
        QVERIFY(control.outOfSpace());
        QCOMPARE(control.capturedFrames(), 0);
        QVERIFY(QFileInfo::exists(QStringLiteral("/dev/full"))); // only files are cleaned up
        // The live picture goes on.
        QSignalSpy frames(&control, &CaptureControl::FrameCallback);
        QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= 2, 5000);
        QCOMPARE(control.Device(), 0);
    }

    void unpluggedCameraEndsLivePictureAndCapture() {
        qputenv("SENTORIX_SCENE_UNPLUG_AFTER", "12");
        CaptureControl control;
        control.setFrameRate(10);
        const bool opened = control.setDevice(0);
        qunsetenv("SENTORIX_SCENE_UNPLUG_AFTER");
        QVERIFY2(opened, qPrintable(control.lastError()));
        QSignalSpy status(&control, &CaptureControl::StatusCallback);
        QSignalSpy streamed(&control, &CaptureControl::StreamCallback);
        const QString path = m_dir.filePath(QStringLiteral("unplugged.avi"));
        control.setCaptureFile(path);
        QVERIFY(control.StartCapture());
        QTRY_VERIFY_WITH_TIMEOUT(status.count() > 0, 5000);
        QCOMPARE(status.first().at(0).toInt(), int(CaptureControl::StatusDeviceLost));
        QVERIFY(status.first().at(1).toString().contains(QStringLiteral("unplugged")));
        QCOMPARE(control.Device(), -1);
        QVERIFY(!control.IsCapturing());
        // What was recorded up to then is a complete file.
        const auto streams = probe(path);
        QCOMPARE(streams.size(), 1);
        QVERIFY(streams.at(0).frames >= 1 && streams.at(0).frames <= 12);
        QVERIFY(std::abs(streams.at(0).duration * 10 - streams.at(0).frames) <= 1.0);
        // Nothing more arrives, and a camera that is gone cannot be opened.
        const int seen = streamed.count();
        QTest::qWait(300);
        QCOMPARE(streamed.count(), seen);
        QVERIFY(!control.setDevice(0));
    }

    void killedRecordingKeepsFrames() {
        // A child process records and is killed without warning; the file
        // must still hold all but the last second of frames.
        const QString path = m_dir.filePath(QStringLiteral("killed.avi"));
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--record-child"), path});
        QVERIFY(child.waitForStarted(5000));
        QVERIFY(child.waitForReadyRead(10000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("recording"));
        QElapsedTimer timer;
        timer.start();
        QTest::qWait(3000);
        child.kill(); // SIGKILL
        const double seconds = timer.elapsed() / 1000.0;
        QVERIFY(child.waitForFinished(5000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const auto streams = probe(path);
        QCOMPARE(streams.size(), 1);
        QCOMPARE(streams.at(0).codec, QStringLiteral("mjpeg"));
        QCOMPARE(QSize(streams.at(0).width, streams.at(0).height), QSize(640, 480));
        const int expected = int(seconds * 5);
        qInfo("%d of about %d frames readable after SIGKILL", streams.at(0).frames, expected);
        QVERIFY(streams.at(0).frames >= expected - 5 - 1);
    }
};

// Child mode for the kill test: record from the scene until killed.
static int recordChild(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qputenv("SENTORIX_NO_CAMERAS", "1");
    CaptureControl control;
    control.setCaptureFile(QString::fromLocal8Bit(argv[2]));
    if (!control.setDevice(0) || !control.StartCapture()) {
        std::fprintf(stderr, "%s\n", qPrintable(control.lastError()));
        return 1;
    }
    std::printf("recording\n");
    std::fflush(stdout);
    return app.exec();
}

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--record-child") == 0)
        return recordChild(argc, argv);
    QCoreApplication app(argc, argv);
    tst_CaptureRecording test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_capturerecording.moc"
