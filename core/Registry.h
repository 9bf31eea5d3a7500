#pragma once

#include <QString>

#include <cstdint>

class RegistryView;

// General reading of foreign registry values.
class Registry final {
public:
    static constexpr std::uint32_t HKEY_CLASSES_ROOT = 0x80000000;
    static constexpr std::uint32_t HKEY_CURRENT_USER = 0x80000001;
    static constexpr std::uint32_t HKEY_LOCAL_MACHINE = 0x80000002;
    static constexpr std::uint32_t HKEY_USERS = 0x80000003;
    static constexpr std::uint32_t HKEY_PERFORMANCE_DATA = 0x80000004;
    static constexpr std::uint32_t HKEY_CURRENT_CONFIG = 0x80000005;
    static constexpr std::uint32_t HKEY_DYN_DATA = 0x80000006;

    // The value as text: a 32-bit number as decimal with at least three
    // digits, a string without its terminating zero; empty when the root is
    // not a predefined one, the value is missing or longer than 255 bytes.
    static QString ReadRegValue(const RegistryView& view, std::uint32_t root, const QString& subkey,
                                const QString& name);
};
