#pragma once

#include "GstHandles.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

// Watches a pipeline's bus from GStreamer's threads without needing a GLib
// main loop: errors (and, if asked, end of stream) are handed to `onError`
// on the thread of `context` through a queued call, and EOS can be waited
// for synchronously. Destroy it only after the pipeline is in NULL state,
// so that no streaming thread can still be posting.
class BusRelay {
public:
    using ErrorHandler = std::function<void(const QString& text)>;

    BusRelay(GstElement* pipeline, QObject* context, ErrorHandler onError, bool endOfStreamIsError);
    ~BusRelay();
    BusRelay(const BusRelay&) = delete;
    BusRelay& operator=(const BusRelay&) = delete;

    // True once EOS has come through; false on timeout or on an error.
    bool waitForEndOfStream(std::chrono::milliseconds timeout);
    bool failed() const;
    // The first error was a sink finding its volume full.
    bool noSpaceLeft() const;
    // The first error was a source refusing us for lack of valid credentials.
    bool notAuthorized() const;
    QString firstError() const;

private:
    struct Shared;
    static GstBusSyncReply onMessage(GstBus* bus, GstMessage* message, gpointer data);

    std::shared_ptr<Shared> shared_;
    GstBusPtr bus_;
};
