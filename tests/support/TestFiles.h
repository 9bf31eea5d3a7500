#pragma once

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QString>

// Whole files in and out, for tests that look at the bytes a program wrote.
inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

// A picture whose rows and columns can be told apart after lossy encoding.
inline QImage gradientPicture(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y, qRgb(30 + 190 * x / width, 40 + 170 * y / height, y < height / 2 ? 200 : 40));
    return image;
}
