#include "SettingsStore.h"
#include "TestData.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class tst_SettingsStore final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(QStringLiteral("Norvane/Sentorix.conf"));

private Q_SLOTS:
    void cleanup() { QFile::remove(m_path); }

    // Reading creates nothing; names match whatever their case; a line
    // break in a value cannot make a second key.
    void writeThenReadBack() {
        SettingsStore store(m_path);
        QCOMPARE(store.read("CONFIG", "Camera", "2"), QStringLiteral("2"));
        QVERIFY(!QFile::exists(m_path));
        QVERIFY(store.write("CONFIG", "Saver", " Night Sky ") &&
                store.write("CONFIG", "Camera", "3") && store.write("Config", "CAMERA", "4") &&
                store.write("CONFIG", "EMail", "a@b.c\n[CONFIG]\nX=9"));
        QCOMPARE(store.read("config", "saver", "") + u'|' + store.read("CONFIG", "Camera", "") +
                     u'|' + store.read("CONFIG", "X", "2"),
                 " Night Sky |4|2");
        QCOMPARE(TestData::readFile(m_path).toLower().count("camera="), 1);
        QVERIFY(TestData::writeFile(m_dir.filePath(QStringLiteral("blocker")), {}));
        QVERIFY(
            !SettingsStore(m_dir.filePath(QStringLiteral("blocker/x.conf"))).write("A", "B", "C"));
        qunsetenv("XDG_CONFIG_HOME"); // the program's runs cover the variable
        QVERIFY(SettingsStore::defaultPath("Norvane").endsWith("/.config/Norvane/Sentorix.conf"));
    }

    void existingFileIsReadAndKeptInOrder_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("other"); // [OTHER] Camera and [CONFIG] PosLeft as read
        QTest::newRow("sections") << QByteArray("[OTHER]\nCamera=9\n\n[CONFIG]\nVidPath=/a=b/\n\n"
                                                "[LAST]\nPosLeft=1\n")
                                  << "9|";
        QTest::newRow("hand-edited") << QByteArray("; comment\r\n[CONFIG]\r\n  PosLeft = 1 \r\n"
                                                   "broken line\r\nVidPath=/a=b/\r\n")
                                     << "| 1 ";
        QByteArray garbage(4096, '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 131 + 7) & 0xff);
        QTest::newRow("binary garbage") << garbage + "\n[CONFIG]\nVidPath=/a=b/\n"
                                        << "|";
    }
    void existingFileIsReadAndKeptInOrder() {
        QFETCH(QByteArray, content);
        QFETCH(QString, other);
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("Norvane"))));
        QVERIFY(TestData::writeFile(m_path, content));
        SettingsStore store(m_path);
        QCOMPARE(store.read("CONFIG", "broken line", "d"), QStringLiteral("d"));
        QCOMPARE(store.read("OTHER", "Camera", "") + u'|' + store.read("CONFIG", "PosLeft", ""),
                 other);
        QVERIFY(store.write("CONFIG", "Camera", "3"));
        QCOMPARE(store.read("CONFIG", "Camera", ""), QStringLiteral("3"));
        QCOMPARE(store.read("CONFIG", "VidPath", ""), QStringLiteral("/a=b/"));
        // The new key joins its own section, before the blank separator.
        QVERIFY(!content.startsWith("[OTHER]") ||
                TestData::readFile(m_path).contains("[CONFIG]\nVidPath=/a=b/\nCamera=3\n\n[LAST]"));
    }
};

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
