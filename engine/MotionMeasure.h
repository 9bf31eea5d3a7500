#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

// The arithmetic of motion detection: a frame is measured by its compressed
// size, and its deviation is the relative difference to the base image's
// size in percent.
class MotionMeasure final {
public:
    static constexpr int Level = 9;

    // Room for the compressed frame: Int(n * 1.1 + 12), more than deflate
    // can ever need at level 9.
    static std::size_t destinationCapacity(std::size_t n);

    // |size - base| * 100 / base in percent, rounded to two decimals with a
    // half going to the even neighbour. base must be positive.
    static float deviation(std::int32_t size, std::int32_t base);

    // Panel 1: "3.50%  (4%)" - the deviation with two decimals in the
    // locale's notation, then the threshold in its shortest form.
    static QString panelText(float deviation, float threshold);
    static QString thresholdText(float threshold);
};
