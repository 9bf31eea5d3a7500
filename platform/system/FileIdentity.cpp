#include "FileIdentity.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

std::optional<FileIdentity> FileIdentity::of(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    FileIdentity identity;
    identity.m_permissions = info.st_mode & 07777;
    identity.m_accessTime = {info.st_atim.tv_sec, info.st_atim.tv_nsec};
    identity.m_modificationTime = {info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
    return identity;
}

bool FileIdentity::applyTimes(const QString& path) const {
    const struct timespec times[2] = {
        {static_cast<time_t>(m_accessTime.seconds), static_cast<long>(m_accessTime.nanoseconds)},
        {static_cast<time_t>(m_modificationTime.seconds),
         static_cast<long>(m_modificationTime.nanoseconds)}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

bool FileIdentity::applyAttributes(const QString& path) const {
    return ::chmod(QFile::encodeName(path).constData(), static_cast<mode_t>(m_permissions)) == 0;
}
