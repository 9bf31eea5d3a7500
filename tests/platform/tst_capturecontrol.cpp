#include "CaptureControl.h"
#include "DibFile.h"

#include <QElapsedTimer>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cstring>
#include <vector>

// The live side of the capture control against real GStreamer, with the
// test scene camera (the monitor is skipped so every machine looks alike).
class tst_CaptureControl final : public QObject {
    Q_OBJECT

    struct FrameLog {
        int frames = 0;
        int badHeaders = 0;
        int wrongOrientation = 0;
        QSize lastSize;
        std::uint32_t lastBytes = 0;
        std::uint32_t lastTime = 0;
        int timeWentBack = 0;
    };

    // The scene paints a pure red band at the top of the picture; in the
    // bottom-up frame that is the last rows in memory.
    static bool isRed(const std::uint8_t* px) { return px[0] < 10 && px[1] < 10 && px[2] > 245; }

    static void record(FrameLog& log, const VideoHeader* h) {
        ++log.frames;
        const std::size_t stride = DibFile::paddedStride(int(h->width));
        if (h->lpData == nullptr || h->dwBytesUsed != stride * h->height ||
            h->dwBufferLength < h->dwBytesUsed)
            ++log.badHeaders;
        else {
            const std::uint8_t* lastRow = h->lpData + stride * (h->height - 1);
            const std::uint8_t* firstRow = h->lpData;
            if (!isRed(lastRow + 30) || isRed(firstRow + 30))
                ++log.wrongOrientation;
        }
        if (h->dwTimeCaptured < log.lastTime)
            ++log.timeWentBack;
        log.lastTime = h->dwTimeCaptured;
        log.lastSize = QSize(int(h->width), int(h->height));
        log.lastBytes = h->dwBytesUsed;
    }

private Q_SLOTS:
    void initTestCase() { qputenv("SENTORIX_NO_CAMERAS", "1"); }

    void devices() {
        CaptureControl control;
        QCOMPARE(control.DeviceName(0), QStringLiteral("Sentorix test scene camera"));
        QCOMPARE(control.DeviceVersion(0), QStringLiteral("1.0"));
        for (int n : {1, 9, 10, 11, -1})
            QVERIFY(control.DeviceName(n).isEmpty());
        QCOMPARE(control.Device(), -1);
        QVERIFY(!control.HasAudio());
        control.setCaptureAudio(true);
        QVERIFY(!control.CaptureAudio()); // nothing to record sound from

        QVERIFY(!control.setDevice(4));
        QCOMPARE(control.Device(), -1);
        QVERIFY(!control.lastError().isEmpty());

        QVERIFY2(control.setDevice(0), qPrintable(control.lastError()));
        QCOMPARE(control.Device(), 0);
        QVERIFY(control.HasAudio());
        QVERIFY(control.HasFormatDialog());
        QVERIFY(control.HasSourceDialog()); // picture controls act on any device
        QVERIFY(!control.HasOverlay());
        control.setCaptureAudio(true);
        QVERIFY(control.CaptureAudio());

        // A failed switch leaves nothing selected, not the old device.
        QVERIFY(!control.setDevice(1));
        QCOMPARE(control.Device(), -1);
        QVERIFY(!control.CaptureAudio());
    }

    void realMonitorListsSceneAfterCameras() {
        qunsetenv("SENTORIX_NO_CAMERAS");
        CaptureControl control;
        qputenv("SENTORIX_NO_CAMERAS", "1");
        int scene = -1;
        for (int n = 0; n < CaptureControl::MaxDevices && scene < 0; ++n) {
            if (control.DeviceName(n) == QStringLiteral("Sentorix test scene camera"))
                scene = n;
            else
                QVERIFY(!control.DeviceName(n).isEmpty()); // cameras come first, no gaps
        }
        QVERIFY(scene >= 0);
        QVERIFY(control.DeviceName(scene + 1).isEmpty());
        qInfo("cameras found: %d", scene);
    }

    void framesArriveAtFrameRate_data() {
        QTest::addColumn<int>("fps");
        QTest::newRow("5 fps") << 5;
        QTest::newRow("10 fps") << 10;
    }
    void framesArriveAtFrameRate() {
        QFETCH(int, fps);
        CaptureControl control;
        FrameLog log;
        connect(&control, &CaptureControl::FrameCallback, this,
                [&log](const VideoHeader* h) { record(log, h); });
        QSignalSpy streamed(&control, &CaptureControl::StreamCallback);
        control.setFrameRate(fps);
        QCOMPARE(control.FrameRate(), fps);
        QVERIFY2(control.setDevice(0), qPrintable(control.lastError()));
        QTRY_VERIFY_WITH_TIMEOUT(log.frames > 0, 5000);

        const int before = log.frames;
        QElapsedTimer timer;
        timer.start();
        QTest::qWait(2000);
        const double seconds = timer.elapsed() / 1000.0;
        const double rate = (log.frames - before) / seconds;
        qInfo("%.2f frames per second (asked %d)", rate, fps);
        QVERIFY(rate > fps * 0.7 && rate < fps * 1.3);
        QCOMPARE(log.badHeaders, 0);
        QCOMPARE(log.wrongOrientation, 0);
        QCOMPARE(log.timeWentBack, 0);
        QCOMPARE(log.lastSize, QSize(640, 480));
        QCOMPARE(log.lastBytes, 480u * 1920u);
        QCOMPARE(streamed.count(), 0); // not capturing
    }

    void slowHandlerGetsOnlyTheNewestFrame() {
        // While the UI thread is busy the frames must not pile up: once it
        // is free again it sees one frame, then the normal pace.
        CaptureControl control;
        control.setFrameRate(20);
        QVERIFY(control.setDevice(0));
        QList<qint64> arrivals;
        QElapsedTimer clock;
        clock.start();
        connect(&control, &CaptureControl::FrameCallback, this, [&](const VideoHeader*) {
            arrivals.append(clock.elapsed());
            if (arrivals.size() == 3)
                QThread::msleep(1500); // 30 frames' worth
        });
        QTRY_VERIFY_WITH_TIMEOUT(arrivals.size() >= 8, 8000);
        const qint64 resumed = arrivals.at(2) + 1500;
        int burst = 0;
        for (qint64 t : arrivals)
            burst += (t >= resumed && t < resumed + 40) ? 1 : 0;
        QVERIFY2(burst <= 2,
                 qPrintable(QStringLiteral("%1 frames right after the stall").arg(burst)));
    }

    void frameSizeChangesDeliveredFrames() {
        CaptureControl control;
        FrameLog log;
        connect(&control, &CaptureControl::FrameCallback, this,
                [&log](const VideoHeader* h) { record(log, h); });
        control.setFrameRate(10);
        QVERIFY(control.setDevice(0));
        QTRY_COMPARE_WITH_TIMEOUT(log.lastSize, QSize(640, 480), 5000);

        control.setFrameSize(QSize(320, 240));
        QCOMPARE(control.frameSize(), QSize(320, 240));
        QCOMPARE(control.Device(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(log.lastSize, QSize(320, 240), 5000);
        QCOMPARE(log.lastBytes, 240u * 960u);

        control.setFrameSize(QSize(1280, 720));
        QTRY_COMPARE_WITH_TIMEOUT(log.lastSize, QSize(1280, 720), 5000);
        QCOMPARE(log.lastBytes, 720u * 3840u);

        // Sizes the scene does not offer are clamped to one it does.
        control.setFrameSize(QSize(700, 500));
        QCOMPARE(control.frameSize(), QSize(640, 480));
        control.setFrameSize(QSize(100, 100));
        QCOMPARE(control.frameSize(), QSize(320, 240));
        QTRY_COMPARE_WITH_TIMEOUT(log.lastSize, QSize(320, 240), 5000);
        QCOMPARE(log.badHeaders, 0);
        QCOMPARE(log.wrongOrientation, 0);
    }

    void previewPictureIsTopDown() {
        CaptureControl control;
        QSignalSpy pictures(&control, &CaptureControl::pictureChanged);
        control.setFrameRate(10);
        QVERIFY(control.setDevice(0));
        int frames = 0;
        connect(&control, &CaptureControl::FrameCallback, this, [&frames] { ++frames; });
        QTRY_VERIFY_WITH_TIMEOUT(frames >= 3, 5000);
        QCOMPARE(pictures.count(), 0); // preview is off by default

        control.setPreview(true);
        QVERIFY(control.Preview());
        QTRY_VERIFY_WITH_TIMEOUT(pictures.count() >= 2, 5000);
        const auto picture = pictures.last().at(0).value<QImage>();
        QCOMPARE(picture.size(), QSize(640, 480));
        QCOMPARE(QColor(picture.pixel(30, 0)).red(), 255);
        QVERIFY(QColor(picture.pixel(30, 0)).blue() < 10);
        QVERIFY(QColor(picture.pixel(30, 479)).red() < 245);

        control.setPreview(false);
        const int seen = pictures.count();
        const int framesBefore = frames;
        QTRY_VERIFY_WITH_TIMEOUT(frames >= framesBefore + 3, 5000);
        QVERIFY(pictures.count() <= seen + 1); // at most one delivery already under way
    }

    void snapshotIsTheLatestFrame() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("snap.bmp"));
        CaptureControl control;
        QVERIFY(!control.SaveFrameAsDIB(path)); // no frame yet
        QVERIFY(!QFile::exists(path));

        control.setFrameSize(QSize(320, 240));
        QVERIFY(control.setDevice(0));
        std::vector<std::uint8_t> frame;
        bool saved = false;
        connect(&control, &CaptureControl::FrameCallback, this, [&](const VideoHeader* h) {
            if (saved)
                return;
            frame.assign(h->lpData, h->lpData + h->dwBytesUsed);
            saved = control.SaveFrameAsDIB(path);
        });
        QTRY_VERIFY_WITH_TIMEOUT(saved, 5000);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), 54 + int(frame.size()));
        QVERIFY(std::memcmp(bytes.constData() + 54, frame.data(), frame.size()) == 0);
        const QImage image(path);
        QCOMPARE(image.size(), QSize(320, 240));
        const std::uint8_t* px = frame.data() + 960 * (240 - 1 - 100) + 3 * 50; // row 100 from top
        QCOMPARE(image.pixel(50, 100), qRgb(px[2], px[1], px[0]));

        QVERIFY(!control.SaveFrameAsDIB(dir.filePath(QStringLiteral("no/such/dir.bmp"))));
    }

    void storedSettings() {
        CaptureControl control;
        for (int n = 1; n <= 9; ++n)
            control.setSetupOption(n, n * 11);
        for (int n = 1; n <= 9; ++n)
            QCOMPARE(control.SetupOption(n), n * 11);
        control.setSetupOption(0, 5);
        control.setSetupOption(10, 5);
        QCOMPARE(control.SetupOption(0), 0);
        QCOMPARE(control.SetupOption(10), 0);
        QCOMPARE(control.FrameRate(), 5);
        control.setFrameRate(0);
        QCOMPARE(control.FrameRate(), 5);
        control.setOverlay(true);
        QVERIFY(control.Overlay());
        control.setCaptureFile(QStringLiteral("/tmp/x.avi"));
        QCOMPARE(control.CaptureFile(), QStringLiteral("/tmp/x.avi"));
        QCOMPARE(control.frameSize(), QSize(640, 480));
    }
};

QTEST_GUILESS_MAIN(tst_CaptureControl)
#include "tst_capturecontrol.moc"
