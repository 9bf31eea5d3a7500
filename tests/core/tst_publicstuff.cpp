#include "FileSystem.h"
#include "PublicStuff.h"
#include "Registry.h"
#include "RegistryView.h"

#include <QDir>
#include <QTest>

class tst_PublicStuff final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void scrambleRoundTrip_data() {
        QTest::addColumn<QString>("password");
        QTest::newRow("letters") << QStringLiteral("Secret");
        QTest::newRow("digits with zero last") << QStringLiteral("1234567890");
        QTest::newRow("whole alphabet")
            << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz1234567890");
        QTest::newRow("one char") << QStringLiteral("0");
    }
    void scrambleRoundTrip() {
        QFETCH(QString, password);
        const QString stored = PublicStuff::ScramblePassword(password);
        QCOMPARE(stored.size(), password.size());
        QCOMPARE(PublicStuff::UnscramblePassword(stored), password);
        QCOMPARE(PublicStuff::ScramblePassword(PublicStuff::UnscramblePassword(password)),
                 password);
    }

    void scrambleChangesTheText() {
        const QString plain =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz1234567890");
        const QString stored = PublicStuff::ScramblePassword(plain);
        QVERIFY(stored != plain);
        // A permutation: every character appears once.
        QString sorted = stored;
        std::sort(sorted.begin(), sorted.end());
        QString plainSorted = plain;
        std::sort(plainSorted.begin(), plainSorted.end());
        QCOMPARE(sorted, plainSorted);
    }

    void charactersOutsideTheAlphabetAreRefused_data() {
        QTest::addColumn<QString>("password");
        QTest::newRow("blank") << QStringLiteral("my pass");
        QTest::newRow("punctuation last") << QStringLiteral("abc!");
        QTest::newRow("umlaut") << QStringLiteral("gr\u00fcn");
        QTest::newRow("nul") << QString(QChar(u'\0'));
    }
    void charactersOutsideTheAlphabetAreRefused() {
        QFETCH(QString, password);
        QCOMPARE(PublicStuff::ScramblePassword(password), QString());
        QCOMPARE(PublicStuff::UnscramblePassword(password), QString());
    }

    void emptyStaysEmpty() {
        QCOMPARE(PublicStuff::ScramblePassword(QString()), QString());
        QCOMPARE(PublicStuff::UnscramblePassword(QString()), QString());
    }

    void readRegValue() {
        RegistryView view;
        const QString key = QStringLiteral("Control Panel\\PowerCfg");
        view.setDword(Registry::HKEY_CURRENT_USER, key, "Five", 5);
        view.setDword(Registry::HKEY_CURRENT_USER, key, "Minute", 60);
        view.setDword(Registry::HKEY_CURRENT_USER, key, "Long", 1200);
        view.setDword(Registry::HKEY_CURRENT_USER, key, "Max", 0xFFFFFFFFu);
        view.setString(Registry::HKEY_CURRENT_USER, key, "Name", "Home/Office Desk");
        view.setString(Registry::HKEY_CURRENT_USER, key, "Huge", QString(300, u'x'));

        const auto read = [&](std::uint32_t root, const char* name) {
            return Registry::ReadRegValue(view, root, key, QLatin1String(name));
        };
        QCOMPARE(read(Registry::HKEY_CURRENT_USER, "Five"), QStringLiteral("005"));
        QCOMPARE(read(Registry::HKEY_CURRENT_USER, "Minute"), QStringLiteral("060"));
        QCOMPARE(read(Registry::HKEY_CURRENT_USER, "Long"), QStringLiteral("1200"));
        QCOMPARE(read(Registry::HKEY_CURRENT_USER, "Max"), QStringLiteral("4294967295"));
        QCOMPARE(read(Registry::HKEY_CURRENT_USER, "Name"), QStringLiteral("Home/Office Desk"));
        QCOMPARE(read(Registry::HKEY_CURRENT_USER, "name"), QStringLiteral("Home/Office Desk"));
        QCOMPARE(read(Registry::HKEY_CURRENT_USER, "Missing"), QString());
        QCOMPARE(read(Registry::HKEY_CURRENT_USER, "Huge"), QString());
        QCOMPARE(read(Registry::HKEY_LOCAL_MACHINE, "Five"), QString());
        QCOMPARE(read(0, "Five"), QString());
        QCOMPARE(read(0x80000007, "Five"), QString());
    }

    void freeSpaceIsInMegabytesWithTheirFraction() {
        QCOMPARE(PublicStuff::megabytes(20971520), 20.0);
        QCOMPARE(PublicStuff::megabytes(1572864), 1.5);
        // Beyond 32 bits: 5 GiB must not wrap around.
        QCOMPARE(PublicStuff::megabytes(5ULL << 30), 5120.0);
    }

    void freeSpaceOfAPathThatCannotBeQueriedIsZero() {
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
};

QTEST_GUILESS_MAIN(tst_PublicStuff)
#include "tst_publicstuff.moc"
