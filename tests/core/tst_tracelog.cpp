#include "DateText.h"
#include "PublicStuff.h"
#include "TraceLog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QDateTime FixedTime(QDate(2026, 12, 6), QTime(9, 5, 7));
}

class tst_TraceLog final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void generalDateText() {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
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

    void defaultPathFollowsTemp() {
        qputenv("TEMP", "/some/temp");
        QCOMPARE(TraceLog::defaultPath(), QStringLiteral("/some/temp/ZarvelDebug.dat"));
        qunsetenv("TEMP");
        qputenv("TMPDIR", "/other");
        QCOMPARE(TraceLog::defaultPath(), QStringLiteral("/other/ZarvelDebug.dat"));
        qunsetenv("TMPDIR");
        QCOMPARE(TraceLog::defaultPath(), QStringLiteral("/tmp/ZarvelDebug.dat"));
    }

    // Lines are appended across runs, only in debug mode, and only while open.
    void lines() {
        const QString path = m_dir.filePath(QStringLiteral("ZarvelDebug.dat"));
        for (int run = 0; run < 2; ++run) {
            PublicStuff stuff([] { return FixedTime; });
            stuff.DebugMode = true;
            stuff.WriteTrace(QStringLiteral("Init"), QStringLiteral("not open"));
            QVERIFY(stuff.trace().open(path));
            stuff.DebugMode = false;
            stuff.WriteTrace(QStringLiteral("Init"), QStringLiteral("debug off"));
            stuff.DebugMode = true;
            stuff.WriteTrace(QStringLiteral("Rec_Click"), QStringLiteral("Recording Time changed"));
            stuff.trace().close();
            stuff.WriteTrace(QStringLiteral("Init"), QStringLiteral("closed"));
        }
        const QByteArray line = "12/6/2026 9:05:07 AM - Rec_Click - Recording Time changed\r\n";
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), line + line);

        TraceLog log([] { return FixedTime; });
        QVERIFY(!log.open(m_dir.filePath(QStringLiteral("no/such/dir/ZarvelDebug.dat"))));
        log.write(QStringLiteral("Init"), QStringLiteral("x")); // must not crash
        QVERIFY(!log.isOpen());
    }
};

QTEST_GUILESS_MAIN(tst_TraceLog)
#include "tst_tracelog.moc"
