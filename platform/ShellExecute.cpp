#include "ShellExecute.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

bool ShellExecute::open(const QString& file) {
    const QFileInfo info(file);
    if (!info.isFile())
        return false;
    if (info.isExecutable())
        return QProcess::startDetached(info.absoluteFilePath(), {});
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
}
