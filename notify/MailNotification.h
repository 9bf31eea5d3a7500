#pragma once

#include "SmtpControl.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

class JpegSnapshot;
class PublicStuff;
class StatusPanels;
class Surveillance;

// The mail that tells the owner about a finished recording: an HTML note
// with the camera, the time span and the snapshot. Each mail gets a fresh
// mail control that is dropped again when it reports the outcome; while it
// is under way the state is "MAILING", detection pauses and the supervision
// tick stands still.
class MailNotification final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MailNotification)

public:
    // What the window provides: the current camera's name and the log.
    struct Window {
        std::function<std::optional<QString>()> cameraName;
        std::function<void(const QString& first, const QString& second, const QString& recording)>
            AddLogEntry;
    };

    // Sends the mail each time the surveillance says one is due.
    MailNotification(PublicStuff& stuff, StatusPanels& panels, Surveillance& surveillance,
                     JpegSnapshot& snapshot, Window window, QObject* parent = nullptr);
    ~MailNotification() override;

    // Starts the mail for the recording that began at startText.
    void SendMail(const QString& startText);

    void SMTP_Connected();
    void SMTP_SendComplete();
    void SMTP_SendError(int number, const QString& description);

    static QString subject();
    static QString fromName();
    static QString body(const QString& camera, const QString& startText, const QString& nowText);

    // The control of the mail under way, null between mails.
    SmtpControl* SMTP() const { return m_smtp.data(); }
    // Limits handed to every control; tests shorten them.
    std::chrono::milliseconds ConnectTimeout{30000};
    std::chrono::milliseconds Timeout{120000};

Q_SIGNALS:
    // The outcome is handled: logged and panel 2 set; the engine goes on.
    void mailFinished(bool sent);

private:
    void removeControl();
    void trace(const char* text);

    PublicStuff& m_stuff;
    StatusPanels& m_panels;
    Surveillance& m_surveillance;
    JpegSnapshot& m_snapshot;
    Window m_window;
    QPointer<SmtpControl> m_smtp;
};
