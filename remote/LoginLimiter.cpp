#include "LoginLimiter.h"

bool LoginLimiter::blocked(const std::string& address, Clock::time_point now) {
    const std::lock_guard lock(m_mutex);
    const auto found = m_records.find(address);
    return found != m_records.end() && now < found->second.blockedUntil;
}

void LoginLimiter::failed(const std::string& address, Clock::time_point now) {
    const std::lock_guard lock(m_mutex);
    if (m_records.size() >= MaxAddresses && !m_records.contains(address))
        forgetStale(now);
    Record& record = m_records[address];
    while (!record.failures.empty() && now - record.failures.front() >= Window)
        record.failures.pop_front();
    record.failures.push_back(now);
    if (int(record.failures.size()) >= MaxFailures) {
        record.blockedUntil = now + Lockout;
        record.failures.clear();
    }
}

void LoginLimiter::forgetStale(Clock::time_point now) {
    std::erase_if(m_records, [now](const auto& entry) {
        const Record& r = entry.second;
        return now >= r.blockedUntil && (r.failures.empty() || now - r.failures.back() >= Window);
    });
    // A flood from many addresses: what is left is dropped rather than grown.
    if (m_records.size() >= MaxAddresses)
        m_records.clear();
}
