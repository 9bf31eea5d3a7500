#include "RecordingPlayback.h"

#include <algorithm>
#include <utility>

#include <unistd.h>

RecordingPlayback::RecordingPlayback(int fd)
    : m_fd(fd)
    , m_chunks(fd)
    , m_video(AviVideoStream::read(m_chunks)) {
    if (!m_video)
        return;
    if (!m_video->isMotionJpeg()) {
        m_opened = Opened::NotMotionJpeg;
        return;
    }
    m_first = read();
    if (!m_first.isEmpty())
        m_opened = Opened::Playable;
}

RecordingPlayback::~RecordingPlayback() {
    ::close(m_fd);
}

std::chrono::microseconds RecordingPlayback::frameTime() const {
    const qint64 said = m_video ? m_video->frameMicroseconds : 0;
    return std::chrono::microseconds(
        std::clamp<qint64>(said, 1000000 / MaxRate, 1000000 / MinRate));
}

QByteArray RecordingPlayback::next() {
    if (!m_first.isEmpty())
        return std::exchange(m_first, QByteArray());
    return read();
}

QByteArray RecordingPlayback::read() {
    AviChunks::Chunk chunk;
    for (int skipped = 0; m_video && !m_ended && skipped <= MaxSkipped; ++skipped) {
        if (m_chunks.movi() < 0 || !m_chunks.next(&chunk))
            break;
        // An empty chunk is a frame the writer dropped.
        if (!m_video->isFrame(chunk.code.data()) || chunk.size == 0)
            continue;
        QByteArray jpeg;
        // Every frame of Motion JPEG is a whole JPEG picture (SOI first).
        if (chunk.size <= MaxFrame) {
            jpeg.resize(qsizetype(chunk.size));
            if (!AviChunks::read(m_fd, chunk.data(), jpeg.data(), chunk.size) ||
                !jpeg.startsWith("\xff\xd8"))
                jpeg.clear();
        }
        if (jpeg.isEmpty())
            break;
        return jpeg;
    }
    m_ended = true;
    return {};
}
