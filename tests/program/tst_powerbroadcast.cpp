// The answer to the power broadcast, and the sleep inhibitor that carries
// it on Linux, against a private bus with a stand-in login manager.
#include "LoginBus.h"
#include "LoginInhibitor.h"
#include "PowerBroadcast.h"
#include "PublicStuff.h"
#include "SDASubclass.h"
#include "WaitBound.h"

#include <QSignalSpy>
#include <QTest>

using namespace PowerBroadcastCodes;

namespace {

constexpr WindowHandle MainWindow = 0x4a0001;
const QString NoBus = QStringLiteral("unix:path=/nonexistent/sentorix-bus");
// Short, so that "nothing happens" is seen over several queries quickly.
constexpr int PollMs = 20;

// The hook over a bus, hooked on MainWindow with the option given.
struct Hook {
    Hook(const QString& address, int apm)
        : power(stuff, address, PollMs) {
        stuff.APM = std::uint8_t(apm);
        power.StartSubclassing(MainWindow);
    }
    PublicStuff stuff;
    PowerBroadcast power;
    bool held() const { return power.subclass()->inhibitor().isHeld(); }
    // The answer to one message; every other argument must come back as it went.
    std::int32_t ask(WindowHandle window = MainWindow, std::int32_t message = WM_POWERBROADCAST,
                     std::int32_t wParam = PBT_APMQUERYSUSPEND) {
        WindowHandle hWnd = window;
        std::int32_t uMsg = message, w = wParam, l = 0x55, retVal = 0x1234, callControl = 0x77;
        power.WindowFunction(hWnd, uMsg, w, l, retVal, true, callControl, 0x400000);
        const bool same = hWnd == window && uMsg == message && w == wParam && l == 0x55;
        return same && callControl == 0x77 ? retVal : -1;
    }
};

} // namespace

class tst_PowerBroadcast final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Rows: window, message, wParam, option; the query on the main window
    // is refused only with option 1, whichever option it was hooked with.
    void answer() {
        const std::int32_t deny = BROADCAST_QUERY_DENY, same = 0x1234;
        const std::int32_t rows[][5] = {{MainWindow, WM_POWERBROADCAST, 0, 1, deny},
                                        {MainWindow, WM_POWERBROADCAST, 0, 2, same},
                                        {MainWindow, WM_POWERBROADCAST, 4, 1, same},
                                        {MainWindow + 1, WM_POWERBROADCAST, 0, 1, same},
                                        {MainWindow, 0x0010, 0, 1, same}};
        for (const auto& [window, message, wParam, apm, result] : rows) {
            Hook hook(NoBus, apm == 1 ? 0 : 1);
            hook.stuff.APM = std::uint8_t(apm);
            QCOMPARE(hook.ask(WindowHandle(window), message, wParam), result);
        }
    }

    void inhibitorOnThePrivateBus() {
        LoginBus bus;
        QVERIFY2(bus.start(true), qPrintable(bus.errorText()));
        Hook hook(bus.address(), 0);
        QSignalSpy taken(&hook.power.subclass()->inhibitor(), &LoginInhibitor::inhibitorTaken);
        QVERIFY(!taken.wait(10 * PollMs) && bus.calls().isEmpty()); // not without the option
        hook.stuff.APM = 1;
        QVERIFY(taken.wait(TestData::Bound) && hook.held() && bus.openInhibitors() == 1);
        const LoginBus::InhibitCall call = bus.calls().front();
        QCOMPARE(QStringList({call.what, call.who, call.mode, call.why.isEmpty() ? "" : "why"}),
                 QStringList({"sleep", "Sentorix", "block", "why"}));
        // Switched off in the configuration dialog, the change applies at once.
        hook.stuff.APM = 0;
        hook.power.subclass()->queryNow();
        QVERIFY(!hook.held());
        QTRY_COMPARE_WITH_TIMEOUT(bus.openInhibitors(), 0, TestData::Bound);
        // And on again at the next query.
        hook.stuff.APM = 1;
        QVERIFY(taken.wait(TestData::Bound));
        // Shutdown ends the subclassing: standby is the system's again.
        hook.power.EndSubclassing();
        QVERIFY(!hook.held());
        QTRY_COMPARE_WITH_TIMEOUT(bus.openInhibitors(), 0, TestData::Bound);
        QVERIFY(!taken.wait(10 * PollMs) && bus.calls().size() == 2);
        // Released before the reply came, the inhibitor is dropped.
        LoginInhibitor inhibitor(bus.address());
        QSignalSpy takenToo(&inhibitor, &LoginInhibitor::inhibitorTaken);
        inhibitor.setWanted(true);
        inhibitor.setWanted(false);
        QTRY_COMPARE_WITH_TIMEOUT(bus.calls().size(), 3, TestData::Bound);
        QTRY_COMPARE_WITH_TIMEOUT(bus.openInhibitors(), 0, TestData::Bound);
        QVERIFY(!inhibitor.isHeld() && takenToo.isEmpty());
        // A bus without a login manager refuses, and the program runs on.
        LoginBus empty;
        QVERIFY(empty.start(false));
        LoginInhibitor lone(empty.address());
        QSignalSpy failed(&lone, &LoginInhibitor::inhibitorFailed);
        lone.setWanted(true);
        QVERIFY(failed.wait(TestData::Bound) &&
                failed[0][0].toString().startsWith("org.freedesktop.DBus.Error.ServiceUnknown: "));
    }
};

QTEST_GUILESS_MAIN(tst_PowerBroadcast)
#include "tst_powerbroadcast.moc"
