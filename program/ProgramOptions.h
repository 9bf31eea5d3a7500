#pragma once

#include "CaptureControl.h"
#include "PublicStuff.h"

#include <QString>

// What the program takes from its surroundings, read once at start-up:
// where its files are, the remote console's port, the login manager's bus,
// the cameras, and the clock, free space and poll interval, which tests replace.
struct ProgramOptions {
    QString configPath;     // the settings file (XDG_CONFIG_HOME, else ~/.config)
    QString tracePath;      // /DEBUG's trace (TEMP, else TMPDIR, else /tmp)
    QString saverDirectory; // screen savers (XDG_DATA_HOME, else ~/.local/share)
    QString videoDirectory; // recordings when VidPath is not set, with a '/' at the end
    int telnetPort = 23;    // SENTORIX_TELNET_PORT, or the profile's own
    int webPort = 0;        // SENTORIX_WEB_PORT; 0: [WEB] Port of the settings
    QString loginBus;       // SENTORIX_LOGIN_BUS; empty: the system bus
    PublicStuff::Clock clock = &QDateTime::currentDateTime;
    PublicStuff::FreeSpace freeSpace = &PublicStuff::FreeDiskSpaceMB;
    int powerPollMs = 500;           // how often the standby option is looked at
    CaptureControl::Options capture; // the cameras and the test scene camera

    // A named profile has its own settings file (Sentorix-NAME.conf beside
    // the default one), trace (ZarvelDebug-NAME.dat), video folder (NAME in
    // the Videos folder) and console port: the TelnetPort setting of its
    // settings file, else the default port plus 1 to 1000 taken from the
    // name, so profiles side by side do not share one.
    static ProgramOptions fromEnvironment(const QString& profile = QString());
    static int profilePort(int defaultPort, const QString& profile);
};
