#pragma once

#include "GstHandles.h"

#include <atomic>
#include <cstdint>
#include <string>

// The helper process's side of a network camera or a video file: receives
// and decodes the source, converts it to top-down BGR at the asked size and
// rate, and hands the frames to the recorder through a shared-memory sink.
// What the source sends is untrusted, so this runs in a process of its own
// and refuses pictures and stream parts too large to hold.
//
// It talks to the recorder in lines on standard output:
//   size W H       the first frame went out, at W x H
//   error TEXT     it stopped, and why (the process then exits with 1)
//   refused TEXT   the source wants other credentials (exit 1)
// and ends when its standard input closes.
class SourceDecoder final {
public:
    struct Settings {
        std::string url;
        int framesPerSecond = 5;
        int width = 0; // 0: the source's own size
        int height = 0;
        std::string socketPath; // empty: only the first frame is waited for
        int sharedFrames = 8;   // frames the shared memory holds at once
    };

    static constexpr int maxSide = 8192;
    static constexpr std::int64_t maxPartBytes = 16 * 1024 * 1024;

    explicit SourceDecoder(Settings settings);
    ~SourceDecoder();
    SourceDecoder(const SourceDecoder&) = delete;
    SourceDecoder& operator=(const SourceDecoder&) = delete;

    // Runs until the source ends, fails or the input closes; the exit code.
    int run();

    // The pipeline text for `settings`; empty for an address of another kind.
    static std::string launchDescription(const Settings& settings);
    // The Debian package that brings what a missing-plugin message asks for,
    // from its installer detail ("gstreamer|1.0|app|description|decoder-CAPS").
    static std::string debianPackageFor(const std::string& installerDetail);
    // "the picture is W x H, larger than ..." for caps over the limit, else empty.
    static std::string oversized(const GstCaps* caps);

private:
    static gboolean onMessage(GstBus* bus, GstMessage* message, gpointer self);
    static gboolean onInput(GIOChannel* channel, GIOCondition condition, gpointer self);
    static GstPadProbeReturn onCaps(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static GstPadProbeReturn onSinkCaps(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static GstPadProbeReturn onFirstFrame(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static GstPadProbeReturn onPartBytes(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static GstPadProbeReturn onPartOut(GstPad* pad, GstPadProbeInfo* info, gpointer self);
    static void onElementAdded(GstBin* bin, GstBin* child, GstElement* element, gpointer self);
    void watchDecoder(GstElement* element);
    void watchStream();
    bool startLooping();
    void finish(int code);
    [[noreturn]] static void refuse(const std::string& why);

    Settings settings_;
    bool loops_ = false;
    GstElementPtr pipeline_;
    GMainLoop* loop_ = nullptr;
    int exitCode_ = 0;
    std::string missing_;
    std::atomic<std::int64_t> partBytes_{0};
    int width_ = 0; // of the first frame, set before it goes out
    int height_ = 0;
};
