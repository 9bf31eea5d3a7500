#include "RecordingName.h"

#include <QFileInfo>

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
