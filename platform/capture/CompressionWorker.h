#pragma once

#include "ZLib.h"

#include <QObject>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// The compression control's worker: compresses one frame at a time on a
// thread of its own, so a large frame never holds up the user-interface
// thread. The length comes back as a queued signal on the thread that owns
// this object. The caller keeps at most one frame waiting (see
// Surveillance::Frame_Handler); this object never queues.
class CompressionWorker final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CompressionWorker)

public:
    explicit CompressionWorker(int level, QObject* parent = nullptr);
    // Waits for a compression under way (a quarter of a second for a
    // 1920 x 1080 frame at most), then ends the thread.
    ~CompressionWorker() override;

    // True from start() until compressed() has been delivered.
    bool busy() const { return m_busy; }

    // Takes the frame's bytes (swapped out of frame, which gets an old
    // buffer back) and compresses them into at most capacity bytes. Only
    // while not busy().
    void start(std::vector<std::uint8_t>& frame, std::size_t capacity, std::uint64_t tag);

Q_SIGNALS:
    // The compressed length of the frame started with tag; 0 on failure.
    void compressed(std::uint64_t tag, std::size_t length);

private:
    void run(const std::stop_token& stop);
    void deliver(std::uint64_t tag, std::size_t length);

    bool m_busy = false;
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    // Guarded by m_mutex while the worker owns a job.
    std::vector<std::uint8_t> m_source;
    std::size_t m_capacity = 0;
    std::uint64_t m_tag = 0;
    bool m_job = false;
    // Used by the worker only.
    ZLib m_zlib;
    std::jthread m_thread;
};
