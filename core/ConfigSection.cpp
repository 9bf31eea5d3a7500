#include "ConfigSection.h"

#include "SettingsStore.h"

#include <cmath>
#include <limits>
#include <optional>

namespace {

std::optional<double> numberOf(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// Whole numbers are rounded half to even, as the stored texts were meant
// to be read.
template <typename Int> std::optional<Int> wholeNumberOf(const QString& text) {
    const auto value = numberOf(text);
    if (!value)
        return std::nullopt;
    const double rounded = std::nearbyint(*value);
    if (rounded < double(std::numeric_limits<Int>::min()) ||
        rounded > double(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(rounded);
}

} // namespace

ConfigSection::ConfigSection(SettingsStore& store)
    : m_store(store) {}

QString ConfigSection::text(const QString& key, const QString& defaultText) const {
    return m_store.read(Section, key, defaultText);
}

std::int16_t ConfigSection::int16(const QString& key, std::int16_t defaultValue) const {
    return wholeNumberOf<std::int16_t>(text(key, QString())).value_or(defaultValue);
}

std::int32_t ConfigSection::int32(const QString& key, std::int32_t defaultValue) const {
    return wholeNumberOf<std::int32_t>(text(key, QString())).value_or(defaultValue);
}

std::uint8_t ConfigSection::byte(const QString& key, std::uint8_t defaultValue) const {
    return wholeNumberOf<std::uint8_t>(text(key, QString())).value_or(defaultValue);
}

float ConfigSection::single(const QString& key, float defaultValue) const {
    const auto value = numberOf(text(key, QString()));
    if (!value || std::abs(*value) > double(std::numeric_limits<float>::max()))
        return defaultValue;
    return static_cast<float>(*value);
}

bool ConfigSection::boolean(const QString& key, bool defaultValue) const {
    const QString t = text(key, QString()).trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    // A number counts as a Boolean too: zero is False.
    if (const auto value = numberOf(t))
        return *value != 0.0;
    return defaultValue;
}

void ConfigSection::save(const QString& key, const QString& text) {
    m_store.write(Section, key, text);
}

void ConfigSection::saveNumber(const QString& key, double value) {
    save(key, numberText(value));
}

void ConfigSection::saveBoolean(const QString& key, bool value) {
    save(key, booleanText(value));
}

QString ConfigSection::numberText(double value) {
    return QString::number(static_cast<double>(static_cast<float>(value)), 'g', 7);
}

QString ConfigSection::booleanText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}
