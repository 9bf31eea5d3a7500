#pragma once

#include "TestData.h"

#include <QBuffer>
#include <QImage>
#include <QString>

#include <cstdlib>

// A JPEG file read back through Qt's reader.
namespace JpegProbe {

// Mean absolute difference per colour channel between the file's colour
// picture and `picture`; huge when it is not one of that size.
inline double meanError(const QString& path, const QImage& picture) {
    const QImage left = QImage(path, "JPEG");
    if (left.isNull() || left.isGrayscale() || left.size() != picture.size())
        return 1e9;
    const QImage right = picture.convertToFormat(left.format());
    double sum = 0;
    for (int y = 0; y < left.height(); ++y)
        for (int x = 0; x < left.width(); ++x) {
            const QRgb p = left.pixel(x, y), q = right.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * left.width() * left.height());
}

// The contents of the DQT segments before the first scan, one after another.
inline QByteArray quantisationTables(const QByteArray& jpeg) {
    QByteArray tables;
    for (qsizetype at = 2; at + 4 <= jpeg.size() && jpeg[at] == '\xff' && jpeg[at + 1] != '\xda';
         at += 2 + (quint8(jpeg[at + 2]) << 8 | quint8(jpeg[at + 3])))
        if (jpeg[at + 1] == '\xdb')
            tables += jpeg.mid(at + 4, (quint8(jpeg[at + 2]) << 8 | quint8(jpeg[at + 3])) - 2);
    return tables;
}

// Whether the file has the quantisation tables libjpeg's encoder uses at
// `quality` (baseline), as Qt's JPEG writer encodes a picture through it.
inline bool hasQualityTables(const QString& path, int quality) {
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QBuffer reference;
    const QByteArray tables = quantisationTables(TestData::readFile(path));
    return reference.open(QIODevice::WriteOnly) && picture.save(&reference, "JPEG", quality) &&
           !tables.isEmpty() && tables == quantisationTables(reference.data());
}

} // namespace JpegProbe
