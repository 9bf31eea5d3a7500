#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real SMTP server for the tests: aiosmtpd on 127.0.0.1 in a child process
// on a free port, saving every message it accepts, parsed, as JSON.
class SmtpServer final {
public:
    // Silent: never says a word. StallAfterData: saves the message and never
    // answers it. StallAtQuit: accepts the message, never answers QUIT.
    // Closed: a free port where nobody listens.
    enum class Mode { Accept, RefuseRecipient, Auth, Silent, StallAfterData, StallAtQuit, Closed };
    explicit SmtpServer(Mode mode = Mode::Accept);
    ~SmtpServer();

    bool isRunning() const { return m_port > 0; }
    int port() const { return m_port; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    // The messages received so far, oldest first.
    QList<QJsonObject> messages() const;
    // How often the server saw a "login" attempt or held back a reply ("stall").
    int seen(const QString& event) const;

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    int m_port = 0;
};
