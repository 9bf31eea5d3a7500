#pragma once

#include <QtGlobal>

#include <array>
#include <optional>

class AviChunks;

// The first video stream of an AVI file as its header (the 'hdrl' list
// before the movi data) describes it: the number its chunks carry, its
// codec and its frame time. RIFF/AVI layout: avih (dwMicroSecPerFrame
// first), then per stream a 'strl' list with strh (fccType, fccHandler,
// dwScale at 20, dwRate at 24) and strf (for video a BITMAPINFOHEADER,
// biCompression at 16).
class AviVideoStream final {
public:
    // Nothing when the file has no header that can be read or no video
    // stream in it.
    static std::optional<AviVideoStream> read(const AviChunks& chunks);

    int number = -1; // its chunks are "NNdc" (or "NNdb")
    std::array<char, 4> handler{};
    std::array<char, 4> compression{};
    // The stream's own rate (dwRate / dwScale) when it has one, else the
    // main header's; 0 when neither says.
    qint64 frameMicroseconds = 0;

    bool isMotionJpeg() const;
    // A data chunk of this stream, by its four-character code.
    bool isFrame(const char* code) const;
};
