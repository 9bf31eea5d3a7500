#include "ConfigSection.h"
#include "SettingsStore.h"

#include <QTemporaryDir>
#include <QTest>

class tst_ConfigSection final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    SettingsStore m_store{m_dir.filePath(QStringLiteral("Sentorix.conf"))};
    ConfigSection m_config{m_store};

private Q_SLOTS:
    // What each reader makes of a stored text; -1 is the default.
    void readers_data() {
        QTest::addColumn<QString>("stored"); // null: no such key
        QTest::addColumn<QString>("read");   // int16 int32 single byte boolean(-1 = default)
        QTest::newRow("missing") << QString() << "-1 -1 -1 -1 -1";
        QTest::newRow("plain") << "3"
                               << "3 3 3 3 1";
        QTest::newRow("blanks around") << "  250 "
                                       << "250 250 250 250 1";
        QTest::newRow("half to even") << "2.5"
                                      << "2 2 2.5 2 1";
        QTest::newRow("half up") << "3.5"
                                 << "4 4 3.5 4 1";
        QTest::newRow("negative") << "-15"
                                  << "-15 -15 -15 -1 1";
        QTest::newRow("byte range") << "300"
                                    << "300 300 300 -1 1";
        QTest::newRow("16-bit range") << "40000"
                                      << "-1 40000 40000 -1 1";
        QTest::newRow("text") << "12abc"
                              << "-1 -1 -1 -1 -1";
        QTest::newRow("empty") << ""
                               << "-1 -1 -1 -1 -1";
        QTest::newRow("infinite") << "inf"
                                  << "-1 -1 -1 -1 -1";
        QTest::newRow("beyond single") << "1e300"
                                       << "-1 -1 -1 -1 1";
        QTest::newRow("True") << "True"
                              << "-1 -1 -1 -1 1";
        QTest::newRow("false") << "false"
                               << "-1 -1 -1 -1 0";
        QTest::newRow("one") << "1"
                             << "1 1 1 1 1";
        QTest::newRow("zero") << "0"
                              << "0 0 0 0 0";
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
};

QTEST_GUILESS_MAIN(tst_ConfigSection)
#include "tst_configsection.moc"
