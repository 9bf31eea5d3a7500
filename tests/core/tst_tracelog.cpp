#include "DateText.h"
#include "PublicStuff.h"
#include "TraceLog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QDateTime FixedTime(QDate(2026, 12, 6), QTime(9, 5, 7));

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class tst_TraceLog final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void generalDateText() {
        QCOMPARE(DateText::general(FixedTime), QStringLiteral("12/6/2026 9:05:07 AM"));
        QCOMPARE(DateText::general(QDateTime(QDate(2027, 1, 2), QTime(23, 0, 0))),
                 QStringLiteral("1/2/2027 11:00:00 PM"));
        // Exactly midnight is the date alone; a second later is not.
        QCOMPARE(DateText::general(QDateTime(QDate(2027, 1, 3), QTime(0, 0, 0))),
                 QStringLiteral("1/3/2027"));
        QCOMPARE(DateText::general(QDateTime(QDate(2027, 1, 3), QTime(0, 0, 1))),
                 QStringLiteral("1/3/2027 12:00:01 AM"));
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

    void linesAreAppendedAcrossRuns() {
        const QString path = m_dir.filePath(QStringLiteral("ZarvelDebug.dat"));
        for (int run = 0; run < 2; ++run) {
            TraceLog log([] { return FixedTime; });
            QVERIFY(log.open(path));
            log.write(QStringLiteral("Init"), QStringLiteral("Sentorix V1.0"));
            log.write(QStringLiteral("Rec_Click"), QStringLiteral("Recording Time changed"));
        }
        const QByteArray line1 = "12/6/2026 9:05:07 AM - Init - Sentorix V1.0\r\n";
        const QByteArray line2 = "12/6/2026 9:05:07 AM - Rec_Click - Recording Time changed\r\n";
        QCOMPARE(contentOf(path), line1 + line2 + line1 + line2);
    }

    void closedLogWritesNothing() {
        const QString path = m_dir.filePath(QStringLiteral("closed.dat"));
        TraceLog log([] { return FixedTime; });
        log.write(QStringLiteral("Init"), QStringLiteral("x"));
        QVERIFY(!QFile::exists(path));
        QVERIFY(log.open(path));
        log.close();
        log.write(QStringLiteral("Init"), QStringLiteral("x"));
        QCOMPARE(contentOf(path), QByteArray());
    }

    void missingDirectoryIsReported() {
        TraceLog log([] { return FixedTime; });
        QVERIFY(!log.open(m_dir.filePath(QStringLiteral("no/such/dir/ZarvelDebug.dat"))));
        log.write(QStringLiteral("Init"), QStringLiteral("x")); // must not crash
        QVERIFY(!log.isOpen());
    }

    void writeTraceHonoursDebugMode() {
        const QString path = m_dir.filePath(QStringLiteral("mode.dat"));
        PublicStuff stuff([] { return FixedTime; });
        QVERIFY(stuff.trace().open(path));
        stuff.WriteTrace(QStringLiteral("Init"), QStringLiteral("off"));
        stuff.DebugMode = true;
        stuff.WriteTrace(QStringLiteral("Init"), QStringLiteral("on"));
        stuff.trace().close();
        QCOMPARE(contentOf(path), QByteArray("12/6/2026 9:05:07 AM - Init - on\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_TraceLog)
#include "tst_tracelog.moc"
