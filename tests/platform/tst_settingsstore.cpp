#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_SettingsStore final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("Norvane/Sentorix.conf")); }
    QByteArray fileContent() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void cleanup() { QFile::remove(path()); }

    void writeThenReadBack() {
        SettingsStore store(path());
        QCOMPARE(store.read("CONFIG", "Camera", "2"), QStringLiteral("2"));
        QVERIFY(!QFile::exists(path())); // reading creates nothing
        QVERIFY(store.write("CONFIG", "Saver", " Night Sky "));
        QVERIFY(store.write("CONFIG", "Camera", "3"));
        QVERIFY(store.write("Config", "CAMERA", "4")); // replaces, whatever the case
        QCOMPARE(store.read("config", "saver", ""), QStringLiteral(" Night Sky "));
        QCOMPARE(store.read("CONFIG", "Camera", ""), QStringLiteral("4"));
        QCOMPARE(fileContent().toLower().count("camera="), 1);
        // A line break in a value cannot make a second key.
        QVERIFY(store.write("CONFIG", "EMail", "a@b.c\n[CONFIG]\nX=9"));
        QCOMPARE(store.read("CONFIG", "X", "2"), QStringLiteral("2"));
    }

    void existingFileIsReadAndKeptInOrder_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("sections") << QByteArray("[OTHER]\nCamera=9\n\n[CONFIG]\nVidPath=/a=b/\n\n"
                                                "[LAST]\nPosLeft=1\n");
        QTest::newRow("hand-edited") << QByteArray("; comment\r\n[CONFIG]\r\n  PosLeft = 1 \r\n"
                                                   "broken line\r\nVidPath=/a=b/\r\n");
        QByteArray garbage(4096, '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 131 + 7) & 0xff);
        QTest::newRow("binary garbage") << garbage + "\n[CONFIG]\nVidPath=/a=b/\n";
    }
    void existingFileIsReadAndKeptInOrder() {
        QFETCH(QByteArray, content);
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("Norvane"))));
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
        f.close();
        SettingsStore store(path());
        QCOMPARE(store.read("CONFIG", "Camera", "2"), QStringLiteral("2"));
        QCOMPARE(store.read("CONFIG", "broken line", "d"), QStringLiteral("d"));
        QVERIFY(store.write("CONFIG", "Camera", "3"));
        QCOMPARE(store.read("CONFIG", "Camera", ""), QStringLiteral("3"));
        QCOMPARE(store.read("CONFIG", "VidPath", ""), QStringLiteral("/a=b/"));
        if (QTest::currentDataTag() == QByteArray("sections")) {
            QCOMPARE(store.read("OTHER", "Camera", ""), QStringLiteral("9"));
            QCOMPARE(store.read("LAST", "PosLeft", ""), QStringLiteral("1"));
            // The new key joins its own section, before the blank separator.
            QVERIFY(fileContent().contains("[CONFIG]\nVidPath=/a=b/\nCamera=3\n\n[LAST]"));
        } else if (QTest::currentDataTag() == QByteArray("hand-edited")) {
            QCOMPARE(store.read("CONFIG", "PosLeft", ""), QStringLiteral(" 1 "));
        }
    }

    void unwritableLocationAndDefaultPath() {
        QFile blocker(m_dir.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SettingsStore store(m_dir.filePath(QStringLiteral("blocker/Sentorix.conf")));
        QVERIFY(!store.write("CONFIG", "Camera", "3"));
        QCOMPARE(store.read("CONFIG", "Camera", "2"), QStringLiteral("2"));

        qputenv("XDG_CONFIG_HOME", "/tmp/xdg-test");
        QCOMPARE(SettingsStore::defaultPath("Norvane"),
                 QStringLiteral("/tmp/xdg-test/Norvane/Sentorix.conf"));
        qunsetenv("XDG_CONFIG_HOME");
        QVERIFY(SettingsStore::defaultPath("Norvane").endsWith("/.config/Norvane/Sentorix.conf"));
    }
};

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
