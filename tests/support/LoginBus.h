#pragma once

#include <QDBusUnixFileDescriptor>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>

// A private message bus (dbus-daemon --session) for one test, optionally
// with this object as a stand-in login manager (org.freedesktop.login1's
// Manager, as far as Inhibit goes) that hands out sleep inhibitors as the
// real one does - a pipe's write end - and tells which are still held.
class LoginBus final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
    Q_DISABLE_COPY_MOVE(LoginBus)

public:
    struct InhibitCall {
        QString what, who, why, mode;
    };

    LoginBus() = default;
    ~LoginBus() override;

    // False when dbus-daemon is missing or does not come up.
    bool start(bool withLoginManager = true);
    QString address() const { return m_address; }
    QString errorText() const { return m_error; }

    QList<InhibitCall> calls() const { return m_calls; }
    // Inhibitors handed out whose every copy of the descriptor is still open.
    int openInhibitors() const;

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode);

private:
    QProcess m_daemon;
    QString m_address;
    QString m_error;
    bool m_registered = false;
    QList<InhibitCall> m_calls;
    QList<int> m_readEnds;
};
