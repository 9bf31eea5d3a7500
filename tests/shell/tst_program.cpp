// The real program as a process: termination signals close it the way the
// close box does.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void signalClosesLikeTheCloseBox() {
        QFETCH(int, signalNumber);
        QFile::remove(m_home.filePath("temp/ZarvelDebug.dat"));
        QFile::remove(m_home.filePath("config/Norvane/Sentorix.conf"));

        QProcess program;
        program.setProcessEnvironment(environment());
        program.setWorkingDirectory(m_home.path());
        program.start(QStringLiteral(SENTORIX_BINARY), {"/DEBUG"});
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(trace().contains("Position Window"), 15000);
        QVERIFY(!trace().contains("Unload completed"));

        ::kill(pid_t(program.processId()), signalNumber);
        QVERIFY(program.waitForFinished(15000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(trace().endsWith(" - End - Unload completed\r\n"));
        const QByteArray saved = settings();
        QVERIFY2(saved.contains("PosLeft=") && saved.contains("PosHeight=5805"), saved.constData());
    }
};

QTEST_GUILESS_MAIN(tst_Program)
#include "tst_program.moc"
