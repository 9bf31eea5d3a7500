#include "DibFile.h"

#include <QByteArray>
#include <QSaveFile>

#include <array>

namespace {

void putLE(QByteArray& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
}

} // namespace

bool DibFile::write(const QString& path, const std::uint8_t* rows, int width, int height,
                    std::size_t stride, QString* error) {
    auto fail = [error](const QString& text) {
        if (error != nullptr)
            *error = text;
        return false;
    };
    if (rows == nullptr || width <= 0 || height <= 0)
        return fail(QStringLiteral("no frame to write"));
    const std::size_t outStride = paddedStride(width);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    if (stride < rowBytes)
        return fail(QStringLiteral("invalid frame stride"));
    const std::uint64_t imageSize = static_cast<std::uint64_t>(outStride) * height;
    constexpr std::uint32_t headersSize = 14 + 40;
    if (imageSize + headersSize > 0xffffffffu)
        return fail(QStringLiteral("frame too large for a BMP file"));

    QByteArray header;
    header.reserve(headersSize);
    // BITMAPFILEHEADER
    header.append("BM", 2);
    putLE(header, static_cast<std::uint32_t>(imageSize + headersSize), 4);
    putLE(header, 0, 4); // reserved
    putLE(header, headersSize, 4);
    // BITMAPINFOHEADER; a positive height means bottom-up rows.
    putLE(header, 40, 4);
    putLE(header, static_cast<std::uint32_t>(width), 4);
    putLE(header, static_cast<std::uint32_t>(height), 4);
    putLE(header, 1, 2);  // planes
    putLE(header, 24, 2); // bits per pixel
    putLE(header, 0, 4);  // BI_RGB
    putLE(header, static_cast<std::uint32_t>(imageSize), 4);
    putLE(header, 2835, 4); // 72 dpi
    putLE(header, 2835, 4);
    putLE(header, 0, 4); // colours used
    putLE(header, 0, 4); // important colours

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    bool ok = file.write(header) == header.size();
    if (stride == outStride) {
        const auto bytes = static_cast<qint64>(imageSize);
        ok = ok && file.write(reinterpret_cast<const char*>(rows), bytes) == bytes;
    } else {
        const std::array<char, 3> padding{};
        const auto pad = static_cast<qint64>(outStride - rowBytes);
        for (int y = 0; ok && y < height; ++y) {
            const auto* row = reinterpret_cast<const char*>(rows + stride * y);
            ok = file.write(row, static_cast<qint64>(rowBytes)) == static_cast<qint64>(rowBytes);
            ok = ok && (pad == 0 || file.write(padding.data(), pad) == pad);
        }
    }
    if (!ok || !file.commit())
        return fail(file.errorString());
    return true;
}
