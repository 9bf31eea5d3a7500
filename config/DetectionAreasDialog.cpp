#include "DetectionAreasDialog.h"

#include "DeviationHistory.h"
#include "MaskEditor.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

QString percentText(double value) {
    return QString::number(value, 'f', 2) + QStringLiteral(" %");
}

} // namespace

DetectionAreasDialog::DetectionAreasDialog(const QList<QRectF>& masks, float ownThreshold,
                                           const DeviationHistory& history, QWidget* parent)
    : QDialog(parent)
    , m_history(history)
    , m_editor(new MaskEditor(this))
    , m_threshold(new QDoubleSpinBox(this))
    , m_deviation(new QLabel(this))
    , m_suggest(new QPushButton(QStringLiteral("Su&ggest"), this))
    , m_note(new QLabel(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setObjectName(QStringLiteral("DetectionAreasDialog"));
    setWindowTitle(QStringLiteral("Detection Areas"));
    setModal(true);
    m_editor->setMasks(masks);
    m_threshold->setObjectName(QStringLiteral("Threshold"));
    m_threshold->setRange(0.0, MaxThreshold);
    m_threshold->setDecimals(2);
    m_threshold->setSingleStep(ThresholdStep);
    m_threshold->setSuffix(QStringLiteral(" %"));
    m_threshold->setSpecialValueText(QStringLiteral("Sensitivity preset"));
    m_threshold->setValue(std::clamp(double(ownThreshold), 0.0, MaxThreshold));
    m_deviation->setObjectName(QStringLiteral("Deviation"));
    m_deviation->setToolTip(QStringLiteral("Measured while surveillance runs"));
    if (history.samples().empty())
        m_deviation->setText(QStringLiteral("Deviation now: none yet"));
    else
        showDeviation(history.samples().back().deviation);
    m_suggest->setObjectName(QStringLiteral("Suggest"));
    m_suggest->setToolTip(
        QStringLiteral("Just above the highest deviation of the last two minutes: let the "
                       "surveillance watch a calm stretch of the scene first"));
    m_note->setObjectName(QStringLiteral("Note"));
    m_buttons->setObjectName(QStringLiteral("Buttons"));
    m_buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OK"));
    m_buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("Cancel"));

    auto* hint = new QLabel(
        QStringLiteral("Drag on the picture to leave an area out of the examination, drag an "
                       "area to move it; Delete or a right click removes the selected one."),
        this);
    hint->setWordWrap(true);
    auto* thresholdLabel = new QLabel(QStringLiteral("&Threshold"), this);
    thresholdLabel->setBuddy(m_threshold);
    auto* row = new QHBoxLayout;
    row->addWidget(thresholdLabel);
    row->addWidget(m_threshold);
    row->addWidget(m_suggest);
    row->addSpacing(12);
    row->addWidget(m_deviation, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_editor, 1);
    layout->addWidget(hint);
    layout->addLayout(row);
    layout->addWidget(m_note);
    layout->addWidget(m_buttons);
    connect(m_suggest, &QPushButton::clicked, this, &DetectionAreasDialog::suggest);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

DetectionAreasDialog::~DetectionAreasDialog() = default;

QList<QRectF> DetectionAreasDialog::masks() const {
    return m_editor->masks();
}

float DetectionAreasDialog::ownThreshold() const {
    return float(m_threshold->value());
}

double DetectionAreasDialog::suggestion(double highest) {
    const double wanted = std::max(0.0, highest) * MarginFactor + MarginPercent;
    // The tolerance keeps a value already on a step from going one up.
    const double steps = std::ceil(wanted / ThresholdStep - 1e-6);
    return std::min(MaxThreshold, steps * ThresholdStep);
}

void DetectionAreasDialog::showPicture(const QImage& picture) {
    m_editor->setPicture(picture);
}

void DetectionAreasDialog::showDeviation(float deviation) {
    m_deviation->setText(QStringLiteral("Deviation now: ") + percentText(double(deviation)));
}

void DetectionAreasDialog::suggest() {
    const auto& samples = m_history.samples();
    if (samples.empty()) {
        m_note->setText(QStringLiteral("Nothing measured yet: arm the surveillance and let it "
                                       "watch a calm stretch first."));
        return;
    }
    const auto highest =
        std::max_element(samples.begin(), samples.end(),
                         [](const DeviationHistory::Sample& a, const DeviationHistory::Sample& b) {
                             return a.deviation < b.deviation;
                         });
    m_threshold->setValue(suggestion(double(highest->deviation)));
    m_note->setText(QStringLiteral("Highest deviation of the last two minutes: ") +
                    percentText(double(highest->deviation)));
}
