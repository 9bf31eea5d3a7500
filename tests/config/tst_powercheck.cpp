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
    const QString m_warning = QStringLiteral("WARNING: Windows standby mode is activated after");

private Q_SLOTS:
    // Rows: seconds in the desktop's scheme (-1: the record instead), the
    // record of scheme "3" (null: no scheme at all), the message.
    void powerMessage() {
        const QString cannot = QStringLiteral("Cannot read Power Management settings.");
        for (const auto& [seconds, record, text] :
             std::initializer_list<std::tuple<int, QByteArray, QString>>{
                 {-1, QByteArray(), cannot},
                 // The last byte of a binary value is not read: 30 bytes are too few.
                 {-1, QByteArray(30, '\x10'), cannot},
                 {-1, QByteArray(28, '\xff') + "\x08\x07\xff\xff", m_warning + " 30 minute(s)."},
                 {0, QByteArray(), "You have already disabled the Windows standby mode."},
                 {30, QByteArray(), m_warning + " .5 minute(s)."},
                 {3599, QByteArray(), m_warning + " 59.9833333333333 minute(s)."},
                 {3600, QByteArray(), m_warning + " 1 hour(s)."},
                 {4000, QByteArray(), m_warning + " 1.11111111111111 hour(s)."},
                 {100000, QByteArray(), m_warning + " 18.2041666666667 hour(s)."}}) {
            RegistryView view;
            if (seconds >= 0)
                PowerScheme::present(view, std::uint32_t(seconds));
            if (!record.isNull()) {
                view.setString(RegistryView::CurrentUser, "Control Panel\\PowerCfg",
                               "CurrentPowerPolicy", "3");
                view.setValue(RegistryView::CurrentUser,
                              "Control Panel\\PowerCfg\\PowerPolicies\\3", "Policies",
                              {RegistryView::TypeBinary, record});
            }
            const PowerCheck::PowerMessage m = PowerCheck::powerManagementMessage(view);
            QCOMPARE(m.text, text);
            QCOMPARE(m.checkEnabled, text.startsWith(m_warning));
        }
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
        const auto set = [](const char* key, const char* value) {
            return QProcess::execute(
                "gsettings", {"set", "org.gnome.settings-daemon.plugins.power", key, value});
        };
        QCOMPARE(PowerScheme::idleSleepSeconds(), std::optional<std::uint32_t>(1200));
        QCOMPARE(set("sleep-inactive-ac-timeout", "5400"), 0);
        RegistryView view;
        QVERIFY(PowerScheme::presentDesktopSetting(view));
        QCOMPARE(PowerCheck::powerManagementMessage(view).text, m_warning + " 1.5 hour(s).");
        QCOMPARE(set("sleep-inactive-ac-type", "'nothing'"), 0);
        QCOMPARE(PowerScheme::idleSleepSeconds(), std::optional<std::uint32_t>(0));
        // Without the schema nothing is known.
        qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(m_dir.filePath("nowhere")));
        QCOMPARE(PowerScheme::idleSleepSeconds(), std::nullopt);
        RegistryView none;
        QVERIFY(!PowerScheme::presentDesktopSetting(none));
        qunsetenv("GSETTINGS_SCHEMA_DIR");
        qunsetenv("GSETTINGS_BACKEND");
    }

    void saverListFromTheFolder() {
        const QString dir = m_dir.filePath("savers");
        QVERIFY(QDir().mkpath(dir + "/folder.scr")); // a folder is no saver
        for (const char* name : {"Bubbles.scr", "aurora.SCR", "two.dots.scr", "Ribbons.scr",
                                 "Ribbons.SCR", "notes.txt", "scr"})
            QVERIFY(QFile(dir + u'/' + QLatin1String(name)).open(QIODevice::WriteOnly));

        const PowerCheck::SaverList list = PowerCheck::screenSaverList(dir, "Ribbons");
        QCOMPARE(list.entries.first(), QStringLiteral("--- Do not enable a screen saver ---"));
        // In the directory's own order, as readdir gives it.
        QStringList listed = QDir(dir).entryList({"*.scr", "*.SCR"}, QDir::Files, QDir::Unsorted);
        for (QString& f : listed)
            f.truncate(f.lastIndexOf(u'.'));
        QCOMPARE(list.entries.mid(1), listed);
        QCOMPARE(listed.size(), 5);
        QCOMPARE(list.selected, list.entries.lastIndexOf("Ribbons")); // the last equal name
        QCOMPARE(PowerCheck::screenSaverList(dir, "two.dots").selected,
                 list.entries.indexOf("two.dots"));
        QCOMPARE(PowerCheck::screenSaverList(dir, "bubbles").selected, 0); // case matters
        QCOMPARE(PowerCheck::screenSaverList(m_dir.filePath("missing"), "x").entries,
                 QStringList{"--- Do not enable a screen saver ---"});
    }
};

QTEST_GUILESS_MAIN(tst_PowerCheck)
#include "tst_powercheck.moc"
