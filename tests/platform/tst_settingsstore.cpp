#include "SettingsStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_SettingsStore final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath(QStringLiteral("Norvane/Sentorix.conf")); }
    void writeFile(const QByteArray& content) {
        QDir().mkpath(m_dir.filePath(QStringLiteral("Norvane")));
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QByteArray fileContent() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void cleanup() { QFile::remove(path()); }

    void missingFileYieldsDefaultsAndCreatesNothing() {
        SettingsStore store(path());
        QCOMPARE(store.read("CONFIG", "Camera", "2"), QStringLiteral("2"));
        QVERIFY(!QFile::exists(path()));
    }

    void writeThenReadBack() {
        SettingsStore store(path());
        QVERIFY(store.write("CONFIG", "VidPath", "/home/u/Videos/"));
        QVERIFY(store.write("CONFIG", "Saver", " Night Sky "));
        QVERIFY(store.write("CONFIG", "Camera", "3"));
        QVERIFY(store.write("CONFIG", "Camera", "4")); // replaces, no second line
        QCOMPARE(store.read("CONFIG", "VidPath", ""), QStringLiteral("/home/u/Videos/"));
        QCOMPARE(store.read("CONFIG", "Saver", ""), QStringLiteral(" Night Sky "));
        QCOMPARE(store.read("CONFIG", "Camera", ""), QStringLiteral("4"));
        QCOMPARE(fileContent().count("Camera="), 1);
    }

    void keysAndSectionsMatchWithoutCase() {
        SettingsStore store(path());
        QVERIFY(store.write("CONFIG", "Saver", "Flying"));
        QCOMPARE(store.read("config", "SAVER", "0"), QStringLiteral("Flying"));
        QVERIFY(store.write("Config", "SAVER", "Blank"));
        QCOMPARE(store.read("CONFIG", "saver", "0"), QStringLiteral("Blank"));
        QCOMPARE(fileContent().toLower().count("saver="), 1);
    }

    void sectionsAreSeparate() {
        writeFile("[OTHER]\nCamera=9\n\n[CONFIG]\nAudio=True\n\n[LAST]\nX=1\n");
        SettingsStore store(path());
        QCOMPARE(store.read("CONFIG", "Camera", "2"), QStringLiteral("2"));
        QVERIFY(store.write("CONFIG", "Camera", "3"));
        QCOMPARE(store.read("OTHER", "Camera", ""), QStringLiteral("9"));
        QCOMPARE(store.read("CONFIG", "Camera", ""), QStringLiteral("3"));
        QCOMPARE(store.read("LAST", "X", ""), QStringLiteral("1"));
        // The new key joins its own section, before the blank separator.
        QVERIFY(fileContent().contains("[CONFIG]\nAudio=True\nCamera=3\n\n[LAST]"));
    }

    void handEditedFileIsRead() {
        writeFile("; comment\r\n[CONFIG]\r\n  PosLeft = 1500 \r\nbroken line\r\nVidPath=/a=b/\r\n");
        SettingsStore store(path());
        QCOMPARE(store.read("CONFIG", "PosLeft", ""), QStringLiteral(" 1500 "));
        QCOMPARE(store.read("CONFIG", "VidPath", ""), QStringLiteral("/a=b/"));
        QCOMPARE(store.read("CONFIG", "broken line", "d"), QStringLiteral("d"));
    }

    void binaryGarbageDoesNotBreakReading() {
        QByteArray garbage(4096, '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 131 + 7) & 0xff);
        writeFile(garbage + "\n[CONFIG]\nCamera=5\n");
        SettingsStore store(path());
        QCOMPARE(store.read("CONFIG", "Camera", "2"), QStringLiteral("5"));
    }

    void valueWithLineBreakStaysOneLine() {
        SettingsStore store(path());
        QVERIFY(store.write("CONFIG", "EMail", "a@b.c\n[CONFIG]\nCamera=9"));
        QCOMPARE(store.read("CONFIG", "Camera", "2"), QStringLiteral("2"));
    }

    void unwritableLocationReportsFailure() {
        QFile blocker(m_dir.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        SettingsStore store(m_dir.filePath(QStringLiteral("blocker/Sentorix.conf")));
        QVERIFY(!store.write("CONFIG", "Camera", "3"));
        QCOMPARE(store.read("CONFIG", "Camera", "2"), QStringLiteral("2"));
    }

    void defaultPathFollowsXdgConfigHome() {
        qputenv("XDG_CONFIG_HOME", "/tmp/xdg-test");
        QCOMPARE(SettingsStore::defaultPath("Norvane"),
                 QStringLiteral("/tmp/xdg-test/Norvane/Sentorix.conf"));
        qunsetenv("XDG_CONFIG_HOME");
        QVERIFY(SettingsStore::defaultPath("Norvane").endsWith("/.config/Norvane/Sentorix.conf"));
    }
};

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
