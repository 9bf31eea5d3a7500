#include "Statistics.h"

#include "CaptureControl.h"
#include "DeviationPlot.h"
#include "PublicStuff.h"
#include "StatisticsFigures.h"
#include "StatusPanels.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

QLabel* valueLabel(const char* name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    label->setFont(font);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLabel* captionLabel(const char* name, const char* text, QWidget* parent) {
    auto* label = new QLabel(QLatin1String(text), parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

QGroupBox* group(const char* caption, QWidget* parent) {
    auto* box = new QGroupBox(QLatin1String(caption), parent);
    new QGridLayout(box);
    return box;
}

QGridLayout* grid(QGroupBox* box) {
    return static_cast<QGridLayout*>(box->layout());
}

} // namespace

Statistics::Statistics(PublicStuff& stuff, StatusPanels& panels, CaptureControl& capture,
                       const DeviationHistory& history, QWidget* parent)
    : QDialog(parent)
    , Label15(valueLabel("Label15", QString(), this))
    , Label16(valueLabel("Label16", QStringLiteral("???"), this))
    , Label18(valueLabel("Label18", QStringLiteral("???"), this))
    , Label19(valueLabel("Label19", QStringLiteral("Statusinfo"), this))
    , ProgressBar1(new QProgressBar(this))
    , Label12(valueLabel("Label12", QStringLiteral("0"), this))
    , Label10(valueLabel("Label10", QStringLiteral("0"), this))
    , Label2(valueLabel("Label2", QStringLiteral("0"), this))
    , Label4(valueLabel("Label4", QStringLiteral("0"), this))
    , Label7(valueLabel("Label7", QStringLiteral("0"), this))
    , examinedRate(valueLabel("examinedRate", QStringLiteral("0"), this))
    , framesSkipped(valueLabel("framesSkipped", QStringLiteral("0"), this))
    , preRecordBytes(valueLabel("preRecordBytes", QStringLiteral("0"), this))
    , plot(new DeviationPlot(history, this))
    , m_stuff(stuff)
    , m_panels(panels)
    , m_capture(capture) {
    setObjectName(QStringLiteral("Statistics"));
    setWindowTitle(QStringLiteral("Video Statistics"));
    setModal(false);
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(RefreshMs);
    connect(&Timer1, &QTimer::timeout, this, &Statistics::Timer1_Timer);

    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    for (QLabel* text : {Label15, Label16, Label18, Label19})
        text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    QGroupBox* status = group("Video Status", this);
    grid(status)->addWidget(Label15, 0, 0);
    QGroupBox* driver = group("Current Hardware Driver", this);
    grid(driver)->addWidget(Label16, 0, 0);
    grid(driver)->addWidget(Label18, 1, 0);
    QGroupBox* frame = group("Current Frame", this);
    grid(frame)->addWidget(Label19, 0, 0, 1, 3);
    grid(frame)->addWidget(captionLabel("Label14", "Difference", frame), 1, 0);
    grid(frame)->addWidget(ProgressBar1, 1, 1, 1, 2);
    grid(frame)->addWidget(captionLabel("Label11", "Frame Size", frame), 2, 0);
    grid(frame)->addWidget(Label12, 2, 1);
    grid(frame)->addWidget(captionLabel("Label13", "Bytes", frame), 2, 2);
    grid(frame)->addWidget(captionLabel("Label9", "Frame #", frame), 3, 0);
    grid(frame)->addWidget(Label10, 3, 1);
    // The examination keeps up with what one core allows; these tell how
    // far that is from the camera's rate.
    grid(frame)->addWidget(captionLabel("examinedCaption", "Examined", frame), 4, 0);
    grid(frame)->addWidget(examinedRate, 4, 1);
    grid(frame)->addWidget(captionLabel("examinedUnit", "per sec", frame), 4, 2);
    grid(frame)->addWidget(captionLabel("skippedCaption", "Skipped", frame), 5, 0);
    grid(frame)->addWidget(framesSkipped, 5, 1);
    grid(frame)->addWidget(captionLabel("preRecordCaption", "Pre-record", frame), 6, 0);
    grid(frame)->addWidget(preRecordBytes, 6, 1);
    grid(frame)->addWidget(captionLabel("preRecordUnit", "Bytes", frame), 6, 2);
    QGroupBox* base = group("Base Image", this);
    grid(base)->addWidget(captionLabel("Label1", "Base Image #", base), 0, 0);
    grid(base)->addWidget(Label2, 0, 1);
    grid(base)->addWidget(captionLabel("Label3", "Image Size", base), 1, 0);
    grid(base)->addWidget(Label4, 1, 1);
    grid(base)->addWidget(captionLabel("Label5", "Bytes", base), 1, 2);
    grid(base)->addWidget(captionLabel("Label6", "Image Refresh", base), 2, 0);
    grid(base)->addWidget(Label7, 2, 1);
    grid(base)->addWidget(captionLabel("Label8", "Secs", base), 2, 2);
    for (QGroupBox* box : {frame, base})
        grid(box)->setColumnMinimumWidth(1, Label12->fontMetrics().averageCharWidth() * 12);

    auto* layout = new QVBoxLayout(this);
    for (QGroupBox* box : {status, driver, frame, base})
        layout->addWidget(box);
    layout->addWidget(plot);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

Statistics::~Statistics() = default;

void Statistics::Form_Load() {
    Label19->clear();
    Timer1.start();
}

void Statistics::Timer1_Timer() {
    if (!isVisible())
        return;
    const StatisticsFigures f = StatisticsFigures::read(m_stuff, m_panels, m_capture);
    Label2->setText(f.baseCount);
    Label4->setText(f.baseSize);
    Label7->setText(f.baseCountdown);
    Label10->setText(f.frameCount);
    Label12->setText(f.lastFrameSize);
    examinedRate->setText(f.examinedPerSecond);
    framesSkipped->setText(f.framesSkipped);
    preRecordBytes->setText(f.preRecordBytes);
    if (Label15->text().isEmpty())
        Label15->setText(m_stuff.CaptureStatusText);
    ProgressBar1->setValue(0);
    ProgressBar1->setRange(0, f.barMaximum);
    ProgressBar1->setValue(f.barValue);
    Label19->setText(f.frameState);
    Label16->setText(f.deviceName);
    Label18->setText(f.deviceVersion);
    plot->update();
}

void Statistics::showCaptureStatus(const QString& status) {
    if (isVisible())
        Label15->setText(status);
}
