#include "AviRepair.h"

#include "AviChunks.h"
#include "FileIdentity.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 ChunkHeader = AviChunks::ChunkHeader;
constexpr qint64 ListHeader = AviChunks::ListHeader;
// A writer that was cut off leaves its placeholder: the list type alone.
constexpr quint32 PlaceholderMoviSize = 4;
constexpr quint32 AvifHasIndex = 0x10;
constexpr quint32 AviifKeyframe = 0x10;
constexpr qint64 IndexEntryBytes = 16;
// Past 1 GB the writer goes on in further parts: a super index in each
// stream header points at one standard index chunk per part, whose entries
// count from a base offset.
constexpr qsizetype OdmlIndexHeader = 24;
constexpr qsizetype SuperEntryBytes = 16;
constexpr char IndexOfChunks = 1;

// Field offsets inside the chunk data.
constexpr qsizetype AvihFlags = 12;
constexpr qsizetype AvihTotalFrames = 16;
constexpr qsizetype StrhType = 0;
constexpr qsizetype StrhScale = 20;
constexpr qsizetype StrhRate = 24;
constexpr qsizetype StrhLength = 32;
constexpr qsizetype StrhSuggestedBuffer = 36;
constexpr qsizetype StrhSampleSize = 44;
constexpr qsizetype StrhBytes = 48;
constexpr qsizetype AvihBytes = 20;
constexpr qsizetype IndexEntriesInUse = 4;
constexpr qsizetype IndexChunkId = 8;
constexpr qsizetype IndexBase = 12;

constexpr auto is = &AviChunks::isCode;
constexpr auto u32 = &AviChunks::u32;

void put32(QByteArray& bytes, qsizetype at, quint32 value) {
    qToLittleEndian(value, bytes.data() + at);
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

struct Count {
    quint64 chunks = 0;
    quint64 bytes = 0;
};

struct Stream {
    qsizetype strh = -1; // offset of the strh data in the header bytes
    qsizetype indx = -1; // its super index ('JUNK' until the writer finishes)
    quint32 indxRoom = 0;
    bool video = false;
    quint32 sampleSize = 0;
    std::vector<Count> parts;
    quint32 largestChunk = 0;
    // The stream's length in its own units: samples of fixed-size audio,
    // else chunks.
    quint64 length(const Count& count) const {
        return sampleSize != 0 && !video ? count.bytes / sampleSize : count.chunks;
    }
    Count total() const {
        Count sum;
        for (const Count& c : parts) {
            sum.chunks += c.chunks;
            sum.bytes += c.bytes;
        }
        return sum;
    }
};

// The cut-off file as found: its header bytes up to the movi data and what
// the repair needs to know of them.
struct Layout {
    QByteArray header;
    qint64 movi = -1; // offset of the LIST movi chunk
    qsizetype avih = -1;
    qsizetype dmlh = -1;
    std::vector<Stream> streams;
};

enum class Found { CutOff, Untouched, Unknown };

Found readLayout(int fd, const AviChunks& chunks, Layout& layout, QString& error) {
    layout.movi = chunks.movi();
    if (layout.movi < 0 || chunks.moviSize() > PlaceholderMoviSize)
        return Found::Untouched; // not ours, or finished by its writer
    layout.header.resize(layout.movi + ListHeader);
    if (!AviChunks::read(fd, 0, layout.header.data(), layout.header.size()))
        return Found::Untouched;
    const QByteArray& h = layout.header;
    const bool hdrl = AviChunks::forEachInList(
        h, ListHeader, layout.movi, "hdrl", [&](const char* c, qsizetype d, qsizetype s) {
            if (is(c, "avih") && s >= AvihBytes)
                layout.avih = d;
            if (!is(c, "LIST") || s < 4)
                return;
            if (is(h.constData() + d, "strl")) {
                Stream stream;
                AviChunks::forEachChunk(
                    h, d + 4, d + s, [&](const char* sc, qsizetype sd, qsizetype ss) {
                        const char* data = h.constData() + sd;
                        if (is(sc, "strh") && ss >= StrhBytes) {
                            stream.strh = sd;
                            stream.video = is(data + StrhType, "vids");
                            stream.sampleSize = u32(data + StrhSampleSize);
                        } else if ((is(sc, "indx") || is(sc, "JUNK")) && ss >= OdmlIndexHeader &&
                                   data[0] == 4 && data[1] == 0 && data[3] == 0) {
                            // Four longs an entry, an index of indexes.
                            stream.indx = sd;
                            stream.indxRoom = quint32((ss - OdmlIndexHeader) / SuperEntryBytes);
                        }
                    });
                layout.streams.push_back(stream);
            } else if (is(h.constData() + d, "odml")) {
                AviChunks::forEachChunk(h, d + 4, d + s,
                                        [&](const char* oc, qsizetype od, qsizetype os) {
                                            if (is(oc, "dmlh") && os >= 4)
                                                layout.dmlh = od;
                                        });
            }
        });
    const bool streamsKnown = !layout.streams.empty() && layout.streams.size() <= 100 &&
                              std::all_of(layout.streams.begin(), layout.streams.end(),
                                          [](const Stream& s) { return s.strh >= 0; });
    if (!hdrl || layout.avih < 0 || !streamsKnown) {
        error = QStringLiteral("unknown header");
        return Found::Unknown;
    }
    return Found::CutOff;
}

// Stream number of a data chunk such as "00dc" or "01wb" (or of the index
// chunk "ix01" from its digits at code + 2); -1 otherwise.
int streamOf(const char* code, std::size_t streams) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!digit(code[0]) || !digit(code[1]))
        return -1;
    const int n = (code[0] - '0') * 10 + (code[1] - '0');
    return std::size_t(n) < streams ? n : -1;
}

// A data chunk of a stream: "00dc", "00db", "01wb" ...
bool isFrameCode(const char* code, std::size_t streams) {
    return streamOf(code, streams) >= 0 &&
           ((code[2] == 'd' && (code[3] == 'c' || code[3] == 'b')) ||
            (code[2] == 'w' && code[3] == 'b'));
}

bool isIndexCode(const char* code, std::size_t streams) {
    return is(code, "idx1") ||
           (code[0] == 'i' && code[1] == 'x' && streamOf(code + 2, streams) >= 0);
}

// Finds where whole chunks go on after damage: a header is believed when its
// size ends inside the file where another header, the end of the file or a
// tail of zeros follows.
class Resync final {
public:
    Resync(AviChunks& chunks, std::size_t streams, const std::atomic<bool>* stop)
        : m_chunks(chunks)
        , m_size(chunks.fileSize())
        , m_streams(streams)
        , m_stop(stop) {}

    bool stopped() const { return m_stop != nullptr && m_stop->load(std::memory_order_relaxed); }

    bool zerosFrom(qint64 at) {
        char block[4096];
        while (at < m_size) {
            if (stopped())
                return false;
            const qint64 n = std::min<qint64>(sizeof block, m_size - at);
            if (!m_chunks.peek(at, block, n) ||
                std::any_of(block, block + n, [](char c) { return c != 0; }))
                return false;
            at += n;
        }
        return true;
    }

    bool headerFollows(qint64 at) {
        char code[4];
        // The end, or a header torn by the kill.
        if (at + ChunkHeader > m_size)
            return true;
        if (m_chunks.peek(at, code, 4) &&
            (isFrameCode(code, m_streams) || isIndexCode(code, m_streams) || is(code, "JUNK") ||
             is(code, "LIST") || is(code, "RIFF")))
            return true;
        return zerosFrom(at);
    }

    bool plausible(qint64 at) {
        char head[ListHeader];
        if (at + ListHeader > m_size || !m_chunks.peek(at, head, ListHeader))
            return false;
        if ((is(head, "RIFF") && is(head + 8, "AVIX")) ||
            (is(head, "LIST") && is(head + 8, "movi")))
            return true;
        if (!isFrameCode(head, m_streams) && !isIndexCode(head, m_streams))
            return false;
        const quint32 size = u32(head + 4);
        return at + ChunkHeader + qint64(size) <= m_size &&
               headerFollows(at + ChunkHeader + size + (size & 1));
    }

    // The first believable header at or after from; -1 when none. Chunks
    // start at even offsets, whatever the damage did to the sizes.
    qint64 next(qint64 from) {
        constexpr qint64 Block = 1 << 16;
        QByteArray bytes;
        for (qint64 at = from + (from & 1); at + ListHeader <= m_size && !stopped(); at += Block) {
            bytes.resize(std::min(Block + 3, m_size - at));
            if (!AviChunks::read(m_chunks.fd(), at, bytes.data(), bytes.size()))
                return -1;
            for (qsizetype i = 0; i + 4 <= bytes.size() && i < Block; i += 2) {
                const char* c = bytes.constData() + i;
                if ((isFrameCode(c, m_streams) || isIndexCode(c, m_streams) || is(c, "RIFF") ||
                     is(c, "LIST")) &&
                    plausible(at + i))
                    return at + i;
            }
        }
        return -1;
    }

private:
    AviChunks& m_chunks;
    qint64 m_size;
    std::size_t m_streams;
    const std::atomic<bool>* m_stop;
};

// Closes the descriptor and, once the file was changed, puts its times
// back, however the repair ended.
class OpenFile final {
public:
    explicit OpenFile(const QString& path)
        : m_path(path)
        , m_identity(FileIdentity::of(path))
        , m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC)) {}
    ~OpenFile() {
        if (m_fd < 0)
            return;
        ::close(m_fd);
        if (m_changed && m_identity)
            m_identity->applyTimes(m_path);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd() const { return m_fd; }
    void changing() { m_changed = true; }

private:
    QString m_path;
    std::optional<FileIdentity> m_identity;
    int m_fd;
    bool m_changed = false;
};

} // namespace

AviRepair::Report AviRepair::repair(const QString& path, const std::atomic<bool>* stop) {
    Report report{path, Outcome::Untouched, {}};
    const auto fail = [&report](const QString& why) {
        report.outcome = Outcome::Failed;
        report.error = why;
        return report;
    };
    // A file we may not write is not ours to repair.
    OpenFile file(path);
    const int fd = file.fd();
    if (fd < 0)
        return report;
    // A recording still being written (another running copy of the program)
    // holds a shared lock on its file.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return report;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return report;
    // Root may write anything: a file made read-only is left as it is.
    if ((info.st_mode & S_IWUSR) == 0)
        return report;
    const qint64 fileSize = info.st_size;
    const auto remove = [&] {
        if (!QFile::remove(path))
            return fail(QStringLiteral("cannot remove"));
        report.outcome = Outcome::Removed;
        return report;
    };
    if (fileSize == 0)
        return remove();

    AviChunks chunks(fd);
    Layout layout;
    QString why;
    const Found found = readLayout(fd, chunks, layout, why);
    if (found == Found::Untouched)
        return report;
    if (found == Found::Unknown)
        return fail(why);

    // Walk the chunks to the first one that is not whole. Whatever follows
    // the last whole frame (a torn one, the index of an earlier interrupted
    // repair or of a writer cut off while finishing) is written anew.
    struct Entry {
        std::array<char, 4> code;
        qint64 at;
        quint32 size;
    };
    struct IndexChunk {
        int part;
        std::size_t stream;
        qint64 at;
        quint32 size;
    };
    std::vector<Entry> entries; // the frames of the last part that has any
    std::vector<IndexChunk> indexes;
    std::vector<Stream>& streams = layout.streams;
    qint64 idx1 = -1;
    qint64 idx1End = -1;
    int last = -1;
    qint64 end = 0;
    bool padMissing = false;
    // Frame chunks whose size was damaged: where the size lies, and the
    // size up to the next header.
    std::vector<std::pair<qint64, quint32>> sizeFixes;
    Resync resync(chunks, streams.size(), stop);
    bool zeroTail = false;
    for (;;) {
        if (resync.stopped())
            return report;
        AviChunks::Chunk chunk;
        if (!chunks.next(&chunk)) {
            // A chunk that runs past the end, or fewer bytes than a header.
            const qint64 at = chunks.at();
            if (at >= fileSize)
                break;
            char head[ChunkHeader]{};
            const qint64 have = std::min(ChunkHeader, fileSize - at);
            if (!chunks.peek(at, head, have))
                return fail(systemError());
            if (have < ChunkHeader)
                break; // a header torn by the kill
            if (isFrameCode(head, streams.size())) {
                const qint64 found = resync.next(at + ChunkHeader);
                if (found < 0)
                    break; // the torn last frame
                std::memcpy(chunk.code.data(), head, 4);
                chunk.at = at;
                chunk.size = quint32(found - at - ChunkHeader);
                chunk.part = int(chunks.parts().size()) - 1;
                sizeFixes.emplace_back(at + 4, chunk.size);
                chunks.skipTo(found);
            } else if (isIndexCode(head, streams.size()) || is(head, "RIFF") || is(head, "LIST")) {
                break; // an index or a part cut off while it was written
            } else if (resync.zerosFrom(at)) {
                zeroTail = true;
                break;
            } else if (const qint64 found = resync.next(at + 1); found >= 0) {
                chunks.skipTo(found);
                continue;
            } else {
                return resync.stopped() ? report
                                        : fail(QStringLiteral("unknown chunk at byte %1").arg(at));
            }
        }
        const int n = streamOf(chunk.code.data(), streams.size());
        const int ix = chunk.code[0] == 'i' && chunk.code[1] == 'x'
                           ? streamOf(chunk.code.data() + 2, streams.size())
                           : -1;
        if (n >= 0) {
            if (!resync.headerFollows(chunk.end())) {
                // Its size is damaged: the frame goes on to the next header.
                const qint64 found = resync.next(chunk.data());
                if (found < 0)
                    return resync.stopped()
                               ? report
                               : fail(QStringLiteral("unknown chunk at byte %1").arg(chunk.end()));
                chunk.size = quint32(found - chunk.data());
                sizeFixes.emplace_back(chunk.at + 4, chunk.size);
                chunks.skipTo(found);
            }
            Stream& stream = streams[std::size_t(n)];
            if (stream.parts.size() <= std::size_t(chunk.part))
                stream.parts.resize(std::size_t(chunk.part) + 1);
            ++stream.parts[std::size_t(chunk.part)].chunks;
            stream.parts[std::size_t(chunk.part)].bytes += chunk.size;
            stream.largestChunk = std::max(stream.largestChunk, chunk.size);
            if (chunk.part != last)
                entries.clear();
            last = chunk.part;
            entries.push_back({chunk.code, chunk.at, chunk.size});
            padMissing = chunk.end() > fileSize;
            end = std::min(chunk.end(), fileSize);
        } else if (ix >= 0) {
            indexes.push_back({chunk.part, std::size_t(ix), chunk.at, chunk.size});
        } else if (chunk.is("idx1") && chunk.part == 0) {
            idx1 = chunk.at;
            idx1End = chunk.end();
        } else if (resync.zerosFrom(chunk.at)) {
            zeroTail = true; // what a power cut leaves
            break;
        } else if (!chunk.is("JUNK")) {
            const qint64 found = resync.next(chunk.at + 1);
            if (found < 0)
                return resync.stopped()
                           ? report
                           : fail(QStringLiteral("unknown chunk at byte %1").arg(chunk.at));
            chunks.skipTo(found);
        }
    }
    // A frame whose zeros run on to the end of the file was torn by the
    // power cut.
    if (zeroTail && !entries.empty()) {
        const Entry torn = entries.back();
        char lastByte = 1;
        if (torn.size > 0 && chunks.peek(torn.at + ChunkHeader + torn.size - 1, &lastByte, 1) &&
            lastByte == 0) {
            Count& count = streams[std::size_t(streamOf(torn.code.data(), streams.size()))]
                               .parts[std::size_t(last)];
            --count.chunks;
            count.bytes -= torn.size;
            entries.pop_back();
            end = torn.at;
            padMissing = false;
            if (entries.empty() && last == 0)
                last = -1;
        }
    }
    if (last < 0)
        return remove();
    for (Stream& s : streams)
        s.parts.resize(std::size_t(last) + 1);

    QByteArray header = layout.header;
    const qint64 moviData = layout.movi + ChunkHeader; // idx1 offsets count from here
    // Appended at the end of the frames: the pad byte of a cut-off last
    // frame, then the index of the last part.
    QByteArray tail(padMissing ? 1 : 0, '\0');
    // RIFF and movi list sizes of the further parts, patched in place.
    std::vector<std::pair<qint64, quint32>> partSizes;
    if (last == 0) {
        QByteArray index("idx1\0\0\0\0", ChunkHeader);
        for (const Entry& e : entries) {
            const qsizetype at = index.size();
            index.resize(at + IndexEntryBytes);
            std::memcpy(index.data() + at, e.code.data(), 4);
            put32(index, at + 4, AviifKeyframe);
            put32(index, at + 8, quint32(e.at - moviData));
            put32(index, at + 12, e.size);
        }
        put32(index, 4, quint32(index.size() - ChunkHeader));
        tail += index;
        const qint64 finalSize = end + tail.size();
        if (finalSize > qint64(0xFFFFFFFFLL))
            return fail(QStringLiteral("too large for one index"));
        put32(header, 4, quint32(finalSize - ChunkHeader));
        put32(header, qsizetype(layout.movi) + 4, quint32(end + (padMissing ? 1 : 0) - moviData));
    } else {
        // The first part was finished with its index when the second began;
        // each later one with its standard index when the next began.
        const std::vector<AviChunks::Part>& parts = chunks.parts();
        if (idx1 < 0 || std::any_of(parts.begin() + 1, parts.begin() + last + 1,
                                    [](const AviChunks::Part& p) { return p.list < 0; }))
            return fail(QStringLiteral("unknown layout of the parts"));
        for (const Stream& s : streams)
            if (s.indx < 0 || s.indxRoom < quint32(last + 1))
                return fail(QStringLiteral("no room in the index for %1 parts").arg(last + 1));
        const auto super = [&](std::size_t stream, int part, qint64 at, quint32 size) {
            const Stream& s = streams[stream];
            const qsizetype entry = s.indx + OdmlIndexHeader + part * SuperEntryBytes;
            qToLittleEndian(quint64(at), header.data() + entry);
            put32(header, entry + 8, size);
            put32(header, entry + 12, quint32(s.length(s.parts[std::size_t(part)])));
        };
        for (int part = 0; part < last; ++part)
            for (std::size_t n = 0; n < streams.size(); ++n) {
                const auto found =
                    std::find_if(indexes.begin(), indexes.end(), [&](const IndexChunk& c) {
                        return c.part == part && c.stream == n;
                    });
                if (found == indexes.end())
                    return fail(QStringLiteral("no index of part %1").arg(part));
                super(n, part, found->at, quint32(ChunkHeader + found->size));
            }
        const qint64 base = parts[std::size_t(last)].riff;
        for (std::size_t n = 0; n < streams.size(); ++n) {
            const QByteArray tag = header.mid(streams[n].indx + IndexChunkId, 4);
            QByteArray index(ChunkHeader + OdmlIndexHeader, '\0');
            index[0] = 'i';
            index[1] = 'x';
            index[2] = tag[0];
            index[3] = tag[1];
            index[ChunkHeader] = 2; // longs an entry
            index[ChunkHeader + 3] = IndexOfChunks;
            std::memcpy(index.data() + ChunkHeader + IndexChunkId, tag.constData(), 4);
            qToLittleEndian(quint64(base), index.data() + ChunkHeader + IndexBase);
            for (const Entry& e : entries) {
                if (streamOf(e.code.data(), streams.size()) != int(n))
                    continue;
                const qsizetype at = index.size();
                index.resize(at + 8);
                put32(index, at, quint32(e.at + ChunkHeader - base)); // to the data
                put32(index, at + 4, e.size);
            }
            put32(index, 4, quint32(index.size() - ChunkHeader));
            put32(index, ChunkHeader + IndexEntriesInUse,
                  quint32((index.size() - ChunkHeader - OdmlIndexHeader) / 8));
            super(n, last, end + tail.size(), quint32(index.size()));
            tail += index;
        }
        const qint64 finalSize = end + tail.size();
        if (finalSize - base > qint64(0xFFFFFFFFLL))
            return fail(QStringLiteral("too large for one part"));
        for (int part = 1; part <= last; ++part) {
            const qint64 partEnd = part < last ? parts[std::size_t(part) + 1].riff : finalSize;
            const AviChunks::Part& p = parts[std::size_t(part)];
            partSizes.emplace_back(p.riff + 4, quint32(partEnd - p.riff - ChunkHeader));
            partSizes.emplace_back(p.list + 4, quint32(partEnd - p.list - ChunkHeader));
        }
        put32(header, 4, quint32(idx1End - ChunkHeader));
        put32(header, qsizetype(layout.movi) + 4, quint32(idx1 - moviData));
        for (const Stream& s : streams) {
            std::memcpy(header.data() + s.indx - ChunkHeader, "indx", 4);
            put32(header, s.indx + IndexEntriesInUse, quint32(last + 1));
        }
    }

    put32(header, layout.avih + AvihFlags,
          u32(header.constData() + layout.avih + AvihFlags) | AvifHasIndex);
    const Stream* firstVideo = nullptr;
    for (const Stream& s : streams) {
        put32(header, s.strh + StrhLength, quint32(s.length(s.total())));
        if (u32(header.constData() + s.strh + StrhSuggestedBuffer) == 0)
            put32(header, s.strh + StrhSuggestedBuffer, s.largestChunk);
        if (s.video && firstVideo == nullptr)
            firstVideo = &s;
    }
    // The main header counts the frames of the first part, the extended one
    // all of them.
    const quint64 allFrames = firstVideo != nullptr ? firstVideo->total().chunks : 0;
    put32(header, layout.avih + AvihTotalFrames,
          quint32(firstVideo != nullptr ? firstVideo->parts.front().chunks : 0));
    if (layout.dmlh >= 0)
        put32(header, layout.dmlh, quint32(allFrames));

    // Each step leaves a file that reads as before, and a later repair
    // finds the same chunks: the index is appended first, the main header,
    // which tells a finished file, changes last.
    if (resync.stopped())
        return report;
    file.changing();
    if (::ftruncate(fd, off_t(end)) != 0)
        return fail(systemError());
    // A long index is written in pieces; stopped in between, the file goes
    // back to its frames alone, which the next start repairs.
    constexpr qsizetype Piece = 1 << 22;
    for (qsizetype done = 0; done < tail.size(); done += Piece) {
        if (resync.stopped())
            return ::ftruncate(fd, off_t(end)) == 0 ? report : fail(systemError());
        if (!AviChunks::write(fd, end + done, tail.mid(done, Piece)))
            return fail(systemError());
    }
    if (::fsync(fd) != 0)
        return fail(systemError());
    for (const auto& [at, size] : sizeFixes)
        if (at < end) // not of a torn frame that was cut off
            partSizes.emplace_back(at, size);
    for (const auto& [at, size] : partSizes) {
        QByteArray bytes(4, '\0');
        put32(bytes, 0, size);
        if (!AviChunks::write(fd, at, bytes))
            return fail(systemError());
    }
    if ((!partSizes.empty() && ::fsync(fd) != 0) || !AviChunks::write(fd, 0, header) ||
        ::fsync(fd) != 0)
        return fail(systemError());
    report.outcome = Outcome::Repaired;
    if (firstVideo != nullptr) {
        const char* strh = header.constData() + firstVideo->strh;
        const quint32 scale = u32(strh + StrhScale);
        const quint32 rate = u32(strh + StrhRate);
        report.frames = allFrames;
        report.seconds = rate > 0 ? double(allFrames) * scale / rate : 0.0;
    }
    return report;
}

QStringList AviRepair::recordings(const QString& folder, const NameTest& isOwn) {
    QStringList paths;
    if (folder.isEmpty())
        return paths;
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({QStringLiteral("*.avi")}, QDir::Files | QDir::NoSymLinks, QDir::Name))
        if (isOwn(name))
            paths << dir.filePath(name);
    return paths;
}

QList<AviRepair::Report> AviRepair::repairFolder(const QString& folder, const NameTest& isOwn) {
    QList<Report> reports;
    for (const QString& path : recordings(folder, isOwn)) {
        Report report = repair(path);
        if (report.outcome != Outcome::Untouched)
            reports.append(std::move(report));
    }
    return reports;
}
