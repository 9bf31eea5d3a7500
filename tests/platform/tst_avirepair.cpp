#include "AviProbe.h"
#include "AviRepair.h"
#include "CaptureControl.h"
#include "FileIdentity.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/file.h>
#include <sys/stat.h>

namespace {

constexpr int FramesPerSecond = 10;
const char* const RecordJob = "TST_AVIREPAIR_RECORD";

// The child's part: records the test scene until it is killed.
int recordUntilKilled(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList job = qEnvironmentVariable(RecordJob).split(u';');
    CaptureControl control;
    control.setFrameRate(FramesPerSecond);
    control.setFrameSize(QSize(320, 240));
    if (job.size() != 3 || !control.setDevice(0))
        return 2;
    control.setVideoCodec(job[2] == "mjpeg" ? CaptureControl::VideoCodec::Mjpeg
                                            : CaptureControl::VideoCodec::Uncompressed);
    control.setCaptureAudio(job[1] == "audio");
    control.setCaptureFile(job[0]);
    if (!control.StartCapture())
        return 3;
    return app.exec();
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

// Recordings of the real recorder cut off by kill -9, repaired in place and
// read back with ffprobe and ffmpeg.
class tst_AviRepair final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    // Records in a child process that is killed once the file holds `bytes`.
    void killedRecording(const QString& path, const QString& kind, qint64 bytes) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SENTORIX_NO_CAMERAS", "1");
        env.insert(RecordJob, path + u';' + kind);
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).size() >= bytes, 20000);
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    }

    static void verifyPlayable(const QString& path, bool audio) {
        const QList<AviProbe::Stream> streams = AviProbe::probe(path);
        QCOMPARE(streams.size(), audio ? 2 : 1);
        const AviProbe::Stream& video = streams[0];
        QVERIFY(video.frames > 0);
        const double seconds = double(video.frames) / FramesPerSecond;
        QVERIFY2(
            qAbs(video.duration - seconds) <= 1.0 / FramesPerSecond,
            qPrintable(QStringLiteral("%1 frames, %2 s").arg(video.frames).arg(video.duration)));
        if (audio)
            QVERIFY2(qAbs(streams[1].duration - seconds) < 1.0,
                     QByteArray::number(streams[1].duration).constData());
        QCOMPARE(AviProbe::decodeErrors(path), QByteArray());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void repairsKilledRecording_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("tornBytes");
        QTest::newRow("mjpeg with sound") << "audio;mjpeg" << 0;
        QTest::newRow("mjpeg, last frame torn") << "none;mjpeg" << 1000;
        QTest::newRow("uncompressed") << "none;yuy2" << 0;
    }
    void repairsKilledRecording() {
        QFETCH(QString, kind);
        QFETCH(int, tornBytes);
        const bool audio = kind.startsWith("audio");
        const QString path = m_dir.filePath(QTest::currentDataTag() + QStringLiteral(".avi"));
        killedRecording(path, kind, 1000000);
        if (tornBytes > 0)
            QVERIFY(QFile::resize(path, QFileInfo(path).size() - tornBytes));
        // As killed, the file has no length.
        QVERIFY(AviProbe::probe(path).value(0).duration <= 0);
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0);
        const std::optional<FileIdentity> before = FileIdentity::of(path);
        QVERIFY(before);

        const AviRepair::Report report = AviRepair::repair(path);
        QCOMPARE(report.error, QString());
        QCOMPARE(report.outcome, AviRepair::Outcome::Repaired);
        verifyPlayable(path, audio);
        const std::optional<FileIdentity> after = FileIdentity::of(path);
        QVERIFY(after->modificationTime() == before->modificationTime());
        QCOMPARE(after->permissions(), 0640u);

        // A repaired file is a finished one: left alone from now on.
        const QByteArray repaired = contents(path);
        QCOMPARE(AviRepair::repair(path).outcome, AviRepair::Outcome::Untouched);
        QCOMPARE(contents(path), repaired);
    }

    // The repair cuts the tail, appends the index, then rewrites the header.
    // A file left at any of those steps still plays, and the next repair
    // ends with the same file as one that was never interrupted.
    void interruptedRepairIsCompleted() {
        const QString killed = m_dir.filePath("interrupted-killed.avi");
        killedRecording(killed, "audio;mjpeg", 500000);
        const QByteArray cut = contents(killed);
        QVERIFY(QFile::copy(killed, m_dir.filePath("interrupted-whole.avi")));
        QCOMPARE(AviRepair::repair(m_dir.filePath("interrupted-whole.avi")).outcome,
                 AviRepair::Outcome::Repaired);
        const QByteArray whole = contents(m_dir.filePath("interrupted-whole.avi"));
        const qsizetype headerEnd = cut.indexOf("movi") + 4;
        const qsizetype indexAt = whole.lastIndexOf("idx1");
        QVERIFY(headerEnd > 4 && indexAt > headerEnd);

        const QString path = m_dir.filePath("interrupted.avi");
        for (const qsizetype end : {indexAt, indexAt + 100, qsizetype(whole.size())}) {
            QVERIFY(writeFile(path, cut.left(headerEnd) + whole.mid(headerEnd, end - headerEnd)));
            QCOMPARE(AviProbe::decodeErrors(path), QByteArray());
            QCOMPARE(AviRepair::repair(path).outcome, AviRepair::Outcome::Repaired);
            QVERIFY(contents(path) == whole);
        }
    }

    void repairsOnlyCutOffRecordings() {
        const QString text = m_dir.filePath("notes.avi");
        QVERIFY(writeFile(text, "not a recording"));
        QCOMPARE(AviRepair::repair(text).outcome, AviRepair::Outcome::Untouched);
        QCOMPARE(contents(text), QByteArray("not a recording"));

        // A recording still being written by another copy of the program.
        const QString busy = m_dir.filePath("busy.avi");
        QVERIFY(QFile::copy(m_dir.filePath("interrupted-killed.avi"), busy));
        QFile writer(busy);
        QVERIFY(writer.open(QIODevice::ReadOnly));
        QVERIFY(::flock(writer.handle(), LOCK_SH) == 0);
        QCOMPARE(AviRepair::repair(busy).outcome, AviRepair::Outcome::Untouched);
        QCOMPARE(contents(busy), contents(m_dir.filePath("interrupted-killed.avi")));
        writer.close();

        // Cut off before the first byte, or before the first frame.
        const QByteArray cut = contents(m_dir.filePath("interrupted-killed.avi"));
        const qsizetype headerEnd = cut.indexOf("movi") + 4;
        // Past its first gigabyte: a part closed with its index, then more.
        const QString big = m_dir.filePath("big.avi");
        const QByteArray parts = cut.left(headerEnd) +
                                 contents(m_dir.filePath("interrupted.avi")).mid(headerEnd) +
                                 "RIFF\x0c\0\0\0AVIXLIST\0\0\0\0movi";
        QVERIFY(writeFile(big, parts));
        QCOMPARE(AviRepair::repair(big).outcome, AviRepair::Outcome::Failed);
        QCOMPARE(contents(big), parts);
        QVERIFY(QFile::remove(big));
        QVERIFY(writeFile(m_dir.filePath("empty.avi"), {}));
        QVERIFY(writeFile(m_dir.filePath("frameless.avi"), cut.left(headerEnd)));

        const QList<AviRepair::Report> reports = AviRepair::repairFolder(m_dir.path());
        QStringList outcomes;
        for (const AviRepair::Report& report : reports)
            outcomes << QFileInfo(report.path).fileName() + u' ' +
                            QString::number(int(report.outcome));
        QCOMPARE(outcomes, QStringList({"busy.avi 2", "empty.avi 3", "frameless.avi 3",
                                        "interrupted-killed.avi 2"}));
        QVERIFY(!QFile::exists(m_dir.filePath("empty.avi")));
        QVERIFY(!QFile::exists(m_dir.filePath("frameless.avi")));
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet(RecordJob))
        return recordUntilKilled(argc, argv);
    QCoreApplication app(argc, argv);
    tst_AviRepair test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_avirepair.moc"
