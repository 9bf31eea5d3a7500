#include "Retention.h"

#include "PublicStuff.h"
#include "RecordingName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

Retention::Retention(PublicStuff& stuff)
    : m_stuff(stuff) {}

QList<Retention::Recording> Retention::deletable(const QString& running) {
    QList<Recording> found;
    if (m_stuff.VidPath.isEmpty())
        return found;
    const QString runningPath =
        running.isEmpty() ? QString() : QFileInfo(running).absoluteFilePath();
    const QDir dir(m_stuff.VidPath);
    for (const QFileInfo& info :
         dir.entryInfoList({QStringLiteral("*.avi")}, QDir::Files | QDir::NoSymLinks)) {
        const std::optional<QDateTime> started = RecordingName::startOf(info.fileName());
        if (!started)
            continue;
        m_largestBytes = std::max<std::int64_t>(m_largestBytes, info.size());
        // A file made read-only was meant to be kept.
        if (info.absoluteFilePath() == runningPath || !info.permission(QFile::WriteOwner))
            continue;
        found.append({info.absoluteFilePath(), *started, info.size()});
    }
    std::sort(found.begin(), found.end(), [](const Recording& a, const Recording& b) {
        return a.started != b.started ? a.started < b.started : a.path < b.path;
    });
    return found;
}

bool Retention::remove(const Recording& recording, const char* why) {
    if (!QFile::remove(recording.path))
        return false;
    m_stuff.WriteTrace(QStringLiteral("Retention"), QLatin1String(why) + recording.path);
    return true;
}

QList<Retention::Deletion> Retention::makeRoom(const QString& running) {
    QList<Deletion> deleted;
    const QList<Recording> candidates = deletable(running);
    const double wanted = double(m_stuff.LowSpace) + PublicStuff::megabytes(m_largestBytes);
    const double before = m_stuff.freeDiskSpaceMB(m_stuff.VidPath);
    double freed = 0;
    for (const Recording& recording : candidates) {
        // A file still open elsewhere, or a file system that frees its
        // blocks later, shows its space only later; the space counted as
        // freed keeps this from deleting more than the target needs, and a
        // later check goes on if the space never comes.
        const double free = std::max(m_stuff.freeDiskSpaceMB(m_stuff.VidPath), before + freed);
        if (free >= wanted)
            break;
        if (!remove(recording, "Deleted to make room: "))
            continue;
        freed += PublicStuff::megabytes(std::uint64_t(recording.bytes));
        deleted.append({recording.path, recording.started});
    }
    return deleted;
}

QList<Retention::Deletion> Retention::removeOlderThan(std::int32_t days, const QString& running) {
    QList<Deletion> deleted;
    if (days <= 0)
        return deleted;
    const QDateTime limit = m_stuff.now().addDays(-days);
    for (const Recording& recording : deletable(running)) {
        if (recording.started >= limit)
            break;
        if (remove(recording, "Deleted as too old: "))
            deleted.append({recording.path, recording.started});
    }
    return deleted;
}
