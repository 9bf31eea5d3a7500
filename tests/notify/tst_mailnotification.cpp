// The notification mail from the engine's state to the log row, against a
// real SMTP server on 127.0.0.1.
#include "JpegLibrary.h"
#include "JpegProbe.h"
#include "JpegSnapshot.h"
#include "MailNotification.h"
#include "SmtpServer.h"
#include "SurveillanceRig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

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
                          {[] { return std::optional<QString>(QStringLiteral("Porch <cam>")); },
                           [this](const QString& a, const QString& b, const QString& c) {
                               logRows << a + u'|' + b + u'|' + c;
                           }}};
    explicit MailRig(const QString& vidPath, const QString& server) {
        rig.stuff.VidPath = vidPath;
        rig.stuff.EMail = QStringLiteral("ann@example.org");
        rig.stuff.SMTPServer = server;
        rig.surveillance.SnapshotDibFile = vidPath + QStringLiteral("StillShot.dib");
        QObject::connect(&mail, &MailNotification::mailFinished, &mail,
                         [this](bool sent) { outcomes << sent; });
    }
};

} // namespace

class tst_MailNotification final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString vidPath() const { return m_dir.path() + u'/'; }
    void writeSnapshot() {
        QImage picture(64, 48, QImage::Format_RGB888);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixelColor(x, y, QColor(x * 4, y * 5, 128));
        QVERIFY(picture.save(vidPath() + "StillShot.dib", "BMP"));
    }

private Q_SLOTS:
    void initTestCase() {
        // The dates in the rows and the body are in the locale's form.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void init() {
        QFile::remove(vidPath() + "StillShot.dib");
        QFile::remove(vidPath() + "StillShot.jpg");
    }

    void messageAsSpecified() {
        QCOMPARE(MailNotification::subject(), QStringLiteral("Sentorix - Recording Note"));
        QCOMPARE(MailNotification::fromName(), QStringLiteral("Sentorix (DO NOT REPLY)"));
        QCOMPARE(MailNotification::body("Cam", "a", "b"),
                 QStringLiteral("The following camera captured a video stream:<BR><BR><B>Cam</B>"
                                "<BR>From <U>a</U> to <U>b</U><BR><BR>Please have a look at the "
                                "attached picture.<BR><BR><BR>Greetings<BR>Sentorix<BR>Version "
                                "1.0<BR><BR>"));
    }

    void sentMailEndsByTimeType_data() {
        QTest::addColumn<int>("timeType");
        QTest::addColumn<QString>("after");
        QTest::newRow("end of activity") << 1 << "STANDBY";
        QTest::newRow("fixed time") << 2 << "RECORDED";
    }
    void sentMailEndsByTimeType() {
        QFETCH(int, timeType);
        QFETCH(QString, after);
        SmtpServer server;
        QVERIFY(server.isRunning());
        writeSnapshot();
        MailRig m(vidPath(), server.address());
        m.rig.stuff.TimeType = std::int16_t(timeType);
        m.rig.surveillance.SurveillanceOn = true;
        m.rig.panels.setText(1, "1.00%  (4%)");

        m.mail.SendMail(QStringLiteral("12/6/2026 9:05:07 AM"));
        QVERIFY(m.rig.surveillance.Mailing);
        QCOMPARE(m.rig.panels.text(1), QStringLiteral("n/a"));
        QCOMPARE(m.rig.panels.text(2), QStringLiteral("MAILING"));
        QCOMPARE(m.rig.panels.text(3), QStringLiteral("n/a"));
        QVERIFY(m.mail.SMTP() != nullptr);
        QCOMPARE(m.mail.SMTP()->objectName(), QStringLiteral("SMTP"));
        QTRY_COMPARE_WITH_TIMEOUT(m.outcomes.size(), 1, 20000);

        QCOMPARE(m.outcomes, QList<bool>{true});
        QVERIFY(m.mail.SMTP() == nullptr);
        QVERIFY(!m.rig.surveillance.Mailing);
        QCOMPARE(m.rig.panels.text(2), after);
        QVERIFY(m.rig.surveillance.Timer1.isActive());
        // The rig's clock stands still, so the times are exact.
        QCOMPARE(m.logRows, QStringList{"12/6/2026 9:05:07 AM|Mail sent to ann@example.org|"});

        const QList<QJsonObject> got = server.messages();
        QCOMPARE(got.size(), 1);
        const QJsonObject mail = got.first();
        QCOMPARE(mail["subject"].toString(), MailNotification::subject());
        QCOMPARE(mail["from_name"].toString(), MailNotification::fromName());
        QCOMPARE(mail["from_address"].toString(), QStringLiteral("ann@example.org"));
        QCOMPARE(mail["to"].toArray(), QJsonArray({"ann@example.org"}));
        QCOMPARE(mail["html"].toString(),
                 QStringLiteral("The following camera captured a video stream:<BR><BR><B>Porch "
                                "<cam></B><BR>From <U>12/6/2026 9:05:07 AM</U> to <U>12/6/2026 "
                                "9:05:07 AM</U><BR><BR>Please have a look at the attached "
                                "picture.<BR><BR><BR>Greetings<BR>Sentorix<BR>Version "
                                "1.0<BR><BR>"));
        const QJsonArray attachments = mail["attachments"].toArray();
        QCOMPARE(attachments.size(), 1);
        const QByteArray jpeg =
            QByteArray::fromBase64(attachments[0].toObject()["data"].toString().toLatin1());
        QFile written(vidPath() + "StillShot.jpg");
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(jpeg, written.readAll());
        const JpegProbe::Result decoded = JpegProbe::read(vidPath() + "StillShot.jpg");
        QVERIFY2(decoded.ok, qPrintable(decoded.error));
        QCOMPARE(decoded.width, 64);
        QCOMPARE(decoded.height, 48);
    }

    void missingSnapshotSendsWithoutAttachment() {
        SmtpServer server;
        QVERIFY(server.isRunning());
        MailRig m(vidPath(), server.address());
        m.rig.stuff.TimeType = 1;
        m.mail.SendMail(QStringLiteral("start"));
        QTRY_COMPARE_WITH_TIMEOUT(m.outcomes.size(), 1, 20000);
        QCOMPARE(m.outcomes, QList<bool>{true});
        QCOMPARE(server.messages().size(), 1);
        QVERIFY(server.messages().first()["attachments"].toArray().isEmpty());
        QCOMPARE(m.logRows.size(), 1);
        QVERIFY(m.logRows.first().contains("|Mail sent to ann@example.org|"));
        // Surveillance was stopped meanwhile: the tick stays off.
        QVERIFY(!m.rig.surveillance.Timer1.isActive());
    }

    // The first mail fails, the second goes out; each has its own control,
    // and a failure ends in STANDBY whatever the time type.
    void failedThenSentMail() {
        SmtpServer refusing(SmtpServer::Mode::RefuseRecipient);
        SmtpServer accepting;
        QVERIFY(refusing.isRunning() && accepting.isRunning());
        writeSnapshot();
        MailRig m(vidPath(), refusing.address());
        m.rig.stuff.TimeType = 2;
        m.rig.surveillance.SurveillanceOn = true;
        m.mail.SendMail(QStringLiteral("first"));
        QPointer<SmtpControl> first = m.mail.SMTP();
        QTRY_COMPARE_WITH_TIMEOUT(m.outcomes.size(), 1, 20000);
        QCOMPARE(m.rig.panels.text(2), QStringLiteral("STANDBY"));
        QVERIFY(!m.rig.surveillance.Mailing);
        QVERIFY(m.rig.surveillance.Timer1.isActive());
        QVERIFY(m.logRows.last().contains("|Error sending mail: "));
        QVERIFY2(m.logRows.last().contains("550"), qPrintable(m.logRows.last()));
        QTRY_VERIFY(first.isNull()); // removed once it has reported

        m.rig.stuff.SMTPServer = accepting.address();
        m.mail.SendMail(QStringLiteral("second"));
        QVERIFY(m.mail.SMTP() != nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(m.outcomes.size(), 2, 20000);
        QCOMPARE(m.outcomes, QList<bool>({false, true}));
        QCOMPARE(m.rig.panels.text(2), QStringLiteral("RECORDED"));
        QCOMPARE(accepting.messages().size(), 1);
    }

    // A server that stops answering, at any point, cannot keep the recorder
    // in MAILING nor hold the event loop, mail after mail.
    void stalledServerEndsTheMail_data() {
        QTest::addColumn<SmtpServer::Mode>("mode");
        QTest::addColumn<bool>("sent");
        QTest::newRow("silent after connect") << SmtpServer::Mode::Silent << false;
        QTest::newRow("silent after the message") << SmtpServer::Mode::StallAfterData << false;
        QTest::newRow("silent at QUIT") << SmtpServer::Mode::StallAtQuit << true;
    }
    void stalledServerEndsTheMail() {
        QFETCH(SmtpServer::Mode, mode);
        QFETCH(bool, sent);
        SmtpServer server(mode);
        QVERIFY(server.isRunning());
        MailRig m(vidPath(), server.address());
        m.rig.surveillance.SurveillanceOn = true;
        m.mail.Timeout = 1500ms;
        QElapsedTimer sinceTick;
        qint64 longestGapMs = 0;
        QTimer tick;
        tick.setInterval(20);
        QObject::connect(&tick, &QTimer::timeout, &tick,
                         [&] { longestGapMs = std::max(longestGapMs, sinceTick.restart()); });
        sinceTick.start();
        tick.start();
        for (int n = 1; n <= 2; ++n) {
            QElapsedTimer t;
            t.start();
            m.mail.SendMail(QStringLiteral("start"));
            QTRY_COMPARE_WITH_TIMEOUT(m.outcomes.size(), n, 10000);
            QVERIFY2(t.elapsed() < 1500 + 1000, qPrintable(QString::number(t.elapsed())));
            QCOMPARE(m.outcomes.last(), sent);
            QVERIFY2(m.logRows.last().contains(sent ? "|Mail sent to " : "|Error sending mail: "),
                     qPrintable(m.logRows.last()));
            QCOMPARE(m.rig.panels.text(2), QStringLiteral("STANDBY"));
            QVERIFY(!m.rig.surveillance.Mailing);
            QVERIFY(m.rig.surveillance.Timer1.isActive());
        }
        QVERIFY2(longestGapMs < 1000, qPrintable(QString::number(longestGapMs)));
    }
};

QTEST_MAIN(tst_MailNotification)
#include "tst_mailnotification.moc"
