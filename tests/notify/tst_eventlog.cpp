// The event log's rows and its rewrite, on real files.
#include "EventLog.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeAll(const QString& path, const QByteArray& content) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

QByteArray shippedTemplate() {
    return readAll(QStringLiteral(SENTORIX_LOG_TEMPLATE));
}

// A folder that takes no new files while the object lives. Root passes
// permission checks through CAP_DAC_OVERRIDE, so this thread leaves that
// capability out of its effective set meanwhile.
class ReadOnlyFolder final {
public:
    explicit ReadOnlyFolder(QString path)
        : m_path(std::move(path)) {
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (syscall(SYS_capget, &m_header, m_saved) == 0) {
            __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
            reduced[0].effective &= ~(1U << CAP_DAC_OVERRIDE);
            m_dropped = syscall(SYS_capset, &m_header, reduced) == 0;
        }
    }
    ~ReadOnlyFolder() {
        if (m_dropped)
            syscall(SYS_capset, &m_header, m_saved);
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
    }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool refusesNewFiles() const {
        QFile probe(QDir(m_path).filePath(QStringLiteral("probe")));
        return !probe.open(QIODevice::WriteOnly);
    }

private:
    QString m_path;
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};

} // namespace

class tst_EventLog final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    EventLog log() const { return EventLog(m_dir.path()); }

private Q_SLOTS:
    void init() {
        QFile::remove(log().logPath());
        QFile::remove(log().templatePath());
    }

    void rowsByteForByte_data() {
        QTest::addColumn<float>("threshold");
        QTest::addColumn<QString>("recording");
        QTest::addColumn<QByteArray>("row");
        QTest::newRow("threshold 1.2")
            << 1.2F << "/home/ann/Videos/06122026-090507.avi"
            << QByteArray("<TR><TD ALIGN=LEFT>12/6/2026 9:05:07 AM</TD><TD ALIGN=LEFT>"
                          "12/6/2026 9:05:31 AM</TD><TD ALIGN=LEFT>Test <scene> & co</TD>"
                          "<TD ALIGN=RIGHT> 1.2%</TD><TD ALIGN=LEFT><A HREF=\"file:///"
                          "/home/ann/Videos/06122026-090507.avi\">Play</A></TD></TR>\r\n");
        QTest::newRow("threshold 8, blanks kept")
            << 8.0F << " /v/a b.avi "
            << QByteArray("<TR><TD ALIGN=LEFT>12/6/2026 9:05:07 AM</TD><TD ALIGN=LEFT>"
                          "12/6/2026 9:05:31 AM</TD><TD ALIGN=LEFT>Test <scene> & co</TD>"
                          "<TD ALIGN=RIGHT> 8%</TD><TD ALIGN=LEFT><A HREF=\"file:/// /v/a "
                          "b.avi \">Play</A></TD></TR>\r\n");
        QTest::newRow("blanks only: a message")
            << 4.0F << "   "
            << QByteArray("<TR><TD ALIGN=LEFT>12/6/2026 9:05:07 AM</TD><TD ALIGN=LEFT "
                          "COLSPAN=3>12/6/2026 9:05:31 AM</TD><TD ALIGN=LEFT>&nbsp;</TD>"
                          "</TR>\r\n");
        QTest::newRow("empty recording: a message")
            << 4.0F << ""
            << QByteArray("<TR><TD ALIGN=LEFT>12/6/2026 9:05:07 AM</TD><TD ALIGN=LEFT "
                          "COLSPAN=3>12/6/2026 9:05:31 AM</TD><TD ALIGN=LEFT>&nbsp;</TD>"
                          "</TR>\r\n");
    }
    void rowsByteForByte() {
        QFETCH(float, threshold);
        QFETCH(QString, recording);
        QFETCH(QByteArray, row);
        QVERIFY(writeAll(log().logPath(), "<table>\r\n<!--DATA-->\r\n</table>\r\n"));
        QVERIFY(log().AddLogEntry("12/6/2026 9:05:07 AM", "12/6/2026 9:05:31 AM", recording,
                                  QStringLiteral("Test <scene> & co"), threshold));
        QCOMPARE(readAll(log().logPath()), "<table>\r\n" + row + "<!--DATA-->\r\n</table>\r\n");
    }

    void messageTextGoesInUnescaped() {
        QCOMPARE(EventLog::messageRow("t", "Error sending mail: <550> user \"x\" & y"),
                 QByteArray("<TR><TD ALIGN=LEFT>t</TD><TD ALIGN=LEFT COLSPAN=3>Error sending "
                            "mail: <550> user \"x\" & y</TD><TD ALIGN=LEFT>&nbsp;</TD></TR>\r\n"));
        QCOMPARE(EventLog::messageRow("t", QString::fromUtf8("Mail sent to jörg@example.org")),
                 QByteArray("<TR><TD ALIGN=LEFT>t</TD><TD ALIGN=LEFT COLSPAN=3>Mail sent to "
                            "j\xc3\xb6rg@example.org</TD><TD ALIGN=LEFT>&nbsp;</TD></TR>\r\n"));
    }

    void thresholdsInGeneralForm() {
        QCOMPARE(EventLog::thresholdText(1.2F), QStringLiteral(" 1.2"));
        QCOMPARE(EventLog::thresholdText(2.0F), QStringLiteral(" 2"));
        QCOMPARE(EventLog::thresholdText(4.0F), QStringLiteral(" 4"));
        QCOMPARE(EventLog::thresholdText(6.0F), QStringLiteral(" 6"));
        QCOMPARE(EventLog::thresholdText(8.0F), QStringLiteral(" 8"));
    }

    void markerRules_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const QByteArray r = "ROW\r\n";
        QTest::newRow("rows pile up above the marker")
            << QByteArray("a\r\nold\r\n<!--DATA-->\r\nz\r\n")
            << QByteArray("a\r\nold\r\n" + r + "<!--DATA-->\r\nz\r\n");
        QTest::newRow("no marker: line ends only")
            << QByteArray("a\r\nb\rc") << QByteArray("a\r\nb\r\nc\r\n");
        QTest::newRow("blank before")
            << QByteArray(" <!--DATA-->\r\n") << QByteArray(" <!--DATA-->\r\n");
        QTest::newRow("blank after")
            << QByteArray("<!--DATA--> \r\n") << QByteArray("<!--DATA--> \r\n");
        QTest::newRow("other case")
            << QByteArray("<!--data-->\r\n") << QByteArray("<!--data-->\r\n");
        QTest::newRow("several markers")
            << QByteArray("<!--DATA-->\r\nx\r\n<!--DATA-->\r\n")
            << QByteArray(r + "<!--DATA-->\r\nx\r\n" + r + "<!--DATA-->\r\n");
        QTest::newRow("LF only: one line, no row")
            << QByteArray("a\n<!--DATA-->\nb\n") << QByteArray("a\n<!--DATA-->\nb\n\r\n");
        QTest::newRow("last line without line end")
            << QByteArray("a\r\n<!--DATA-->") << QByteArray("a\r\n" + r + "<!--DATA-->\r\n");
        QTest::newRow("bare CR ends a line")
            << QByteArray("a\r<!--DATA-->\rb") << QByteArray("a\r\n" + r + "<!--DATA-->\r\nb\r\n");
        QTest::newRow("empty line kept") << QByteArray("\r\n\r\n<!--DATA-->\r\n")
                                         << QByteArray("\r\n\r\n" + r + "<!--DATA-->\r\n");
        QTest::newRow("empty file") << QByteArray() << QByteArray();
    }
    void markerRules() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QCOMPARE(EventLog::withRow(before, "ROW\r\n"), after);
    }

    void entriesInTheOrderAdded() {
        QVERIFY(writeAll(log().logPath(), "<!--DATA-->\r\n"));
        QVERIFY(log().AddLogEntry("1", "first", "", std::nullopt, 4.0F));
        QVERIFY(log().AddLogEntry("2", "second", "/v/2.avi", QStringLiteral("cam"), 4.0F));
        const QByteArray content = readAll(log().logPath());
        QVERIFY(content.indexOf(">first<") < content.indexOf("/v/2.avi"));
        QVERIFY(content.endsWith("</TR>\r\n<!--DATA-->\r\n"));
    }

    void failedEntriesChangeNothing() {
        // No log: nothing is created.
        QVERIFY(!log().AddLogEntry("1", "m", "", std::nullopt, 4.0F));
        QVERIFY(!QFile::exists(log().logPath()));
        // A recording row needs the camera's name; a message does not.
        const QByteArray before = "x\r\n<!--DATA-->\r\n";
        QVERIFY(writeAll(log().logPath(), before));
        QVERIFY(!log().AddLogEntry("1", "2", "/v/1.avi", std::nullopt, 4.0F));
        QCOMPARE(readAll(log().logPath()), before);
        QVERIFY(log().AddLogEntry("1", "2", " ", std::nullopt, 4.0F));
    }

    // A rewrite that runs out of space must leave the previous log whole
    // and leave no temporary file behind.
    void failedRewriteKeepsTheOldLog() {
        QByteArray before = "<!--DATA-->\r\n";
        for (int i = 0; i < 200; ++i)
            before.prepend(EventLog::messageRow(QString::number(i), "old entry"));
        QVERIFY(writeAll(log().logPath(), before));

        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = rlim_t(before.size()); // the new content is larger
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = log().AddLogEntry("now", "new entry", "", std::nullopt, 4.0F);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QVERIFY(!written);
        QCOMPARE(readAll(log().logPath()), before);
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{EventLog::LogFile});
        // With room again the entry goes in.
        QVERIFY(log().AddLogEntry("now", "new entry", "", std::nullopt, 4.0F));
        QVERIFY(readAll(log().logPath()).contains("new entry"));
    }

    void startUpCopiesTheTemplateOnlyWhenMissing() {
        log().createIfMissing(); // no template: nothing, no complaint
        QVERIFY(!QFile::exists(log().logPath()));
        QVERIFY(writeAll(log().templatePath(), "T\r\n<!--DATA-->\r\n"));
        log().createIfMissing();
        QCOMPARE(readAll(log().logPath()), QByteArray("T\r\n<!--DATA-->\r\n"));
        QVERIFY(writeAll(log().logPath(), "kept"));
        log().createIfMissing();
        QCOMPARE(readAll(log().logPath()), QByteArray("kept"));
    }

    void clearRestoresTheTemplate() {
        QVERIFY(writeAll(log().templatePath(), "T\r\n<!--DATA-->\r\n"));
        QVERIFY(writeAll(log().logPath(), "many rows"));
        log().clear();
        QCOMPARE(readAll(log().logPath()), QByteArray("T\r\n<!--DATA-->\r\n"));
        QVERIFY(readAll(log().templatePath()) == "T\r\n<!--DATA-->\r\n");
        // Without a template no log is left, and entries are lost.
        QFile::remove(log().templatePath());
        log().clear();
        QVERIFY(!QFile::exists(log().logPath()));
        QVERIFY(!log().AddLogEntry("1", "m", "", std::nullopt, 4.0F));
    }

    // A folder that refuses new files (a shared or locked-down one) still
    // has its log written in place, and cleared.
    void readOnlyFolderKeepsTheLog() {
        const QByteArray dft = "T\r\n<!--DATA-->\r\n";
        QVERIFY(writeAll(log().templatePath(), dft));
        QVERIFY(writeAll(log().logPath(), dft));
        ReadOnlyFolder folder(m_dir.path());
        QVERIFY(folder.refusesNewFiles());
        QVERIFY(log().AddLogEntry("1", "m", "", std::nullopt, 4.0F));
        QCOMPARE(readAll(log().logPath()),
                 "T\r\n" + EventLog::messageRow("1", "m") + "<!--DATA-->\r\n");
        log().clear();
        QCOMPARE(readAll(log().logPath()), dft);
    }

    void shippedTemplateHoldsOneMarkerInATable() {
        const QByteArray page = shippedTemplate();
        QVERIFY(page.startsWith("<!DOCTYPE html>\r\n"));
        QCOMPARE(page.count("\r\n<!--DATA-->\r\n"), 1);
        QCOMPARE(page.count('\n'), page.count("\r\n")); // CR LF throughout
        QVERIFY(page.contains("<meta charset=\"utf-8\">"));
        QCOMPARE(page.count("</th>"), 5);
        QVERIFY(!page.contains("<script") && !page.contains("http"));
        const qsizetype marker = page.indexOf("<!--DATA-->");
        QVERIFY(page.lastIndexOf("<tbody>", marker) > page.lastIndexOf("<table>", marker));
        QVERIFY(page.indexOf("</tbody>", marker) < page.indexOf("</table>", marker));
    }

    // The log as a browser sees it: two rows made into the shipped template,
    // rendered by headless chromium, read back from its DOM.
    void browserShowsTheRowsAndTheLink() {
        const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
        if (chromium.isEmpty())
            QSKIP("chromium is not installed");
        QVERIFY(writeAll(log().templatePath(), shippedTemplate()));
        log().createIfMissing();
        const QString video = m_dir.filePath("06122026-090507.avi");
        QVERIFY(log().AddLogEntry("12/6/2026 9:05:07 AM", "12/6/2026 9:05:31 AM", video,
                                  QStringLiteral("Test scene camera"), 1.2F));
        QVERIFY(log().AddLogEntry("12/6/2026 9:05:40 AM", "Mail sent to ann@example.org", "",
                                  std::nullopt, 1.2F));

        QTemporaryDir profile;
        QProcess browser;
        browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                 "--user-data-dir=" + profile.path(), "--dump-dom",
                                 "file://" + log().logPath()});
        QVERIFY(browser.waitForFinished(90000));
        const QByteArray dom = browser.readAllStandardOutput();
        QVERIFY2(dom.contains("<tbody>"), browser.readAllStandardError().constData());
        // The parser made two table rows in the body: five cells, and three
        // for the message that spans the middle columns.
        const qsizetype body = dom.indexOf("<tbody>");
        const QByteArray rows = dom.mid(body, dom.indexOf("</tbody>") - body);
        QCOMPARE(rows.count("<tr>"), 2);
        QCOMPARE(rows.count("<td "), 8);
        QVERIFY(rows.contains("<td align=\"RIGHT\"> 1.2%</td>"));
        QVERIFY(rows.contains("<a href=\"file:///" + QFile::encodeName(video) + "\">Play</a>"));
        QVERIFY(rows.contains("<td align=\"LEFT\" colspan=\"3\">Mail sent to ann@example.org"));
    }
};

QTEST_GUILESS_MAIN(tst_EventLog)
#include "tst_eventlog.moc"
