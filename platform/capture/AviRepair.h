#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

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
// way the repair does not know are left alone, and so is every file whose
// name the recorder does not make or that is read-only. A frame chunk whose
// size was damaged gets the size up to the next frame; damaged bytes
// between frames are skipped, never cut, and only a torn last frame and a
// tail of zeros (what a power cut leaves) are dropped. Past 1 GB a recording goes
// on in further parts: each gets its sizes, the last its own index, and each
// stream header the index of those indexes, if it has room for them all.
class AviRepair final {
public:
    enum class Outcome { Untouched = 1, Repaired, Removed, Failed };
    struct Report {
        QString path;
        Outcome outcome = Outcome::Failed;
        QString error;
        // Of a repaired file: its video frames and their seconds.
        quint64 frames = 0;
        double seconds = 0;
    };
    // True for the file names the recorder makes.
    using NameTest = std::function<bool(const QString& fileName)>;

    // Once stop is set the repair ends between chunks, the file as it was
    // (Untouched).
    static Report repair(const QString& path, const std::atomic<bool>* stop = nullptr);
    // The "*.avi" files in folder (not its subfolders) with names isOwn
    // accepts, by name.
    static QStringList recordings(const QString& folder, const NameTest& isOwn);
    // Every one of those that needed a repair, with the outcome.
    static QList<Report> repairFolder(const QString& folder, const NameTest& isOwn);
};
