// The real program, armed on the test scene, under a few thousand loopback
// connections that are opened and dropped: it must still answer afterwards.
#include "PublicStuff.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

constexpr int Connections = 3000;

// Reads until `text` arrives, the peer closes or the time is up.
QByteArray readUntil(QTcpSocket& socket, const QByteArray& text, int timeoutMs = 5000) {
    QByteArray seen;
    QElapsedTimer t;
    t.start();
    while (!seen.contains(text) && t.elapsed() < timeoutMs) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(100) &&
            socket.state() != QAbstractSocket::ConnectedState)
            break;
        seen += socket.readAll();
    }
    return seen;
}

} // namespace

class tst_TelnetLoad final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void survivesManyShortConnections() {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QVERIFY(QDir(home.path()).mkpath("config/Norvane"));
        QVERIFY(QDir(home.path()).mkpath("videos"));
        QVERIFY(QDir(home.path()).mkpath("temp"));
        QFile conf(home.filePath("config/Norvane/Sentorix.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("[CONFIG]\nRemotePW=" + PublicStuff::ScramblePassword("load1").toLatin1() +
                   "\nVidPath=" + QFile::encodeName(home.filePath("videos")) + "/\nNotify=0\n");
        conf.close();

        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("TEMP", home.filePath("temp"));
        env.insert("SENTORIX_NO_CAMERAS", "1");
        env.insert("SENTORIX_SCENE", "4:2");
        env.insert("SENTORIX_TELNET_PORT", QString::number(port));
        QProcess program;
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(home.path());
        program.start(QStringLiteral(SENTORIX_BINARY), {"/START", "/NOMAIL"});
        QVERIFY(program.waitForStarted());

        // Wait for the console.
        QElapsedTimer t;
        t.start();
        bool up = false;
        while (!up && t.elapsed() < 20000) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            up = s.waitForConnected(500);
            if (!up)
                QTest::qWait(100);
        }
        QVERIFY(up);
        QTest::qWait(300); // the probe's hang-up is handled

        // Open and drop, in a bounded loop: some read the banner and hang
        // up, some reset at once, some send half a password.
        int connected = 0, served = 0, turnedAway = 0, slow = 0, faults = 0, refused = 0;
        t.start();
        for (int i = 0; i < Connections && t.elapsed() < 120000; ++i) {
            QTcpSocket s;
            // Between two clients the console is not listening for a moment.
            s.connectToHost(QHostAddress::LocalHost, port);
            while (!s.waitForConnected(2000) && t.elapsed() < 120000) {
                ++refused;
                QTest::qWait(1);
                s.abort();
                s.connectToHost(QHostAddress::LocalHost, port);
            }
            if (s.state() != QAbstractSocket::ConnectedState)
                break;
            ++connected;
            switch (i % 3) {
            case 0: {
                // A client that slipped into the queue while another was
                // being served is turned away without a word; anything else
                // than that or the whole banner is a fault.
                const QByteArray seen = readUntil(s, "Password: ", 10000);
                if (seen.endsWith("Password: "))
                    ++served;
                else if (seen.isEmpty() && s.state() == QAbstractSocket::UnconnectedState)
                    ++turnedAway;
                else if (seen.isEmpty())
                    ++slow;             // a busy machine: still queued after ten seconds
                else if (++faults <= 3) // garbage or a cut banner
                    qWarning("client %d got %s", i, seen.toHex().constData());
                s.disconnectFromHost();
                break;
            }
            case 1:
                s.abort();
                break;
            default:
                s.write("lo");
                s.waitForBytesWritten(1000);
                s.abort();
                break;
            }
        }
        qInfo("%d connections in %lld ms: %d banners read, %d turned away, %d still queued after "
              "10 s, %d attempts refused",
              connected, t.elapsed(), served, turnedAway, slow, refused);
        QCOMPARE(connected, Connections);
        QCOMPARE(faults, 0);
        QCOMPARE(served + turnedAway + slow, (Connections + 2) / 3);
        QVERIFY(slow <= Connections / 100);
        QVERIFY(served >= Connections / 30);
        QCOMPARE(program.state(), QProcess::Running);

        // The owner still gets in and the recorder still reports.
        QTcpSocket owner;
        bool in = false;
        t.start();
        while (!in && t.elapsed() < 15000) {
            owner.abort();
            owner.connectToHost(QHostAddress::LocalHost, port);
            in = owner.waitForConnected(1000) &&
                 readUntil(owner, "Password: ").endsWith("Password: ");
            if (!in)
                QTest::qWait(100);
        }
        QVERIFY(in);
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
