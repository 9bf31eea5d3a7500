#include "FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

#include <sys/resource.h>
#include <sys/statvfs.h>

std::uint64_t FileSystem::availableBytes(const QString& path) {
    struct statvfs info {};
    if (path.isEmpty() || ::statvfs(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return std::uint64_t(info.f_bavail) * std::uint64_t(info.f_frsize);
}

std::uint64_t FileSystem::roomToGrow(const QString& path) {
    const QFileInfo file(path);
    // A folder that cannot be queried is no full one: what fails there is
    // for the write itself to tell.
    std::uint64_t room = std::numeric_limits<std::uint64_t>::max();
    struct statvfs info {};
    if (::statvfs(QFile::encodeName(file.absolutePath()).constData(), &info) == 0)
        room = std::uint64_t(info.f_bavail) * std::uint64_t(info.f_frsize);
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const auto size = std::uint64_t(std::max<qint64>(file.size(), 0));
        room = std::min<std::uint64_t>(room, limit.rlim_cur > size ? limit.rlim_cur - size : 0);
    }
    return room;
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
