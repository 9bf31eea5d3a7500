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

void copyTable(const JQUANT_TBL* from, JpegProbe::Table& to) {
    for (std::size_t i = 0; i < 64 && from != nullptr; ++i)
        to[i] = from->quantval[i];
}

// libjpeg reports errors by longjmp: nothing with a destructor lives here.
bool readTables(const QByteArray& data, jpeg_decompress_struct& info, ErrorManager& errors,
                JpegProbe::Result& out) {
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
    for (int c = 0; c < info.num_components && c < 2; ++c)
        copyTable(info.quant_tbl_ptrs[info.comp_info[c].quant_tbl_no],
                  c == 0 ? out.luminance : out.chrominance);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

JpegProbe::Result JpegProbe::read(const QString& path) {
    Result out;
    QFile file(path);
    const QByteArray data = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    if (!readTables(data, info, errors, out)) {
        out.error = QString::fromLocal8Bit(errors.message);
        return out;
    }
    const QImage decoded = QImage::fromData(data, "JPEG");
    out.ok = !decoded.isNull() && decoded.format() != QImage::Format_Grayscale8;
    out.error = out.ok ? QString() : QStringLiteral("not a colour picture");
    out.pixels = decoded.convertToFormat(QImage::Format_RGB32);
    out.width = decoded.width();
    out.height = decoded.height();
    return out;
}

JpegProbe::Table JpegProbe::qualityTable(bool chrominance, int quality) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    info.in_color_space = JCS_RGB;
    info.input_components = 3;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    Table table{};
    copyTable(info.quant_tbl_ptrs[chrominance ? 1 : 0], table);
    jpeg_destroy_compress(&info);
    return table;
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
