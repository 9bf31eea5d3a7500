#include "InstanceGuard.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>

namespace {

const QByteArray RaiseRequest = QByteArrayLiteral("raise\n");
const QByteArray RaiseAnswer = QByteArrayLiteral("raised\n");

} // namespace

InstanceGuard::InstanceGuard(const QString& settingsPath, QObject* parent)
    : QObject(parent)
    , m_socketPath(socketPath(settingsPath)) {
    connect(&m_server, &QLocalServer::newConnection, this, &InstanceGuard::serve);
}

InstanceGuard::~InstanceGuard() {
    // Closing removes the socket file, so the next start finds it free.
    m_server.close();
}

QString InstanceGuard::socketPath(const QString& settingsPath) {
    const QByteArray file = QDir::cleanPath(QFileInfo(settingsPath).absoluteFilePath()).toUtf8();
    const QString hash =
        QString::fromLatin1(QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex())
            .left(24);
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/sentorix-") + hash + QStringLiteral(".socket");
}

InstanceGuard::Claim InstanceGuard::claim(int answerMs) {
    // The lock only covers the look and the take-over; the listening socket
    // is the claim itself. QLockFile sees a lock whose process is gone.
    QLockFile lock(m_socketPath + QStringLiteral(".lock"));
    lock.setStaleLockTime(30000);
    if (!lock.tryLock(answerMs)) {
        m_lastError = QStringLiteral("cannot lock %1").arg(lock.fileName());
        return Claim::Unguarded;
    }
    if (askRunningInstance(answerMs))
        return Claim::AlreadyRunning;
    // Nobody answers on a socket that is still there: its instance died.
    QLocalServer::removeServer(m_socketPath);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server.listen(m_socketPath)) {
        m_lastError = m_server.errorString();
        return Claim::Unguarded;
    }
    return Claim::Claimed;
}

bool InstanceGuard::askRunningInstance(int answerMs) {
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(answerMs))
        return false;
    socket.write(RaiseRequest);
    socket.flush();
    // The answer only tells that the window came forward; the instance is
    // running whether it answers in time or not.
    while (!socket.canReadLine() && socket.waitForReadyRead(answerMs)) {
    }
    return true;
}

void InstanceGuard::serve() {
    while (QLocalSocket* client = m_server.nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        const auto answer = [this, client] {
            if (!client->canReadLine())
                return;
            if (client->readLine() == RaiseRequest) {
                Q_EMIT raiseRequested();
                client->write(RaiseAnswer);
            }
            client->disconnectFromServer();
        };
        connect(client, &QLocalSocket::readyRead, this, answer);
        // The request may have come with the connection.
        answer();
    }
}
