#include "Surveillance.h"

#include "CaptureControl.h"
#include "DateText.h"
#include "DetectionAreas.h"
#include "MotionMeasure.h"
#include "PublicStuff.h"
#include "RecordingName.h"
#include "ShellExecute.h"
#include "StatusPanels.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QScopedValueRollback>

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

namespace {

// A folder that cannot be written is tried again no sooner than this.
constexpr int captureRetrySeconds = 10;

QString secondsText(std::int64_t seconds) {
    return QString::number(seconds) + QStringLiteral(" sec");
}

} // namespace

Surveillance::Surveillance(CaptureControl& capture, PublicStuff& stuff, StatusPanels& panels,
                           const CommandLine& commandLine, const Menus& menus, QObject* parent)
    : QObject(parent)
    , m_capture(capture)
    , m_stuff(stuff)
    , m_panels(panels)
    , m_commandLine(commandLine)
    , m_menus(menus)
    , m_compressors(MotionMeasure::Level)
    , m_retention(stuff) {
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(TickMs);
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer2.setSingleShot(true);
    connect(&Timer1, &QTimer::timeout, this, &Surveillance::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &Surveillance::Timer2_Timer);
    connect(&m_capture, &CaptureControl::FrameCallback, this, &Surveillance::FrameCallback);
    connect(&m_capture, &CaptureControl::StreamCallback, this, &Surveillance::StreamCallback);
    connect(&m_capture, &CaptureControl::StatusCallback, this, &Surveillance::StatusCallback);
    connect(&m_compressors, &CompressionPool::compressed, this, &Surveillance::frameCompressed);
    connect(&m_compressors, &CompressionPool::workerFreed, this, &Surveillance::workerFreed);
}

Surveillance::~Surveillance() = default;

void Surveillance::trace(const char* where, const char* text) {
    m_stuff.WriteTrace(QLatin1String(where), QLatin1String(text));
}

std::int64_t Surveillance::secondsSince(const QDateTime& origin) const {
    // Whole seconds of both times, as a date difference in seconds counts.
    return m_stuff.now().toSecsSinceEpoch() - origin.toSecsSinceEpoch();
}

bool Surveillance::mailWillFollow() const {
    return m_stuff.Notify == 1 && !m_stuff.EMail.trimmed().isEmpty() &&
           !m_stuff.SMTPServer.trimmed().isEmpty() && !m_commandLine.noMail;
}

bool Surveillance::overlaySwapped() const {
    return m_capture.HasOverlay() && !m_noOverlay;
}

void Surveillance::mnuStart_Click() {
    if (m_surveillanceOn)
        stop();
    else
        start();
}

void Surveillance::start() {
    trace("Start", "Step 1");
    if (lowOnSpace()) {
        m_panels.setText(Panel::Timestamp, StatusPanels::stateName(SystemState::LowDiskSpace));
        return;
    }
    trace("Start", "Step 2");
    m_mailing = false;
    m_surveillanceOn = true;
    m_recordedLatch = false;
    m_captureRetryAt = QDateTime();
    m_menus.mnuStart->setText(QStringLiteral("&Stop"));
    m_menus.mnuTimer->setVisible(false);
    trace("Start", "Step 3");
    m_panels.setState(SystemState::Standby);
    m_panels.setText(Panel::Timestamp, QString());
    m_stuff.BaseSize = 0;
    Timer1.start();
    m_stuff.BaseCountdown = 0;
    m_stuff.FrameCount = 0;
    m_stuff.BaseCount = 0;
    m_stuff.LastFrameSize = 0;
    m_stuff.LastDeviation = 0.0F;
    m_stuff.FramesSkipped = 0;
    m_stuff.ExaminedPerSecond = 0.0F;
    m_examinedAt.clear();
    m_armedAt = m_stuff.now().toMSecsSinceEpoch();
    ++m_armings;
    m_compressors.setWorkers(m_stuff.Workers);
    ++m_measures;
    m_capture.setPreRecordArmed(true);
    if (m_menus.mnuStat->isChecked())
        Q_EMIT statisticsVisibilityRequested(true);
    startScreenSaver();
}

void Surveillance::startScreenSaver() {
    const QString& saver = m_stuff.Saver;
    if (saver.isEmpty() || saver.left(4) == QStringLiteral("--- "))
        return;
    // A missing or broken saver is no reason to stay unarmed.
    ShellExecute::open(m_stuff.SystemDirectory() + saver + QStringLiteral(".scr"));
}

void Surveillance::stop() {
    trace("Stop", "Step 1");
    Timer1.stop();
    m_surveillanceOn = false;
    m_waiting.reset();
    trace("Stop", "Step 2");
    if (m_menus.mnuSuspend->isEnabled()) {
        const std::uint64_t armings = m_armings;
        mnuSuspend_Click();
        // Armed again while the recording ended: that came last.
        if (m_armings != armings)
            return;
    }
    m_capture.setPreRecordArmed(false);
    m_menus.mnuStart->setText(QStringLiteral("&Start"));
    m_menus.mnuTimer->setVisible(true);
    trace("Stop", "Step 3");
    m_panels.setState(SystemState::Off);
    m_panels.setText(Panel::Deviation, QString());
    m_panels.setText(Panel::BaseRefresh, QString());
    Q_EMIT statisticsVisibilityRequested(false);
}

void Surveillance::mnuSuspend_Click() {
    const QScopedValueRollback suspending(m_suspending, true);
    trace("Suspend", "Step 1");
    m_menus.mnuSuspend->setEnabled(false);
    m_stopPending = false;
    m_recordedLatch = false;
    // A capture start still waiting would begin a recording nobody ends.
    Timer2.stop();
    trace("Suspend", "Step 2");
    m_capture.StopCapture();
    if (overlaySwapped()) {
        m_capture.setOverlay(false);
        m_capture.setPreview(true);
    }
    trace("Suspend", "Step 3");
    // Pending events run, but not clicks: a dialog opened from in here would
    // hold the tick and the frames back for as long as it stays open.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    trace("Suspend", "Step 4");
    // A capture that never wrote a file leaves no row either.
    if (std::exchange(m_recordingHasFile, false))
        Q_EMIT recordingStopped(m_panels.text(Panel::Timestamp), DateText::general(m_stuff.now()),
                                m_capture.CaptureFile());
    // A disarm that ran meanwhile has the last word.
    if (m_surveillanceOn)
        m_panels.setState(SystemState::Standby);
    m_panels.setText(Panel::Deviation, QString());
    m_panels.setText(Panel::TimeToGo, QString());
    m_panels.setText(Panel::Timestamp, QString());
}

void Surveillance::FrameCallback(const VideoHeader* header) {
    if (m_capture.IsCapturing() || !m_surveillanceOn)
        return;
    trace("Frame_Callback", "Begin");
    Frame_Handler(header);
    trace("Frame_Callback", "End");
}

void Surveillance::StreamCallback(const VideoHeader* header) {
    trace("Stream_Callback", "Begin");
    Frame_Handler(header);
    trace("Stream_Callback", "End");
}

void Surveillance::StatusCallback(int code, const QString& text) {
    QString status = text;
    if (status.endsWith(QChar(u'\0')))
        status.chop(1);
    m_stuff.CaptureStatusText = status;
    Q_EMIT captureStatusChanged(status);
    if (code == CaptureControl::StatusCaptureFailed) {
        captureFailed();
        return;
    }
    // The capture control has already closed the file; what it holds is
    // kept and logged like any other recording.
    if (code == CaptureControl::StatusDeviceLost && m_menus.mnuSuspend->isEnabled())
        mnuSuspend_Click();
    // Without a camera there is nothing to watch until it is back; then
    // its first frame is the base image.
    if (code == CaptureControl::StatusDeviceLost) {
        m_stuff.WriteTrace(QStringLiteral("Status_Callback"),
                           QStringLiteral("Camera lost: ") + status);
        m_armedWhenLost = m_surveillanceOn;
        if (m_surveillanceOn)
            stop();
        m_panels.setText(Panel::Timestamp, StatusPanels::stateName(SystemState::NoCamera));
    } else if (code == CaptureControl::StatusDeviceBack) {
        trace("Status_Callback", "Camera back");
        m_stuff.BaseSize = 0;
        if (m_panels.text(Panel::Timestamp) == StatusPanels::stateName(SystemState::NoCamera))
            m_panels.setText(Panel::Timestamp, QString());
        if (std::exchange(m_armedWhenLost, false) && !m_surveillanceOn)
            start();
    }
}

void Surveillance::captureFailed() {
    trace("Capture", "Failed");
    if (m_capture.capturedFrames() > 0) {
        // The capture control has closed the file with what it holds.
        if (m_menus.mnuSuspend->isEnabled())
            mnuSuspend_Click();
    } else {
        m_recordingHasFile = false;
    }
    if (m_capture.outOfSpace()) {
        // The next recording may start at once where old ones made room;
        // otherwise a start on a full volume would only fail again.
        if (makeRoom()) {
            m_captureRetryAt = QDateTime();
            return;
        }
        stopForLowSpace();
        return;
    }
    m_captureRetryAt = m_stuff.now().addSecs(captureRetrySeconds);
}

void Surveillance::Frame_Handler(const VideoHeader* header) {
    if (header == nullptr || !m_surveillanceOn || m_mailing || m_suspending)
        return;
    // The newest frame waits while every worker is busy; one that was
    // already waiting is skipped, so frames never pile up.
    if (m_waiting)
        ++m_stuff.FramesSkipped;
    // The capture control's frame is shared as it is; one from elsewhere
    // is copied once.
    m_waiting = m_capture.sharedFrame(header);
    if (!m_waiting) {
        const std::shared_ptr<std::vector<std::uint8_t>> copy = m_copies.take(header->dwBytesUsed);
        if (!copy->empty())
            std::memcpy(copy->data(), header->lpData, copy->size());
        m_waiting = copy;
    }
    m_waitingWidth = header->width;
    m_waitingHeight = header->height;
    if (m_compressors.idleWorker())
        compressWaitingFrame();
}

void Surveillance::compressWaitingFrame() {
    const std::size_t capacity = MotionMeasure::destinationCapacity(m_waiting->size());
    // Masked on the worker, in its own copy: the frame itself is shared
    // with the snapshot and the live picture. The masks in force now go
    // along, so a change meanwhile never reaches a frame half-way.
    CompressionPool::Prepare prepare;
    if (!m_stuff.Masks.isEmpty())
        prepare = [masks = m_stuff.Masks, width = m_waitingWidth,
                   height = m_waitingHeight](std::uint8_t* data, std::size_t size) {
            DetectionAreas::apply(masks, data, size, width, height);
        };
    // The events that arrive meanwhile run before the frame is compared,
    // as if they had run at the start of its examination.
    m_compressors.start(
        {std::exchange(m_waiting, nullptr), capacity, m_measures, std::move(prepare)});
}

void Surveillance::setMasks(const QList<QRectF>& masks) {
    if (masks == m_stuff.Masks)
        return;
    m_stuff.Masks = masks;
    ++m_measures;
    if (m_surveillanceOn)
        m_stuff.BaseSize = 0;
}

void Surveillance::frameCompressed(std::uint64_t measure, std::size_t compressed) {
    // The lengths come in the frames' order; a frame of an earlier arming
    // or mask set, or one whose length comes back while nothing is
    // examined, is not compared.
    if (measure != m_measures || !m_surveillanceOn || m_mailing || m_suspending)
        return;
    // The examination's steps are written when the frame is compared, so
    // the trace reads the same however many frames were measured at once.
    trace("Frame_Handler", "Step 1");
    trace("Frame_Handler", "Step 2");
    trace("Frame_Handler", "Step 3");
    compareFrame(compressed);
}

void Surveillance::workerFreed() {
    if (m_waiting && m_surveillanceOn && !m_mailing && !m_suspending)
        compressWaitingFrame();
    else
        m_waiting.reset();
}

void Surveillance::compareFrame(std::size_t compressed) {
    if (compressed == 0 || compressed > std::size_t(std::numeric_limits<std::int32_t>::max()))
        return;
    const auto s = std::int32_t(compressed);

    if (m_stuff.BaseSize == 0) {
        m_stuff.BaseSize = s;
        m_baseTakenAt = m_stuff.now();
        ++m_stuff.BaseCount;
    }
    trace("Frame_Handler", "Step 4");
    const float d = MotionMeasure::deviation(s, m_stuff.BaseSize);
    m_panels.setText(Panel::Deviation, MotionMeasure::panelText(d, m_stuff.Threshold));
    m_stuff.LastDeviation = d;
    m_stuff.LastFrameSize = s;
    ++m_stuff.FrameCount;
    countExaminedFrame();
    Q_EMIT deviationMeasured(d);

    const bool active = d >= m_stuff.Threshold || m_forceRecording;
    if (active) {
        if (!m_capture.IsCapturing() && !m_recordedLatch)
            startRecording();
        if (m_stuff.TimeType == StopMode::AfterActivity)
            m_stopPending = false;
    } else if (m_capture.IsCapturing() && !m_stopPending) {
        initiateStop("Initiate Stop (variable recording time)");
    }
    if (m_capture.IsCapturing() && m_stuff.TimeType == StopMode::FixedTime && !m_stopPending)
        initiateStop("Initiate Stop (fixed recording time)");
    if (d < m_stuff.Threshold && m_recordedLatch) {
        m_recordedLatch = false;
        m_panels.setState(SystemState::Standby);
    }
}

void Surveillance::countExaminedFrame() {
    // The rate over the last few seconds, or since arming when that is
    // shorter.
    const qint64 now = m_stuff.now().toMSecsSinceEpoch();
    m_examinedAt.push_back(now);
    while (m_examinedAt.front() <= now - RateWindowMs)
        m_examinedAt.pop_front();
    const qint64 window = std::clamp<qint64>(now - m_armedAt, 1000, RateWindowMs);
    m_stuff.ExaminedPerSecond = float(double(m_examinedAt.size()) * 1000.0 / double(window));
}

void Surveillance::initiateStop(const QString& kind) {
    m_stuff.WriteTrace(QStringLiteral("Frame_Handler"), kind);
    m_stopPendingSince = m_stuff.now();
    m_stopPending = true;
}

void Surveillance::startRecording() {
    trace("Frame_Handler", "Initiate Start");
    m_panels.setText(Panel::Timestamp, DateText::general(m_stuff.now()));
    m_menus.mnuSuspend->setEnabled(true);
    m_forceRecording = false;
    m_panels.setState(SystemState::Recording);
    trace("Frame_Handler", "Set outfile");
    m_outputFile = RecordingName::unused(
        RecordingName::fromStartText(m_stuff.VidPath, m_panels.text(Panel::Timestamp)));
    m_capture.setCaptureFile(m_outputFile);
    m_recordingHasFile = false;
    Timer2.start(1);
    m_stopPending = false;
}

void Surveillance::Timer2_Timer() {
    Timer2.stop();
    trace("Timer_2", "Step 1");
    if (mailWillFollow()) {
        trace("Timer_2", "Step 2 (Snapshot)");
        m_snapshotDibFile = m_stuff.VidPath + QStringLiteral("StillShot.dib");
        m_capture.SaveFrameAsDIB(m_snapshotDibFile);
    }
    trace("Timer_2", "Step 3");
    if (overlaySwapped()) {
        m_capture.setPreview(false);
        m_capture.setOverlay(true);
    }
    trace("Timer_2", "Step 4");
    // The recording stays started; its capture waits for the retry time.
    if (m_captureRetryAt.isValid() && m_stuff.now() < m_captureRetryAt)
        return;
    if (!m_capture.StartCapture()) {
        m_stuff.CaptureStatusText = m_capture.lastError();
        captureFailed();
        return;
    }
    m_captureRetryAt = QDateTime();
    m_captureStartedAt = m_stuff.now();
    m_recordingHasFile = true;
}

void Surveillance::Timer1_Timer() {
    // Ending a recording lets events run; this tick's work waits for the next.
    if (m_suspending)
        return;
    if (countDownEndingPeriod())
        return;
    countDownBaseRefresh();
    checkLowSpace();
}

bool Surveillance::countDownEndingPeriod() {
    // A scene that changed for good would otherwise record until the disk
    // is full; the next frame is its new base.
    if (m_capture.IsCapturing() && m_stuff.MaxRecordMinutes > 0 &&
        secondsSince(m_captureStartedAt) >= std::int64_t(m_stuff.MaxRecordMinutes) * 60) {
        trace("Timer_1", "Longest recording reached");
        m_stuff.BaseSize = 0;
        return endRecording();
    }
    if (!m_capture.IsCapturing() || !m_stopPending) {
        m_panels.setText(Panel::TimeToGo, QString());
        return false;
    }
    trace("Timer_1", "Countdown ending period");
    const std::int64_t r = m_stuff.RecordSeconds - secondsSince(m_stopPendingSince);
    m_panels.setText(Panel::TimeToGo, secondsText(r));
    if (r >= 1)
        return false;
    return endRecording();
}

bool Surveillance::endRecording() {
    const QString started = m_panels.text(Panel::Timestamp);
    const std::uint64_t armings = m_armings;
    mnuSuspend_Click();
    // A disarm or a new arming while it ended came last: the recording
    // belongs to a surveillance that is over, and nobody is told of it.
    if (!m_surveillanceOn || m_armings != armings)
        return true;
    if (m_stuff.TimeType == StopMode::FixedTime) {
        m_panels.setState(SystemState::Recorded);
        m_recordedLatch = true;
    }
    if (!mailWillFollow())
        return false;
    Timer1.stop();
    m_mailing = true;
    Q_EMIT mailRequested(started);
    return true;
}

void Surveillance::mailEnded() {
    if (m_surveillanceOn)
        Timer1.start();
    m_mailing = false;
}

void Surveillance::countDownBaseRefresh() {
    const bool capturing = m_capture.IsCapturing();
    const bool due = (!capturing || !m_stuff.SuspendRefresh) && m_stuff.RefreshSeconds > 0 &&
                     m_stuff.BaseSize > 0 && !m_recordedLatch;
    if (!due) {
        const bool waiting = m_stuff.BaseSize > 0 && m_stuff.RefreshSeconds > 0 &&
                             ((capturing && m_stuff.SuspendRefresh) || m_recordedLatch);
        m_panels.setText(Panel::BaseRefresh, waiting ? QStringLiteral("Wait") : QString());
        return;
    }
    trace("Timer_1", "Check new base");
    const std::int64_t r = m_stuff.RefreshSeconds - secondsSince(m_baseTakenAt);
    m_panels.setText(Panel::BaseRefresh, secondsText(r));
    if (r < 1)
        m_stuff.BaseSize = 0;
    // Only a capture of many hours with the refresh suspended goes past the
    // 16-bit range; the figure then stays at its limit.
    m_stuff.BaseCountdown = std::int16_t(std::clamp<std::int64_t>(
        r, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

void Surveillance::checkLowSpace() {
    trace("Timer_1", "Check low space");
    if (lowOnSpace())
        stopForLowSpace();
}

bool Surveillance::lowOnSpace() {
    const auto low = [this] {
        return m_stuff.freeDiskSpaceMB(m_stuff.VidPath) < double(m_stuff.LowSpace);
    };
    if (!low())
        return false;
    makeRoom();
    return low();
}

bool Surveillance::makeRoom() {
    if (!m_stuff.DeleteOldest)
        return false;
    const QList<Retention::Deletion> deleted = m_retention.makeRoom(runningRecording());
    for (const Retention::Deletion& d : deleted)
        Q_EMIT recordingDeleted(DateText::general(d.started),
                                QStringLiteral("Deleted to make room: ") +
                                    QFileInfo(d.file).fileName());
    return !deleted.isEmpty();
}

void Surveillance::removeOldRecordings() {
    const std::int32_t days = m_stuff.KeepDays;
    for (const Retention::Deletion& d : m_retention.removeOlderThan(days, runningRecording()))
        Q_EMIT recordingDeleted(DateText::general(d.started),
                                QStringLiteral("Deleted, older than %1 %2: %3")
                                    .arg(days)
                                    .arg(days == 1 ? QStringLiteral("day") : QStringLiteral("days"),
                                         QFileInfo(d.file).fileName()));
}

QString Surveillance::runningRecording() const {
    // From the decision to record until its end, the recording's file is
    // being written or about to be.
    return m_menus.mnuSuspend->isEnabled() || m_capture.IsCapturing() ? m_outputFile : QString();
}

void Surveillance::stopForLowSpace() {
    if (m_surveillanceOn)
        mnuStart_Click();
    m_panels.setText(Panel::Timestamp, StatusPanels::stateName(SystemState::LowDiskSpace));
}
