#pragma once

#include <QString>
#include <QStringList>

// The program's switches. Each is found by searching the upper-cased whole
// command line for its text, so case and position do not matter and a
// longer word that contains a switch counts as that switch. The profile,
// help and version are read as words of their own.
struct CommandLine final {
    bool debug = false;      // /DEBUG
    bool noHardware = false; // /NOHW
    bool noOverlay = false;  // /NOOVERLAY
    bool noRemote = false;   // /NOREMOTE
    bool start = false;      // /START
    bool noMail = false;     // /NOMAIL
    bool help = false;       // --help, -h
    bool version = false;    // --version
    // /PROFILE:NAME, --profile NAME or --profile=NAME; empty: the default one.
    QString profile;
    // Why the command line cannot be used (a bad or missing profile name);
    // empty when it can.
    QString error;

    static CommandLine parse(const QString& wholeCommandLine);
    // The arguments after the program name, joined as the system hands
    // them to a program that reads its command line as one text.
    static CommandLine fromArguments(const QStringList& argumentsWithoutProgram);

    // Profile names become parts of file names and socket names, so they
    // hold only ASCII letters, digits, '-' and '_' (at most 64 of them).
    static bool isValidProfileName(const QString& name);
    // What --help prints.
    static QString usage();

private:
    void setProfile(const QString& name);
};
