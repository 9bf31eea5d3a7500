#include "AviRepair.h"

#include "FileIdentity.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// RIFF/AVI layout as written by the Video for Windows AVI format and its
// OpenDML extension: chunk = four-character code, 32-bit little-endian size,
// data padded to an even length.
constexpr qint64 ChunkHeader = 8;
constexpr qint64 ListHeader = 12;
// Larger headers are not a recording of ours.
constexpr qint64 MaxHeaderBytes = 1 << 20;
// A writer that was cut off leaves its placeholder: the list type alone.
constexpr quint32 PlaceholderMoviSize = 4;
constexpr quint32 AvifHasIndex = 0x10;
constexpr quint32 AviifKeyframe = 0x10;
constexpr qint64 IndexEntryBytes = 16;

// Field offsets inside the chunk data.
constexpr qsizetype AvihFlags = 12;
constexpr qsizetype AvihTotalFrames = 16;
constexpr qsizetype StrhType = 0;
constexpr qsizetype StrhLength = 32;
constexpr qsizetype StrhSuggestedBuffer = 36;
constexpr qsizetype StrhSampleSize = 44;
constexpr qsizetype StrhBytes = 48;
constexpr qsizetype AvihBytes = 20;

bool is(const char* bytes, const char* code) {
    return std::memcmp(bytes, code, 4) == 0;
}

quint32 u32(const char* bytes) {
    return qFromLittleEndian<quint32>(bytes);
}

void put32(QByteArray& bytes, qsizetype at, quint32 value) {
    qToLittleEndian(value, bytes.data() + at);
}

// pread or pwrite until all bytes are through; short transfers and
// interruptions by signals are resumed.
template <typename Transfer, typename Bytes>
bool transferAt(Transfer transfer, int fd, qint64 offset, Bytes* bytes, qint64 size) {
    while (size > 0) {
        const ssize_t n = transfer(fd, bytes, size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        offset += n;
        size -= n;
    }
    return true;
}

bool readAt(int fd, qint64 offset, char* into, qint64 size) {
    return transferAt(::pread, fd, offset, into, size);
}

bool writeAt(int fd, qint64 offset, const QByteArray& bytes) {
    return transferAt(::pwrite, fd, offset, bytes.constData(), bytes.size());
}

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

struct Stream {
    qsizetype strh = -1; // offset of the strh data in the header bytes
    bool video = false;
    quint32 sampleSize = 0;
    quint64 chunks = 0;
    quint64 bytes = 0;
    quint32 largestChunk = 0;
};

// Calls visit(code, dataOffset, size) for each chunk between begin and end
// of the header bytes; false when a chunk runs past end.
template <typename Visit>
bool forEachChunk(const QByteArray& header, qsizetype begin, qsizetype end, Visit visit) {
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

Found readLayout(int fd, qint64 fileSize, Layout& layout, QString& error) {
    char riff[ListHeader];
    if (fileSize < ListHeader || !readAt(fd, 0, riff, ListHeader) || !is(riff, "RIFF") ||
        !is(riff + 8, "AVI "))
        return Found::Untouched;
    qint64 at = ListHeader;
    while (at + ListHeader <= fileSize && at < MaxHeaderBytes) {
        char chunk[ListHeader];
        if (!readAt(fd, at, chunk, ListHeader))
            return Found::Untouched;
        const quint32 size = u32(chunk + 4);
        if (is(chunk, "LIST") && is(chunk + 8, "movi")) {
            if (size > PlaceholderMoviSize)
                return Found::Untouched; // finished by its writer
            layout.movi = at;
            break;
        }
        at += ChunkHeader + size + (size & 1);
    }
    if (layout.movi < 0)
        return Found::Untouched;

    layout.header.resize(layout.movi + ListHeader);
    if (!readAt(fd, 0, layout.header.data(), layout.header.size()))
        return Found::Untouched;
    const QByteArray& h = layout.header;
    bool hdrl = false;
    forEachChunk(h, ListHeader, layout.movi, [&](const char* code, qsizetype data, qsizetype size) {
        if (!is(code, "LIST") || size < 4 || !is(h.constData() + data, "hdrl"))
            return;
        hdrl = true;
        forEachChunk(h, data + 4, data + size, [&](const char* c, qsizetype d, qsizetype s) {
            if (is(c, "avih") && s >= AvihBytes)
                layout.avih = d;
            if (!is(c, "LIST") || s < 4)
                return;
            if (is(h.constData() + d, "strl")) {
                Stream stream;
                forEachChunk(h, d + 4, d + s, [&](const char* sc, qsizetype sd, qsizetype ss) {
                    if (is(sc, "strh") && ss >= StrhBytes) {
                        stream.strh = sd;
                        stream.video = is(h.constData() + sd + StrhType, "vids");
                        stream.sampleSize = u32(h.constData() + sd + StrhSampleSize);
                    }
                });
                layout.streams.push_back(stream);
            } else if (is(h.constData() + d, "odml")) {
                forEachChunk(h, d + 4, d + s, [&](const char* oc, qsizetype od, qsizetype os) {
                    if (is(oc, "dmlh") && os >= 4)
                        layout.dmlh = od;
                });
            }
        });
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

// Stream number of a data chunk such as "00dc" or "01wb"; -1 otherwise.
int streamOf(const char* code, std::size_t streams) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!digit(code[0]) || !digit(code[1]))
        return -1;
    const int n = (code[0] - '0') * 10 + (code[1] - '0');
    return std::size_t(n) < streams ? n : -1;
}

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

AviRepair::Report AviRepair::repair(const QString& path) {
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
    const qint64 fileSize = info.st_size;
    const auto remove = [&] {
        if (!QFile::remove(path))
            return fail(QStringLiteral("cannot remove"));
        report.outcome = Outcome::Removed;
        return report;
    };
    if (fileSize == 0)
        return remove();

    Layout layout;
    QString why;
    const Found found = readLayout(fd, fileSize, layout, why);
    if (found == Found::Untouched)
        return report;
    if (found == Found::Unknown)
        return fail(why);

    // Walk the data chunks to the first one that is not whole. An index
    // found there is the one of an earlier, interrupted repair (or of a
    // writer cut off while finishing) and is written anew.
    QByteArray index("idx1\0\0\0\0", ChunkHeader);
    const qint64 moviData = layout.movi + ChunkHeader; // index offsets count from here
    qint64 at = layout.movi + ListHeader;
    qint64 end = at;
    bool padMissing = false;
    while (at + ChunkHeader <= fileSize) {
        char chunk[ChunkHeader];
        if (!readAt(fd, at, chunk, ChunkHeader))
            return fail(systemError());
        const quint32 size = u32(chunk + 4);
        const qint64 next = at + ChunkHeader + size + (size & 1);
        if (at + ChunkHeader + qint64(size) > fileSize)
            break;
        // Past 1 GB the writer closes the first part with its index and
        // goes on in further RIFF parts; those are not rebuilt here, and
        // nothing that follows an index is ever cut off.
        if (is(chunk, "idx1")) {
            if (next < fileSize)
                return fail(QStringLiteral("data after the index at byte %1").arg(at));
            break;
        }
        const int n = streamOf(chunk, layout.streams.size());
        if (n >= 0) {
            Stream& stream = layout.streams[std::size_t(n)];
            ++stream.chunks;
            stream.bytes += size;
            stream.largestChunk = std::max(stream.largestChunk, size);
            const qsizetype entry = index.size();
            index.resize(entry + IndexEntryBytes);
            std::memcpy(index.data() + entry, chunk, 4);
            put32(index, entry + 4, AviifKeyframe);
            put32(index, entry + 8, quint32(at - moviData));
            put32(index, entry + 12, size);
        } else if (!is(chunk, "JUNK") && !(chunk[0] == 'i' && chunk[1] == 'x')) {
            return fail(QStringLiteral("unknown chunk at byte %1").arg(at));
        }
        at += ChunkHeader + size;
        padMissing = (size & 1) != 0 && at == fileSize;
        if ((size & 1) != 0 && !padMissing)
            ++at;
        end = at;
    }
    const qint64 indexBytes = index.size() - ChunkHeader;
    if (indexBytes == 0)
        return remove();
    put32(index, 4, quint32(indexBytes));
    if (padMissing)
        index.prepend('\0');
    const qint64 moviEnd = end + (padMissing ? 1 : 0);
    const qint64 finalSize = end + index.size();
    if (finalSize > qint64(0xFFFFFFFFLL))
        return fail(QStringLiteral("too large for one index"));

    QByteArray header = layout.header;
    put32(header, 4, quint32(finalSize - ChunkHeader));
    put32(header, qsizetype(layout.movi) + 4, quint32(moviEnd - moviData));
    put32(header, layout.avih + AvihFlags,
          u32(header.constData() + layout.avih + AvihFlags) | AvifHasIndex);
    quint64 videoFrames = 0;
    bool firstVideo = true;
    for (const Stream& s : layout.streams) {
        const quint64 length = s.sampleSize != 0 && !s.video ? s.bytes / s.sampleSize : s.chunks;
        put32(header, s.strh + StrhLength, quint32(length));
        if (u32(header.constData() + s.strh + StrhSuggestedBuffer) == 0)
            put32(header, s.strh + StrhSuggestedBuffer, s.largestChunk);
        if (s.video && firstVideo) {
            videoFrames = s.chunks;
            firstVideo = false;
        }
    }
    put32(header, layout.avih + AvihTotalFrames, quint32(videoFrames));
    if (layout.dmlh >= 0)
        put32(header, layout.dmlh, quint32(videoFrames));

    // Each step leaves a file that reads as before, and a later repair
    // finds the same chunks: the header changes last, in one write.
    file.changing();
    if (::ftruncate(fd, off_t(end)) != 0 || !writeAt(fd, end, index) || ::fsync(fd) != 0)
        return fail(systemError());
    if (!writeAt(fd, 0, header) || ::fsync(fd) != 0)
        return fail(systemError());
    report.outcome = Outcome::Repaired;
    return report;
}

QList<AviRepair::Report> AviRepair::repairFolder(const QString& folder) {
    QList<Report> reports;
    if (folder.isEmpty())
        return reports;
    const QDir dir(folder);
    for (const QString& name :
         dir.entryList({QStringLiteral("*.avi")}, QDir::Files | QDir::NoSymLinks, QDir::Name)) {
        Report report = repair(dir.filePath(name));
        if (report.outcome != Outcome::Untouched)
            reports.append(std::move(report));
    }
    return reports;
}
