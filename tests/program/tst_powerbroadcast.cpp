// The answer to the power broadcast, and the sleep inhibitor that carries
// it on Linux, against a private bus with a stand-in login manager.
#include "LoginBus.h"
#include "LoginInhibitor.h"
#include "PowerBroadcast.h"
#include "PublicStuff.h"
#include "SDASubclass.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace PowerBroadcastCodes;

namespace {

constexpr WindowHandle MainWindow = 0x4a0001;
const QString NoBus = QStringLiteral("unix:path=/nonexistent/sentorix-bus");
// Short, so that "nothing happens" is seen over several queries quickly.
constexpr int PollMs = 20;

// The hook over a bus, hooked on MainWindow with the option given.
struct Hook {
    Hook(const QString& address, int apm, bool debug = false)
        : power(stuff, address, PollMs) {
        stuff.APM = std::uint8_t(apm);
        stuff.DebugMode = debug;
        if (debug)
            QVERIFY(stuff.trace().open(dir.filePath(QStringLiteral("ZarvelDebug.dat"))));
        power.StartSubclassing(MainWindow);
    }
    QTemporaryDir dir;
    PublicStuff stuff;
    PowerBroadcast power;
    LoginInhibitor& inhibitor() { return power.subclass()->inhibitor(); }
    bool held() const { return power.subclass()->inhibitor().isHeld(); }
    QString traced() const {
        QFile f(dir.filePath(QStringLiteral("ZarvelDebug.dat")));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    // The answer to one message; every other argument must come back as it went.
    std::int32_t ask(WindowHandle window = MainWindow, std::int32_t message = WM_POWERBROADCAST,
                     std::int32_t wParam = PBT_APMQUERYSUSPEND) {
        WindowHandle hWnd = window;
        std::int32_t uMsg = message, w = wParam, l = 0x55, retVal = 0x1234, callControl = 0x77;
        power.WindowFunction(hWnd, uMsg, w, l, retVal, true, callControl, 0x400000);
        if (hWnd != window || uMsg != message || w != wParam || l != 0x55 || callControl != 0x77)
            return -1;
        return retVal;
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
                                        {MainWindow, WM_POWERBROADCAST, 0, 0, same},
                                        {MainWindow, WM_POWERBROADCAST, 0, 2, same},
                                        {MainWindow, WM_POWERBROADCAST, 4, 1, same},
                                        {MainWindow, WM_POWERBROADCAST, 0x12, 1, same},
                                        {MainWindow + 1, WM_POWERBROADCAST, 0, 1, same},
                                        {MainWindow, 0x0010, 0, 1, same}};
        for (const auto& [window, message, wParam, apm, result] : rows) {
            Hook hook(NoBus, apm == 1 ? 0 : 1);
            hook.stuff.APM = std::uint8_t(apm);
            QCOMPARE(hook.ask(WindowHandle(window), message, wParam), result);
        }
    }

    void inhibitorHeldWhileTheOptionIsSet() {
        LoginBus bus;
        QVERIFY2(bus.start(true), qPrintable(bus.errorText()));
        Hook hook(bus.address(), 0);
        QSignalSpy taken(&hook.inhibitor(), &LoginInhibitor::inhibitorTaken);
        QVERIFY(!taken.wait(10 * PollMs) && bus.calls().isEmpty()); // not without the option
        hook.stuff.APM = 1;
        QVERIFY(taken.wait() && hook.held());
        QCOMPARE(bus.openInhibitors(), 1);
        const LoginBus::InhibitCall call = bus.calls().front();
        QCOMPARE(QStringList({call.what, call.who, call.mode}),
                 QStringList({"sleep", "Sentorix", "block"}));
        QVERIFY(!call.why.isEmpty());
        // Switched off in the configuration dialog, the change applies at once.
        hook.stuff.APM = 0;
        hook.power.subclass()->queryNow();
        QVERIFY(!hook.held());
        QTRY_COMPARE_WITH_TIMEOUT(bus.openInhibitors(), 0, 2000);
        // And on again at the next query.
        hook.stuff.APM = 1;
        QVERIFY(taken.wait());
        QCOMPARE(bus.calls().size(), 2);
        // Shutdown ends the subclassing: standby is the system's again.
        hook.power.EndSubclassing();
        QVERIFY(!hook.held());
        QTRY_COMPARE_WITH_TIMEOUT(bus.openInhibitors(), 0, 2000);
        QVERIFY(!taken.wait(10 * PollMs) && bus.calls().size() == 2);
        // Released before the reply came, the inhibitor is dropped.
        LoginInhibitor inhibitor(bus.address());
        QSignalSpy takenToo(&inhibitor, &LoginInhibitor::inhibitorTaken);
        inhibitor.setWanted(true);
        inhibitor.setWanted(false);
        QTRY_COMPARE_WITH_TIMEOUT(bus.calls().size(), 3, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(bus.openInhibitors(), 0, 2000);
        QVERIFY(!inhibitor.isHeld() && takenToo.isEmpty());
    }

    // Without a login manager the program runs on, and traces it once per
    // switch-on; the answer itself is unchanged.
    void withoutABusTheProgramRunsOnAndTracesIt() {
        for (const bool daemon : {false, true}) {
            LoginBus bus;
            QVERIFY(!daemon || bus.start(false));
            Hook hook(daemon ? bus.address() : NoBus, 1, true);
            QSignalSpy failures(&hook.inhibitor(), &LoginInhibitor::inhibitorFailed);
            QTRY_VERIFY_WITH_TIMEOUT(
                hook.traced().contains(" - Subclass - Standby cannot be refused: "), 5000);
            QVERIFY(!failures.wait(10 * PollMs));
            QCOMPARE(hook.traced().count(QStringLiteral("Standby cannot be refused")), 1);
            QVERIFY2(hook.traced().contains(daemon ? "org.freedesktop.DBus.Error.ServiceUnknown"
                                                   : "no bus at "),
                     qPrintable(hook.traced()));
            QVERIFY(hook.ask() == BROADCAST_QUERY_DENY && !hook.held());
        }
    }
};

QTEST_GUILESS_MAIN(tst_PowerBroadcast)
#include "tst_powerbroadcast.moc"
