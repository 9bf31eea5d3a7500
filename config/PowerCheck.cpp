#include "PowerCheck.h"

#include "Registry.h"
#include "RegistryView.h"

#include <QDir>

#include <dirent.h>

namespace {

const QString PowerCfg = QStringLiteral("Control Panel\\PowerCfg");

} // namespace

QString PowerCheck::N(double x) {
    QString digits = QString::number(x, 'g', 15);
    if (digits.startsWith(QStringLiteral("0.")))
        digits.remove(0, 1);
    return x < 0 ? digits : u' ' + digits;
}

PowerCheck::PowerMessage PowerCheck::powerManagementMessage(const RegistryView& view) {
    PowerMessage m{QStringLiteral("Cannot read Power Management settings."), false};
    const QString id =
        Registry::ReadRegValue(view, Registry::HKEY_CURRENT_USER, PowerCfg, "CurrentPowerPolicy");
    if (id.isEmpty())
        return m;
    const QString p = Registry::ReadRegValue(view, Registry::HKEY_CURRENT_USER,
                                             PowerCfg + QStringLiteral("\\PowerPolicies\\") + id,
                                             QStringLiteral("Policies"));
    // A record too short to hold the idle time says as little as no record.
    if (p.size() < 30)
        return m;
    const int t = p[29].unicode() * 256 + p[28].unicode();
    if (t == 0) {
        m.text = QStringLiteral("You have already disabled the Windows standby mode.");
    } else if (t >= 3600) {
        m.text = QStringLiteral("WARNING: Windows standby mode is activated after") +
                 N(t / 3600.0) + QStringLiteral(" hour(s).");
        m.checkEnabled = true;
    } else {
        m.text = QStringLiteral("WARNING: Windows standby mode is activated after") + N(t / 60.0) +
                 QStringLiteral(" minute(s).");
        m.checkEnabled = true;
    }
    return m;
}

QStringList PowerCheck::saverFiles(const QString& directory) {
    QStringList files;
    // readdir gives the file system's own order, which the list keeps.
    DIR* dir = ::opendir(QFile::encodeName(directory).constData());
    if (dir == nullptr)
        return files;
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name.size() > 4 && name.endsWith(QStringLiteral(".scr"), Qt::CaseInsensitive) &&
            QFileInfo(QDir(directory).filePath(name)).isFile())
            files << name;
    }
    ::closedir(dir);
    return files;
}

PowerCheck::SaverList PowerCheck::screenSaverList(const QString& directory, const QString& saver) {
    SaverList list{{QString::fromLatin1(NoSaver)}, 0};
    for (const QString& file : saverFiles(directory)) {
        const QString name = file.left(file.lastIndexOf(u'.'));
        list.entries << name;
        if (name == saver)
            list.selected = int(list.entries.size()) - 1;
    }
    return list;
}
