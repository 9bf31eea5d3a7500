#include "SmtpServer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

SmtpServer::SmtpServer(Mode mode) {
    const char* modes[] = {"accept",     "refuse-rcpt", "auth",  "silent",
                           "stall-data", "stall-quit",  "closed"};
    // Debian's python, where python3-aiosmtpd is installed.
    m_process.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral(SENTORIX_SMTP_SERVER_SCRIPT),
                     QString::fromLatin1(modes[int(mode)]), m_folder.path()});
    if (!m_process.waitForStarted(10000) || !m_process.waitForReadyRead(20000))
        return;
    m_port = m_process.readLine().trimmed().toInt();
}

SmtpServer::~SmtpServer() {
    m_process.closeWriteChannel(); // the server ends when its input closes
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(2000);
}

QList<QJsonObject> SmtpServer::messages() const {
    QList<QJsonObject> result;
    for (int n = 1;; ++n) {
        QFile f(QDir(m_folder.path()).filePath(QStringLiteral("%1.json").arg(n)));
        if (!f.open(QIODevice::ReadOnly))
            return result;
        result << QJsonDocument::fromJson(f.readAll()).object();
    }
}

int SmtpServer::seen(const QString& event) const {
    QFile f(QDir(m_folder.path()).filePath(event));
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count('\n')) : 0;
}
