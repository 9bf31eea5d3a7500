#include "TelnetConsole.h"

#include "CaptureControl.h"
#include "PublicStuff.h"
#include "StatusPanels.h"
#include "Surveillance.h"
#include "Winsock.h"

#include <cstdio>

namespace {

// The network virtual terminal ends every line with CR LF (RFC 854).
constexpr char CrLf[] = "\r\n";
const QByteArray DashLine(50, '-');
constexpr char ClearScreen[] = "\x1b[2J";
constexpr qsizetype StatusWidth = 15;

QByteArray name(SystemState state) {
    return StatusPanels::stateName(state).toUtf8();
}

} // namespace

TelnetConsole::TelnetConsole(Winsock& socket, PublicStuff& stuff, StatusPanels& panels,
                             Surveillance& surveillance, CaptureControl& capture, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_stuff(stuff)
    , m_panels(panels)
    , m_surveillance(surveillance)
    , m_capture(capture) {
    m_sessionTimer.setSingleShot(true);
    connect(&m_sessionTimer, &QTimer::timeout, this, [this] {
        trace("Session timed out");
        endConnection();
    });
    connect(&m_socket, &Winsock::ConnectionRequest, this,
            &TelnetConsole::Winsock_ConnectionRequest);
    connect(&m_socket, &Winsock::DataArrival, this, &TelnetConsole::Winsock_DataArrival);
    connect(&m_socket, &Winsock::Error, this, &TelnetConsole::Winsock_Error);
    connect(&m_socket, &Winsock::PeerClosed, this, &TelnetConsole::Winsock_PeerClosed);
}

bool TelnetConsole::BindAndListen() {
    // Without a password anyone could reach the menu.
    if (m_stuff.RemotePassword.isEmpty())
        return false;
    m_socket.Bind();
    if (m_socket.Listen())
        return true;
    const QString why = QStringLiteral("Cannot listen on port %1: %2")
                            .arg(m_socket.LocalPort)
                            .arg(m_socket.lastError());
    m_stuff.WriteTrace(QStringLiteral("Telnet"), why);
    std::fprintf(stderr, "Sentorix: %s; running without the remote console\n", qPrintable(why));
    return false;
}

void TelnetConsole::refuseStoredPassword() {
    const QString why = QStringLiteral("Stored remote password is not valid; no remote console");
    m_stuff.WriteTrace(QStringLiteral("Init"), why);
    std::fprintf(stderr, "Sentorix: %s (RemotePW)\n", qPrintable(why));
}

QByteArray TelnetConsole::banner() {
    return CrLf + DashLine + CrLf + "Sentorix" + CrLf + "Version 1.0" + CrLf +
           "Motion-triggered camera recorder" + CrLf + "Norvane Software" + CrLf +
           "Remote console" + CrLf + DashLine + CrLf + CrLf + "Password: ";
}

QByteArray TelnetConsole::menu(const QString& status) {
    const QByteArray field = status.trimmed().toUtf8().rightJustified(StatusWidth, ' ');
    return ClearScreen + DashLine + CrLf + "Main Menu" + QByteArray(26, ' ') + field + CrLf +
           DashLine + CrLf + "1 - Start (-> " + name(SystemState::Standby) + ")" + CrLf +
           "2 - Stop (-> " + name(SystemState::Off) + ")" + CrLf + "3 - Start recording now (-> " +
           name(SystemState::Recording) + ")" + CrLf + "4 - Mail a snapshot (-> " +
           name(SystemState::Mailing) + ")" + CrLf + "5 - Status information" + CrLf + "9 - Exit" +
           CrLf + CrLf;
}

void TelnetConsole::Winsock_ConnectionRequest(int requestID) {
    trace("Connection Request");
    if (m_socket.State() != Winsock::sckClosed)
        m_socket.Close();
    m_socket.Accept(requestID);
    m_ended = false;
    send(banner());
    m_telnetInput.clear();
    m_telnetState = State::Password;
    m_sessionTimer.start(LoginTimeout);
}

void TelnetConsole::Winsock_DataArrival(qint64) {
    trace("Data Arrival");
    receive(m_socket.GetData());
}

void TelnetConsole::receive(const QByteArray& data) {
    m_telnetInput += data;
    // The console negotiates no options, so bytes are taken as they come:
    // an IAC (255) sequence that a client sends is not interpreted (RFC 854).
    if (m_telnetState == State::Password) {
        // A line ends at CR, which RFC 854 has followed by LF or NUL; both
        // are dropped with the rest of the buffer.
        const qsizetype cr = m_telnetInput.indexOf('\r');
        if (cr >= 0) {
            const QByteArray line = m_telnetInput.left(cr);
            m_telnetInput.clear();
            ProcessTelnetInput(line);
        } else if (m_telnetInput.size() > MaxPasswordLine) {
            // No password is this long; refuse rather than collect forever.
            const QByteArray line = m_telnetInput;
            m_telnetInput.clear();
            ProcessTelnetInput(line);
        }
    } else if (m_telnetState == State::Menu) {
        m_sessionTimer.start(IdleTimeout);
        const QByteArray piece = m_telnetInput;
        m_telnetInput.clear();
        ProcessTelnetInput(piece);
    }
}

void TelnetConsole::Winsock_Error(int, const QString&) {
    trace("Winsock Error");
    endConnection();
}

void TelnetConsole::Winsock_PeerClosed() {
    trace("Peer Closed");
    endConnection();
}

void TelnetConsole::endConnection() {
    m_sessionTimer.stop();
    m_ended = true;
    m_socket.Close();
    // Whenever a password is in force; a port lost meanwhile is reported.
    BindAndListen();
    Q_EMIT listeningAgain();
}

void TelnetConsole::Close() {
    m_sessionTimer.stop();
    m_ended = true;
    m_socket.Close();
}

void TelnetConsole::send(const QByteArray& text) {
    if (m_ended)
        return;
    // ASCII and UTF-8 text never holds the byte 255, so no data byte needs
    // doubling as IAC IAC (RFC 854).
    m_socket.SendData(text);
    // A client that does not read its replies must not fill our memory.
    if (m_socket.pendingOutput() > MaxPendingOutput) {
        trace("Client does not read; connection dropped");
        endConnection();
    }
}

void TelnetConsole::reply(const QByteArray& text) {
    send(CrLf + text + CrLf);
}

void TelnetConsole::ProcessTelnetInput(const QByteArray& text) {
    trace("Process Telnet Input");
    const QByteArray theMenu = menu(m_panels.text(Panel::State));
    if (m_telnetState == State::Password) {
        if (!m_stuff.RemotePassword.isEmpty() && text == m_stuff.RemotePassword.toUtf8()) {
            send(theMenu);
            m_telnetState = State::Menu;
            m_sessionTimer.start(IdleTimeout);
        } else {
            reply("Password is not correct.");
            endConnection();
        }
        return;
    }
    if (m_telnetState != State::Menu)
        return;
    send(theMenu);
    if (text.size() == 1)
        runCommand(text[0]);
}

void TelnetConsole::runCommand(char key) {
    switch (key) {
    case '5':
        sendStatusReport();
        break;
    case '9':
        reply("Bye...");
        endConnection();
        break;
    default:
        if (const QByteArray answer = command(key); !answer.isEmpty())
            reply(answer);
        break;
    }
}

QByteArray TelnetConsole::command(char key) {
    const bool on = m_surveillance.SurveillanceOn();
    switch (key) {
    case '1':
        if (on)
            return "The program is already " + name(SystemState::Standby) + ".";
        m_surveillance.mnuStart_Click();
        return "The program is now " + name(SystemState::Standby) + ".";
    case '2':
        if (!on)
            return "The program is already " + name(SystemState::Off) + ".";
        m_surveillance.mnuStart_Click();
        return "The program is now " + name(SystemState::Off) + ".";
    case '3':
        if (!on)
            return "The program is not " + name(SystemState::Standby) + ".";
        if (m_capture.IsCapturing())
            return QByteArrayLiteral("Program is already capturing. Please wait.");
        m_surveillance.forceRecording();
        return QByteArrayLiteral("Capturing process started");
    case '4':
        if (!on)
            return "The program is not " + name(SystemState::Standby) + ".";
        if (m_capture.IsCapturing())
            return QByteArrayLiteral("Program is already capturing. Please wait.");
        if (m_stuff.EMail.trimmed().isEmpty())
            return QByteArrayLiteral("No E-Mail address specified.");
        return QByteArrayLiteral("This function is not yet available");
    default:
        return {};
    }
}

void TelnetConsole::sendStatusReport() {
    send(QByteArray("PROGRAM STATUS") + CrLf);
    send("Image data  : " + m_panels.text(Panel::Deviation).toUtf8() + CrLf);
    send("Pgm Status  : " + m_panels.text(Panel::State).toUtf8() + CrLf);
    send("Base Refresh: " + m_panels.text(Panel::BaseRefresh).toUtf8() + CrLf);
    send("Time to go  : " + m_panels.text(Panel::TimeToGo).toUtf8() + CrLf);
    send("Timestamp   : " + m_panels.text(Panel::Timestamp).toUtf8() + CrLf);
}

void TelnetConsole::trace(const char* text) {
    m_stuff.WriteTrace(QStringLiteral("Telnet"), QString::fromLatin1(text));
}
