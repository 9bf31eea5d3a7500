#pragma once

#include <QDialog>
#include <QTimer>

class CaptureControl;
class DeviationHistory;
class DeviationPlot;
class PublicStuff;
class QLabel;
class QProgressBar;
class StatusPanels;

// The statistics window: the working figures of motion detection, shown
// modelessly while surveillance runs. It is refreshed by its own timer
// while visible; only the capture status arrives at once.
class Statistics final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Statistics)

public:
    static constexpr int RefreshMs = 500;

    Statistics(PublicStuff& stuff, StatusPanels& panels, CaptureControl& capture,
               const DeviationHistory& history, QWidget* parent = nullptr);
    ~Statistics() override;

    // Load without showing: the state label is emptied and the timer runs.
    void Form_Load();
    void Timer1_Timer();
    // A new capture status shows at once while the window is open.
    void showCaptureStatus(const QString& status);

    QTimer Timer1;
    QLabel* const Label15; // capture status
    QLabel* const Label16; // driver name
    QLabel* const Label18; // driver version
    QLabel* const Label19; // state
    QProgressBar* const ProgressBar1;
    QLabel* const Label12;        // frame size
    QLabel* const Label10;        // frame number
    QLabel* const Label2;         // base image number
    QLabel* const Label4;         // base image size
    QLabel* const Label7;         // seconds to the base refresh
    QLabel* const examinedRate;   // frames examined per second
    QLabel* const framesSkipped;  // frames skipped since arming
    QLabel* const preRecordBytes; // memory of the frames kept for pre-record
    DeviationPlot* const plot;

private:
    PublicStuff& m_stuff;
    StatusPanels& m_panels;
    CaptureControl& m_capture;
};
