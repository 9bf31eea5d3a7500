#include "JpegLibrary.h"

#include <QFile>

#include <turbojpeg.h>

#include <cstdlib>
#include <limits>

struct JpegCompressor {
    tjhandle handle = nullptr;
};

void JpegCompressorRelease::operator()(JpegCompressor* compressor) const noexcept {
    if (compressor != nullptr && compressor->handle != nullptr)
        tjDestroy(compressor->handle);
    delete compressor;
}

namespace {

struct TurboBufferRelease {
    void operator()(unsigned char* buffer) const noexcept { tjFree(buffer); }
};
using TurboBuffer = std::unique_ptr<unsigned char, TurboBufferRelease>;

bool validRecord(const JpegCoreProperties& p) {
    if (p.DIBBytes == nullptr || p.JPGFile == nullptr || p.JPGFile[0] == '\0')
        return false;
    if (p.DIBWidth <= 0 || p.DIBHeight == 0 || p.DIBHeight == std::numeric_limits<int>::min() ||
        p.DIBPadBytes < 0)
        return false;
    if (p.JPGWidth != p.DIBWidth || p.JPGHeight != std::abs(p.DIBHeight))
        return false;
    if (p.DIBChannels != 3 || p.JPGChannels != 3 ||
        p.JPGColor != JpegCoreProperties::JpegColor::YCbCr)
        return false;
    if (p.DIBColor != JpegCoreProperties::PixelOrder::Bgr &&
        p.DIBColor != JpegCoreProperties::PixelOrder::Rgb)
        return false;
    if (p.jquality < 1 || p.jquality > 100)
        return false;
    // TurboJPEG takes the row pitch as an int.
    const long long pitch = 3LL * p.DIBWidth + p.DIBPadBytes;
    return pitch <= std::numeric_limits<int>::max();
}

int subsampling(JpegCoreProperties::Subsampling s) {
    switch (s) {
    case JpegCoreProperties::Subsampling::S444:
        return TJSAMP_444;
    case JpegCoreProperties::Subsampling::S422:
        return TJSAMP_422;
    case JpegCoreProperties::Subsampling::S420:
        return TJSAMP_420;
    }
    return -1;
}

} // namespace

JpegLibrary::~JpegLibrary() = default;

int JpegLibrary::ijlInit(JpegCoreProperties& properties) {
    properties.compressor.reset();
    tjhandle handle = tjInitCompress();
    if (handle == nullptr)
        return OutOfMemory;
    properties.compressor.reset(new JpegCompressor{handle});
    properties.DIBChannels = 3;
    properties.DIBColor = JpegCoreProperties::PixelOrder::Bgr;
    properties.JPGChannels = 3;
    properties.JPGColor = JpegCoreProperties::JpegColor::YCbCr;
    properties.JPGSubsampling = JpegCoreProperties::Subsampling::S420;
    properties.jquality = 75;
    return Ok;
}

int JpegLibrary::ijlWrite(JpegCoreProperties& properties, int ioType) {
    if (ioType != IJL_JFILE_WRITEWHOLEIMAGE)
        return UnsupportedMode;
    if (!properties.compressor)
        return NotInitialised;
    const int sampling = subsampling(properties.JPGSubsampling);
    if (!validRecord(properties) || sampling < 0)
        return InvalidRecord;

    const int pitch = 3 * properties.DIBWidth + properties.DIBPadBytes;
    const int pixelFormat =
        properties.DIBColor == JpegCoreProperties::PixelOrder::Bgr ? TJPF_BGR : TJPF_RGB;
    const int flags = properties.DIBHeight < 0 ? TJFLAG_BOTTOMUP : 0;
    unsigned char* output = nullptr;
    unsigned long outputSize = 0;
    const int result = tjCompress2(properties.compressor->handle, properties.DIBBytes,
                                   properties.DIBWidth, pitch, properties.JPGHeight, pixelFormat,
                                   &output, &outputSize, sampling, properties.jquality, flags);
    const TurboBuffer jpeg(output);
    if (result != 0 || !jpeg || outputSize == 0)
        return EncodeFailed;

    // Encoded in memory first, so a failed encoding creates no file at all.
    QFile file(QFile::decodeName(properties.JPGFile));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return FileOpenFailed;
    const auto size = static_cast<qint64>(outputSize);
    if (file.write(reinterpret_cast<const char*>(jpeg.get()), size) != size || !file.flush()) {
        file.close();
        file.remove();
        return FileWriteFailed;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        file.remove();
        return FileWriteFailed;
    }
    return Ok;
}

int JpegLibrary::ijlFree(JpegCoreProperties& properties) {
    properties.compressor.reset();
    return Ok;
}
