#pragma once

#include <QImage>
#include <QString>

#include <array>
#include <cstdint>

// Reads a JPEG file back: its pixels, and the quantisation tables it was
// encoded with.
class JpegProbe final {
public:
    using Table = std::array<std::uint16_t, 64>; // in the file's (zig-zag) order

    struct Result {
        bool ok = false;
        QString error;
        QImage pixels; // Format_RGB32
        Table luminance{};
        Table chrominance{};
    };

    static Result read(const QString& path);
    // The table libjpeg's encoder uses at `quality` (baseline), read from a
    // picture Qt's JPEG writer encodes through it.
    static Table qualityTable(bool chrominance, int quality);
    // Mean absolute difference per colour channel; huge when the sizes differ.
    static double meanError(const QImage& a, const QImage& b);
};
