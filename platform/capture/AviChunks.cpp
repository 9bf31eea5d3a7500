#include "AviChunks.h"

#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Larger headers are not a recording of ours.
constexpr qint64 MaxHeaderBytes = 1 << 20;

// pread or pwrite until all bytes are through; short transfers and
// interruptions by signals are resumed.
template <typename Transfer, typename Bytes>
bool transferAt(Transfer transfer, int fd, qint64 at, Bytes* bytes, qint64 size) {
    while (size > 0) {
        const ssize_t n = transfer(fd, bytes, size_t(size), off_t(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        at += n;
        size -= n;
    }
    return true;
}

} // namespace

bool AviChunks::isCode(const char* bytes, const char* fourcc) {
    return std::memcmp(bytes, fourcc, 4) == 0;
}

bool AviChunks::Chunk::is(const char* fourcc) const {
    return isCode(code.data(), fourcc);
}

bool AviChunks::read(int fd, qint64 at, char* into, qint64 size) {
    return transferAt(::pread, fd, at, into, size);
}

bool AviChunks::write(int fd, qint64 at, const QByteArray& bytes) {
    return transferAt(::pwrite, fd, at, bytes.constData(), bytes.size());
}

AviChunks::AviChunks(int fd)
    : fd_(fd) {
    struct stat info {};
    char head[ListHeader];
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return;
    size_ = info.st_size;
    if (size_ < ListHeader || !read(fd, 0, head, ListHeader) || !isCode(head, "RIFF") ||
        !isCode(head + 8, "AVI "))
        return;
    for (qint64 at = ListHeader; at + ListHeader <= size_ && at < MaxHeaderBytes;) {
        if (!read(fd, at, head, ListHeader))
            return;
        const quint32 size = u32(head + 4);
        if (isCode(head, "LIST") && isCode(head + 8, "movi")) {
            parts_.push_back({0, at});
            moviSize_ = size;
            at_ = at + ListHeader;
            return;
        }
        at += ChunkHeader + size + (size & 1);
    }
}

bool AviChunks::peek(qint64 at, char* into, qint64 size) {
    constexpr qint64 WindowBytes = 1 << 20;
    if (at < windowAt_ || at + size > windowAt_ + window_.size()) {
        if (size > WindowBytes || at < 0)
            return read(fd_, at, into, size);
        const qint64 length = std::min(WindowBytes, size_ - at);
        if (length < size)
            return false;
        window_.resize(length);
        windowAt_ = at;
        if (!read(fd_, at, window_.data(), length)) {
            window_.clear();
            return false;
        }
    }
    std::memcpy(into, window_.constData() + (at - windowAt_), size_t(size));
    return true;
}

bool AviChunks::next(Chunk* chunk) {
    while (!parts_.empty() && at_ + ChunkHeader <= size_) {
        char head[ListHeader];
        const qint64 have = std::min(ListHeader, size_ - at_);
        if (!peek(at_, head, have))
            return false;
        const bool list = isCode(head, "LIST") || isCode(head, "RIFF");
        if (list && have < ListHeader)
            return false;
        // A further part and its movi list are entered, not skipped: their
        // sizes are filled in only when the part is finished.
        if (list && isCode(head, "RIFF") && isCode(head + 8, "AVIX")) {
            parts_.push_back({at_, -1});
            at_ += ListHeader;
            continue;
        }
        if (list && isCode(head + 8, "movi") && parts_.back().list < 0) {
            parts_.back().list = at_;
            at_ += ListHeader;
            continue;
        }
        const quint32 size = u32(head + 4);
        if (at_ + ChunkHeader + qint64(size) > size_)
            return false;
        std::memcpy(chunk->code.data(), head, 4);
        chunk->at = at_;
        chunk->size = size;
        chunk->part = int(parts_.size()) - 1;
        at_ = chunk->end();
        return true;
    }
    return false;
}
