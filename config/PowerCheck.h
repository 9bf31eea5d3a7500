#pragma once

#include <QString>
#include <QStringList>

class RegistryView;

// What the configuration dialog shows about standby and screen savers:
// the power scheme's idle time on mains power read through the registry
// view, and the screen savers found in the saver directory.
class PowerCheck final {
public:
    static constexpr const char* NoSaver = "--- Do not enable a screen saver ---";

    struct PowerMessage {
        QString text;
        bool checkEnabled = false; // "Suspend Power Management" may be chosen
    };
    static PowerMessage powerManagementMessage(const RegistryView& view);

    // " 1.5", " .5", " 1.11111111111111": the fixed number form of the
    // message, with a blank for the sign.
    static QString N(double x);

    struct SaverList {
        QStringList entries; // NoSaver first
        int selected = 0;
    };
    // The saver names (file names without their last extension) in the
    // order the directory lists them; `saver` selects the last exact match.
    static SaverList screenSaverList(const QString& directory, const QString& saver);
    // The file names a pattern "*.SCR" matches, in listing order. Case
    // matters for the name but not for the extension, as on the system the
    // savers come from.
    static QStringList saverFiles(const QString& directory);
};
