#include "MotionMeasure.h"

#include <QLocale>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>

std::size_t MotionMeasure::destinationCapacity(std::size_t n) {
    return std::size_t(std::floor(double(n) * 1.1 + 12.0));
}

float MotionMeasure::deviation(std::int32_t size, std::int32_t base) {
    const std::int64_t difference = std::llabs(std::int64_t(size) - base) * 100;
    const double percent = double(difference) / double(base);
    // nearbyint rounds half to even in the default rounding mode.
    return float(std::nearbyint(percent * 100.0) / 100.0);
}

QString MotionMeasure::panelText(float deviation, float threshold) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(double(deviation), 'f', 2) + QStringLiteral("%  (") +
           thresholdText(threshold) + QStringLiteral("%)");
}

QString MotionMeasure::thresholdText(float threshold) {
    // The float's own shortest form: 1.2F reads "1.2", not 1.2000000476...
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), threshold);
    return QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
}
