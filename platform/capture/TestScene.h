#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The synthetic camera: a still room with faint sensor noise, visited now
// and then by an intruder who walks in, across and out. Everything depends
// only on the frame index, so a given frame is the same on every run.
//
// The room compresses well and the noise is a fixed number of pixels per
// frame, so calm frames barely change in compressed size; the intruder is
// a noisy texture that deflate cannot squeeze, so he changes it a lot.
// Repeating cycle: calmSeconds without anyone, then activeSeconds during
// which the intruder crosses the picture.
struct TestSceneSchedule {
    double calmSeconds = 20.0;
    double activeSeconds = 5.0;
};

// When the camera is pulled and when it is plugged in again.
struct TestSceneUnplug {
    std::int64_t afterFrames = -1; // -1: not after a number of frames
    std::int64_t afterMs = -1;     // -1: not after a time of delivery
    std::int64_t backAfterMs = -1; // -1: never back
};

class TestScene {
public:
    using Schedule = TestSceneSchedule;
    using Unplug = TestSceneUnplug;
    // "CALM:ACTIVE" in seconds, e.g. "20:5" or "2:1.5"; anything else gives
    // the default schedule.
    static Schedule parseSchedule(std::string_view text);
    // "AFTER:FOR" in seconds: pulled after AFTER seconds of delivery, back
    // FOR seconds later; anything else: never pulled.
    static Unplug parseUnplug(std::string_view text);
    // "A:B" in seconds, both finite; false for anything else.
    static bool parseSecondsPair(std::string_view text, double& first, double& second);

    TestScene(int width, int height, double framesPerSecond, Schedule schedule = {});

    int width() const { return width_; }
    int height() const { return height_; }
    double framesPerSecond() const { return fps_; }
    const Schedule& schedule() const { return schedule_; }
    std::size_t stride() const { return stride_; }
    std::size_t frameBytes() const { return stride_ * static_cast<std::size_t>(height_); }
    // Rows at the top of the picture that are pure red (BGR 0,0,255), so a
    // consumer can tell top from bottom.
    int markerRows() const { return markerRows_; }

    // Renders frame `index` as 24-bit BGR, top row first, stride() bytes
    // per row; `out` must hold frameBytes().
    void render(std::int64_t index, std::uint8_t* out) const;

    // Whether any part of the intruder is in frame `index`.
    bool intruderVisible(std::int64_t index) const;
    // Position through the intruder's visit, 0..1, or a negative value
    // while the scene is calm.
    double visitProgress(std::int64_t index) const;
    // Fraction of the frame the whole figure covers.
    double figureCoverage() const;

private:
    void paintBackground();
    void paintFigure();
    int figureLeft(double progress) const;

    int width_;
    int height_;
    double fps_;
    Schedule schedule_;
    std::size_t stride_;
    int markerRows_;
    int figureWidth_;
    int figureHeight_;
    int figureTop_;
    std::size_t figurePixels_ = 0;
    std::vector<std::uint8_t> background_; // top-down, stride_ per row
    std::vector<std::uint8_t> figure_;     // figureWidth_ * 3 per row
    std::vector<std::uint8_t> mask_;       // figureWidth_ per row
};
