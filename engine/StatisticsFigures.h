#pragma once

#include <QString>

#include <cstdint>

class CaptureControl;
class PublicStuff;
class StatusPanels;

// The texts and the bar of the statistics window, read from the detection
// figures, the status panels and the capture control at one refresh.
struct StatisticsFigures final {
    // The bar counts hundredths of a percent: thresholds such as 1.2 % are
    // not whole numbers.
    static constexpr int BarStepsPerPercent = 100;

    QString baseCount;     // Label2
    QString baseSize;      // Label4
    QString baseCountdown; // Label7
    QString frameCount;    // Label10
    QString lastFrameSize; // Label12
    QString examinedPerSecond;
    QString framesSkipped;
    QString preRecordBytes;
    QString frameState;    // Label19
    QString deviceName;    // Label16
    QString deviceVersion; // Label18
    int barMaximum = 0;
    int barValue = 0;

    static StatisticsFigures read(const PublicStuff& stuff, const StatusPanels& panels,
                                  const CaptureControl& capture);

    // A number with a sign position: " 42", "-3".
    static QString numberText(std::int64_t value);
    // Panel 2, with " (Ending)" while a recording's ending period runs
    // (panel 4 shows its time).
    static QString frameStateText(const QString& panel2, const QString& panel4);
};
