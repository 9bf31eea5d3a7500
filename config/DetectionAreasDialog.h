#pragma once

#include <QDialog>
#include <QImage>
#include <QList>
#include <QRectF>

class DeviationHistory;
class MaskEditor;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;

// The areas left out of the examination, drawn on the live picture, and
// the user's own threshold beside the deviation measured now. Suggest
// takes the threshold from the deviations of the last two minutes. The
// dialog only edits; the caller applies and stores what it returns when it
// is accepted.
class DetectionAreasDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DetectionAreasDialog)

public:
    // Suggest's margin over the highest deviation seen: a quarter of it for
    // a scene that stirs a little, a quarter of a percent for one that does
    // not stir at all; rounded up to the threshold's step.
    static constexpr double MarginFactor = 1.25;
    static constexpr double MarginPercent = 0.25;
    static constexpr double ThresholdStep = 0.05;
    static constexpr double MaxThreshold = 100.0;

    // `ownThreshold` 0 leaves the Sensitivity preset in force.
    DetectionAreasDialog(const QList<QRectF>& masks, float ownThreshold,
                         const DeviationHistory& history, QWidget* parent = nullptr);
    ~DetectionAreasDialog() override;

    // In percent of the picture: left, top, width, height.
    QList<QRectF> masks() const;
    // 0: the Sensitivity preset.
    float ownThreshold() const;
    // What Suggest sets for the highest deviation seen.
    static double suggestion(double highest);

    // The live picture and the newest deviation, as they come.
    void showPicture(const QImage& picture);
    void showDeviation(float deviation);

private:
    void suggest();

    const DeviationHistory& m_history;
    MaskEditor* const m_editor;
    QDoubleSpinBox* const m_threshold;
    QLabel* const m_deviation;
    QPushButton* const m_suggest;
    QLabel* const m_note;
    QDialogButtonBox* const m_buttons;
};
