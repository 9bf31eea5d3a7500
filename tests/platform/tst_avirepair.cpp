#include "AviProbe.h"
#include "AviRepair.h"
#include "CaptureControl.h"
#include "FileIdentity.h"
#include "SceneCamera.h"
#include "TestData.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <csignal>

#include <gst/app/gstappsrc.h>

#include <sys/file.h>
#include <sys/stat.h>

using TestData::readFile;
using TestData::writeFile;

namespace {

constexpr int FramesPerSecond = 10;

// The child's part past 1 GB: one picture, padded to 1 MB with application
// segments, muxed again and again (no encoding) until it is killed.
int recordPastOneGigabyte(const QString& path) {
    TestData::gradient(64, 48).save(path + ".jpg");
    QByteArray jpeg = readFile(path + ".jpg");
    jpeg.insert(2, (QByteArray("\xff\xef\xff\xff", 4) + QByteArray(0xfffd, '\0')).repeated(16));
    gst_init(nullptr, nullptr);
    GstElement* pipeline = gst_parse_launch(
        qPrintable("appsrc name=src format=time block=true caps=image/jpeg,width=64,height=48,"
                   "framerate=10/1 ! image/jpeg ! avimux ! filesink sync=false location=\"" +
                   path + '"'),
        nullptr);
    GstElement* src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    GstBuffer* frame = gst_buffer_new_memdup(jpeg.constData(), gsize(jpeg.size()));
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    for (int n = 0; n < 2000; ++n) // the muxer counts frames, it needs no time stamps
        gst_app_src_push_buffer(GST_APP_SRC(src), gst_buffer_ref(frame));
    return 5;
}

// The child's part: records the test scene until it is killed.
int recordUntilKilled(const QStringList& job) { // path, sound, video
    if (job.value(1) == "big")
        return recordPastOneGigabyte(job[0]);
    CaptureControl control(sceneCamera());
    control.setFrameRate(FramesPerSecond);
    control.setFrameSize(QSize(320, 240));
    control.setVideoCodec(job.value(2) == "mjpeg" ? CaptureControl::VideoCodec::Mjpeg
                                                  : CaptureControl::VideoCodec::Uncompressed);
    control.setCaptureFile(job[0]);
    control.setCaptureAudio(control.setDevice(0) && job.value(1) == "audio");
    return control.StartCapture() ? QCoreApplication::exec() : 3;
}

} // namespace

// Recordings of the real recorder cut off by kill -9, repaired in place and
// read back with ffprobe and ffmpeg.
class tst_AviRepair final : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    // Past 1 GB in memory where it has room: the disk may take half a minute.
    QTemporaryDir m_big{QStorageInfo(QStringLiteral("/dev/shm")).bytesAvailable() > 3e9
                            ? QStringLiteral("/dev/shm/tst_avirepair-XXXXXX")
                            : m_dir.filePath(QStringLiteral("big"))};
    QString file(const char* name) const { return m_dir.filePath(QLatin1String(name)); }

    // Records in a child process that is killed once the file holds `bytes`.
    static void killedRecording(const QString& path, const QString& kind, qint64 bytes) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {"--record", path + u';' + kind});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).size() >= bytes, TestData::Bound);
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(TestData::Bound) &&
                child.exitStatus() == QProcess::CrashExit);
        const AviProbe::Stream killed = AviProbe::probe(path).value(0); // frames, but no length
        QVERIFY(killed.frames > 0 && killed.duration <= 0);
    }

private Q_SLOTS:
    void repairsKilledRecording_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("tornBytes");
        QTest::addColumn<QString>("damage");
        QTest::newRow("mjpeg with sound") << "audio;mjpeg" << 0 << "";
        QTest::newRow("mjpeg, last frame torn") << "none;mjpeg" << 1000 << "";
        QTest::newRow("uncompressed") << "none;yuy2" << 0 << "";
        QTest::newRow("past 1 GB, last frame torn") << "big;mjpeg" << 1000 << "";
        // The size of the eleventh frame runs past the end of the file, or
        // into the next frame; a power cut leaves zeros after the frames.
        QTest::newRow("mjpeg, a frame's size past the end") << "none;mjpeg" << 0 << "huge";
        QTest::newRow("mjpeg, a frame's size too long") << "none;mjpeg" << 0 << "longer";
        QTest::newRow("mjpeg, power cut") << "none;mjpeg" << 0 << "zeros";
    }
    void repairsKilledRecording() {
        QFETCH(QString, kind);
        QFETCH(int, tornBytes);
        QFETCH(QString, damage);
        const QString path = (kind.startsWith("big") ? m_big : m_dir)
                                 .filePath(QTest::currentDataTag() + QStringLiteral(".avi"));
        killedRecording(path, kind, kind.startsWith("big") ? 1100000000 : 1000000);
        QVERIFY(QFile::resize(path, QFileInfo(path).size() - tornBytes) &&
                ::chmod(QFile::encodeName(path).constData(), 0640) == 0);
        // The frames of the same recording repaired without the damage.
        int undamagedFrames = -1;
        if (!damage.isEmpty()) {
            QByteArray bytes = readFile(path);
            QVERIFY(writeFile(path + ".clean", bytes));
            QCOMPARE(AviRepair::repair(path + ".clean").outcome, AviRepair::Outcome::Repaired);
            undamagedFrames = AviProbe::probe(path + ".clean").value(0).frames;
            qsizetype at = bytes.indexOf("movi") + 4;
            for (int frame = 0; frame < 10; ++frame)
                at += 8 + (qFromLittleEndian<quint32>(bytes.constData() + at + 4) + 1) / 2 * 2;
            QCOMPARE(bytes.mid(at, 2), "00");
            const quint32 size = qFromLittleEndian<quint32>(bytes.constData() + at + 4);
            if (damage == "zeros")
                bytes += QByteArray(1 << 20, '\0');
            else
                qToLittleEndian<quint32>(damage == "huge" ? 0x7ffffff0 : size + 1000,
                                         bytes.data() + at + 4);
            QVERIFY(writeFile(path, bytes));
        }
        const int damagedFrames = AviProbe::probe(path).value(0).frames;
        const std::optional<FileIdentity> before = FileIdentity::of(path);
        QCOMPARE(AviRepair::repair(path).outcome, AviRepair::Outcome::Repaired);
        const QList<AviProbe::Stream> streams = AviProbe::probe(path);
        if (!damage.isEmpty()) {
            qInfo("%s: %d frames before the repair, %d after, %d undamaged", qPrintable(damage),
                  damagedFrames, streams.value(0).frames, undamagedFrames);
            QVERIFY(streams.value(0).frames >= damagedFrames);
            QCOMPARE(streams.value(0).frames, undamagedFrames);
        }
        QCOMPARE(streams.size(), kind.startsWith("audio") ? 2 : 1);
        const double seconds = double(streams[0].frames) / FramesPerSecond;
        QVERIFY(qAbs(streams[0].duration - seconds) <= 1.0 / FramesPerSecond);
        QVERIFY(streams.size() == 1 || qAbs(streams[1].duration - seconds) < 1.0);
        QCOMPARE(AviProbe::decodeErrors(path), QByteArray());
        // GStreamer's demuxer reads the frames where the index says they are.
        QProcess demux;
        demux.start("gst-launch-1.0", {"-v", "filesrc", "location=" + path, "!", "avidemux", "!",
                                       "decodebin", "!", "fakesink", "silent=false"});
        QVERIFY(demux.waitForFinished(30000));
        QCOMPARE(demux.readAllStandardOutput().count("chain"), streams[0].frames);
        const std::optional<FileIdentity> after = FileIdentity::of(path);
        QVERIFY(before && after->modificationTime() == before->modificationTime() &&
                after->permissions() == 0640u);

        // A repaired file is a finished one: left alone from now on.
        const QByteArray repaired = readFile(path);
        QCOMPARE(AviRepair::repair(path).outcome, AviRepair::Outcome::Untouched);
        QCOMPARE(readFile(path), repaired);
        qint64 at = 0; // each RIFF part ends where the next begins, the last at the end
        while (repaired.mid(at, 4) == "RIFF")
            at += 8 + qFromLittleEndian<quint32>(repaired.constData() + at + 4);
        QCOMPARE(at, repaired.size());
        const qsizetype movi = repaired.indexOf("movi") - 8; // the first part's frames, its index
        QCOMPARE(repaired.mid(movi + 8 + qFromLittleEndian<quint32>(repaired.data() + movi + 4), 4),
                 "idx1");
    }

    // The repair cuts the tail, appends the index, then rewrites the header.
    // A file left at any of those steps still plays, and the next repair
    // ends with the same file as one that was never interrupted. Then what
    // the repair leaves alone, fails on, or removes.
    void interruptedAndRefusedRepairs() {
        const QString killed = file("interrupted-killed.avi");
        killedRecording(killed, "audio;mjpeg", 500000);
        const QByteArray cut = readFile(killed);
        QVERIFY(writeFile(file("whole.avi"), cut));
        QCOMPARE(AviRepair::repair(file("whole.avi")).outcome, AviRepair::Outcome::Repaired);
        const QByteArray whole = readFile(file("whole.avi"));
        const qsizetype headerEnd = cut.indexOf("movi") + 4;
        const qsizetype indexAt = whole.lastIndexOf("idx1");
        QVERIFY(headerEnd > 4 && indexAt > headerEnd);
        const QString path = file("interrupted.avi");
        for (const qsizetype end : {indexAt, indexAt + 100, qsizetype(whole.size())}) {
            QVERIFY(writeFile(path, cut.left(headerEnd) + whole.mid(headerEnd, end - headerEnd)));
            QCOMPARE(AviProbe::decodeErrors(path), QByteArray());
            QCOMPARE(AviRepair::repair(path).outcome, AviRepair::Outcome::Repaired);
            QVERIFY(readFile(path) == whole);
        }

        // More parts than the header can point at.
        const QByteArray parts =
            cut.left(headerEnd) + whole.mid(headerEnd) +
            QByteArray("RIFF\x0c\0\0\0AVIXLIST\0\0\0\0movi00db\2\0\0\0xx", 34).repeated(32);
        QVERIFY(writeFile(file("big.avi"), parts));
        QCOMPARE(AviRepair::repair(file("big.avi")).error, "no room in the index for 33 parts");
        QCOMPARE(readFile(file("big.avi")), parts);

        // Still being written by another copy of the program, not a recording,
        // cut off before the first byte or the first frame.
        QVERIFY(writeFile(file("busy.avi"), cut));
        QFile writer(file("busy.avi"));
        QVERIFY(writer.open(QIODevice::ReadOnly) && ::flock(writer.handle(), LOCK_SH) == 0);
        QVERIFY(writeFile(file("empty.avi"), {}) && writeFile(file("notes.avi"), "no recording") &&
                writeFile(file("frameless.avi"), cut.left(headerEnd)));
        // Files of other names and read-only ones are not ours to change,
        // whoever runs the repair.
        QVERIFY(writeFile(file("other-empty.avi"), {}) && writeFile(file("other-cut.avi"), cut) &&
                writeFile(file("readonly.avi"), cut) &&
                ::chmod(QFile::encodeName(file("readonly.avi")).constData(), 0444) == 0);
        QStringList outcomes;
        for (const AviRepair::Report& report :
             AviRepair::repairFolder(m_dir.path(), [](const QString& name) {
                 return !name.startsWith(QLatin1String("other-"));
             }))
            outcomes << QFileInfo(report.path).fileName() + u' ' +
                            QString::number(int(report.outcome));
        QCOMPARE(outcomes, QStringList({"big.avi 4", "empty.avi 3", "frameless.avi 3",
                                        "interrupted-killed.avi 2"}));
        QVERIFY(readFile(file("busy.avi")) == cut && readFile(file("notes.avi")) == "no recording");
        QVERIFY(!QFile::exists(file("empty.avi")) && !QFile::exists(file("frameless.avi")));
        QVERIFY(QFile::exists(file("other-empty.avi")) && readFile(file("other-cut.avi")) == cut &&
                readFile(file("readonly.avi")) == cut);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (app.arguments().value(1) == "--record")
        return recordUntilKilled(app.arguments().value(2).split(u';'));
    tst_AviRepair test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_avirepair.moc"
