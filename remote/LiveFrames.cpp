#include "LiveFrames.h"

#include <QBuffer>

#include <algorithm>

void LiveFrames::offer(const QImage& picture) {
    {
        const std::lock_guard lock(m_mutex);
        m_picture = picture;
        ++m_number;
    }
    m_changed.notify_all();
}

namespace {

std::int64_t steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

bool LiveFrames::wanted() const {
    return steadyMs() - m_askedAtMs.load() < WantedFor.count();
}

LiveFrames::Jpeg LiveFrames::next(std::uint64_t after, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    // After a while without viewers no pictures were offered, so the one
    // held is old: wait for a fresh one.
    const bool fresh = !wanted();
    m_askedAtMs = steadyMs();
    std::unique_lock lock(m_mutex);
    if (fresh)
        after = std::max(after, m_number);
    for (;;) {
        if (m_stopped)
            return {};
        if (m_jpeg && m_jpegNumber > after && m_jpegNumber == m_number)
            return {m_jpeg, m_jpegNumber};
        // Another viewer is encoding, or no new picture yet: wait for it.
        if (m_encoding || m_number <= after || m_picture.isNull()) {
            if (m_changed.wait_until(lock, deadline) == std::cv_status::timeout)
                return {};
            continue;
        }
        const QImage picture = m_picture;
        const std::uint64_t number = m_number;
        m_encoding = true;
        lock.unlock();
        auto jpeg = std::make_shared<QByteArray>();
        QBuffer buffer(jpeg.get());
        buffer.open(QIODevice::WriteOnly);
        const bool encoded = picture.save(&buffer, "JPG", Quality);
        lock.lock();
        m_encoding = false;
        if (encoded) {
            m_jpeg = std::move(jpeg);
            m_jpegNumber = number;
            ++m_encodings;
        }
        m_changed.notify_all();
        if (!encoded)
            return {};
        // A newer picture may have come meanwhile; this one is still news.
        return {m_jpeg, m_jpegNumber};
    }
}

void LiveFrames::stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_changed.notify_all();
}

void LiveFrames::restart() {
    const std::lock_guard lock(m_mutex);
    m_stopped = false;
}

std::uint64_t LiveFrames::encodings() const {
    const std::lock_guard lock(m_mutex);
    return m_encodings;
}
