#pragma once

#include "FramePool.h"
#include "SourceList.h"
#include "TestScene.h"
#include "VideoHeader.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <QList>
#include <QSize>

#include <cstdint>
#include <memory>

class SettingsStore;

// The capture control: camera enumeration, the live picture, frame events
// and AVI recording. Everything behind it is GStreamer; only this file pair
// and its helpers in platform/capture/ include GStreamer headers.
//
// Devices 0.. are the cameras the device monitor finds, in a stable order,
// then the stored sources (network cameras, videos played in a loop), then
// the built-in test scene camera. All members are called on the
// thread that created the object; events arrive there as queued signals.
class CaptureControl final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptureControl)

public:
    // Which devices there are and what the test scene camera does; main()
    // reads them from the environment, tests set them.
    struct Options {
        bool listCameras = true;        // SENTORIX_NO_CAMERAS=1: the test scene only
        TestScene::Schedule scene;      // SENTORIX_SCENE="CALM:ACTIVE"
        TestScene::Unplug sceneUnplug;  // SENTORIX_SCENE_UNPLUG="AFTER:FOR" or
                                        // SENTORIX_SCENE_UNPLUG_AFTER=frames, never back
        bool scenePregenerated = false; // SENTORIX_SCENE_PREGENERATED=1, for measurements
        static Options fromEnvironment();
    };

    explicit CaptureControl(QObject* parent = nullptr);
    explicit CaptureControl(const Options& options, QObject* parent = nullptr);
    ~CaptureControl() override;

    static constexpr int MaxDevices = 10;

    // Codes passed with StatusCallback.
    enum StatusCode : int {
        StatusDeviceLost = 1,    // the live picture stopped (device error, unplugged)
        StatusCaptureFailed = 2, // the recording ended early (write error, disk full)
        StatusDeviceBack = 3,    // the lost device is open again, as it was
    };

    // Name / version of device n (0..9); empty when there is no device n.
    QString DeviceName(int n) const;
    QString DeviceVersion(int n) const;

    int Device() const;
    // Starts opening device n and its live picture, and returns at once;
    // deviceOpened tells the outcome, and on failure lastError() says why
    // and no device is selected. With `keepTrying`, a device that cannot be
    // opened now is tried again as a lost one is. A device lost while open
    // (StatusDeviceLost) is opened again with its format and picture
    // controls as soon as it is back (StatusDeviceBack), until another
    // device is selected.
    void openDevice(int n, bool keepTrying = false);
    // openDevice and a wait for its outcome, for tools and tests.
    bool setDevice(int n);
    bool isOpening() const;
    QString lastError() const;

    bool HasSourceDialog() const;
    bool HasFormatDialog() const;
    bool HasAudio() const;
    bool HasOverlay() const;

    bool CaptureAudio() const;
    void setCaptureAudio(bool on);

    int FrameRate() const;
    // Ignored while a capture runs.
    void setFrameRate(int framesPerSecond);

    // Frame size the device delivers; ignored while a capture runs.
    QSize frameSize() const;
    void setFrameSize(QSize size);

    QString CaptureFile() const;
    void setCaptureFile(const QString& path);

    // Begin / end recording to CaptureFile. StopCapture returns when the AVI
    // file is complete (index and headers written). StartCapture returns
    // false when the file cannot be opened.
    bool StartCapture();
    void StopCapture();
    bool IsCapturing() const;
    // The last capture could not start, or ended early, for lack of space
    // on the volume of its file (or the file-size limit).
    bool outOfSpace() const;
    // Frames the last capture left in its file; a capture that failed
    // without one leaves no file.
    std::int64_t capturedFrames() const;

    // What the driver dialogs change. Picture controls run from 0 to 100
    // and act on the live picture at once.
    struct PictureControl {
        QString name; // "Brightness", "Contrast", "Hue", "Saturation"
        int value = 50;
        int defaultValue = 50;
    };
    QList<PictureControl> pictureControls() const;
    void setPictureControl(const QString& name, int value);
    // Frame sizes the selected device offers.
    QList<QSize> frameSizes() const;
    enum class VideoCodec { Mjpeg = 1, Uncompressed = 2 };
    VideoCodec videoCodec() const;
    void setVideoCodec(VideoCodec codec);
    int videoQuality() const; // JPEG quality 1..100
    void setVideoQuality(int quality);
    int audioRate() const;
    int audioChannels() const;
    void setAudioFormat(int samplesPerSecond, int channels);
    // Seconds of Motion JPEG frames kept while armed and written at the
    // start of every recording, 0..10 (0: none).
    int preRecordSeconds() const;
    void setPreRecordSeconds(int seconds);
    // The frames are kept only while surveillance is armed.
    void setPreRecordArmed(bool on);
    // Memory the kept frames occupy now.
    std::int64_t preRecordBytes() const;
    static QList<int> audioRates();
    // Where the driver keeps these choices across runs; the stored choices
    // are applied at once. The store must outlive the control.
    void setDriverSettings(SettingsStore* store);
    // The sources in the settings: read with the driver settings and listed
    // from then on; stored ones are listed from the next start.
    QList<SourceList::Source> storedSources() const;
    bool storeSources(const QList<SourceList::Source>& sources);
    // Puts the user and password into source n's address, for now and in
    // the settings; false when n is no source or they cannot be stored.
    bool storeCredentials(int n, const QString& user, const QString& password);

    // The bytes of the frame a FrameCallback or StreamCallback header
    // points to, shared instead of copied, so they stay valid after the
    // signal; null for any other header. Read-only.
    FramePool::Frame sharedFrame(const VideoHeader* header) const;
    // The latest frame as a top-down picture, made on the first call after
    // each frame: only a picture that is drawn costs the conversion. With
    // a valid `most`, a larger frame is sampled down to that size, as
    // painting it there would.
    QImage picture(QSize most = QSize()) const;

    // Writes the latest frame as a BMP file; false when there is no frame
    // yet or the file cannot be written.
    bool SaveFrameAsDIB(const QString& path) const;

    void setPreview(bool on);
    bool Preview() const;
    void setOverlay(bool on);
    bool Overlay() const;

    // Start-up values of the control, n = 1..9; kept, not interpreted.
    void setSetupOption(int n, int value);
    int SetupOption(int n) const;

Q_SIGNALS:
    // A frame while not capturing / a frame written during a capture. The
    // header and its bytes are valid only during the signal's delivery.
    void FrameCallback(const VideoHeader* header);
    void StreamCallback(const VideoHeader* header);
    void StatusCallback(int code, const QString& text);
    // The open that openDevice began has ended.
    void deviceOpened(int n, bool ok);
    // Source n refused us for lack of a user and password, or (`refused`)
    // refused the ones in its address. It is not tried again by itself.
    void credentialsNeeded(int n, bool refused);
    // A new live picture can be had from picture(); only while Preview is
    // on.
    void pictureChanged();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
