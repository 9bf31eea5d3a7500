#include "SurveillanceRig.h"

#include "WaitBound.h"
#include "ZLib.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <algorithm>
#include <random>

SurveillanceRig::SurveillanceRig(const QString& commandLine, Frames frames,
                                 const CaptureControl::Options& camera)
    : clock(QDate(2026, 12, 6), QTime(9, 5, 7))
    , frames(frames)
    , stuff(
          [this] {
              return this->frames == Frames::FromCamera ? QDateTime::currentDateTime() : clock;
          },
          [this](const QString& path) {
              return freeSpace ? freeSpace(path) : PublicStuff::FreeDiskSpaceMB(path);
          })
    , capture(camera)
    , surveillance(capture, stuff, panels, CommandLine::parse(commandLine),
                   {&mnuStart, &mnuTimer, &mnuSuspend, &mnuStat}) {
    mnuSuspend.setEnabled(false);
    mnuStat.setCheckable(true);
    panels.setState(SystemState::Off);
    // What start-up and the option menus set by default.
    stuff.Threshold = 4.0F;
    stuff.RecordSeconds = 10;
    stuff.RefreshSeconds = 60;
    stuff.SuspendRefresh = true;
    stuff.Notify = 1;
    stuff.Saver = QStringLiteral("--- Do not enable a screen saver ---");
    stuff.VidPath = videos.path() + u'/';
    if (frames == Frames::FromTest) {
        // The camera's own frames would make the results depend on timing.
        QObject::disconnect(&capture, &CaptureControl::FrameCallback, &surveillance, nullptr);
        QObject::disconnect(&capture, &CaptureControl::StreamCallback, &surveillance, nullptr);
    }
    QObject::connect(&surveillance, &Surveillance::recordingStopped, &surveillance,
                     [this](const QString& start, const QString& stop, const QString& file) {
                         rows << start + u'|' + stop + u'|' + file;
                     });
    QObject::connect(
        &surveillance, &Surveillance::recordingDeleted, &surveillance,
        [this](const QString& start, const QString& message) { rows << start + u'|' + message; });
}

void SurveillanceRig::deliver(const std::vector<std::uint8_t>& frame) {
    VideoHeader header;
    header.lpData = frame.data();
    header.dwBufferLength = std::uint32_t(frame.size());
    header.dwBytesUsed = std::uint32_t(frame.size());
    header.width = SizedFrames::Width;
    header.height = SizedFrames::Height;
    surveillance.Frame_Handler(&header);
}

void SurveillanceRig::examine(const std::vector<std::uint8_t>& frame) {
    deliver(frame);
    // The comparison follows the compression as a queued event.
    QDeadlineTimer bound(TestData::Bound);
    while (surveillance.examining() && !bound.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
}

const std::vector<std::uint8_t>& SizedFrames::frame(std::int32_t compressedSize) {
    std::vector<std::uint8_t>& found = m_found[compressedSize];
    static ZLib zlib;
    std::vector<std::uint8_t> noise(131072), frame(noise.size());
    auto sizeWith = [&](std::int64_t noisy) {
        noisy = std::clamp<std::int64_t>(noisy, 0, std::int64_t(frame.size()));
        std::copy_n(noise.begin(), noisy, frame.begin());
        std::fill(frame.begin() + noisy, frame.end(), 0);
        return std::int64_t(zlib.compressedLength(frame.data(), frame.size()));
    };
    // Noise costs about one compressed byte per byte, so a few corrections
    // land close; deflate's block choices make the last bytes uneven, so
    // the neighbourhood is scanned, with other noise if need be.
    for (std::uint32_t seed = 1; found.empty() && seed < 5; ++seed) {
        std::mt19937 generator(seed);
        std::generate(noise.begin(), noise.end(), [&] { return std::uint8_t(generator()); });
        std::int64_t noisy = compressedSize;
        for (int step = 0; step < 8; ++step)
            noisy += compressedSize - sizeWith(noisy);
        for (std::int64_t k = noisy - 40; found.empty() && k <= noisy + 40; ++k)
            if (sizeWith(k) == compressedSize)
                found = frame;
    }
    return found;
}
