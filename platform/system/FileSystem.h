#pragma once

#include <QString>

#include <cstdint>

// The file-system queries the program makes beyond reading and writing
// files: free space for the disk-space rules and the folder that holds the
// screen-saver programs.
class FileSystem final {
public:
    // Bytes available to this user on the volume that holds path (quota and
    // reserved blocks respected); 0 when the path cannot be queried.
    static std::uint64_t availableBytes(const QString& path);

    // Bytes the file at path may still grow by: the free space of its
    // volume (unbounded when its folder cannot be queried), and no more
    // than the process's file-size limit leaves.
    static std::uint64_t roomToGrow(const QString& path);

    // Folder of the "*.scr" screen-saver programs, ending in "/":
    // ${XDG_DATA_HOME:-~/.local/share}/sentorix/savers/. Empty when no home
    // directory is known.
    static QString saverDirectory();
};
