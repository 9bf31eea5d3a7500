// The real engine on a video played as a camera, for choosing masks and a
// threshold: it arms on the clip for a while and reports the deviations
// seen and the recordings made. Run by hand (bench/detection-footage makes
// the clips and runs the comparisons):
//   bench_detection_footage CLIP SECONDS THRESHOLD [RECORD_SECONDS [MASK ...]]
// MASK is "left,top,width,height" in percent, as the settings store it.

#include "CaptureControl.h"
#include "CommandLine.h"
#include "DetectionAreas.h"
#include "PublicStuff.h"
#include "SettingsStore.h"
#include "StatusPanels.h"
#include "Surveillance.h"

#include <QAction>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: %s CLIP SECONDS THRESHOLD [RECORD_SECONDS [MASK ...]]\n",
                     argv[0]);
        return 2;
    }
    QList<QRectF> masks;
    for (const QString& text : args.mid(5)) {
        const std::optional<QRectF> mask = DetectionAreas::parse(text);
        if (!mask) {
            std::fprintf(stderr, "not a mask: %s\n", qPrintable(text));
            return 2;
        }
        masks << *mask;
    }
    QTemporaryDir videos;
    SettingsStore store(videos.filePath(QStringLiteral("Sentorix.conf")));
    store.write(QStringLiteral("SOURCES"), QStringLiteral("Source1"),
                QUrl::fromLocalFile(args[1]).toString());
    CaptureControl::Options camera;
    camera.listCameras = false;
    CaptureControl capture(camera);
    capture.setDriverSettings(&store);
    capture.setFrameRate(10);
    PublicStuff stuff;
    stuff.Threshold = args[3].toFloat();
    stuff.RecordSeconds = std::int16_t(args.size() > 4 ? args[4].toInt() : 10);
    stuff.RefreshSeconds = 0;
    stuff.Notify = 0;
    stuff.VidPath = videos.path() + u'/';
    StatusPanels panels;
    QAction mnuStart, mnuTimer, mnuSuspend, mnuStat;
    Surveillance surveillance(capture, stuff, panels, CommandLine::parse(QString()),
                              {&mnuStart, &mnuTimer, &mnuSuspend, &mnuStat});
    surveillance.setMasks(masks);
    std::vector<float> deviations;
    QObject::connect(&surveillance, &Surveillance::deviationMeasured,
                     [&deviations](float d) { deviations.push_back(d); });
    // Seconds since the clip began to play (it loops), when each recording
    // began and ended.
    QElapsedTimer playing;
    QStringList recordings;
    QObject::connect(&panels, &StatusPanels::textChanged, [&](Panel panel, const QString& text) {
        if (panel == Panel::State && text == QStringLiteral("RECORDING"))
            recordings << QString::number(double(playing.elapsed()) / 1000.0, 'f', 1);
    });
    QObject::connect(&surveillance, &Surveillance::recordingStopped, [&] {
        recordings.last() += u'-' + QString::number(double(playing.elapsed()) / 1000.0, 'f', 1);
    });
    playing.start();
    if (!capture.setDevice(0)) {
        std::fprintf(stderr, "cannot play %s: %s\n", argv[1], qPrintable(capture.lastError()));
        return 1;
    }
    surveillance.mnuStart_Click();
    QTimer::singleShot(int(args[2].toDouble() * 1000), &app, [&] {
        surveillance.mnuStart_Click(); // a running recording ends and is counted
        app.quit();
    });
    app.exec();
    if (deviations.size() < 2) {
        std::fprintf(stderr, "fewer than two frames examined\n");
        return 1;
    }
    const auto [low, high] = std::minmax_element(deviations.begin() + 1, deviations.end());
    const auto active = std::count_if(deviations.begin(), deviations.end(),
                                      [&stuff](float d) { return d >= stuff.Threshold; });
    std::printf(
        "frames %zu, deviation %.2f..%.2f %%, at or above %g %%: %lld, recordings %lld: %s\n",
        deviations.size(), double(*low), double(*high), double(stuff.Threshold),
        static_cast<long long>(active), static_cast<long long>(recordings.size()),
        qPrintable(recordings.join(u' ')));
    return 0;
}
