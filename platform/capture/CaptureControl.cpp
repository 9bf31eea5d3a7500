#include "CaptureControl.h"

#include "AviRecorder.h"
#include "BusRelay.h"
#include "CameraList.h"
#include "DibFile.h"
#include "GstHandles.h"
#include "SceneSource.h"
#include "SettingsStore.h"
#include "TestScene.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/video/video.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace {

const QString sceneCameraName = QStringLiteral("Sentorix test scene camera");
const std::vector<QSize> sceneSizes = {{320, 240}, {640, 480}, {1280, 720}};
constexpr int maxFrameRate = 60;
constexpr GstClockTime startTimeout = 5 * GST_SECOND;
// A lost device is tried again this often; one whose attempts hang until the
// start timeout is tried less and less often, so the program stays usable.
constexpr int firstRetryMs = 3000;
constexpr int lastRetryMs = 60000;

// Classic frame header flags: the buffer is filled and holds a key frame.
constexpr std::uint32_t frameDone = 0x1;
constexpr std::uint32_t frameKey = 0x8;

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
};

GstElementPtr byName(GstElement* bin, const char* name) {
    return GstElementPtr(gst_bin_get_by_name(GST_BIN(bin), name));
}

} // namespace

struct CaptureControl::Private {
    explicit Private(CaptureControl* owner)
        : q(owner) {}

    CaptureControl* q;
    CameraList cameras;
    int device = -1;
    QString lastError;
    int fps = 5;
    QSize requestedSize{640, 480};
    QSize size{640, 480};
    bool captureAudio = false;
    QString captureFile;
    bool preview = false;
    bool overlay = false;
    std::array<int, 10> setupOptions{};
    QElapsedTimer opened;

    GstElementPtr pipeline;
    std::unique_ptr<BusRelay> bus;
    std::shared_ptr<FrameSlot> slot;
    std::shared_ptr<AviRecorder> recorder;
    int captureGeneration = 0;
    bool outOfSpace = false;
    std::int64_t capturedFrames = 0;
    GstSamplePtr latest; // for SaveFrameAsDIB
    std::vector<std::uint8_t> repacked;

    // The device lost while open, opened again once it is back.
    int lostDevice = -1;
    QTimer retry;
    int retryMs = firstRetryMs;
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
    void applyPictureControls();
    void saveDriverSetting(const QString& key, int value);
    void applyFrameSize(QSize wanted);
    int storedDriverSetting(const QString& key, int fallback) const;

    int cameraCount() const { return std::min(cameras.count(), MaxDevices - 1); }
    bool isScene(int n) const { return n == cameraCount(); }
    bool available(int n) const;
    std::vector<QSize> sizesOf(int n) const;
    QSize fitSize(int n, QSize wanted) const;

    bool startPipeline(QString* error);
    void stopPipeline();
    bool restart();
    void endCapture(bool finish);
    void lose(const QString& text);
    void reopen();
    void onCameraChanged(int index);

    void deliver(const std::shared_ptr<FrameSlot>& from);
    void onPipelineError(const QString& text);
    void onRecorderError(int generation, const QString& text);
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer data);
};

std::vector<QSize> CaptureControl::Private::sizesOf(int n) const {
    if (isScene(n))
        return sceneSizes;
    if (n >= 0 && n < cameraCount())
        return cameras.at(n).sizes;
    return {};
}

// The requested size when the device offers it, otherwise the largest
// offered size that fits inside it, otherwise the smallest offered one.
QSize CaptureControl::Private::fitSize(int n, QSize wanted) const {
    const std::vector<QSize> sizes = sizesOf(n);
    if (sizes.empty())
        return wanted.boundedTo(QSize(1920, 1080)).expandedTo(QSize(16, 16));
    std::optional<QSize> best;
    for (const QSize& s : sizes) {
        if (s == wanted)
            return s;
        if (s.width() <= wanted.width() && s.height() <= wanted.height() &&
            (!best || s.width() * s.height() > best->width() * best->height()))
            best = s;
    }
    if (best)
        return *best;
    return *std::min_element(sizes.begin(), sizes.end(), [](QSize a, QSize b) {
        return a.width() * a.height() < b.width() * b.height();
    });
}

namespace {
const QString driverSection = QStringLiteral("CAPTURE");

// videobalance property and its range for each picture control.
struct BalanceProperty {
    const char* property;
    double minimum;
    double maximum;
};
BalanceProperty balancePropertyOf(const QString& name) {
    if (name == QLatin1String("Brightness"))
        return {"brightness", -1.0, 1.0};
    if (name == QLatin1String("Hue"))
        return {"hue", -1.0, 1.0};
    if (name == QLatin1String("Saturation"))
        return {"saturation", 0.0, 2.0};
    return {"contrast", 0.0, 2.0};
}
} // namespace

void CaptureControl::Private::applyPictureControls() {
    if (!pipeline)
        return;
    GstElementPtr balance = byName(pipeline.get(), "balance");
    if (!balance)
        return;
    for (const PictureControl& c : controls) {
        const BalanceProperty p = balancePropertyOf(c.name);
        // 50 is the neutral middle of every control.
        const double value = p.minimum + (p.maximum - p.minimum) * c.value / 100.0;
        g_object_set(balance.get(), p.property, value, nullptr);
    }
}

void CaptureControl::Private::saveDriverSetting(const QString& key, int value) {
    if (driverSettings)
        driverSettings->write(driverSection, key, QString::number(value));
}

int CaptureControl::Private::storedDriverSetting(const QString& key, int fallback) const {
    if (!driverSettings)
        return fallback;
    bool ok = false;
    const int value = driverSettings->read(driverSection, key, QString()).trimmed().toInt(&ok);
    return ok ? value : fallback;
}

bool CaptureControl::Private::startPipeline(QString* error) {
    const bool scene = isScene(device);
    // Knobs for measurements and tests of the test scene camera.
    const bool pregenerated = qEnvironmentVariableIntValue("SENTORIX_SCENE_PREGENERATED") == 1;
    const SceneSource::Unplug unplug =
        sceneUnplugUsed ? SceneSource::Unplug{} : SceneSource::unplugFromEnvironment();
    const qint64 frameBytes = qint64(DibFile::paddedStride(size.width())) * size.height();

    // Whatever the source delivers ends as bottom-up BGR at our size and
    // rate, in the frame layout of the program.
    const QString tail =
        QStringLiteral("videoconvert ! videoscale ! videorate "
                       "! video/x-raw,format=BGR,width=%1,height=%2,framerate=%3/1,"
                       "pixel-aspect-ratio=1/1 "
                       "! videobalance name=balance ! videoflip video-direction=vert "
                       "! appsink name=sink max-buffers=1 drop=true sync=true")
            .arg(size.width())
            .arg(size.height())
            .arg(fps);
    // A short queue decouples the source from conversion and delivery. A
    // camera runs at its own pace, so a slow consumer makes it lose the
    // oldest frame; the scene is paced by the sink's clock through the
    // queue's back-pressure, so there it must not leak.
    const QString description =
        scene ? QStringLiteral("appsrc name=src is-live=true format=time max-bytes=%1 "
                               "! queue max-size-buffers=2 max-size-time=0 max-size-bytes=0 ! ")
                        .arg(frameBytes * 2) +
                    tail
              : QStringLiteral("decodebin name=dec ! queue max-size-buffers=2 max-size-time=0 "
                               "max-size-bytes=0 leaky=downstream ! ") +
                    tail;

    auto fail = [&](const QString& text) {
        *error = text;
        stopPipeline();
        return false;
    };
    GError* rawError = nullptr;
    pipeline = adoptFloating(gst_parse_launch(description.toUtf8().constData(), &rawError));
    GErrorPtr parseError(rawError);
    if (!pipeline)
        return fail(QString::fromUtf8(parseError ? parseError->message : "cannot build pipeline"));

    if (scene) {
        auto source = std::make_shared<SceneSource>(size.width(), size.height(), fps,
                                                    TestScene::scheduleFromEnvironment(),
                                                    pregenerated, unplug);
        sceneSource = source;
        sceneBackAfterMs = unplug.backAfterMs;
        GstElementPtr appsrc = byName(pipeline.get(), "src");
        gst_app_src_set_caps(GST_APP_SRC(appsrc.get()), source->caps().get());
        SceneSource::attach(source, GST_APP_SRC(appsrc.get()));
    } else {
        GstElementPtr source = cameras.createSource(device);
        GstElementPtr decoder = byName(pipeline.get(), "dec");
        if (!source || !gst_bin_add(GST_BIN(pipeline.get()), source.get()) ||
            !gst_element_link(source.get(), decoder.get()))
            return fail(QStringLiteral("cannot open camera %1").arg(cameras.at(device).name));
    }

    slot = std::make_shared<FrameSlot>();
    slot->context = q;
    GstElementPtr sink = byName(pipeline.get(), "sink");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &Private::onNewSample;
    gst_app_sink_set_callbacks(
        GST_APP_SINK(sink.get()), &callbacks, new std::shared_ptr<FrameSlot>(slot),
        [](gpointer data) { delete static_cast<std::shared_ptr<FrameSlot>*>(data); });

    bus = std::make_unique<BusRelay>(
        pipeline.get(), q, [this](const QString& text) { onPipelineError(text); }, true);
    GstStateChangeReturn result = gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    if (result != GST_STATE_CHANGE_FAILURE)
        result = gst_element_get_state(pipeline.get(), nullptr, nullptr, startTimeout);
    if (result == GST_STATE_CHANGE_FAILURE || result == GST_STATE_CHANGE_ASYNC || bus->failed()) {
        const QString why =
            bus->failed() ? bus->firstError() : QStringLiteral("the device did not start");
        return fail(why);
    }
    applyPictureControls();
    return true;
}

void CaptureControl::Private::stopPipeline() {
    if (pipeline)
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    // Deliveries still queued for this pipeline see a different slot and
    // are ignored.
    slot.reset();
    bus.reset();
    pipeline.reset();
    sceneSource.reset();
}

bool CaptureControl::Private::available(int n) const {
    if (isScene(n))
        return scenePresent;
    return n >= 0 && n < cameraCount() && cameras.at(n).present;
}

void CaptureControl::Private::lose(const QString& text) {
    lostDevice = device;
    device = -1;
    lastError = text;
    retryMs = firstRetryMs;
    retry.start(retryMs);
    Q_EMIT q->StatusCallback(StatusDeviceLost, text);
}

// Opens the lost device again with the format and picture controls it had.
void CaptureControl::Private::reopen() {
    if (lostDevice < 0 || device >= 0)
        return;
    QElapsedTimer attempt;
    attempt.start();
    if (available(lostDevice)) {
        device = lostDevice;
        size = fitSize(device, requestedSize);
        QString error;
        if (startPipeline(&error)) {
            lostDevice = -1;
            retry.stop();
            lastError.clear();
            Q_EMIT q->StatusCallback(StatusDeviceBack, QStringLiteral("the camera is back"));
            return;
        }
        device = -1;
        lastError = error;
    }
    retryMs = attempt.elapsed() < 1000 ? firstRetryMs : std::min(retryMs * 2, lastRetryMs);
    retry.start(retryMs);
}

void CaptureControl::Private::onCameraChanged(int index) {
    if (index == lostDevice && available(index))
        reopen();
}

// Rebuilds the live pipeline after a format change.
bool CaptureControl::Private::restart() {
    if (device < 0)
        return true;
    stopPipeline();
    QString error;
    if (startPipeline(&error))
        return true;
    lose(error);
    return false;
}

void CaptureControl::Private::endCapture(bool finish) {
    if (!recorder)
        return;
    if (slot) {
        std::lock_guard lock(slot->mutex);
        slot->recorder.reset();
    }
    const std::shared_ptr<AviRecorder> ending = std::move(recorder);
    recorder.reset();
    ++captureGeneration;
    if (finish) {
        if (!ending->stop())
            lastError = QStringLiteral("the recording did not finish in time");
    } else {
        ending->abort();
    }
    capturedFrames = ending->framesInFile();
}

GstFlowReturn CaptureControl::Private::onNewSample(GstAppSink* sink, gpointer data) {
    const std::shared_ptr<FrameSlot>& slot = *static_cast<std::shared_ptr<FrameSlot>*>(data);
    GstSamplePtr sample(gst_app_sink_pull_sample(sink));
    if (!sample)
        return GST_FLOW_OK;
    std::shared_ptr<AviRecorder> recorder;
    bool post = false;
    {
        std::lock_guard lock(slot->mutex);
        recorder = slot->recorder;
        if (recorder)
            recorder->push(gst_sample_get_buffer(sample.get()));
        slot->newest = std::move(sample); // replaces one the UI has not taken yet
        post = !slot->posted;
        slot->posted = true;
    }
    if (post) {
        CaptureControl* q = slot->context;
        QMetaObject::invokeMethod(
            q, [q, weak = std::weak_ptr<FrameSlot>(slot)] { q->d->deliver(weak.lock()); },
            Qt::QueuedConnection);
    }
    return GST_FLOW_OK;
}

void CaptureControl::Private::deliver(const std::shared_ptr<FrameSlot>& from) {
    if (!from || from != slot)
        return;
    GstSamplePtr sample;
    {
        std::lock_guard lock(from->mutex);
        sample = std::move(from->newest);
        from->posted = false;
    }
    if (!sample)
        return;
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample.get());
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    if (caps == nullptr || buffer == nullptr || !gst_video_info_from_caps(&info, caps))
        return;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ))
        return;
    const int width = GST_VIDEO_FRAME_WIDTH(&frame);
    const int height = GST_VIDEO_FRAME_HEIGHT(&frame);
    const auto stride = static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
    const auto* data = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const std::size_t padded = DibFile::paddedStride(width);
    const std::size_t bytes = padded * static_cast<std::size_t>(height);
    std::size_t bufferLength = gst_buffer_get_size(buffer);
    if (stride != padded) {
        // GStreamer's default BGR stride is already 4-byte aligned; repack
        // only if some element chose another.
        repacked.resize(bytes);
        for (int y = 0; y < height; ++y)
            std::copy_n(data + stride * y, padded, repacked.data() + padded * y);
        data = repacked.data();
        bufferLength = bytes;
    }

    latest = GstSamplePtr(gst_sample_ref(sample.get()));
    VideoHeader header;
    header.lpData = data;
    header.dwBufferLength = static_cast<std::uint32_t>(bufferLength);
    header.dwBytesUsed = static_cast<std::uint32_t>(bytes);
    header.dwTimeCaptured = static_cast<std::uint32_t>(opened.elapsed());
    header.dwFlags = frameDone | frameKey;
    header.width = static_cast<std::uint32_t>(width);
    header.height = static_cast<std::uint32_t>(height);
    if (recorder)
        Q_EMIT q->StreamCallback(&header);
    else
        Q_EMIT q->FrameCallback(&header);

    if (preview) {
        // Top-down RGB for display; the frame itself is bottom-up BGR.
        QImage picture(width, height, QImage::Format_RGB888);
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* src = data + padded * static_cast<std::size_t>(height - 1 - y);
            std::uint8_t* dst = picture.scanLine(y);
            for (int x = 0; x < width; ++x) {
                dst[3 * x] = src[3 * x + 2];
                dst[3 * x + 1] = src[3 * x + 1];
                dst[3 * x + 2] = src[3 * x];
            }
        }
        Q_EMIT q->pictureChanged(picture);
    }
    gst_video_frame_unmap(&frame);
}

void CaptureControl::Private::onPipelineError(const QString& text) {
    // The recording keeps what it has and is closed properly.
    endCapture(true);
    if (sceneSource && sceneSource->unplugged()) {
        sceneUnplugUsed = true;
        scenePresent = false;
        if (sceneBackAfterMs >= 0)
            QTimer::singleShot(std::chrono::milliseconds(sceneBackAfterMs), q, [this] {
                // As the device monitor reports a camera plugged in again.
                scenePresent = true;
                onCameraChanged(cameraCount());
            });
    }
    stopPipeline();
    lose(text);
}

void CaptureControl::Private::onRecorderError(int generation, const QString& text) {
    if (generation != captureGeneration || !recorder)
        return;
    outOfSpace = recorder->outOfSpace();
    const QString file = recorder->path();
    // Finished where the pipeline still can (it stopped taking frames
    // before the volume was full); after a write error this only closes.
    endCapture(true);
    if (capturedFrames == 0 && QFileInfo(file).isFile())
        QFile::remove(file);
    lastError = text;
    Q_EMIT q->StatusCallback(StatusCaptureFailed, text);
}

CaptureControl::CaptureControl(QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this)) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { gst_init(nullptr, nullptr); });
    d->retry.setSingleShot(true);
    connect(&d->retry, &QTimer::timeout, this, [this] { d->reopen(); });
    d->cameras.open(this, [this](int index) { d->onCameraChanged(index); });
}

CaptureControl::~CaptureControl() {
    d->endCapture(true);
    d->stopPipeline();
}

QString CaptureControl::DeviceName(int n) const {
    if (n < 0 || n >= MaxDevices)
        return {};
    if (n < d->cameraCount())
        return d->cameras.at(n).name;
    return d->isScene(n) ? sceneCameraName : QString();
}

QString CaptureControl::DeviceVersion(int n) const {
    if (n < 0 || n >= MaxDevices)
        return {};
    if (n < d->cameraCount())
        return d->cameras.at(n).version;
    return d->isScene(n) ? QStringLiteral("1.0") : QString();
}

int CaptureControl::Device() const {
    return d->device;
}

bool CaptureControl::setDevice(int n) {
    d->endCapture(true);
    d->stopPipeline();
    d->device = -1;
    d->latest.reset();
    if (n < 0 || n >= MaxDevices || n > d->cameraCount()) {
        d->lastError = QStringLiteral("there is no capture device %1").arg(n);
        return false;
    }
    if (!d->available(n)) {
        d->lastError = QStringLiteral("capture device %1 is not connected").arg(n);
        return false;
    }
    d->device = n;
    d->size = d->fitSize(n, d->requestedSize);
    d->opened.start();
    QString error;
    if (!d->startPipeline(&error)) {
        d->device = -1;
        d->lastError = error;
        return false;
    }
    d->lastError.clear();
    const bool back = n == std::exchange(d->lostDevice, -1);
    d->retry.stop();
    if (back)
        Q_EMIT StatusCallback(StatusDeviceBack, QStringLiteral("the camera is back"));
    return true;
}

QString CaptureControl::lastError() const {
    return d->lastError;
}

// No property pages of our own yet: the test scene has no controls, and
// camera controls are not exposed.
bool CaptureControl::HasSourceDialog() const {
    // The picture controls work on every device's picture.
    return d->device >= 0;
}

bool CaptureControl::HasFormatDialog() const {
    return d->device >= 0 && d->sizesOf(d->device).size() >= 2;
}

bool CaptureControl::HasAudio() const {
    return d->device >= 0 && (d->isScene(d->device) || d->cameras.hasAudioSource());
}

bool CaptureControl::HasOverlay() const {
    return false;
}

bool CaptureControl::CaptureAudio() const {
    return d->captureAudio && HasAudio();
}

void CaptureControl::setCaptureAudio(bool on) {
    d->captureAudio = on && HasAudio();
}

int CaptureControl::FrameRate() const {
    return d->fps;
}

void CaptureControl::setFrameRate(int framesPerSecond) {
    if (IsCapturing() || framesPerSecond <= 0)
        return;
    framesPerSecond = std::min(framesPerSecond, maxFrameRate);
    if (framesPerSecond == d->fps)
        return;
    d->fps = framesPerSecond;
    d->restart();
}

QSize CaptureControl::frameSize() const {
    return d->size;
}

void CaptureControl::setFrameSize(QSize size) {
    if (IsCapturing() || size.width() <= 0 || size.height() <= 0)
        return;
    d->saveDriverSetting(QStringLiteral("FrameWidth"), size.width());
    d->saveDriverSetting(QStringLiteral("FrameHeight"), size.height());
    d->applyFrameSize(size);
}

void CaptureControl::Private::applyFrameSize(QSize wanted) {
    requestedSize = wanted;
    if (device < 0) {
        size = wanted;
        return;
    }
    const QSize fitted = fitSize(device, wanted);
    if (fitted == size)
        return;
    size = fitted;
    restart();
}

QString CaptureControl::CaptureFile() const {
    return d->captureFile;
}

void CaptureControl::setCaptureFile(const QString& path) {
    d->captureFile = path;
}

bool CaptureControl::StartCapture() {
    if (d->recorder)
        return true;
    d->outOfSpace = false;
    d->capturedFrames = 0;
    if (d->device < 0 || !d->slot) {
        d->lastError = QStringLiteral("no capture device is open");
        return false;
    }
    if (d->captureFile.isEmpty()) {
        d->lastError = QStringLiteral("no capture file is set");
        return false;
    }
    AviRecorder::Settings settings;
    settings.path = d->captureFile;
    settings.width = d->size.width();
    settings.height = d->size.height();
    settings.framesPerSecond = d->fps;
    settings.mjpeg = d->codec == VideoCodec::Mjpeg;
    settings.quality = d->quality;
    settings.audioRate = d->audioRate;
    settings.audioChannels = d->audioChannels;
    if (CaptureAudio())
        settings.audio =
            d->isScene(d->device) ? AviRecorder::Audio::Synthetic : AviRecorder::Audio::Microphone;
    const int generation = ++d->captureGeneration;
    auto recorder = std::make_shared<AviRecorder>(
        this, [this, generation](const QString& text) { d->onRecorderError(generation, text); });
    const bool existed = QFileInfo::exists(settings.path);
    QString error;
    if (!recorder->start(settings, &error)) {
        d->lastError = error;
        d->outOfSpace = recorder->outOfSpace();
        if (!existed && QFileInfo(settings.path).isFile())
            QFile::remove(settings.path);
        return false;
    }
    d->recorder = recorder;
    std::lock_guard lock(d->slot->mutex);
    d->slot->recorder = std::move(recorder);
    return true;
}

void CaptureControl::StopCapture() {
    d->endCapture(true);
}

bool CaptureControl::IsCapturing() const {
    return d->recorder != nullptr;
}

bool CaptureControl::outOfSpace() const {
    return d->outOfSpace;
}

std::int64_t CaptureControl::capturedFrames() const {
    return d->capturedFrames;
}

bool CaptureControl::SaveFrameAsDIB(const QString& path) const {
    if (!d->latest) {
        d->lastError = QStringLiteral("there is no frame yet");
        return false;
    }
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(d->latest.get());
    GstBuffer* buffer = gst_sample_get_buffer(d->latest.get());
    GstVideoFrame frame;
    if (caps == nullptr || buffer == nullptr || !gst_video_info_from_caps(&info, caps) ||
        !gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
        d->lastError = QStringLiteral("the latest frame cannot be read");
        return false;
    }
    QString error;
    const bool ok = DibFile::write(
        path, static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
        GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
        static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0)), &error);
    gst_video_frame_unmap(&frame);
    if (!ok)
        d->lastError = error;
    return ok;
}

void CaptureControl::setPreview(bool on) {
    d->preview = on;
}

bool CaptureControl::Preview() const {
    return d->preview;
}

void CaptureControl::setOverlay(bool on) {
    d->overlay = on;
}

bool CaptureControl::Overlay() const {
    return d->overlay;
}

void CaptureControl::setSetupOption(int n, int value) {
    if (n >= 1 && n <= 9)
        d->setupOptions[static_cast<std::size_t>(n)] = value;
}

int CaptureControl::SetupOption(int n) const {
    return n >= 1 && n <= 9 ? d->setupOptions[static_cast<std::size_t>(n)] : 0;
}

QList<CaptureControl::PictureControl> CaptureControl::pictureControls() const {
    return d->controls;
}

void CaptureControl::setPictureControl(const QString& name, int value) {
    for (PictureControl& c : d->controls) {
        if (c.name != name)
            continue;
        c.value = std::clamp(value, 0, 100);
        d->saveDriverSetting(name, c.value);
        d->applyPictureControls();
    }
}

QList<QSize> CaptureControl::frameSizes() const {
    const std::vector<QSize> sizes = d->sizesOf(d->device);
    return QList<QSize>(sizes.begin(), sizes.end());
}

CaptureControl::VideoCodec CaptureControl::videoCodec() const {
    return d->codec;
}

void CaptureControl::setVideoCodec(VideoCodec codec) {
    d->codec = codec == VideoCodec::Uncompressed ? codec : VideoCodec::Mjpeg;
    d->saveDriverSetting(QStringLiteral("Codec"), int(d->codec));
}

int CaptureControl::videoQuality() const {
    return d->quality;
}

void CaptureControl::setVideoQuality(int quality) {
    d->quality = std::clamp(quality, 1, 100);
    d->saveDriverSetting(QStringLiteral("Quality"), d->quality);
}

int CaptureControl::audioRate() const {
    return d->audioRate;
}

int CaptureControl::audioChannels() const {
    return d->audioChannels;
}

QList<int> CaptureControl::audioRates() {
    return {8000, 11025, 16000, 22050, 44100, 48000};
}

void CaptureControl::setAudioFormat(int samplesPerSecond, int channels) {
    if (audioRates().contains(samplesPerSecond))
        d->audioRate = samplesPerSecond;
    d->audioChannels = channels == 2 ? 2 : 1;
    d->saveDriverSetting(QStringLiteral("AudioRate"), d->audioRate);
    d->saveDriverSetting(QStringLiteral("AudioChannels"), d->audioChannels);
}

void CaptureControl::setDriverSettings(SettingsStore* store) {
    d->driverSettings = store;
    for (PictureControl& c : d->controls)
        c.value = std::clamp(d->storedDriverSetting(c.name, c.defaultValue), 0, 100);
    d->codec = d->storedDriverSetting(QStringLiteral("Codec"), 1) == 2 ? VideoCodec::Uncompressed
                                                                       : VideoCodec::Mjpeg;
    d->quality = std::clamp(d->storedDriverSetting(QStringLiteral("Quality"), 85), 1, 100);
    const int rate = d->storedDriverSetting(QStringLiteral("AudioRate"), 22050);
    d->audioRate = audioRates().contains(rate) ? rate : 22050;
    d->audioChannels = d->storedDriverSetting(QStringLiteral("AudioChannels"), 1) == 2 ? 2 : 1;
    const int w = d->storedDriverSetting(QStringLiteral("FrameWidth"), 0);
    const int h = d->storedDriverSetting(QStringLiteral("FrameHeight"), 0);
    // Applied without writing back what was just read.
    if (w > 0 && h > 0 && !IsCapturing())
        d->applyFrameSize(QSize(w, h));
    d->applyPictureControls();
}
