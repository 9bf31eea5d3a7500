#pragma once

#include "GstHandles.h"
#include "TestScene.h"

#include <gst/app/gstappsrc.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

// Feeds an appsrc with test scene frames: each time the source runs dry it
// renders the next frame (on the source's streaming thread; nothing here
// is shared with the program) and stamps it index / frame rate.
//
// With `pregenerated`, a handful of frames are rendered up front and then
// cycled, so that a measurement sees only the pipeline's own work. With an
// unplug time the camera fails like an unplugged one, so the error path can
// be exercised without hardware.
class SceneSource {
public:
    using Unplug = TestScene::Unplug;

    SceneSource(int width, int height, int framesPerSecond, TestScene::Schedule schedule,
                bool pregenerated, Unplug unplug);

    // The camera has been pulled; safe to ask from any thread.
    bool unplugged() const { return unplugged_; }

    // Caps of the frames this source pushes.
    GstCapsPtr caps() const;
    // Installs the need-data callback; the appsrc keeps the source alive.
    static void attach(const std::shared_ptr<SceneSource>& source, GstAppSrc* appsrc);

private:
    static void onNeedData(GstAppSrc* appsrc, guint length, gpointer data);
    void pushNext(GstAppSrc* appsrc);
    GstBufferPtr renderFrame(std::int64_t index) const;

    TestScene scene_;
    int fps_;
    bool pregenerated_;
    Unplug unplug_;
    std::chrono::steady_clock::time_point firstPush_;
    std::atomic<bool> unplugged_{false};
    std::int64_t next_ = 0;
    std::vector<GstBufferPtr> frames_;
};
