// CaptureControl, frames handed to the program, and the latest frame as a bitmap file.

#include "CaptureControlPrivate.h"

#include "DibFile.h"

#include <QImage>

#include <algorithm>

using namespace capturecontrol;

namespace {

// Classic frame header flags: the buffer is filled and holds a key frame.
constexpr std::uint32_t frameDone = 0x1;
constexpr std::uint32_t frameKey = 0x8;

} // namespace

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
    GstVideoFrameMapping mapping(&info, buffer, GST_MAP_READ);
    if (!mapping)
        return;
    GstVideoFrame* frame = mapping.get();
    const int width = GST_VIDEO_FRAME_WIDTH(frame);
    const int height = GST_VIDEO_FRAME_HEIGHT(frame);
    const auto stride = static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0));
    const auto* data = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0));
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
}

bool CaptureControl::SaveFrameAsDIB(const QString& path) const {
    if (!d->latest) {
        d->lastError = QStringLiteral("there is no frame yet");
        return false;
    }
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(d->latest.get());
    GstBuffer* buffer = gst_sample_get_buffer(d->latest.get());
    const bool described =
        caps != nullptr && buffer != nullptr && gst_video_info_from_caps(&info, caps);
    GstVideoFrameMapping mapping(described ? &info : nullptr, buffer, GST_MAP_READ);
    if (!mapping) {
        d->lastError = QStringLiteral("the latest frame cannot be read");
        return false;
    }
    GstVideoFrame* frame = mapping.get();
    QString error;
    const bool ok =
        DibFile::write(path, static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0)),
                       GST_VIDEO_FRAME_WIDTH(frame), GST_VIDEO_FRAME_HEIGHT(frame),
                       static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(frame, 0)), &error);
    if (!ok)
        d->lastError = error;
    return ok;
}
