#pragma once

#include "CommandLine.h"
#include "Form1.h"
#include "Program.h"
#include "ProgramHome.h"
#include "ProgramOptions.h"
#include "SceneCamera.h"

#include <memory>

// One program run as main() builds it, over a settings file of the test's
// throw-away home.
struct ProgramRun {
    static ProgramOptions options(const QString& configPath) {
        ProgramOptions o = ProgramOptions::fromEnvironment();
        o.configPath = configPath;
        o.capture = sceneCamera();
        return o;
    }
    static ProgramOptions options(const ProgramHome& home) {
        ProgramOptions o = options(home.configPath());
        o.tracePath = home.tracePath();
        o.saverDirectory = home.path(QStringLiteral("data/sentorix/savers/"));
        o.telnetPort = home.telnetPort;
        return o;
    }
    static ProgramOptions withCapture(ProgramOptions o, const CaptureControl::Options& capture) {
        o.capture = capture;
        return o;
    }
    ProgramRun(const QString& configPath, const QString& commandLine = QString())
        : program(CommandLine::parse(commandLine), options(configPath))
        , form(program) {}
    ProgramRun(const ProgramHome& home, const QString& commandLine,
               const CaptureControl::Options& capture = sceneCamera())
        : program(CommandLine::parse(commandLine), withCapture(options(home), capture))
        , form(program) {}
    // Started as the window starts it.
    static std::unique_ptr<ProgramRun>
    start(const ProgramHome& home, const QString& commandLine = QString(),
          const CaptureControl::Options& capture = sceneCamera()) {
        auto run = std::make_unique<ProgramRun>(home, commandLine, capture);
        run->form.Form_Load();
        return run;
    }
    Program program;
    Form1 form;
};
