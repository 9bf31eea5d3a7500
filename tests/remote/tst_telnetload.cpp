// The real program, armed on the test scene, under a few thousand loopback
// connections that are opened and dropped: it must still answer afterwards.
#include "ProgramHome.h"
#include "PublicStuff.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

#include <csignal>

namespace {

constexpr int Connections = 3000;

// Reads until `text` arrives, the peer closes or the time is up.
QByteArray readUntil(QTcpSocket& socket, const QByteArray& text, int timeoutMs = 5000) {
    QByteArray seen;
    const QDeadlineTimer deadline(timeoutMs);
    while (!seen.contains(text) &&
           (socket.bytesAvailable() > 0 || socket.waitForReadyRead(int(deadline.remainingTime()))))
        seen += socket.readAll();
    return seen;
}

// Between two clients the console is not listening for a moment: a refused
// attempt is tried again at once, until the deadline; so is one turned away
// before the banner when `greeted` is asked for.
bool connectTo(QTcpSocket& socket, quint16 port, const QDeadlineTimer& deadline, int* refused,
               bool greeted = false) {
    while (!deadline.hasExpired()) {
        socket.abort();
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(2000))
            ++*refused;
        else if (!greeted || readUntil(socket, "Password: ").endsWith("Password: "))
            return true;
    }
    return false;
}

} // namespace

class tst_TelnetLoad final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void survivesManyShortConnections() {
        ProgramHome home;
        QVERIFY(home.isValid() && home.store({"RemotePW=" + PublicStuff::ScramblePassword("load1"),
                                              "VidPath=" + home.videos(), "Notify=0"}));
        const auto port = quint16(home.telnetPort);
        QProcessEnvironment env = home.environment();
        env.insert("SENTORIX_SCENE", "4:2");
        env.insert("SENTORIX_TELNET_PORT", QString::number(port));
        QProcess program;
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(home.root());
        program.start(QStringLiteral(SENTORIX_BINARY), {"/START", "/NOMAIL"});
        QVERIFY(program.waitForStarted());
        int refused = 0;
        QTcpSocket owner; // the console is up once it greets
        QVERIFY(connectTo(owner, port, QDeadlineTimer(20000), &refused, true));
        owner.abort();

        // Some read the banner and hang up, some reset at once, some send
        // half a password.
        int served = 0, turnedAway = 0, slow = 0, faults = 0;
        const QDeadlineTimer deadline(120000);
        for (int i = 0; i < Connections; ++i) {
            QTcpSocket s;
            QVERIFY2(connectTo(s, port, deadline, &refused), qPrintable(QString::number(i)));
            if (i % 3 == 0) {
                // A client that slipped into the queue while another was
                // being served is turned away without a word; anything else
                // than that or the whole banner is a fault.
                const QByteArray seen = readUntil(s, "Password: ", 10000);
                if (seen.endsWith("Password: "))
                    ++served;
                else if (seen.isEmpty() && s.state() == QAbstractSocket::UnconnectedState)
                    ++turnedAway;
                else if (seen.isEmpty())
                    ++slow; // a busy machine: still queued after ten seconds
                else if (++faults <= 3)
                    qWarning("client %d got %s", i, seen.toHex().constData());
                s.disconnectFromHost();
            } else if (i % 3 == 2) {
                s.write("lo");
                s.waitForBytesWritten(1000);
            }
        }
        qInfo("%d connections in %lld ms: %d banners read, %d turned away, %d still queued after "
              "10 s, %d attempts refused",
              Connections, 120000 - deadline.remainingTime(), served, turnedAway, slow, refused);
        QCOMPARE(faults, 0);
        QCOMPARE(served + turnedAway + slow, (Connections + 2) / 3);
        QVERIFY(slow <= Connections / 100);
        QVERIFY(served >= Connections / 30);
        QCOMPARE(program.state(), QProcess::Running);

        // The owner still gets in and the recorder still reports.
        QVERIFY(connectTo(owner, port, QDeadlineTimer(15000), &refused, true));
        owner.write("load1\r\n");
        QVERIFY(readUntil(owner, "9 - Exit\r\n\r\n").contains("Main Menu"));
        owner.write("5");
        const QByteArray report = readUntil(owner, "Timestamp   : ");
        QVERIFY2(report.contains("Pgm Status  : STANDBY") ||
                     report.contains("Pgm Status  : RECORDING"),
                 report.constData());
        owner.write("9");
        QVERIFY(readUntil(owner, "Bye...").contains("Bye..."));

        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_TelnetLoad)
#include "tst_telnetload.moc"
