// The real program as a process: termination signals close it the way the
// close box does, and with /START it records the test scene's intruders.
#include "AviProbe.h"
#include "JpegProbe.h"
#include "SmtpServer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>

class tst_Program final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", m_home.path());
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        env.insert("TEMP", m_home.filePath("temp"));
        env.insert("SENTORIX_NO_CAMERAS", "1");
        return env;
    }
    QString videoDir() const { return m_home.filePath("videos"); }
    void writeSettings(const QByteArray& lines) {
        QVERIFY(QDir(m_home.path()).mkpath("config/Norvane"));
        QFile f(m_home.filePath("config/Norvane/Sentorix.conf"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[CONFIG]\n" + lines);
    }
    QStringList recordings() const {
        return QDir(videoDir()).entryList({"*.avi"}, QDir::Files, QDir::Name);
    }
    // Resident memory of a running process in kB, 0 when unreadable.
    static qint64 residentKb(qint64 pid) {
        QFile f(QStringLiteral("/proc/%1/status").arg(pid));
        if (!f.open(QIODevice::ReadOnly))
            return 0;
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        return 0;
    }
    // Runs the armed program for the given time, then closes it by signal.
    // Runs the armed program; with a mail server it mails, else /NOMAIL.
    void runArmed(const QByteArray& scene, int milliseconds, qint64* rssGrowthKb = nullptr,
                  const SmtpServer* mailServer = nullptr) {
        QDir(videoDir()).removeRecursively();
        QVERIFY(QDir().mkpath(videoDir()));
        // Ten seconds after the last activity, so one visit gives one file.
        QByteArray mail = "Notify=0\n";
        if (mailServer != nullptr)
            mail =
                "Notify=1\nEMail=ann@example.org\nSMTPServer=" + mailServer->address().toLatin1() +
                '\n';
        writeSettings("VidPath=" + QFile::encodeName(videoDir()) +
                      "/\nRecStop=1\nTimeType=1\nSAVER=0\n" + mail);
        // The shipped log template, where the program looks for it.
        QFile::remove(m_home.filePath("zarvellog.html"));
        QFile::remove(m_home.filePath("zarveldft.html"));
        QVERIFY(
            QFile::copy(QStringLiteral(SENTORIX_LOG_TEMPLATE), m_home.filePath("zarveldft.html")));
        QProcessEnvironment env = environment();
        env.insert("SENTORIX_SCENE", QString::fromLatin1(scene));
        // Under AddressSanitizer freed blocks wait in a quarantine of
        // 256 MB before reuse; a small one keeps the memory figure about
        // the program instead of the sanitizer.
        if (env.contains("ASAN_OPTIONS"))
            env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":quarantine_size_mb=16");
        QProcess program;
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(m_home.path());
        QStringList switches{"/START", "/NOREMOTE"};
        if (mailServer == nullptr)
            switches << "/NOMAIL";
        program.start(QStringLiteral(SENTORIX_BINARY), switches);
        QVERIFY(program.waitForStarted());
        QTest::qWait(milliseconds / 4);
        const qint64 early = residentKb(program.processId());
        QTest::qWait(milliseconds - milliseconds / 4);
        const qint64 late = residentKb(program.processId());
        if (rssGrowthKb != nullptr)
            *rssGrowthKb = late - early;
        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(20000));
        QCOMPARE(program.exitCode(), 0);
    }
    QByteArray trace() const {
        QFile f(m_home.filePath("temp/ZarvelDebug.dat"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray settings() const {
        QFile f(m_home.filePath("config/Norvane/Sentorix.conf"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        QVERIFY(QDir(m_home.path()).mkpath("temp"));
    }

    void signalClosesLikeTheCloseBox_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("openAfter");
        QTest::newRow("SIGTERM") << int(SIGTERM) << QByteArray() << QByteArray("Position Window");
        QTest::newRow("SIGINT") << int(SIGINT) << QByteArray() << QByteArray("Position Window");
        // Start-up waits at "device not available" (no device 1).
        QTest::newRow("SIGTERM at a start-up message box")
            << int(SIGTERM) << QByteArray("Camera=3\n") << QByteArray("Select device 1");
    }
    void signalClosesLikeTheCloseBox() {
        QFETCH(int, signalNumber);
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, openAfter);
        QFile::remove(m_home.filePath("temp/ZarvelDebug.dat"));
        writeSettings(stored);

        QProcess program;
        program.setProcessEnvironment(environment());
        program.setWorkingDirectory(m_home.path());
        program.start(QStringLiteral(SENTORIX_BINARY), {"/DEBUG"});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(trace().contains(openAfter), 15000);
        QVERIFY(!trace().contains("Unload completed"));

        ::kill(pid_t(program.processId()), signalNumber);
        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(trace().endsWith(" - End - Unload completed\r\n"));
        QCOMPARE(trace().count("Unload completed"), 1);
        const QByteArray saved = settings();
        QVERIFY2(saved.contains("PosLeft=") && saved.contains("PosHeight=5805"), saved.constData());
    }

    // Visits at 11 s and 23 s of the scene, each a second long. The first
    // recording runs from the visit to ten seconds after it and is mailed;
    // the second is still running when the program is closed and must be
    // complete anyway.
    void recordsOneFilePerVisit() {
        qint64 growthKb = 0;
        SmtpServer mailServer;
        QVERIFY(mailServer.isRunning());
        runArmed("11:1", 31000, &growthKb, &mailServer);
        const QStringList files = recordings();
        QCOMPARE(files.size(), 2);
        const QList<AviProbe::Stream> first = AviProbe::probe(QDir(videoDir()).filePath(files[0]));
        QCOMPARE(first.size(), 1);
        QCOMPARE(first[0].width, 640);
        QCOMPARE(first[0].height, 480);
        // Ten seconds after the visit, give or take the rest of the visit
        // and the moment the capture takes to start.
        QVERIFY2(first[0].duration >= 9.0 && first[0].duration <= 12.0,
                 QByteArray::number(first[0].duration).constData());
        const QList<AviProbe::Stream> second = AviProbe::probe(QDir(videoDir()).filePath(files[1]));
        QCOMPARE(second.size(), 1);
        QVERIFY2(second[0].duration >= 3.0 && second[0].duration <= 9.0,
                 QByteArray::number(second[0].duration).constData());
        // Both recordings are in the event log, with links to their files.
        QFile log(m_home.filePath("zarvellog.html"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray page = log.readAll();
        QCOMPARE(page.count("\">Play</A></TD></TR>\r\n"), 2);
        for (const QString& file : files)
            QVERIFY(page.contains("<A HREF=\"file:///" +
                                  QFile::encodeName(QDir(videoDir()).filePath(file)) + '"'));
        // The first recording was mailed with the snapshot of its start.
        QCOMPARE(page.count("Mail sent to ann@example.org</TD>"), 1);
        const QList<QJsonObject> mails = mailServer.messages();
        QCOMPARE(mails.size(), 1);
        QVERIFY(mails[0]["html"].toString().contains("Sentorix test scene camera"));
        const QJsonArray attachments = mails[0]["attachments"].toArray();
        QCOMPARE(attachments.size(), 1);
        QFile jpeg(m_home.filePath("mailed.jpg"));
        QVERIFY(jpeg.open(QIODevice::WriteOnly));
        jpeg.write(QByteArray::fromBase64(attachments[0].toObject()["data"].toString().toLatin1()));
        jpeg.close();
        const JpegProbe::Result picture = JpegProbe::read(jpeg.fileName());
        QVERIFY2(picture.ok, qPrintable(picture.error));
        QCOMPARE(picture.width, 640);
        QCOMPARE(picture.height, 480);
        qInfo("resident memory grew by %lld kB while armed", growthKb);
        // Frames that are examined must not pile up anywhere.
        QVERIFY2(growthKb < 50 * 1024, QByteArray::number(growthKb).constData());
    }

    // kill -9 during recordings (one in their first second); each next start
    // gives the files cut off their length and index before arming.
    void killedRecordingsAreRepaired() {
        QDir(videoDir()).removeRecursively();
        QVERIFY(QDir().mkpath(videoDir()));
        writeSettings("VidPath=" + QFile::encodeName(videoDir()) + "/\nRecStop=1\nNotify=0\n");
        QFile::remove(m_home.filePath("temp/ZarvelDebug.dat"));
        QProcessEnvironment env = environment();
        env.insert("SENTORIX_SCENE", "1:3");
        for (const int intoRecordingMs : {500, 3000, 6000}) {
            const qsizetype before = recordings().size();
            QProcess program;
            program.setProcessEnvironment(env);
            program.setWorkingDirectory(m_home.path());
            program.start(QStringLiteral(SENTORIX_BINARY),
                          {"/START", "/NOREMOTE", "/NOMAIL", "/DEBUG"});
            QVERIFY(program.waitForStarted());
            QTRY_VERIFY_WITH_TIMEOUT(recordings().size() > before, 20000);
            QTest::qWait(intoRecordingMs);
            ::kill(pid_t(program.processId()), SIGKILL);
            QVERIFY(program.waitForFinished(10000));
        }
        const QStringList killed = recordings();
        QCOMPARE(killed.size(), 3);

        QProcess program;
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(m_home.path());
        program.start(QStringLiteral(SENTORIX_BINARY), {"/DEBUG", "/NOREMOTE"});
        QVERIFY(program.waitForStarted());
        const auto named = [this](const QString& name) {
            return trace().contains(" - Init - Recording repaired: " +
                                    QFile::encodeName(QDir(videoDir()).filePath(name)) + "\r\n");
        };
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(killed.begin(), killed.end(), named), 15000);
        ::kill(pid_t(program.processId()), SIGTERM);
        QVERIFY(program.waitForFinished(15000));
        for (const QString& name : killed) {
            const QString path = QDir(videoDir()).filePath(name);
            const QList<AviProbe::Stream> streams = AviProbe::probe(path);
            QCOMPARE(streams.size(), 1);
            // The default frame rate is 5 per second.
            qInfo("%s: %d frames, %.2f s", qPrintable(name), streams[0].frames,
                  streams[0].duration);
            QVERIFY(streams[0].frames > 0);
            QVERIFY(qAbs(streams[0].duration - streams[0].frames / 5.0) <= 0.2 + 1e-6);
            QCOMPARE(AviProbe::decodeErrors(path), QByteArray());
        }
    }

    void calmSceneRecordsNothing() {
        runArmed("600:1", 8000);
        QCOMPARE(recordings(), QStringList());
        QFile log(m_home.filePath("zarvellog.html"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(!log.readAll().contains("Play"));
    }

    // The camera is pulled a second into the first visit and plugged in
    // again two seconds later: the cut recording is complete and logged, and
    // the program, armed again by itself, records the next visit.
    void recordsAVisitAfterTheCameraIsBack() {
        qputenv("SENTORIX_SCENE_UNPLUG", "3:2");
        runArmed("2:2", 12000);
        qunsetenv("SENTORIX_SCENE_UNPLUG");
        const QStringList files = recordings();
        QCOMPARE(files.size(), 2);
        for (const QString& file : files) {
            const QList<AviProbe::Stream> streams =
                AviProbe::probe(QDir(videoDir()).filePath(file));
            QCOMPARE(streams.size(), 1);
            QVERIFY(streams[0].frames > 0);
        }
        const double cut = AviProbe::probe(QDir(videoDir()).filePath(files[0]))[0].duration;
        QVERIFY2(cut <= 2.0, QByteArray::number(cut).constData());
        QFile log(m_home.filePath("zarvellog.html"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("\">Play</A></TD></TR>\r\n"), 2);
    }
};

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_program.moc"
