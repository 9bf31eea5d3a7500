#include "SettingsStore.h"
#include "TestData.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class tst_SettingsStore final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(QStringLiteral("Norvane/Sentorix.conf"));
    // The owner's, group's and others' bits, without Qt's duplicate user bits.
    static constexpr QFile::Permissions modeBits{
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
        QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther |
        QFile::ExeOther};

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
        QCOMPARE(QFile::permissions(m_path) & modeBits, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(TestData::writeFile(m_dir.filePath(QStringLiteral("blocker")), {}));
        QVERIFY(
            !SettingsStore(m_dir.filePath(QStringLiteral("blocker/x.conf"))).write("A", "B", "C"));
        qunsetenv("XDG_CONFIG_HOME"); // the program's runs cover the variable
        QVERIFY(SettingsStore::defaultPath("Norvane").endsWith("/.config/Norvane/Sentorix.conf"));
    }

    // Binary garbage, hand-edited lines (CR LF, blanks, a comment, a line
    // without "="), and sections before and after; a new key joins its own
    // section, before the blank separator.
    void existingFileIsReadAndKeptInOrder() {
        QByteArray content(4096, '\0');
        for (int i = 0; i < content.size(); ++i)
            content[i] = char((i * 131 + 7) & 0xff);
        QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("Norvane"))) &&
                TestData::writeFile(m_path, content +
                                                "\n[OTHER]\r\nCamera=9\r\n\r\n; comment\r\n"
                                                "[CONFIG]\r\n  PosLeft = 1 \r\nbroken line\r\n"
                                                "VidPath=/a=b/\r\n\r\n[LAST]\nPosLeft=2\n"));
        SettingsStore store(m_path);
        QVERIFY(store.write("CONFIG", "Camera", "3"));
        QCOMPARE(QStringList(
                     {store.read("CONFIG", "broken line", "d"), store.read("OTHER", "Camera", ""),
                      store.read("CONFIG", "PosLeft", ""), store.read("LAST", "PosLeft", ""),
                      store.read("CONFIG", "Camera", ""), store.read("CONFIG", "VidPath", "")})
                     .join(u'|'),
                 "d|9| 1 |2|3|/a=b/");
        QVERIFY(TestData::readFile(m_path).contains("\nVidPath=/a=b/\nCamera=3\n\n[LAST]\n"));
        // A file left readable to others is closed to them at the next write.
        QCOMPARE(QFile::permissions(m_path) & modeBits, QFile::ReadOwner | QFile::WriteOwner);
    }
};

QTEST_GUILESS_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
