#pragma once

#include <QImage>
#include <QString>

// A JPEG file read back through Qt's reader.
namespace JpegProbe {

// Mean absolute difference per colour channel between the file's colour
// picture and `picture`; huge when it is not one of that size.
double meanError(const QString& path, const QImage& picture);
// Whether the file has the quantisation tables libjpeg's encoder uses at
// `quality` (baseline), as Qt's JPEG writer encodes a picture through it.
bool hasQualityTables(const QString& path, int quality);

} // namespace JpegProbe
