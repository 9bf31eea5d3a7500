#pragma once

#include <QString>

#include <cstdint>

class SettingsStore;

// Section CONFIG of the program's settings, with the conversions the
// program applies to stored texts. A text that is not a number (or not a
// Boolean) yields the default, so a hand-edited file never ends the run.
class ConfigSection final {
public:
    static constexpr QLatin1StringView Application{"Norvane"};
    static constexpr QLatin1StringView Section{"CONFIG"};

    explicit ConfigSection(SettingsStore& store);
    SettingsStore& store() const { return m_store; }

    QString text(const QString& key, const QString& defaultText) const;
    std::int16_t int16(const QString& key, std::int16_t defaultValue) const;
    std::int32_t int32(const QString& key, std::int32_t defaultValue) const;
    std::uint8_t byte(const QString& key, std::uint8_t defaultValue) const;
    float single(const QString& key, float defaultValue) const;
    bool boolean(const QString& key, bool defaultValue) const;

    void save(const QString& key, const QString& text);
    void saveNumber(const QString& key, double value);
    void saveBoolean(const QString& key, bool value);

    // Decimal text of a single-precision number, no leading blank.
    static QString numberText(double value);
    // "True" / "False".
    static QString booleanText(bool value);

private:
    SettingsStore& m_store;
};
