#include "RecordingName.h"

#include "DateText.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

QString RecordingName::fromStartText(const QString& vidPath, const QString& startText) {
    QString name = startText;
    name.remove(u'.');
    name.remove(u'/');
    name.remove(u':');
    name.replace(u' ', u'-');
    return vidPath + name + QStringLiteral(".avi");
}

QString RecordingName::unused(const QString& path) {
    if (!QFileInfo::exists(path))
        return path;
    const QString extension = QStringLiteral(".avi");
    const QString stem = path.endsWith(extension) ? path.chopped(extension.size()) : path;
    for (int n = 2;; ++n) {
        const QString candidate = stem + u'-' + QString::number(n) + extension;
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

std::optional<QDateTime> RecordingName::startOf(const QString& fileName) {
    const QString extension = QStringLiteral(".avi");
    if (!fileName.endsWith(extension))
        return std::nullopt;
    const QString stem = fileName.chopped(extension.size());
    // The name as made, then without the counter unused() adds.
    QStringList stems{stem};
    static const QRegularExpression counter(QStringLiteral("-[1-9][0-9]*$"));
    if (const QRegularExpressionMatch m = counter.match(stem); m.hasMatch())
        stems << stem.left(m.capturedStart());
    // The start text's format as it is turned into a name; a start at
    // exactly midnight has the date alone.
    const auto asName = [&extension](const QString& format) {
        return fromStartText(QString(), format).chopped(extension.size());
    };
    const QString date = DateText::dateFormat();
    const QStringList formats{asName(date + u' ' + DateText::timeFormat()), asName(date)};
    const QLocale locale;
    for (const QString& s : stems)
        for (const QString& format : formats) {
            const QDateTime when = locale.toDateTime(s, format);
            // Only a name made from that time exactly is one of ours.
            if (when.isValid() &&
                fromStartText(QString(), DateText::general(when)) == s + extension)
                return when;
        }
    return std::nullopt;
}
