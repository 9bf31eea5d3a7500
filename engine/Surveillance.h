#pragma once

#include "CommandLine.h"
#include "CompressionPool.h"
#include "FramePool.h"
#include "Retention.h"
#include "VideoHeader.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

class CaptureControl;
class PublicStuff;
class QAction;
class StatusPanels;

// The surveillance life cycle: arming and disarming, the examination of
// every frame, the start of a recording and its end, the refresh of the
// base image and the disk-space rule. The state is the combination of the
// flags below and the capture control's IsCapturing; its name is the text
// of status panel 2.
//
// It knows the window only through the status panels and the four menu
// entries it drives, so it runs without a screen.
class Surveillance final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Surveillance)

public:
    struct Menus {
        QAction* mnuStart = nullptr;
        QAction* mnuTimer = nullptr;
        QAction* mnuSuspend = nullptr;
        QAction* mnuStat = nullptr;
    };

    Surveillance(CaptureControl& capture, PublicStuff& stuff, StatusPanels& panels,
                 const CommandLine& commandLine, const Menus& menus, QObject* parent = nullptr);
    ~Surveillance() override;

    // Arms when off, disarms (ending and logging a recording) when on.
    void mnuStart_Click();
    // Ends the running recording and hands its row to the event log.
    void mnuSuspend_Click();

    // Examines one frame: measure, show the deviation, start or end a
    // recording. The compression runs on one of the compression control's
    // workers; the comparison follows when its length is back and those of
    // all earlier frames have been compared.
    void Frame_Handler(const VideoHeader* header);
    void FrameCallback(const VideoHeader* header);
    void StreamCallback(const VideoHeader* header);
    void StatusCallback(int code, const QString& text);

    // Supervision tick: ending period, base refresh, disk space.
    void Timer1_Timer();
    // Capture start, a moment after a recording was decided.
    void Timer2_Timer();

    // A notification mail follows the end of the ending period.
    bool mailWillFollow() const;
    // The mail that mailRequested asked for has been sent or has failed: the tick
    // and the detection go on.
    void mailEnded();
    // Deletes the own recordings older than KeepDays days (none when it is
    // 0), never the running one.
    void removeOldRecordings();
    // The remote console's "record now": the next frame starts a recording.
    void forceRecording() { m_forceRecording = true; }
    void setNoOverlay(bool noOverlay) { m_noOverlay = noOverlay; }
    // Takes a new set of areas left out of the examination (Masks) into
    // use from the next frame on. Masking changes every length, so a
    // changed set makes the next frame the base, and a frame measured
    // with the old set is not compared.
    void setMasks(const QList<QRectF>& masks);

    // The engine's state.
    bool SurveillanceOn() const { return m_surveillanceOn; }
    bool Mailing() const { return m_mailing; }
    bool RecordedLatch() const { return m_recordedLatch; }
    bool StopPending() const { return m_stopPending; }
    bool ForceRecording() const { return m_forceRecording; }
    bool NoOverlay() const { return m_noOverlay; }
    // A frame is being compressed; it is compared when its length is back
    // unless the state changes meanwhile.
    bool examining() const { return m_compressors.busy(); }
    // The workers that measure the frames, for tests and measurements.
    CompressionPool& compressors() { return m_compressors; }
    const QString& OutputFile() const { return m_outputFile; }
    const QString& SnapshotDibFile() const { return m_snapshotDibFile; }

    // The supervision tick's period; the tick runs while armed.
    static constexpr int TickMs = 250;
    QTimer Timer1;
    QTimer Timer2;

Q_SIGNALS:
    // A recording ended: its start text, the stop time as text, its file.
    void recordingStopped(const QString& started, const QString& stopped, const QString& file);
    // The statistics window is to be shown on arming, hidden on disarming.
    void statisticsVisibilityRequested(bool visible);
    // A recording's ending period is over and its mail is due; the tick and
    // the detection wait for mailEnded().
    void mailRequested(const QString& startText);
    // An own recording was deleted: its start text and a message for the
    // event log.
    void recordingDeleted(const QString& started, const QString& message);
    // A frame was compared with the base image; also in LastDeviation.
    void deviationMeasured(float deviation);
    // The capture control reported a new status, now in CaptureStatusText.
    void captureStatusChanged(const QString& status);

private:
    // The examined-frames rate covers this much of the recent past.
    static constexpr qint64 RateWindowMs = 5000;

    void start();
    void stop();
    void startRecording();
    void initiateStop(const QString& kind);
    // Tick step 1; true when the tick ends there (see endRecording).
    bool countDownEndingPeriod();
    // Ends the running recording as its ending period does; true when a
    // mail is under way, or when a disarm or an arming ran while it ended.
    bool endRecording();
    void countDownBaseRefresh();
    void checkLowSpace();
    // Free space below LowSpace; with DeleteOldest, after the oldest own
    // recordings have made what room they can.
    bool lowOnSpace();
    // With DeleteOldest, deletes the oldest own recordings as Retention
    // does; true when any went.
    bool makeRoom();
    QString runningRecording() const;
    void stopForLowSpace();
    // A capture could not start or ended early: its frames are logged, an
    // attempt without frames is not, and a full volume ends surveillance.
    void captureFailed();
    void startScreenSaver();
    bool overlaySwapped() const;
    std::int64_t secondsSince(const QDateTime& origin) const;
    void trace(const char* where, const char* text);
    void compressWaitingFrame();
    void frameCompressed(std::uint64_t measure, std::size_t compressed);
    void workerFreed();
    void compareFrame(std::size_t compressed);
    void countExaminedFrame();

    CaptureControl& m_capture;
    PublicStuff& m_stuff;
    StatusPanels& m_panels;
    const CommandLine m_commandLine;
    const Menus m_menus;
    CompressionPool m_compressors;
    Retention m_retention;
    // Copies of frames that do not come from the capture control, kept
    // from frame to frame: fresh multi-megabyte blocks per frame cost page
    // faults on every touch.
    FramePool m_copies;
    // The newest frame waiting for a free worker.
    FramePool::Frame m_waiting;
    // Its picture size, for the masks.
    std::uint32_t m_waitingWidth = 0;
    std::uint32_t m_waitingHeight = 0;
    // Tells a compression of this arming from one that began before.
    std::uint64_t m_armings = 0;
    // Lengths are comparable within one measure: a new arming or a new
    // set of masks begins the next.
    std::uint64_t m_measures = 0;
    qint64 m_armedAt = 0;
    std::deque<qint64> m_examinedAt;
    // While a recording is being ended, frames and ticks wait for the end.
    bool m_suspending = false;
    // Surveillance was on when the camera went away: it goes on when the
    // camera is back.
    bool m_armedWhenLost = false;
    // The running recording has a file worth a row in the event log.
    bool m_recordingHasFile = false;
    // After a failed capture the next one waits until then.
    QDateTime m_captureRetryAt;
    bool m_surveillanceOn = false;
    bool m_mailing = false;
    bool m_recordedLatch = false;
    bool m_stopPending = false;
    QDateTime m_stopPendingSince;
    QDateTime m_captureStartedAt;
    bool m_forceRecording = false;
    bool m_noOverlay = false;
    QString m_outputFile;
    QString m_snapshotDibFile;
    QDateTime m_baseTakenAt;
};
