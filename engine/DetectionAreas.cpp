#include "DetectionAreas.h"

#include "SettingsStore.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const QString Section = QStringLiteral("DETECTION");

QString maskKey(int n) {
    return QStringLiteral("Mask%1").arg(n);
}

// The pixel span [first, last) a percent span covers on an axis of `pixels`.
std::pair<std::size_t, std::size_t> span(double from, double length, std::uint32_t pixels) {
    const auto at = [pixels](double percent) {
        if (!std::isfinite(percent))
            return std::size_t{0};
        return std::size_t(std::llround(std::clamp(percent, 0.0, 100.0) / 100.0 * double(pixels)));
    };
    return {at(from), at(from + length)};
}

} // namespace

std::optional<QRectF> DetectionAreas::parse(const QString& text) {
    const QStringList parts = text.split(u',');
    if (parts.size() != 4)
        return std::nullopt;
    double v[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = parts[i].trimmed().toDouble(&ok);
        if (!ok)
            return std::nullopt;
    }
    return sane(QRectF(v[0], v[1], v[2], v[3]));
}

std::optional<QRectF> DetectionAreas::sane(const QRectF& mask) {
    const double v[4] = {mask.left(), mask.top(), mask.width(), mask.height()};
    if (!std::all_of(std::begin(v), std::end(v),
                     [](double x) { return std::isfinite(x) && x >= 0.0; }))
        return std::nullopt;
    const double left = std::min(v[0], 100.0), top = std::min(v[1], 100.0);
    const double right = std::min(v[0] + v[2], 100.0), bottom = std::min(v[1] + v[3], 100.0);
    if (!(right > left) || !(bottom > top))
        return std::nullopt;
    return QRectF(left, top, right - left, bottom - top);
}

QString DetectionAreas::format(const QRectF& mask) {
    return QStringList{QString::number(mask.left()), QString::number(mask.top()),
                       QString::number(mask.width()), QString::number(mask.height())}
        .join(u',');
}

QList<QRectF> DetectionAreas::read(const SettingsStore& store) {
    QList<QRectF> masks;
    for (int n = 1;; ++n) {
        const QString text = store.read(Section, maskKey(n), QString()).trimmed();
        if (text.isEmpty())
            return masks;
        if (const std::optional<QRectF> mask = parse(text))
            masks.append(*mask);
    }
}

bool DetectionAreas::write(SettingsStore& store, const QList<QRectF>& masks) {
    int stored = 0;
    while (!store.read(Section, maskKey(stored + 1), QString()).trimmed().isEmpty())
        ++stored;
    bool ok = true;
    for (int n = 1; n <= std::max(stored, int(masks.size())); ++n)
        ok = store.write(Section, maskKey(n),
                         n <= masks.size() ? format(masks[n - 1]) : QString()) &&
             ok;
    return ok;
}

float DetectionAreas::saneThreshold(double percent) {
    if (!std::isfinite(percent) || percent < 0.0)
        return 0.0F;
    return float(std::min(percent, 100.0));
}

float DetectionAreas::readThreshold(const SettingsStore& store) {
    bool ok = false;
    const double value =
        store.read(Section, QStringLiteral("Threshold"), QString()).trimmed().toDouble(&ok);
    return ok ? saneThreshold(value) : 0.0F;
}

bool DetectionAreas::writeThreshold(SettingsStore& store, float threshold) {
    return store.write(Section, QStringLiteral("Threshold"), QString::number(double(threshold)));
}

void DetectionAreas::apply(const QList<QRectF>& masks, std::uint8_t* data, std::size_t size,
                           std::uint32_t width, std::uint32_t height) {
    if (masks.isEmpty() || data == nullptr || width == 0 || height == 0)
        return;
    const std::size_t stride = (std::size_t(width) * 3 + 3) & ~std::size_t{3};
    // Whole rows only: rows the buffer does not hold are not touched.
    const std::size_t rows = std::min<std::size_t>(height, size / stride);
    for (const QRectF& mask : masks) {
        const auto [x0, x1] = span(mask.left(), mask.width(), width);
        const auto [y0, y1] = span(mask.top(), mask.height(), height);
        if (x1 <= x0)
            continue;
        // A mask up to the right edge takes the row's padding along, so a
        // mask over the whole picture leaves nothing to tell frames apart.
        const std::size_t from = x0 * 3, to = x1 == width ? stride : x1 * 3;
        // Picture row y (from the top) is buffer row height - 1 - y; the
        // buffer holds the bottom `rows` of them.
        for (std::size_t y = std::max(y0, std::size_t(height) - rows); y < y1; ++y)
            std::memset(data + (std::size_t(height) - 1 - y) * stride + from, Fill, to - from);
    }
}
