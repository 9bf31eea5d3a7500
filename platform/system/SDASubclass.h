#pragma once

#include "IWindFunc.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>

class LoginInhibitor;

// The window-subclassing component. Linux sends no power broadcast, so the
// component asks the callback the suspend query itself - at once when the
// message is added, then every QueryIntervalMs - and turns the answer into
// a sleep inhibitor of the login manager: held while the answer is
// BROADCAST_QUERY_DENY, dropped otherwise and when the subclassing ends.
class SDASubclass final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SDASubclass)

public:
    // Subclass modes.
    static constexpr std::int32_t ModeEnd = 0;
    static constexpr std::int32_t ModeStart = 2;
    // An option change reaches the inhibitor within this time.
    static constexpr int QueryIntervalMs = 500;

    // The login manager's bus: `busAddress`, else the system bus.
    explicit SDASubclass(const QString& busAddress, QObject* parent = nullptr);
    ~SDASubclass() override;

    // SENTORIX_LOGIN_BUS when set, else empty (the system bus).
    static QString defaultBusAddress();
    // How often the standby option is looked at while hooked.
    void setQueryInterval(int ms) { m_queryTimer.setInterval(ms); }

    // Mode ModeStart hooks the window, ModeEnd unhooks it. The two flags
    // are accepted as the component takes them; they change nothing here.
    void Subclass(WindowHandle hWnd, IWindFunc* callback, std::int32_t& mode, bool flag1,
                  bool flag2);
    // Only WM_POWERBROADCAST is delivered.
    void AddMessage(WindowHandle hWnd, IWindFunc* callback, std::int32_t message);

    // Asks the suspend query now instead of at the next interval.
    void queryNow();

    bool isSubclassed() const { return m_callback != nullptr; }
    LoginInhibitor& inhibitor() const { return *m_inhibitor; }

private:
    void end();

    LoginInhibitor* const m_inhibitor;
    QTimer m_queryTimer;
    WindowHandle m_hWnd = 0;
    IWindFunc* m_callback = nullptr;
    bool m_deliverPowerBroadcast = false;
};
