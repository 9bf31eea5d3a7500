#include "ConnectionPool.h"

#include <sys/socket.h>
#include <sys/stat.h>

namespace {

// The pool and slot the calling thread serves, set for the pool's own
// threads only.
thread_local ConnectionPool* currentPool = nullptr;
thread_local std::size_t currentSlot = 0;

} // namespace

ConnectionPool::ConnectionPool(std::size_t threads, std::chrono::milliseconds headerTime,
                               std::size_t requestBytes, Announce announce)
    : m_headerTime(headerTime)
    , m_requestBytes(requestBytes)
    , m_announce(std::move(announce))
    , m_slots(threads) {
    for (std::size_t i = 0; i < threads; ++i)
        m_threads.emplace_back([this, i] { work(i); });
    m_watchdog = std::thread([this] { watchdog(); });
    if (m_announce)
        m_announce(this);
}

ConnectionPool::~ConnectionPool() {
    if (m_announce)
        m_announce(nullptr);
    shutdown();
}

void ConnectionPool::closeAll() {
    {
        const std::lock_guard lock(m_mutex);
        m_shutdown = true;
        for (Slot& slot : m_slots)
            cutSlot(slot);
    }
    m_changed.notify_all();
}

bool ConnectionPool::cutSlot(Slot& slot) {
    // The socket may have been closed a moment ago and its number given to
    // another file; only the same socket is cut.
    struct stat seen {};
    const bool same = slot.fd >= 0 && ::fstat(slot.fd, &seen) == 0 && seen.st_dev == slot.device &&
                      seen.st_ino == slot.inode;
    if (same)
        ::shutdown(slot.fd, SHUT_RDWR);
    slot.deadline = Clock::time_point::max();
    return same;
}

void ConnectionPool::enqueue(std::function<void()> fn) {
    std::unique_lock lock(m_mutex);
    // Back-pressure on the accepting thread: it takes the next client only
    // when a thread is free for it. At shutdown the queue is drained anyway,
    // each connection closed by the function itself.
    m_changed.wait(lock, [this] { return m_shutdown || m_busy + m_queue.size() < m_slots.size(); });
    m_queue.push_back(std::move(fn));
    m_changed.notify_all();
}

void ConnectionPool::shutdown() {
    {
        const std::lock_guard lock(m_mutex);
        if (m_shutdown && m_threads.empty())
            return;
        m_shutdown = true;
    }
    m_changed.notify_all();
    for (std::thread& t : m_threads)
        t.join();
    m_threads.clear();
    if (m_watchdog.joinable())
        m_watchdog.join();
}

void ConnectionPool::work(std::size_t index) {
    currentPool = this;
    currentSlot = index;
    for (;;) {
        std::function<void()> fn;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_shutdown || !m_queue.empty(); });
            if (m_queue.empty())
                return;
            fn = std::move(m_queue.front());
            m_queue.pop_front();
            ++m_busy;
        }
        fn(); // serves the connection and closes its socket
        {
            const std::lock_guard lock(m_mutex);
            m_slots[index] = Slot{};
            --m_busy;
        }
        m_changed.notify_all();
    }
}

void ConnectionPool::watchdog() {
    using namespace std::chrono_literals;
    std::unique_lock lock(m_mutex);
    while (!m_shutdown) {
        m_changed.wait_for(lock, 200ms);
        const Clock::time_point now = Clock::now();
        for (Slot& slot : m_slots) {
            if (slot.fd >= 0 && slot.deadline <= now && cutSlot(slot))
                ++m_cut;
        }
    }
}

void ConnectionPool::watch(int fd) {
    if (!currentPool)
        return;
    struct stat seen {};
    if (::fstat(fd, &seen) != 0)
        return;
    const std::lock_guard lock(currentPool->m_mutex);
    Slot& slot = currentPool->m_slots[currentSlot];
    // A handshake message later in the same connection (a key update)
    // changes nothing; the slot is cleared between connections.
    if (slot.fd == fd && slot.inode == seen.st_ino)
        return;
    slot.fd = fd;
    slot.device = seen.st_dev;
    slot.inode = seen.st_ino;
    slot.deadline = Clock::now() + currentPool->m_headerTime;
    slot.received = 0;
}

void ConnectionPool::received(std::size_t bytes) {
    if (!currentPool)
        return;
    const std::lock_guard lock(currentPool->m_mutex);
    Slot& slot = currentPool->m_slots[currentSlot];
    if (slot.deadline == Clock::time_point::max())
        return;
    slot.received += bytes;
    if (slot.received > currentPool->m_requestBytes && currentPool->cutSlot(slot))
        ++currentPool->m_cut;
}

void ConnectionPool::setDeadline(Clock::time_point deadline) {
    const std::lock_guard lock(m_mutex);
    m_slots[currentSlot].deadline = deadline;
    m_slots[currentSlot].received = 0;
}

void ConnectionPool::unlimited() {
    if (currentPool)
        currentPool->setDeadline(Clock::time_point::max());
}

void ConnectionPool::expectRequest() {
    if (currentPool)
        currentPool->setDeadline(Clock::now() + currentPool->m_headerTime);
}

std::size_t ConnectionPool::cut() const {
    const std::lock_guard lock(m_mutex);
    return m_cut;
}
