// The real program as a process in a throw-away home: termination signals
// close it the way the close box does, and with /START it records the test
// scene's intruders, mails them, and repairs what kill -9 cut off.
#include "AviProbe.h"
#include "DateText.h"
#include "Footage.h"
#include "ProgramHome.h"
#include "PublicStuff.h"
#include "RecordingName.h"
#include "SmtpServer.h"
#include "TestData.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>

#include <algorithm>
#include <csignal>
#include <map>

class tst_Program final : public QObject {
    Q_OBJECT

    ProgramHome m_home;
    // A few frames of the test scene in a recording, in bytes.
    static constexpr qint64 SomeFrames = 600 * 1024;

    QStringList recordings() const {
        return QDir(m_home.videos()).entryList({"*.avi"}, QDir::Files, QDir::Name);
    }
    QByteArray read(const QString& recording) const {
        return TestData::readFile(m_home.videos() + recording);
    }
    // The first two cells of the log row that links to recording.
    QStringList logRow(const QByteArray& page, const QString& recording) const {
        const QString link = "<A HREF=\"file:///" + m_home.videos() + recording + '"';
        for (const QString& line : QString::fromUtf8(page).split("\r\n"))
            if (line.contains(link))
                return line.section("<TD ALIGN=LEFT>", 1, 2)
                    .remove("</TD>")
                    .split("<TD ALIGN=LEFT>");
        return {};
    }
    // Bytes of the newest recording.
    qint64 newest() const { return QFileInfo(m_home.videos() + recordings().last()).size(); }
    // Resident memory of a running process in kB, 0 when unreadable.
    static qint64 residentKb(const QProcess& p) {
        QFile f(QStringLiteral("/proc/%1/status").arg(p.processId()));
        const QByteArray status = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        const qsizetype at = status.indexOf("VmRSS:");
        return at < 0 ? 0 : status.mid(at + 6).trimmed().split(' ').value(0).toLongLong();
    }
    // Settings for recordings ten seconds after the last activity (one visit,
    // one file), the shipped log template, and no recordings yet.
    void prepare(const QStringList& settings) {
        m_home.clear();
        QDir(m_home.videos()).removeRecursively();
        QVERIFY(QDir().mkpath(m_home.videos()));
        QVERIFY(m_home.store(QStringList{"VidPath=" + m_home.videos(), "RecStop=1", "TimeType=1",
                                         "SAVER=0", "Notify=0"} +
                             settings));
        QVERIFY(QFile::copy(QStringLiteral(SENTORIX_LOG_TEMPLATE), m_home.path("zarveldft.html")));
    }
    void launch(QProcess& program, const QStringList& switches, const QString& scene = QString(),
                const QString& unplug = QString()) {
        QProcessEnvironment env = m_home.environment();
        env.insert("SENTORIX_SCENE", scene);
        env.insert("SENTORIX_SCENE_UNPLUG", unplug);
        env.insert("SENTORIX_NO_CAMERAS", "1");
        // AddressSanitizer's quarantine of freed blocks would otherwise
        // make the memory figure about the sanitizer.
        if (env.contains("ASAN_OPTIONS"))
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":quarantine_size_mb=16");
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(m_home.root());
        program.start(QStringLiteral(SENTORIX_BINARY), switches);
        QVERIFY(program.waitForStarted());
    }
    // Closed as by the close box: the window's place stored, the trace ended
    // (a profile's own settings and trace for its run).
    void terminate(QProcess& program, int signalNumber = SIGTERM, const QString& profile = {}) {
        ::kill(pid_t(program.processId()), signalNumber);
        QVERIFY(program.waitForFinished(TestData::Bound));
        QVERIFY(program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0);
        const QString own = profile.isEmpty() ? QString() : u'-' + profile;
        QCOMPARE(SettingsStore(m_home.path("config/Norvane/Sentorix" + own + ".conf"))
                     .read("CONFIG", "PosHeight", ""),
                 QStringLiteral("5805"));
        QVERIFY(m_home.read("temp/ZarvelDebug" + own + ".dat")
                    .endsWith(" - End - Unload completed\r\n"));
    }

    // A run that ends by itself, with its exit code and both outputs.
    struct Answer {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    static Answer answer(QProcess& program) {
        if (!program.waitForFinished(60000) || program.exitStatus() != QProcess::NormalExit)
            return {};
        return {program.exitCode(), program.readAllStandardOutput(),
                program.readAllStandardError()};
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_home.isValid()); }

    // Answered before any window system is asked for: with no display to
    // connect to, a program that went on would abort.
    void helpAndVersionWithoutAScreen() {
        QProcessEnvironment env = m_home.environment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        const auto run = [&env](const QStringList& arguments) {
            QProcess program;
            program.setProcessEnvironment(env);
            program.start(QStringLiteral(SENTORIX_BINARY), arguments);
            return answer(program);
        };
        for (const char* help : {"--help", "-h"}) {
            const Answer usage = run({"/START", help});
            QCOMPARE(usage.exitCode, 0);
            for (const char* word : {"/START", "/DEBUG", "--profile NAME", "--autostart on|off",
                                     "--version", "SENTORIX_TELNET_PORT", "XDG_CONFIG_HOME"})
                QVERIFY2(usage.out.contains(word), word);
        }
        const Answer version = run({"--version"});
        QCOMPARE(version.exitCode, 0);
        QVERIFY2(version.out.startsWith("Sentorix 1.0 (Revision 1.0."), version.out.constData());
        const Answer bad = run({"--profile", "../cam"});
        QCOMPARE(bad.exitCode, 2);
        QVERIFY2(bad.err.contains("\"../cam\" is not usable"), bad.err.constData());
    }

    // A second start on the same settings brings the first window forward
    // and ends; one killed with -9 leaves nothing that keeps the next out.
    void oneInstancePerSettingsFile() {
        prepare({});
        QProcess first;
        launch(first, {"/DEBUG", "/NOREMOTE"});
        QTRY_VERIFY_WITH_TIMEOUT(m_home.trace().contains("Position Window"), 60000);
        QProcess second;
        launch(second, {"/DEBUG", "/NOREMOTE", "/START"});
        const Answer refused = answer(second);
        QCOMPARE(refused.exitCode, 1);
        QVERIFY2(refused.err.contains("Sentorix is already running.\n"), refused.err.constData());
        QVERIFY(m_home.trace().contains(" - Instance - Window brought forward for a second start"));
        QCOMPARE(m_home.trace().count("Position Window"), 1);
        QCOMPARE(first.state(), QProcess::Running);
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(60000));
        launch(first, {"/DEBUG", "/NOREMOTE"});
        QTRY_VERIFY_WITH_TIMEOUT(m_home.trace().count("Position Window") == 2, 60000);
        terminate(first);
    }

    // Two profiles side by side: each has its settings, trace, console port
    // and video folder, and records its own camera; the default settings
    // are left alone.
    void twoProfilesSideBySide() {
        prepare({});
        QFile::remove(m_home.configPath());
        const QStringList profiles{"front", "back"};
        std::map<QString, int> ports;
        for (const QString& profile : profiles) {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            ports[profile] = probe.serverPort();
            QVERIFY(QDir().mkpath(m_home.path("Videos/" + profile)));
            SettingsStore settings(m_home.path("config/Norvane/Sentorix-" + profile + ".conf"));
            for (const QString& line :
                 QStringList{"RecStop=1", "TimeType=1", "Notify=0", "SAVER=0",
                             "RemotePW=" + PublicStuff::ScramblePassword("pw"),
                             "TelnetPort=" + QString::number(ports[profile])})
                QVERIFY(settings.write("CONFIG", line.section(u'=', 0, 0), line.section(u'=', 1)));
        }
        QVERIFY(ports["front"] != ports["back"]);
        QProcess front, back;
        launch(front, {"--profile", "front", "/START", "/NOMAIL", "/DEBUG"}, "1:3");
        launch(back, {"/PROFILE:back", "/START", "/NOMAIL", "/DEBUG"}, "1:3");
        for (const QString& profile : profiles) {
            QTRY_VERIFY_WITH_TIMEOUT(
                !QDir(m_home.path("Videos/" + profile)).entryList({"*.avi"}, QDir::Files).isEmpty(),
                TestData::Bound);
            QTcpSocket console;
            console.connectToHost(QHostAddress::LocalHost, quint16(ports[profile]));
            QVERIFY2(console.waitForConnected(30000), qPrintable(profile));
        }
        terminate(front, SIGTERM, "front");
        terminate(back, SIGTERM, "back");
        for (const QString& profile : profiles) // each run traced into its own file only
            QCOMPARE(m_home.read("temp/ZarvelDebug-" + profile + ".dat").count("Unload completed"),
                     1);
        QVERIFY(!QFile::exists(m_home.configPath()) && !QFile::exists(m_home.tracePath()));
    }

    // Visits at 11 s and 23 s of the scene, each a second long; calm before.
    // The first recording runs from the visit to ten seconds after it and is
    // mailed; the second is still running when SIGTERM closes the program
    // the way the close box does, and must be complete anyway.
    void recordsMailsAndClosesOnSIGTERM() {
        SmtpServer mailServer;
        prepare({"Notify=1", "EMail=ann@example.org", "SMTPServer=" + mailServer.address()});
        QProcess program;
        launch(program, {"/START", "/NOREMOTE", "/DEBUG"}, "11:1");
        QTRY_VERIFY_WITH_TIMEOUT(!recordings().isEmpty(), TestData::Bound);
        const qint64 early = residentKb(program);
        QTRY_VERIFY_WITH_TIMEOUT(recordings().size() == 2 && newest() > SomeFrames &&
                                     mailServer.messages().size() == 1,
                                 TestData::Bound);
        const qint64 growthKb = residentKb(program) - early;
        terminate(program);
        QCOMPARE(m_home.trace().count("Unload completed"), 1);
        const QStringList files = recordings();
        QCOMPARE(files.size(), 2);
        const QList<AviProbe::Stream> first = AviProbe::probe(m_home.videos() + files[0]);
        QVERIFY(first.size() == 1 && first[0].width == 640 && first[0].height == 480);
        // Ten seconds after the visit and two before it, give or take the
        // rest of the visit and the moment the capture takes to start.
        QVERIFY2(first[0].duration >= 11.0 && first[0].duration <= 14.0,
                 QByteArray::number(first[0].duration).constData());
        const QList<AviProbe::Stream> second = AviProbe::probe(m_home.videos() + files[1]);
        QVERIFY(second.size() == 1 && second[0].frames > 0);
        // Both recordings are in the event log, with links to their files,
        // and the first was mailed with the snapshot of its start.
        const QByteArray page = m_home.read("zarvellog.html");
        QCOMPARE(page.count("\">Play</A></TD></TR>\r\n"), 2);
        for (const QString& file : files)
            QVERIFY(page.contains("<A HREF=\"file:///" + QFile::encodeName(m_home.videos() + file) +
                                  '"'));
        QCOMPARE(page.count("Mail sent to ann@example.org</TD>"), 1);
        const QJsonObject mail = mailServer.messages().front();
        QVERIFY(mail["html"].toString().contains("Sentorix test scene camera"));
        const QJsonArray attachments = mail["attachments"].toArray();
        const QByteArray jpeg =
            QByteArray::fromBase64(attachments[0].toObject()["data"].toString().toLatin1());
        QVERIFY(attachments.size() == 1 && jpeg.startsWith("\xff\xd8") &&
                jpeg.endsWith("\xff\xd9"));
        // Frames that are examined must not pile up anywhere.
        QVERIFY2(growthKb < 50 * 1024, QByteArray::number(growthKb).constData());
    }

    // A video as the selected device: armed at once, the program records it
    // at the video's own size, from the calm seconds kept before the motion.
    void recordsAVideoSource() {
        prepare({"Camera=2"}); // the first source, with no cameras
        const QString clip = m_home.path("door.mp4");
        const QString made = Footage::make(clip, QSize(768, 576), "-c:v libx264", 8, 10, 4);
        QVERIFY2(made.isEmpty(), qPrintable(made));
        QVERIFY(SettingsStore(m_home.configPath())
                    .write("SOURCES", "Source1", QUrl::fromLocalFile(clip).toString()));
        QProcess program;
        launch(program, {"/START", "/NOREMOTE", "/NOMAIL", "/DEBUG"});
        QTRY_VERIFY_WITH_TIMEOUT(!recordings().isEmpty() && newest() > SomeFrames, TestData::Bound);
        terminate(program);
        const QString recording = m_home.videos() + recordings().first();
        const QList<AviProbe::Stream> streams = AviProbe::probe(recording);
        QVERIFY(streams.size() == 1 && streams[0].width == 768 && streams[0].height == 576);
        // The first frame is the still grey picture, not the busy one that
        // started the recording.
        const QImage first = AviProbe::firstFrame(recording);
        QVERIFY(first.size() == QSize(768, 576));
        QStringList busy;
        for (int x = 8; x < 768; x += 40)
            if (const QRgb p = first.pixel(x, 300);
                std::abs(qRed(p) - 128) + std::abs(qGreen(p) - 128) + std::abs(qBlue(p) - 128) > 30)
                busy << QString::number(p, 16);
        QVERIFY2(busy.isEmpty(), qPrintable(busy.join(u' ')));
    }

    // Start-up waits at "device not available" (no device 1).
    void signalAtAStartUpMessageBox() {
        m_home.clear();
        QVERIFY(m_home.store({"Camera=3"}));
        QProcess program;
        launch(program, {"/DEBUG"});
        QTRY_VERIFY_WITH_TIMEOUT(m_home.trace().contains("Select device 1"), TestData::Bound);
        terminate(program);
    }

    // The camera is pulled a second into the first visit and plugged in
    // again two seconds later: the cut recording is complete and logged, and
    // the program, armed again by itself, records the next visit. That one,
    // and two more, are cut off by kill -9 at the first frame and some
    // seconds in; each next start gives them their length and index.
    void unpluggedAndKilledRecordings() {
        prepare({});
        using Kill = std::tuple<const char*, const char*, qint64, qsizetype>;
        for (const auto& [scene, unplug, bytes, files] :
             {Kill{"2:2", "3:2", SomeFrames, 2}, Kill{"1:3", "", 0, 1},
              Kill{"1:3", "", 10 * SomeFrames, 1}}) {
            const qsizetype before = recordings().size();
            QProcess program;
            launch(program, {"/START", "/NOREMOTE", "/NOMAIL", "/DEBUG"}, scene, unplug);
            QTRY_VERIFY_WITH_TIMEOUT(recordings().size() == before + files && newest() > bytes,
                                     TestData::Bound);
            ::kill(pid_t(program.processId()), SIGKILL);
            QVERIFY(program.waitForFinished(TestData::Bound));
        }
        const QStringList files = recordings();
        QCOMPARE(files.size(), 4);
        const double cut = AviProbe::probe(m_home.videos() + files[0]).value(0).duration;
        QVERIFY2(cut > 0 && cut <= 4.0, QByteArray::number(cut).constData()); // 2 s pre-record
        // Each start repaired and logged what the kill before it cut off.
        QCOMPARE(m_home.read("zarvellog.html").count("\">Play</A></TD></TR>\r\n"), 3);
        // What the program did not write, and a read-only recording of its
        // own, stay as they are.
        const QString stem = files[3].chopped(4);
        const QByteArray cutOff = read(files[3]);
        const std::map<QString, QByteArray> foreign{{"notes.txt", "not a recording"},
                                                    {"holiday.avi", ""},
                                                    {"camcorder.avi", cutOff},
                                                    {stem + "-2.avi", cutOff}};
        for (const auto& [name, bytes] : foreign)
            QVERIFY(TestData::writeFile(m_home.videos() + name, bytes));
        QVERIFY(QFile::setPermissions(m_home.videos() + stem + "-2.avi", QFile::ReadOwner));
        QProcess program;
        launch(program, {"/DEBUG", "/NOREMOTE"}, "1:3");
        const auto repaired = [this](const QString& name) {
            return m_home.trace().contains(" - Init - Recording repaired: " +
                                           QFile::encodeName(m_home.videos() + name) + "\r\n");
        };
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(files.begin() + 1, files.end(), repaired),
                                 TestData::Bound);
        terminate(program, SIGINT);
        for (const auto& [name, bytes] : foreign)
            QVERIFY2(read(name) == bytes, qPrintable(name));
        const QByteArray page = m_home.read("zarvellog.html");
        QCOMPARE(page.count("\">Play</A></TD></TR>\r\n"), 4);
        for (const QString& name : files) {
            const QList<AviProbe::Stream> streams = AviProbe::probe(m_home.videos() + name);
            // The default frame rate is 5 per second.
            QVERIFY(streams.size() == 1 && streams[0].frames > 0);
            QVERIFY(qAbs(streams[0].duration - streams[0].frames / 5.0) <= 0.2 + 1e-6);
            QCOMPARE(AviProbe::decodeErrors(m_home.videos() + name), QByteArray());
            // A repaired recording's row runs from the time in its name to
            // its last frame.
            const QStringList row = logRow(page, name);
            QVERIFY2(row.size() == 2, qPrintable(name));
            if (name == files[0])
                continue;
            QCOMPARE(RecordingName::fromStartText(QString(), row[0]), name);
            const QLocale locale;
            const QString format = DateText::dateFormat() + u' ' + DateText::timeFormat();
            const qint64 seconds =
                locale.toDateTime(row[0], format).secsTo(locale.toDateTime(row[1], format));
            QVERIFY2(qAbs(seconds - streams[0].frames / 5.0) <= 1.0, qPrintable(row.join(u'|')));
        }

        // A long repair does not keep the program from answering a
        // termination signal, and is left for the next start untouched.
        const QString tiny = stem + "-3.avi";
        const QByteArray chunks = cutOff.left(cutOff.indexOf("movi") + 4) +
                                  QByteArray("00dc\2\0\0\0xx", 10).repeated(5000000);
        QVERIFY(TestData::writeFile(m_home.videos() + tiny, chunks));
        const qsizetype loads = m_home.trace().count("Position Window");
        launch(program, {"/DEBUG", "/NOREMOTE"});
        QTRY_VERIFY_WITH_TIMEOUT(m_home.trace().count("Position Window") > loads, TestData::Bound);
        QElapsedTimer answer;
        answer.start();
        terminate(program);
        qInfo("SIGTERM answered in %lld ms during a repair", answer.elapsed());
        QVERIFY2(answer.elapsed() < 5000, QByteArray::number(answer.elapsed()).constData());
        QVERIFY(read(tiny) == chunks);
    }
};

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_program.moc"
