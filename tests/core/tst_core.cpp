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
        for (const auto& [line, expected] : {std::pair{"", ""},
                                             {"x /NoMail y /Start", "sm"},
                                             {"/DEBUGGING", "d"}, // inside a longer word
                                             {"/DEBUG /NOHW /NOOVERLAY /NOREMOTE /START", "dhors"},
                                             {"/nohw/nooverlay", "ho"},
                                             {"DEBUG START", ""}})
            QTest::newRow(line) << line << expected;
    }
    void parse() {
        QFETCH(QString, line);
        const CommandLine c = CommandLine::parse(line);
        const bool found[] = {c.debug, c.noHardware, c.noOverlay, c.noRemote, c.start, c.noMail};
        QString letters;
        for (int i = 0; i < 6; ++i)
            letters += found[i] ? QStringLiteral("dhorsm").mid(i, 1) : QString();
        QTEST(letters, "expected");
        // Arguments are joined: two that only form a switch together do not count.
        QVERIFY(!CommandLine::fromArguments({"/DE", "BUG"}).debug);
        QVERIFY(CommandLine::fromArguments({"--x", "a/nomailb"}).noMail);
    }

    // What each reader makes of a stored text; -1 is the default.
    void readers_data() {
        QTest::addColumn<QString>("stored"); // null: no such key
        QTest::addColumn<QString>("read");   // int16 int32 single byte boolean(-1 = default)
        QTest::newRow("missing") << QString() << "-1 -1 -1 -1 -1";
        for (const auto& [stored, read] : {std::pair{"3", "3 3 3 3 1"},
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
                                           {"0", "0 0 0 0 0"}})
            QTest::newRow(*stored ? stored : "empty") << stored << read;
    }
    void readers() {
        QFETCH(QString, stored);
        QFile::remove(m_store.filePath());
        if (!stored.isNull())
            m_config.save("Value", stored);
        // Byte and boolean show their default as -1 through two defaults.
        const int byte = m_config.byte("Value", 1);
        const bool t = m_config.boolean("Value", true), f = m_config.boolean("Value", false);
        QTEST(QStringLiteral("%1 %2 %3 %4 %5")
                  .arg(m_config.int16("Value", -1))
                  .arg(m_config.int32("Value", -1))
                  .arg(double(m_config.single("Value", -1.0F)))
                  .arg(byte == 1 && m_config.byte("Value", 2) == 2 ? -1 : byte)
                  .arg(t != f ? -1 : int(t)),
              "read");
        QCOMPARE(m_config.text("Value", "<none>"), stored.isNull() ? "<none>" : stored);
    }

    // Scrambled by a permutation of the alphabet; what is outside it is refused.
    void scramble_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("whole alphabet, zero last")
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
        QString sorted = stored, plainSorted = password; // every character once, moved
        std::sort(sorted.begin(), sorted.end());
        std::sort(plainSorted.begin(), plainSorted.end());
        QVERIFY(password.size() < 60 || (stored != password && sorted == plainSorted));
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
        for (const char* name : {"Five", "Minute", "Long", "Max", "name", "Missing", "Huge"})
            read << Registry::ReadRegValue(view, user, key, QLatin1String(name));
        for (const std::uint32_t root : {Registry::HKEY_LOCAL_MACHINE, 0u, 0x80000007u})
            read << Registry::ReadRegValue(view, root, key, QStringLiteral("Five"));
        QCOMPARE(read, QStringList({"005", "060", "1200", "4294967295", "Home/Office Desk", "", "",
                                    "", "", ""}));
    }

    void freeSpaceAndFolders() {
        QCOMPARE(PublicStuff::megabytes(1572864), 1.5);
        QCOMPARE(PublicStuff::megabytes(5ULL << 30), 5120.0); // beyond 32 bits
        QCOMPARE(PublicStuff::FreeDiskSpaceMB(QStringLiteral("/no/such/folder")), 0.0);
        QVERIFY(PublicStuff::FreeDiskSpaceMB(QDir::tempPath()) > 0.0);

        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", "/tmp/sentorix-data");
        QStringList paths{FileSystem::saverDirectory()};
        qputenv("XDG_DATA_HOME", saved);
        qputenv("TEMP", "/some/temp");
        paths << TraceLog::defaultPath();
        qunsetenv("TEMP");
        qputenv("TMPDIR", "/other");
        paths << TraceLog::defaultPath();
        qunsetenv("TMPDIR");
        paths << TraceLog::defaultPath();
        QCOMPARE(paths,
                 QStringList({"/tmp/sentorix-data/sentorix/savers/", "/some/temp/ZarvelDebug.dat",
                              "/other/ZarvelDebug.dat", "/tmp/ZarvelDebug.dat"}));
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

    // Lines are appended across runs, only in debug mode, and only while open.
    void traceLines() {
        const QString path = m_dir.filePath(QStringLiteral("ZarvelDebug.dat"));
        for (int run = 0; run < 2; ++run) {
            PublicStuff stuff([] { return FixedTime; });
            stuff.DebugMode = true;
            stuff.WriteTrace("Init", "not open");
            QVERIFY(stuff.trace().open(path));
            stuff.DebugMode = false;
            stuff.WriteTrace("Init", "debug off");
            stuff.DebugMode = true;
            stuff.WriteTrace("Rec_Click", "Recording Time changed");
            stuff.trace().close();
            stuff.WriteTrace("Init", "closed");
        }
        const QByteArray line = "12/6/2026 9:05:07 AM - Rec_Click - Recording Time changed\r\n";
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), line + line);
        TraceLog log([] { return FixedTime; });
        QVERIFY(!log.open(m_dir.filePath(QStringLiteral("no/such/dir/ZarvelDebug.dat"))));
        log.write("Init", "x"); // must not crash
        QVERIFY(!log.isOpen());
    }
};

QTEST_GUILESS_MAIN(tst_Core)
#include "tst_core.moc"
