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

namespace {

// A rig with the mail wired to it the way the window wires it.
struct MailRig {
    SurveillanceRig rig;
    JpegLibrary library;
    JpegSnapshot snapshot{library};
    QStringList logRows;
    QList<bool> outcomes;
    MailNotification mail{rig.stuff,
                          rig.panels,
                          rig.surveillance,
                          snapshot,
                          {[] { return std::optional<QString>(QString::fromUtf8("Pörch <cam>")); },
                           [this](const QString& a, const QString& b, const QString& c) {
                               logRows << a + u'|' + b + u'|' + c;
                           }}};
    explicit MailRig(const QString& server) {
        rig.stuff.EMail = QStringLiteral("ann@example.org");
        rig.stuff.SMTPServer = server;
        QObject::connect(&mail, &MailNotification::mailFinished, &mail,
                         [this](bool sent) { outcomes << sent; });
    }
    // What the engine does when the ending period is over.
    void mailRequested() {
        rig.surveillance.Timer1.stop();
        Q_EMIT rig.surveillance.mailRequested(QStringLiteral("12/6/2026 9:05:07 AM"));
    }
};

} // namespace

class tst_MailNotification final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        // The dates in the rows and the body are in the locale's form.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    // A first mail as the row says, then a second to a server that accepts
    // it: each mail has its own control, and neither a failure nor a server
    // that stops answering keeps the recorder in MAILING or holds the event
    // loop.
    void mail_data() {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<int>("timeType");
        QTest::addColumn<bool>("armed");
        QTest::addColumn<bool>("snapshot");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QStringList>("panels"); // after the first and the second mail
        const QString sent = QStringLiteral("Mail sent to ann@example\\.org\\|$");
        QTest::newRow("fixed time")
            << Mode::Accept << 2 << true << true << sent << QStringList{"RECORDED", "RECORDED"};
        QTest::newRow("no snapshot, disarmed meanwhile")
            << Mode::Accept << 1 << false << false << sent << QStringList{"STANDBY", "STANDBY"};
        QTest::newRow("refused") << Mode::RefuseRecipient << 2 << true << true
                                 << "Error sending mail: .*550.*\\|$"
                                 << QStringList{"STANDBY", "RECORDED"};
        QTest::newRow("server silent")
            << Mode::Silent << 1 << true << true << "Error sending mail: .*Timeout.*\\|$"
            << QStringList{"STANDBY", "STANDBY"};
    }
    void mail() {
        QFETCH(Mode, mode);
        QFETCH(int, timeType);
        QFETCH(bool, armed);
        QFETCH(bool, snapshot);
        QFETCH(QString, log);
        QFETCH(QStringList, panels);
        SmtpServer server(mode);
        SmtpServer accepting;
        QVERIFY(server.isRunning() && accepting.isRunning());
        MailRig m(server.address());
        const QString vidPath = m.rig.stuff.VidPath;
        QVERIFY(!snapshot || TestData::gradient(64, 48).save(vidPath + "StillShot.dib", "BMP"));
        m.rig.stuff.TimeType = StopMode(timeType);
        // A recording that a mail follows, begun and ended by hand: no camera,
        // so the snapshot on disk is the test's own.
        m.rig.surveillance.mnuStart_Click();
        m.rig.surveillance.forceRecording();
        m.rig.examine(std::vector<std::uint8_t>(4096));
        m.rig.surveillance.Timer2_Timer();
        m.rig.surveillance.mnuSuspend_Click();
        if (!armed)
            m.rig.surveillance.mnuStart_Click();
        QCOMPARE(m.rig.surveillance.SnapshotDibFile(), vidPath + "StillShot.dib");
        m.rig.panels.setText(Panel::Deviation, "1.00%  (4%)");
        m.mail.Timeout = mode == Mode::Silent ? 1500ms : 20000ms;
        // The event loop is never held: the longest gap between ticks.
        QElapsedTimer sinceTick;
        qint64 longestGapMs = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &tick,
                         [&] { longestGapMs = std::max(longestGapMs, sinceTick.restart()); });
        sinceTick.start();
        tick.start(20);

        m.mailRequested();
        QCOMPARE(QStringList({m.rig.text(Panel::Deviation), m.rig.text(Panel::State),
                              m.rig.text(Panel::BaseRefresh)}),
                 QStringList({"n/a", "MAILING", "n/a"}));
        const QPointer<SmtpControl> first = m.mail.SMTP();
        QVERIFY(first != nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(m.outcomes.size(), 1, 20000);
        QVERIFY(m.outcomes.first() == (mode == Mode::Accept) && m.mail.SMTP() == nullptr);
        QCOMPARE(m.rig.text(Panel::State), panels[0]);
        QCOMPARE(m.rig.surveillance.Timer1.isActive(), armed);
        // The rig's clock stands still, so the times are exact.
        QCOMPARE(m.logRows.size(), 1);
        QVERIFY2(
            QRegularExpression("^12/6/2026 9:05:07 AM\\|" + log).match(m.logRows[0]).hasMatch(),
            qPrintable(m.logRows[0]));
        QTRY_VERIFY(first.isNull()); // removed once it has reported

        m.rig.stuff.SMTPServer = accepting.address();
        m.mailRequested();
        QTRY_COMPARE_WITH_TIMEOUT(m.outcomes.size(), 2, 20000);
        QVERIFY(m.outcomes.last());
        QCOMPARE(m.rig.text(Panel::State), panels[1]);
        QCOMPARE(m.rig.surveillance.Timer1.isActive(), armed);
        QVERIFY2(longestGapMs < 1000, qPrintable(QString::number(longestGapMs)));

        QCOMPARE(server.messages().size(), mode == Mode::Accept ? 1 : 0);
        QCOMPARE(accepting.messages().size(), 1);
        QJsonObject mail = accepting.messages().first();
        QJsonObject headers = mail["headers"].toObject();
        QCOMPARE(QDateTime::fromString(headers.take("Date").toString(), Qt::RFC2822Date),
                 m.rig.clock);
        QVERIFY(headers.take("Message-ID").toString().endsWith("@example.org>"));
        QVERIFY(headers.take("Content-Type").toString().startsWith("multipart/mixed; boundary="));
        mail["headers"] = headers;
        // The JPEG made from the snapshot.
        const QJsonObject jpeg{
            {"filename", "StillShot.jpg"},
            {"type", "image/jpeg"},
            {"encoding", "base64"},
            {"data",
             QString::fromLatin1(TestData::readFile(vidPath + "StillShot.jpg").toBase64())}};
        QCOMPARE(
            mail,
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
                 {"attachments", snapshot ? QJsonArray({jpeg}) : QJsonArray()},
                 {"raw_lines_ok", true}}));
    }
};

QTEST_MAIN(tst_MailNotification)
#include "tst_mailnotification.moc"
