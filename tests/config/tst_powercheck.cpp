// The power-management message and the screen-saver list, from registry
// values, from the desktop's real settings tool, and from a real folder.
#include "PowerCheck.h"
#include "PowerScheme.h"
#include "RegistryView.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class tst_PowerCheck final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static void touch(const QString& path) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private Q_SLOTS:
    void numberForm_data() {
        QTest::addColumn<double>("x");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 1.0 << " 1";
        QTest::newRow("1.5") << 1.5 << " 1.5";
        QTest::newRow("4000 s in hours") << 4000.0 / 3600 << " 1.11111111111111";
        QTest::newRow("30") << 30.0 << " 30";
        QTest::newRow("0.5") << 0.5 << " .5";
        QTest::newRow("3599 s in minutes") << 3599.0 / 60 << " 59.9833333333333";
    }
    void numberForm() {
        QFETCH(double, x);
        QFETCH(QString, text);
        QCOMPARE(PowerCheck::N(x), text);
    }

    void messagesForIdleTimes_data() {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        const QString w = QStringLiteral("WARNING: Windows standby mode is activated after");
        QTest::newRow("0") << 0 << "You have already disabled the Windows standby mode." << false;
        QTest::newRow("30") << 30 << w + " .5 minute(s)." << true;
        QTest::newRow("90") << 90 << w + " 1.5 minute(s)." << true;
        QTest::newRow("1800") << 1800 << w + " 30 minute(s)." << true;
        QTest::newRow("3599") << 3599 << w + " 59.9833333333333 minute(s)." << true;
        QTest::newRow("3600") << 3600 << w + " 1 hour(s)." << true;
        QTest::newRow("4000") << 4000 << w + " 1.11111111111111 hour(s)." << true;
        QTest::newRow("5400") << 5400 << w + " 1.5 hour(s)." << true;
        QTest::newRow("beyond 16 bits") << 100000 << w + " 18.2041666666667 hour(s)." << true;
    }
    void messagesForIdleTimes() {
        QFETCH(int, seconds);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        RegistryView view;
        PowerScheme::present(view, std::uint32_t(seconds));
        const PowerCheck::PowerMessage m = PowerCheck::powerManagementMessage(view);
        QCOMPARE(m.text, text);
        QCOMPARE(m.checkEnabled, enabled);
    }

    void recordsThatSayNothing() {
        const QString cannot = QStringLiteral("Cannot read Power Management settings.");
        RegistryView empty;
        QCOMPARE(PowerCheck::powerManagementMessage(empty).text, cannot);
        QVERIFY(!PowerCheck::powerManagementMessage(empty).checkEnabled);

        // A scheme without its record, and a record too short for the time.
        RegistryView view;
        view.setString(RegistryView::CurrentUser, "Control Panel\\PowerCfg", "CurrentPowerPolicy",
                       "3");
        QCOMPARE(PowerCheck::powerManagementMessage(view).text, cannot);
        view.setValue(RegistryView::CurrentUser, "Control Panel\\PowerCfg\\PowerPolicies\\3",
                      "Policies", {RegistryView::TypeBinary, QByteArray(30, '\x10')});
        QCOMPARE(PowerCheck::powerManagementMessage(view).text, cannot);

        // Bytes 0x08 and 0x07 at offsets 28 and 29, whatever surrounds them.
        QByteArray record(40, '\xff');
        record[28] = '\x08';
        record[29] = '\x07';
        view.setValue(RegistryView::CurrentUser, "Control Panel\\PowerCfg\\PowerPolicies\\3",
                      "Policies", {RegistryView::TypeBinary, record});
        QCOMPARE(PowerCheck::powerManagementMessage(view).text,
                 QStringLiteral("WARNING: Windows standby mode is activated after 30 minute(s)."));
    }

    // The desktop's settings tool with a private schema and key file, as a
    // GNOME session keeps them.
    void desktopSettingIsRead() {
        const QString compiler = QStandardPaths::findExecutable("glib-compile-schemas");
        if (compiler.isEmpty() || QStandardPaths::findExecutable("gsettings").isEmpty())
            QSKIP("the GLib settings tools are not installed");
        const QString schemas = m_dir.filePath("schemas");
        QVERIFY(QDir().mkpath(schemas));
        QVERIFY(QFile::copy(QStringLiteral(SENTORIX_POWER_SCHEMA),
                            schemas + "/org.gnome.settings-daemon.plugins.power.gschema.xml"));
        QCOMPARE(QProcess::execute(compiler, {schemas}), 0);
        qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(schemas));
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath("config")));

        auto set = [](const char* key, const char* value) {
            return QProcess::execute(
                "gsettings", {"set", "org.gnome.settings-daemon.plugins.power", key, value});
        };
        QCOMPARE(PowerScheme::idleSleepSeconds(), std::optional<std::uint32_t>(1200));
        QCOMPARE(set("sleep-inactive-ac-timeout", "5400"), 0);
        RegistryView view;
        QVERIFY(PowerScheme::presentDesktopSetting(view));
        QCOMPARE(PowerCheck::powerManagementMessage(view).text,
                 QStringLiteral("WARNING: Windows standby mode is activated after 1.5 hour(s)."));
        QCOMPARE(set("sleep-inactive-ac-type", "'nothing'"), 0);
        QCOMPARE(PowerScheme::idleSleepSeconds(), std::optional<std::uint32_t>(0));

        // Without the schema nothing is known.
        qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(m_dir.filePath("nowhere")));
        QCOMPARE(PowerScheme::idleSleepSeconds(), std::nullopt);
        qunsetenv("GSETTINGS_SCHEMA_DIR");
        qunsetenv("GSETTINGS_BACKEND");
    }

    void saverListFromTheFolder() {
        const QString dir = m_dir.filePath("savers");
        QVERIFY(QDir().mkpath(dir));
        for (const char* name : {"Bubbles.scr", "aurora.SCR", "two.dots.scr", "notes.txt", "scr"})
            touch(dir + u'/' + QLatin1String(name));
        QVERIFY(QDir().mkpath(dir + "/folder.scr")); // a folder is no saver

        const PowerCheck::SaverList list = PowerCheck::screenSaverList(dir, "Bubbles");
        QCOMPARE(list.entries.first(), QStringLiteral("--- Do not enable a screen saver ---"));
        QStringList names = list.entries.mid(1);
        // Listing order is the file system's; the content is fixed.
        QCOMPARE(list.entries.at(list.selected), QStringLiteral("Bubbles"));
        names.sort();
        QCOMPARE(names, QStringList({"Bubbles", "aurora", "two.dots"}));
        // The order is the directory's own, as readdir gives it.
        QStringList listed = QDir(dir).entryList({"*.scr", "*.SCR"}, QDir::Files, QDir::Unsorted);
        for (QString& f : listed)
            f = f.left(f.lastIndexOf(u'.'));
        QCOMPARE(list.entries.mid(1), listed);

        QCOMPARE(PowerCheck::screenSaverList(dir, "bubbles").selected, 0); // case matters
        QCOMPARE(PowerCheck::screenSaverList(dir, "0").selected, 0);
        QCOMPARE(PowerCheck::screenSaverList(dir, "two.dots").selected,
                 int(list.entries.indexOf("two.dots")));
        QCOMPARE(PowerCheck::screenSaverList(m_dir.filePath("missing"), "x").entries,
                 QStringList{"--- Do not enable a screen saver ---"});
    }

    // Two files with the same name before the extension: the last one wins.
    void lastEqualNameIsSelected() {
        const QString dir = m_dir.filePath("twins");
        QVERIFY(QDir().mkpath(dir));
        touch(dir + "/Ribbons.scr");
        touch(dir + "/Ribbons.SCR");
        const PowerCheck::SaverList list = PowerCheck::screenSaverList(dir, "Ribbons");
        QCOMPARE(list.entries.size(), 3);
        QCOMPARE(list.selected, 2);
    }
};

QTEST_GUILESS_MAIN(tst_PowerCheck)
#include "tst_powercheck.moc"
