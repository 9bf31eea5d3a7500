#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <optional>

// A read-only view of registry-style values (root key, subkey path, value
// name). This platform has no registry: the view answers from values it was
// given, which the platform layer synthesises from the desktop's own
// settings; everything else reads as absent.
class RegistryView final {
public:
    static constexpr std::uint32_t CurrentUser = 0x80000001;
    static constexpr std::uint32_t TypeString = 1;
    static constexpr std::uint32_t TypeBinary = 3;
    static constexpr std::uint32_t TypeDword = 4;

    struct Value {
        std::uint32_t type = 0;
        QByteArray data; // strings include their terminating zero
    };

    // The value, or nothing when the key or value does not exist.
    std::optional<Value> query(std::uint32_t root, const QString& subkey,
                               const QString& name) const;

    void setValue(std::uint32_t root, const QString& subkey, const QString& name, Value value);
    void setDword(std::uint32_t root, const QString& subkey, const QString& name,
                  std::uint32_t number);
    void setString(std::uint32_t root, const QString& subkey, const QString& name,
                   const QString& text);

private:
    static QString pathOf(std::uint32_t root, const QString& subkey, const QString& name);
    QHash<QString, Value> m_values;
};
