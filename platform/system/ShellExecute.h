#pragma once

#include <QString>

class QUrl;

// Opens a file the way the desktop would: a program is started, a document
// goes to the application registered for it. Nothing waits for the result.
class ShellExecute final {
public:
    // False when the file does not exist or nothing could be started.
    static bool open(const QString& file);
    // Opens a document with the application registered for it, never as a
    // program: vfat, ntfs and cifs mounts give every file an execute bit.
    static bool openDocument(const QString& file);
    // Opens a web address in the user's browser; false when nothing could
    // be started.
    static bool openAddress(const QUrl& address);
};
