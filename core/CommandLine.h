#pragma once

#include <QString>
#include <QStringList>

// The program's switches. Each is found by searching the upper-cased whole
// command line for its text, so case and position do not matter and a
// longer word that contains a switch counts as that switch.
struct CommandLine final {
    bool debug = false;      // /DEBUG
    bool noHardware = false; // /NOHW
    bool noOverlay = false;  // /NOOVERLAY
    bool noRemote = false;   // /NOREMOTE
    bool start = false;      // /START
    bool noMail = false;     // /NOMAIL

    static CommandLine parse(const QString& wholeCommandLine);
    // The arguments after the program name, joined as the system hands
    // them to a program that reads its command line as one text.
    static CommandLine fromArguments(const QStringList& argumentsWithoutProgram);
};
