#pragma once

#include "GstHandles.h"

#include <QObject>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

// The cameras the GStreamer device monitor finds ("Video/Source"), in a
// stable order (device path, then name), plus whether any microphone
// ("Audio/Source") exists.
//
// The list is made once; the monitor keeps running so that a listed camera
// that is unplugged and plugged in again is known to be back, with the
// device object that opens it now.
class CameraList {
public:
    struct Camera {
        QString name;
        QString version;
        QString sortKey;
        std::vector<QSize> sizes; // frame sizes the camera's caps offer
        GstDevicePtr device;
        bool present = true;
    };
    // Index of a listed camera that went away or came back.
    using ChangeHandler = std::function<void(int index)>;

    CameraList() = default;
    ~CameraList();
    CameraList(const CameraList&) = delete;
    CameraList& operator=(const CameraList&) = delete;

    // Lists the cameras; later changes reach `onChange` on the thread of
    // `context`.
    void open(QObject* context, ChangeHandler onChange);

    int count() const { return static_cast<int>(cameras_.size()); }
    const Camera& at(int i) const { return cameras_.at(static_cast<std::size_t>(i)); }
    bool hasAudioSource() const { return hasAudioSource_; }

    // A new source element for camera i, or null.
    GstElementPtr createSource(int i) const;

private:
    struct Watch;
    static GstBusSyncReply onMonitorMessage(GstBus* bus, GstMessage* message, gpointer data);
    // The listed camera that `device` is, or -1.
    int update(GstDevice* device, bool added);

    std::vector<Camera> cameras_;
    bool hasAudioSource_ = false;
    GstDeviceMonitorPtr monitor_;
    std::shared_ptr<Watch> watch_;
};
