#include "TestData.h"

#include <QFile>

namespace TestData {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QImage gradient(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y, qRgb(30 + 190 * x / width, 40 + 170 * y / height, y < height / 2 ? 200 : 40));
    return image;
}

std::vector<std::uint8_t> bgrRows(const QImage& picture, int pad, bool bottomUp) {
    const std::size_t stride = std::size_t(picture.width()) * 3 + std::size_t(pad);
    std::vector<std::uint8_t> bytes(stride * std::size_t(picture.height()), 0xEE);
    for (int y = 0; y < picture.height(); ++y) {
        std::uint8_t* line =
            bytes.data() + std::size_t(bottomUp ? picture.height() - 1 - y : y) * stride;
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            line[3 * x] = std::uint8_t(qBlue(p));
            line[3 * x + 1] = std::uint8_t(qGreen(p));
            line[3 * x + 2] = std::uint8_t(qRed(p));
        }
    }
    return bytes;
}

} // namespace TestData
