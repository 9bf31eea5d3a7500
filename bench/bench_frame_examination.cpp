// What the examination of one frame costs next to the compression it is
// built around: the real Frame_Handler (copy, zlib level 9 on the
// compression worker, deviation, panel text, decision) against a bare compress2() of the same
// frames into a buffer allocated once. The frames are consecutive calm frames of the test scene, so
// the armed program decides "no recording" every time.

#include "CaptureControl.h"
#include "CommandLine.h"
#include "MotionMeasure.h"
#include "PublicStuff.h"
#include "StatusPanels.h"
#include "Surveillance.h"
#include "TestScene.h"
#include "VideoHeader.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <QAction>
#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

namespace {

constexpr int framesPerSet = 8;

struct SceneFrames {
    int width = 0;
    int height = 0;
    std::vector<std::vector<std::uint8_t>> frames;
};

SceneFrames calmFrames(int width, int height) {
    // A long calm period, so every frame is one of the still room.
    const TestScene scene(width, height, 5.0, TestScene::Schedule{3600.0, 1.0});
    SceneFrames set{width, height, {}};
    for (int i = 0; i < framesPerSet; ++i) {
        set.frames.emplace_back(scene.frameBytes());
        scene.render(i, set.frames.back().data());
    }
    return set;
}

std::map<int, double> bareSeconds;
std::map<int, double> examinationSeconds;

void BM_BareCompress(benchmark::State& state) {
    const SceneFrames set = calmFrames(int(state.range(0)), int(state.range(1)));
    const std::size_t n = set.frames.front().size();
    std::vector<Bytef> destination(MotionMeasure::destinationCapacity(n));
    std::size_t i = 0;
    for (auto _ : state) {
        uLongf length = uLongf(destination.size());
        const int rc = compress2(destination.data(), &length, set.frames[i].data(), uLong(n), 9);
        benchmark::DoNotOptimize(rc);
        benchmark::DoNotOptimize(length);
        i = (i + 1) % set.frames.size();
    }
    state.SetItemsProcessed(state.iterations());
}

// The same compression at a camera's rate. Run beside the armed program
// (bench/armed-cpu-share), it is busy as often as the program's worker, so
// on a shared machine each side meets the other's load alike; flat out it
// would meet the program only now and then while the program always met it.
void BM_BareCompressPaced(benchmark::State& state) {
    const SceneFrames set = calmFrames(int(state.range(0)), int(state.range(1)));
    const std::size_t n = set.frames.front().size();
    std::vector<Bytef> destination(MotionMeasure::destinationCapacity(n));
    const auto period = std::chrono::microseconds(1'000'000 / state.range(2));
    auto next = std::chrono::steady_clock::now();
    std::size_t i = 0;
    for (auto _ : state) {
        uLongf length = uLongf(destination.size());
        benchmark::DoNotOptimize(
            compress2(destination.data(), &length, set.frames[i].data(), uLong(n), 9));
        benchmark::DoNotOptimize(length);
        i = (i + 1) % set.frames.size();
        next += period;
        std::this_thread::sleep_until(next);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_FrameExamination(benchmark::State& state) {
    const SceneFrames set = calmFrames(int(state.range(0)), int(state.range(1)));
    PublicStuff stuff;
    CaptureControl capture;
    StatusPanels panels;
    QAction mnuStart, mnuTimer, mnuSuspend, mnuStat;
    Surveillance surveillance(capture, stuff, panels, CommandLine::parse(QString()),
                              {&mnuStart, &mnuTimer, &mnuSuspend, &mnuStat});
    stuff.Threshold = 4.0F;
    stuff.TimeType = StopMode::AfterActivity;
    surveillance.mnuStart_Click();

    std::vector<VideoHeader> headers;
    for (const auto& frame : set.frames) {
        VideoHeader h;
        h.lpData = frame.data();
        h.dwBufferLength = h.dwBytesUsed = std::uint32_t(frame.size());
        h.width = std::uint32_t(set.width);
        h.height = std::uint32_t(set.height);
        headers.push_back(h);
    }
    std::size_t i = 0;
    for (auto _ : state) {
        surveillance.Frame_Handler(&headers[i]);
        // The compression runs on the worker; the comparison follows as a
        // queued event.
        while (surveillance.examining())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        i = (i + 1) % headers.size();
    }
    // A frame that had started a recording would make the figure meaningless.
    if (capture.IsCapturing() || std::int64_t(stuff.FrameCount) != std::int64_t(state.iterations()))
        state.SkipWithError("a frame was not examined as a calm frame");
    state.SetItemsProcessed(state.iterations());
}

// Wall-clock figures on a shared machine vary by a tenth from run to run;
// bench/examination-instructions runs a fixed number of iterations under
// callgrind instead, whose instruction counts give a stable ratio.
void sizes(benchmark::internal::Benchmark* b) {
    // Process time: the examination's compression runs on a worker thread.
    b->Args({640, 480})->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
    b->MeasureProcessCPUTime();
    if (const char* fixed = std::getenv("SENTORIX_BENCH_ITERATIONS"))
        b->Iterations(std::max(1, std::atoi(fixed)));
    else
        b->MinTime(3.0);
}

void pacedSizes(benchmark::internal::Benchmark* b) {
    for (const int fps : {5, 10})
        b->Args({640, 480, fps})->Args({1280, 720, fps})->Args({1920, 1080, fps});
    b->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->MinTime(1.0);
}

BENCHMARK(BM_BareCompress)->Apply(sizes);
BENCHMARK(BM_BareCompressPaced)->Apply(pacedSizes);
BENCHMARK(BM_FrameExamination)->Apply(sizes);

// Collects both figures per size and prints their ratio at the end.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.benchmark_name();
            const int width = std::atoi(name.substr(name.find('/') + 1).c_str());
            const double perFrame = run.GetAdjustedCPUTime();
            if (name.rfind("BM_BareCompressPaced", 0) == 0)
                continue;
            (name.rfind("BM_Bare", 0) == 0 ? bareSeconds : examinationSeconds)[width] = perFrame;
        }
    }
};

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const auto& [width, bare] : bareSeconds) {
        const auto examined = examinationSeconds.find(width);
        if (examined != examinationSeconds.end() && bare > 0.0)
            std::printf("width %d: examination / bare compression = %.3f\n", width,
                        examined->second / bare);
    }
    return 0;
}
