#pragma once

#include <cstdint>
#include <memory>

// The library's working state for one record; only JpegLibrary.cpp knows it.
struct JpegCompressor;
struct JpegCompressorRelease {
    void operator()(JpegCompressor* compressor) const noexcept;
};

// The record one conversion hands to JpegLibrary: where the pixels are, how
// they are laid out, which file to write and how to encode it. Start from a
// value-initialised record and let JpegLibrary::ijlInit fill in the
// defaults; then set the fields the conversion needs.
struct JpegCoreProperties {
    enum class PixelOrder { Bgr = 1, Rgb };
    enum class JpegColor { YCbCr = 1 };
    // Chroma resolution relative to luma: full, halved across, halved both ways.
    enum class Subsampling { S444 = 1, S422, S420 };

    // The pixels: rows of DIBWidth pixels of DIBChannels bytes, each row
    // followed by DIBPadBytes unused bytes. A negative DIBHeight means the
    // rows are stored bottom-up.
    std::int32_t DIBWidth = 0;
    std::int32_t DIBHeight = 0;
    const std::uint8_t* DIBBytes = nullptr;
    std::int32_t DIBPadBytes = 0;
    std::int32_t DIBChannels = 0;
    PixelOrder DIBColor{};

    // The output: a zero-ended file name in the local 8-bit encoding, which
    // must stay valid until ijlWrite returns; the image size, which must
    // match the pixels (no scaling); the encoding.
    const char* JPGFile = nullptr;
    std::int32_t JPGWidth = 0;
    std::int32_t JPGHeight = 0;
    std::int32_t JPGChannels = 0;
    JpegColor JPGColor{};
    Subsampling JPGSubsampling{};
    std::int32_t jquality = 0; // 1 (smallest file) to 100 (best picture)

    // Held from ijlInit to ijlFree (or the record's end).
    std::unique_ptr<JpegCompressor, JpegCompressorRelease> compressor;
};
