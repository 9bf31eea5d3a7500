// The longest gap of a 10 ms timer on the user-interface thread while the
// engine examines frames of the test scene camera, armed against disarmed
// in the same run: the capture control, the engine and the timer share
// one thread as in the program (the window's drawing is not included).
//   bench_timer_gaps [SECONDS]

#include "CaptureControl.h"
#include "CommandLine.h"
#include "PublicStuff.h"
#include "StatusPanels.h"
#include "Surveillance.h"

#include <QAction>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

struct Gaps {
    double longestMs = 0;
    int examined = 0;
};

Gaps run(int width, int height, bool armed, int seconds) {
    CaptureControl::Options scene;
    scene.listCameras = false;
    scene.scenePregenerated = true;
    scene.scene = TestScene::Schedule{3600.0, 1.0}; // calm: no recording starts
    CaptureControl capture(scene);
    capture.setFrameRate(5);
    capture.setFrameSize(QSize(width, height));
    PublicStuff stuff;
    StatusPanels panels;
    QAction mnuStart, mnuTimer, mnuSuspend, mnuStat;
    Surveillance surveillance(capture, stuff, panels, CommandLine::parse(QString()),
                              {&mnuStart, &mnuTimer, &mnuSuspend, &mnuStat});
    stuff.Threshold = 4.0F;
    Gaps gaps;
    if (!capture.setDevice(0) || capture.frameSize() != QSize(width, height))
        return gaps;
    if (armed)
        surveillance.mnuStart_Click();
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        // The first second settles the pipeline and takes the base image.
        if (now > 1'000'000'000)
            gaps.longestMs = std::max(gaps.longestMs, double(now - last) / 1e6);
        last = now;
    });
    tick.start(10);
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, qApp, &QCoreApplication::quit);
    end.start(seconds * 1000);
    QCoreApplication::exec();
    gaps.examined = stuff.FrameCount;
    return gaps;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 30;
    for (const auto& [width, height] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
        const Gaps idle = run(width, height, false, seconds);
        const Gaps armed = run(width, height, true, seconds);
        std::printf("%dx%d, 10 ms timer over %d s: longest gap disarmed %.1f ms, armed %.1f ms "
                    "(%d frames examined); armed / disarmed %.2f\n",
                    width, height, seconds, idle.longestMs, armed.longestMs, armed.examined,
                    armed.longestMs / std::max(idle.longestMs, 0.001));
    }
    return 0;
}
