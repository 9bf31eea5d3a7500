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
// client has HeaderTime to send a whole request; while a response is being
// produced there is none; after it, it has the same time again for the
// next. A thread asks for these through the static calls below, which
// act on the connection the calling thread serves.
class ConnectionPool final : public httplib::TaskQueue {
public:
    using Clock = std::chrono::steady_clock;

    // `announce` is called with the pool once it runs and with nullptr as
    // it goes, so an owner of the server can reach it in between.
    using Announce = std::function<void(ConnectionPool*)>;
    ConnectionPool(std::size_t threads, std::chrono::milliseconds headerTime, Announce announce);
    ~ConnectionPool() override;
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    void enqueue(std::function<void()> fn) override;
    void shutdown() override;

    // Called by the TLS layer when a handshake starts on `fd` on this thread.
    static void watch(int fd);
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
    };
    void work(std::size_t index);
    void watchdog();
    void setDeadline(Clock::time_point deadline);
    // With the lock held: shuts the socket of a slot down if it is still
    // the one watched.
    bool cutSlot(Slot& slot);

    const std::chrono::milliseconds m_headerTime;
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
