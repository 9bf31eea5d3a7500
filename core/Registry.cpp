#include "Registry.h"

#include "RegistryView.h"

#include <QtEndian>

namespace {
constexpr qsizetype ValueBufferBytes = 255;
}

QString Registry::ReadRegValue(const RegistryView& view, std::uint32_t root, const QString& subkey,
                               const QString& name) {
    if (root < HKEY_CLASSES_ROOT || root > HKEY_DYN_DATA)
        return {};
    const auto value = view.query(root, subkey, name);
    if (!value || value->data.size() > ValueBufferBytes)
        return {};
    if (value->type == RegistryView::TypeDword) {
        if (value->data.size() < 4)
            return {};
        const std::uint32_t number = qFromLittleEndian<std::uint32_t>(value->data.constData());
        return QStringLiteral("%1").arg(number, 3, 10, QLatin1Char('0'));
    }
    const QByteArray bytes = value->data.isEmpty() ? QByteArray() : value->data.chopped(1);
    // Text values are in the system's encoding; anything else is raw bytes,
    // one character each.
    if (value->type == RegistryView::TypeString)
        return QString::fromLocal8Bit(bytes);
    return QString::fromLatin1(bytes);
}
