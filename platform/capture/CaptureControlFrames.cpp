// CaptureControl, frames handed to the program, and the latest frame as a bitmap file.

#include "CaptureControlPrivate.h"

#include "DibFile.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

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
    if (slot->heartbeat)
        slot->heartbeat->store(SourceProcess::nowMs());
    {
        std::lock_guard lock(slot->mutex);
        recorder = slot->recorder;
        if (slot->preRecorder)
            slot->preRecorder->push(gst_sample_get_buffer(sample.get()));
        else if (recorder)
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
    const auto* topDown = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(frame, 0));
    // A picture is proof enough that the device plays, whatever its state
    // change still says.
    if (opening.active)
        finishOpen({});
    keepBottomUp(topDown, width, height, stride);
    size = QSize(width, height); // a source's own size shows only here
    if (std::exchange(backAtFirstFrame, false))
        Q_EMIT q->StatusCallback(StatusDeviceBack, QStringLiteral("the camera is back"));

    VideoHeader header;
    header.lpData = bottomUp->data();
    header.dwBufferLength = static_cast<std::uint32_t>(bottomUp->size());
    header.dwBytesUsed = static_cast<std::uint32_t>(bottomUp->size());
    header.dwTimeCaptured = static_cast<std::uint32_t>(opened.elapsed());
    header.dwFlags = frameDone | frameKey;
    header.width = static_cast<std::uint32_t>(width);
    header.height = static_cast<std::uint32_t>(height);
    if (recorder)
        Q_EMIT q->StreamCallback(&header);
    else
        Q_EMIT q->FrameCallback(&header);

    // The picture is made when it is asked for: a hidden or minimised
    // window asks for none, a busy one for as many as it paints.
    if (preview)
        Q_EMIT q->pictureChanged();
}

void CaptureControl::Private::keepBottomUp(const std::uint8_t* topDown, int width, int height,
                                           std::size_t stride) {
    const std::size_t padded = DibFile::paddedStride(width);
    // A buffer nobody holds any more: the examination may still be
    // measuring the last few frames.
    std::shared_ptr<std::vector<std::uint8_t>> frame =
        frames.take(padded * static_cast<std::size_t>(height));
    const std::size_t row = std::min(stride, padded);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* to = frame->data() + padded * static_cast<std::size_t>(height - 1 - y);
        std::copy_n(topDown + stride * static_cast<std::size_t>(y), row, to);
        // A reused buffer holds the last frame's bytes: the padding is
        // cleared as a fresh one would have it.
        std::fill(to + row, to + padded, std::uint8_t(0));
    }
    bottomUp = std::move(frame);
    bottomUpSize = QSize(width, height);
    ++delivered;
}

QImage CaptureControl::Private::convertPicture(QSize most) const {
    // 32-bit pixels are what the window's backing store holds, so painting
    // them (scaled or not) needs no further conversion. A picture to be
    // shown smaller is sampled as painting would, pixel by pixel, so only
    // the pixels shown are converted.
    const int width = bottomUpSize.width();
    const int height = bottomUpSize.height();
    const int w = std::clamp(most.width(), 1, width);
    const int h = std::clamp(most.height(), 1, height);
    const std::size_t padded = DibFile::paddedStride(width);
    std::vector<std::size_t> column(static_cast<std::size_t>(w));
    for (int x = 0; x < w; ++x)
        column[static_cast<std::size_t>(x)] =
            3 * static_cast<std::size_t>((2 * x + 1) * width / (2 * w));
    QImage converted(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const int row = (2 * y + 1) * height / (2 * h);
        const std::uint8_t* src =
            bottomUp->data() + padded * static_cast<std::size_t>(height - 1 - row);
        auto* dst = reinterpret_cast<QRgb*>(converted.scanLine(y));
        // Blue, green, red and the next byte, read as one little-endian
        // word, are the 32-bit pixel once the top byte is set. The last
        // pixel of a row reads no further than its own three bytes.
        for (int x = 0; x + 1 < w; ++x) {
            std::uint32_t bgrx = 0;
            std::memcpy(&bgrx, src + column[static_cast<std::size_t>(x)], sizeof bgrx);
            dst[x] = 0xff000000U | bgrx;
        }
        static_assert(std::endian::native == std::endian::little);
        const std::uint8_t* last = src + column[static_cast<std::size_t>(w - 1)];
        dst[w - 1] = qRgb(last[2], last[1], last[0]);
    }
    return converted;
}

FramePool::Frame CaptureControl::sharedFrame(const VideoHeader* header) const {
    if (header == nullptr || !d->bottomUp || header->lpData != d->bottomUp->data())
        return nullptr;
    return d->bottomUp;
}

QImage CaptureControl::picture(QSize most) const {
    if (!d->bottomUp)
        return {};
    const QSize size = most.isValid() ? most.boundedTo(d->bottomUpSize) : d->bottomUpSize;
    if (d->pictureOf != d->delivered || d->picture.size() != size) {
        d->picture = d->convertPicture(size);
        d->pictureOf = d->delivered;
    }
    return d->picture;
}

bool CaptureControl::SaveFrameAsDIB(const QString& path) const {
    if (!d->bottomUp || d->bottomUpSize.isEmpty()) {
        d->lastError = QStringLiteral("there is no frame yet");
        return false;
    }
    QString error;
    const bool ok =
        DibFile::write(path, d->bottomUp->data(), d->bottomUpSize.width(), d->bottomUpSize.height(),
                       DibFile::paddedStride(d->bottomUpSize.width()), &error);
    if (!ok)
        d->lastError = error;
    return ok;
}
