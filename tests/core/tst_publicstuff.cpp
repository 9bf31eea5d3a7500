#include "FileSystem.h"
#include "PublicStuff.h"
#include "Registry.h"
#include "RegistryView.h"

#include <QDir>
#include <QTest>

class tst_PublicStuff final : public QObject {
    Q_OBJECT

private Q_SLOTS:
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
        for (const auto& [root, name] : {std::pair{user, "Five"},
                                         {user, "Minute"},
                                         {user, "Long"},
                                         {user, "Max"},
                                         {user, "Name"},
                                         {user, "name"},
                                         {user, "Missing"},
                                         {user, "Huge"},
                                         {std::uint32_t(Registry::HKEY_LOCAL_MACHINE), "Five"},
                                         {0u, "Five"},
                                         {0x80000007u, "Five"}})
            read << Registry::ReadRegValue(view, root, key, QLatin1String(name));
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
};

QTEST_GUILESS_MAIN(tst_PublicStuff)
#include "tst_publicstuff.moc"
