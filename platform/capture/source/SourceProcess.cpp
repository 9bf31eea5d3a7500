#include "SourceProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>

namespace {

// A recording's queue holds up to two seconds of frames, the pre-record
// encoder a few more; the shared memory holds them all so the helper is
// never held up by them.
int sharedFramesFor(int framesPerSecond) {
    return 2 * framesPerSecond + 8;
}

QString signalName(int number) {
    return QStringLiteral("signal %1: %2")
        .arg(number)
        .arg(QString::fromLocal8Bit(strsignal(number)));
}

} // namespace

SourceProcess::SourceProcess(QObject* parent)
    : QObject(parent) {
    // Its warnings go where the recorder's own GStreamer warnings go; its
    // standard output is the line protocol.
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&process_, &QProcess::readyReadStandardOutput, this, &SourceProcess::readLines);
    connect(&process_, &QProcess::finished, this, &SourceProcess::onFinished);
    watch_.setInterval(250);
    connect(&watch_, &QTimer::timeout, this, &SourceProcess::watch);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        // A helper that never ran sends no finished signal.
        if (error == QProcess::FailedToStart && !std::exchange(over_, true)) {
            firstPicture_.stop();
            error_ =
                QStringLiteral("cannot start %1: %2").arg(helperPath(), process_.errorString());
            Q_EMIT ended(error_);
        }
    });
    firstPicture_.setSingleShot(true);
    connect(&firstPicture_, &QTimer::timeout, this, &SourceProcess::giveUpWaiting);
}

SourceProcess::~SourceProcess() {
    over_ = true;
    process_.disconnect(this);
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

QString SourceProcess::helperPath() {
    if (const QString set = qEnvironmentVariable("SENTORIX_SOURCE_HELPER"); !set.isEmpty())
        return set;
    // Installed beside the program; in the build tree where it was built.
    const QString beside =
        QCoreApplication::applicationDirPath() + QStringLiteral("/sentorix-source");
    return QFileInfo(beside).isExecutable() ? beside : QStringLiteral(SENTORIX_SOURCE_HELPER_BUILT);
}

QString SourceProcess::socketPath() const {
    return socketDir_ ? socketDir_->filePath(QStringLiteral("frames")) : QString();
}

std::int64_t SourceProcess::nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool SourceProcess::begin(const Settings& settings, std::chrono::milliseconds timeout) {
    QStringList arguments{QStringLiteral("--fps"), QString::number(settings.framesPerSecond),
                          QStringLiteral("--memory-mb"), QString::number(memoryLimitMegabytes)};
    if (!settings.size.isEmpty())
        arguments << QStringLiteral("--size")
                  << QStringLiteral("%1x%2").arg(settings.size.width()).arg(settings.size.height());
    if (settings.frames) {
        // A folder of our own keeps other users away from the socket.
        socketDir_ = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                     QStringLiteral("/sentorix-source-XXXXXX"));
        if (!socketDir_->isValid()) {
            error_ = QStringLiteral("cannot make a folder for the source's frames in %1")
                         .arg(QDir::tempPath());
            return false;
        }
        arguments << QStringLiteral("--socket") << socketPath() << QStringLiteral("--shared-frames")
                  << QString::number(sharedFramesFor(settings.framesPerSecond));
    }
    process_.start(helperPath(), arguments);
    if (process_.state() == QProcess::NotRunning) {
        error_ = QStringLiteral("cannot start %1: %2").arg(helperPath(), process_.errorString());
        return false;
    }
    // The address goes on standard input, never on the command line, where
    // every user could read its password.
    process_.write(settings.url.trimmed().toUtf8() + '\n');
    timeout_ = timeout;
    firstPicture_.start(timeout);
    return true;
}

bool SourceProcess::start(const Settings& settings, std::chrono::milliseconds timeout) {
    if (!begin(settings, timeout))
        return false;
    const QDeadlineTimer deadline(timeout);
    while (size_.isEmpty() && !over_ && !deadline.hasExpired())
        process_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    if (size_.isEmpty() && !over_) {
        giveUpWaiting();
        process_.waitForFinished(5000);
    }
    return !size_.isEmpty();
}

void SourceProcess::giveUpWaiting() {
    if (size_.isEmpty() && !over_)
        end(QStringLiteral("no picture within %1 seconds")
                .arg(std::chrono::duration_cast<std::chrono::seconds>(timeout_).count()));
}

void SourceProcess::readLines() {
    while (process_.canReadLine()) {
        const QString line = QString::fromUtf8(process_.readLine(4096)).trimmed();
        const QString word = line.section(u' ', 0, 0);
        const QString rest = line.section(u' ', 1);
        if (word == QLatin1String("size")) {
            const QSize size(rest.section(u' ', 0, 0).toInt(), rest.section(u' ', 1, 1).toInt());
            if (!size.isEmpty() && size_.isEmpty()) {
                size_ = size;
                firstPicture_.stop();
                heartbeat_->store(nowMs());
                watch_.start();
                Q_EMIT ready();
            }
        } else if (word == QLatin1String("error") || word == QLatin1String("refused")) {
            refused_ = word == QLatin1String("refused");
            if (endingReason_.isEmpty())
                endingReason_ = rest;
        }
    }
}

void SourceProcess::onFinished(int exitCode, QProcess::ExitStatus status) {
    readLines();
    QString why = endingReason_;
    if (why.isEmpty()) {
        if (status == QProcess::CrashExit && exitCode == SIGKILL)
            why = QStringLiteral("the source's decoder was killed (%1)").arg(signalName(exitCode));
        else if (status == QProcess::CrashExit)
            why = QStringLiteral("the source's decoder crashed (%1)").arg(signalName(exitCode));
        else
            why = QStringLiteral("the source's decoder ended (exit code %1)").arg(exitCode);
    }
    watch_.stop();
    firstPicture_.stop();
    if (std::exchange(over_, true))
        return;
    error_ = why;
    Q_EMIT ended(why);
}

// Ends a helper that hangs or grows; the reason is ours, not its exit's.
void SourceProcess::end(const QString& why) {
    if (endingReason_.isEmpty())
        endingReason_ = why;
    process_.kill();
}

void SourceProcess::watch() {
    if (over_)
        return;
    const auto quiet = std::chrono::milliseconds(nowMs() - heartbeat_->load());
    if (quiet >= hangTimeout)
        return end(
            QStringLiteral("the source's decoder delivered no picture for %1 s and was ended")
                .arg(std::chrono::duration_cast<std::chrono::seconds>(quiet).count()));
    if (privateKilobytes() > std::int64_t(memoryLimitMegabytes) * 1024)
        end(QStringLiteral("the source's decoder went over its memory limit of %1 MB and was ended")
                .arg(memoryLimitMegabytes));
}

std::int64_t SourceProcess::privateKilobytes() const {
    if (process_.state() != QProcess::Running)
        return 0;
    QFile status(QStringLiteral("/proc/%1/status").arg(process_.processId()));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (QByteArray line; !(line = status.readLine()).isEmpty();)
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ').value(0).toLongLong();
    return 0;
}
