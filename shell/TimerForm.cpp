#include "TimerForm.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TimerForm::TimerForm(PublicStuff& stuff, Surveillance& surveillance, QWidget* parent)
    : QDialog(parent)
    , Label1(new QLabel(QStringLiteral("Standby mode starts in"), this))
    , Label2(new QLabel(QStringLiteral("nn seconds"), this))
    , ProgressBar1(new QProgressBar(this))
    , Command1(new QPushButton(QStringLiteral("&Cancel"), this))
    , m_countdown(stuff, surveillance) {
    setObjectName(QStringLiteral("TimerForm"));
    setWindowTitle(QStringLiteral("Timer"));
    setModal(true);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2->setObjectName(QStringLiteral("Label2"));
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    Command1->setObjectName(QStringLiteral("Command1"));
    QFont labelFont(QStringLiteral("Comic Sans MS"), 10);
    labelFont.setStyleHint(QFont::Cursive);
    Label1->setFont(labelFont);
    labelFont.setPointSize(16);
    Label2->setFont(labelFont);
    Label1->setAlignment(Qt::AlignCenter);
    Label2->setAlignment(Qt::AlignCenter);
    ProgressBar1->setRange(0, StandbyCountdown::StartSeconds);
    ProgressBar1->setTextVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label2);
    layout->addWidget(ProgressBar1);
    layout->addWidget(Command1, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(&m_countdown, &StandbyCountdown::countChanged, this, &TimerForm::showCount);
    connect(&m_countdown, &StandbyCountdown::closeRequested, this,
            [this](bool started) { started ? accept() : reject(); });
    connect(Command1, &QPushButton::clicked, &m_countdown, &StandbyCountdown::Command1_Click);
    m_countdown.Form_Load();
}

TimerForm::~TimerForm() = default;

void TimerForm::showCount(std::int16_t seconds) {
    Label2->setText(StandbyCountdown::countText(seconds));
    ProgressBar1->setValue(seconds);
}

void TimerForm::done(int result) {
    // Closing by the window's own means (Escape, close box) is a cancel.
    m_countdown.Timer1.stop();
    QDialog::done(result);
}
