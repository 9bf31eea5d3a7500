#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>

class PublicStuff;

// Deletes the program's own recordings from the output folder: the oldest
// first when space runs short, or those older than a number of days. Only
// regular, writable files whose names the program makes are candidates;
// the running recording never is. Everything else in the folder (other
// tools' files, a file the user made read-only) stays as it is.
class Retention final {
public:
    struct Deletion {
        QString file;
        QDateTime started;
    };

    explicit Retention(PublicStuff& stuff);

    // Deletes the oldest recordings until the free space is at least
    // LowSpace plus the largest recording seen so far, or none is left.
    QList<Deletion> makeRoom(const QString& running);
    // Deletes the recordings that started more than `days` days ago.
    QList<Deletion> removeOlderThan(std::int32_t days, const QString& running);

    // The largest own recording seen in the folder during this run, the
    // running one and the deleted ones included.
    std::int64_t largestBytes() const { return m_largestBytes; }

private:
    struct Recording {
        QString path;
        QDateTime started;
        std::int64_t bytes = 0;
    };
    // Oldest first by the start time in the name.
    QList<Recording> deletable(const QString& running);
    bool remove(const Recording& recording, const char* why);

    PublicStuff& m_stuff;
    std::int64_t m_largestBytes = 0;
};
