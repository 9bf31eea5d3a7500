#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The test fixture's SMTP server: aiosmtpd on 127.0.0.1 in a child process
// on a free port, saving every message it accepts, parsed, as JSON.
class SmtpServer final {
public:
    // Silent: never says a word. StallAfterData: saves the message and never
    // answers it. StallAtQuit: accepts the message, never answers QUIT.
    enum class Mode { Accept, RefuseRecipient, Auth, Silent, StallAfterData, StallAtQuit };
    explicit SmtpServer(Mode mode = Mode::Accept);
    ~SmtpServer();

    bool isRunning() const { return m_port > 0; }
    int port() const { return m_port; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    // The messages received so far, oldest first.
    QList<QJsonObject> messages() const;
    // Whether a client has tried to log in (Auth mode).
    bool sawLogin() const;

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    int m_port = 0;
};
