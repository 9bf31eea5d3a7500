#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// What makes a replaced file look like the one it replaces: its permission
// bits and its access and modification times. (The creation time cannot be
// set on this platform and is not kept.)
class FileIdentity final {
public:
    struct Time {
        std::int64_t seconds = 0;
        std::int64_t nanoseconds = 0;
        friend bool operator==(const Time&, const Time&) = default;
    };

    // The identity of the file at path; none when there is no such file.
    static std::optional<FileIdentity> of(const QString& path);

    // Give the file at path the remembered times, or the remembered
    // permission bits. False when the file cannot be changed.
    bool applyTimes(const QString& path) const;
    bool applyAttributes(const QString& path) const;

    std::uint32_t permissions() const { return m_permissions; }
    Time accessTime() const { return m_accessTime; }
    Time modificationTime() const { return m_modificationTime; }

private:
    FileIdentity() = default;

    std::uint32_t m_permissions = 0;
    Time m_accessTime;
    Time m_modificationTime;
};
