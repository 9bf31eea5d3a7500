#pragma once

#include "WaitBound.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

// Files and pictures the tests build their cases from.
namespace TestData {

// The whole file; empty when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
// Replaces the file with `bytes`; false when that fails.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The entries of a folder; for a process under /proc, its descriptors
// ("fd") or its threads ("task").
inline qsizetype entryCount(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
}

// What a process holds that must not grow: its descriptors and threads.
// `proc` is "/proc/self/" or "/proc/PID/".
struct Holdings {
    qsizetype descriptors = 0;
    qsizetype threads = 0;
    static Holdings of(const QString& proc = QStringLiteral("/proc/self/")) {
        return {entryCount(proc + QStringLiteral("fd")), entryCount(proc + QStringLiteral("task"))};
    }
    // Empty when neither grew since `before`; otherwise both, with before.
    QString grownSince(const Holdings& before) const {
        if (descriptors <= before.descriptors && threads <= before.threads)
            return {};
        return QStringLiteral("%1 descriptors, %2 before; %3 threads, %4 before")
            .arg(descriptors)
            .arg(before.descriptors)
            .arg(threads)
            .arg(before.threads);
    }
};

// A picture whose rows, columns and channels can be told apart, even after
// lossy encoding.
inline QImage gradient(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y, qRgb(30 + 190 * x / width, 40 + 170 * y / height, y < height / 2 ? 200 : 40));
    return image;
}

} // namespace TestData
