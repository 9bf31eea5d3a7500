// The mail control against a real SMTP server on 127.0.0.1.
#include "SmtpControl.h"
#include "SmtpServer.h"
#include "TestData.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

using Mode = SmtpServer::Mode;

class tst_SmtpControl final : public QObject {
    Q_OBJECT

    // A mail to ann@example.org, driven the way the program drives it
    // (SendMessage on Connected), its events noted in `events`.
    static std::unique_ptr<SmtpControl> send(const QString& server, int timeoutMs,
                                             QStringList& events) {
        auto smtp = std::make_unique<SmtpControl>();
        SmtpControl* s = smtp.get();
        s->Server = server;
        s->ToAddress = s->FromAddress = QStringLiteral("ann@example.org");
        s->Body = QStringLiteral("Camera");
        s->Timeout = std::chrono::milliseconds(timeoutMs);
        connect(s, &SmtpControl::Connected, s, [s, &events] {
            events << "Connected";
            s->SendMessage();
        });
        connect(s, &SmtpControl::SendComplete, s, [&events] { events << "SendComplete"; });
        connect(s, &SmtpControl::SendError, s,
                [&events](int, const QString& why) { events << "SendError: " + why; });
        s->Connect();
        return smtp;
    }
    // Dropping the control never waits for the server.
    static void drop(std::unique_ptr<SmtpControl>& smtp) {
        QElapsedTimer t;
        t.start();
        smtp.reset();
        QVERIFY2(t.elapsed() < 200, qPrintable(QString::number(t.elapsed())));
    }

private Q_SLOTS:
    // The forms a real server is not needed for; the others are rows below.
    void serverUrl() {
        QCOMPARE(SmtpControl::serverUrl("mail.example.org") + u'|' + SmtpControl::serverUrl("::1") +
                     u'|' + SmtpControl::serverUrl("  "),
                 "smtp://mail.example.org|smtp://[::1]|");
    }

    // The events of a mail, in order (a pattern, ';' between events), for
    // each way a server answers; the message itself is checked where the
    // program fills it in. The server text has %1 for the test server's
    // "127.0.0.1:port". A server that stops answering ends the mail within
    // the whole-mail limit, and dropping the control, after the outcome or
    // while the server keeps the next mail waiting, never waits for it. No
    // mail keeps a descriptor or a thread once it has ended.
    void mail_data() {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("saved");
        QTest::addColumn<QString>("events");
        const QString sent = "Connected;SendComplete";
        QTest::newRow("URL") << Mode::Accept << " smtp://%1 " << 1 << sent;
        // A login goes only over an encrypted connection.
        QTest::newRow("login") << Mode::Auth << "smtp://ann:pa55@%1" << 0
                               << "SendError: .*no encryption.*";
        QTest::newRow("refused recipient")
            << Mode::RefuseRecipient << "%1" << 0 << "Connected;SendError: .*550.*";
        QTest::newRow("closed port") << Mode::Closed << "%1" << 0 << "SendError: .*connect.*";
        QTest::newRow("no server") << Mode::Closed << " " << 0 << "SendError: No mail server given";
        QTest::newRow("silent after connect")
            << Mode::Silent << "%1" << 0 << "SendError: Timeout.*";
        QTest::newRow("silent after the message")
            << Mode::StallAfterData << "%1" << 1 << "Connected;SendError: Timeout.*";
        QTest::newRow("silent at QUIT") << Mode::StallAtQuit << "%1" << 1 << sent;
    }
    void mail() {
        QFETCH(Mode, mode);
        QFETCH(QString, server);
        const int timeoutMs =
            mode == Mode::Silent || mode == Mode::StallAfterData || mode == Mode::StallAtQuit
                ? 1500
                : 20000;
        QFETCH(QString, events);
        QFETCH(int, saved);
        SmtpServer smtpServer(mode);
        QVERIFY(smtpServer.isRunning());
        const TestData::Holdings before = TestData::Holdings::of();
        server.replace("%1", smtpServer.address());
        QStringList got;
        QElapsedTimer t;
        t.start();
        std::unique_ptr<SmtpControl> smtp = send(server, timeoutMs, got);
        QTRY_VERIFY_WITH_TIMEOUT(!got.isEmpty() && got.last() != "Connected", TestData::Bound);
        QVERIFY2(t.elapsed() < timeoutMs + 1000, qPrintable(QString::number(t.elapsed())));
        QVERIFY2(QRegularExpression('^' + events + '$').match(got.join(u';')).hasMatch(),
                 qPrintable(got.join(u';')));
        QCOMPARE(smtpServer.seen("login"), 0);
        drop(smtp);
        QCOMPARE(smtpServer.messages().size(), saved);
        if (timeoutMs < 2000) { // a second mail, dropped while the server keeps it waiting
            smtp = send(server, timeoutMs, got);
            QTRY_COMPARE_WITH_TIMEOUT(smtpServer.seen("stall"), 2, TestData::Bound);
            drop(smtp);
        }
        // An abandoned worker ends on its own, a finished one after QUIT.
        QTRY_VERIFY2_WITH_TIMEOUT(TestData::Holdings::of().grownSince(before).isEmpty(),
                                  qPrintable(TestData::Holdings::of().grownSince(before)),
                                  TestData::Bound);
    }
};

QTEST_GUILESS_MAIN(tst_SmtpControl)
#include "tst_smtpcontrol.moc"
