#include "CompressionPool.h"

#include "ZLib.h"

#include <QScopedValueRollback>

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <utility>

CompressionPool::CompressionPool(int level, QObject* parent)
    : QObject(parent)
    , m_level(level) {}

CompressionPool::~CompressionPool() {
    endThreads();
}

int CompressionPool::automaticWorkers() {
    // The affinity mask, not the machine's core count: a process limited to
    // fewer cores gains nothing from more threads.
    cpu_set_t set;
    CPU_ZERO(&set);
    int cores = sched_getaffinity(0, sizeof(set), &set) == 0 ? CPU_COUNT(&set) : 0;
    if (cores <= 0)
        cores = int(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, MaxWorkers);
}

void CompressionPool::setWorkers(int count) {
    count = count > 0 ? std::min(count, MaxWorkers) : automaticWorkers();
    if (count == workers())
        return;
    // The old threads take what is queued before they end; the new ones
    // find the queue empty.
    endThreads();
    for (int i = 0; i < count; ++i)
        m_threads.emplace_back([this](const std::stop_token& stop) { run(stop); });
}

void CompressionPool::endThreads() {
    for (std::jthread& thread : m_threads)
        thread.request_stop();
    m_wake.notify_all();
    m_threads.clear(); // joins
}

void CompressionPool::setCompression(Compress compress) {
    const std::lock_guard lock(m_mutex);
    m_compress = std::move(compress);
}

void CompressionPool::start(Job job) {
    Q_ASSERT(idleWorker());
    ++m_inFlight;
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back({std::move(job), m_nextStart++});
    }
    m_wake.notify_one();
}

void CompressionPool::run(const std::stop_token& stop) {
    // Named, so a per-thread look at the process tells the workers apart.
    pthread_setname_np(pthread_self(), "compress");
    ZLib zlib(m_level);
    // A prepared copy of the frame, kept from frame to frame.
    std::vector<std::uint8_t> prepared;
    std::unique_lock lock(m_mutex);
    while (m_wake.wait(lock, stop, [this] { return !m_jobs.empty(); })) {
        Queued queued = std::move(m_jobs.front());
        m_jobs.pop_front();
        const Compress compress = m_compress;
        lock.unlock();
        Job& job = queued.job;
        const std::uint8_t* data = job.frame->data();
        const std::size_t size = job.frame->size();
        if (job.prepare) {
            prepared.assign(data, data + size);
            job.prepare(prepared.data(), size);
            data = prepared.data();
        }
        // The same length as compress2() into capacity bytes (0 when it
        // would not fit), counted through the stream's small scratch
        // buffer: no deflate state is set up anew and no frame-sized
        // output is written.
        const std::size_t counted =
            compress ? compress(data, size) : zlib.compressedLength(data, size);
        const std::size_t length = counted <= job.capacity ? counted : 0;
        const std::uint64_t tag = job.tag;
        // The frame goes back to its pool before the next one is needed.
        job = Job{};
        // Queued: the owner's thread takes the result between its events.
        QMetaObject::invokeMethod(
            this,
            [this, sequence = queued.sequence, tag, length] { finished(sequence, tag, length); },
            Qt::QueuedConnection);
        lock.lock();
    }
}

void CompressionPool::finished(std::uint64_t sequence, std::uint64_t tag, std::size_t length) {
    --m_inFlight;
    m_parked.emplace(sequence, Result{tag, length});
    // A receiver that lets events run may bring the next length in here;
    // the outer loop delivers it, so the order holds.
    if (!m_delivering) {
        const QScopedValueRollback delivering(m_delivering, true);
        while (!m_parked.empty() && m_parked.begin()->first == m_nextDelivery) {
            const Result result = m_parked.begin()->second;
            m_parked.erase(m_parked.begin());
            ++m_nextDelivery;
            Q_EMIT compressed(result.tag, result.length);
        }
    }
    Q_EMIT workerFreed();
}
