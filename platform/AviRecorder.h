#pragma once

#include "BusRelay.h"
#include "GstHandles.h"

#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

// One recording: its own pipeline from an appsrc fed with the live frames
// (bottom-up BGR), through a JPEG encoder into an AVI file, optionally with
// a PCM audio track. The file is written unbuffered so that a killed
// program leaves every frame already encoded on disk.
class AviRecorder {
public:
    enum class Audio { None, Microphone, Synthetic };
    struct Settings {
        QString path;
        int width = 0;
        int height = 0;
        int framesPerSecond = 0;
        Audio audio = Audio::None;
        bool mjpeg = true; // else uncompressed YUY2
        int quality = 85;
        int audioRate = 22050;
        int audioChannels = 1;
    };

    // `onError` runs on the thread of `context` when the recording fails
    // mid-way, e.g. on a write error.
    AviRecorder(QObject* context, BusRelay::ErrorHandler onError);
    ~AviRecorder();
    AviRecorder(const AviRecorder&) = delete;
    AviRecorder& operator=(const AviRecorder&) = delete;

    bool start(const Settings& settings, QString* error);
    // Queues one frame; safe from any thread, ignored once stopped. Does
    // not take the caller's reference.
    void push(GstBuffer* frame);
    // Ends the streams and waits (bounded) until the muxer has written the
    // index and headers. False when that did not complete.
    bool stop(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Drops the pipeline without finishing the file (after an error).
    void abort();

    std::int64_t framesPushed() const { return frames_.load(); }

private:
    void close(bool finish, std::chrono::milliseconds timeout, bool* finished);

    QObject* context_;
    BusRelay::ErrorHandler onError_;
    std::mutex mutex_; // guards open_ against pushes from streaming threads
    bool open_ = false;
    GstElementPtr pipeline_;
    GstElementPtr video_;
    GstElementPtr audio_;
    std::unique_ptr<BusRelay> bus_;
    // A shared lock on the file while it is written: the start-up repair of
    // another running copy of the program leaves it alone.
    std::unique_ptr<QFile> lock_;
    std::atomic<std::int64_t> frames_{0};
    int fps_ = 0;
};
