#include "AviVideoStream.h"

#include "AviChunks.h"

#include <QByteArray>
#include <QtEndian>

#include <algorithm>
#include <cctype>

namespace {

constexpr qint64 ListHeader = AviChunks::ListHeader;
constexpr qsizetype StrhHandler = 4;
constexpr qsizetype StrhScale = 20;
constexpr qsizetype StrhRate = 24;
constexpr qsizetype StrhBytes = 28;
constexpr qsizetype StrfCompression = 16;
constexpr qsizetype StrfBytes = 20;
constexpr int MaxStreams = 100;

constexpr auto is = &AviChunks::isCode;
constexpr auto u32 = &AviChunks::u32;

bool sameLetters(const std::array<char, 4>& code, const char* fourcc) {
    for (int i = 0; i < 4; ++i)
        if (std::toupper(static_cast<unsigned char>(code[std::size_t(i)])) != fourcc[i])
            return false;
    return true;
}

} // namespace

std::optional<AviVideoStream> AviVideoStream::read(const AviChunks& chunks) {
    // The AVI's own walk found the movi list within its bound on header
    // bytes, so everything before it is small.
    const qint64 movi = chunks.movi();
    if (movi < ListHeader)
        return std::nullopt;
    QByteArray h(qsizetype(movi), Qt::Uninitialized);
    if (!AviChunks::read(chunks.fd(), 0, h.data(), h.size()))
        return std::nullopt;
    quint32 mainMicroseconds = 0;
    int streams = 0;
    std::optional<AviVideoStream> found;
    AviChunks::forEachInList(
        h, ListHeader, h.size(), "hdrl", [&](const char* c, qsizetype d, qsizetype s) {
            if (is(c, "avih") && s >= 4)
                mainMicroseconds = u32(h.constData() + d);
            if (!is(c, "LIST") || s < 4 || !is(h.constData() + d, "strl") || ++streams > MaxStreams)
                return;
            AviVideoStream stream;
            bool video = false;
            AviChunks::forEachChunk(
                h, d + 4, d + s, [&](const char* sc, qsizetype sd, qsizetype ss) {
                    const char* bytes = h.constData() + sd;
                    if (is(sc, "strh") && ss >= StrhBytes && is(bytes, "vids")) {
                        video = true;
                        std::copy_n(bytes + StrhHandler, 4, stream.handler.begin());
                        const quint32 scale = u32(bytes + StrhScale), rate = u32(bytes + StrhRate);
                        if (scale > 0 && rate > 0)
                            stream.frameMicroseconds = qint64(1000000.0 * scale / rate);
                    } else if (is(sc, "strf") && ss >= StrfBytes) {
                        std::copy_n(bytes + StrfCompression, 4, stream.compression.begin());
                    }
                });
            if (video && !found) {
                stream.number = streams - 1;
                found = stream;
            }
        });
    if (found && found->frameMicroseconds <= 0)
        found->frameMicroseconds = mainMicroseconds;
    return found;
}

bool AviVideoStream::isMotionJpeg() const {
    return sameLetters(compression, "MJPG") || sameLetters(handler, "MJPG");
}

bool AviVideoStream::isFrame(const char* code) const {
    return number >= 0 && code[0] == char('0' + number / 10) &&
           code[1] == char('0' + number % 10) && code[2] == 'd' &&
           (code[3] == 'c' || code[3] == 'b');
}
