#include "EventLog.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {

constexpr char CrLf[] = "\r\n";

} // namespace

EventLog::EventLog(QString directory)
    : m_directory(std::move(directory)) {}

QString EventLog::logPath() const {
    return m_directory.isEmpty() ? QString::fromLatin1(LogFile)
                                 : QDir(m_directory).filePath(QString::fromLatin1(LogFile));
}

QString EventLog::templatePath() const {
    return m_directory.isEmpty() ? QString::fromLatin1(TemplateFile)
                                 : QDir(m_directory).filePath(QString::fromLatin1(TemplateFile));
}

QString EventLog::thresholdText(float threshold) {
    // Seven significant digits, as a single-precision number prints.
    const QString number = QString::number(double(threshold), 'g', 7);
    return threshold < 0 ? number : u' ' + number;
}

QByteArray EventLog::recordingRow(const QString& first, const QString& second,
                                  const QString& camera, float threshold,
                                  const QString& recording) {
    return "<TR><TD ALIGN=LEFT>" + first.toUtf8() + "</TD><TD ALIGN=LEFT>" + second.toUtf8() +
           "</TD><TD ALIGN=LEFT>" + camera.toUtf8() + "</TD><TD ALIGN=RIGHT>" +
           thresholdText(threshold).toUtf8() + "%</TD><TD ALIGN=LEFT><A HREF=\"file:///" +
           recording.toUtf8() + "\">Play</A></TD></TR>" + CrLf;
}

QByteArray EventLog::messageRow(const QString& first, const QString& second) {
    return "<TR><TD ALIGN=LEFT>" + first.toUtf8() + "</TD><TD ALIGN=LEFT COLSPAN=3>" +
           second.toUtf8() + "</TD><TD ALIGN=LEFT>&nbsp;</TD></TR>" + CrLf;
}

QByteArray EventLog::withRow(const QByteArray& content, const QByteArray& row) {
    QByteArray out;
    out.reserve(content.size() + row.size() + 64);
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\r', start);
        qsizetype next = 0;
        if (end < 0) {
            end = content.size();
            next = end;
        } else {
            next = end + 1;
            if (next < content.size() && content[next] == '\n')
                ++next;
        }
        const QByteArrayView line(content.constData() + start, end - start);
        if (line == Marker)
            out += row;
        out += line;
        out += CrLf;
        start = next;
    }
    return out;
}

bool EventLog::AddLogEntry(const QString& first, const QString& second, const QString& recording,
                           const std::optional<QString>& camera, float threshold) const {
    QFile log(logPath());
    if (!log.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = log.readAll();
    const bool readFine = log.error() == QFileDevice::NoError;
    log.close();
    if (!readFine)
        return false;

    QByteArray row;
    if (!recording.trimmed().isEmpty()) {
        if (!camera.has_value())
            return false;
        row = recordingRow(first, second, *camera, threshold, recording);
    } else {
        row = messageRow(first, second);
    }

    return rewrite(withRow(content, row));
}

bool EventLog::rewrite(const QByteArray& content) const {
    // A temporary file beside the log takes the new content and replaces the
    // log only once it is complete on disk: a crash, a kill or a full disk
    // mid-entry leaves the previous log as it was. A folder that takes no
    // new files still gets the log written in place.
    QSaveFile rewritten(logPath());
    rewritten.setDirectWriteFallback(true);
    if (!rewritten.open(QIODevice::WriteOnly))
        return false;
    // A short log sits in the file's buffer until the flush, which is where
    // a full disk shows.
    if (rewritten.write(content) != content.size() || !rewritten.flush()) {
        rewritten.cancelWriting();
        return false;
    }
    return rewritten.commit();
}

void EventLog::createIfMissing() const {
    if (!QFile::exists(logPath()))
        QFile::copy(templatePath(), logPath());
}

void EventLog::clear() const {
    QFile dft(templatePath());
    if (!dft.open(QIODevice::ReadOnly)) {
        QFile::remove(logPath());
        return;
    }
    const QByteArray content = dft.readAll();
    if (dft.error() == QFileDevice::NoError)
        rewrite(content);
}
