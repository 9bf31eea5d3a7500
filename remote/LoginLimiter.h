#pragma once

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

// Wrong passwords per client address: the fifth within a minute shuts the
// address out for a minute. Safe to call from any thread.
class LoginLimiter final {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int MaxFailures = 5;
    static constexpr std::chrono::seconds Window{60};
    static constexpr std::chrono::seconds Lockout{60};
    // Addresses remembered at most; the oldest news is forgotten first.
    static constexpr std::size_t MaxAddresses = 4096;

    bool blocked(const std::string& address, Clock::time_point now);
    void failed(const std::string& address, Clock::time_point now);

private:
    struct Record {
        std::deque<Clock::time_point> failures;
        Clock::time_point blockedUntil{};
    };
    void forgetStale(Clock::time_point now);

    std::mutex m_mutex;
    std::unordered_map<std::string, Record> m_records;
};
