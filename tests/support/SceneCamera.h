#pragma once

#include "CaptureControl.h"

// The test scene camera as the only device, whatever the machine has,
// visited on `schedule` and pulled as `unplug` says.
inline CaptureControl::Options sceneCamera(TestScene::Schedule schedule = {},
                                           TestScene::Unplug unplug = {}) {
    CaptureControl::Options options;
    options.listCameras = false;
    options.scene = schedule;
    options.sceneUnplug = unplug;
    return options;
}
