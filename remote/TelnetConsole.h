#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>

class CaptureControl;
class PublicStuff;
class StatusPanels;
class Surveillance;
class Winsock;

// The remote console: after the password, a one-key menu arms and disarms
// surveillance, forces a recording and reports the five status panels.
// One client at a time; no option negotiation, no echo.
//
// The network is not a friendly place, so the console bounds what a client
// can make it hold: a password line longer than MaxPasswordLine counts as a
// wrong password, output a client does not read beyond MaxPendingOutput
// ends the connection, and silent clients are dropped after LoginTimeout
// (before the password) or IdleTimeout (in the menu).
class TelnetConsole final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TelnetConsole)

public:
    static constexpr qsizetype MaxPasswordLine = 256;
    static constexpr qint64 MaxPendingOutput = 1 << 20;

    // Where a connection stands: no client, waiting for the password, in
    // the menu.
    enum class State : std::int16_t { Closed = 0, Password = 1, Menu = 2 };

    TelnetConsole(Winsock& socket, PublicStuff& stuff, StatusPanels& panels,
                  Surveillance& surveillance, CaptureControl& capture, QObject* parent = nullptr);

    // Binds and listens while a password is in force; a port that cannot be
    // had leaves the program without a console and says so in the trace
    // and on stderr.
    bool BindAndListen();

    // A stored password that unscrambles to nothing opens no console; the
    // trace and stderr say why.
    void refuseStoredPassword();

    // Closes the console for good (the password was cleared): no listener,
    // any client cut, no timer left to listen again.
    void Close();

    void Winsock_ConnectionRequest(int requestID);
    void Winsock_DataArrival(qint64 bytesTotal);
    void Winsock_Error(int number, const QString& description);
    // Our choice: a client that hangs up frees the console for the next.
    void Winsock_PeerClosed();

    // One piece of input as it came from the client.
    void receive(const QByteArray& data);
    void ProcessTelnetInput(const QByteArray& text);

    // What keys 1 to 4 do, for the console and the web page alike: the
    // command is carried out and its answer returned (empty for any other
    // key). Runs on the console's thread.
    QByteArray command(char key);

    static QByteArray banner();
    // The menu with panel 2's text as its status field.
    static QByteArray menu(const QString& status);

    State TelnetState() const { return m_telnetState; }
    // Bytes received and not yet taken as a line.
    qsizetype pendingInput() const { return m_telnetInput.size(); }
    std::chrono::milliseconds LoginTimeout{60000};
    std::chrono::milliseconds IdleTimeout{600000};

Q_SIGNALS:
    // The connection ended and the console listens again (or could not).
    void listeningAgain();

private:
    void send(const QByteArray& text);
    void reply(const QByteArray& text);
    void sendStatusReport();
    void runCommand(char key);
    void endConnection();
    void trace(const char* text);

    Winsock& m_socket;
    PublicStuff& m_stuff;
    StatusPanels& m_panels;
    Surveillance& m_surveillance;
    CaptureControl& m_capture;
    State m_telnetState = State::Closed;
    QByteArray m_telnetInput;
    QTimer m_sessionTimer;
    // Set while a reply is being sent, so a connection ended by the output
    // cap is not ended a second time by the command that sent it.
    bool m_ended = false;
};
