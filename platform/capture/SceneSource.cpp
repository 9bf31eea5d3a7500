#include "SceneSource.h"

#include <cmath>

namespace {
constexpr int pregeneratedFrames = 8;
}

SceneSource::SceneSource(int width, int height, int framesPerSecond, TestScene::Schedule schedule,
                         bool pregenerated, Unplug unplug)
    : scene_(width, height, framesPerSecond, schedule)
    , fps_(framesPerSecond)
    , pregenerated_(pregenerated)
    , unplug_(unplug) {
    if (pregenerated_) {
        for (int i = 0; i < pregeneratedFrames; ++i)
            frames_.push_back(renderFrame(i));
    }
}

GstCapsPtr SceneSource::caps() const {
    return GstCapsPtr(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", "width",
                                          G_TYPE_INT, scene_.width(), "height", G_TYPE_INT,
                                          scene_.height(), "framerate", GST_TYPE_FRACTION, fps_, 1,
                                          "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr));
}

void SceneSource::attach(const std::shared_ptr<SceneSource>& source, GstAppSrc* appsrc) {
    GstAppSrcCallbacks callbacks{};
    callbacks.need_data = &SceneSource::onNeedData;
    gst_app_src_set_callbacks(
        appsrc, &callbacks, new std::shared_ptr<SceneSource>(source),
        [](gpointer data) { delete static_cast<std::shared_ptr<SceneSource>*>(data); });
}

void SceneSource::onNeedData(GstAppSrc* appsrc, guint, gpointer data) {
    (*static_cast<std::shared_ptr<SceneSource>*>(data))->pushNext(appsrc);
}

GstBufferPtr SceneSource::renderFrame(std::int64_t index) const {
    GstBufferPtr buffer(gst_buffer_new_allocate(nullptr, scene_.frameBytes(), nullptr));
    {
        const GstBufferMapping map(buffer.get(), GST_MAP_WRITE);
        if (!map)
            return {};
        scene_.render(index, map.data());
    }
    return buffer;
}

void SceneSource::pushNext(GstAppSrc* appsrc) {
    const auto now = std::chrono::steady_clock::now();
    if (next_ == 0)
        firstPush_ = now;
    // By time, not by frames pushed: the queues downstream take a few
    // frames ahead of their delivery.
    const bool due =
        (unplug_.afterFrames >= 0 && next_ >= unplug_.afterFrames) ||
        (unplug_.afterMs >= 0 && now - firstPush_ >= std::chrono::milliseconds(unplug_.afterMs));
    if (due && !unplugged_) {
        // What a camera driver reports when the device disappears; the
        // source then just waits for the pipeline to be torn down.
        unplugged_ = true;
        GST_ELEMENT_ERROR(appsrc, RESOURCE, NOT_FOUND, ("the test scene camera was unplugged"),
                          (nullptr));
        return;
    }
    const std::int64_t index = next_++;
    GstBuffer* buffer = nullptr;
    if (pregenerated_) {
        // A new buffer sharing the stored frame's memory, so only the
        // timestamps differ.
        buffer =
            gst_buffer_copy(frames_[static_cast<std::size_t>(index % pregeneratedFrames)].get());
    } else {
        buffer = renderFrame(index).release();
    }
    if (buffer == nullptr) {
        gst_app_src_end_of_stream(appsrc);
        return;
    }
    GST_BUFFER_PTS(buffer) =
        gst_util_uint64_scale_int(static_cast<guint64>(index), GST_SECOND, fps_);
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale_int(1, GST_SECOND, fps_);
    GST_BUFFER_OFFSET(buffer) = static_cast<guint64>(index);
    gst_app_src_push_buffer(appsrc, buffer); // takes ownership
}
