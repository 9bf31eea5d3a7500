#pragma once

#include "MainMenus.h"

#include <QList>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>

#include <cstdint>
#include <optional>

class CaptureView;
class DeviationHistory;
class Program;
class QFrame;
class QLabel;
class Statistics;

// The main window: live picture, menus, the five status panels and the
// message boxes. It shows what the program decides; its window events start
// the program up, lay it out and shut it down.
class Form1 final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    explicit Form1(Program& program, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up; the caller shows the window afterwards.
    void Form_Load();
    void Form_Resize();
    // Shutdown; runs once, from the first close.
    void Form_Unload();
    // Shown, restored and activated, for a later start of the same profile.
    void bringForward();

    // Menu commands that receive the list index of their entry.
    void mnuDevice_Click(int index);
    void mnuSensitivity_Click(int index);
    void mnuTimeType_Click(int index);
    void mnuRec_Click(int index);
    void mnuRefresh_Click(int index);
    void mnuAudio_Click();
    void mnuSource_Click();
    void mnuFormat_Click();
    void mnuCompress_Click();
    void mnuAudioFormat_Click();
    void mnuSources_Click();
    void mnuSuspendRefresh_Click();
    // Surveillance on / off, and the end of the running recording.
    void mnuStart_Click();
    void mnuSuspend_Click();
    // The general settings in their modal dialog.
    void mnuConfig_Click();
    // Deletion of old recordings, in its modal dialog.
    void mnuStorage_Click();
    // The areas left out of the examination and the own threshold, drawn
    // on the live picture in their modal dialog.
    void mnuDetectionAreas_Click();
    // The web page's password and port, put in force at once, with the
    // addresses and the certificate's fingerprint, in its modal dialog.
    void mnuWeb_Click();
    // Standby countdown, statistics window, about box and help.
    void mnuTimer_Click();
    void mnuStat_Click();
    void mnuAbout_Click();
    void mnuDoc_Click();
    void mnuOnline_Click();
    // The event log: opened in the desktop's viewer, or back to the template
    // after the user confirms.
    void mnuLogShow_Click();
    void mnuLogClear_Click();

    CaptureView& captureView() const { return *m_view; }
    QFrame& picFrame() const { return *m_picFrame; }
    Statistics& statistics() const { return *m_statistics; }

    const MainMenus& menus() const { return m_menus; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildStatusBar();
    void showPanelText(QLabel& label, const QString& text) const;
    void applyPicFrameGeometry();
    void onCaptureStatus(int code, const QString& text);
    void onCredentialsNeeded(int device, bool refused);
    void onDeviceSelected(int index, bool selected);
    // Says a device cannot be had without holding anything up: start-up
    // and the console go on, and the box closes itself when the device comes.
    void showDeviceUnavailable();
    void closeDeviceUnavailable();

    Program& m_program;
    MainMenus m_menus;
    QFrame* const m_picFrame;
    CaptureView* const m_view;
    DeviationHistory* m_history = nullptr;
    Statistics* m_statistics = nullptr;
    QList<QLabel*> m_panelLabels;
    // A panel's frame and margins beside its text, in pixels.
    int m_panelChrome = 0;

    // Layout state, in whole twips.
    std::int32_t LastWidth = 0;
    std::int32_t LastHeight = 0;
    std::int32_t m_picFrameWidth = 0;
    std::int32_t m_picFrameHeight = 0;
    bool m_loaded = false;
    // The source whose refusal is answered once its selection has returned.
    std::optional<int> m_credentialsFor;
    QPointer<QMessageBox> m_unavailableBox;
    bool m_unloaded = false;
};
