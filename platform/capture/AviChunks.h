#pragma once

#include <QByteArray>
#include <QtEndian>

#include <array>
#include <vector>

// Walks an AVI file as it lies on disk: finds the first movi list, then
// yields every chunk of the movi lists one after the other, through the
// further 'AVIX' parts a writer adds past 1 GB and the index chunks between
// them. List sizes are not trusted, since a writer that was cut off has not
// filled them in; a chunk that runs past the end of the file ends the walk.
// RIFF/AVI layout: four-character code, 32-bit little-endian size, data
// padded to an even length.
class AviChunks final {
public:
    static constexpr qint64 ChunkHeader = 8;
    static constexpr qint64 ListHeader = 12;

    struct Chunk {
        std::array<char, 4> code{};
        qint64 at = 0;    // offset of the chunk header
        quint32 size = 0; // data bytes, without the pad byte
        int part = 0;     // 0 in the first RIFF, n in the n-th 'AVIX' part
        bool is(const char* fourcc) const;
        qint64 data() const { return at + ChunkHeader; }
        // Where the next chunk starts (the pad byte may lie past the end of
        // a cut-off file).
        qint64 end() const { return data() + size + (size & 1); }
    };
    struct Part {
        qint64 riff = 0;  // offset of its RIFF header
        qint64 list = -1; // offset of its LIST movi header
    };

    // Reads through fd, which stays the caller's.
    explicit AviChunks(int fd);
    // The first LIST movi: -1 when the file is no AVI or has none.
    qint64 movi() const { return parts_.empty() ? -1 : parts_.front().list; }
    quint32 moviSize() const { return moviSize_; }
    // The next whole chunk; false at the end of the file or at a chunk cut
    // off, which at() then points at.
    bool next(Chunk* chunk);
    // Where the next chunk is looked for; skipTo moves there, past damage.
    qint64 at() const { return at_; }
    void skipTo(qint64 at) { at_ = at; }
    // Like read, through a window kept from the last call: a walk over many
    // small chunks costs one system call a window, not one a chunk.
    bool peek(qint64 at, char* into, qint64 size);
    // The parts met so far, the first RIFF first.
    const std::vector<Part>& parts() const { return parts_; }
    qint64 fileSize() const { return size_; }
    int fd() const { return fd_; }

    // The four-character code at bytes is fourcc.
    static bool isCode(const char* bytes, const char* fourcc);
    static quint32 u32(const char* bytes) { return qFromLittleEndian<quint32>(bytes); }
    // Calls visit(code, dataOffset, size) for each chunk of header bytes
    // read into memory, between begin and end; false when a chunk runs past
    // end, where the walk stops.
    template <typename Visit>
    static bool forEachChunk(const QByteArray& header, qsizetype begin, qsizetype end,
                             Visit visit) {
        qsizetype at = begin;
        while (at + ChunkHeader <= end) {
            const char* code = header.constData() + at;
            const quint32 size = u32(code + 4);
            if (at + ChunkHeader + qint64(size) > end)
                return false;
            visit(code, at + ChunkHeader, qsizetype(size));
            at += ChunkHeader + size + (size & 1);
        }
        return true;
    }
    // Calls visit(code, dataOffset, size) for each chunk inside each LIST of
    // `type` among the chunks between begin and end; whether there was one.
    template <typename Visit>
    static bool forEachInList(const QByteArray& header, qsizetype begin, qsizetype end,
                              const char* type, Visit visit) {
        bool met = false;
        forEachChunk(header, begin, end, [&](const char* code, qsizetype data, qsizetype size) {
            if (!isCode(code, "LIST") || size < 4 || !isCode(header.constData() + data, type))
                return;
            met = true;
            forEachChunk(header, data + 4, data + size, visit);
        });
        return met;
    }
    // All bytes or false.
    static bool read(int fd, qint64 at, char* into, qint64 size);
    static bool write(int fd, qint64 at, const QByteArray& bytes);

private:
    int fd_;
    qint64 size_ = 0;
    qint64 at_ = 0;
    quint32 moviSize_ = 0;
    std::vector<Part> parts_;
    QByteArray window_;
    qint64 windowAt_ = 0;
};
