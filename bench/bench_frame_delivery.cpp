// What a frame costs the program: (a) delivery from the source of the live
// pipeline to the FrameCallback handler on the UI thread, (b) one zlib
// level-9 compression of the same frame, as the recorder does per frame.
//
// Delivery is measured as process CPU time (all threads: GStreamer's
// streaming threads and the UI thread) per delivered frame, with the test
// scene feeding pre-rendered frames so scene drawing is not counted, paced
// at a high frame rate so no frame is dropped on the way.

#include "CaptureControl.h"
#include "TestScene.h"
#include "ZLib.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

namespace {

constexpr int deliveryRate = 50;
constexpr int deliveryFrames = 150;

std::map<int, double> deliverySeconds; // per frame, by frame width
std::map<int, double> zlibSeconds;

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void BM_FrameDelivery(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    CaptureControl::Options scene;
    scene.listCameras = false;
    scene.scenePregenerated = true;
    CaptureControl control(scene);
    control.setFrameRate(deliveryRate);
    control.setFrameSize(QSize(width, height));
    if (!control.setDevice(0) || control.frameSize() != QSize(width, height)) {
        state.SkipWithError("cannot open the test scene");
        return;
    }
    int frames = 0;
    std::uint32_t bytes = 0;
    QObject::connect(&control, &CaptureControl::FrameCallback, &control, [&](const VideoHeader* h) {
        ++frames;
        bytes = h->dwBytesUsed;
    });
    QTimer wake; // keeps the wait below from blocking forever
    wake.start(100);
    auto waitForFrame = [&] {
        const int before = frames;
        QElapsedTimer guard;
        guard.start();
        while (frames == before && guard.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return frames != before;
    };
    for (int i = 0; i < 10; ++i) // warm up: negotiation, pools
        waitForFrame();

    QElapsedTimer wall;
    wall.start();
    const int first = frames;
    double total = 0.0;
    for (auto _ : state) {
        const double before = processCpuSeconds();
        if (!waitForFrame()) {
            state.SkipWithError("frames stopped");
            return;
        }
        const double spent = processCpuSeconds() - before;
        total += spent;
        state.SetIterationTime(spent);
    }
    const double seconds = wall.elapsed() / 1000.0;
    state.counters["delivered_fps"] = (frames - first) / seconds;
    state.counters["frame_bytes"] = bytes;
    deliverySeconds[width] = total / double(state.iterations());
}

void BM_ZLibLevel9(benchmark::State& state) {
    const int width = int(state.range(0)), height = int(state.range(1));
    TestScene scene(width, height, deliveryRate);
    std::vector<std::uint8_t> frame(scene.frameBytes());
    scene.render(0, frame.data()); // the first of the frames delivery pushes
    ZLib zlib;
    std::size_t length = 0;
    const double before = processCpuSeconds();
    for (auto _ : state) {
        length = zlib.compressedLength(frame.data(), frame.size());
        benchmark::DoNotOptimize(length);
    }
    zlibSeconds[width] = (processCpuSeconds() - before) / double(state.iterations());
    state.counters["compressed_bytes"] = double(length);
    state.counters["frame_bytes"] = double(frame.size());
}

} // namespace

BENCHMARK(BM_FrameDelivery)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->UseManualTime()
    ->Iterations(deliveryFrames)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ZLibLevel9)->Args({640, 480})->Args({1280, 720})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const auto& [width, delivery] : deliverySeconds) {
        const auto zlib = zlibSeconds.find(width);
        if (zlib == zlibSeconds.end())
            continue;
        std::printf("width %4d: delivery %.3f ms CPU/frame, zlib-9 %.3f ms, delivery/zlib %.3f\n",
                    width, delivery * 1e3, zlib->second * 1e3, delivery / zlib->second);
    }
    return 0;
}
