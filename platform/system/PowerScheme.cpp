#include "PowerScheme.h"

#include "RegistryView.h"

#include <QProcess>
#include <QtEndian>

#include <algorithm>

namespace {

const QString Schema = QStringLiteral("org.gnome.settings-daemon.plugins.power");

// One key, as gsettings prints it; nothing when gsettings or the key is
// missing.
std::optional<QString> gsetting(const QString& key) {
    QProcess gsettings;
    gsettings.start(QStringLiteral("gsettings"), {QStringLiteral("get"), Schema, key});
    if (!gsettings.waitForFinished(3000) || gsettings.exitStatus() != QProcess::NormalExit ||
        gsettings.exitCode() != 0) {
        gsettings.kill();
        gsettings.waitForFinished(1000);
        return std::nullopt;
    }
    return QString::fromUtf8(gsettings.readAllStandardOutput()).trimmed();
}

} // namespace

std::optional<std::uint32_t> PowerScheme::idleSleepSeconds() {
    const std::optional<QString> type = gsetting(QStringLiteral("sleep-inactive-ac-type"));
    if (!type)
        return std::nullopt;
    // Only these put the system to sleep; "nothing", "blank" and the rest
    // leave it running.
    if (*type != QStringLiteral("'suspend'") && *type != QStringLiteral("'hibernate'"))
        return 0;
    const std::optional<QString> timeout = gsetting(QStringLiteral("sleep-inactive-ac-timeout"));
    if (!timeout)
        return std::nullopt;
    // "int32 1200" or "1200".
    bool ok = false;
    const qint64 seconds = timeout->split(u' ').last().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return std::uint32_t(std::clamp<qint64>(seconds, 0, 0xffffffff));
}

void PowerScheme::present(RegistryView& view, std::uint32_t idleSeconds) {
    view.setString(RegistryView::CurrentUser, QStringLiteral("Control Panel\\PowerCfg"),
                   QStringLiteral("CurrentPowerPolicy"), QStringLiteral("0"));
    QByteArray record(PolicyRecordBytes, '\0');
    // The record's field is 32 bits wide; the message reads its low half,
    // so longer times are shown as the longest that half can hold.
    qToLittleEndian(std::min<std::uint32_t>(idleSeconds, 0xffff),
                    record.data() + IdleTimeoutAcOffset);
    view.setValue(RegistryView::CurrentUser,
                  QStringLiteral("Control Panel\\PowerCfg\\PowerPolicies\\0"),
                  QStringLiteral("Policies"), {RegistryView::TypeBinary, record});
}

bool PowerScheme::presentDesktopSetting(RegistryView& view) {
    const std::optional<std::uint32_t> seconds = idleSleepSeconds();
    if (!seconds)
        return false;
    present(view, *seconds);
    return true;
}
