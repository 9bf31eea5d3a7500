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
    return openDocument(file);
}

bool ShellExecute::openDocument(const QString& file) {
    const QFileInfo info(file);
    if (!info.isFile())
        return false;
    return openAddress(QUrl::fromLocalFile(info.absoluteFilePath()));
}

bool ShellExecute::openAddress(const QUrl& address) {
    if (!address.isValid())
        return false;
    if (QDesktopServices::openUrl(address))
        return true;
    // Platform plugins without desktop services (offscreen, some minimal
    // sessions) refuse; the desktop's opener may still be there.
    return QProcess::startDetached(QStringLiteral("xdg-open"),
                                   {address.toString(QUrl::FullyEncoded)});
}
