#include "CaptureControl.h"
#include "DibFile.h"
#include "SceneCamera.h"
#include "TestData.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
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

    // What every delivered frame was checked for.
    struct FrameLog {
        int frames = 0;
        int faults = 0; // bad header, upside down, or time going back
        std::uint32_t lastTime = 0;
        QSize lastSize;
        std::vector<std::uint8_t> lastBytes;

        // The scene paints a pure red band at the top of the picture; in the
        // bottom-up frame that is the last rows in memory.
        static bool isRed(const std::uint8_t* px) {
            return px[0] < 10 && px[1] < 10 && px[2] > 245;
        }
        void record(const VideoHeader* h) {
            ++frames;
            const std::size_t stride = DibFile::paddedStride(int(h->width));
            faults += h->lpData == nullptr || h->dwBytesUsed != stride * h->height ||
                      h->dwBufferLength < h->dwBytesUsed || h->dwTimeCaptured < lastTime ||
                      !isRed(h->lpData + stride * (h->height - 1) + 30) || isRed(h->lpData + 30);
            lastTime = h->dwTimeCaptured;
            lastSize = QSize(int(h->width), int(h->height));
            lastBytes.assign(h->lpData, h->lpData + h->dwBytesUsed);
        }
    };

private Q_SLOTS:
    void devicesAndFailedOpens() {
        {
            const CaptureControl monitored; // cameras first, without gaps, then the scene
            int scene = 0;
            while (scene < CaptureControl::MaxDevices &&
                   monitored.DeviceName(scene) != QStringLiteral("Sentorix test scene camera"))
                QVERIFY(!monitored.DeviceName(scene++).isEmpty());
            QVERIFY(monitored.DeviceName(scene + 1).isEmpty());
        }
        CaptureControl control(sceneCamera());
        control.setCaptureAudio(true);
        QVERIFY(!control.CaptureAudio()); // nothing to record sound from
        QVERIFY(!control.setDevice(4) && !control.lastError().isEmpty());
        QVERIFY2(control.setDevice(0), qPrintable(control.lastError()));
        QVERIFY(control.HasAudio() && control.HasFormatDialog() && control.HasSourceDialog() &&
                !control.HasOverlay());
        control.setCaptureAudio(true);
        QVERIFY(control.CaptureAudio());
        // A failed switch leaves nothing selected, not the old device.
        QVERIFY(!control.setDevice(1));
        QVERIFY(control.Device() == -1 && !control.CaptureAudio());
    }

    // One live session: frame rate, frame headers and row order, the
    // preview picture, a snapshot as a BMP file, and frame size changes.
    void liveFrames() {
        QTemporaryDir dir;
        const QString snapshot = dir.filePath(QStringLiteral("snap.bmp"));
        CaptureControl control(sceneCamera());
        QVERIFY(!control.SaveFrameAsDIB(snapshot)); // no frame yet
        FrameLog log;
        bool snap = false, saved = false;
        connect(&control, &CaptureControl::FrameCallback, this, [&](const VideoHeader* h) {
            log.record(h);
            saved = saved || (snap && control.SaveFrameAsDIB(snapshot));
        });
        QSignalSpy streamed(&control, &CaptureControl::StreamCallback);
        QSignalSpy pictures(&control, &CaptureControl::pictureChanged);
        control.setFrameRate(10);
        QVERIFY2(control.setDevice(0), qPrintable(control.lastError()));
        QTRY_VERIFY_WITH_TIMEOUT(log.frames > 0, 5000);

        const int before = log.frames;
        QElapsedTimer timer;
        timer.start();
        QTRY_VERIFY_WITH_TIMEOUT(log.frames >= before + 20, 5000);
        const double rate = (log.frames - before) * 1000.0 / double(timer.elapsed());
        QVERIFY2(rate > 7 && rate < 13, qPrintable(QString::number(rate)));
        QCOMPARE(log.lastSize, QSize(640, 480));
        QCOMPARE(streamed.count() + pictures.count(), 0); // not capturing, no preview

        control.setPreview(true);
        QTRY_VERIFY_WITH_TIMEOUT(pictures.count() >= 2, 5000);
        const auto picture = pictures.last().at(0).value<QImage>();
        QCOMPARE(picture.size(), QSize(640, 480));
        QVERIFY(qRed(picture.pixel(30, 0)) == 255 && qBlue(picture.pixel(30, 0)) < 10); // top down
        QVERIFY(qRed(picture.pixel(30, 479)) < 245);
        control.setPreview(false);
        const int seen = pictures.count();

        // The snapshot holds the frame just delivered, as a BMP file.
        snap = true;
        QTRY_VERIFY_WITH_TIMEOUT(saved, 5000);
        const QByteArray bytes = TestData::readFile(snapshot);
        QCOMPARE(bytes.size(), 54 + int(log.lastBytes.size()));
        QVERIFY(std::memcmp(bytes.constData() + 54, log.lastBytes.data(), bytes.size() - 54) == 0);
        QVERIFY(!control.SaveFrameAsDIB(dir.filePath(QStringLiteral("no/such/dir.bmp"))));
        QVERIFY(pictures.count() <= seen + 1); // at most one delivery already under way

        control.setFrameSize(QSize(1280, 720));
        QTRY_COMPARE_WITH_TIMEOUT(log.lastSize, QSize(1280, 720), 5000);
        // Sizes the scene does not offer are clamped to one it does.
        control.setFrameSize(QSize(100, 100));
        QCOMPARE(control.frameSize(), QSize(320, 240));
        QTRY_COMPARE_WITH_TIMEOUT(log.lastSize, QSize(320, 240), 5000);
        QCOMPARE(log.faults, 0);
    }

    // While the UI thread is busy the frames must not pile up: once it is
    // free again it sees the newest frame, then the normal pace. Busy here
    // means until the recording has grown by ten frames the handler missed.
    void slowHandlerGetsOnlyTheNewestFrame() {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("busy.avi"));
        const auto fileSize = [&file] { return QFileInfo(file).size(); };
        const qint64 frameBytes = 320 * 240 * 3;
        CaptureControl control(sceneCamera());
        control.setFrameRate(20);
        QVERIFY(control.setDevice(0));
        control.setFrameSize(QSize(320, 240));
        control.setVideoCodec(CaptureControl::VideoCodec::Uncompressed);
        control.setCaptureFile(file);
        int seen = 0, seenAtStall = 0;
        qint64 stalledUntil = 0, grown = 0;
        connect(&control, &CaptureControl::StreamCallback, this, [&](const VideoHeader*) {
            if (++seen != 3)
                return;
            stalledUntil = fileSize() + 10 * frameBytes;
            // Polls the file, bounded; the event loop must not run here.
            for (QDeadlineTimer bound(10000); fileSize() < stalledUntil && !bound.hasExpired();)
                QThread::msleep(2);
            grown = fileSize();
            seenAtStall = seen;
        });
        QVERIFY2(control.StartCapture(), qPrintable(control.lastError()));
        QTRY_VERIFY_WITH_TIMEOUT(grown > 0 && fileSize() >= grown + 2 * frameBytes, 15000);
        const int afterStall = seen - seenAtStall; // until two more frames were written
        control.StopCapture();
        QVERIFY2(grown >= stalledUntil, "the recording did not go on while the handler was busy");
        QVERIFY2(afterStall >= 1 && afterStall <= 5,
                 qPrintable(QStringLiteral("%1 frames after the stall").arg(afterStall)));
    }
};

QTEST_GUILESS_MAIN(tst_CaptureControl)
#include "tst_capturecontrol.moc"
