#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// Writes a 24-bit BMP: BITMAPFILEHEADER, BITMAPINFOHEADER, then the rows
// bottom-up, each padded to a multiple of 4 bytes - the frames' own layout.
class DibFile {
public:
    static std::size_t paddedStride(int width) {
        return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    }

    // `rows` holds `height` bottom-up BGR rows, `stride` bytes apart.
    static bool write(const QString& path, const std::uint8_t* rows, int width, int height,
                      std::size_t stride, QString* error = nullptr);
};
