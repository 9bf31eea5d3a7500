#include "AviRecorder.h"

#include "AviChunks.h"
#include "DibFile.h"
#include "FileSystem.h"

#include <algorithm>

#include <gst/app/gstappsrc.h>

#include <QFile>
#include <QFileInfo>

#include <sys/file.h>

namespace {

GstElementPtr byName(GstElement* pipeline, const char* name) {
    return GstElementPtr(gst_bin_get_by_name(GST_BIN(pipeline), name));
}

// Room kept free beyond the frames: the index (16 bytes a chunk, and a
// chunk is rarely below 1 KiB) and the header rewrite.
constexpr std::uint64_t finishingSlackBytes = 64 * 1024;
constexpr std::int64_t indexShare = 64;

} // namespace

AviRecorder::AviRecorder(QObject* context, BusRelay::ErrorHandler onError)
    : context_(context)
    , onError_(std::move(onError)) {}

AviRecorder::~AviRecorder() {
    abort();
}

bool AviRecorder::start(const Settings& s, QString* error) {
    auto fail = [&](const QString& text) {
        if (error != nullptr)
            *error = text;
        abort();
        return false;
    };
    if (s.width <= 0 || s.height <= 0 || s.framesPerSecond <= 0)
        return fail(QStringLiteral("no frames to record"));
    fps_ = s.framesPerSecond;
    frames_ = 0;
    path_ = s.path;
    rawFrameBytes_ = std::int64_t(DibFile::paddedStride(s.width)) * s.height;
    encoded_ = s.encoded;
    // A JPEG frame rarely reaches a quarter of the raw picture; YUY2 keeps
    // two bytes a pixel.
    frameBudget_ = s.mjpeg ? rawFrameBytes_ / 4 : std::int64_t(s.width) * s.height * 2;
    lastFileBytes_ = 0;
    largestGrowth_ = 0;
    full_ = false;
    if (FileSystem::roomToGrow(path_) < reserveBytes(0)) {
        full_ = true;
        return fail(QStringLiteral("no space left to record to %1").arg(s.path));
    }

    // At most two seconds of frames wait for the encoder (beside the frames
    // kept from before the start); beyond that new frames are dropped
    // rather than piling up in memory.
    const qint64 frameBytes = rawFrameBytes_;
    const QString input =
        s.encoded ? QStringLiteral("image/jpeg") : QStringLiteral("video/x-raw,format=BGR");
    // A caps filter tells the muxer that JPEG input is video.
    const QString encoder = s.encoded ? QStringLiteral("! image/jpeg ")
                            : s.mjpeg ? QStringLiteral("! videoconvert ! jpegenc quality=%1 ")
                                            .arg(std::clamp(s.quality, 1, 100))
                                      : QStringLiteral("! videoconvert ! video/x-raw,format=YUY2 ");
    QString description =
        QStringLiteral("appsrc name=video is-live=true format=time leaky-type=upstream "
                       "max-bytes=%1 caps=%2,width=%3,height=%4,"
                       "framerate=%5/1,pixel-aspect-ratio=1/1 "
                       "%6"
                       "! avimux name=mux ! filesink name=file buffer-mode=unbuffered sync=false")
            .arg(frameBytes * 2 * s.framesPerSecond + s.backlogBytes)
            .arg(input)
            .arg(s.width)
            .arg(s.height)
            .arg(s.framesPerSecond)
            .arg(encoder);
    // Moved by the lead (see below), the sound's stamps start late and
    // audiorate fills the time before them with silence.
    const bool lead = s.leadFrames > 0;
    const QString pcm =
        QStringLiteral("%1 ! audioconvert ! audioresample "
                       "! audio/x-raw,format=S16LE,rate=%2,channels=%3 "
                       "%4! queue ! mux.")
            .arg(lead ? QStringLiteral(" ! identity single-segment=true") : QString())
            .arg(s.audioRate)
            .arg(s.audioChannels)
            .arg(lead ? QStringLiteral("! audiorate ") : QString());
    if (s.audio == Audio::Synthetic)
        description += QStringLiteral(" audiotestsrc name=audio is-live=true wave=pink-noise "
                                      "volume=0.02") +
                       pcm;
    else if (s.audio == Audio::Microphone)
        description += QStringLiteral(" autoaudiosrc name=audio") + pcm;

    GError* rawError = nullptr;
    pipeline_ = adoptFloating(gst_parse_launch(description.toUtf8().constData(), &rawError));
    GErrorPtr parseError(rawError);
    if (!pipeline_)
        return fail(QString::fromUtf8(parseError ? parseError->message : "cannot build recorder"));
    video_ = byName(pipeline_.get(), "video");
    if (s.audio != Audio::None)
        audio_ = byName(pipeline_.get(), "audio");
    if (audio_ && lead) {
        // The kept frames play before the first live one, so the live sound
        // belongs that much later in the file.
        GstPadPtr pad(gst_element_get_static_pad(audio_.get(), "src"));
        gst_pad_set_offset(pad.get(),
                           gint64(gst_util_uint64_scale_int(s.leadFrames, GST_SECOND, fps_)));
    }
    GstElementPtr file = byName(pipeline_.get(), "file");
    g_object_set(file.get(), "location", QFile::encodeName(s.path).constData(), nullptr);

    bus_ = std::make_unique<BusRelay>(pipeline_.get(), context_, onError_, false);
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE ||
        bus_->failed()) {
        const QString why = bus_->failed() ? bus_->firstError() : QString();
        return fail(QStringLiteral("cannot record to %1%2")
                        .arg(s.path, why.isEmpty()
                                         ? QString()
                                         : QStringLiteral(" (") + why + QLatin1Char(')')));
    }
    lock_ = std::make_unique<QFile>(s.path);
    if (lock_->open(QIODevice::ReadOnly))
        ::flock(lock_->handle(), LOCK_SH);
    std::lock_guard lock(mutex_);
    open_ = true;
    return true;
}

void AviRecorder::push(GstBuffer* frame) {
    std::lock_guard lock(mutex_);
    if (!open_ || full_ || frame == nullptr)
        return;
    if (!roomForAnotherFrame()) {
        // The frames so far are finished into a playable file by the
        // owner's stop; no further frame goes in.
        full_ = true;
        QMetaObject::invokeMethod(
            context_,
            [onError = onError_, path = path_] {
                onError(QStringLiteral("no space left to go on recording to %1").arg(path));
            },
            Qt::QueuedConnection);
        return;
    }
    // A new buffer header over the same memory, stamped relative to the
    // start of this recording.
    GstBuffer* copy = gst_buffer_copy(frame);
    const auto n = static_cast<guint64>(frames_.fetch_add(1));
    GST_BUFFER_PTS(copy) = gst_util_uint64_scale_int(n, GST_SECOND, fps_);
    GST_BUFFER_DTS(copy) = GST_CLOCK_TIME_NONE;
    GST_BUFFER_DURATION(copy) = gst_util_uint64_scale_int(1, GST_SECOND, fps_);
    GST_BUFFER_OFFSET(copy) = n;
    gst_app_src_push_buffer(GST_APP_SRC(video_.get()), copy);
}

std::uint64_t AviRecorder::reserveBytes(std::int64_t fileBytes) const {
    guint64 queuedBytes = 0;
    if (video_)
        g_object_get(video_.get(), "current-level-bytes", &queuedBytes, nullptr);
    // Frames still waiting for the encoder land in the file as well; JPEG
    // ones as they are.
    if (encoded_)
        return queuedBytes + std::uint64_t(2 * frameBudget_ + fileBytes / indexShare) +
               finishingSlackBytes;
    const auto queuedFrames =
        std::int64_t((queuedBytes + guint64(rawFrameBytes_) - 1) / guint64(rawFrameBytes_));
    return std::uint64_t((queuedFrames + 2) * frameBudget_ + fileBytes / indexShare) +
           finishingSlackBytes;
}

bool AviRecorder::roomForAnotherFrame() {
    const qint64 fileBytes = QFileInfo(path_).size();
    if (fileBytes > lastFileBytes_ && lastFileBytes_ > 0) {
        largestGrowth_ = std::max<std::int64_t>(largestGrowth_, fileBytes - lastFileBytes_);
        frameBudget_ = largestGrowth_;
    }
    lastFileBytes_ = fileBytes;
    return FileSystem::roomToGrow(path_) >= reserveBytes(fileBytes);
}

bool AviRecorder::outOfSpace() const {
    if (full_)
        return true;
    if (!bus_ || !bus_->failed())
        return false;
    std::lock_guard lock(mutex_);
    // A full volume reports ENOSPC; a file at the size limit only a write
    // error, so the room left tells.
    return bus_->noSpaceLeft() ||
           FileSystem::roomToGrow(path_) < reserveBytes(QFileInfo(path_).size());
}

std::int64_t AviRecorder::framesInFile() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    // The header's counts are written last, so the chunks are walked.
    AviChunks chunks(file.handle());
    std::int64_t frames = 0;
    for (AviChunks::Chunk chunk; chunks.next(&chunk);)
        frames += chunk.code[2] == 'd' && (chunk.code[3] == 'c' || chunk.code[3] == 'b') ? 1 : 0;
    return frames;
}

bool AviRecorder::stop(std::chrono::milliseconds timeout) {
    bool finished = false;
    close(true, timeout, &finished);
    return finished;
}

void AviRecorder::abort() {
    close(false, {}, nullptr);
}

void AviRecorder::close(bool finish, std::chrono::milliseconds timeout, bool* finished) {
    bool wasOpen = false;
    {
        std::lock_guard lock(mutex_);
        wasOpen = open_;
        open_ = false;
    }
    if (!pipeline_)
        return;
    if (finish && wasOpen && !bus_->failed()) {
        gst_app_src_end_of_stream(GST_APP_SRC(video_.get()));
        if (audio_)
            gst_element_send_event(audio_.get(), gst_event_new_eos());
        const bool ok = bus_->waitForEndOfStream(timeout);
        if (finished != nullptr)
            *finished = ok;
    }
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    bus_.reset();
    audio_.reset();
    video_.reset();
    pipeline_.reset();
    lock_.reset();
}
