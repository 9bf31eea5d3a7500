// The notification mail from the engine's state to the log row, against a
// real SMTP server on 127.0.0.1.
#include "JpegLibrary.h"
#include "JpegSnapshot.h"
#include "MailNotification.h"
#include "SmtpServer.h"
#include "SurveillanceRig.h"
#include "TestData.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;
using Mode = SmtpServer::Mode;

class tst_MailNotification final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // A first mail as the row says, then a second to a server that accepts
    // it: each mail has its own control, and neither a failure nor a server
    // that stops answering keeps the recorder in MAILING or holds the event
    // loop, and neither mail keeps a descriptor or a thread.
    void mail_data() {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<int>("timeType");
        QTest::addColumn<bool>("armed"); // and a snapshot taken
        QTest::addColumn<QString>("log");
        QTest::addColumn<QStringList>("panels"); // after the first and the second mail
        QTest::newRow("no snapshot, disarmed meanwhile")
            << Mode::Accept << 1 << false << "Mail sent to ann@example\\.org\\|$"
            << QStringList{"STANDBY", "STANDBY"};
        QTest::newRow("refused") << Mode::RefuseRecipient << 2 << true
                                 << "Error sending mail: .*550.*\\|$"
                                 << QStringList{"STANDBY", "RECORDED"};
        QTest::newRow("server silent")
            << Mode::Silent << 1 << true << "Error sending mail: .*Timeout.*\\|$"
            << QStringList{"STANDBY", "STANDBY"};
    }
    void mail() {
        QFETCH(Mode, mode);
        QFETCH(int, timeType);
        QFETCH(bool, armed);
        QFETCH(QString, log);
        QFETCH(QStringList, panels);
        SmtpServer server(mode);
        SmtpServer accepting;
        QVERIFY(server.isRunning() && accepting.isRunning());
        // The mail wired to the engine the way the window wires it.
        SurveillanceRig rig;
        JpegLibrary library;
        JpegSnapshot snapshot(library);
        QStringList logRows;
        QList<bool> outcomes;
        MailNotification mail(
            rig.stuff, rig.panels, rig.surveillance, snapshot,
            {[] { return std::optional<QString>(QString::fromUtf8("Pörch <cam>")); },
             [&](const QString& a, const QString& b, const QString& c) {
                 logRows << a + u'|' + b + u'|' + c;
             }});
        QObject::connect(&mail, &MailNotification::mailFinished, &mail,
                         [&](bool sent) { outcomes << sent; });
        mail.Timeout = mode == Mode::Silent ? 1500ms : 20000ms;
        rig.stuff.EMail = QStringLiteral("ann@example.org");
        rig.stuff.SMTPServer = server.address();
        rig.stuff.TimeType = StopMode(timeType);
        const QString vidPath = rig.stuff.VidPath;
        QVERIFY(!armed || TestData::gradient(64, 48).save(vidPath + "StillShot.dib", "BMP"));
        // A recording that a mail follows, begun and ended by hand: no camera,
        // so the snapshot on disk is the test's own.
        rig.surveillance.mnuStart_Click();
        rig.surveillance.forceRecording();
        rig.examine(std::vector<std::uint8_t>(4096));
        rig.surveillance.Timer2_Timer();
        rig.surveillance.mnuSuspend_Click();
        if (!armed)
            rig.surveillance.mnuStart_Click();
        rig.panels.setText(Panel::Deviation, "1.00%  (4%)");
        // What the engine does when the ending period is over.
        const auto mailRequested = [&rig] {
            rig.surveillance.Timer1.stop();
            Q_EMIT rig.surveillance.mailRequested(QStringLiteral("12/6/2026 9:05:07 AM"));
        };
        // The event loop is never held: the longest gap between ticks.
        QElapsedTimer sinceTick;
        qint64 longestGapMs = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &tick,
                         [&] { longestGapMs = std::max(longestGapMs, sinceTick.restart()); });
        sinceTick.start();
        tick.start(20);
        const TestData::Holdings before = TestData::Holdings::of();

        mailRequested();
        QCOMPARE(QStringList({rig.text(Panel::Deviation), rig.text(Panel::State),
                              rig.text(Panel::BaseRefresh)}),
                 QStringList({"n/a", "MAILING", "n/a"}));
        const QPointer<SmtpControl> first = mail.SMTP();
        QVERIFY(first != nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 1, TestData::Bound);
        QVERIFY(outcomes.first() == (mode == Mode::Accept) && mail.SMTP() == nullptr);
        QCOMPARE(rig.text(Panel::State), panels[0]);
        QCOMPARE(rig.surveillance.Timer1.isActive(), armed);
        // The rig's clock stands still, so the times are exact.
        QCOMPARE(logRows.size(), 1);
        QVERIFY2(QRegularExpression("^12/6/2026 9:05:07 AM\\|" + log).match(logRows[0]).hasMatch(),
                 qPrintable(logRows[0]));
        QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), TestData::Bound); // removed once it has reported

        rig.stuff.SMTPServer = accepting.address();
        mailRequested();
        QTRY_COMPARE_WITH_TIMEOUT(outcomes.size(), 2, TestData::Bound);
        QVERIFY(outcomes.last());
        QCOMPARE(rig.text(Panel::State), panels[1]);
        QCOMPARE(rig.surveillance.Timer1.isActive(), armed);
        QVERIFY2(longestGapMs < 1000, qPrintable(QString::number(longestGapMs)));
        QTRY_VERIFY2_WITH_TIMEOUT(TestData::Holdings::of().grownSince(before).isEmpty(),
                                  qPrintable(TestData::Holdings::of().grownSince(before)),
                                  TestData::Bound);

        QCOMPARE(server.messages().size(), mode == Mode::Accept ? 1 : 0);
        QCOMPARE(accepting.messages().size(), 1);
        QJsonObject message = accepting.messages().first();
        QJsonObject headers = message["headers"].toObject();
        QCOMPARE(QDateTime::fromString(headers.take("Date").toString(), Qt::RFC2822Date),
                 rig.clock);
        QVERIFY(headers.take("Message-ID").toString().endsWith("@example.org>"));
        QVERIFY(headers.take("Content-Type").toString().startsWith("multipart/mixed; boundary="));
        message["headers"] = headers;
        const QJsonObject jpeg{
            {"filename", "StillShot.jpg"},
            {"type", "image/jpeg"},
            {"encoding", "base64"},
            {"data",
             QString::fromLatin1(TestData::readFile(vidPath + "StillShot.jpg").toBase64())}};
        QCOMPARE(
            message,
            QJsonObject(
                {{"mail_from", "ann@example.org"},
                 {"rcpt_tos", QJsonArray({"ann@example.org"})},
                 {"headers", QJsonObject({{"From", "\"Sentorix (DO NOT REPLY)\" <ann@example.org>"},
                                          {"To", "<ann@example.org>"},
                                          {"Subject", "Sentorix - Recording Note"},
                                          {"MIME-Version", "1.0"}})},
                 {"html",
                  QString::fromUtf8("The following camera captured a video stream:<BR><BR><B>Pörch "
                                    "<cam></B><BR>From <U>12/6/2026 9:05:07 AM</U> to <U>12/6/2026 "
                                    "9:05:07 AM</U><BR><BR>Please have a look at the attached "
                                    "picture.<BR><BR><BR>Greetings<BR>Sentorix<BR>Version "
                                    "1.0<BR><BR>")},
                 {"html_type", "text/html; charset=UTF-8; base64"},
                 {"attachments", armed ? QJsonArray({jpeg}) : QJsonArray()},
                 {"raw_lines_ok", true}}));
    }
};

QTEST_MAIN(tst_MailNotification)
#include "tst_mailnotification.moc"
