#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <QStringList>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace {

QStringList readLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (QString& line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

std::optional<QString> sectionName(const QString& line) {
    const QString t = line.trimmed();
    if (t.size() >= 2 && t.startsWith(u'[') && t.endsWith(u']'))
        return t.mid(1, t.size() - 2).trimmed();
    return std::nullopt;
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Key of a "key=value" line, or nothing for comments and other lines.
std::optional<QString> keyName(const QString& line) {
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#'))
        return std::nullopt;
    const qsizetype eq = t.indexOf(u'=');
    if (eq <= 0)
        return std::nullopt;
    return t.left(eq).trimmed();
}

// Everything after the "=": a value is read back as it was written, blanks
// included; readers that want numbers trim for themselves.
QString valueOf(const QString& line) {
    return line.mid(line.indexOf(u'=') + 1);
}

// A value is one line of the file.
QString oneLine(QString text) {
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

} // namespace

SettingsStore::SettingsStore(QString filePath)
    : m_filePath(std::move(filePath)) {}

QString SettingsStore::defaultPath(const QString& application) {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + u'/' + application + QStringLiteral("/Sentorix.conf");
}

QString SettingsStore::read(const QString& section, const QString& key,
                            const QString& defaultText) const {
    bool inSection = false;
    for (const QString& line : readLines(m_filePath)) {
        if (const auto name = sectionName(line)) {
            inSection = sameName(*name, section);
            continue;
        }
        if (!inSection)
            continue;
        if (const auto k = keyName(line); k && sameName(*k, key))
            return valueOf(line);
    }
    return defaultText;
}

bool SettingsStore::write(const QString& section, const QString& key, const QString& text) {
    QStringList lines = readLines(m_filePath);
    const QString entry = key + u'=' + oneLine(text);

    qsizetype sectionStart = -1; // line after the section header
    qsizetype sectionEnd = -1;   // line after the last line of the section
    bool replaced = false;
    for (qsizetype i = 0; i < lines.size() && !replaced; ++i) {
        if (const auto name = sectionName(lines[i])) {
            if (sectionStart >= 0 && sectionEnd < 0)
                sectionEnd = i;
            if (sectionStart < 0 && sameName(*name, section))
                sectionStart = i + 1;
            continue;
        }
        if (sectionStart >= 0 && sectionEnd < 0) {
            if (const auto k = keyName(lines[i]); k && sameName(*k, key)) {
                lines[i] = entry;
                replaced = true;
            }
        }
    }
    if (!replaced) {
        if (sectionStart < 0) {
            lines << u'[' + section + u']' << entry;
        } else {
            if (sectionEnd < 0)
                sectionEnd = lines.size();
            // Keep blank lines that separate sections after the new entry.
            while (sectionEnd > sectionStart && lines[sectionEnd - 1].trimmed().isEmpty())
                --sectionEnd;
            lines.insert(sectionEnd, entry);
        }
    }

    if (!QDir().mkpath(QFileInfo(m_filePath).absolutePath()))
        return false;
    // It holds camera and console passwords: only the user may read it, an
    // older file made readable to others included. The file that replaces
    // it takes its mode.
    const int fd = ::open(QFile::encodeName(m_filePath).constData(), O_WRONLY | O_CREAT | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd < 0)
        return false;
    const bool closed = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    ::close(fd);
    if (!closed)
        return false;
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write((lines.join(u'\n') + u'\n').toUtf8());
    return file.commit();
}
