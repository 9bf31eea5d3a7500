#pragma once

#include <QList>
#include <QObject>
#include <QProcess>
#include <QString>

#include <memory>

class LoginManagerStandIn;

// A private message bus (dbus-daemon --session) for one test, optionally
// with a stand-in login manager that hands out sleep inhibitors as the real
// one does - a pipe's write end - and tells which are still held.
class LoginBus final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LoginBus)

public:
    struct InhibitCall {
        QString what, who, why, mode;
    };

    LoginBus();
    ~LoginBus() override;

    // False when dbus-daemon is missing or does not come up.
    bool start(bool withLoginManager = true);
    QString address() const { return m_address; }
    QString errorText() const { return m_error; }

    QList<InhibitCall> calls() const;
    // Inhibitors handed out whose every copy of the descriptor is still open.
    int openInhibitors() const;

private:
    QProcess m_daemon;
    QString m_address;
    QString m_error;
    std::unique_ptr<LoginManagerStandIn> m_manager;
};
