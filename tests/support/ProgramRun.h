#pragma once

#include "CommandLine.h"
#include "Form1.h"
#include "Program.h"
#include "ProgramHome.h"
#include "ProgramOptions.h"
#include "SceneCamera.h"
#include "WaitBound.h"

#include <QTest>

#include <memory>

// One program run as main() builds it, over a settings file of the test's
// throw-away home.
struct ProgramRun {
    static ProgramOptions options(const ProgramHome& home, const CaptureControl::Options& capture) {
        ProgramOptions o = ProgramOptions::fromEnvironment();
        o.configPath = home.configPath();
        o.tracePath = home.tracePath();
        o.saverDirectory = home.path(QStringLiteral("data/sentorix/savers/"));
        o.telnetPort = home.telnetPort;
        o.capture = capture;
        return o;
    }
    ProgramRun(const ProgramHome& home, const QString& commandLine,
               const CaptureControl::Options& capture = sceneCamera())
        : program(CommandLine::parse(commandLine), options(home, capture))
        , form(program) {}
    // Started as the window starts it.
    static std::unique_ptr<ProgramRun>
    start(const ProgramHome& home, const QString& commandLine = QString(),
          const CaptureControl::Options& capture = sceneCamera()) {
        auto run = std::make_unique<ProgramRun>(home, commandLine, capture);
        run->form.Form_Load();
        // The stored device opens without holding start-up up; tests begin
        // once it is open or has failed.
        if (!QTest::qWaitFor([&run] { return !run->program.capture().isOpening(); },
                             TestData::Bound))
            qWarning("the stored device was still opening after %d s", TestData::Bound / 1000);
        return run;
    }
    Program program;
    Form1 form;
};
