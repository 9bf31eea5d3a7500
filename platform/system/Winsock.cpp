#include "Winsock.h"

#include <QNetworkInterface>
#include <QTcpSocket>
#include <QTimer>

namespace {

// How long a closed client may take to collect what was sent to it.
constexpr int LingerMs = 5000;

} // namespace

Winsock::Winsock(QObject* parent)
    : QObject(parent) {
    m_server.setMaxPendingConnections(1);
    connect(&m_server, &QTcpServer::newConnection, this, &Winsock::takePendingConnections);
}

Winsock::~Winsock() {
    if (m_client)
        m_client->abort();
}

int Winsock::defaultPort() {
    bool ok = false;
    const int port = qEnvironmentVariableIntValue("SENTORIX_TELNET_PORT", &ok);
    return ok && port > 0 && port < 65536 ? port : 23;
}

int Winsock::State() const {
    if (m_client && m_client->state() == QAbstractSocket::ConnectedState)
        return sckConnected;
    return m_server.isListening() ? sckListening : sckClosed;
}

void Winsock::Close() {
    m_server.close();
    if (m_client)
        release(m_client, true);
    m_client = nullptr;
}

void Winsock::Bind() {
    m_boundPort = LocalPort;
}

bool Winsock::Listen() {
    if (m_server.isListening())
        return true;
    if (m_server.listen(QHostAddress::Any, quint16(m_boundPort)))
        return true;
    m_lastError = m_server.errorString();
    return false;
}

quint16 Winsock::listeningPort() const {
    return m_server.isListening() ? m_server.serverPort() : 0;
}

void Winsock::takePendingConnections() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        // One client at a time: whoever slipped into the queue behind the
        // first one is turned away at once.
        if (m_client || m_request) {
            release(socket, false);
            continue;
        }
        m_request = socket;
        Q_EMIT ConnectionRequest(++m_requestID);
        // A request nobody accepted is dropped.
        if (m_request == socket) {
            release(socket, false);
            m_request = nullptr;
        }
    }
}

void Winsock::Accept(int requestID) {
    if (!m_request || requestID != m_requestID)
        return;
    if (m_client)
        release(m_client, false);
    m_client = m_request;
    m_request = nullptr;
    attach(m_client);
}

void Winsock::attach(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (socket != m_client)
            return;
        Q_EMIT DataArrival(socket->bytesAvailable());
        // The replies go to the system before the next read: a client that
        // closed its sending side right after its key ends the socket as
        // soon as that close is read, and what still waited here would be
        // lost with it.
        if (socket == m_client)
            socket->flush();
    });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError error) {
                if (socket != m_client)
                    return;
                if (error == QAbstractSocket::RemoteHostClosedError)
                    Q_EMIT PeerClosed();
                else
                    Q_EMIT Error(int(error), socket->errorString());
            });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        if (socket == m_client)
            Q_EMIT PeerClosed();
    });
}

void Winsock::release(QTcpSocket* socket, bool graceful) {
    disconnect(socket, nullptr, this, nullptr);
    if (!graceful || socket->state() != QAbstractSocket::ConnectedState) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    // A client that never reads must not keep the socket forever.
    QTimer::singleShot(LingerMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->disconnectFromHost();
}

void Winsock::SendData(const QByteArray& data) {
    if (m_client && m_client->state() == QAbstractSocket::ConnectedState)
        m_client->write(data);
}

QByteArray Winsock::GetData() {
    return m_client ? m_client->readAll() : QByteArray();
}

qint64 Winsock::pendingOutput() const {
    return m_client ? m_client->bytesToWrite() : 0;
}

QString Winsock::LocalIP() {
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            return address.toString();
    }
    return QStringLiteral("127.0.0.1");
}
