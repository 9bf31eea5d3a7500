#include "RegistryView.h"

#include <QtEndian>

QString RegistryView::pathOf(std::uint32_t root, const QString& subkey, const QString& name) {
    // Registry names are case-insensitive.
    return (QString::number(root, 16) + u'\\' + subkey + u'\\' + name).toLower();
}

std::optional<RegistryView::Value> RegistryView::query(std::uint32_t root, const QString& subkey,
                                                       const QString& name) const {
    const auto it = m_values.constFind(pathOf(root, subkey, name));
    if (it == m_values.constEnd())
        return std::nullopt;
    return *it;
}

void RegistryView::setValue(std::uint32_t root, const QString& subkey, const QString& name,
                            Value value) {
    m_values.insert(pathOf(root, subkey, name), std::move(value));
}

void RegistryView::setDword(std::uint32_t root, const QString& subkey, const QString& name,
                            std::uint32_t number) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(number, bytes.data());
    setValue(root, subkey, name, {TypeDword, bytes});
}

void RegistryView::setString(std::uint32_t root, const QString& subkey, const QString& name,
                             const QString& text) {
    QByteArray bytes = text.toLocal8Bit();
    bytes.append('\0');
    setValue(root, subkey, name, {TypeString, bytes});
}
