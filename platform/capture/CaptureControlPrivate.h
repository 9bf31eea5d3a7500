#pragma once

// The private side of CaptureControl, shared by the files that implement
// it: CaptureControl.cpp (device choice and the live pipeline),
// CaptureControlFrames.cpp (frame delivery to the program),
// CaptureControlRecording.cpp (recording) and CaptureControlDriver.cpp
// (driver settings and picture controls).

#include "CaptureControl.h"

#include "AviRecorder.h"
#include "BusRelay.h"
#include "CameraList.h"
#include "FramePool.h"
#include "GstHandles.h"
#include "PreRecorder.h"
#include "SceneSource.h"
#include "SourceList.h"
#include "SourceProcess.h"

#include <gst/app/gstappsink.h>

#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace capturecontrol {

// A lost device is tried again this often; one whose attempts hang until the
// start timeout is tried less and less often, so the program stays usable.
constexpr int firstRetryMs = 3000;
constexpr int lastRetryMs = 60000;

// Handed from the appsink's streaming thread to the UI thread: only the
// newest sample is kept, so frames never queue up when the program is
// slow, and at most one delivery is posted at a time.
struct FrameSlot {
    CaptureControl* context = nullptr;
    std::mutex mutex;
    GstSamplePtr newest;
    bool posted = false;
    // While recording, frames go to the recorder straight from the
    // streaming thread so that a busy UI thread cannot make it skip any.
    std::shared_ptr<AviRecorder> recorder;
    // While armed with pre-record, every frame goes to the JPEG encoder of
    // the pre-recorder instead, which feeds a running recording itself.
    std::shared_ptr<PreRecorder> preRecorder;
    // The time of the last frame, for the watch on a source's helper.
    std::shared_ptr<std::atomic<std::int64_t>> heartbeat;
};

inline GstElementPtr byName(GstElement* bin, const char* name) {
    return GstElementPtr(gst_bin_get_by_name(GST_BIN(bin), name));
}

} // namespace capturecontrol

struct CaptureControl::Private {
    Private(CaptureControl* owner, const Options& options)
        : q(owner)
        , options(options) {}

    CaptureControl* q;
    const Options options;
    CameraList cameras;
    // The stored network cameras and videos, read once at start-up.
    QList<SourceList::Source> sources;
    int device = -1;
    QString lastError;
    int fps = 5;
    QSize requestedSize{640, 480};
    QSize size{640, 480};
    // A size was chosen; until then a source keeps its own.
    bool sizeChosen = false;
    bool captureAudio = false;
    QString captureFile;
    bool preview = false;
    bool overlay = false;
    std::array<int, 10> setupOptions{};
    QElapsedTimer opened;

    GstElementPtr pipeline;
    std::unique_ptr<BusRelay> bus;
    // A source's helper process, which decodes it and hands over the frames.
    std::unique_ptr<SourceProcess> decoder;
    std::shared_ptr<capturecontrol::FrameSlot> slot;
    std::shared_ptr<AviRecorder> recorder;
    int captureGeneration = 0;
    bool outOfSpace = false;
    std::int64_t capturedFrames = 0;
    // The latest frame in the program's layout (bottom-up rows, 4-byte
    // aligned), handed to the handlers, shared with the examination and
    // kept for SaveFrameAsDIB and the live picture.
    FramePool frames;
    FramePool::Frame bottomUp;
    QSize bottomUpSize;
    // Frames delivered, and the one the live picture was last made of.
    std::uint64_t delivered = 0;
    std::uint64_t pictureOf = 0;
    QImage picture;

    // The device lost while open, opened again once it is back.
    int lostDevice = -1;
    QTimer retry;
    int retryMs = capturecontrol::firstRetryMs;
    // A source opened again counts as back with its first frame: one that
    // still fails is tried later, and the program does not see it flap.
    bool backAtFirstFrame = false;
    // The test scene camera is pulled at most once per control.
    std::shared_ptr<SceneSource> sceneSource;
    bool sceneUnplugUsed = false;
    std::int64_t sceneBackAfterMs = -1;
    bool scenePresent = true;

    // Driver choices, kept in the driver's own section of the settings.
    SettingsStore* driverSettings = nullptr;
    QList<PictureControl> controls{{QStringLiteral("Brightness"), 50, 50},
                                   {QStringLiteral("Contrast"), 50, 50},
                                   {QStringLiteral("Hue"), 50, 50},
                                   {QStringLiteral("Saturation"), 50, 50}};
    VideoCodec codec = VideoCodec::Mjpeg;
    int quality = 85;
    int audioRate = 22050;
    int audioChannels = 1;
    int preRecordSeconds = 2;
    bool preRecordArmed = false;
    std::shared_ptr<PreRecorder> preRecorder;
    // Starts, restarts or drops the pre-recorder after a change of what it
    // depends on; a recording it feeds keeps it until it ends.
    void updatePreRecorder();
    void setSlotPreRecorder(std::shared_ptr<PreRecorder> pre);
    void applyPictureControls();
    void saveDriverSetting(const QString& key, int value);
    void applyFrameSize(QSize wanted);
    int storedDriverSetting(const QString& key, int fallback) const;

    int cameraCount() const { return std::min(cameras.count(), MaxDevices - 1); }
    int sourceCount() const {
        return std::min(int(sources.size()), MaxDevices - 1 - cameraCount());
    }
    int sceneIndex() const { return cameraCount() + sourceCount(); }
    bool isScene(int n) const { return n == sceneIndex(); }
    bool isSource(int n) const { return n >= cameraCount() && n < sceneIndex(); }
    const SourceList::Source& sourceOf(int n) const { return sources.at(n - cameraCount()); }
    // `text` without the selected source's password.
    QString scrubbed(const QString& text) const;
    bool available(int n) const;
    std::vector<QSize> sizesOf(int n) const;
    QSize fitSize(int n, QSize wanted) const;

    // Opening a device never waits: a source's helper reports its size, the
    // pipeline is built, and its start is polled until it plays, fails or
    // runs out of time. What the open was for decides what follows.
    enum class OpenFor { Select, Reopen, Restart };
    struct Opening {
        bool active = false;
        OpenFor purpose = OpenFor::Select;
        // A selection that fails leaves the device to be tried again.
        bool keepTrying = false;
        QElapsedTimer elapsed;
    };
    Opening opening;
    QTimer settle;
    void beginOpen(OpenFor purpose, bool keepTrying = false);
    void buildPipeline();
    void checkStarted();
    void finishOpen(const QString& error);
    void openSucceeded(const Opening& was);
    void openFailed(const Opening& was, int n, const QString& why);
    // The pipeline text for the open device; for a source, after its helper
    // has said the frames' size.
    QString launchDescription() const;
    bool startDecoder(QString* error);
    void stopPipeline();
    void restart();
    void endCapture(bool finish);
    void lose(const QString& text);
    // A source's pipeline failed: its helper's reason, when it follows
    // within a second, is the one to tell.
    QTimer helperReason;
    QString pipelineReason;
    void lost(const QString& text);
    // The last start failed because the source wants other credentials.
    bool refused = false;
    void askCredentials(int n);
    void reopen();
    void onCameraChanged(int index);

    void deliver(const std::shared_ptr<capturecontrol::FrameSlot>& from);
    void keepBottomUp(const std::uint8_t* topDown, int width, int height, std::size_t stride);
    // The latest frame as 32-bit pixels, top-down, at most `most` large.
    QImage convertPicture(QSize most) const;
    void onPipelineError(const QString& text);
    // The source refused us for lack of valid credentials.
    bool notAuthorized() const;
    void onRecorderError(int generation, const QString& text);
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer data);
};
