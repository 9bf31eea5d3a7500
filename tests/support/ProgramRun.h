#pragma once

#include "CommandLine.h"
#include "Form1.h"
#include "Program.h"
#include "ProgramOptions.h"

// One program run as main() builds it, over a settings file of the test's
// throw-away home; the window only when a test needs it.
struct ProgramRun {
    static ProgramOptions options(const QString& configPath) {
        ProgramOptions o = ProgramOptions::fromEnvironment();
        o.configPath = configPath;
        return o;
    }
    ProgramRun(const QString& configPath, const QString& commandLine = QString())
        : program(CommandLine::parse(commandLine), options(configPath))
        , form(program) {}
    Program program;
    Form1 form;
};
