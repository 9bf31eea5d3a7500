#include "SceneSource.h"

namespace {
constexpr int pregeneratedFrames = 8;
}

SceneSource::SceneSource(int width, int height, int framesPerSecond, TestScene::Schedule schedule,
                         bool pregenerated, std::int64_t unplugAfter)
    : scene_(width, height, framesPerSecond, schedule)
    , fps_(framesPerSecond)
    , pregenerated_(pregenerated)
    , unplugAfter_(unplugAfter) {
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
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer.get(), &map, GST_MAP_WRITE))
        return {};
    scene_.render(index, map.data);
    gst_buffer_unmap(buffer.get(), &map);
    return buffer;
}

void SceneSource::pushNext(GstAppSrc* appsrc) {
    if (unplugAfter_ >= 0 && next_ >= unplugAfter_) {
        // What a camera driver reports when the device disappears; the
        // source then just waits for the pipeline to be torn down.
        GST_ELEMENT_ERROR(appsrc, RESOURCE, NOT_FOUND, ("the test scene camera was unplugged"),
                          (nullptr));
        unplugAfter_ = -1;
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
