#pragma once

#include "FramePool.h"

#include <QObject>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// The compression control's workers: each compresses one frame at a time
// on a thread of its own with its own deflate stream, so consecutive
// frames are measured at the same time on different cores and a large
// frame never holds up the user-interface thread. The lengths come back as
// queued signals on the thread that owns this object, strictly in the
// order the frames were started, whichever worker finishes first. A frame
// goes to the first idle worker, so at a rate one worker keeps up with,
// one stream with its memory warm in the cache does all the work. The
// caller keeps at most one frame waiting for a free worker (see
// Surveillance::Frame_Handler); this object never queues more frames than
// it has workers.
class CompressionPool final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CompressionPool)

public:
    // Readies a copy of a frame's bytes for measuring, on the worker's
    // thread: the frame itself is shared and stays as it was.
    using Prepare = std::function<void(std::uint8_t* data, std::size_t size)>;
    // What measures a frame in place of the worker's own deflate stream
    // (for tests); called on the worker threads.
    using Compress = std::function<std::size_t(const std::uint8_t* data, std::size_t size)>;

    struct Job {
        FramePool::Frame frame;
        // At most this many compressed bytes; a longer result counts as 0.
        std::size_t capacity = 0;
        std::uint64_t tag = 0;
        Prepare prepare;
    };

    // More threads than this only add memory: a frame is kept per worker.
    static constexpr int MaxWorkers = 8;

    explicit CompressionPool(int level, QObject* parent = nullptr);
    // Waits for the compressions under way (a quarter of a second for a
    // 1920 x 1080 frame at most), then ends the threads.
    ~CompressionPool() override;

    // The cores this process may run on, at most MaxWorkers.
    static int automaticWorkers();
    // Sets the number of workers, 0 for automaticWorkers(). Workers that go
    // finish their frame first; the lengths still come in order.
    void setWorkers(int count);
    int workers() const { return int(m_workers.size()); }

    // A worker can take a frame now.
    bool idleWorker() const { return m_inFlight < workers(); }
    // A frame was started and its length has not been delivered yet.
    bool busy() const { return m_nextDelivery != m_nextStart; }

    // Hands the job to a free worker. Only while idleWorker().
    void start(Job job);

    // Replaces the deflate streams; an empty function restores them.
    void setCompression(Compress compress);

Q_SIGNALS:
    // The compressed length of the frame started with tag, 0 on failure,
    // in the order of start().
    void compressed(std::uint64_t tag, std::size_t length);
    // A worker finished its frame and can take another; follows the
    // lengths that became due with it.
    void workerFreed();

private:
    struct Queued {
        Job job;
        std::uint64_t sequence = 0;
    };
    struct Worker {
        // Owner's thread only: a job was handed over and is not back yet.
        bool busy = false;
        // Guarded by the pool's m_mutex.
        std::optional<Queued> job;
        std::condition_variable_any wake;
        // Last, so it ends before the rest of the worker goes.
        std::jthread thread;
    };
    struct Result {
        std::uint64_t tag = 0;
        std::size_t length = 0;
    };

    void run(const std::stop_token& stop, const std::weak_ptr<Worker>& self, Worker& worker);
    void finished(Worker* worker, std::uint64_t sequence, std::uint64_t tag, std::size_t length);
    void endThreads();

    const int m_level;
    // Owner's thread only.
    int m_inFlight = 0;
    std::uint64_t m_nextStart = 0;
    std::uint64_t m_nextDelivery = 0;
    // Lengths that came back before those of earlier frames.
    std::map<std::uint64_t, Result> m_parked;
    bool m_delivering = false;
    // Guarded by m_mutex.
    std::mutex m_mutex;
    Compress m_compress;
    // Owned here only: a result that comes back after a change of the
    // worker count finds its worker gone.
    std::vector<std::shared_ptr<Worker>> m_workers;
};
