#pragma once

#include "TestData.h"

#include <QDir>
#include <QJsonDocument>
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
    explicit SmtpServer(Mode mode = Mode::Accept) {
        const char* modes[] = {"accept",     "refuse-rcpt", "auth",  "silent",
                               "stall-data", "stall-quit",  "closed"};
        // Debian's python, where python3-aiosmtpd is installed.
        m_process.start(QStringLiteral("/usr/bin/python3"),
                        {QStringLiteral(SENTORIX_SMTP_SERVER_SCRIPT),
                         QString::fromLatin1(modes[int(mode)]), m_folder.path()});
        if (m_process.waitForStarted(TestData::Bound) &&
            m_process.waitForReadyRead(TestData::Bound))
            m_port = m_process.readLine().trimmed().toInt();
    }
    ~SmtpServer() {
        m_process.closeWriteChannel(); // the server ends when its input closes
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }

    bool isRunning() const { return m_port > 0; }
    int port() const { return m_port; }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    // The messages received so far, oldest first.
    QList<QJsonObject> messages() const {
        QList<QJsonObject> result;
        const auto next = [&] {
            return TestData::readFile(file(QStringLiteral("%1.json").arg(result.size() + 1)));
        };
        for (QByteArray json = next(); !json.isEmpty(); json = next())
            result << QJsonDocument::fromJson(json).object();
        return result;
    }
    // How often the server saw a "login" attempt or held back a reply ("stall").
    int seen(const QString& event) const {
        return int(TestData::readFile(file(event)).count('\n'));
    }

private:
    QString file(const QString& name) const { return QDir(m_folder.path()).filePath(name); }

    QTemporaryDir m_folder;
    QProcess m_process;
    int m_port = 0;
};
