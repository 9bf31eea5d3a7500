#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpServer>

class QTcpSocket;

// The socket control of the remote console: one TCP socket that either
// listens or serves one client. While it serves a client it does not
// listen, so further connection attempts are refused by the system.
class Winsock final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Winsock)

public:
    // Values of State().
    static constexpr int sckClosed = 0;
    static constexpr int sckListening = 2;
    static constexpr int sckConnected = 7;
    static constexpr int sckTCPProtocol = 0;

    explicit Winsock(QObject* parent = nullptr);
    ~Winsock() override;

    // 23, or SENTORIX_TELNET_PORT when that holds a port number, since a
    // user without privileges cannot bind port 23.
    static int defaultPort();

    int LocalPort = 0;
    int Protocol = sckTCPProtocol;

    int State() const;
    // Stops listening and ends the connection to the client, if any. The
    // client still receives what was sent before.
    void Close();
    void Bind();
    // Listens on every interface on the bound port; false (with the reason
    // in lastError()) when the port cannot be had.
    bool Listen();
    QString lastError() const { return m_lastError; }
    // Serves the connection announced by ConnectionRequest.
    void Accept(int requestID);
    void SendData(const QByteArray& data);
    QByteArray GetData();
    // Sent data the client has not taken yet.
    qint64 pendingOutput() const;
    quint16 listeningPort() const;
    // The machine's address on its network as others reach it: the first
    // IPv4 address that is not the loopback one, else 127.0.0.1.
    static QString LocalIP();

Q_SIGNALS:
    void ConnectionRequest(int requestID);
    void DataArrival(qint64 bytesTotal);
    void Error(int number, const QString& description);
    // The client closed its side.
    void PeerClosed();

private:
    void takePendingConnections();
    void attach(QTcpSocket* socket);
    void release(QTcpSocket* socket, bool graceful);

    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QPointer<QTcpSocket> m_request;
    int m_requestID = 0;
    int m_boundPort = 0;
    QString m_lastError;
};
