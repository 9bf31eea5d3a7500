#pragma once

#include <QByteArray>
#include <QImage>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

// The live picture for the web page's viewers. While someone watches, the
// window's thread offers every picture (kept by reference, no copy); a
// picture is turned into JPEG only when a viewer asks for it, once, and
// every viewer waiting for it gets the same bytes. With nobody watching
// nothing is converted or encoded.
class LiveFrames final {
public:
    struct Jpeg {
        std::shared_ptr<const QByteArray> data; // null: none within the wait
        std::uint64_t number = 0;
    };

    // From the window's thread: the newest picture.
    void offer(const QImage& picture);
    // Whether a viewer asked for a picture lately, so one is worth making.
    bool wanted() const;
    // The first picture newer than `after`, as JPEG, waiting at most `wait`
    // for one to come; nothing after stop().
    Jpeg next(std::uint64_t after, std::chrono::milliseconds wait);
    // Wakes every waiting viewer; no picture is handed out any more.
    void stop();
    // Hands pictures out again after stop().
    void restart();

    // How many pictures were encoded so far.
    std::uint64_t encodings() const;

    static constexpr int Quality = 75;
    // A viewer that asked within this long still counts as watching.
    static constexpr std::chrono::milliseconds WantedFor{2000};

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QImage m_picture;
    std::uint64_t m_number = 0;
    std::shared_ptr<const QByteArray> m_jpeg;
    std::uint64_t m_jpegNumber = 0;
    bool m_encoding = false;
    std::uint64_t m_encodings = 0;
    bool m_stopped = false;
    std::atomic<std::int64_t> m_askedAtMs{0};
};
