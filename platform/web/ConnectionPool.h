#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The web server's connections: a fixed number of threads, each serving
// one connection at a time, and a watchdog that cuts a connection whose
// deadline has passed. When every thread is busy the server stops
// accepting, so further clients wait in the system's backlog rather than
// in memory; a slow client is cut at its deadline, so slow clients cannot
// keep the threads for long.
//
// Deadlines are per connection: from the start of the TLS handshake, a
// client has HeaderTime to send a whole request, and no more than
// RequestBytes for it; while a response is being produced there is no
// limit; after it, the same limits hold again for the next request. The
// byte limit keeps a fast client from filling memory with header lines
// before its deadline. A thread asks for these through the static calls below, which
// act on the connection the calling thread serves.
class ConnectionPool final : public httplib::TaskQueue {
public:
    using Clock = std::chrono::steady_clock;

    // `announce` is called with the pool once it runs and with nullptr as
    // it goes, so an owner of the server can reach it in between.
    using Announce = std::function<void(ConnectionPool*)>;
    ConnectionPool(std::size_t threads, std::chrono::milliseconds headerTime,
                   std::size_t requestBytes, Announce announce);
    ~ConnectionPool() override;
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    void enqueue(std::function<void()> fn) override;
    void shutdown() override;

    // Called by the TLS layer when a handshake starts on `fd` on this thread.
    static void watch(int fd);
    // Called by the TLS layer for each record received on this thread; a
    // request that grows past the byte limit is cut at once.
    static void received(std::size_t bytes);
    // The connection of the calling thread may take as long as it needs
    // (a response is being produced or sent).
    static void unlimited();
    // The connection of the calling thread must bring its next request
    // within the header time from now.
    static void expectRequest();

    // Cuts every connection and lets the threads end once the queue is
    // empty; the accepting thread is no longer held back.
    void closeAll();

    // Connections cut by the watchdog so far.
    std::size_t cut() const;

private:
    struct Slot {
        int fd = -1;
        dev_t device = 0;
        ino_t inode = 0;
        Clock::time_point deadline = Clock::time_point::max();
        std::size_t received = 0; // since the request began
    };
    void work(std::size_t index);
    void watchdog();
    void setDeadline(Clock::time_point deadline);
    // With the lock held: shuts the socket of a slot down if it is still
    // the one watched.
    bool cutSlot(Slot& slot);

    const std::chrono::milliseconds m_headerTime;
    const std::size_t m_requestBytes;
    const Announce m_announce;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_queue;
    std::vector<Slot> m_slots;
    std::size_t m_busy = 0;
    std::size_t m_cut = 0;
    bool m_shutdown = false;
    std::vector<std::thread> m_threads;
    std::thread m_watchdog;
};
