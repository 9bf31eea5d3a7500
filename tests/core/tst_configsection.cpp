#include "ConfigSection.h"
#include "SettingsStore.h"

#include <QTemporaryDir>
#include <QTest>

class tst_ConfigSection final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    SettingsStore m_store{m_dir.filePath(QStringLiteral("Sentorix.conf"))};
    ConfigSection m_config{m_store};

private Q_SLOTS:
    void cleanup() { QFile::remove(m_store.filePath()); }

    void numbers_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("asInt16");
        QTest::addColumn<float>("asSingle");
        QTest::newRow("plain") << "3" << 3 << 3.0F;
        QTest::newRow("blanks around") << "  7950 " << 7950 << 7950.0F;
        QTest::newRow("fraction rounds half to even") << "2.5" << 2 << 2.5F;
        QTest::newRow("fraction rounds up") << "3.5" << 4 << 3.5F;
        QTest::newRow("negative") << "-15" << -15 << -15.0F;
        QTest::newRow("not a number") << "abc" << -1 << -1.0F;
        QTest::newRow("number then text") << "12abc" << -1 << -1.0F;
        QTest::newRow("empty") << "" << -1 << -1.0F;
        QTest::newRow("out of 16-bit range") << "40000" << -1 << 40000.0F;
        QTest::newRow("infinite") << "inf" << -1 << -1.0F;
        QTest::newRow("beyond single range") << "1e300" << -1 << -1.0F;
    }
    void numbers() {
        QFETCH(QString, stored);
        QFETCH(int, asInt16);
        QFETCH(float, asSingle);
        m_config.save("Value", stored);
        QCOMPARE(int(m_config.int16("Value", -1)), asInt16);
        QCOMPARE(m_config.single("Value", -1.0F), asSingle);
    }

    void missingKeysGiveDefaults() {
        QCOMPARE(int(m_config.int16("Camera", 2)), 2);
        QCOMPARE(m_config.int32("LowSpace", 20), 20);
        QCOMPARE(int(m_config.byte("Notify", 1)), 1);
        QCOMPARE(m_config.boolean("SuspendRefresh", true), true);
        QCOMPARE(m_config.text("SAVER", "0"), QStringLiteral("0"));
    }

    void byteRange() {
        m_config.save("Notify", "300");
        QCOMPARE(int(m_config.byte("Notify", 1)), 1);
        m_config.save("Notify", "0");
        QCOMPARE(int(m_config.byte("Notify", 1)), 0);
    }

    void booleans_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("defaultValue");
        QTest::addColumn<bool>("expected");
        QTest::newRow("True") << "True" << false << true;
        QTest::newRow("false lower case") << "false" << true << false;
        QTest::newRow("number one") << "1" << false << true;
        QTest::newRow("zero") << "0" << true << false;
        QTest::newRow("garbage keeps default") << "yes please" << true << true;
    }
    void booleans() {
        QFETCH(QString, stored);
        QFETCH(bool, defaultValue);
        QFETCH(bool, expected);
        m_config.save("Audio", stored);
        QCOMPARE(m_config.boolean("Audio", defaultValue), expected);
    }

    void savedForms() {
        m_config.saveNumber("Camera", 3);
        QCOMPARE(m_store.read("CONFIG", "Camera", ""), QStringLiteral("3"));
        m_config.saveNumber("PosLeft", 1234.5);
        QCOMPARE(m_store.read("CONFIG", "PosLeft", ""), QStringLiteral("1234.5"));
        m_config.saveNumber("PosWidth", 7950);
        QCOMPARE(m_store.read("CONFIG", "PosWidth", ""), QStringLiteral("7950"));
        m_config.saveNumber("Far", 1000000);
        QCOMPARE(m_store.read("CONFIG", "Far", ""), QStringLiteral("1000000"));
        m_config.saveBoolean("Audio", true);
        QCOMPARE(m_store.read("CONFIG", "Audio", ""), QStringLiteral("True"));
        m_config.saveBoolean("Audio", false);
        QCOMPARE(m_store.read("CONFIG", "Audio", ""), QStringLiteral("False"));
    }
};

QTEST_GUILESS_MAIN(tst_ConfigSection)
#include "tst_configsection.moc"
