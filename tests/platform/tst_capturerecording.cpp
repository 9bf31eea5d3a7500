#include "AviProbe.h"
#include "CaptureControl.h"
#include "CaptureDialogs.h"
#include "ModalDialog.h"
#include "SceneCamera.h"
#include "SettingsStore.h"

#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

// Recording AVI files from the test scene, read back with ffprobe; the
// driver's dialogs choose what is recorded.
class tst_CaptureRecording final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static QStringList summary(const QList<AviProbe::Stream>& streams) {
        QStringList lines;
        for (const AviProbe::Stream& s : streams)
            lines << (s.sampleRate > 0
                          ? QStringLiteral("%1 %2 Hz %3 ch").arg(s.codec).arg(s.sampleRate)
                          : QStringLiteral("%1 %2x%3").arg(s.codec).arg(s.width))
                         .arg(s.sampleRate > 0 ? s.channels : s.height);
        return lines;
    }

    // Opens a driver dialog, picks an entry in each of the named lists and
    // accepts it.
    static void choose(void (*show)(CaptureControl&, QWidget*), CaptureControl& capture,
                       const QList<std::pair<QString, QVariant>>& picks) {
        ModalDialog::whenOpen([picks](QDialog* d) {
            for (const auto& [name, value] : picks) {
                auto* list = d->findChild<QComboBox*>(name);
                QVERIFY(list && list->findData(value) >= 0);
                list->setCurrentIndex(list->findData(value));
            }
        });
        show(capture, nullptr);
    }

private Q_SLOTS:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
            QFAIL("ffprobe is needed to read the recordings back");
    }

    // Each dialog changes the live picture or the recording at once, the
    // recording holds what they chose, and the driver keeps every choice
    // for the next run.
    void dialogsChooseWhatIsRecorded() {
        SettingsStore store(m_dir.filePath(QStringLiteral("Sentorix.conf")));
        CaptureControl capture(sceneCamera());
        capture.setDriverSettings(&store);
        capture.setFrameRate(10);
        QVERIFY(capture.setDevice(0));
        double brightness = -1; // mean of the latest frame's bytes
        QSize delivered;
        connect(&capture, &CaptureControl::FrameCallback, this, [&](const VideoHeader* h) {
            double sum = 0;
            for (std::uint32_t i = 0; i < h->dwBytesUsed; i += 7)
                sum += h->lpData[i];
            brightness = sum / (h->dwBytesUsed / 7.0);
            delivered = QSize(int(h->width), int(h->height));
        });
        QSignalSpy frames(&capture, &CaptureControl::FrameCallback);
        QSignalSpy streamed(&capture, &CaptureControl::StreamCallback);
        QSignalSpy status(&capture, &CaptureControl::StatusCallback);
        QTRY_COMPARE_WITH_TIMEOUT(delivered, QSize(640, 480), 5000);
        const double neutral = brightness;

        ModalDialog::whenOpen([&](QDialog* d) {
            d->findChild<QSlider*>(QStringLiteral("Brightness"))->setValue(90);
            QTRY_VERIFY_WITH_TIMEOUT(brightness > neutral + 30, 5000); // while still open
        });
        CaptureDialogs::ShowSourceDialog(capture, nullptr);
        QVERIFY2(brightness > neutral + 30, qPrintable(QString::number(brightness)));
        // Cancel puts back what the dialog opened with.
        ModalDialog::whenOpen(
            [](QDialog* d) { d->findChild<QSlider*>(QStringLiteral("Brightness"))->setValue(10); },
            false);
        CaptureDialogs::ShowSourceDialog(capture, nullptr);
        QCOMPARE(capture.pictureControls().at(0).value, 90);

        choose(CaptureDialogs::ShowFormatDialog, capture, {{"FrameSize", QSize(320, 240)}});
        QTRY_COMPARE_WITH_TIMEOUT(delivered, QSize(320, 240), 5000);
        choose(CaptureDialogs::ShowCompressionDialog, capture,
               {{"Codec", int(CaptureControl::VideoCodec::Uncompressed)}});
        choose(CaptureDialogs::ShowAudioFormatDialog, capture, {{"Rate", 44100}, {"Channels", 2}});

        capture.setCaptureAudio(true);
        const QString path = m_dir.filePath(QStringLiteral("dialogs.avi"));
        capture.setCaptureFile(path);
        QElapsedTimer timer;
        timer.start();
        QVERIFY2(capture.StartCapture(), qPrintable(capture.lastError()));
        // Format changes are refused while recording.
        capture.setFrameRate(11);
        capture.setFrameSize(QSize(1280, 720));
        QCOMPARE(capture.FrameRate() * 10000 + capture.frameSize().width(), 10 * 10000 + 320);
        QTRY_VERIFY_WITH_TIMEOUT(streamed.count() >= 25, 10000);
        const int framesDuring = frames.count();
        capture.StopCapture();
        const double seconds = timer.elapsed() / 1000.0;
        QVERIFY(!capture.IsCapturing());
        QTRY_VERIFY_WITH_TIMEOUT(frames.count() > framesDuring, 5000); // live again after stop
        QCOMPARE(status.count(), 0);

        const QList<AviProbe::Stream> streams = AviProbe::probe(path);
        QCOMPARE(summary(streams), QStringList({"rawvideo 320x240", "pcm_s16le 44100 Hz 2 ch"}));
        const AviProbe::Stream& video = streams.at(0);
        // Within one frame per second of the recorded time (plus the
        // frames in flight at start and stop).
        QVERIFY(std::abs(video.frames - seconds * 10) <= seconds + 2);
        QVERIFY(std::abs(video.duration * 10 - video.frames) <= 1.0);
        QVERIFY(std::abs(streams.at(1).duration - video.duration) < 1.0);

        CaptureControl next(sceneCamera());
        next.setDriverSettings(&store);
        QVERIFY(next.setDevice(0));
        QCOMPARE(QVariantList({next.pictureControls().at(0).value, next.frameSize(),
                               int(next.videoCodec()), next.audioRate(), next.audioChannels()}),
                 QVariantList({90, QSize(320, 240), int(CaptureControl::VideoCodec::Uncompressed),
                               44100, 2}));
    }

    // Armed, a recording begins with the frames of the seconds before its
    // start: one after another at a steady rate, none twice. Without
    // pre-record it holds only what came after.
    void preRecordOpensTheFile_data() {
        QTest::addColumn<int>("seconds");
        QTest::newRow("2 s") << 2;
        QTest::newRow("none") << 0;
    }
    void preRecordOpensTheFile() {
        QFETCH(int, seconds);
        SettingsStore store(m_dir.filePath(QStringLiteral("pre.conf")));
        CaptureControl capture(sceneCamera());
        capture.setDriverSettings(&store);
        capture.setFrameRate(10);
        QVERIFY(capture.setDevice(0));
        ModalDialog::whenOpen([seconds](QDialog* d) {
            d->findChild<QSpinBox*>(QStringLiteral("PreRecordSeconds"))->setValue(seconds);
        });
        CaptureDialogs::ShowCompressionDialog(capture, nullptr);
        QCOMPARE(store.read("CAPTURE", "PreRecordSeconds", ""), QString::number(seconds));
        QSignalSpy frames(&capture, &CaptureControl::FrameCallback);
        capture.setPreRecordArmed(true);
        QTRY_VERIFY_WITH_TIMEOUT(frames.count() >= seconds * 10 + 5, 10000);
        // Kept JPEG frames of this noisy scene are below a quarter of a raw frame.
        QVERIFY(seconds == 0 ? capture.preRecordBytes() == 0
                             : capture.preRecordBytes() > 0 &&
                                   capture.preRecordBytes() < seconds * 10 * 640 * 480 * 3 / 4);
        const QString path = m_dir.filePath(QStringLiteral("pre%1.avi").arg(seconds));
        capture.setCaptureFile(path);
        QElapsedTimer timer;
        timer.start();
        QVERIFY2(capture.StartCapture(), qPrintable(capture.lastError()));
        QSignalSpy streamed(&capture, &CaptureControl::StreamCallback);
        QTRY_VERIFY_WITH_TIMEOUT(streamed.count() >= 20, 10000);
        capture.StopCapture();
        const double live = timer.elapsed() / 1000.0;

        const QList<AviProbe::Stream> streams = AviProbe::probe(path);
        QCOMPARE(summary(streams), QStringList{"mjpeg 640x480"});
        const int extra = streams.at(0).frames - int(std::lround(live * 10));
        QVERIFY2(std::abs(extra - seconds * 10) <= live + 2, qPrintable(QString::number(extra)));
        const QStringList packets = AviProbe::packets(path);
        QCOMPARE(packets.size(), streams.at(0).frames);
        for (qsizetype i = 0; i < packets.size(); ++i) {
            QCOMPARE(packets.at(i).section(u' ', 0, 0).toInt(), i);
            QVERIFY(i == 0 || packets.at(i).section(u' ', 1) != packets.at(i - 1).section(u' ', 1));
        }
    }

    // Files that cannot be made are refused, and the control records fine
    // afterwards, with the default format. (A full disk and an unplugged
    // camera during a recording are the recorder's tests.)
    void failedCaptures() {
        CaptureControl control(sceneCamera());
        control.setCaptureFile(m_dir.filePath(QStringLiteral("early.avi")));
        QVERIFY(!control.StartCapture()); // no device open
        QVERIFY(control.setDevice(0));
        for (const QString& bad : {QString(), m_dir.filePath(QStringLiteral("no/such/dir/x.avi")),
                                   QStringLiteral("/proc/sentorix-cannot-create.avi")}) {
            control.setCaptureFile(bad);
            QVERIFY(!control.StartCapture() && !control.IsCapturing());
            QVERIFY(!control.lastError().isEmpty());
        }
        const QString good = m_dir.filePath(QStringLiteral("after-failure.avi"));
        control.setCaptureFile(good);
        QVERIFY2(control.StartCapture(), qPrintable(control.lastError()));
        QSignalSpy streamed(&control, &CaptureControl::StreamCallback);
        QTRY_VERIFY_WITH_TIMEOUT(streamed.count() >= 2, 5000);
        control.StopCapture();
        const auto streams = AviProbe::probe(good);
        QCOMPARE(summary(streams), QStringList{"mjpeg 640x480"});
        QVERIFY(streams.at(0).frames >= 2 && control.capturedFrames() > 0);
        QVERIFY(std::abs(streams.at(0).duration * 5 - streams.at(0).frames) <= 1.0);
    }
};

QTEST_MAIN(tst_CaptureRecording)
#include "tst_capturerecording.moc"
