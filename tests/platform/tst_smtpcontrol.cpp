// The mail control against a real SMTP server on 127.0.0.1.
#include "SmtpControl.h"
#include "SmtpServer.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

using Mode = SmtpServer::Mode;

namespace {

// A mail to ann@example.org, driven the way the program drives it
// (SendMessage on Connected), noting its events in order, an error with
// its description.
struct Mail : QStringList {
    std::unique_ptr<SmtpControl> smtp = std::make_unique<SmtpControl>();
    explicit Mail(const QString& server) {
        smtp->Server = server;
        smtp->ToAddress = smtp->FromAddress = QStringLiteral("ann@example.org");
        smtp->Body = QStringLiteral("Camera");
        QObject::connect(smtp.get(), &SmtpControl::Connected, smtp.get(), [this] {
            append("Connected");
            smtp->SendMessage();
        });
        QObject::connect(smtp.get(), &SmtpControl::SendComplete, smtp.get(),
                         [this] { append("SendComplete"); });
        QObject::connect(smtp.get(), &SmtpControl::SendError, smtp.get(),
                         [this](int, const QString& why) { append("SendError: " + why); });
    }
    bool finished() const { return !isEmpty() && last() != "Connected"; }
    // Dropping the control never waits for the server.
    void drop() {
        QElapsedTimer t;
        t.start();
        smtp.reset();
        QVERIFY2(t.elapsed() < 200, qPrintable(QString::number(t.elapsed())));
    }
};

} // namespace

class tst_SmtpControl final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The forms a real server is not needed for; the others are rows below.
    void serverUrl() {
        QCOMPARE(SmtpControl::serverUrl("mail.example.org"), "smtp://mail.example.org");
        QCOMPARE(SmtpControl::serverUrl("::1"), "smtp://[::1]");
        QCOMPARE(SmtpControl::serverUrl("  "), "");
    }

    // The events of a mail, in order, for each way a server answers; the
    // message itself is checked where the program fills it in. The server
    // text has %1 for the test server's "127.0.0.1:port". A server that stops
    // answering ends the mail within the whole-mail limit, and dropping the
    // control, after the outcome or while the server keeps the next mail
    // waiting, never waits for the server.
    void mail_data() {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QStringList>("events"); // patterns, in order
        QTest::addColumn<int>("saved");
        const QStringList sent{"Connected$", "SendComplete$"};
        const QString timeout = QStringLiteral("SendError: Timeout");
        QTest::newRow("host:port") << Mode::Accept << " %1 " << 20000 << sent << 1;
        QTest::newRow("URL") << Mode::Accept << "smtp://%1" << 20000 << sent << 1;
        // A login goes only over an encrypted connection.
        QTest::newRow("login without encryption")
            << Mode::Auth << "smtp://ann:pa55@%1" << 20000
            << QStringList{"SendError: .*offers no encryption"} << 0;
        QTest::newRow("refused recipient") << Mode::RefuseRecipient << "%1" << 20000
                                           << QStringList{"Connected$", "SendError: .*550"} << 0;
        QTest::newRow("closed port")
            << Mode::Closed << "%1" << 20000 << QStringList{"SendError: .*connect"} << 0;
        QTest::newRow("no server")
            << Mode::Closed << " " << 20000 << QStringList{"SendError: No mail server given$"} << 0;
        QTest::newRow("silent after connect")
            << Mode::Silent << "%1" << 1500 << QStringList{timeout} << 0;
        QTest::newRow("silent after the message")
            << Mode::StallAfterData << "%1" << 1500 << QStringList{"Connected$", timeout} << 1;
        QTest::newRow("silent at QUIT") << Mode::StallAtQuit << "%1" << 1500 << sent << 1;
    }
    void mail() {
        QFETCH(Mode, mode);
        QFETCH(QString, server);
        QFETCH(int, timeoutMs);
        QFETCH(QStringList, events);
        QFETCH(int, saved);
        SmtpServer smtpServer(mode);
        QVERIFY(smtpServer.isRunning());
        const QString serverText = QString(server).replace("%1", smtpServer.address());
        Mail got(serverText);
        got.smtp->Timeout = std::chrono::milliseconds(timeoutMs);
        QElapsedTimer t;
        t.start();
        got.smtp->Connect();
        QTRY_VERIFY_WITH_TIMEOUT(got.finished(), 20000);
        QVERIFY2(t.elapsed() < timeoutMs + 1000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(got.size(), events.size());
        for (qsizetype i = 0; i < got.size(); ++i)
            QVERIFY2(QRegularExpression('^' + events[i]).match(got[i]).hasMatch(),
                     qPrintable(got[i]));
        QCOMPARE(smtpServer.seen("login"), 0);
        got.drop();
        QCOMPARE(smtpServer.messages().size(), saved);
        if (timeoutMs < 2000) { // a second mail, dropped while the server keeps it waiting
            Mail again(serverText);
            again.smtp->Connect();
            QTRY_COMPARE_WITH_TIMEOUT(smtpServer.seen("stall"), 2, 10000);
            again.drop();
        }
    }
};

QTEST_GUILESS_MAIN(tst_SmtpControl)
#include "tst_smtpcontrol.moc"
