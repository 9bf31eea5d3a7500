// The capture driver's dialogs, driven as a user would, on the test scene.
#include "AviProbe.h"
#include "CaptureControl.h"
#include "CaptureDialogs.h"
#include "ModalDialog.h"
#include "SettingsStore.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// Mean of all bytes of the latest frame.
struct Brightness {
    double mean = -1.0;
    void take(const VideoHeader* h) {
        double sum = 0;
        for (std::uint32_t i = 0; i < h->dwBytesUsed; i += 7)
            sum += h->lpData[i];
        mean = sum / (h->dwBytesUsed / 7.0);
    }
};

} // namespace

class tst_CaptureDialogs final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString storePath() const { return m_dir.filePath(QStringLiteral("Sentorix.conf")); }

private Q_SLOTS:
    void initTestCase() { qputenv("SENTORIX_NO_CAMERAS", "1"); }
    void cleanup() { QFile::remove(storePath()); }

    void sourceDialogChangesThePictureLive() {
        SettingsStore store(storePath());
        CaptureControl capture;
        capture.setDriverSettings(&store);
        QVERIFY(capture.setDevice(0));
        Brightness now;
        connect(&capture, &CaptureControl::FrameCallback, this,
                [&now](const VideoHeader* h) { now.take(h); });
        QTRY_VERIFY_WITH_TIMEOUT(now.mean >= 0, 5000);
        const double neutral = now.mean;

        double whileOpen = -1;
        ModalDialog::whenOpen(
            [&](QDialog* d) {
                auto* slider = d->findChild<QSlider*>(QStringLiteral("Brightness"));
                QVERIFY(slider);
                slider->setValue(90);
                // Frames already on their way left the source before the change.
                QTest::qWait(1200);
                now.mean = -1;
                QTRY_VERIFY_WITH_TIMEOUT(now.mean >= 0, 5000);
                whileOpen = now.mean;
            },
            true);
        CaptureDialogs::ShowSourceDialog(capture, nullptr);
        QVERIFY2(whileOpen > neutral + 30,
                 qPrintable(QStringLiteral("%1 vs %2").arg(whileOpen).arg(neutral)));
        QCOMPARE(capture.pictureControls().at(0).value, 90);

        // Cancel puts back what the dialog opened with.
        ModalDialog::whenOpen(
            [](QDialog* d) { d->findChild<QSlider*>(QStringLiteral("Brightness"))->setValue(10); },
            false);
        CaptureDialogs::ShowSourceDialog(capture, nullptr);
        QCOMPARE(capture.pictureControls().at(0).value, 90);

        // The driver keeps the choice for the next run.
        CaptureControl next;
        next.setDriverSettings(&store);
        QCOMPARE(next.pictureControls().at(0).value, 90);
    }

    void formatDialogChangesTheFrameSize() {
        SettingsStore store(storePath());
        CaptureControl capture;
        capture.setDriverSettings(&store);
        QVERIFY(capture.setDevice(0));
        QVERIFY(capture.frameSizes().size() >= 2);
        QSize delivered;
        connect(&capture, &CaptureControl::FrameCallback, this, [&delivered](const VideoHeader* h) {
            delivered = QSize(int(h->width), int(h->height));
        });
        QTRY_COMPARE_WITH_TIMEOUT(delivered, QSize(640, 480), 5000);

        ModalDialog::whenOpen(
            [](QDialog* d) {
                auto* sizes = d->findChild<QComboBox*>(QStringLiteral("FrameSize"));
                QCOMPARE(sizes->currentData().toSize(), QSize(640, 480));
                sizes->setCurrentIndex(sizes->findData(QSize(320, 240)));
            },
            true);
        CaptureDialogs::ShowFormatDialog(capture, nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(delivered, QSize(320, 240), 5000);

        CaptureControl next;
        next.setDriverSettings(&store);
        QVERIFY(next.setDevice(0));
        QCOMPARE(next.frameSize(), QSize(320, 240));
    }

    void compressionAndAudioFormatReachTheFile() {
        SettingsStore store(storePath());
        CaptureControl capture;
        capture.setDriverSettings(&store);
        QVERIFY(capture.setDevice(0));
        capture.setFrameSize(QSize(320, 240));
        ModalDialog::whenOpen(
            [](QDialog* d) {
                auto* codec = d->findChild<QComboBox*>(QStringLiteral("Codec"));
                codec->setCurrentIndex(
                    codec->findData(int(CaptureControl::VideoCodec::Uncompressed)));
                QVERIFY(!d->findChild<QSpinBox*>(QStringLiteral("Quality"))->isEnabled());
            },
            true);
        CaptureDialogs::ShowCompressionDialog(capture, nullptr);
        ModalDialog::whenOpen(
            [](QDialog* d) {
                auto* rate = d->findChild<QComboBox*>(QStringLiteral("Rate"));
                rate->setCurrentIndex(rate->findData(44100));
                auto* channels = d->findChild<QComboBox*>(QStringLiteral("Channels"));
                channels->setCurrentIndex(channels->findData(2));
            },
            true);
        CaptureDialogs::ShowAudioFormatDialog(capture, nullptr);

        capture.setCaptureAudio(true);
        const QString path = m_dir.filePath(QStringLiteral("dialogs.avi"));
        capture.setCaptureFile(path);
        QVERIFY(capture.StartCapture());
        QTest::qWait(1500);
        capture.StopCapture();
        const QList<AviProbe::Stream> streams = AviProbe::probe(path);
        QCOMPARE(streams.size(), 2);
        QCOMPARE(streams[0].codec, QStringLiteral("rawvideo"));
        QCOMPARE(streams[0].width, 320);
        QCOMPARE(streams[1].sampleRate, 44100);
        QCOMPARE(streams[1].channels, 2);

        CaptureControl next;
        next.setDriverSettings(&store);
        QCOMPARE(next.videoCodec(), CaptureControl::VideoCodec::Uncompressed);
        QCOMPARE(next.audioRate(), 44100);
        QCOMPARE(next.audioChannels(), 2);
    }
};

QTEST_MAIN(tst_CaptureDialogs)
#include "tst_capturedialogs.moc"
