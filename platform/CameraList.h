#pragma once

#include "GstHandles.h"

#include <QSize>
#include <QString>

#include <vector>

// The cameras the GStreamer device monitor finds ("Video/Source"), in a
// stable order (device path, then name), plus whether any microphone
// ("Audio/Source") exists. SENTORIX_NO_CAMERAS=1 skips the monitor so
// tests see only the test scene on any machine.
class CameraList {
public:
    struct Camera {
        QString name;
        QString version;
        QString sortKey;
        std::vector<QSize> sizes; // frame sizes the camera's caps offer
        GstDevicePtr device;
    };

    void refresh();

    int count() const { return static_cast<int>(cameras_.size()); }
    const Camera& at(int i) const { return cameras_.at(static_cast<std::size_t>(i)); }
    bool hasAudioSource() const { return hasAudioSource_; }

    // A new source element for camera i, or null.
    GstElementPtr createSource(int i) const;

private:
    std::vector<Camera> cameras_;
    bool hasAudioSource_ = false;
};
