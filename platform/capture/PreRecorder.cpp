#include "PreRecorder.h"

#include "AviRecorder.h"
#include "DibFile.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>

#include <algorithm>

PreRecorder::PreRecorder(QObject* context, BusRelay::ErrorHandler onError)
    : context_(context)
    , onError_(std::move(onError)) {}

PreRecorder::~PreRecorder() {
    // NULL state joins the streaming threads, so no callback runs later.
    if (pipeline_)
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    bus_.reset();
}

bool PreRecorder::start(const Settings& s, QString* error) {
    settings_ = s;
    capacity_ = std::size_t(std::max(0, s.seconds * s.framesPerSecond));
    const qint64 rawBytes = qint64(DibFile::paddedStride(s.width)) * s.height;
    // The same conversion and encoder as a recording's own, so kept frames
    // and later ones look alike; a second of raw frames may wait for it.
    const QString description =
        QStringLiteral("appsrc name=src is-live=true format=time leaky-type=upstream "
                       "max-bytes=%1 caps=video/x-raw,format=BGR,width=%2,height=%3,"
                       "framerate=%4/1,pixel-aspect-ratio=1/1 "
                       "! videoconvert ! jpegenc quality=%5 ! appsink name=sink sync=false")
            .arg(rawBytes * s.framesPerSecond)
            .arg(s.width)
            .arg(s.height)
            .arg(s.framesPerSecond)
            .arg(std::clamp(s.quality, 1, 100));
    GError* rawError = nullptr;
    pipeline_ = adoptFloating(gst_parse_launch(description.toUtf8().constData(), &rawError));
    GErrorPtr parseError(rawError);
    if (!pipeline_) {
        *error = QString::fromUtf8(parseError ? parseError->message : "cannot build pre-recorder");
        return false;
    }
    source_.reset(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "src"));
    GstElementPtr sink(gst_bin_get_by_name(GST_BIN(pipeline_.get()), "sink"));
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = &PreRecorder::onEncoded;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);
    bus_ = std::make_unique<BusRelay>(pipeline_.get(), context_, onError_, false);
    if (gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE ||
        bus_->failed()) {
        *error = bus_->failed() ? bus_->firstError() : QStringLiteral("cannot start pre-recorder");
        return false;
    }
    return true;
}

void PreRecorder::push(GstBuffer* frame) {
    if (frame == nullptr || !source_)
        return;
    GstBuffer* copy = gst_buffer_copy(frame);
    const guint64 n = pushed_++;
    GST_BUFFER_PTS(copy) = gst_util_uint64_scale_int(n, GST_SECOND, settings_.framesPerSecond);
    GST_BUFFER_DTS(copy) = GST_CLOCK_TIME_NONE;
    gst_app_src_push_buffer(GST_APP_SRC(source_.get()), copy);
}

GstFlowReturn PreRecorder::onEncoded(GstAppSink* sink, gpointer data) {
    GstSamplePtr sample(gst_app_sink_pull_sample(sink));
    GstBuffer* buffer = sample ? gst_sample_get_buffer(sample.get()) : nullptr;
    if (buffer != nullptr)
        static_cast<PreRecorder*>(data)->take(GstBufferPtr(gst_buffer_ref(buffer)));
    return GST_FLOW_OK;
}

void PreRecorder::take(GstBufferPtr frame) {
    std::lock_guard lock(mutex_);
    if (recorder_) {
        recorder_->push(frame.get());
        return;
    }
    if (capacity_ == 0)
        return;
    keptBytes_ += std::int64_t(gst_buffer_get_size(frame.get()));
    kept_.push_back(std::move(frame));
    while (kept_.size() > capacity_) {
        keptBytes_ -= std::int64_t(gst_buffer_get_size(kept_.front().get()));
        kept_.pop_front();
    }
}

void PreRecorder::attach(const std::shared_ptr<AviRecorder>& recorder, std::size_t frames) {
    std::lock_guard lock(mutex_);
    for (std::size_t i = kept_.size() - std::min(frames, kept_.size()); i < kept_.size(); ++i)
        recorder->push(kept_[i].get());
    kept_.clear();
    keptBytes_ = 0;
    recorder_ = recorder;
}

void PreRecorder::detach() {
    std::lock_guard lock(mutex_);
    recorder_.reset();
}

std::int64_t PreRecorder::keptBytes() const {
    std::lock_guard lock(mutex_);
    return keptBytes_;
}

std::int64_t PreRecorder::keptFrames() const {
    std::lock_guard lock(mutex_);
    return std::int64_t(kept_.size());
}
