#pragma once

#include "AviRepair.h"
#include "CommandLine.h"
#include "ConfigSection.h"
#include "EventLog.h"
#include "IWindFunc.h"
#include "ProgramOptions.h"
#include "PublicStuff.h"
#include "SettingsStore.h"
#include "Surveillance.h"
#include "WebAccess.h"

#include <QAction>
#include <QObject>
#include <QRectF>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

class CaptureControl;
class JpegLibrary;
class JpegSnapshot;
class MailNotification;
class PowerBroadcast;
class StatusPanels;
class TelnetConsole;
class WebServer;
class Winsock;

// The running program without its window: it owns and wires the capture
// control, the surveillance, the remote console, the mail, the event log,
// the trace, the settings and the power hook, and does the part of start-up
// and shutdown that shows nothing. The window shows what it decides.
class Program final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Program)

public:
    Program(const CommandLine& commandLine, const ProgramOptions& options,
            QObject* parent = nullptr);
    ~Program() override;

    // The options of the detection and recording menus: the list index of
    // the chosen entry, applied and stored.
    void setSensitivity(int index);
    void setTimeType(int index);
    void setRecordTime(int index);
    void setRefreshTime(int index);
    void setSuspendRefresh(bool on);
    void setCaptureAudio(bool on);
    // What may happen to old recordings (section STORAGE), applied and
    // stored; recordings past the new age go at once.
    void setRetention(bool deleteOldest, std::int32_t keepDays);
    // Stores [DETECTION] Mask1.. and Threshold, and takes them into use at once
    // (a changed mask set takes a new base image).
    void setDetectionAreas(const QList<QRectF>& masks, float ownThreshold);
    // Starts selecting device `index - 2`; deviceSelected follows, and a
    // device that cannot be had leaves its reason as the capture status
    // text. With `keepTrying` (the stored device at start-up) it is tried
    // again until it comes, as a lost camera is.
    void selectDevice(int index, bool keepTrying = false);
    // Arms as soon as a device is open: now, or when the one being opened
    // (or tried again) comes.
    void startWhenReady();

    // Start-up without the window, in the window's order: the trace (with
    // the window's title), the devices' names, sound and the capture's
    // set-up, the console, notification and storage settings, the event log
    // and the power hook on the window with the first removal of recordings
    // past their age (then every hour), and at last the repair of
    // recordings cut off by a killed program.
    void openTrace(const QString& title);
    QStringList detectDevices();
    void loadCapture();
    void loadSettings();
    void finishLoad(WindowHandle window);
    static constexpr int KeepDaysCheckMs = 3600 * 1000;
    // Repairs on a worker; each outcome comes back to this thread, a
    // repaired recording with its log row.
    void repairRecordings();
    // Shutdown: a recording ends and is logged, a repair still running is
    // stopped between chunks, the hook is released, the trace closed. The window stores its
    // position and hides its windows in between.
    void endCapture();
    void unload();
    void closeTrace();

    // The window's stored place and size, in twips (15 per pixel at 96 dpi).
    static constexpr double TwipsPerPixel = 15.0;
    QRectF windowPosition() const;
    void saveWindowPosition(const QRectF& twips);

    void AddLogEntry(const QString& first, const QString& second, const QString& recording);
    void showLog() const;
    void clearLog() const;
    // The name of the current device, as its menu entry reads.
    std::optional<QString> cameraName() const;
    // A changed power option applies at once.
    void powerOptionChanged();

    const CommandLine& commandLine() const { return m_commandLine; }
    PublicStuff& stuff() { return m_stuff; }
    ConfigSection& config() { return m_config; }
    CaptureControl& capture() const { return *m_capture; }
    StatusPanels& panels() const { return *m_panels; }
    Surveillance& surveillance() const { return *m_surveillance; }
    Winsock& winsock() const { return *m_winsock; }
    TelnetConsole& telnet() const { return *m_telnet; }
    WebServer& web() const { return *m_web; }
    // The web page's certificate in use; empty while it is not served.
    QString webCertificate() const { return m_webCertificate; }
    // The web page's settings and whether it is served now.
    WebAccess webAccess() const;
    // Stores [WEB] Password (scrambled; empty turns the page off) and Port,
    // and serves the page anew with them at once, unless /NOREMOTE was
    // given. A password the scrambling cannot keep is refused and nothing
    // is stored. Returns what is in force then.
    WebAccess setWebAccess(const QString& password, int port);
    MailNotification& mail() const { return *m_mail; }
    PowerBroadcast& power() const { return *m_power; }
    // The menu entries the surveillance drives; the window puts them in
    // its menus.
    const Surveillance::Menus& actions() const { return m_actions; }
    std::int16_t DeviceCount = 0;

Q_SIGNALS:
    // The selection that selectDevice began has ended.
    void deviceSelected(int index, bool selected);

private:
    // Members go in the reverse order: each service before what it uses
    // (the state, the settings, the log, the menu entries, which as Qt
    // children go last of all).
    const CommandLine m_commandLine;
    const ProgramOptions m_options;
    PublicStuff m_stuff;
    SettingsStore m_store;
    ConfigSection m_config;
    const EventLog m_eventLog;
    Surveillance::Menus m_actions;
    const std::unique_ptr<CaptureControl> m_capture;
    const std::unique_ptr<StatusPanels> m_panels;
    const std::unique_ptr<Surveillance> m_surveillance;
    const std::unique_ptr<Winsock> m_winsock;
    const std::unique_ptr<TelnetConsole> m_telnet;
    const std::unique_ptr<JpegLibrary> m_jpegLibrary;
    const std::unique_ptr<JpegSnapshot> m_snapshot;
    const std::unique_ptr<MailNotification> m_mail;
    const std::unique_ptr<PowerBroadcast> m_power;
    // Reaches the console, the capture and the log from its threads, so it
    // goes before all of them.
    const std::unique_ptr<WebServer> m_web;
    QString m_webCertificate;
    // Why the web page asked for is not served; empty when it is.
    QString m_webError;
    // Uses the surveillance, so it goes first.
    QTimer m_keepDaysTimer;
    // "(none)", then the names of the devices found.
    QStringList m_deviceNames;
    std::atomic<bool> m_stopRepair{false};
    std::thread m_repair;
    bool m_startPending = false;
    // The sensitivity menu's threshold; an own threshold overrides it.
    float m_presetThreshold = 0.0F;
    // Start-up restores the stored sensitivity before section DETECTION
    // is read; only a sensitivity chosen after that replaces the own
    // threshold.
    bool m_detectionRead = false;
    void applyThreshold();
    void deviceOpened(int n, bool ok);
    void armIfPending();
    void stopRepair();
    // `where` labels its trace lines.
    void startWeb(const QString& where);
    int storedWebPort() const;
    QString storedWebPassword() const;
    // The page's certificate and key: the user's own, or the pair made at
    // the first start.
    struct WebFiles {
        QString certificate;
        QString key;
        bool own = false;
    };
    WebFiles webFiles() const;
    void recordingRepaired(const AviRepair::Report& report);
};
