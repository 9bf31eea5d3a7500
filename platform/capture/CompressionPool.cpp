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
    // The old workers finish the frame they hold before they end.
    endThreads();
    for (int i = 0; i < count; ++i) {
        auto worker = std::make_shared<Worker>();
        // The thread holds its worker weakly: the pool owns it.
        worker->thread = std::jthread([this, self = std::weak_ptr<Worker>(worker), &w = *worker](
                                          const std::stop_token& stop) { run(stop, self, w); });
        m_workers.push_back(std::move(worker));
    }
}

void CompressionPool::endThreads() {
    for (const std::shared_ptr<Worker>& worker : m_workers) {
        worker->thread.request_stop();
        worker->wake.notify_all();
    }
    for (const std::shared_ptr<Worker>& worker : m_workers)
        worker->thread.join();
    m_workers.clear();
}

void CompressionPool::setCompression(Compress compress) {
    const std::lock_guard lock(m_mutex);
    m_compress = std::move(compress);
}

void CompressionPool::start(Job job) {
    Q_ASSERT(idleWorker());
    const auto idle = std::find_if(m_workers.begin(), m_workers.end(),
                                   [](const std::shared_ptr<Worker>& w) { return !w->busy; });
    // Workers of an earlier count may still be in flight; the new ones are
    // then the idle ones.
    if (idle == m_workers.end())
        return;
    Worker& worker = **idle;
    worker.busy = true;
    ++m_inFlight;
    {
        const std::lock_guard lock(m_mutex);
        worker.job = Queued{std::move(job), m_nextStart++};
    }
    worker.wake.notify_one();
}

void CompressionPool::run(const std::stop_token& stop, const std::weak_ptr<Worker>& self,
                          Worker& worker) {
    // Named, so a per-thread look at the process tells the workers apart.
    pthread_setname_np(pthread_self(), "compress");
    ZLib zlib(m_level);
    // A prepared copy of the frame, kept from frame to frame.
    std::vector<std::uint8_t> prepared;
    std::unique_lock lock(m_mutex);
    // A job handed over before the stop is still done.
    while (worker.wake.wait(lock, stop, [&worker] { return worker.job.has_value(); })) {
        Queued queued = *std::exchange(worker.job, std::nullopt);
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
            [this, self, sequence = queued.sequence, tag, length] {
                finished(self.lock().get(), sequence, tag, length);
            },
            Qt::QueuedConnection);
        lock.lock();
    }
}

void CompressionPool::finished(Worker* worker, std::uint64_t sequence, std::uint64_t tag,
                               std::size_t length) {
    // A worker of an earlier count is gone; its length still counts.
    if (worker != nullptr)
        worker->busy = false;
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
