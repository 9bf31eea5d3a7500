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
#include "TestData.h"
#include "TraceLog.h"

#include <QTemporaryDir>
#include <QTest>

class tst_Core final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SettingsStore m_store{m_dir.filePath(QStringLiteral("Sentorix.conf"))};
    ConfigSection m_config{m_store};
    static inline const QDateTime FixedTime{QDate(2026, 12, 6), QTime(9, 5, 7)};

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    // Switches are found in any case, even inside a longer word, once the
    // arguments are joined: two that only form a switch together do not
    // count. The profile in each of its spellings, keeping its case; names
    // that could leave their folder, or none, are refused. (Help and
    // version are read by the real program in tst_program.)
    void commandLine() {
        const CommandLine a = CommandLine::fromArguments({"/DE", "BUG", "START", "a/nomailb"});
        const CommandLine b = CommandLine::fromArguments({"/DEBUGGING", "/NoOverlay"});
        QCOMPARE(QList<bool>({a.debug, a.start, a.noMail, b.debug, b.noOverlay, b.noHardware}),
                 QList<bool>({false, false, true, true, true, false}));
        QStringList names;
        for (const QStringList& arguments :
             QList<QStringList>{{"/START", "/profile:Cam_2"},
                                {"--profile", "front-door", "/DEBUG"},
                                {"--profile=Yard"},
                                {"/NOHW"}})
            names << CommandLine::fromArguments(arguments).profile;
        QCOMPARE(names, QStringList({"Cam_2", "front-door", "Yard", ""}));
        for (const QStringList& bad : QList<QStringList>{
                 {"--profile"}, {"/PROFILE:../x"}, {"--profile", "a b"}, {"--profile=é"}})
            QVERIFY2(CommandLine::fromArguments(bad).error.contains("letters, digits"),
                     qPrintable(bad.join(u' ')));
        QVERIFY(CommandLine::fromArguments({"--profile", "x"}).error.isEmpty());
    }

    // What each reader makes of a stored text (null: no such key): int16,
    // int32, single, byte and boolean, -1 for the default; halves go to even.
    void readers() {
        QStringList read;
        for (const QString& stored :
             QStringList{QString(), "  250 ", "2.5", "3.5", "-15", "300", "40000", "12abc", "inf",
                         "1e300", "True", "false", "0"}) {
            QFile::remove(m_store.filePath());
            if (!stored.isNull())
                m_config.save("Value", stored);
            // Byte and boolean show their default as -1 through two defaults.
            const int byte = m_config.byte("Value", 1);
            const bool t = m_config.boolean("Value", true), f = m_config.boolean("Value", false);
            read << QStringLiteral("%1: %2 %3 %4 %5 %6")
                        .arg(stored)
                        .arg(m_config.int16("Value", -1))
                        .arg(m_config.int32("Value", -1))
                        .arg(double(m_config.single("Value", -1.0F)))
                        .arg(byte == 1 && m_config.byte("Value", 2) == 2 ? -1 : byte)
                        .arg(t != f ? -1 : int(t));
        }
        QCOMPARE(read,
                 QStringList({": -1 -1 -1 -1 -1", "  250 : 250 250 250 250 1", "2.5: 2 2 2.5 2 1",
                              "3.5: 4 4 3.5 4 1", "-15: -15 -15 -15 -1 1", "300: 300 300 300 -1 1",
                              "40000: -1 40000 40000 -1 1", "12abc: -1 -1 -1 -1 -1",
                              "inf: -1 -1 -1 -1 -1", "1e300: -1 -1 -1 -1 1", "True: -1 -1 -1 -1 1",
                              "false: -1 -1 -1 -1 0", "0: 0 0 0 0 0"}));
    }

    // Scrambled by a fixed permutation of the alphabet: changing it would make
    // every stored password unreadable. What is outside it is refused.
    void scramble() {
        const QString plain = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz1234567890";
        const QString stored = "Idu54t1jM8CLAvipHcUJ0QSzK7rsWNGVwf2nkybeR6aXmoBYTlhE3FPqxDgZ9O";
        QCOMPARE(QStringList({PublicStuff::ScramblePassword(plain),
                              PublicStuff::UnscramblePassword(stored),
                              PublicStuff::ScramblePassword("my pass"),
                              PublicStuff::UnscramblePassword(QString::fromUtf8("grün"))}),
                 QStringList({stored, plain, "", ""}));
    }

    // A number in at least three digits; too long a value or an unknown
    // root gives nothing.
    void readRegValue() {
        RegistryView view;
        const QString key = QStringLiteral("Control Panel\\PowerCfg");
        const std::uint32_t user = Registry::HKEY_CURRENT_USER;
        view.setDword(user, key, "Five", 5u);
        view.setDword(user, key, "Max", 0xFFFFFFFFu);
        view.setString(user, key, "Huge", QString(300, u'x'));
        QStringList read;
        for (const char* name : {"Five", "Max", "Huge"})
            read << Registry::ReadRegValue(view, user, key, QLatin1String(name));
        for (const std::uint32_t root : {0u, 0x80000007u})
            read << Registry::ReadRegValue(view, root, key, QStringLiteral("Five"));
        QCOMPARE(read, QStringList({"005", "4294967295", "", "", ""}));
    }

    // The trace goes to TEMP, else TMPDIR, else /tmp.
    void freeSpaceAndFolders() {
        QCOMPARE(PublicStuff::megabytes(5ULL << 30), 5120.0); // beyond 32 bits
        qputenv("XDG_DATA_HOME", "/tmp/sentorix-data");
        QStringList paths{FileSystem::saverDirectory()};
        for (const auto& [temp, tmpdir] :
             {std::pair{"/some/temp", "/other"}, {"", "/other"}, {"", ""}}) {
            qputenv("TEMP", temp);
            qputenv("TMPDIR", tmpdir);
            paths << TraceLog::defaultPath();
        }
        QCOMPARE(paths,
                 QStringList({"/tmp/sentorix-data/sentorix/savers/", "/some/temp/ZarvelDebug.dat",
                              "/other/ZarvelDebug.dat", "/tmp/ZarvelDebug.dat"}));
    }

    // Exactly midnight is the date alone; the locale decides the form.
    void generalDateText() {
        QStringList texts;
        for (const QDateTime& t : {FixedTime, QDateTime(QDate(2027, 1, 3), QTime(0, 0, 0)),
                                   QDateTime(QDate(2027, 1, 3), QTime(0, 0, 1))})
            texts << DateText::general(t);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        texts << DateText::general(FixedTime);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(texts, QStringList({"12/6/2026 9:05:07 AM", "1/3/2027", "1/3/2027 12:00:01 AM",
                                     "06.12.2026 09:05:07"}));
    }

    // Lines are appended across runs, only in debug mode, and only while open.
    void traceLines() {
        const QString path = m_dir.filePath(QStringLiteral("ZarvelDebug.dat"));
        for (const bool debug : {true, false, true}) {
            PublicStuff stuff([] { return FixedTime; });
            stuff.DebugMode = debug;
            stuff.WriteTrace("Init", "not open");
            QVERIFY(stuff.trace().open(path));
            stuff.WriteTrace("Rec_Click", "Recording Time changed");
            stuff.trace().close();
            stuff.WriteTrace("Init", "closed");
        }
        const QByteArray line = "12/6/2026 9:05:07 AM - Rec_Click - Recording Time changed\r\n";
        QCOMPARE(TestData::readFile(path), line + line);
        QVERIFY(
            !TraceLog([] { return FixedTime; }).open(m_dir.filePath("no/such/ZarvelDebug.dat")));
    }
};

QTEST_GUILESS_MAIN(tst_Core)
#include "tst_core.moc"
