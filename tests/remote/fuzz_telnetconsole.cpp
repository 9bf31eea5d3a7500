// libFuzzer target for the console's input handling: the fuzz input is cut
// into pieces (each led by a length byte) that arrive as separate reads,
// starting from a fresh connection. Whatever arrives, the console must not
// crash, must keep a bounded pending line, and must log in only when the
// first line is exactly the password.
#include "SurveillanceRig.h"
#include "TelnetConsole.h"
#include "Winsock.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>

namespace {

const QByteArray Password = "s3cRet9";

// The console of a surveillance rig; its socket never gets a real port,
// and nothing connects anyway.
struct Console {
    Console()
        : telnet(socket, rig.stuff, rig.panels, rig.surveillance, rig.capture) {
        rig.stuff.RemotePassword = QString::fromLatin1(Password);
        socket.LocalPort = 0;
    }
    SurveillanceRig rig;
    Winsock socket;
    TelnetConsole telnet;
};

Console* console = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int qtArgc = 1;              // the fuzzer's flags are none of Qt's business
    new QGuiApplication(qtArgc, *argv); // both live as long as the process
    console = new Console;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Console& c = *console;
    c.telnet.Winsock_ConnectionRequest(0);
    // Arming without a camera open only sets the state; no frame arrives,
    // so a "record now" stays pending and changes nothing the console shows.
    if (c.rig.surveillance.SurveillanceOn())
        c.rig.surveillance.mnuStart_Click();

    QByteArray everything;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = std::min<std::size_t>(data[at] + 1u, size - at - 1);
        ++at;
        const QByteArray piece(reinterpret_cast<const char*>(data + at), qsizetype(length));
        at += length;
        const bool wasLoggedIn = c.telnet.TelnetState() == TelnetConsole::State::Menu;
        everything += piece;
        c.telnet.receive(piece);
        if (!wasLoggedIn && c.telnet.TelnetState() == TelnetConsole::State::Menu) {
            // Logged in: the first line must have been exactly the password.
            const qsizetype cr = everything.indexOf('\r');
            if (cr < 0 || everything.left(cr) != Password)
                std::abort();
        }
        if (c.telnet.TelnetState() == TelnetConsole::State::Password &&
            c.telnet.pendingInput() > TelnetConsole::MaxPasswordLine)
            std::abort();
        if (c.socket.State() == Winsock::sckListening)
            break; // the console ended the connection and listens again
    }
    return 0;
}
