#include "CompressionWorker.h"

#include <utility>

CompressionWorker::CompressionWorker(int level, QObject* parent)
    : QObject(parent)
    , m_zlib(level)
    , m_thread([this](const std::stop_token& stop) { run(stop); }) {}

CompressionWorker::~CompressionWorker() {
    m_thread.request_stop();
    m_wake.notify_all();
    m_thread.join();
}

void CompressionWorker::start(std::vector<std::uint8_t>& frame, std::size_t capacity,
                              std::uint64_t tag) {
    Q_ASSERT(!m_busy);
    m_busy = true;
    {
        const std::lock_guard lock(m_mutex);
        std::swap(m_source, frame);
        m_capacity = capacity;
        m_tag = tag;
        m_job = true;
    }
    m_wake.notify_one();
}

void CompressionWorker::run(const std::stop_token& stop) {
    std::unique_lock lock(m_mutex);
    while (m_wake.wait(lock, stop, [this] { return m_job; })) {
        const std::uint64_t tag = m_tag;
        const std::size_t m = m_capacity;
        lock.unlock();
        // The source is ours until the job is marked done: start() is only
        // called after compressed() was delivered.
        // The same length as compress2() into m bytes (0 when it would not
        // fit), counted through the kept stream's small scratch buffer: no
        // deflate state is set up anew and no frame-sized output is written.
        const std::size_t counted = m_zlib.compressedLength(m_source.data(), m_source.size());
        const std::size_t length = counted <= m ? counted : 0;
        lock.lock();
        m_job = false;
        // Queued: the owner's thread takes the result between its events.
        QMetaObject::invokeMethod(
            this, [this, tag, length] { deliver(tag, length); }, Qt::QueuedConnection);
    }
}

void CompressionWorker::deliver(std::uint64_t tag, std::size_t length) {
    m_busy = false;
    Q_EMIT compressed(tag, length);
}
