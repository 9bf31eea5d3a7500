#include "JpegProbe.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace {

struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// libjpeg reports errors by longjmp: nothing with a destructor may live in
// this frame, so every object comes from the caller.
bool decode(const QByteArray& data, jpeg_decompress_struct& info, ErrorManager& errors,
            JpegProbe::Result& out, std::uint8_t* rowBuffer, std::size_t rowBufferSize) {
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = onError;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    out.width = static_cast<int>(info.image_width);
    out.height = static_cast<int>(info.image_height);
    out.components = info.num_components;
    for (int c = 0; c < info.num_components && c < 2; ++c) {
        const JQUANT_TBL* table = info.quant_tbl_ptrs[info.comp_info[c].quant_tbl_no];
        JpegProbe::Table& target = c == 0 ? out.luminance : out.chrominance;
        for (int i = 0; i < 64 && table != nullptr; ++i)
            target[static_cast<std::size_t>(i)] = table->quantval[i];
    }
    if (rowBuffer == nullptr) { // header only: the caller sizes the rows next
        jpeg_destroy_decompress(&info);
        return true;
    }
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    if (static_cast<std::size_t>(info.output_width) * 3 > rowBufferSize) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rowBuffer;
        const int y = static_cast<int>(info.output_scanline);
        jpeg_read_scanlines(&info, &row, 1);
        auto* line = reinterpret_cast<QRgb*>(out.pixels.scanLine(y));
        for (int x = 0; x < out.width; ++x)
            line[x] = qRgb(rowBuffer[3 * x + 2], rowBuffer[3 * x + 1], rowBuffer[3 * x]);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

JpegProbe::Result JpegProbe::read(const QString& path) {
    Result out;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = file.errorString();
        return out;
    }
    const QByteArray data = file.readAll();
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    if (!decode(data, info, errors, out, nullptr, 0)) {
        out.error = QString::fromLocal8Bit(errors.message);
        return out;
    }
    out.pixels = QImage(out.width, out.height, QImage::Format_RGB32);
    QByteArray row(out.width * 3, '\0');
    info = jpeg_decompress_struct{};
    if (!decode(data, info, errors, out, reinterpret_cast<std::uint8_t*>(row.data()),
                static_cast<std::size_t>(row.size()))) {
        out.error = QString::fromLocal8Bit(errors.message);
        return out;
    }
    out.ok = true;
    return out;
}

JpegProbe::Table JpegProbe::standardTable(bool chrominance, int quality) {
    static constexpr Table luminanceBase = {
        16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
        14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
        18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
        49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    static constexpr Table chrominanceBase = {
        17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
        99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
        99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
    const long scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
    const Table& base = chrominance ? chrominanceBase : luminanceBase;
    Table scaled{};
    for (std::size_t i = 0; i < 64; ++i) {
        long value = (base[i] * scale + 50) / 100;
        value = value < 1 ? 1 : (value > 255 ? 255 : value);
        scaled[i] = static_cast<std::uint16_t>(value);
    }
    return scaled;
}

double JpegProbe::meanError(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return 1e9;
    const QImage left = a.convertToFormat(QImage::Format_RGB32);
    const QImage right = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = 0; y < left.height(); ++y) {
        for (int x = 0; x < left.width(); ++x) {
            const QRgb p = left.pixel(x, y);
            const QRgb q = right.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return sum / (3.0 * left.width() * left.height());
}
