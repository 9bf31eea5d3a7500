#pragma once

#include <cstdint>

// The header that comes with every frame event. Field order follows the
// classic VIDEOHDR of video-capture drivers; the program reads lpData and
// dwBytesUsed. The frame bytes are 24-bit BGR rows, bottom-up, each row
// padded to a multiple of 4 bytes.
struct VideoHeader {
    const std::uint8_t* lpData = nullptr;
    std::uint32_t dwBufferLength = 0;
    std::uint32_t dwBytesUsed = 0;
    std::uint32_t dwTimeCaptured = 0; // ms since the device was opened
    std::uintptr_t dwUser = 0;
    std::uint32_t dwFlags = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};
