#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

// The mail control: one HTML message with an optional attachment, sent over
// SMTP by libcurl on a worker thread, the message built by libcurl's MIME
// API. Its results arrive on the thread that
// owns the control, as events in the order Connected, then SendComplete or
// SendError.
//
// `Server` is "host" (port 25), "host:port", or a URL "smtp://host:587" or
// "smtps://host:465", whose user and password parts, when present, are used
// to log in. STARTTLS is used whenever the server offers it, and a login
// is never sent without it: a server that offers no encryption then ends
// in SendError.
//
// Every step is bounded: connecting takes at most ConnectTimeout and the
// whole mail at most Timeout, after which SendError reports the cause,
// whatever the server does. The owning thread never waits for the worker:
// a control that is dropped or disconnected abandons its mail at once, and
// the worker ends on its own.
class SmtpControl final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SmtpControl)

public:
    explicit SmtpControl(QObject* parent = nullptr);
    ~SmtpControl() override;

    QString Server;
    QString Subject;
    QString ContentType = QStringLiteral("text/plain");
    QString Body;
    QString Attachment; // a file path; empty for none
    QString ToAddress;
    QString FromAddress;
    QString FromName;
    std::chrono::milliseconds ConnectTimeout{30000};
    std::chrono::milliseconds Timeout{120000};
    // Read once per mail, for its Date header.
    std::function<QDateTime()> Clock = &QDateTime::currentDateTime;

    // Opens the connection; Connected or SendError follows.
    void Connect();
    // Sends the prepared message over the open connection.
    void SendMessage();
    // Closes the connection; a mail still under way is abandoned.
    void Disconnect();

    // The URL libcurl is given for a Server text; empty when there is none.
    static QString serverUrl(const QString& server);

Q_SIGNALS:
    void Connected();
    void SendComplete();
    void SendError(int number, const QString& description);

private:
    struct Worker;
    void deliver(quint64 serial, const std::function<void()>& emitEvent, bool final);

    std::shared_ptr<Worker> m_worker;
    // Each mail's events carry its number, so late events of an abandoned
    // mail never reach the next one.
    quint64 m_serial = 0;
    bool m_outcomePending = false;
    QTimer m_deadline;
};
