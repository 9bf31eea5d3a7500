#pragma once

#include <array>

// The entries of the Sensitivity menu by list index - 1: the caption and
// the deviation in percent from which each detects motion. The menu, the
// program and the deviation plot all read them here.
struct SensitivityPresets final {
    static constexpr std::array<const char*, 5> Captions{"&Very high", "&High", "&Medium", "&Low",
                                                         "V&ery low"};
    static constexpr std::array<double, 5> Thresholds{1.2, 2.0, 4.0, 6.0, 8.0};
};
