#pragma once

#include "TraceLog.h"

#include <QDateTime>
#include <QList>
#include <QRectF>
#include <QString>

#include <cstdint>
#include <functional>

// How a recording ends (the setting TimeType): the chosen seconds after
// the last activity, or a fixed time after its start.
enum class StopMode : std::int16_t { AfterActivity = 1, FixedTime = 2 };

// The shared state of the program: the settings held during the run, the
// detection figures, and the shared routines. One object per run, owned by
// main() and handed to the window, so tests can build it afresh.
class PublicStuff final {
    Q_DISABLE_COPY_MOVE(PublicStuff)

public:
    using Clock = std::function<QDateTime()>;
    using FreeSpace = std::function<double(const QString& path)>;

    explicit PublicStuff(Clock clock = &QDateTime::currentDateTime,
                         FreeSpace freeSpace = &PublicStuff::FreeDiskSpaceMB);

    QDateTime now() const { return m_clock(); }
    // The free space of the volume of path, as FreeDiskSpaceMB counts it.
    double freeDiskSpaceMB(const QString& path) const { return m_freeSpace(path); }

    // Writes one trace line when DebugMode is on.
    void WriteTrace(const QString& where, const QString& text);
    TraceLog& trace() { return m_trace; }

    // The stored form of the remote password and back. A character outside
    // the 62 letters and digits makes the whole result empty.
    static QString ScramblePassword(const QString& password);
    static QString UnscramblePassword(const QString& scrambled);

    // Free space for this user on the volume of path, in MB of 1 048 576
    // bytes with its fraction; 0 when the path cannot be queried, so an
    // unusable output directory counts as full.
    static double FreeDiskSpaceMB(const QString& path);
    static double megabytes(std::uint64_t bytes);
    // Folder of the screen-saver programs, ending in "/"; empty when unknown.
    const QString& SystemDirectory() const { return m_systemDirectory; }
    void setSystemDirectory(const QString& folder) { m_systemDirectory = folder; }

    // Settings held during the run.
    bool DebugMode = false;
    QString VidPath;
    QString EMail;
    QString SMTPServer;
    std::int32_t LowSpace = 0;
    QString RemotePassword;
    std::uint8_t Notify = 0;
    std::uint8_t APM = 0;
    QString Saver;
    bool SuspendRefresh = false;
    // Options of the detection and recording menus.
    float Threshold = 0.0F;
    std::int16_t RecordSeconds = 0;
    StopMode TimeType = StopMode::AfterActivity;
    std::int16_t RefreshSeconds = 0;
    // A recording ends after this long whatever the frames say; 0 never.
    std::int32_t MaxRecordMinutes = 30;
    // Frames measured at the same time, one per core; 0 for as many as the
    // program may use. Taken into use at arming.
    std::int32_t Workers = 0;
    // Own recordings make room where low space would stop surveillance, and
    // go after this many days (0 keeps them all).
    bool DeleteOldest = false;
    std::int32_t KeepDays = 0;
    // Areas left out of the examination, in percent of the picture
    // (left, top, width, height), and the user's own threshold in percent
    // (0: the Sensitivity preset gives Threshold).
    QList<QRectF> Masks;
    float OwnThreshold = 0.0F;

    // Detection figures.
    std::int32_t BaseSize = 0;
    std::int16_t BaseCountdown = 0;
    std::int32_t FrameCount = 0;
    std::int32_t BaseCount = 0;
    std::int32_t LastFrameSize = 0;
    float LastDeviation = 0.0F;
    // Frames replaced by a newer one while another was examined, and the
    // recent rate of examined frames; both since arming.
    std::int64_t FramesSkipped = 0;
    float ExaminedPerSecond = 0.0F;
    QString CaptureStatusText;

private:
    Clock m_clock;
    FreeSpace m_freeSpace;
    QString m_systemDirectory;
    TraceLog m_trace;
};
