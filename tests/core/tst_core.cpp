// The bottom layer: command line, settings readers, scrambled passwords,
// registry reads, free space, dates and the trace.
#include "CommandLine.h"
#include "ConfigSection.h"
#include "DateText.h"
#include "FileSystem.h"
#include "PublicStuff.h"
#include "Registry.h"
#include "RegistryView.h"
#include "SettingsStore.h"
#include "TraceLog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QDateTime FixedTime(QDate(2026, 12, 6), QTime(9, 5, 7));
} // namespace

class tst_Core final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SettingsStore m_store{m_dir.filePath(QStringLiteral("Sentorix.conf"))};
    ConfigSection m_config{m_store};

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void parse_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expected"); // letters of the switches found: d h o r s m
        const char* const rows[][2] = {
            {"", ""},
            {"/debug", "d"},
            {"x /NoMail y /Start", "sm"},
            {"/DEBUGGING", "d"}, // inside a longer word
            {"/DEBUG /NOHW /NOOVERLAY /NOREMOTE /START /NOMAIL", "dhorsm"},
            {"/nohw/nooverlay", "ho"},
            {"DEBUG START", ""},
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << row[0] << row[1];
    }
    void parse() {
        QFETCH(QString, line);
        QFETCH(QString, expected);
        const CommandLine c = CommandLine::parse(line);
        const bool found[] = {c.debug, c.noHardware, c.noOverlay, c.noRemote, c.start, c.noMail};
        QString letters;
        for (int i = 0; i < 6; ++i)
            letters += found[i] ? QStringLiteral("dhorsm").at(i) : QChar();
        QCOMPARE(letters.remove(QChar()), expected);
    }

    void argumentsAreJoined() {
        // Two arguments that only form a switch when joined do not count;
        // one argument containing a switch does.
        QVERIFY(!CommandLine::fromArguments({"/DE", "BUG"}).debug);
        QVERIFY(CommandLine::fromArguments({"--x", "a/nomailb"}).noMail);
    }

    // What each reader makes of a stored text; -1 is the default.
    void readers_data() {
        QTest::addColumn<QString>("stored"); // null: no such key
        QTest::addColumn<QString>("read");   // int16 int32 single byte boolean(-1 = default)
        const char* const rows[][2] = {
            {"3", "3 3 3 3 1"},
            {"  250 ", "250 250 250 250 1"},
            {"2.5", "2 2 2.5 2 1"},
            {"3.5", "4 4 3.5 4 1"}, // half to even
            {"-15", "-15 -15 -15 -1 1"},
            {"300", "300 300 300 -1 1"},
            {"40000", "-1 40000 40000 -1 1"},
            {"12abc", "-1 -1 -1 -1 -1"},
            {"", "-1 -1 -1 -1 -1"},
            {"inf", "-1 -1 -1 -1 -1"},
            {"1e300", "-1 -1 -1 -1 1"},
            {"True", "-1 -1 -1 -1 1"},
            {"false", "-1 -1 -1 -1 0"},
            {"0", "0 0 0 0 0"},
        };
        QTest::newRow("missing") << QString() << "-1 -1 -1 -1 -1";
        for (const auto& row : rows)
            QTest::newRow(*row[0] ? row[0] : "empty") << row[0] << row[1];
    }
    void readers() {
        QFETCH(QString, stored);
        QFETCH(QString, read);
        QFile::remove(m_store.filePath());
        if (!stored.isNull())
            m_config.save("Value", stored);
        // The boolean reader shows its default as -1 through two defaults.
        const bool t = m_config.boolean("Value", true), f = m_config.boolean("Value", false);
        QCOMPARE(QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(m_config.int16("Value", -1))
                     .arg(m_config.int32("Value", -1))
                     .arg(double(m_config.single("Value", -1.0F)))
                     .arg(m_config.byte("Value", 1) == 1 && m_config.byte("Value", 2) == 2
                              ? -1
                              : int(m_config.byte("Value", 1)))
                     .arg(t != f ? -1 : int(t)),
                 read);
        QCOMPARE(m_config.text("Value", "<none>"), stored.isNull() ? "<none>" : stored);
    }

    void savedForms() {
        m_config.saveNumber("Camera", 3);
        m_config.saveNumber("PosLeft", 1234.5);
        m_config.saveNumber("Far", 1000000);
        m_config.saveBoolean("Audio", true);
        m_config.saveBoolean("Motion", false);
        QStringList stored;
        for (const char* key : {"Camera", "PosLeft", "Far", "Audio", "Motion"})
            stored << m_store.read("CONFIG", QLatin1String(key), "");
        QCOMPARE(stored, QStringList({"3", "1234.5", "1000000", "True", "False"}));
    }

    // Scrambled by a permutation of the alphabet; what is outside it is refused.
    void scramble_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("letters") << "Secret" << true;
        QTest::newRow("digits with zero last") << "1234567890" << true;
        QTest::newRow("whole alphabet")
            << "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz1234567890" << true;
        QTest::newRow("one char") << "0" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("blank") << "my pass" << false;
        QTest::newRow("umlaut") << QString::fromUtf8("grün") << false;
        QTest::newRow("nul") << QString(QChar(u'\0')) << false;
    }
    void scramble() {
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        const QString stored = PublicStuff::ScramblePassword(password);
        QCOMPARE(PublicStuff::UnscramblePassword(stored), accepted ? password : QString());
        QCOMPARE(PublicStuff::ScramblePassword(PublicStuff::UnscramblePassword(password)),
                 accepted ? password : QString());
        if (password.size() > 60) { // the whole alphabet: every character once
            QString sorted = stored, plainSorted = password;
            std::sort(sorted.begin(), sorted.end());
            std::sort(plainSorted.begin(), plainSorted.end());
            QVERIFY(stored != password && sorted == plainSorted);
        }
    }

    void readRegValue() {
        RegistryView view;
        const QString key = QStringLiteral("Control Panel\\PowerCfg");
        const std::uint32_t user = Registry::HKEY_CURRENT_USER;
        for (const auto& [name, value] :
             {std::pair{"Five", 5u}, {"Minute", 60u}, {"Long", 1200u}, {"Max", 0xFFFFFFFFu}})
            view.setDword(user, key, QLatin1String(name), value);
        view.setString(user, key, "Name", "Home/Office Desk");
        view.setString(user, key, "Huge", QString(300, u'x'));
        QStringList read;
        for (const char* name :
             {"Five", "Minute", "Long", "Max", "Name", "name", "Missing", "Huge"})
            read << Registry::ReadRegValue(view, user, key, QLatin1String(name));
        for (const std::uint32_t root : {Registry::HKEY_LOCAL_MACHINE, 0u, 0x80000007u})
            read << Registry::ReadRegValue(view, root, key, QStringLiteral("Five"));
        QCOMPARE(read, QStringList({"005", "060", "1200", "4294967295", "Home/Office Desk",
                                    "Home/Office Desk", "", "", "", "", ""}));
    }

    void freeSpace() {
        QCOMPARE(PublicStuff::megabytes(1572864), 1.5);
        QCOMPARE(PublicStuff::megabytes(5ULL << 30), 5120.0); // beyond 32 bits
        QCOMPARE(PublicStuff::FreeDiskSpaceMB(QStringLiteral("/no/such/folder")), 0.0);
        QVERIFY(PublicStuff::FreeDiskSpaceMB(QDir::tempPath()) > 0.0);
    }

    void saverFolderFollowsTheDataHome() {
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", "/tmp/sentorix-data");
        const QString folder = FileSystem::saverDirectory();
        qputenv("XDG_DATA_HOME", saved);
        QCOMPARE(folder, QStringLiteral("/tmp/sentorix-data/sentorix/savers/"));
    }

    void generalDateText() {
        QStringList texts;
        for (const QDateTime& t : {FixedTime, QDateTime(QDate(2027, 1, 2), QTime(23, 0, 0)),
                                   QDateTime(QDate(2027, 1, 3), QTime(0, 0, 0)),
                                   QDateTime(QDate(2027, 1, 3), QTime(0, 0, 1))})
            texts << DateText::general(t);
        // Exactly midnight is the date alone.
        QCOMPARE(texts, QStringList({"12/6/2026 9:05:07 AM", "1/2/2027 11:00:00 PM", "1/3/2027",
                                     "1/3/2027 12:00:01 AM"}));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(DateText::general(FixedTime), QStringLiteral("06.12.2026 09:05:07"));
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void defaultPathFollowsTemp() {
        qputenv("TEMP", "/some/temp");
        QCOMPARE(TraceLog::defaultPath(), QStringLiteral("/some/temp/ZarvelDebug.dat"));
        qunsetenv("TEMP");
        qputenv("TMPDIR", "/other");
        QCOMPARE(TraceLog::defaultPath(), QStringLiteral("/other/ZarvelDebug.dat"));
        qunsetenv("TMPDIR");
        QCOMPARE(TraceLog::defaultPath(), QStringLiteral("/tmp/ZarvelDebug.dat"));
    }

    // Lines are appended across runs, only in debug mode, and only while open.
    void lines() {
        const QString path = m_dir.filePath(QStringLiteral("ZarvelDebug.dat"));
        for (int run = 0; run < 2; ++run) {
            PublicStuff stuff([] { return FixedTime; });
            stuff.DebugMode = true;
            stuff.WriteTrace(QStringLiteral("Init"), QStringLiteral("not open"));
            QVERIFY(stuff.trace().open(path));
            stuff.DebugMode = false;
            stuff.WriteTrace(QStringLiteral("Init"), QStringLiteral("debug off"));
            stuff.DebugMode = true;
            stuff.WriteTrace(QStringLiteral("Rec_Click"), QStringLiteral("Recording Time changed"));
            stuff.trace().close();
            stuff.WriteTrace(QStringLiteral("Init"), QStringLiteral("closed"));
        }
        const QByteArray line = "12/6/2026 9:05:07 AM - Rec_Click - Recording Time changed\r\n";
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), line + line);

        TraceLog log([] { return FixedTime; });
        QVERIFY(!log.open(m_dir.filePath(QStringLiteral("no/such/dir/ZarvelDebug.dat"))));
        log.write(QStringLiteral("Init"), QStringLiteral("x")); // must not crash
        QVERIFY(!log.isOpen());
    }
};

QTEST_GUILESS_MAIN(tst_Core)
#include "tst_core.moc"
