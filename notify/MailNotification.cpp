#include "MailNotification.h"

#include "DateText.h"
#include "JpegSnapshot.h"
#include "ProgramInfo.h"
#include "PublicStuff.h"
#include "SmtpControl.h"
#include "StatusPanels.h"
#include "Surveillance.h"

namespace {

const QString AppTitle = ProgramInfo::displayName();
const QString AppVersion = ProgramInfo::version();

} // namespace

MailNotification::MailNotification(PublicStuff& stuff, StatusPanels& panels,
                                   Surveillance& surveillance, JpegSnapshot& snapshot,
                                   Window window, QObject* parent)
    : QObject(parent)
    , m_stuff(stuff)
    , m_panels(panels)
    , m_surveillance(surveillance)
    , m_snapshot(snapshot)
    , m_window(std::move(window)) {
    connect(&m_surveillance, &Surveillance::mailRequested, this, &MailNotification::SendMail);
    connect(this, &MailNotification::mailFinished, &m_surveillance, &Surveillance::mailEnded);
}

MailNotification::~MailNotification() {
    delete m_smtp.data();
}

QString MailNotification::subject() {
    return AppTitle + QStringLiteral(" - Recording Note");
}

QString MailNotification::fromName() {
    return AppTitle + QStringLiteral(" (DO NOT REPLY)");
}

QString MailNotification::body(const QString& camera, const QString& startText,
                               const QString& nowText) {
    return QStringLiteral("The following camera captured a video stream:<BR><BR><B>") + camera +
           QStringLiteral("</B><BR>From <U>") + startText + QStringLiteral("</U> to <U>") +
           nowText +
           QStringLiteral("</U><BR><BR>Please have a look at the attached picture.<BR><BR><BR>"
                          "Greetings<BR>") +
           AppTitle + QStringLiteral("<BR>Version ") + AppVersion + QStringLiteral("<BR><BR>");
}

void MailNotification::SendMail(const QString& startText) {
    trace("Step 1");
    m_panels.setText(Panel::Deviation, QStringLiteral("n/a"));
    m_panels.setState(SystemState::Mailing);
    m_panels.setText(Panel::BaseRefresh, QStringLiteral("n/a"));

    trace("Step 2");
    removeControl(); // at most one control at a time
    m_smtp = new SmtpControl(this);
    m_smtp->setObjectName(QStringLiteral("SMTP"));
    m_smtp->ConnectTimeout = ConnectTimeout;
    m_smtp->Timeout = Timeout;
    m_smtp->Clock = [this] { return m_stuff.now(); };
    connect(m_smtp, &SmtpControl::Connected, this, &MailNotification::SMTP_Connected);
    connect(m_smtp, &SmtpControl::SendComplete, this, &MailNotification::SMTP_SendComplete);
    connect(m_smtp, &SmtpControl::SendError, this, &MailNotification::SMTP_SendError);

    trace("Step 3");
    m_smtp->Server = m_stuff.SMTPServer;
    m_smtp->Subject = subject();
    m_smtp->ContentType = QStringLiteral("text/html");
    const std::optional<QString> camera =
        m_window.cameraName ? m_window.cameraName() : std::nullopt;
    m_smtp->Body = body(camera.value_or(QString()), startText, DateText::general(m_stuff.now()));

    trace("Step 4");
    const bool snapshot = m_snapshot.SaveJPGPic(m_surveillance.SnapshotDibFile(), m_stuff.VidPath);
    m_smtp->Attachment = snapshot ? m_snapshot.SnapshotJpgFile : QString();
    m_smtp->ToAddress = m_stuff.EMail;
    m_smtp->FromAddress = m_stuff.EMail;
    m_smtp->FromName = fromName();
    m_smtp->Connect();
}

void MailNotification::SMTP_Connected() {
    trace("Step 5 (Connected)");
    if (m_smtp)
        m_smtp->SendMessage();
}

void MailNotification::SMTP_SendComplete() {
    trace("Step 6 (Send complete)");
    removeControl();
    if (m_window.AddLogEntry)
        m_window.AddLogEntry(DateText::general(m_stuff.now()),
                             QStringLiteral("Mail sent to ") + m_stuff.EMail, QString());
    m_panels.setState(m_stuff.TimeType != StopMode::AfterActivity ? SystemState::Recorded
                                                                  : SystemState::Standby);
    Q_EMIT mailFinished(true);
}

void MailNotification::SMTP_SendError(int, const QString& description) {
    trace("SMTP error to log");
    if (m_window.AddLogEntry)
        m_window.AddLogEntry(DateText::general(m_stuff.now()),
                             QStringLiteral("Error sending mail: ") + description, QString());
    removeControl();
    m_panels.setState(SystemState::Standby);
    Q_EMIT mailFinished(false);
}

void MailNotification::removeControl() {
    if (!m_smtp)
        return;
    m_smtp->Disconnect();
    disconnect(m_smtp, nullptr, this, nullptr);
    // The control may be in the middle of raising the event that got here.
    m_smtp->deleteLater();
    m_smtp = nullptr;
}

void MailNotification::trace(const char* text) {
    m_stuff.WriteTrace(QStringLiteral("SendMail"), QString::fromLatin1(text));
}
