#pragma once

#include <QList>
#include <QString>

// Gives a recording cut off by a killed program or a power cut what its
// writer had no time to add: the stream lengths in the header and the
// index. Without them players show no duration and many refuse the file.
//
// The file is changed in place, in an order that leaves it readable when
// the repair itself is interrupted, and that a later repair completes:
// the torn last chunk is cut off, the index is appended and synced, and
// only then is the header rewritten in one write. A recording cut off
// before its first whole frame (or before its first byte) holds nothing to
// play and is removed. Files that are complete, not AVI, or laid out in a
// way the repair does not know are left alone. Past 1 GB a recording goes
// on in further parts: each gets its sizes, the last its own index, and each
// stream header the index of those indexes, if it has room for them all.
class AviRepair final {
public:
    enum class Outcome { Untouched = 1, Repaired, Removed, Failed };
    struct Report {
        QString path;
        Outcome outcome = Outcome::Failed;
        QString error;
    };

    static Report repair(const QString& path);
    // Every "*.avi" file in folder (not its subfolders) that needed a
    // repair, with the outcome.
    static QList<Report> repairFolder(const QString& folder);
};
