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
// (top-down BGR), through a JPEG encoder (or with frames a PreRecorder has
// encoded already) into an AVI file, optionally with
// a PCM audio track. The file is written unbuffered so that a killed
// program leaves every frame already encoded on disk.
//
// The file never runs into a full volume (or the file-size limit) on the
// normal road: a recording does not start without room for its first
// frames, and it stops taking frames while there is still room to finish
// the file, so that what it holds stays playable.
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
        // Frames arrive as JPEG already (from a PreRecorder), the first
        // `leadFrames` of them, `backlogBytes` together, from before the
        // start: the sound begins with silence as long as they last.
        bool encoded = false;
        std::int64_t backlogBytes = 0;
        int leadFrames = 0;
        int quality = 85;
        int audioRate = 22050;
        int audioChannels = 1;
    };

    // `onError` runs on the thread of `context` when the recording fails
    // mid-way, e.g. on a write error or when the volume is about full.
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

    // The recording could not start or had to end for lack of space.
    bool outOfSpace() const;
    const QString& path() const { return path_; }
    // Complete video frames in the file as it is on disk now.
    std::int64_t framesInFile() const;

private:
    void close(bool finish, std::chrono::milliseconds timeout, bool* finished);
    // What the file needs beyond its present size to take the next frame
    // and still be finished (index and headers).
    std::uint64_t reserveBytes(std::int64_t fileBytes) const;
    bool roomForAnotherFrame();

    QObject* context_;
    BusRelay::ErrorHandler onError_;
    // Guards open_ and the growth figures against pushes from streaming
    // threads.
    mutable std::mutex mutex_;
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
    QString path_;
    std::int64_t rawFrameBytes_ = 0;
    bool encoded_ = false;
    // Estimate of a frame's share of the file until one has been seen to
    // grow it; then the largest growth from one frame to the next.
    std::int64_t frameBudget_ = 0;
    std::int64_t largestGrowth_ = 0;
    std::int64_t lastFileBytes_ = 0;
    std::atomic<bool> full_{false};
};
