// The remote console over real TCP on 127.0.0.1: the program in this
// process, then the real binary under load and through Debian's telnet;
// the web page's server of the real binary through curl and slow TLS
// clients.
#include "AviProbe.h"
#include "CaptureControl.h"
#include "DateText.h"
#include "Footage.h"
#include "ModalDialog.h"
#include "ProgramRun.h"
#include "RecordingName.h"
#include "StatusPanels.h"
#include "TelnetConsole.h"
#include "TestData.h"
#include "Winsock.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSslSocket>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <csignal>
#include <sys/socket.h>
#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

// The console's texts, its lines ending in CR LF.
const auto crlf = [](QByteArray text) { return text.replace("\n", "\r\n"); };
const QByteArray Dashes(50, '-');
const QByteArray Banner = crlf("\n" + Dashes +
                               "\nSentorix\nVersion 1.0\nMotion-triggered camera recorder\n"
                               "Norvane Software\nRemote console\n" +
                               Dashes + "\n\nPassword: ");
QByteArray menuWith(const QByteArray& field) {
    return crlf("\x1b[2J" + Dashes + "\nMain Menu                          " + field + "\n" +
                Dashes +
                "\n1 - Start (-> STANDBY)\n2 - Stop (-> OFF)\n3 - Start recording now (-> "
                "RECORDING)\n4 - Mail a snapshot (-> MAILING)\n5 - Status information\n"
                "9 - Exit\n\n");
}
const QByteArray Off = menuWith("            OFF");
const QByteArray Standby = menuWith("        STANDBY");
const QByteArray Recording = menuWith("      RECORDING");
const auto reply = [](const char* text) { return "\r\n" + QByteArray(text) + "\r\n"; };

// A client on the loopback; it waits with the program's event loop running.
struct Client : QTcpSocket {
    QByteArray received;

    // The system completes or refuses the connection without the program.
    bool connectTo(int port) {
        connectToHost(QHostAddress::LocalHost, quint16(port));
        return waitForConnected(TestData::Bound);
    }
    void send(const QByteArray& bytes) {
        write(bytes);
        flush();
    }
    // The next `size` bytes, or what came within the bound.
    QByteArray take(qsizetype size) {
        (void)QTest::qWaitFor([&] { return (received += readAll()).size() >= size; },
                              TestData::Bound);
        const QByteArray head = received.left(size);
        received.remove(0, head.size());
        return head;
    }
    bool closedByServer(int timeoutMs = TestData::Bound) {
        const bool closed = QTest::qWaitFor([&] { return state() == UnconnectedState; }, timeoutMs);
        received += readAll();
        return closed;
    }
};

// For the program in another process, blocking waits: reads until `text`
// arrives, the peer closes or the time is up.
QByteArray readUntil(QTcpSocket& socket, const QByteArray& text, int timeoutMs = 5000) {
    QByteArray seen;
    const QDeadlineTimer deadline(timeoutMs);
    while (!seen.contains(text) &&
           (socket.bytesAvailable() > 0 || socket.waitForReadyRead(int(deadline.remainingTime()))))
        seen += socket.readAll();
    return seen;
}

// Refused until the program listens, and between two clients for a
// moment: tried again at once, until the deadline.
bool connectRetrying(QTcpSocket& socket, quint16 port, const QDeadlineTimer& deadline,
                     int* refused) {
    while (!deadline.hasExpired()) {
        socket.abort();
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(2000))
            return true;
        ++*refused;
    }
    return false;
}

// What curl brought back from the program's web server.
struct Reply {
    int code = 0; // 0: no answer
    QByteArray body;
    QByteArray headers;
};

// One request with Debian's curl, trusting only the program's own
// certificate; `args` come before the URL.
Reply curl(const QString& certificate, int port, const QString& path, const QStringList& args = {},
           int seconds = 20) {
    QTemporaryFile body, headers;
    if (!body.open() || !headers.open())
        return {};
    QProcess p;
    p.start(QStringLiteral("curl"),
            QStringList{"-sS", "--max-time", QString::number(seconds), "--cacert", certificate,
                        "-o", body.fileName(), "-D", headers.fileName(), "-w", "%{http_code}"} +
                args + QStringList{QStringLiteral("https://127.0.0.1:%1%2").arg(port).arg(path)});
    // The event loop runs meanwhile, for a server in this process.
    if (!QTest::qWaitFor([&p] { return p.state() == QProcess::NotRunning; }, (seconds + 10) * 1000))
        p.kill();
    return {p.readAllStandardOutput().toInt(), body.readAll(), headers.readAll()};
}

// The JPEG parts of a multipart/x-mixed-replace body, up to one cut off.
QList<QByteArray> jpegParts(const QByteArray& body) {
    QList<QByteArray> parts;
    const QByteArray lengthField = "Content-Length: ";
    for (qsizetype at = body.indexOf("--frame\r\n"); at >= 0;) {
        const qsizetype blank = body.indexOf("\r\n\r\n", at);
        const qsizetype field = body.indexOf(lengthField, at);
        if (blank < 0 || field < 0 || field > blank)
            break;
        const qsizetype length =
            body.mid(field + lengthField.size(), blank - field - lengthField.size()).toLongLong();
        if (blank + 4 + length > body.size())
            break;
        parts.append(body.mid(blank + 4, length));
        at = body.indexOf("--frame\r\n", blank + 4 + length);
    }
    return parts;
}

bool wholeJpegs(const QList<QByteArray>& parts) {
    return std::all_of(parts.begin(), parts.end(), [](const QByteArray& jpeg) {
        return jpeg.startsWith("\xff\xd8") && jpeg.endsWith("\xff\xd9");
    });
}

// Debian's curl watching the live picture into a file, until killed.
struct LiveViewer {
    QTemporaryFile stream;
    QProcess process;

    bool start(const QString& certificate, int port, const QString& credentials) {
        if (!stream.open())
            return false;
        process.start("curl", {"-sS", "--max-time", "600", "--cacert", certificate, "-u",
                               credentials, "-o", stream.fileName(),
                               QStringLiteral("https://127.0.0.1:%1/live.mjpg").arg(port)});
        return process.waitForStarted();
    }
    bool watching() const { return process.state() == QProcess::Running; }
    qsizetype frames() const {
        QFile f(stream.fileName());
        return f.open(QIODevice::ReadOnly) ? f.readAll().count("--frame\r\n") : qsizetype(0);
    }
    ~LiveViewer() {
        process.kill();
        process.waitForFinished();
    }
};

// The file name of a recording started on that day of 2026 at 5:06:07.
QString recordingOn(int month, int day) {
    const QDateTime when(QDate(2026, month, day), QTime(5, 6, 7));
    return QFileInfo(RecordingName::fromStartText(QString(), DateText::general(when))).fileName();
}

int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The real program in the home (its working directory) with `switches`;
// with a password its web page is served on `port`.
struct WebProgram {
    QProcess process;
    int port = 0;
    QString certificate;

    bool start(const ProgramHome& home, const QString& password,
               const QStringList& switches = {"/NOMAIL"}, const QString& scene = {}) {
        port = freePort();
        if (!password.isEmpty())
            SettingsStore(home.configPath())
                .write(QStringLiteral("WEB"), QStringLiteral("Password"),
                       PublicStuff::ScramblePassword(password));
        QProcessEnvironment env = home.environment();
        env.insert("SENTORIX_WEB_PORT", QString::number(port));
        env.insert("SENTORIX_TELNET_PORT", QString::number(home.telnetPort));
        if (!scene.isEmpty())
            env.insert("SENTORIX_SCENE", scene);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home.root());
        process.start(QStringLiteral(SENTORIX_BINARY), switches);
        certificate = home.path(QStringLiteral("sentorix-web.crt"));
        return process.waitForStarted();
    }
    ~WebProgram() {
        if (process.state() == QProcess::Running) {
            ::kill(pid_t(process.processId()), SIGTERM);
            if (!process.waitForFinished(TestData::Bound))
                process.kill();
        }
    }
};

} // namespace

class tst_TelnetConsole final : public QObject {
    Q_OBJECT

    ProgramHome m_home;
    std::unique_ptr<ProgramRun> m_run;

    void start(const QString& commandLine = {}) { m_run = ProgramRun::start(m_home, commandLine); }
    Program& program() { return m_run->program; }
    // Connects once the console listens again and is greeted.
    void reach(Client& c) {
        QTRY_COMPARE_WITH_TIMEOUT(program().winsock().State(), Winsock::sckListening,
                                  TestData::Bound);
        QVERIFY(c.connectTo(m_home.telnetPort));
        QCOMPARE(c.take(Banner.size()), Banner);
    }
    // Sends each key and expects its answer, in order.
    static void keys(Client& c, const QList<std::pair<QByteArray, QByteArray>>& exchanges) {
        for (const auto& [key, answer] : exchanges) {
            c.send(key);
            QCOMPARE(c.take(answer.size()), answer);
        }
    }
    void logIn(Client& c) {
        reach(c);
        keys(c, {{"s3cRet9\r\n", Off}});
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_home.isValid()); }
    void init() {
        m_home.clear();
        QVERIFY(m_home.store({"RemotePW=" + PublicStuff::ScramblePassword("s3cRet9"),
                              "VidPath=" + m_home.videos(), "LowSpace=0"}));
    }
    void cleanup() { m_run.reset(); }

    // One session, key by key: the password in pieces, then every command
    // while off and while armed, in order.
    void sessionKeyByKey() {
        start();
        Client c;
        reach(c);
        QSignalSpy arrived(&program().winsock(), &Winsock::DataArrival);
        for (const char* piece : {"s", "3c", "R", "et", "9", "\r"}) {
            QCOMPARE(program().telnet().TelnetState(), TelnetConsole::State::Password);
            c.send(piece);
            QVERIFY(arrived.wait(TestData::Bound));
        }
        program().panels().setText(Panel::Deviation, "0.12%  (4%)");
        program().panels().setText(Panel::Timestamp, "12/6/2026 9:05:07 AM");
        program().stuff().EMail = QStringLiteral("  ");
        QSignalSpy mails(&program().surveillance(), &Surveillance::mailRequested);
        // The LF after the CR is dropped; a lone LF is an unknown key. The
        // menu is sent before the command runs, so it shows the old state.
        keys(c, {{"", Off},
                 {"\n", Off},
                 {"2", Off + reply("The program is already OFF.")},
                 {"3", Off + reply("The program is not STANDBY.")},
                 {"4", Off + reply("The program is not STANDBY.")},
                 {"1\r\n", Off},
                 {"x", Off},
                 {"12", Off},
                 {"5", Off + "PROGRAM STATUS\r\nImage data  : 0.12%  (4%)\r\nPgm Status  : OFF\r\n"
                             "Base Refresh: \r\nTime to go  : \r\n"
                             "Timestamp   : 12/6/2026 9:05:07 AM\r\n"},
                 {"1", Off + reply("The program is now STANDBY.")},
                 {"1", Standby + reply("The program is already STANDBY.")},
                 {"4", Standby + reply("No E-Mail address specified.")}});
        program().stuff().EMail = QStringLiteral("ann@example.org");
        keys(c, {{"4", Standby + reply("This function is not yet available")},
                 {"3", Standby + reply("Capturing process started")}});
        QTRY_VERIFY_WITH_TIMEOUT(program().capture().IsCapturing(), TestData::Bound);
        keys(c, {{"3", Recording + reply("Program is already capturing. Please wait.")},
                 {"4", Recording + reply("Program is already capturing. Please wait.")},
                 {"2", Recording + reply("The program is now OFF.")}});
        QVERIFY(!program().surveillance().SurveillanceOn() && !program().capture().IsCapturing());
        QCOMPARE(mails.size(), 0);
        // The status field is padded to fifteen, never cut.
        program().panels().setText(Panel::State, "LONGER THAN FIFTEEN");
        keys(c, {{"x", menuWith("LONGER THAN FIFTEEN")}});
    }

    // Wrong lines end the connection; so do Exit, hang-up, reset, a
    // half-close (whose reply still arrives) and silence (a key restarts the
    // idle time). After every end the next client is served, one at a time.
    void listensAgainAfterEachEnd() {
        start();
        for (const QByteArray& line :
             {QByteArray("S3CRET9\r\n"), QByteArray("s3cRet\r\n"), QByteArray("s3cRet9 \r\n"),
              QByteArray("\xff\xfd\x01\xff\xfb\x03s3cRet9\r\n"), QByteArray("s3cRet9\0\r\n", 10),
              QByteArray("s3cRet9\n") + QByteArray(300, 'x'), QByteArray(1 << 20, '\x01')}) {
            Client c;
            reach(c);
            c.send(line);
            QVERIFY(c.closedByServer());
            QCOMPARE(c.received, reply("Password is not correct."));
        }
        for (const char* end : {"exit", "hang up", "reset", "half-close", "silence"}) {
            const QByteArray how(end);
            program().telnet().IdleTimeout = how == "silence" ? 400ms : 60s;
            Client c;
            logIn(c);
            if (how == "hang up" || how == "reset") {
                how == "reset" ? c.abort() : c.disconnectFromHost();
                continue;
            }
            QVERIFY(how != "exit" || !Client().connectTo(m_home.telnetPort));
            const QDeadlineTimer early(600);
            if (how == "silence")
                QTimer::singleShot(250, &c, [&c] { c.send("x"); });
            else
                c.send(how == "exit" ? "9" : "5");
            QVERIFY(how != "half-close" || ::shutdown(int(c.socketDescriptor()), SHUT_WR) == 0);
            QVERIFY(c.closedByServer());
            // Without the restart the silent end came 400 ms after the login.
            QVERIFY(how != "silence" || early.hasExpired());
            QVERIFY2(how == "half-close"
                         ? c.received.startsWith(Off + "PROGRAM STATUS\r\n") &&
                               c.received.endsWith("Timestamp   : \r\n")
                         : c.received == Off + (how == "exit" ? reply("Bye...") : ""),
                     c.received.constData());
        }
        // Clearing the password closes the console for good: no session
        // timer may bring a listener back that takes an empty password.
        Client c;
        logIn(c);
        QSignalSpy again(&program().telnet(), &TelnetConsole::listeningAgain);
        program().stuff().RemotePassword.clear();
        program().telnet().Close();
        QVERIFY(c.closedByServer());
        QVERIFY(!again.wait(500));
        QCOMPARE(program().winsock().State(), Winsock::sckClosed);
        QVERIFY(!Client().connectTo(m_home.telnetPort));
    }

    // Rows: stored password, command line, port taken, what the trace says.
    void noListener() {
        const QString pw = PublicStuff::ScramblePassword("pw");
        for (const auto& [password, commandLine, portTaken, traced] :
             {std::tuple<QString, QString, bool, QByteArray>{pw, "/noremote", false, ""},
              // Damaged or hand-edited: stored, but no password once unscrambled.
              {"ab-cd", "", false, "Stored remote password is not valid; no remote console"},
              {pw, "", true, "Telnet Bind/Listen"}}) {
            m_home.clear();
            QVERIFY(m_home.store({"RemotePW=" + password}));
            QTcpServer squatter;
            QVERIFY(!portTaken || squatter.listen(QHostAddress::Any, quint16(m_home.telnetPort)));
            start(commandLine + " /DEBUG");
            QCOMPARE(program().winsock().State(), Winsock::sckClosed);
            QVERIFY(portTaken || !Client().connectTo(m_home.telnetPort));
            m_run.reset();
            const QByteArray trace = m_home.trace();
            QVERIFY2(trace.contains("Telnet Init Begin") && trace.contains(traced) &&
                         trace.contains("Cannot listen on port ") == portTaken,
                     trace.constData());
        }
    }

    // The real program, armed on the test scene, under a few thousand
    // loopback connections that are opened and dropped: some read the
    // banner and hang up, some reset at once, some send half a password.
    // It must still answer afterwards, and keep no descriptor or thread of
    // any session.
    void theRealProgramSurvivesManyShortConnections() {
        QVERIFY(m_home.store({"Notify=0"}));
        const auto port = quint16(m_home.telnetPort);
        const QStringList earlier = QDir(m_home.videos()).entryList({"*.avi"});
        WebProgram real;
        QVERIFY(real.start(m_home, {}, {"/START", "/NOMAIL"}, "4:2"));
        QProcess& program = real.process;
        // Counted while the first visit's recording runs: with a visit every
        // six seconds and a minute of recording after each, it lasts to the
        // end.
        const QString own = QStringLiteral("/proc/%1/").arg(program.processId());
        const auto ownRecording = [&] {
            for (const QFileInfo& file : QDir(m_home.videos()).entryInfoList({"*.avi"}))
                if (!earlier.contains(file.fileName()) && file.size() > 0)
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(ownRecording(), TestData::Bound);
        const TestData::Holdings before = TestData::Holdings::of(own);
        constexpr int Connections = 3000;
        int served = 0, faults = 0, refused = 0;
        constexpr qint64 Budget = 4 * TestData::Bound;
        const QDeadlineTimer deadline(Budget);
        for (int i = 0; i < Connections; ++i) {
            QTcpSocket s;
            QVERIFY2(connectRetrying(s, port, deadline, &refused), qPrintable(QString::number(i)));
            if (i % 3 == 0) {
                // The whole banner; a client that slipped into the queue
                // while another was being served gets not a word.
                const QByteArray seen = readUntil(s, "Password: ", 10000);
                served += seen.endsWith("Password: ");
                if (!seen.isEmpty() && !seen.endsWith("Password: ") && ++faults <= 3)
                    qWarning("client %d got %s", i, seen.toHex().constData());
                s.disconnectFromHost();
            } else if (i % 3 == 2) {
                s.write("lo");
                s.waitForBytesWritten(1000);
            }
        }
        qInfo("%d connections in %lld ms: %d banners read, %d attempts refused", Connections,
              Budget - deadline.remainingTime(), served, refused);
        QCOMPARE(faults, 0);
        QVERIFY(served >= Connections / 30);
        QCOMPARE(program.state(), QProcess::Running);

        // The owner still gets in with Debian's telnet, in line mode, then
        // in character mode (its negotiation only redraws the menu); the
        // recorder still reports.
        const QString telnet = QStandardPaths::findExecutable("telnet");
        const QString python = QStandardPaths::findExecutable("python3");
        QVERIFY2(!telnet.isEmpty() && !python.isEmpty(), "telnet or python3 is not installed");
        QProcess driver;
        driver.setProcessChannelMode(QProcess::MergedChannels);
        driver.start(python, {QStringLiteral(SENTORIX_TELNET_DRIVER), telnet, QString::number(port),
                              QStringLiteral("s3cRet9")});
        QVERIFY(driver.waitForFinished(TestData::Bound));
        const QByteArray output = driver.readAll();
        QVERIFY2(driver.exitCode() == 0 && output.contains("PROGRAM STATUS\r\n") &&
                     output.contains("Bye...") &&
                     (output.contains("Pgm Status  : STANDBY\r\n") ||
                      output.contains("Pgm Status  : RECORDING\r\n")),
                 output.constData());
        QTRY_VERIFY2_WITH_TIMEOUT(TestData::Holdings::of(own).grownSince(before).isEmpty(),
                                  qPrintable(TestData::Holdings::of(own).grownSince(before)),
                                  TestData::Bound);
        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(TestData::Bound));
        QCOMPARE(program.exitCode(), 0);
    }

    // The web page's server of the real program, through curl: nothing
    // without the password, the console's commands, the recordings and
    // nothing else of the disk, the live picture, the lock-out.
    void theWebServerThroughCurl() {
        QVERIFY(!QStandardPaths::findExecutable("curl").isEmpty());
        QVERIFY(QFile::copy(QStringLiteral(SENTORIX_LOG_TEMPLATE), m_home.path("zarveldft.html")));
        // Earlier tests' recordings go.
        for (const QString& earlier : QDir(m_home.videos()).entryList(QDir::Files))
            QVERIFY(QFile::remove(m_home.videos() + earlier));
        // A recording of the program's making, one of another tool, a link
        // with a recording's name to a file outside, and that file.
        const QString name = recordingOn(3, 4);
        QByteArray footage;
        for (int i = 0; i < 5000; ++i)
            footage += QByteArray::number(i) + ' ';
        using TestData::writeFile;
        QVERIFY(writeFile(m_home.videos() + name, footage));
        QVERIFY(writeFile(m_home.videos() + "holiday.avi", "other"));
        QVERIFY(writeFile(m_home.path("secret.txt"), "SECRET"));
        const QString linked = recordingOn(3, 5);
        QVERIFY(QFile::link(m_home.path("secret.txt"), m_home.videos() + linked));
        // An older one in Motion JPEG, as the program records them.
        const QString clip = recordingOn(3, 3);
        const QString made = Footage::make(m_home.videos() + clip, QSize(160, 120),
                                           "-c:v mjpeg -pix_fmt yuvj420p", 1, 5);
        QVERIFY2(made.isEmpty(), qPrintable(made));

        WebProgram program;
        QVERIFY(program.start(m_home, "w3bPass7"));
        const auto get = [&](const QString& path, const QStringList& args = {}) {
            return curl(program.certificate, program.port, path, args);
        };
        const QStringList right{"-u", "anyone:w3bPass7"};
        // The first start makes the certificate (checked by curl from now
        // on) and its key, which only the owner may read.
        QTRY_VERIFY_WITH_TIMEOUT(get("/api/status").code == 401, TestData::Bound);
        struct stat key {};
        QCOMPARE(::stat(QFile::encodeName(m_home.path("sentorix-web.key")).constData(), &key), 0);
        QCOMPARE(key.st_mode & 0777, 0600u);
        const Reply anonymous = get("/api/status");
        QVERIFY(anonymous.headers.contains("WWW-Authenticate: Basic"));
        QCOMPARE(get("/api/status", {"-u", "anyone:wrong"}).code, 401);

        // The page: only with the password, and kept to its own scripts,
        // out of other sites' frames and out of caches.
        QCOMPARE(get("/").code, 401);
        const Reply page = get("/", right);
        QCOMPARE(page.code, 200);
        QVERIFY(page.headers.contains("Content-Type: text/html"));
        QVERIFY2(page.headers.contains("Content-Security-Policy: default-src 'self';") &&
                     page.headers.contains("frame-ancestors 'none'") &&
                     page.headers.contains("X-Content-Type-Options: nosniff"),
                 page.headers.constData());
        QVERIFY(get("/api/status", right).headers.contains("Cache-Control: no-store"));

        const auto status = [&] {
            return QJsonDocument::fromJson(get("/api/status", right).body).object();
        };
        const QJsonObject s = status();
        QCOMPARE(s["state"].toString(), "OFF");
        QCOMPARE(s["armed"].toBool(), false);
        QCOMPARE(s["panels"].toArray().size(), 5);
        QVERIFY(s.contains("deviation") && s.contains("threshold") && s.contains("recording"));

        // Arming from another site's page is refused; from this one (or a
        // script without an Origin) it is what the console's key 1 does.
        const QStringList post{"-X", "POST"};
        const QString own = QStringLiteral("Origin: https://127.0.0.1:%1").arg(program.port);
        const auto replyTo = [&](const QString& path, const QStringList& args = {}) {
            return QJsonDocument::fromJson(get(path, right + post + args).body)["reply"].toString();
        };
        QCOMPARE(
            get("/api/arm", right + post + QStringList{"-H", "Origin: https://evil.example"}).code,
            403);
        QCOMPARE(status()["armed"].toBool(), false);
        QCOMPARE(replyTo("/api/arm", {"-H", own}), "The program is now STANDBY.");
        QCOMPARE(status()["armed"].toBool(), true);
        QCOMPARE(replyTo("/api/arm"), "The program is already STANDBY.");
        // A recording of the program's own making, some frames long.
        QCOMPARE(replyTo("/api/record"), "Capturing process started");
        QTRY_VERIFY_WITH_TIMEOUT(status()["recording"].toBool(), TestData::Bound);
        QTRY_VERIFY_WITH_TIMEOUT(status()["examined"].toInt() > 1, TestData::Bound);
        QVERIFY(status()["skipped"].isDouble());
        const auto recordedBytes = [&] {
            qint64 bytes = 0;
            for (const QFileInfo& file : QDir(m_home.videos()).entryInfoList({"*.avi"}))
                if (file.fileName() != name && file.fileName() != clip)
                    bytes = std::max(bytes, file.size());
            return bytes;
        };
        QTRY_VERIFY_WITH_TIMEOUT(recordedBytes() > 300000, TestData::Bound);
        QCOMPARE(replyTo("/api/disarm"), "The program is now OFF.");
        QCOMPARE(replyTo("/api/record"), "The program is not STANDBY.");
        QCOMPARE(status()["state"].toString(), "OFF");

        // Only the program's own recording is listed and served, in part too.
        const QJsonArray list = QJsonDocument::fromJson(get("/api/recordings", right).body).array();
        QCOMPARE(list.size(), 3);
        QStringList names;
        for (const QJsonValue& row : list)
            names << row["name"].toString();
        // Newest first; the program's own recording started today.
        QVERIFY2(names.indexOf(name) == 1 && names.indexOf(clip) == 2, qPrintable(names.join(' ')));
        const QString recorded = names[0];
        QCOMPARE(list[1]["bytes"].toInteger(), footage.size());
        QCOMPARE(list[1]["start"].toString(), "2026-03-04T05:06:07");
        const Reply whole = get("/recordings/" + name, right);
        QCOMPARE(whole.code, 200);
        QCOMPARE(whole.body, footage);
        const Reply part = get("/recordings/" + name, right + QStringList{"-r", "100-199"});
        QCOMPARE(part.code, 206);
        QCOMPARE(part.body, footage.mid(100, 100));
        // A recording's thumbnail is its first frame.
        const Reply thumb = get("/thumb/" + clip + ".jpg", right);
        QCOMPARE(thumb.code, 200);
        QVERIFY(thumb.headers.contains("Content-Type: image/jpeg"));
        QVERIFY(thumb.body.startsWith("\xff\xd8") && thumb.body.endsWith("\xff\xd9"));
        QCOMPARE(get("/thumb/" + name + ".jpg", right).code, 404); // no AVI in it
        QCOMPARE(get("/thumb/" + linked + ".jpg", right).code, 404);

        // A recording plays as the frames it holds, each a whole JPEG as it
        // lies in the file, as many as ffprobe counts.
        const Reply played = get("/play/" + recorded, right);
        QCOMPARE(played.code, 200);
        QVERIFY(played.headers.contains("multipart/x-mixed-replace; boundary=frame"));
        const QList<AviProbe::Stream> streams = AviProbe::probe(m_home.videos() + recorded);
        QVERIFY(!streams.isEmpty() && streams[0].codec == "mjpeg");
        QCOMPARE(jpegParts(played.body).size(), streams[0].frames);
        QVERIFY(wholeJpegs(jpegParts(played.body)));
        QVERIFY(played.body.endsWith("--frame--\r\n"));
        // At the file's own rate: of a clip of four seconds at ten frames a
        // second, two seconds bring some frames but far from all.
        const QString paced = recordingOn(2, 1);
        QString said = Footage::make(m_home.videos() + paced, QSize(160, 120),
                                     "-c:v mjpeg -pix_fmt yuvj420p", 4, 10);
        QVERIFY2(said.isEmpty(), qPrintable(said));
        const QList<QByteArray> early =
            jpegParts(curl(program.certificate, program.port, "/play/" + paced, right, 2).body);
        QVERIFY2(early.size() >= 2 && early.size() <= 30,
                 qPrintable(QString::number(early.size())));
        QVERIFY(wholeJpegs(early));
        QCOMPARE(jpegParts(get("/play/" + paced, right).body).size(), 40);
        // Files nobody here made: cut in the middle of the frames, the
        // frames before the cut play; cut in the header, a frame that claims
        // two gigabytes, no AVI at all or another codec are refused.
        QFile pacedFile(m_home.videos() + paced);
        QVERIFY(pacedFile.open(QIODevice::ReadOnly));
        const QByteArray clean = pacedFile.readAll();
        const QString cut = recordingOn(2, 2);
        QVERIFY(writeFile(m_home.videos() + cut, clean.left(clean.size() / 2)));
        const Reply cutPlayed = get("/play/" + cut, right);
        QCOMPARE(cutPlayed.code, 200);
        const QList<QByteArray> beforeCut = jpegParts(cutPlayed.body);
        QVERIFY2(beforeCut.size() > 5 && beforeCut.size() < 40,
                 qPrintable(QString::number(beforeCut.size())));
        QVERIFY(wholeJpegs(beforeCut));
        const QString headless = recordingOn(2, 3);
        QVERIFY(writeFile(m_home.videos() + headless, clean.left(100)));
        QByteArray lie = clean;
        const qsizetype firstFrame = lie.indexOf("00dc", lie.indexOf("movi"));
        QVERIFY(firstFrame > 0);
        qToLittleEndian<quint32>(0x7ffffff0, lie.data() + firstFrame + 4);
        const QString lying = recordingOn(2, 4);
        QVERIFY(writeFile(m_home.videos() + lying, lie));
        const QString mpeg4 = recordingOn(2, 5);
        said = Footage::make(m_home.videos() + mpeg4, QSize(160, 120), "-c:v mpeg4", 1, 10);
        QVERIFY2(said.isEmpty(), qPrintable(said));
        for (const auto& [file, code] : {std::pair{headless, 422}, std::pair{lying, 422},
                                         std::pair{name, 422}, std::pair{mpeg4, 415}}) {
            const Reply refused = get("/play/" + file, right);
            QVERIFY2(refused.code == code && !refused.body.contains("--frame"),
                     qPrintable(file + u' ' + QString::number(refused.code)));
        }
        QCOMPARE(get("/thumb/" + mpeg4 + ".jpg", right).code, 404);
        for (const QString& path :
             {"/recordings/" + linked, QStringLiteral("/recordings/holiday.avi"),
              QStringLiteral("/recordings/../../etc/passwd"),
              QStringLiteral("/recordings/..%2F..%2F..%2Fetc%2Fpasswd"),
              QStringLiteral("/recordings/%2e%2e%2fsecret.txt"),
              QStringLiteral("/recordings/..%2fsecret.txt"), QStringLiteral("/recordings/.."),
              QStringLiteral("/recordings/%2e%2e"), QStringLiteral("/../secret.txt"),
              QStringLiteral("/recordings/") + name + "%00.txt", "/play/" + linked,
              QStringLiteral("/play/holiday.avi"), QStringLiteral("/play/..%2fsecret.txt"),
              QStringLiteral("/play/%2e%2e%2f%2e%2e%2fetc%2fpasswd")}) {
            const Reply r = get(path, right + QStringList{"--path-as-is"});
            QVERIFY2(r.code == 404 && !r.body.contains("SECRET") && !r.body.contains("root:"),
                     qPrintable(path + u' ' + QString::number(r.code)));
        }
        QCOMPARE(get("/recordings/" + linked, right + QStringList{"-X", "DELETE"}).code, 404);
        QVERIFY(QFile::exists(m_home.path("secret.txt")));

        // A deletion from another site is refused; from this page it goes
        // and leaves its row in the event log.
        QCOMPARE(get("/recordings/" + name,
                     right + QStringList{"-X", "DELETE", "-H", "Origin: https://evil.example"})
                     .code,
                 403);
        QVERIFY(QFile::exists(m_home.videos() + name));
        QCOMPARE(get("/recordings/" + name, right + QStringList{"-X", "DELETE", "-H", own}).code,
                 204);
        QVERIFY(!QFile::exists(m_home.videos() + name));
        QVERIFY(QFile::exists(m_home.videos() + "holiday.avi"));
        QVERIFY(
            m_home.read("zarvellog.html").contains("Deleted on the web page: " + name.toUtf8()));
        QCOMPARE(get("/recordings/" + name, right).code, 404);

        // The live picture as one frame; its stream is watched in
        // theWebServerOutlastsSlowClients and shown in chromium.
        Reply snapshot;
        QTRY_VERIFY_WITH_TIMEOUT((snapshot = get("/snapshot.jpg", right)).code == 200,
                                 TestData::Bound);
        QVERIFY(snapshot.body.startsWith("\xff\xd8") && snapshot.body.endsWith("\xff\xd9"));
        QVERIFY(snapshot.headers.contains("Content-Type: image/jpeg"));

        // Five wrong passwords in a minute from one address (here
        // 127.0.0.2): it is shut out, the right password included; other
        // addresses are not.
        const QStringList other{"--interface", "127.0.0.2"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(
                get("/api/status", other + QStringList{"-u", "x:guess" + QString::number(i)}).code,
                401);
        QCOMPARE(get("/api/status", other + right).code, 200);
        QCOMPARE(get("/api/status", other + QStringList{"-u", "x:guess4"}).code, 401);
        QCOMPARE(get("/api/status", other + right).code, 429);
        QCOMPARE(get("/live.mjpg", other + right).code, 429);
        QCOMPARE(get("/api/status", right).code, 200);
        QCOMPARE(program.process.state(), QProcess::Running);
    }

    // The page in Debian's headless chromium against the real program: the
    // live picture, Arm and Record as the state shows them, a recording
    // played in the page, and a phone's screen that nothing reaches past.
    void theWebPageInChromium() {
        if (QStandardPaths::findExecutable("chromium").isEmpty())
            QSKIP("chromium is not installed; scripts/install-deps installs it");
        // Debian's python3, which has Debian's selenium.
        QString python = QStandardPaths::findExecutable("python3", {"/usr/bin"});
        if (python.isEmpty())
            python = QStandardPaths::findExecutable("python3");
        QVERIFY2(!QStandardPaths::findExecutable("chromedriver").isEmpty(),
                 "chromium-driver is not installed");
        WebProgram program;
        QVERIFY(program.start(m_home, "w3bPass7"));
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(program.certificate) &&
                curl(program.certificate, program.port, "/snapshot.jpg", {"-u", "anyone:w3bPass7"})
                        .code == 200,
            TestData::Bound);
        QProcess driver;
        driver.setProcessChannelMode(QProcess::MergedChannels);
        driver.start(python, {QStringLiteral(SENTORIX_WEB_PAGE_DRIVER),
                              QString::number(program.port), QStringLiteral("w3bPass7")});
        QVERIFY(driver.waitForFinished(5 * 60000));
        // Shown whole before the verdict: a failure message would be cut short.
        qInfo("%s", driver.readAll().constData());
        QVERIFY(driver.exitStatus() == QProcess::NormalExit && driver.exitCode() == 0);
    }

    // The Web Access dialog from its menu entry puts its values in force at
    // once: the page moves to the new port and takes only the new password,
    // an empty password ends it, and a port that is taken is said in the
    // dialog, which stays open, while the values are kept. It shows the
    // fingerprint of the certificate in use, or to be used, as openssl
    // reads it.
    void theWebAccessDialog() {
        start();
        struct Seen {
            QString fingerprint; // before OK
            QString status;      // after OK
            bool open = false;   // after OK
        };
        const auto viaDialog = [this](const QString& password, int port) {
            Seen seen;
            ModalDialog::whenOpen(
                [&](QDialog* d) {
                    d->findChild<QLineEdit*>(QStringLiteral("Password"))->setText(password);
                    d->findChild<QSpinBox*>(QStringLiteral("Port"))->setValue(port);
                    seen.fingerprint = d->findChild<QLabel*>(QStringLiteral("Fingerprint"))
                                           ->text()
                                           .replace(u'\n', u':');
                    d->findChild<QPushButton*>(QStringLiteral("OK"))->click();
                    seen.status = d->findChild<QLabel*>(QStringLiteral("Status"))->text();
                    seen.open = d->isVisible();
                },
                false);
            m_run->form.menus().mnuWeb->trigger();
            return seen;
        };
        const QString certificate = m_home.path(QStringLiteral("sentorix-web.crt"));
        const auto code = [&](int port, const QString& password) {
            return curl(certificate, port, "/api/status", {"-u", "x:" + password}).code;
        };
        const int first = freePort();
        int second = freePort();
        while (second == first)
            second = freePort();

        Seen seen = viaDialog("Old1pass", first);
        QCOMPARE(seen.status + (seen.open ? " open" : " closed"),
                 QStringLiteral("Served on port %1. closed").arg(first));
        QCOMPARE(code(first, "Old1pass"), 200);

        // OK with nothing changed keeps serving: a viewer is not cut.
        {
            LiveViewer viewer;
            QVERIFY(viewer.start(certificate, first, "x:Old1pass"));
            QTRY_VERIFY_WITH_TIMEOUT(viewer.frames() > 0, TestData::Bound);
            QCOMPARE(viaDialog("Old1pass", first).status,
                     QStringLiteral("Served on port %1.").arg(first));
            const qsizetype before = viewer.frames();
            QTRY_VERIFY_WITH_TIMEOUT(!viewer.watching() || viewer.frames() > before + 3,
                                     TestData::Bound);
            QVERIFY(viewer.watching());
        }

        seen = viaDialog("New2pass", second);
        QProcess openssl;
        openssl.start("openssl", {"x509", "-in", certificate, "-noout", "-fingerprint", "-sha256"});
        QVERIFY(openssl.waitForFinished(TestData::Bound));
        const QString expected =
            QString::fromLatin1(openssl.readAllStandardOutput()).section(u'=', 1).trimmed();
        QVERIFY(expected.count(u':') == 31);
        QCOMPARE(seen.fingerprint, expected);
        QCOMPARE(code(second, "New2pass"), 200);
        QCOMPARE(code(second, "Old1pass"), 401);
        QCOMPARE(code(first, "Old1pass"), 0); // nobody listens there now
        const SettingsStore store(m_home.configPath());
        QCOMPARE(store.read("WEB", "Password", "") + ' ' + store.read("WEB", "Port", ""),
                 PublicStuff::ScramblePassword("New2pass") + ' ' + QString::number(second));

        seen = viaDialog("", second);
        QCOMPARE(seen.status + (seen.open ? " open" : " closed"), "Off: no password. closed");
        QTRY_COMPARE_WITH_TIMEOUT(code(second, "New2pass"), 0, TestData::Bound);

        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::AnyIPv4, 0));
        seen = viaDialog("New2pass", taken.serverPort());
        QCOMPARE(seen.fingerprint, expected); // shown while off too: the one to be used
        QCOMPARE(seen.status + (seen.open ? " open" : " closed"),
                 QStringLiteral("Not served: port %1 cannot be had. open").arg(taken.serverPort()));
        QCOMPARE(store.read("WEB", "Port", ""), QString::number(taken.serverPort()));
        QCOMPARE(viaDialog("New2pass", second).status,
                 QStringLiteral("Served on port %1.").arg(second));
        QCOMPARE(code(second, "New2pass"), 200);
    }

    // Many TLS clients that send their request a byte a second, more than
    // the server has connections for: the live picture already being
    // watched keeps coming, the slow clients are cut, and a new request is
    // answered after them.
    void theWebServerOutlastsSlowClients() {
        WebProgram program;
        QVERIFY(program.start(m_home, "w3bPass7"));
        const QStringList right{"-u", "anyone:w3bPass7"};
        QTRY_VERIFY_WITH_TIMEOUT(
            curl(program.certificate, program.port, "/snapshot.jpg", right).code == 200,
            TestData::Bound);

        LiveViewer viewer;
        QVERIFY(viewer.start(program.certificate, program.port, "anyone:w3bPass7"));
        const auto frames = [&viewer] { return viewer.frames(); };
        QTRY_VERIFY_WITH_TIMEOUT(frames() > 0, TestData::Bound);

        constexpr int Slow = 24;
        std::vector<std::unique_ptr<QSslSocket>> slow;
        for (int i = 0; i < Slow; ++i) {
            auto s = std::make_unique<QSslSocket>();
            s->setPeerVerifyMode(QSslSocket::VerifyNone);
            s->connectToHostEncrypted(QStringLiteral("127.0.0.1"), quint16(program.port));
            slow.push_back(std::move(s));
        }
        const QByteArray request =
            "GET /api/status HTTP/1.1\r\nHost: x\r\nX-Slow: " + QByteArray(200, 'a') + "\r\n\r\n";
        int sent = 0;
        QTimer drip;
        QObject::connect(&drip, &QTimer::timeout, &drip, [&] {
            for (auto& s : slow)
                if (s->isEncrypted() && sent < request.size())
                    s->write(request.mid(sent, 1));
            ++sent;
        });
        drip.start(1000);
        QTRY_VERIFY_WITH_TIMEOUT(std::count_if(slow.begin(), slow.end(),
                                               [](const auto& s) { return s->isEncrypted(); }) >= 8,
                                 TestData::Bound);

        // While they drip, frames keep coming, ten seconds' worth at least
        // at the scene's rate of several a second.
        const qsizetype before = frames();
        QDeadlineTimer tenSeconds(10000);
        QTRY_VERIFY_WITH_TIMEOUT(tenSeconds.hasExpired(), 20000);
        QVERIFY2(frames() - before >= 10, qPrintable(QString::number(frames() - before)));

        // The slow ones are cut long before their request could end, and
        // the owner is answered.
        QTRY_VERIFY_WITH_TIMEOUT(std::none_of(slow.begin(), slow.end(),
                                              [](const auto& s) {
                                                  return s->state() ==
                                                         QAbstractSocket::ConnectedState;
                                              }),
                                 TestData::Bound);
        QVERIFY(sent < request.size());
        QCOMPARE(curl(program.certificate, program.port, "/api/status", right).code, 200);
        QVERIFY(viewer.watching());
        const qsizetype later = frames();
        QTRY_VERIFY_WITH_TIMEOUT(frames() > later, TestData::Bound);
        viewer.process.kill();
        viewer.process.waitForFinished();

        // A fast client with megabytes of header lines is cut before its
        // request ends, not answered after the server has held them all.
        QSslSocket fat;
        fat.setPeerVerifyMode(QSslSocket::VerifyNone);
        fat.connectToHostEncrypted(QStringLiteral("127.0.0.1"), quint16(program.port));
        QVERIFY(fat.waitForEncrypted(TestData::Bound));
        QByteArray headers = "GET /api/status HTTP/1.1\r\nHost: x\r\n";
        for (int i = 0; i < 40000; ++i)
            headers += "X-Fill-" + QByteArray::number(i) + ": " + QByteArray(100, 'a') + "\r\n";
        fat.write(headers + "\r\n");
        QByteArray answer;
        QTRY_VERIFY_WITH_TIMEOUT(
            (answer += fat.readAll(), fat.state() == QAbstractSocket::UnconnectedState),
            TestData::Bound);
        QVERIFY2(!answer.contains("HTTP/1.1"), answer.left(100).constData());
    }
};

QTEST_MAIN(tst_TelnetConsole)
#include "tst_telnetconsole.moc"
