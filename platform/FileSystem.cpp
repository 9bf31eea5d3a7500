#include "FileSystem.h"

#include <QDir>
#include <QFile>

#include <sys/statvfs.h>

std::uint64_t FileSystem::availableBytes(const QString& path) {
    struct statvfs info {};
    if (path.isEmpty() || ::statvfs(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return std::uint64_t(info.f_bavail) * std::uint64_t(info.f_frsize);
}

QString FileSystem::saverDirectory() {
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty()) {
        const QString home = qEnvironmentVariable("HOME");
        if (home.isEmpty())
            return {};
        base = home + QStringLiteral("/.local/share");
    }
    return QDir::cleanPath(base) + QStringLiteral("/sentorix/savers/");
}
