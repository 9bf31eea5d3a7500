#include "StatisticsFigures.h"

#include "CaptureControl.h"
#include "PublicStuff.h"
#include "StatusPanels.h"

#include <algorithm>
#include <cmath>

QString StatisticsFigures::numberText(std::int64_t value) {
    const QString digits = QString::number(value);
    return value < 0 ? digits : u' ' + digits;
}

QString StatisticsFigures::frameStateText(const QString& panel2, const QString& panel4) {
    if (panel2.left(9) == QStringLiteral("RECORDING") && !panel4.trimmed().isEmpty())
        return panel2 + QStringLiteral(" (Ending)");
    return panel2;
}

StatisticsFigures StatisticsFigures::read(const PublicStuff& stuff, const StatusPanels& panels,
                                          const CaptureControl& capture) {
    StatisticsFigures f;
    f.baseCount = numberText(stuff.BaseCount);
    f.baseSize = numberText(stuff.BaseSize);
    f.baseCountdown = numberText(stuff.BaseCountdown);
    f.frameCount = numberText(stuff.FrameCount);
    f.lastFrameSize = numberText(stuff.LastFrameSize);
    f.examinedPerSecond = QString::number(double(stuff.ExaminedPerSecond), 'f', 1);
    f.framesSkipped = numberText(stuff.FramesSkipped);
    f.preRecordBytes = numberText(capture.preRecordBytes());
    const double threshold = std::max(0.0, double(stuff.Threshold));
    f.barMaximum = int(std::lround(threshold * BarStepsPerPercent));
    const double shown = std::clamp(double(stuff.LastDeviation), 0.0, threshold);
    f.barValue = std::min(f.barMaximum, int(std::lround(shown * BarStepsPerPercent)));
    f.frameState = frameStateText(panels.text(Panel::State), panels.text(Panel::TimeToGo));
    f.deviceName = capture.DeviceName(capture.Device());
    f.deviceVersion = capture.DeviceVersion(capture.Device());
    return f;
}
