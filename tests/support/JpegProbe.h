#pragma once

#include <QImage>
#include <QString>

#include <array>
#include <cstdint>

// Reads a JPEG file back with libjpeg-turbo's decoder: its size, its pixels
// and the quantisation tables it was encoded with.
class JpegProbe final {
public:
    using Table = std::array<std::uint16_t, 64>; // natural (row-major) order

    struct Result {
        bool ok = false;
        QString error;
        int width = 0;
        int height = 0;
        int components = 0;
        QImage pixels; // Format_RGB32
        Table luminance{};
        Table chrominance{};
    };

    static Result read(const QString& path);

    // The example tables of ITU-T T.81 Annex K scaled for a quality as the
    // libjpeg manual describes (baseline, entries 1 to 255).
    static Table standardTable(bool chrominance, int quality);

    // Mean absolute difference per colour channel between two pictures of
    // the same size; a large value when the sizes differ.
    static double meanError(const QImage& a, const QImage& b);
};
