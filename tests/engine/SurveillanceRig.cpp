#include "SurveillanceRig.h"

#include "ZLib.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <algorithm>
#include <random>

SurveillanceRig::SurveillanceRig(const QString& commandLine, Frames frames,
                                 const CaptureControl::Options& camera)
    : clock(QDate(2026, 12, 6), QTime(9, 5, 7))
    , frames(frames)
    , stuff([this] {
        return this->frames == Frames::FromCamera ? QDateTime::currentDateTime() : clock;
    })
    , capture(camera)
    , mnuStart(QStringLiteral("&Start"))
    , mnuTimer(QStringLiteral("Start in &30 seconds"))
    , mnuSuspend(QStringLiteral("Sus&pend"))
    , mnuStat(QStringLiteral("Show Video &Statistics"))
    , surveillance(capture, stuff, panels, CommandLine::parse(commandLine),
                   {&mnuStart, &mnuTimer, &mnuSuspend, &mnuStat}) {
    mnuSuspend.setEnabled(false);
    mnuStat.setCheckable(true);
    panels.setState(SystemState::Off);
    // What start-up and the option menus set by default.
    stuff.Threshold = 4.0F;
    stuff.RecordSeconds = 10;
    stuff.TimeType = StopMode::AfterActivity;
    stuff.RefreshSeconds = 60;
    stuff.SuspendRefresh = true;
    stuff.LowSpace = 0;
    stuff.Notify = 1;
    stuff.Saver = QStringLiteral("--- Do not enable a screen saver ---");
    if (frames == Frames::FromTest) {
        // The camera's own frames would make the results depend on timing.
        QObject::disconnect(&capture, &CaptureControl::FrameCallback, &surveillance, nullptr);
        QObject::disconnect(&capture, &CaptureControl::StreamCallback, &surveillance, nullptr);
    }
    QObject::connect(&surveillance, &Surveillance::recordingStopped, &surveillance,
                     [this](const QString& start, const QString& stop, const QString& file) {
                         rows << start + u'|' + stop + u'|' + file;
                     });
}

void SurveillanceRig::examine(const std::vector<std::uint8_t>& frame) {
    VideoHeader header;
    header.lpData = frame.data();
    header.dwBufferLength = std::uint32_t(frame.size());
    header.dwBytesUsed = std::uint32_t(frame.size());
    surveillance.Frame_Handler(&header);
    // The comparison follows the compression as a queued event.
    QDeadlineTimer bound(10000);
    while (surveillance.examining() && !bound.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
}

SizedFrames::SizedFrames()
    : m_noise(2 * Bytes) {
    std::mt19937 generator(7);
    std::generate(m_noise.begin(), m_noise.end(), [&] { return std::uint8_t(generator()); });
}

std::vector<std::uint8_t> SizedFrames::build(std::size_t noisy, std::size_t offset) const {
    std::vector<std::uint8_t> frame(Bytes, 0);
    std::copy_n(m_noise.begin() + std::ptrdiff_t(offset), noisy, frame.begin());
    return frame;
}

std::int32_t SizedFrames::sizeOf(std::size_t noisy, std::size_t offset) {
    static ZLib zlib;
    const std::vector<std::uint8_t> frame = build(noisy, offset);
    return std::int32_t(zlib.compressedLength(frame.data(), frame.size()));
}

const std::vector<std::uint8_t>& SizedFrames::frame(std::int32_t compressedSize) {
    if (auto it = m_found.find(compressedSize); it != m_found.end())
        return it->second;
    // Noise costs about one compressed byte per byte, so a few corrections
    // land close; deflate's block choices make the last bytes uneven, so
    // the neighbourhood is scanned, with other noise if need be.
    for (std::size_t offset = 0; offset < 4 * 1000; offset += 1000) {
        auto noisy = std::int64_t(compressedSize);
        for (int step = 0; step < 8; ++step) {
            noisy = std::clamp<std::int64_t>(noisy, 0, std::int64_t(Bytes));
            const std::int32_t s = sizeOf(std::size_t(noisy), offset);
            if (std::abs(s - compressedSize) < 4)
                break;
            noisy += compressedSize - s;
        }
        for (std::int64_t k = noisy - 40; k <= noisy + 40; ++k) {
            if (k < 0 || k > std::int64_t(Bytes))
                continue;
            if (sizeOf(std::size_t(k), offset) == compressedSize)
                return m_found[compressedSize] = build(std::size_t(k), offset);
        }
    }
    static const std::vector<std::uint8_t> none;
    return none;
}
