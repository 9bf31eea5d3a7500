// The event log's rows and rewrites on real files, and the page as a browser
// renders it.
#include "EventLog.h"
#include "TestData.h"

#include <QDir>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using TestData::readFile;
using TestData::writeFile;

class tst_EventLog final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    const EventLog m_log{m_dir.path()};
    const QString m_logFile = m_log.logPath();
    const QString m_dftFile = m_log.templatePath();
    const QByteArray m_dft = "T\r\n<!--DATA-->\r\n";

private Q_SLOTS:
    void init() {
        QFile::remove(m_logFile);
        QFile::remove(m_dftFile);
    }

    void entriesByteForByte() {
        QVERIFY(writeFile(m_logFile, "<table>\r\n<!--DATA-->\r\n</table>\r\n"));
        const QString camera = QStringLiteral("Test <scene> & co");
        QVERIFY(m_log.AddLogEntry("1", "2", " /v/a b.avi ", camera, 1.2F));
        QVERIFY(m_log.AddLogEntry("3", "4", "/v/c.avi", camera, 8.0F));
        // Only blanks: a message, which goes in as it is and needs no camera.
        QVERIFY(m_log.AddLogEntry("5", QString::fromUtf8("<550> \"jörg\" & co"), "  ", std::nullopt,
                                  4.0F));
        const QByteArray log = readFile(m_logFile);
        QCOMPARE(log,
                 "<table>\r\n"
                 "<TR><TD ALIGN=LEFT>1</TD><TD ALIGN=LEFT>2</TD><TD ALIGN=LEFT>Test <scene> & "
                 "co</TD><TD ALIGN=RIGHT> 1.2%</TD><TD ALIGN=LEFT><A HREF=\"file:/// /v/a b.avi "
                 "\">Play</A></TD></TR>\r\n"
                 "<TR><TD ALIGN=LEFT>3</TD><TD ALIGN=LEFT>4</TD><TD ALIGN=LEFT>Test <scene> & "
                 "co</TD><TD ALIGN=RIGHT> 8%</TD><TD ALIGN=LEFT><A HREF=\"file:////v/c.avi\">"
                 "Play</A></TD></TR>\r\n"
                 "<TR><TD ALIGN=LEFT>5</TD><TD ALIGN=LEFT COLSPAN=3><550> \"j\xc3\xb6rg\" & "
                 "co</TD><TD ALIGN=LEFT>&nbsp;</TD></TR>\r\n"
                 "<!--DATA-->\r\n</table>\r\n");
        // A recording row needs the camera's name; without a log none is made.
        QVERIFY(!m_log.AddLogEntry("6", "7", "/v/d.avi", std::nullopt, 4.0F));
        QCOMPARE(readFile(m_logFile), log);
        QFile::remove(m_logFile);
        QVERIFY(!m_log.AddLogEntry("8", "m", "", std::nullopt, 4.0F) && !QFile::exists(m_logFile));
    }

    void markerRules_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("rows pile up above each marker")
            << QByteArray("a\r\nold\r\n<!--DATA-->\r\nx\r\n<!--DATA-->\r\n")
            << QByteArray("a\r\nold\r\nROW\r\n<!--DATA-->\r\nx\r\nROW\r\n<!--DATA-->\r\n");
        QTest::newRow("only the exact line is a marker")
            << QByteArray(" <!--DATA-->\r\n<!--DATA--> \r\n<!--data-->\r\n")
            << QByteArray(" <!--DATA-->\r\n<!--DATA--> \r\n<!--data-->\r\n");
        QTest::newRow("a lone CR ends a line, so does the file's end")
            << QByteArray("a\r<!--DATA-->\rb\r\n<!--DATA-->")
            << QByteArray("a\r\nROW\r\n<!--DATA-->\r\nb\r\nROW\r\n<!--DATA-->\r\n");
        QTest::newRow("a lone LF belongs to the line")
            << QByteArray("a\n<!--DATA-->\nb\n") << QByteArray("a\n<!--DATA-->\nb\n\r\n");
        QTest::newRow("empty file") << QByteArray() << QByteArray();
    }
    void markerRules() {
        QFETCH(QByteArray, before);
        QTEST(EventLog::withRow(before, "ROW\r\n"), "after");
    }

    // A rewrite that runs out of space leaves the old log whole and no
    // temporary file behind.
    void fullDiskKeepsTheOldLog() {
        // Smaller than the file's write buffer, so the failure shows only
        // when the buffer is flushed.
        const QByteArray before = QByteArray(8192, 'x') + "\r\n" + m_dft;
        QVERIFY(writeFile(m_logFile, before));
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{rlim_t(before.size()), saved.rlim_max}; // the new content is larger
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = m_log.AddLogEntry("now", "new entry", "", std::nullopt, 4.0F);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
        QVERIFY(!written);
        QCOMPARE(readFile(m_logFile), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{EventLog::LogFile});
    }

    // Made and cleared from the template as the window shows; an existing
    // log is kept, and without a template there is no log and no row.
    void templateBecomesTheLog() {
        m_log.createIfMissing();
        QVERIFY(!QFile::exists(m_logFile));
        QVERIFY(writeFile(m_dftFile, m_dft) && writeFile(m_logFile, "kept"));
        m_log.createIfMissing();
        QCOMPARE(readFile(m_logFile), QByteArray("kept"));
        QFile::remove(m_dftFile);
        m_log.clear();
        QVERIFY(!QFile::exists(m_logFile) && !m_log.AddLogEntry("1", "m", "", std::nullopt, 4.0F));
    }

    // A folder that takes no new files still has its log written in place,
    // and cleared.
    void readOnlyFolderKeepsTheLog() {
        QVERIFY(writeFile(m_dftFile, m_dft) && writeFile(m_logFile, m_dft));
        // Root passes permission checks through CAP_DAC_OVERRIDE; this thread
        // leaves it out of its effective set meanwhile.
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[2]{};
        QCOMPARE(syscall(SYS_capget, &header, caps), 0);
        const auto effective = caps[0].effective;
        caps[0].effective &= ~(1U << CAP_DAC_OVERRIDE);
        QVERIFY(QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        const auto restore = qScopeGuard([&] {
            caps[0].effective = effective;
            syscall(SYS_capset, &header, caps);
            QFile::setPermissions(m_dir.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        QCOMPARE(syscall(SYS_capset, &header, caps), 0);
        QVERIFY(!QFile(m_dir.filePath("probe")).open(QIODevice::WriteOnly));
        QVERIFY(m_log.AddLogEntry("1", "m", "", std::nullopt, 4.0F));
        QCOMPARE(readFile(m_logFile), "T\r\n" + EventLog::messageRow("1", "m") + "<!--DATA-->\r\n");
        m_log.clear();
        QCOMPARE(readFile(m_logFile), m_dft);
    }

    // Two rows made into the shipped template, rendered by headless chromium
    // and read back from its DOM.
    void browserShowsTheShippedPage() {
        // Not every browser guesses the encoding as chromium does.
        QVERIFY(readFile(SENTORIX_LOG_TEMPLATE).contains("<meta charset=\"utf-8\">"));
        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty())
            QSKIP("chromium is not installed");
        QVERIFY(QFile::copy(QStringLiteral(SENTORIX_LOG_TEMPLATE), m_dftFile));
        m_log.createIfMissing();
        const QString video = m_dir.filePath("06122026-090507.avi");
        QVERIFY(m_log.AddLogEntry("12/6/2026 9:05:07 AM", "12/6/2026 9:05:31 AM", video,
                                  QStringLiteral("Test scene camera"), 1.2F));
        QVERIFY(m_log.AddLogEntry("12/6/2026 9:05:40 AM",
                                  QString::fromUtf8("Mail sent to jörg@example.org"), "",
                                  std::nullopt, 1.2F));

        QTemporaryDir profile;
        QProcess browser;
        browser.start(chromium,
                      {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                       "--user-data-dir=" + profile.path(), "--dump-dom", "file://" + m_logFile});
        QVERIFY(browser.waitForFinished(90000));
        const QByteArray dom = browser.readAllStandardOutput();
        QVERIFY2(dom.contains("<tbody>"), browser.readAllStandardError().constData());
        // Two rows in the body: five cells, and three for the message that
        // spans the middle columns, read as UTF-8.
        const QByteArray rows = dom.mid(dom.indexOf("<tbody>"));
        QCOMPARE(rows.count("<tr>") * 100 + rows.count("<td "), 208);
        QVERIFY(rows.contains("<td align=\"RIGHT\"> 1.2%</td>"));
        QVERIFY(rows.contains("<a href=\"file:///" + QFile::encodeName(video) + "\">Play</a>"));
        QVERIFY(rows.contains("<td align=\"LEFT\" colspan=\"3\">Mail sent to j\xc3\xb6rg@"));
    }
};

QTEST_GUILESS_MAIN(tst_EventLog)
#include "tst_eventlog.moc"
