#pragma once

#include <QColor>
#include <QList>
#include <QWidget>

class DeviationHistory;

// The last two minutes of deviations as a line, the threshold across it,
// the Sensitivity presets as faint dashed lines with their names, and a
// vertical mark where each recording started and ended, over a scale in
// percent and minutes. It only paints what the history holds.
class DeviationPlot final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviationPlot)

public:
    static inline const QColor DeviationColor{0, 90, 200};
    static inline const QColor ThresholdColor{220, 0, 0};
    static inline const QColor StartColor{0, 160, 0};
    static inline const QColor EndColor{110, 110, 110};
    static inline const QColor PresetColor{165, 165, 165};

    explicit DeviationPlot(const DeviationHistory& history, QWidget* parent = nullptr);

    // Where the curves go, inside the frame and the scale's texts.
    QRect area() const;
    // The deviation at the top of the area; the threshold sits at half of
    // it unless a larger deviation needs the room.
    double topPercent() const;
    // The row of the area where a deviation is drawn.
    int yOf(double percent) const;
    // The labelled values of a scale from 0 to `top`: every multiple of one
    // step of 1, 2 or 5 times a power of ten, the smallest step that gives
    // no more than eight.
    static QList<double> valueTicks(double top);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const DeviationHistory& m_history;
};
