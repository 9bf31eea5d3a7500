// The remote console over real TCP on 127.0.0.1, against the real program.
#include "CaptureControl.h"
#include "ProgramRun.h"
#include "StatusPanels.h"
#include "TelnetConsole.h"
#include "Winsock.h"

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>

using namespace std::chrono_literals;

namespace {

const QByteArray Dashes(50, '-');
const QByteArray Banner = "\r\n" + Dashes +
                          "\r\nSentorix\r\nVersion 1.0\r\nMotion-triggered camera recorder\r\n"
                          "Norvane Software\r\nRemote console\r\n" +
                          Dashes + "\r\n\r\nPassword: ";

QByteArray menuWith(const QByteArray& field) {
    return "\x1b[2J" + Dashes + "\r\nMain Menu                          " + field + "\r\n" +
           Dashes +
           "\r\n1 - Start (-> STANDBY)\r\n2 - Stop (-> OFF)\r\n"
           "3 - Start recording now (-> RECORDING)\r\n4 - Mail a snapshot (-> MAILING)\r\n"
           "5 - Status information\r\n9 - Exit\r\n\r\n";
}
const QByteArray OffMenu = menuWith("            OFF");
const QByteArray StandbyMenu = menuWith("        STANDBY");
const QByteArray RecordingMenu = menuWith("      RECORDING");

QByteArray reply(const char* text) {
    return "\r\n" + QByteArray(text) + "\r\n";
}

// A client on the loopback; it waits with the program's event loop running.
struct Client {
    QTcpSocket socket;
    QByteArray received;

    // The system completes or refuses the connection without the program.
    bool connectTo(int port) {
        socket.connectToHost(QHostAddress::LocalHost, quint16(port));
        return socket.waitForConnected(5000);
    }
    void send(const QByteArray& bytes) {
        socket.write(bytes);
        socket.flush();
    }
    // The next `size` bytes, or what came within five seconds.
    QByteArray take(qsizetype size) {
        (void)QTest::qWaitFor([&] {
            received += socket.readAll();
            return received.size() >= size;
        });
        const QByteArray head = received.left(size);
        received.remove(0, head.size());
        return head;
    }
    bool closedByServer(int timeoutMs = 5000) {
        const bool closed = QTest::qWaitFor(
            [&] { return socket.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
        received += socket.readAll();
        return closed;
    }
};

} // namespace

class tst_TelnetConsole final : public QObject {
    Q_OBJECT

    ProgramHome m_home;
    std::unique_ptr<ProgramRun> m_run;

    void start(const QString& commandLine = QString()) {
        m_run = ProgramRun::start(m_home, commandLine);
    }
    Program& program() { return m_run->program; }
    // Connects and gives the password; the menu shows the current state.
    void logIn(Client& c) {
        QVERIFY(c.connectTo(m_home.telnetPort));
        QCOMPARE(c.take(Banner.size()), Banner);
        c.send("s3cRet9\r\n");
        QCOMPARE(c.take(OffMenu.size()), OffMenu);
    }
    // Sends each key and expects its answer, in order.
    static void keys(Client& c, const QList<std::pair<QByteArray, QByteArray>>& exchanges) {
        for (const auto& [key, answer] : exchanges) {
            c.send(key);
            QCOMPARE(c.take(answer.size()), answer);
        }
    }
    QByteArray traceOfTheRun() {
        m_run.reset();
        return m_home.trace();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_home.isValid()); }
    void init() {
        m_home.clear();
        QVERIFY(m_home.store({"RemotePW=" + PublicStuff::ScramblePassword("s3cRet9"),
                              "VidPath=" + m_home.videos(), "LowSpace=0"}));
    }
    void cleanup() { m_run.reset(); }

    void passwordInPiecesThenKeysWhileOff() {
        start();
        QCOMPARE(program().winsock().State(), Winsock::sckListening);
        Client c;
        QVERIFY(c.connectTo(m_home.telnetPort));
        QCOMPARE(c.take(Banner.size()), Banner);
        QCOMPARE(program().telnet().TelnetState(), TelnetConsole::State::Password);
        QSignalSpy arrived(&program().winsock(), &Winsock::DataArrival);
        for (const char* piece : {"s", "3c", "R", "et", "9", "\r"}) {
            c.send(piece);
            QVERIFY(arrived.wait());
        }
        QCOMPARE(c.take(OffMenu.size()), OffMenu);
        QCOMPARE(program().telnet().TelnetState(), TelnetConsole::State::Menu);
        // The LF after the CR is dropped; a lone LF is an unknown key.
        keys(c, {{"\n", OffMenu},
                 {"2", OffMenu + reply("The program is already OFF.")},
                 {"3", OffMenu + reply("The program is not STANDBY.")},
                 {"4", OffMenu + reply("The program is not STANDBY.")},
                 {"1\r\n", OffMenu},
                 {"x", OffMenu},
                 {"12", OffMenu}});
        // A megabyte arrives in several reads: a menu for each, nothing else.
        arrived.clear();
        c.send(QByteArray(1 << 20, '1'));
        qint64 read = 0;
        int reads = 0;
        QVERIFY(QTest::qWaitFor([&] {
            for (; !arrived.isEmpty(); ++reads)
                read += arrived.takeFirst().at(0).toLongLong();
            return read >= (1 << 20);
        }));
        QCOMPARE(c.take(reads * OffMenu.size()), OffMenu.repeated(reads));
        QVERIFY(!program().surveillance().SurveillanceOn());
        // The status field is padded to fifteen, never cut.
        program().panels().setText(Panel::Deviation, "0.12%  (4%)");
        program().panels().setText(Panel::BaseRefresh, "49 sec");
        program().panels().setText(Panel::Timestamp, "12/6/2026 9:05:07 AM");
        keys(c, {{"5", OffMenu + "PROGRAM STATUS\r\nImage data  : 0.12%  (4%)\r\n"
                                 "Pgm Status  : OFF\r\nBase Refresh: 49 sec\r\n"
                                 "Time to go  : \r\nTimestamp   : 12/6/2026 9:05:07 AM\r\n"}});
        program().panels().setText(Panel::State, "  X  ");
        keys(c, {{"x", menuWith("              X")}});
        program().panels().setText(Panel::State, "LONGER THAN FIFTEEN");
        keys(c, {{"x", menuWith("LONGER THAN FIFTEEN")}});
    }

    void wrongPasswordsAreRefused_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("wrong") << QByteArray("secret\r\n");
        QTest::newRow("other case") << QByteArray("S3CRET9\r\n");
        QTest::newRow("prefix") << QByteArray("s3cRet\r\n");
        QTest::newRow("blank after") << QByteArray("s3cRet9 \r\n");
        QTest::newRow("negotiation first") << QByteArray("\xff\xfd\x01\xff\xfb\x03s3cRet9\r\n");
        QTest::newRow("NUL inside") << QByteArray("s3cRet9\0\r\n", 10);
        QTest::newRow("LF only, then too long") << QByteArray("s3cRet9\n") + QByteArray(300, 'x');
        QTest::newRow("a megabyte without CR") << QByteArray(1 << 20, '\x01');
    }
    void wrongPasswordsAreRefused() {
        QFETCH(QByteArray, line);
        start();
        Client c;
        QVERIFY(c.connectTo(m_home.telnetPort));
        QCOMPARE(c.take(Banner.size()), Banner);
        c.send(line);
        QVERIFY(c.closedByServer());
        QCOMPARE(c.received, reply("Password is not correct."));
        QCOMPARE(program().telnet().TelnetState(), TelnetConsole::State::Password);
        // Listening again: the next client gets the banner.
        QTRY_COMPARE(program().winsock().State(), Winsock::sckListening);
        Client next;
        logIn(next);
    }

    void keysWhileArmed() {
        start();
        Client c;
        logIn(c);
        QSignalSpy mails(&program().surveillance(), &Surveillance::mailRequested);
        // The menu is sent before the command runs, so it shows the old state.
        keys(c, {{"1", OffMenu + reply("The program is now STANDBY.")},
                 {"1", StandbyMenu + reply("The program is already STANDBY.")}});
        QVERIFY(program().surveillance().SurveillanceOn());
        program().stuff().EMail = QStringLiteral("  ");
        keys(c, {{"4", StandbyMenu + reply("No E-Mail address specified.")}});
        program().stuff().EMail = QStringLiteral("ann@example.org");
        keys(c, {{"4", StandbyMenu + reply("This function is not yet available")},
                 {"3", StandbyMenu + reply("Capturing process started")}});
        QTRY_VERIFY_WITH_TIMEOUT(program().capture().IsCapturing(), 10000);
        keys(c, {{"3", RecordingMenu + reply("Program is already capturing. Please wait.")},
                 {"4", RecordingMenu + reply("Program is already capturing. Please wait.")}});
        QVERIFY(!program().surveillance().ForceRecording());
        keys(c, {{"2", RecordingMenu + reply("The program is now OFF.")}});
        QVERIFY(!program().surveillance().SurveillanceOn());
        QVERIFY(!program().capture().IsCapturing());
        QCOMPARE(mails.size(), 0);
    }

    // One client at a time; after every kind of end the next one is served.
    void listensAgainAfterEachEnd() {
        start();
        {
            Client c;
            logIn(c);
            QCOMPARE(program().winsock().State(), Winsock::sckConnected);
            Client other;
            QVERIFY(!other.connectTo(m_home.telnetPort));
            keys(c, {{"9", OffMenu + reply("Bye...")}});
            QVERIFY(c.closedByServer());
        }
        for (const char* end : {"hang up", "reset", "half-close"}) {
            QTRY_COMPARE(program().winsock().State(), Winsock::sckListening);
            Client c;
            logIn(c);
            const QByteArray how(end);
            if (how == "half-close") {
                // A script sends its key and closes its sending side at
                // once: the reply still arrives.
                c.send("5");
                QCOMPARE(::shutdown(int(c.socket.socketDescriptor()), SHUT_WR), 0);
                QVERIFY(c.closedByServer());
                QVERIFY2(c.received.startsWith(OffMenu + "PROGRAM STATUS\r\n") &&
                             c.received.endsWith("Pgm Status  : OFF\r\nBase Refresh: \r\n"
                                                 "Time to go  : \r\nTimestamp   : \r\n"),
                         c.received.constData());
            } else if (how == "hang up") {
                c.socket.disconnectFromHost();
            } else {
                c.socket.abort();
            }
        }
        QTRY_COMPARE(program().winsock().State(), Winsock::sckListening);
        Client last;
        logIn(last);
    }

    // Silent clients are dropped; a key restarts the idle time. The timers
    // themselves measure, so the test only waits for the end.
    void silentClientsAreDropped() {
        start();
        program().telnet().LoginTimeout = 300ms;
        program().telnet().IdleTimeout = 400ms;
        {
            Client c;
            QVERIFY(c.connectTo(m_home.telnetPort));
            QCOMPARE(c.take(Banner.size()), Banner);
            c.send("s3"); // trickling does not keep the login open
            QVERIFY(c.closedByServer(3000));
        }
        QTRY_COMPARE(program().winsock().State(), Winsock::sckListening);
        Client c;
        logIn(c);
        QElapsedTimer since;
        since.start();
        QTimer::singleShot(250, &c.socket, [&c] { c.send("x"); });
        QVERIFY(c.closedByServer(3000));
        // Without the restart the end came 400 ms after the login.
        QVERIFY2(since.elapsed() >= 600, QByteArray::number(since.elapsed()).constData());
        QCOMPARE(c.received, OffMenu);
        QTRY_COMPARE(program().winsock().State(), Winsock::sckListening);
    }

    // Clearing the password closes the console for good: no session timer
    // may bring a listener back that takes an empty password.
    void clearedPasswordClosesForGood() {
        start();
        program().telnet().LoginTimeout = 200ms;
        program().telnet().IdleTimeout = 200ms;
        Client c;
        logIn(c);
        QSignalSpy again(&program().telnet(), &TelnetConsole::listeningAgain);
        program().stuff().RemotePassword.clear();
        program().telnet().Close();
        QVERIFY(c.closedByServer());
        QVERIFY(!again.wait(500));
        QCOMPARE(program().winsock().State(), Winsock::sckClosed);
        Client next;
        QVERIFY(!next.connectTo(m_home.telnetPort));
    }

    void noListener_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<bool>("portTaken");
        QTest::addColumn<QByteArray>("traced");
        QTest::newRow("empty password") << QString() << QString() << false << QByteArray();
        QTest::newRow("/noremote")
            << QStringLiteral("pw") << QStringLiteral("/noremote") << false << QByteArray();
        // Damaged or hand-edited: stored, but no password once unscrambled.
        QTest::newRow("unreadable password")
            << QStringLiteral("ab-cd") << QString() << false
            << QByteArray("Stored remote password is not valid; no remote console");
        QTest::newRow("port taken") << PublicStuff::ScramblePassword("pw") << QString() << true
                                    << QByteArray("Telnet Bind/Listen");
    }
    void noListener() {
        QFETCH(QString, password);
        QFETCH(QString, commandLine);
        QFETCH(bool, portTaken);
        QFETCH(QByteArray, traced);
        QVERIFY(m_home.store({"RemotePW=" + password}));
        QTcpServer squatter;
        QVERIFY(!portTaken || squatter.listen(QHostAddress::Any, quint16(m_home.telnetPort)));
        start(commandLine + " /DEBUG");
        QCOMPARE(program().winsock().State(), Winsock::sckClosed);
        if (!portTaken) {
            Client c;
            QVERIFY(!c.connectTo(m_home.telnetPort));
        }
        const QByteArray trace = traceOfTheRun();
        QVERIFY2(trace.contains("Telnet Init Begin") && trace.contains(traced) &&
                     trace.contains("Cannot listen on port ") == portTaken,
                 trace.constData());
    }

    // Debian's telnet client: log in in line mode, switch to character mode
    // (its negotiation only redraws the menu), then single keys.
    void realTelnetClientInCharacterMode() {
        const QString telnet = QStandardPaths::findExecutable("telnet");
        const QString python = QStandardPaths::findExecutable("python3");
        if (telnet.isEmpty() || python.isEmpty())
            QSKIP("telnet or python3 is not installed");
        start();
        QProcess driver;
        driver.setProcessChannelMode(QProcess::MergedChannels);
        driver.start(python, {QStringLiteral(SENTORIX_TELNET_DRIVER), telnet,
                              QString::number(m_home.telnetPort), QStringLiteral("s3cRet9")});
        QVERIFY(driver.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(driver.state() == QProcess::NotRunning, 30000);
        const QByteArray output = driver.readAll();
        QVERIFY2(driver.exitCode() == 0, output.constData());
        for (const char* text : {"PROGRAM STATUS\r\n", "Pgm Status  : OFF\r\n", "Bye..."})
            QVERIFY2(output.contains(text), output.constData());
        QTRY_COMPARE(program().winsock().State(), Winsock::sckListening);
    }
};

QTEST_MAIN(tst_TelnetConsole)
#include "tst_telnetconsole.moc"
