#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QDBusPendingCallWatcher;

// A sleep inhibitor of the login manager (org.freedesktop.login1, mode
// "block"): while its file descriptor is open the system does not go to
// sleep. It is asked for and dropped asynchronously, so a slow or missing
// login manager never stalls the window.
class LoginInhibitor final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LoginInhibitor)

public:
    // `busAddress` names the bus of the login manager; empty means the
    // system bus.
    explicit LoginInhibitor(const QString& busAddress, QObject* parent = nullptr);
    ~LoginInhibitor() override;

    // Asks for the inhibitor or drops it. A refused request is not repeated
    // until the inhibitor has been unwanted in between.
    void setWanted(bool wanted);
    bool isWanted() const { return m_wanted; }
    bool isHeld() const;

    static constexpr int CallTimeoutMs = 5000;

Q_SIGNALS:
    void inhibitorTaken();
    void inhibitorReleased();
    // No inhibitor: no bus, no login manager, or the request was refused.
    void inhibitorFailed(const QString& reason);

private:
    void request();
    void onReply(QDBusPendingCallWatcher* watcher);
    void fail(const QString& reason);

    struct Private;
    std::unique_ptr<Private> d;
    bool m_wanted = false;
    bool m_pending = false;
    bool m_refused = false;
};
