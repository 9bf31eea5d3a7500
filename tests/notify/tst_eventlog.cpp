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

    // Rows pile up above each marker; only the exact line is one; a lone CR
    // ends a line, so does the file's end; a lone LF belongs to the line.
    void markerRules() {
        QCOMPARE(
            EventLog::withRow("a\r\n<!--DATA-->\r\n <!--DATA-->\r\n<!--DATA--> \r\n<!--data-->\r"
                              "<!--DATA-->\r<!--DATA-->\nb\n\r\n<!--DATA-->",
                              "ROW\r\n"),
            "a\r\nROW\r\n<!--DATA-->\r\n <!--DATA-->\r\n<!--DATA--> \r\n<!--data-->\r\nROW\r\n"
            "<!--DATA-->\r\n<!--DATA-->\nb\n\r\nROW\r\n<!--DATA-->\r\n");
        QCOMPARE(EventLog::withRow("", "ROW\r\n"), QByteArray());
    }

    // Cleared without a template, there is no log, and so no row. A rewrite
    // that runs out of space leaves the old log whole and no temporary file
    // behind; a folder that takes no new files still has its log written in
    // place, and cleared.
    void clearedAndRefusedRewrites() {
        QVERIFY(writeFile(m_logFile, m_dft));
        m_log.clear();
        QVERIFY(!QFile::exists(m_logFile) && !m_log.AddLogEntry("1", "m", "", std::nullopt, 4.0F));

        // Below the size of the file's write buffer: the disk fills at the flush.
        const QByteArray before = QByteArray(8192, 'x') + "\r\n" + m_dft;
        QVERIFY(writeFile(m_dftFile, m_dft) && writeFile(m_logFile, before));
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
                 QStringList({EventLog::TemplateFile, EventLog::LogFile}));

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
        QCOMPARE(readFile(m_logFile),
                 QByteArray(before).replace("<!--DATA-->",
                                            EventLog::messageRow("1", "m") + "<!--DATA-->"));
        m_log.clear();
        QCOMPARE(readFile(m_logFile), m_dft);
    }

    // A recording row and a message row made into the shipped template, byte
    // for byte, then rendered by headless chromium and read back from its DOM.
    void rowsInTheShippedPage() {
        // Not every browser guesses the encoding as chromium does.
        QVERIFY(readFile(SENTORIX_LOG_TEMPLATE).contains("<meta charset=\"utf-8\">"));
        QVERIFY(QFile::copy(QStringLiteral(SENTORIX_LOG_TEMPLATE), m_dftFile));
        m_log.createIfMissing();
        const QByteArray page = readFile(m_logFile);
        const QString video = m_dir.filePath("06122026-090507.avi");
        QVERIFY(m_log.AddLogEntry("12/6/2026 9:05:07 AM", "12/6/2026 9:05:31 AM", video,
                                  QStringLiteral("Test <scene> & co"), 1.2F));
        // Only blanks: a message, which goes in as it is and needs no camera.
        QVERIFY(m_log.AddLogEntry("12/6/2026 9:05:40 AM",
                                  QString::fromUtf8("Mail sent to jörg@example.org"), "  ",
                                  std::nullopt, 8.0F));
        // A recording row needs the camera's name.
        QVERIFY(!m_log.AddLogEntry("6", "7", video, std::nullopt, 4.0F));
        QCOMPARE(readFile(m_logFile),
                 QByteArray(page).replace(
                     "<!--DATA-->",
                     "<TR><TD ALIGN=LEFT>12/6/2026 9:05:07 AM</TD><TD ALIGN=LEFT>12/6/2026 9:05:31 "
                     "AM</TD><TD ALIGN=LEFT>Test <scene> & co</TD><TD ALIGN=RIGHT> 1.2%</TD><TD "
                     "ALIGN=LEFT><A HREF=\"file:///" +
                         QFile::encodeName(video) +
                         "\">Play</A></TD></TR>\r\n<TR><TD ALIGN=LEFT>12/6/2026 9:05:40 AM</TD><TD "
                         "ALIGN=LEFT COLSPAN=3>Mail sent to j\xc3\xb6rg@example.org</TD><TD "
                         "ALIGN=LEFT>&nbsp;</TD></TR>\r\n<!--DATA-->"));

        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty())
            QSKIP("chromium is not installed");
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
