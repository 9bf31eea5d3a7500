#pragma once

#include <cstdint>
#include <optional>

class RegistryView;

// The desktop's idle-sleep setting presented as the registry's power
// scheme: scheme "0" whose user power policy record holds the idle time on
// mains power at offset 28. GNOME keeps the setting in gsettings
// (org.gnome.settings-daemon.plugins.power: sleep-inactive-ac-timeout, and
// sleep-inactive-ac-type, where only "suspend" and "hibernate" sleep);
// elsewhere nothing is known and the view stays without a scheme.
class PowerScheme final {
public:
    // Seconds of idle time before the system sleeps on mains power, 0 when
    // it never does; nothing when the desktop's setting cannot be read.
    static std::optional<std::uint32_t> idleSleepSeconds();
    // Adds the scheme values for that idle time to the view.
    static void present(RegistryView& view, std::uint32_t idleSeconds);
    // Both: true when the desktop's setting was found.
    static bool presentDesktopSetting(RegistryView& view);

    static constexpr int PolicyRecordBytes = 76;
    static constexpr int IdleTimeoutAcOffset = 28;
};
