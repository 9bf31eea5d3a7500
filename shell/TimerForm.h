#pragma once

#include "StandbyCountdown.h"

#include <QDialog>

class PublicStuff;
class QLabel;
class QProgressBar;
class QPushButton;
class Surveillance;

// The standby countdown window, shown modally over the main window: 30
// seconds, then surveillance is armed. The count itself is in
// StandbyCountdown; this window only shows it.
class TimerForm final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TimerForm)

public:
    TimerForm(PublicStuff& stuff, Surveillance& surveillance, QWidget* parent = nullptr);
    ~TimerForm() override;

    StandbyCountdown& countdown() { return m_countdown; }

    QLabel* const Label1;
    QLabel* const Label2;
    // The seconds left as a bar, beside the label.
    QProgressBar* const ProgressBar1;
    QPushButton* const Command1;

    void done(int result) override;

private:
    void showCount(std::int16_t seconds);

    StandbyCountdown m_countdown;
};
