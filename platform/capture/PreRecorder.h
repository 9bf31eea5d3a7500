#pragma once

#include "BusRelay.h"
#include "GstHandles.h"

#include <gst/app/gstappsink.h>

#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

class AviRecorder;

// The seconds before a trigger: while armed, every live frame is encoded to
// JPEG at once and the newest few seconds of them are kept, so that a
// recording can begin with what came before the frame that started it.
// Motion JPEG frames are all key frames, so any kept frame can open a file.
//
// A recording attached to it takes the kept frames first and then every
// frame as it leaves the encoder, all in the order they were taken, so the
// file has no gap and no frame twice.
class PreRecorder {
public:
    struct Settings {
        int width = 0;
        int height = 0;
        int framesPerSecond = 0;
        int quality = 85;
        int seconds = 0;
        bool operator==(const Settings&) const = default;
    };

    PreRecorder(QObject* context, BusRelay::ErrorHandler onError);
    ~PreRecorder();
    PreRecorder(const PreRecorder&) = delete;
    PreRecorder& operator=(const PreRecorder&) = delete;

    bool start(const Settings& settings, QString* error);
    const Settings& settings() const { return settings_; }
    // Queues one live frame (top-down BGR) for encoding; safe from any
    // thread. Does not take the caller's reference.
    void push(GstBuffer* frame);
    // Hands the newest `frames` kept frames to `recorder` (as many as it
    // was started with; one more may have come since), then every new
    // one, until detach.
    void attach(const std::shared_ptr<AviRecorder>& recorder, std::size_t frames);
    void detach();

    // What the kept frames occupy: at most seconds x rate frames.
    std::int64_t keptBytes() const;
    std::int64_t keptFrames() const;

private:
    static GstFlowReturn onEncoded(GstAppSink* sink, gpointer data);
    void take(GstBufferPtr frame);

    QObject* context_;
    BusRelay::ErrorHandler onError_;
    Settings settings_;
    GstElementPtr pipeline_;
    GstElementPtr source_;
    std::unique_ptr<BusRelay> bus_;
    std::uint64_t pushed_ = 0;

    mutable std::mutex mutex_;
    std::deque<GstBufferPtr> kept_;
    std::size_t capacity_ = 0;
    std::int64_t keptBytes_ = 0;
    std::shared_ptr<AviRecorder> recorder_;
};
