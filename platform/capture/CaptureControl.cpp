// CaptureControl, device choice and the live pipeline.

#include "CaptureControlPrivate.h"

#include "DibFile.h"
#include "TestScene.h"

#include <gst/app/gstappsrc.h>

#include <QEventLoop>
#include <QPointer>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

using namespace capturecontrol;

namespace {

const QString sceneCameraName = QStringLiteral("Sentorix test scene camera");
const std::vector<QSize> sceneSizes = {{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}};
constexpr int maxFrameRate = 60;
constexpr std::chrono::seconds startTimeout{5};
// A source's helper starts GStreamer and reaches the source first.
constexpr std::chrono::seconds sourceStartTimeout{10};

} // namespace

std::vector<QSize> CaptureControl::Private::sizesOf(int n) const {
    if (isScene(n) || isSource(n))
        return sceneSizes; // scaled to any of them
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

// A source is decoded by its helper process, which says the frames' own
// size before anything here is set up for them.
bool CaptureControl::Private::startDecoder(QString* error) {
    decoder = std::make_unique<SourceProcess>();
    SourceProcess::Settings settings;
    settings.url = sourceOf(device).url;
    settings.framesPerSecond = fps;
    if (sizeChosen)
        settings.size = size;
    if (!decoder->begin(settings, sourceStartTimeout)) {
        *error = decoder->error();
        return false;
    }
    // Queued: the helper's process object is still reading or reporting.
    const QPointer<SourceProcess> from(decoder.get());
    connect(
        decoder.get(), &SourceProcess::ready, q,
        [this, from] {
            if (from && from == decoder.get() && opening.active)
                buildPipeline();
        },
        Qt::QueuedConnection);
    connect(
        decoder.get(), &SourceProcess::ended, q,
        [this, from](const QString& why) {
            if (from && from == decoder.get())
                onPipelineError(why);
        },
        Qt::QueuedConnection);
    return true;
}

QString CaptureControl::Private::launchDescription() const {
    // Whatever the device delivers ends as top-down BGR at our size and
    // rate: the recorder encodes it as it is, and delivery turns it into the
    // program's bottom-up layout with one row copy each (cheaper than a
    // flip element, which moves byte by byte).
    const QString format =
        QStringLiteral("video/x-raw,format=BGR,width=%1,height=%2,framerate=%3/1,"
                       "pixel-aspect-ratio=1/1 ! videobalance name=balance ")
            .arg(size.width())
            .arg(size.height())
            .arg(fps);
    // A source's frames, converted and paced by its helper, are mapped from
    // the helper's shared memory as they come.
    if (isSource(device))
        return QStringLiteral("shmsrc name=src is-live=true do-timestamp=true ! ") + format +
               QStringLiteral("! appsink name=sink max-buffers=1 drop=true sync=false");
    const QString tail = QStringLiteral("videoconvert ! videoscale ! videorate ! ") + format +
                         QStringLiteral("! appsink name=sink max-buffers=1 drop=true sync=true");
    if (isScene(device)) {
        // The scene is paced by the sink's clock through the queue's
        // back-pressure, so it must not leak.
        const qint64 frameBytes = qint64(DibFile::paddedStride(size.width())) * size.height();
        return QStringLiteral("appsrc name=src is-live=true format=time max-bytes=%1 "
                              "! queue max-size-buffers=2 max-size-time=0 max-size-bytes=0 ! ")
                   .arg(frameBytes * 2) +
               tail;
    }
    // A camera runs at its own pace, so a slow consumer makes it lose the
    // oldest frame.
    return QStringLiteral("decodebin name=dec ! queue max-size-buffers=2 max-size-time=0 "
                          "max-size-bytes=0 leaky=downstream ! ") +
           tail;
}

void CaptureControl::Private::beginOpen(OpenFor purpose, bool keepTrying) {
    opening = Opening{true, purpose, keepTrying, {}};
    opening.elapsed.start();
    if (!isSource(device))
        return buildPipeline();
    QString why;
    if (!startDecoder(&why))
        finishOpen(why);
}

void CaptureControl::Private::buildPipeline() {
    if (decoder)
        size = decoder->size();
    const bool scene = isScene(device);
    const SceneSource::Unplug unplug =
        sceneUnplugUsed ? SceneSource::Unplug{} : options.sceneUnplug;
    GError* rawError = nullptr;
    pipeline = adoptFloating(gst_parse_launch(launchDescription().toUtf8().constData(), &rawError));
    GErrorPtr parseError(rawError);
    if (!pipeline)
        return finishOpen(
            QString::fromUtf8(parseError ? parseError->message : "cannot build pipeline"));

    if (scene) {
        auto made = std::make_shared<SceneSource>(size.width(), size.height(), fps, options.scene,
                                                  options.scenePregenerated, unplug);
        sceneSource = made;
        sceneBackAfterMs = unplug.backAfterMs;
        GstElementPtr appsrc = byName(pipeline.get(), "src");
        gst_app_src_set_caps(GST_APP_SRC(appsrc.get()), made->caps().get());
        SceneSource::attach(made, GST_APP_SRC(appsrc.get()));
    } else if (decoder) {
        g_object_set(byName(pipeline.get(), "src").get(), "socket-path",
                     decoder->socketPath().toUtf8().constData(), nullptr);
    } else {
        GstElementPtr camera = cameras.createSource(device);
        GstElementPtr decodebin = byName(pipeline.get(), "dec");
        if (!camera || !gst_bin_add(GST_BIN(pipeline.get()), camera.get()) ||
            !gst_element_link(camera.get(), decodebin.get()))
            return finishOpen(QStringLiteral("cannot open camera %1").arg(cameras.at(device).name));
    }

    slot = std::make_shared<FrameSlot>();
    slot->context = q;
    if (decoder)
        slot->heartbeat = decoder->heartbeat();
    GstElementPtr sink = byName(pipeline.get(), "sink");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &Private::onNewSample;
    gst_app_sink_set_callbacks(
        GST_APP_SINK(sink.get()), &callbacks, new std::shared_ptr<FrameSlot>(slot),
        [](gpointer data) { delete static_cast<std::shared_ptr<FrameSlot>*>(data); });

    bus = std::make_unique<BusRelay>(
        pipeline.get(), q, [this](const QString& text) { onPipelineError(text); }, true);
    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return finishOpen(bus->failed() ? bus->firstError()
                                        : QStringLiteral("the device did not start"));
    settle.start();
    checkStarted();
}

// A live device reaches PLAYING once its first data flows; it is asked
// without waiting, so the window goes on meanwhile.
void CaptureControl::Private::checkStarted() {
    if (!opening.active || !pipeline)
        return settle.stop();
    const GstStateChangeReturn result = gst_element_get_state(pipeline.get(), nullptr, nullptr, 0);
    if (bus->failed())
        return finishOpen(bus->firstError());
    if (result == GST_STATE_CHANGE_FAILURE)
        return finishOpen(QStringLiteral("the device did not start"));
    if (result == GST_STATE_CHANGE_ASYNC) {
        if (std::chrono::milliseconds(opening.elapsed.elapsed()) >= startTimeout)
            finishOpen(QStringLiteral("the device did not start"));
        return;
    }
    finishOpen({});
}

void CaptureControl::Private::finishOpen(const QString& error) {
    settle.stop();
    if (!opening.active)
        return;
    const Opening was = std::exchange(opening, Opening{});
    if (error.isEmpty()) {
        applyPictureControls();
        updatePreRecorder();
        return openSucceeded(was);
    }
    const QString why = scrubbed(error);
    refused = notAuthorized();
    const int n = device;
    stopPipeline();
    device = -1;
    openFailed(was, n, why);
}

void CaptureControl::Private::openSucceeded(const Opening& was) {
    const int n = device;
    switch (was.purpose) {
    case OpenFor::Select: {
        lastError.clear();
        const bool back = n == std::exchange(lostDevice, -1);
        retry.stop();
        Q_EMIT q->deviceOpened(n, true);
        if (back)
            Q_EMIT q->StatusCallback(StatusDeviceBack, QStringLiteral("the camera is back"));
        break;
    }
    case OpenFor::Reopen:
        backAtFirstFrame = isSource(n);
        lostDevice = -1;
        retry.stop();
        lastError.clear();
        if (!backAtFirstFrame)
            Q_EMIT q->StatusCallback(StatusDeviceBack, QStringLiteral("the camera is back"));
        break;
    case OpenFor::Restart:
        break;
    }
}

void CaptureControl::Private::openFailed(const Opening& was, int n, const QString& why) {
    lastError = why;
    switch (was.purpose) {
    case OpenFor::Select:
        if (std::exchange(refused, false)) {
            askCredentials(n);
        } else if (was.keepTrying) {
            lostDevice = n;
            retryMs = firstRetryMs;
            retry.start(retryMs);
        }
        Q_EMIT q->deviceOpened(n, false);
        break;
    case OpenFor::Reopen: {
        if (std::exchange(refused, false))
            return askCredentials(lostDevice);
        // One whose attempts take long (a start timeout) is tried less often.
        const bool grow = isSource(lostDevice) || was.elapsed.elapsed() >= 1000;
        retryMs = grow ? std::min(retryMs * 2, lastRetryMs) : firstRetryMs;
        retry.start(retryMs);
        break;
    }
    case OpenFor::Restart:
        device = n;
        lose(why);
        break;
    }
}

bool CaptureControl::Private::notAuthorized() const {
    return (bus && bus->notAuthorized()) || (decoder && decoder->refused());
}

void CaptureControl::Private::stopPipeline() {
    opening = Opening{};
    settle.stop();
    helperReason.stop();
    if (pipeline)
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    // Deliveries still queued for this pipeline see a different slot and
    // are ignored.
    slot.reset();
    preRecorder.reset();
    bus.reset();
    pipeline.reset();
    sceneSource.reset();
    decoder.reset();
}

QString CaptureControl::Private::scrubbed(const QString& text) const {
    return isSource(device) ? SourceList::scrubbed(text, sourceOf(device).url) : text;
}

bool CaptureControl::Private::available(int n) const {
    if (isScene(n))
        return scenePresent;
    if (isSource(n))
        return true; // whether it answers shows when it is opened
    return n >= 0 && n < cameraCount() && cameras.at(n).present;
}

void CaptureControl::Private::lose(const QString& text) {
    // A source that failed again before its first frame is still lost: it
    // is tried less and less often, without a second report.
    const bool stillLost = std::exchange(backAtFirstFrame, false);
    lostDevice = device;
    device = -1;
    lastError = text;
    retryMs = stillLost ? std::min(retryMs * 2, lastRetryMs) : firstRetryMs;
    retry.start(retryMs);
    if (!stillLost)
        Q_EMIT q->StatusCallback(StatusDeviceLost, text);
}

// Opens the lost device again with the format and picture controls it had.
void CaptureControl::Private::reopen() {
    if (lostDevice < 0 || device >= 0 || opening.active)
        return;
    if (!available(lostDevice)) {
        retryMs = firstRetryMs;
        retry.start(retryMs);
        return;
    }
    device = lostDevice;
    size = fitSize(device, requestedSize);
    beginOpen(OpenFor::Reopen);
}

void CaptureControl::Private::onCameraChanged(int index) {
    if (index == lostDevice && available(index))
        reopen();
}

// Rebuilds the live pipeline after a format change; an open under way
// starts over with the new format and keeps its purpose.
void CaptureControl::Private::restart() {
    if (device < 0)
        return;
    const Opening was = opening;
    stopPipeline();
    if (was.active)
        beginOpen(was.purpose, was.keepTrying);
    else
        beginOpen(OpenFor::Restart);
}

void CaptureControl::Private::onPipelineError(const QString& text) {
    if (opening.active)
        return finishOpen(text);
    if (device < 0)
        return;
    // The recording keeps what it has and is closed properly.
    endCapture(true);
    // The helper's stream closes as it ends: its reason, which follows, is
    // the one to tell.
    if (decoder && !decoder->isOver()) {
        if (!helperReason.isActive()) {
            pipelineReason = text;
            helperReason.start();
        }
        return;
    }
    lost(decoder ? decoder->error() : text);
}

void CaptureControl::Private::lost(const QString& text) {
    helperReason.stop();
    if (sceneSource && sceneSource->unplugged()) {
        sceneUnplugUsed = true;
        scenePresent = false;
        if (sceneBackAfterMs >= 0)
            QTimer::singleShot(std::chrono::milliseconds(sceneBackAfterMs), q, [this] {
                // As the device monitor reports a camera plugged in again.
                scenePresent = true;
                onCameraChanged(sceneIndex());
            });
    }
    const QString shown = scrubbed(text);
    const int n = device;
    const bool wantsCredentials = notAuthorized();
    stopPipeline();
    lose(shown);
    if (wantsCredentials)
        askCredentials(n);
}

// Trying again would only be refused again.
void CaptureControl::Private::askCredentials(int n) {
    retry.stop();
    lostDevice = -1;
    Q_EMIT q->credentialsNeeded(n, !QUrl(sourceOf(n).url).userName().isEmpty());
}

CaptureControl::Options CaptureControl::Options::fromEnvironment() {
    Options o;
    o.listCameras = qEnvironmentVariableIntValue("SENTORIX_NO_CAMERAS") != 1;
    o.scene = TestScene::parseSchedule(qgetenv("SENTORIX_SCENE").toStdString());
    o.sceneUnplug = TestScene::parseUnplug(qgetenv("SENTORIX_SCENE_UNPLUG").toStdString());
    bool set = false;
    const int frames = qEnvironmentVariableIntValue("SENTORIX_SCENE_UNPLUG_AFTER", &set);
    if (o.sceneUnplug.afterMs < 0 && set && frames >= 0)
        o.sceneUnplug.afterFrames = frames;
    o.scenePregenerated = qEnvironmentVariableIntValue("SENTORIX_SCENE_PREGENERATED") == 1;
    return o;
}

CaptureControl::CaptureControl(QObject* parent)
    : CaptureControl(Options{}, parent) {}

CaptureControl::CaptureControl(const Options& options, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>(this, options)) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { gst_init(nullptr, nullptr); });
    d->retry.setSingleShot(true);
    connect(&d->retry, &QTimer::timeout, this, [this] { d->reopen(); });
    d->settle.setInterval(20);
    connect(&d->settle, &QTimer::timeout, this, [this] { d->checkStarted(); });
    d->helperReason.setSingleShot(true);
    d->helperReason.setInterval(1000);
    connect(&d->helperReason, &QTimer::timeout, this, [this] { d->lost(d->pipelineReason); });
    if (options.listCameras)
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
    if (d->isSource(n))
        return d->sourceOf(n).name;
    return d->isScene(n) ? sceneCameraName : QString();
}

QString CaptureControl::DeviceVersion(int n) const {
    if (n < 0 || n >= MaxDevices)
        return {};
    if (n < d->cameraCount())
        return d->cameras.at(n).version;
    if (d->isSource(n))
        return SourceList::masked(d->sourceOf(n).url);
    return d->isScene(n) ? QStringLiteral("1.0") : QString();
}

int CaptureControl::Device() const {
    return d->device;
}

void CaptureControl::openDevice(int n, bool keepTrying) {
    d->endCapture(true);
    d->stopPipeline();
    // A lost device is no longer waited for once another one is chosen.
    if (n != d->lostDevice) {
        d->lostDevice = -1;
        d->retry.stop();
    }
    d->device = -1;
    d->bottomUp.reset();
    d->bottomUpSize = QSize();
    d->picture = QImage();
    d->backAtFirstFrame = false;
    if (n < 0 || n >= MaxDevices || n > d->sceneIndex()) {
        d->lastError = QStringLiteral("there is no capture device %1").arg(n);
        Q_EMIT deviceOpened(n, false);
        return;
    }
    d->device = n;
    d->size = d->fitSize(n, d->requestedSize);
    d->opened.start();
    if (d->available(n))
        return d->beginOpen(Private::OpenFor::Select, keepTrying);
    d->opening = Private::Opening{true, Private::OpenFor::Select, keepTrying, {}};
    d->finishOpen(QStringLiteral("capture device %1 is not connected").arg(n));
}

bool CaptureControl::setDevice(int n) {
    std::optional<bool> outcome;
    QEventLoop loop;
    const QMetaObject::Connection waiting =
        connect(this, &CaptureControl::deviceOpened, &loop, [&](int opened, bool ok) {
            if (opened == n) {
                outcome = ok;
                loop.quit();
            }
        });
    openDevice(n);
    if (!outcome)
        loop.exec();
    disconnect(waiting);
    return outcome.value_or(false);
}

bool CaptureControl::isOpening() const {
    return d->opening.active;
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
