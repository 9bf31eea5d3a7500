#include "SourceDecoder.h"

#include <gst/pbutils/missing-plugins.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

constexpr GstClockTime prerollTimeout = 10 * GST_SECOND;
constexpr std::size_t maxSharedBytes = std::size_t(1) << 30;

// One line to the recorder; a text never breaks the line protocol.
void say(std::string line) {
    for (char& c : line)
        if (c == '\n' || c == '\r')
            c = ' ';
    line += '\n';
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

std::string schemeOf(const std::string& url) {
    GCharPtr scheme(g_uri_parse_scheme(url.c_str()));
    std::string s = scheme ? scheme.get() : "";
    for (char& c : s)
        c = char(g_ascii_tolower(c));
    return s;
}

std::string headOf(const std::string& scheme) {
    // Over TCP a server that goes away is noticed at once, and the stream
    // passes where UDP is blocked.
    if (scheme == "rtsp")
        return "rtspsrc name=src protocols=tcp latency=200 ! decodebin";
    // A multipart stream never says it has no more parts, so a decodebin
    // would wait for them forever; the parts are stamped as they arrive.
    if (scheme == "http" || scheme == "https")
        return "souphttpsrc name=src is-live=true do-timestamp=true "
               "! multipartdemux name=demux single-stream=true ! jpegparse name=parse ! jpegdec";
    if (scheme == "file")
        return "filesrc name=src ! decodebin";
    return {};
}

GstElementPtr byName(GstElement* bin, const char* name) {
    return GstElementPtr(gst_bin_get_by_name(GST_BIN(bin), name));
}

void addProbe(GstElement* element, const char* pad, GstPadProbeType type,
              GstPadProbeCallback callback, gpointer data) {
    if (element == nullptr)
        return;
    if (GstPadPtr p(gst_element_get_static_pad(element, pad)); p)
        gst_pad_add_probe(p.get(), type, callback, data, nullptr);
}

} // namespace

SourceDecoder::SourceDecoder(Settings settings)
    : settings_(std::move(settings))
    , loops_(schemeOf(settings_.url) == "file") {}

SourceDecoder::~SourceDecoder() {
    if (pipeline_)
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    if (loop_ != nullptr)
        g_main_loop_unref(loop_);
}

std::string SourceDecoder::launchDescription(const Settings& s) {
    const std::string head = headOf(schemeOf(s.url));
    if (head.empty())
        return {};
    std::string format = "video/x-raw,format=BGR,";
    if (s.width > 0 && s.height > 0)
        format += "width=" + std::to_string(s.width) + ",height=" + std::to_string(s.height) + ",";
    format += "framerate=" + std::to_string(s.framesPerSecond) + "/1,pixel-aspect-ratio=1/1";
    // A file is played at its own pace by the sink's clock; a live source
    // is paced by its sender.
    const std::string sink =
        s.socketPath.empty()
            ? std::string("fakesink name=sink sync=false")
            : std::string("shmsink name=sink wait-for-connection=false perms=384") +
                  (schemeOf(s.url) == "file" ? " sync=true" : " sync=false");
    return head +
           " ! videoconvert name=convert ! videoscale ! videorate ! capsfilter name=format "
           "caps=\"" +
           format + "\" ! " + sink;
}

std::string SourceDecoder::debianPackageFor(const std::string& detail) {
    // The last field names what is missing: "decoder-video/x-h265, ...".
    const std::size_t dash = detail.rfind('|');
    const std::string wanted = dash == std::string::npos ? detail : detail.substr(dash + 1);
    const auto has = [&](const char* text) { return wanted.find(text) != std::string::npos; };
    if (has("video/x-h264") || has("video/x-h265"))
        return "gstreamer1.0-libav and gstreamer1.0-plugins-bad";
    if (has("video/mpeg") || has("video/x-divx") || has("video/x-xvid") || has("video/x-msmpeg") ||
        has("video/x-cinepak") || has("video/x-h263") || has("video/x-wmv") ||
        has("video/x-flash-video"))
        return "gstreamer1.0-libav";
    if (has("video/x-theora") || has("application/ogg"))
        return "gstreamer1.0-plugins-base";
    if (has("video/x-vp8") || has("video/x-vp9") || has("image/jpeg") || has("video/x-matroska") ||
        has("video/quicktime") || has("video/x-msvideo") || has("application/x-rtp"))
        return "gstreamer1.0-plugins-good";
    return "gstreamer1.0-plugins-bad or gstreamer1.0-libav";
}

std::string SourceDecoder::oversized(const GstCaps* caps) {
    if (caps == nullptr || gst_caps_get_size(caps) == 0)
        return {};
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    int width = 0;
    int height = 0;
    gst_structure_get_int(s, "width", &width);
    gst_structure_get_int(s, "height", &height);
    if (width <= maxSide && height <= maxSide)
        return {};
    return "the picture is " + std::to_string(width) + " x " + std::to_string(height) +
           ", larger than " + std::to_string(maxSide) + " x " + std::to_string(maxSide);
}

void SourceDecoder::refuse(const std::string& why) {
    // Called from a streaming thread before the picture is held: leaving at
    // once is the one way to be sure nothing more is allocated for it.
    say("error " + why);
    _exit(1);
}

GstPadProbeReturn SourceDecoder::onCaps(GstPad*, GstPadProbeInfo* info, gpointer) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (event != nullptr && GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        if (const std::string why = oversized(caps); !why.empty())
            refuse(why);
    }
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn SourceDecoder::onPartBytes(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* self = static_cast<SourceDecoder*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    const auto bytes = std::int64_t(buffer != nullptr ? gst_buffer_get_size(buffer) : 0);
    // The demuxer keeps a part until its end marker comes.
    if (self->partBytes_.fetch_add(bytes) + bytes > maxPartBytes)
        refuse("a part of the stream is larger than " + std::to_string(maxPartBytes >> 20) + " MB");
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn SourceDecoder::onPartOut(GstPad*, GstPadProbeInfo*, gpointer data) {
    static_cast<SourceDecoder*>(data)->partBytes_ = 0;
    return GST_PAD_PROBE_OK;
}

// The recorder is set up for the first size: a source that changes its own
// later counts as failing, and is opened again at its new size. Frames the
// recorder holds (a recording's queue, the pre-record encoder) stay in the
// shared memory until it lets them go, so that holds as many; it is sized
// here, before a frame is allocated in it.
GstPadProbeReturn SourceDecoder::onSinkCaps(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    auto* self = static_cast<SourceDecoder*>(data);
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    GstCaps* caps = nullptr;
    GstVideoInfo video;
    if (event == nullptr || GST_EVENT_TYPE(event) != GST_EVENT_CAPS)
        return GST_PAD_PROBE_OK;
    gst_event_parse_caps(event, &caps);
    if (caps == nullptr || !gst_video_info_from_caps(&video, caps))
        return GST_PAD_PROBE_OK;
    const int width = GST_VIDEO_INFO_WIDTH(&video);
    const int height = GST_VIDEO_INFO_HEIGHT(&video);
    if (self->width_ == 0) {
        self->width_ = width;
        self->height_ = height;
    } else if (width != self->width_ || height != self->height_) {
        refuse("the source changed its picture size from " + std::to_string(self->width_) + " x " +
               std::to_string(self->height_) + " to " + std::to_string(width) + " x " +
               std::to_string(height));
    }
    if (self->settings_.socketPath.empty())
        return GST_PAD_PROBE_OK;
    GstElementPtr sink(gst_pad_get_parent_element(pad));
    // Bounded for the largest pictures, where fewer frames fit.
    const std::size_t frame = GST_VIDEO_INFO_SIZE(&video);
    const std::size_t bytes = std::max(
        std::min(frame * std::size_t(self->settings_.sharedFrames), maxSharedBytes), 4 * frame);
    guint now = 0;
    g_object_get(sink.get(), "shm-size", &now, nullptr);
    if (bytes > now)
        g_object_set(sink.get(), "shm-size", guint(bytes), nullptr);
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn SourceDecoder::onFirstFrame(GstPad*, GstPadProbeInfo*, gpointer data) {
    auto* self = static_cast<SourceDecoder*>(data);
    say("size " + std::to_string(self->width_) + " " + std::to_string(self->height_));
    if (self->settings_.socketPath.empty())
        self->finish(0);
    return GST_PAD_PROBE_REMOVE;
}

void SourceDecoder::watchDecoder(GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    const gchar* klass = factory != nullptr
                             ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS)
                             : nullptr;
    // A parser or demuxer states the picture's size before the decoder
    // allocates for it.
    if (klass != nullptr && g_strrstr(klass, "Decoder") != nullptr)
        addProbe(element, "sink", GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &SourceDecoder::onCaps,
                 this);
}

void SourceDecoder::onElementAdded(GstBin*, GstBin*, GstElement* element, gpointer self) {
    static_cast<SourceDecoder*>(self)->watchDecoder(element);
}

void SourceDecoder::watchStream() {
    GstElement* pipeline = pipeline_.get();
    g_signal_connect(pipeline, "deep-element-added", G_CALLBACK(&SourceDecoder::onElementAdded),
                     this);
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        watchDecoder(GST_ELEMENT(g_value_get_object(&item)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    // Whatever decoded it, the raw picture is checked once more.
    addProbe(byName(pipeline, "convert").get(), "sink", GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM,
             &SourceDecoder::onCaps, this);
    addProbe(byName(pipeline, "demux").get(), "sink", GST_PAD_PROBE_TYPE_BUFFER,
             &SourceDecoder::onPartBytes, this);
    addProbe(byName(pipeline, "parse").get(), "sink", GST_PAD_PROBE_TYPE_BUFFER,
             &SourceDecoder::onPartOut, this);
    GstElementPtr sink = byName(pipeline, "sink");
    addProbe(sink.get(), "sink", GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &SourceDecoder::onSinkCaps,
             this);
    addProbe(sink.get(), "sink", GST_PAD_PROBE_TYPE_BUFFER, &SourceDecoder::onFirstFrame, this);
}

// A file plays as one endless segment: each pass ends in a segment-done
// message instead of end of stream and the next pass is queued without a
// flush, so the running time goes on without a gap.
bool SourceDecoder::startLooping() {
    gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED);
    if (gst_element_get_state(pipeline_.get(), nullptr, nullptr, prerollTimeout) !=
        GST_STATE_CHANGE_SUCCESS)
        return false;
    return gst_element_seek(pipeline_.get(), 1.0, GST_FORMAT_TIME,
                            GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_SEGMENT),
                            GST_SEEK_TYPE_SET, 0, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
}

void SourceDecoder::finish(int code) {
    exitCode_ = code;
    g_main_loop_quit(loop_);
}

gboolean SourceDecoder::onMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* self = static_cast<SourceDecoder*>(data);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ELEMENT:
        if (gst_is_missing_plugin_message(message) && self->missing_.empty()) {
            GCharPtr description(gst_missing_plugin_message_get_description(message));
            GCharPtr detail(gst_missing_plugin_message_get_installer_detail(message));
            self->missing_ = std::string("missing a plug-in: ") +
                             (description ? description.get() : "a decoder") + " (Debian package " +
                             debianPackageFor(detail ? detail.get() : "") + ")";
        }
        break;
    case GST_MESSAGE_ERROR: {
        GError* raw = nullptr;
        gst_message_parse_error(message, &raw, nullptr);
        GErrorPtr error(raw);
        const bool refused = error && g_error_matches(error.get(), GST_RESOURCE_ERROR,
                                                      GST_RESOURCE_ERROR_NOT_AUTHORIZED);
        const std::string text = !self->missing_.empty()
                                     ? self->missing_
                                     : std::string(GST_OBJECT_NAME(GST_MESSAGE_SRC(message))) +
                                           ": " + (error ? error->message : "unknown error");
        say((refused ? "refused " : "error ") + text);
        self->finish(1);
        break;
    }
    case GST_MESSAGE_SEGMENT_DONE:
        gst_element_seek(self->pipeline_.get(), 1.0, GST_FORMAT_TIME, GST_SEEK_FLAG_SEGMENT,
                         GST_SEEK_TYPE_SET, 0, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
        break;
    case GST_MESSAGE_EOS:
        // Only a file that cannot be played as a segment ends here.
        if (self->loops_ &&
            gst_element_seek_simple(self->pipeline_.get(), GST_FORMAT_TIME,
                                    GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0))
            break;
        say("error the device stopped delivering frames");
        self->finish(1);
        break;
    default:
        break;
    }
    return G_SOURCE_CONTINUE;
}

gboolean SourceDecoder::onInput(GIOChannel* channel, GIOCondition condition, gpointer data) {
    char chunk[256];
    gsize got = 0;
    const bool closed =
        (condition & (G_IO_HUP | G_IO_ERR)) != 0 ||
        g_io_channel_read_chars(channel, chunk, sizeof chunk, &got, nullptr) != G_IO_STATUS_NORMAL;
    if (!closed)
        return G_SOURCE_CONTINUE;
    // The recorder went away or let us go.
    static_cast<SourceDecoder*>(data)->finish(0);
    return G_SOURCE_CONTINUE; // removed with the loop's end
}

int SourceDecoder::run() {
    const std::string description = launchDescription(settings_);
    if (description.empty()) {
        say("error Sentorix reads rtsp://, http://, https:// and file:// addresses");
        return 1;
    }
    GError* rawError = nullptr;
    pipeline_ = adoptFloating(gst_parse_launch(description.c_str(), &rawError));
    GErrorPtr parseError(rawError);
    if (!pipeline_) {
        say(std::string("error ") + (parseError ? parseError->message : "cannot build pipeline"));
        return 1;
    }
    GstElementPtr source = byName(pipeline_.get(), "src");
    if (loops_) {
        GCharPtr path(g_filename_from_uri(settings_.url.c_str(), nullptr, nullptr));
        g_object_set(source.get(), "location", path ? path.get() : "", nullptr);
    } else {
        g_object_set(source.get(), "location", settings_.url.c_str(), nullptr);
    }
    if (!settings_.socketPath.empty())
        g_object_set(byName(pipeline_.get(), "sink").get(), "socket-path",
                     settings_.socketPath.c_str(), nullptr);
    watchStream();

    loop_ = g_main_loop_new(nullptr, FALSE);
    GstBusPtr bus(gst_element_get_bus(pipeline_.get()));
    const guint busWatch = gst_bus_add_watch(bus.get(), &SourceDecoder::onMessage, this);
    GIOChannel* input = g_io_channel_unix_new(STDIN_FILENO);
    g_io_channel_set_encoding(input, nullptr, nullptr);
    const guint inputWatch = g_io_add_watch(input, GIOCondition(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                            &SourceDecoder::onInput, this);

    // Without a segment a file still loops, from its end of stream.
    if (loops_ && !settings_.socketPath.empty())
        startLooping();
    gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING);
    g_main_loop_run(loop_);

    g_source_remove(inputWatch);
    g_io_channel_unref(input);
    g_source_remove(busWatch);
    gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
    return exitCode_;
}
