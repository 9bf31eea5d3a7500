#include "PowerBroadcast.h"

#include "LoginInhibitor.h"
#include "PublicStuff.h"
#include "SDASubclass.h"

PowerBroadcast::PowerBroadcast(PublicStuff& stuff, const QString& busAddress, int pollMs,
                               QObject* parent)
    : QObject(parent)
    , m_stuff(stuff)
    , m_busAddress(busAddress)
    , m_pollMs(pollMs) {}

PowerBroadcast::~PowerBroadcast() {
    EndSubclassing();
}

void PowerBroadcast::StartSubclassing(WindowHandle mainWindow) {
    if (!m_subclass) {
        m_subclass = std::make_unique<SDASubclass>(m_busAddress);
        m_subclass->setQueryInterval(m_pollMs);
        LoginInhibitor& inhibitor = m_subclass->inhibitor();
        // Without a login manager the program runs on; standby is then the
        // system's choice, and the trace says so.
        connect(&inhibitor, &LoginInhibitor::inhibitorFailed, this, [this](const QString& reason) {
            m_stuff.WriteTrace(QStringLiteral("Subclass"),
                               QStringLiteral("Standby cannot be refused: ") + reason);
        });
        connect(&inhibitor, &LoginInhibitor::inhibitorTaken, this, [this] {
            m_stuff.WriteTrace(QStringLiteral("Subclass"), QStringLiteral("Standby refused"));
        });
        connect(&inhibitor, &LoginInhibitor::inhibitorReleased, this, [this] {
            m_stuff.WriteTrace(QStringLiteral("Subclass"), QStringLiteral("Standby allowed"));
        });
    }
    m_mainWindow = mainWindow;
    std::int32_t mode = SDASubclass::ModeStart;
    m_subclass->Subclass(mainWindow, this, mode, false, true);
    m_subclass->AddMessage(mainWindow, this, PowerBroadcastCodes::WM_POWERBROADCAST);
}

void PowerBroadcast::EndSubclassing() {
    if (!m_subclass || !m_subclass->isSubclassed())
        return;
    std::int32_t mode = SDASubclass::ModeEnd;
    m_subclass->Subclass(m_mainWindow, this, mode, true, true);
}

void PowerBroadcast::WindowFunction(WindowHandle& hWnd, std::int32_t& uMsg, std::int32_t& wParam,
                                    std::int32_t&, std::int32_t& lpRetVal, bool, std::int32_t&,
                                    std::int32_t) {
    if (m_mainWindow != 0 && hWnd == m_mainWindow &&
        uMsg == PowerBroadcastCodes::WM_POWERBROADCAST &&
        wParam == PowerBroadcastCodes::PBT_APMQUERYSUSPEND && m_stuff.APM == 1)
        lpRetVal = PowerBroadcastCodes::BROADCAST_QUERY_DENY;
}

void PowerBroadcast::SubclassEndNotification(WindowHandle, std::int32_t, std::int32_t,
                                             const QString&, const QString&, const QString&,
                                             std::int32_t, std::int32_t) {}
