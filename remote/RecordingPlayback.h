#pragma once

#include "AviChunks.h"
#include "AviVideoStream.h"

#include <QByteArray>

#include <chrono>
#include <optional>

// One recording played to one viewer: its Motion JPEG frames as they lie
// in the file, never decoded or encoded again, at the rate its header
// gives. Whatever the file says, a frame is read only when it is at most
// MaxFrame bytes, and at most MaxSkipped other chunks are stepped over
// between two frames.
class RecordingPlayback final {
    Q_DISABLE_COPY_MOVE(RecordingPlayback)

public:
    enum class Opened { Playable = 1, NotMotionJpeg, Unreadable };

    static constexpr quint32 MaxFrame = 8 * 1024 * 1024;
    static constexpr int MaxSkipped = 1000;
    // Frame rates outside this range are taken for damage.
    static constexpr int MinRate = 1;
    static constexpr int MaxRate = 60;

    // Takes fd, which it closes; looks at the header and the first frame.
    explicit RecordingPlayback(int fd);
    ~RecordingPlayback();

    Opened opened() const { return m_opened; }
    std::chrono::microseconds frameTime() const;
    // The next frame's JPEG; empty at the end of the recording or where it
    // is damaged.
    QByteArray next();

private:
    QByteArray read();

    int m_fd;
    AviChunks m_chunks;
    std::optional<AviVideoStream> m_video;
    Opened m_opened = Opened::Unreadable;
    QByteArray m_first;
    bool m_ended = false;
};
