#include "SDASubclass.h"

#include "LoginInhibitor.h"

SDASubclass::SDASubclass(const QString& busAddress, QObject* parent)
    : QObject(parent)
    , m_inhibitor(new LoginInhibitor(busAddress, this)) {
    m_queryTimer.setInterval(QueryIntervalMs);
    connect(&m_queryTimer, &QTimer::timeout, this, &SDASubclass::queryNow);
}

SDASubclass::~SDASubclass() = default;

QString SDASubclass::defaultBusAddress() {
    return qEnvironmentVariable("SENTORIX_LOGIN_BUS");
}

void SDASubclass::Subclass(WindowHandle hWnd, IWindFunc* callback, std::int32_t& mode, bool, bool) {
    if (callback == nullptr)
        return;
    if (mode == ModeStart) {
        if (m_callback != nullptr && (m_hWnd != hWnd || m_callback != callback))
            end();
        m_hWnd = hWnd;
        m_callback = callback;
    } else if (mode == ModeEnd && m_callback == callback && m_hWnd == hWnd) {
        end();
        callback->SubclassEndNotification(hWnd, 0, 0, QString(), QString(), QString(), 0, 0);
    }
}

void SDASubclass::AddMessage(WindowHandle hWnd, IWindFunc* callback, std::int32_t message) {
    if (callback == nullptr || callback != m_callback || hWnd != m_hWnd ||
        message != PowerBroadcastCodes::WM_POWERBROADCAST)
        return;
    m_deliverPowerBroadcast = true;
    m_queryTimer.start();
    queryNow();
}

void SDASubclass::queryNow() {
    if (m_callback == nullptr || !m_deliverPowerBroadcast) {
        m_inhibitor->setWanted(false);
        return;
    }
    // The message as the system would send it; the arguments are copies, so
    // whatever the callback changes stays with this one message.
    WindowHandle hWnd = m_hWnd;
    std::int32_t message = PowerBroadcastCodes::WM_POWERBROADCAST;
    std::int32_t wParam = PowerBroadcastCodes::PBT_APMQUERYSUSPEND;
    std::int32_t lParam = 0;
    std::int32_t result = PowerBroadcastCodes::QueryGranted;
    std::int32_t callControl = 0;
    m_callback->WindowFunction(hWnd, message, wParam, lParam, result, true, callControl, 0);
    m_inhibitor->setWanted(result == PowerBroadcastCodes::BROADCAST_QUERY_DENY);
}

void SDASubclass::end() {
    m_queryTimer.stop();
    m_deliverPowerBroadcast = false;
    m_callback = nullptr;
    m_hWnd = 0;
    m_inhibitor->setWanted(false);
}
