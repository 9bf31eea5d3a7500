#pragma once

// Owning handles for the GStreamer and GLib objects of the capture layer.
// Internal to the platform layer: the public headers stay free of C headers.

#include <gst/gst.h>
#include <gst/video/video.h>

#include <memory>

namespace gsthandles {

struct ObjectUnref {
    void operator()(gpointer object) const {
        if (object != nullptr)
            gst_object_unref(object);
    }
};
struct SampleUnref {
    void operator()(GstSample* sample) const {
        if (sample != nullptr)
            gst_sample_unref(sample);
    }
};
struct BufferUnref {
    void operator()(GstBuffer* buffer) const {
        if (buffer != nullptr)
            gst_buffer_unref(buffer);
    }
};
struct MessageUnref {
    void operator()(GstMessage* message) const {
        if (message != nullptr)
            gst_message_unref(message);
    }
};
struct CapsUnref {
    void operator()(GstCaps* caps) const {
        if (caps != nullptr)
            gst_caps_unref(caps);
    }
};
struct ErrorFree {
    void operator()(GError* error) const {
        if (error != nullptr)
            g_error_free(error);
    }
};
struct StructureFree {
    void operator()(GstStructure* structure) const {
        if (structure != nullptr)
            gst_structure_free(structure);
    }
};
struct CharFree {
    void operator()(gchar* text) const { g_free(text); }
};

} // namespace gsthandles

using GstElementPtr = std::unique_ptr<GstElement, gsthandles::ObjectUnref>;
using GstBusPtr = std::unique_ptr<GstBus, gsthandles::ObjectUnref>;
using GstPadPtr = std::unique_ptr<GstPad, gsthandles::ObjectUnref>;
using GstDevicePtr = std::unique_ptr<GstDevice, gsthandles::ObjectUnref>;
using GstDeviceMonitorPtr = std::unique_ptr<GstDeviceMonitor, gsthandles::ObjectUnref>;
using GstSamplePtr = std::unique_ptr<GstSample, gsthandles::SampleUnref>;
using GstBufferPtr = std::unique_ptr<GstBuffer, gsthandles::BufferUnref>;
using GstMessagePtr = std::unique_ptr<GstMessage, gsthandles::MessageUnref>;
using GstCapsPtr = std::unique_ptr<GstCaps, gsthandles::CapsUnref>;
using GErrorPtr = std::unique_ptr<GError, gsthandles::ErrorFree>;
using GstStructurePtr = std::unique_ptr<GstStructure, gsthandles::StructureFree>;
using GCharPtr = std::unique_ptr<gchar, gsthandles::CharFree>;

// Takes ownership of a floating reference (element factories return those).
inline GstElementPtr adoptFloating(GstElement* element) {
    if (element != nullptr)
        gst_object_ref_sink(element);
    return GstElementPtr(element);
}

// A buffer's memory mapped for the guard's lifetime; test it before use.
class GstBufferMapping {
public:
    GstBufferMapping(GstBuffer* buffer, GstMapFlags flags)
        : buffer_(buffer)
        , mapped_(buffer != nullptr && gst_buffer_map(buffer, &info_, flags)) {}
    ~GstBufferMapping() {
        if (mapped_)
            gst_buffer_unmap(buffer_, &info_);
    }
    GstBufferMapping(const GstBufferMapping&) = delete;
    GstBufferMapping& operator=(const GstBufferMapping&) = delete;

    explicit operator bool() const { return mapped_; }
    guint8* data() const { return info_.data; }

private:
    GstBuffer* buffer_;
    GstMapInfo info_{};
    bool mapped_;
};

// A video frame mapped for the guard's lifetime; test it before use. No
// info or no buffer maps nothing.
class GstVideoFrameMapping {
public:
    GstVideoFrameMapping(GstVideoInfo* info, GstBuffer* buffer, GstMapFlags flags)
        : mapped_(info != nullptr && buffer != nullptr &&
                  gst_video_frame_map(&frame_, info, buffer, flags)) {}
    ~GstVideoFrameMapping() {
        if (mapped_)
            gst_video_frame_unmap(&frame_);
    }
    GstVideoFrameMapping(const GstVideoFrameMapping&) = delete;
    GstVideoFrameMapping& operator=(const GstVideoFrameMapping&) = delete;

    explicit operator bool() const { return mapped_; }
    GstVideoFrame* get() { return &frame_; }

private:
    GstVideoFrame frame_{};
    bool mapped_;
};
