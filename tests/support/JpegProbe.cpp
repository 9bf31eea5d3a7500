#include "JpegProbe.h"

#include "TestData.h"

#include <QBuffer>

#include <cstdlib>

namespace {

// The tables of the DQT segments before the first scan, by table number.
void readTables(const QByteArray& jpeg, JpegProbe::Table& luminance,
                JpegProbe::Table& chrominance) {
    const auto byte = [&jpeg](qsizetype at) { return at < jpeg.size() ? quint8(jpeg[at]) : 0; };
    const auto word = [&byte](qsizetype at) { return byte(at) << 8 | byte(at + 1); };
    for (qsizetype at = 2; byte(at) == 0xff && byte(at + 1) != 0xda; at += 2 + word(at + 2)) {
        const qsizetype end = byte(at + 1) == 0xdb ? at + 2 + word(at + 2) : 0;
        for (qsizetype t = at + 4; t < end; t += 65 + 64 * (byte(t) >> 4)) {
            JpegProbe::Table& table = (byte(t) & 0x0f) == 0 ? luminance : chrominance;
            for (int i = 0; i < 64; ++i) // the high half of the first byte: 16 bits a value
                table[i] = byte(t) >> 4 ? word(t + 1 + 2 * i) : byte(t + 1 + i);
        }
    }
}

} // namespace

JpegProbe::Result JpegProbe::read(const QString& path) {
    Result out;
    const QByteArray data = TestData::readFile(path);
    const QImage decoded = QImage::fromData(data, "JPEG");
    out.ok = !decoded.isNull() && decoded.format() != QImage::Format_Grayscale8;
    out.error = decoded.isNull() ? QStringLiteral("not a JPEG file")
                : out.ok         ? QString()
                                 : QStringLiteral("not a colour picture");
    out.pixels = decoded.convertToFormat(QImage::Format_RGB32);
    readTables(data, out.luminance, out.chrominance);
    return out;
}

JpegProbe::Table JpegProbe::qualityTable(bool chrominance, int quality) {
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QBuffer buffer;
    Table tables[2]{};
    if (buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "JPEG", quality))
        readTables(buffer.data(), tables[0], tables[1]);
    return tables[chrominance ? 1 : 0];
}

double JpegProbe::meanError(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return 1e9;
    const QImage left = a.convertToFormat(QImage::Format_RGB32);
    const QImage right = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = 0; y < left.height(); ++y)
        for (int x = 0; x < left.width(); ++x) {
            const QRgb p = left.pixel(x, y), q = right.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * left.width() * left.height());
}
