#pragma once

#include "IWindFunc.h"

#include <QObject>
#include <QString>

#include <memory>

class PublicStuff;
class SDASubclass;

// The main window's hook on the power broadcast: while APM is 1 the
// system's query whether it may suspend is refused, because a suspended PC
// stops the surveillance. The answer follows APM at every query, so the
// option takes effect without restarting the hook.
class PowerBroadcast final : public QObject, public IWindFunc {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PowerBroadcast)

public:
    // `busAddress`: where the subclassing component finds the login
    // manager; empty means the system bus.
    // `pollMs`: how often the subclassing component looks at APM.
    PowerBroadcast(PublicStuff& stuff, const QString& busAddress, int pollMs,
                   QObject* parent = nullptr);
    ~PowerBroadcast() override;

    // Hooks the main window and asks for the power broadcast.
    void StartSubclassing(WindowHandle mainWindow);
    void EndSubclassing();

    void WindowFunction(WindowHandle& hWnd, std::int32_t& uMsg, std::int32_t& wParam,
                        std::int32_t& lParam, std::int32_t& lpRetVal, bool PreProcess,
                        std::int32_t& CallControl,
                        std::int32_t OriginalWindowProcedureAddress) override;
    void SubclassEndNotification(WindowHandle hWnd, std::int32_t Reason, std::int32_t ErrorNumber,
                                 const QString& ErrorSource, const QString& ErrorDescription,
                                 const QString& HelpFile, std::int32_t HelpContext,
                                 std::int32_t LastDLLError) override;

    // The subclassing object, once StartSubclassing has created it.
    SDASubclass* subclass() const { return m_subclass.get(); }
    WindowHandle mainWindow() const { return m_mainWindow; }

private:
    PublicStuff& m_stuff;
    const QString m_busAddress;
    const int m_pollMs;
    // Created on first use and kept for the whole run.
    std::unique_ptr<SDASubclass> m_subclass;
    WindowHandle m_mainWindow = 0;
};
