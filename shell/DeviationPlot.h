#pragma once

#include <QColor>
#include <QWidget>

class DeviationHistory;

// The last two minutes of deviations as a line, the threshold across it
// and a vertical mark where each recording started and ended. It only
// paints what the history holds.
class DeviationPlot final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviationPlot)

public:
    static inline const QColor DeviationColor{0, 90, 200};
    static inline const QColor ThresholdColor{220, 0, 0};
    static inline const QColor StartColor{0, 160, 0};
    static inline const QColor EndColor{110, 110, 110};

    explicit DeviationPlot(const DeviationHistory& history, QWidget* parent = nullptr);

    // Where the curves go, inside the frame and the scale's texts.
    QRect area() const;
    // The deviation at the top of the area; the threshold sits at half of
    // it unless a larger deviation needs the room.
    double topPercent() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const DeviationHistory& m_history;
};
