#include "LoginBus.h"
#include "LoginInhibitor.h"
#include "PowerBroadcast.h"
#include "PublicStuff.h"
#include "SDASubclass.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace PowerBroadcastCodes;

namespace {

constexpr WindowHandle MainWindow = 0x4a0001;
constexpr WindowHandle AboutBox = 0x4a0002;
// What the message's arguments hold before the hook sees them.
constexpr std::int32_t UntouchedResult = 0x1234;
constexpr std::int32_t LParam = 0x55;
constexpr std::int32_t CallControl = 0x77;

} // namespace

// The answer to the power broadcast, and the sleep inhibitor that carries
// it on Linux, against a private bus with a stand-in login manager.
class tst_PowerBroadcast final : public QObject {
    Q_OBJECT

    // The hook over the test's bus, hooked on MainWindow.
    struct Hook {
        explicit Hook(const QString& address)
            : power(stuff, address, SDASubclass::QueryIntervalMs) {}
        PublicStuff stuff;
        PowerBroadcast power;
        bool held() const {
            return power.subclass() != nullptr && power.subclass()->inhibitor().isHeld();
        }
    };

    static void startBus(LoginBus& bus, bool withLoginManager = true) {
        if (!bus.start(withLoginManager))
            QFAIL(qPrintable(bus.errorText()));
    }

private Q_SLOTS:
    void answer_data() {
        QTest::addColumn<WindowHandle>("window");
        QTest::addColumn<std::int32_t>("message");
        QTest::addColumn<std::int32_t>("wParam");
        QTest::addColumn<int>("apm");
        QTest::addColumn<std::int32_t>("result");

        const std::int32_t deny = BROADCAST_QUERY_DENY;
        const std::int32_t same = UntouchedResult;
        QTest::newRow("query, APM 1: refused") << MainWindow << WM_POWERBROADCAST << 0 << 1 << deny;
        QTest::newRow("query, APM 0: passes") << MainWindow << WM_POWERBROADCAST << 0 << 0 << same;
        QTest::newRow("query, APM 2: passes") << MainWindow << WM_POWERBROADCAST << 0 << 2 << same;
        QTest::newRow("query, APM 255: passes")
            << MainWindow << WM_POWERBROADCAST << 0 << 255 << same;
        QTest::newRow("suspend notice, APM 1") << MainWindow << WM_POWERBROADCAST << 4 << 1 << same;
        QTest::newRow("resume, APM 1") << MainWindow << WM_POWERBROADCAST << 0x12 << 1 << same;
        QTest::newRow("query failed, APM 1") << MainWindow << WM_POWERBROADCAST << 2 << 1 << same;
        QTest::newRow("other window, APM 1") << AboutBox << WM_POWERBROADCAST << 0 << 1 << same;
        QTest::newRow("other message, APM 1") << MainWindow << 0x0010 << 0 << 1 << same;
        QTest::newRow("suspend notice, APM 0") << MainWindow << WM_POWERBROADCAST << 4 << 0 << same;
    }

    void answer() {
        QFETCH(WindowHandle, window);
        QFETCH(std::int32_t, message);
        QFETCH(std::int32_t, wParam);
        QFETCH(int, apm);
        QFETCH(std::int32_t, result);

        // No bus at all: the answer does not depend on the inhibitor.
        Hook hook(QStringLiteral("unix:path=/nonexistent/sentorix-bus"));
        hook.stuff.APM = std::uint8_t(apm);
        hook.power.StartSubclassing(MainWindow);

        WindowHandle hWnd = window;
        std::int32_t uMsg = message;
        std::int32_t w = wParam;
        std::int32_t l = LParam;
        std::int32_t retVal = UntouchedResult;
        std::int32_t callControl = CallControl;
        hook.power.WindowFunction(hWnd, uMsg, w, l, retVal, true, callControl, 0x400000);
        QCOMPARE(retVal, result);
        // Nothing else is touched.
        QCOMPARE(hWnd, window);
        QCOMPARE(uMsg, message);
        QCOMPARE(w, wParam);
        QCOMPARE(l, LParam);
        QCOMPARE(callControl, CallControl);
    }

    void answerFollowsTheOptionAtEachQuery() {
        PublicStuff stuff;
        PowerBroadcast power(stuff, QStringLiteral("unix:path=/nonexistent/sentorix-bus"),
                             SDASubclass::QueryIntervalMs);
        power.StartSubclassing(MainWindow);
        const auto ask = [&power] {
            WindowHandle hWnd = MainWindow;
            std::int32_t uMsg = WM_POWERBROADCAST;
            std::int32_t w = PBT_APMQUERYSUSPEND;
            std::int32_t l = 0;
            std::int32_t retVal = QueryGranted;
            std::int32_t callControl = 0;
            power.WindowFunction(hWnd, uMsg, w, l, retVal, true, callControl, 0);
            return retVal;
        };
        QCOMPARE(ask(), QueryGranted);
        stuff.APM = 1;
        QCOMPARE(ask(), BROADCAST_QUERY_DENY);
        stuff.APM = 0;
        QCOMPARE(ask(), QueryGranted);
    }

    void inhibitorHeldWhileTheOptionIsSet() {
        LoginBus bus;
        startBus(bus);
        Hook hook(bus.address());
        hook.stuff.APM = 1;
        hook.power.StartSubclassing(MainWindow);
        QTRY_VERIFY_WITH_TIMEOUT(hook.held(), 5000);
        QCOMPARE(bus.openInhibitors(), 1);
        QCOMPARE(bus.calls().size(), 1);
        const LoginBus::InhibitCall call = bus.calls().front();
        QCOMPARE(call.what, QStringLiteral("sleep"));
        QCOMPARE(call.who, QStringLiteral("Sentorix"));
        QCOMPARE(call.mode, QStringLiteral("block"));
        QVERIFY(!call.why.isEmpty());

        // The option is switched off in the configuration dialog: the next
        // query lets standby pass, and the login manager sees the release.
        hook.stuff.APM = 0;
        QTRY_VERIFY_WITH_TIMEOUT(!hook.held(), 3 * SDASubclass::QueryIntervalMs);
        QTRY_COMPARE_WITH_TIMEOUT(bus.openInhibitors(), 0, 2000);

        // And on again.
        hook.stuff.APM = 1;
        QTRY_VERIFY_WITH_TIMEOUT(hook.held(), 5000);
        QCOMPARE(bus.calls().size(), 2);
        QCOMPARE(bus.openInhibitors(), 1);

        // Shutdown ends the subclassing: standby is the system's again.
        hook.power.EndSubclassing();
        QVERIFY(!hook.held());
        QTRY_COMPARE_WITH_TIMEOUT(bus.openInhibitors(), 0, 2000);
        hook.stuff.APM = 1;
        QTest::qWait(3 * SDASubclass::QueryIntervalMs);
        QVERIFY(!hook.held());
        QCOMPARE(bus.calls().size(), 2);
    }

    void queryNowAppliesAChangeAtOnce() {
        LoginBus bus;
        startBus(bus);
        Hook hook(bus.address());
        hook.power.StartSubclassing(MainWindow);
        hook.stuff.APM = 1;
        hook.power.subclass()->queryNow();
        QVERIFY(hook.power.subclass()->inhibitor().isWanted());
        QTRY_VERIFY_WITH_TIMEOUT(hook.held(), 5000);
        hook.stuff.APM = 0;
        hook.power.subclass()->queryNow();
        QVERIFY(!hook.held());
        QTRY_COMPARE_WITH_TIMEOUT(bus.openInhibitors(), 0, 2000);
    }

    void noInhibitorWithoutTheOption() {
        LoginBus bus;
        startBus(bus);
        Hook hook(bus.address());
        hook.stuff.APM = 0;
        hook.power.StartSubclassing(MainWindow);
        QTest::qWait(3 * SDASubclass::QueryIntervalMs);
        QVERIFY(!hook.held());
        QVERIFY(bus.calls().isEmpty());
    }

    void releasedBeforeTheReplyDropsIt() {
        LoginBus bus;
        startBus(bus);
        LoginInhibitor inhibitor(bus.address());
        QSignalSpy taken(&inhibitor, &LoginInhibitor::inhibitorTaken);
        inhibitor.setWanted(true);
        inhibitor.setWanted(false);
        QTRY_COMPARE_WITH_TIMEOUT(bus.calls().size(), 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(bus.openInhibitors(), 0, 2000);
        QVERIFY(!inhibitor.isHeld());
        QCOMPARE(taken.size(), 0);
    }

    void withoutABusTheProgramRunsOnAndTracesIt_data() {
        QTest::addColumn<bool>("daemon");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no bus") << false << QStringLiteral("no bus at ");
        QTest::newRow("bus without login manager")
            << true << QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown");
    }

    void withoutABusTheProgramRunsOnAndTracesIt() {
        QFETCH(bool, daemon);
        QFETCH(QString, expected);
        LoginBus bus;
        if (daemon)
            startBus(bus, false);
        const QString address =
            daemon ? bus.address() : QStringLiteral("unix:path=/nonexistent/sentorix-bus");

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString tracePath = dir.filePath(QStringLiteral("ZarvelDebug.dat"));
        Hook hook(address);
        hook.stuff.DebugMode = true;
        QVERIFY(hook.stuff.trace().open(tracePath));
        hook.stuff.APM = 1;
        hook.power.StartSubclassing(MainWindow);
        QSignalSpy failures(&hook.power.subclass()->inhibitor(), &LoginInhibitor::inhibitorFailed);
        const auto traceText = [&tracePath] {
            QFile f(tracePath);
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(
            traceText().contains(QStringLiteral(" - Subclass - Standby cannot be refused: ")),
            5000);
        // Refused once per switch-on, not at every query.
        QTest::qWait(3 * SDASubclass::QueryIntervalMs);
        hook.stuff.trace().close();
        const QString trace = traceText();
        QVERIFY2(trace.contains(expected), qPrintable(trace));
        QCOMPARE(trace.count(QStringLiteral("Standby cannot be refused")), 1);
        QVERIFY(failures.size() <= 1);
        // The answer itself is unchanged: the hook still refuses.
        WindowHandle hWnd = MainWindow;
        std::int32_t uMsg = WM_POWERBROADCAST;
        std::int32_t w = PBT_APMQUERYSUSPEND;
        std::int32_t l = 0;
        std::int32_t retVal = QueryGranted;
        std::int32_t callControl = 0;
        hook.power.WindowFunction(hWnd, uMsg, w, l, retVal, true, callControl, 0);
        QCOMPARE(retVal, BROADCAST_QUERY_DENY);
        QVERIFY(!hook.held());
    }
};

QTEST_GUILESS_MAIN(tst_PowerBroadcast)
#include "tst_powerbroadcast.moc"
