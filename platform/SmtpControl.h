#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

// The mail control: one HTML message with an optional attachment, sent over
// SMTP by libcurl on a worker thread. Its results arrive on the thread that
// owns the control, as events in the order Connected, then SendComplete or
// SendError.
//
// `Server` is "host" (port 25), "host:port", or a URL "smtp://host:587" or
// "smtps://host:465", whose user and password parts, when present, are used
// to log in. STARTTLS is used whenever the server offers it.
//
// Every step is bounded: connecting takes at most ConnectTimeout and the
// whole mail at most Timeout, after which SendError reports the cause.
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

    // Opens the connection; Connected or SendError follows.
    void Connect();
    // Sends the prepared message over the open connection.
    void SendMessage();
    // Closes the connection; a mail still under way is abandoned.
    void Disconnect();

    // The URL libcurl is given for a Server text; empty when there is none.
    static QString serverUrl(const QString& server);
    // The message as it goes out, from the header to the last boundary.
    QByteArray message() const;

Q_SIGNALS:
    void Connected();
    void SendComplete();
    void SendError(int number, const QString& description);

private:
    struct Worker;
    std::unique_ptr<Worker> m_worker;
};
