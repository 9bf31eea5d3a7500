#include "BusRelay.h"

#include <condition_variable>
#include <mutex>

struct BusRelay::Shared {
    QObject* context = nullptr;
    ErrorHandler onError;
    bool endOfStreamIsError = false;

    mutable std::mutex mutex;
    std::condition_variable changed;
    bool endOfStream = false;
    bool error = false;
    bool noSpaceLeft = false;
    bool notAuthorized = false;
    QString firstError;
};

BusRelay::BusRelay(GstElement* pipeline, QObject* context, ErrorHandler onError,
                   bool endOfStreamIsError)
    : shared_(std::make_shared<Shared>())
    , bus_(gst_element_get_bus(pipeline)) {
    shared_->context = context;
    shared_->onError = std::move(onError);
    shared_->endOfStreamIsError = endOfStreamIsError;
    gst_bus_set_sync_handler(
        bus_.get(), &BusRelay::onMessage, new std::weak_ptr<Shared>(shared_),
        [](gpointer data) { delete static_cast<std::weak_ptr<Shared>*>(data); });
}

BusRelay::~BusRelay() {
    gst_bus_set_sync_handler(bus_.get(), nullptr, nullptr, nullptr);
}

GstBusSyncReply BusRelay::onMessage(GstBus*, GstMessage* message, gpointer data) {
    // A message the handler drops is the handler's to free; one left behind
    // holds its source, so the pipeline, its bus and the bus's two
    // descriptors would never go.
    const GstMessagePtr dropped(message);
    const std::shared_ptr<Shared> shared = static_cast<std::weak_ptr<Shared>*>(data)->lock();
    if (!shared)
        return GST_BUS_DROP;
    QString text;
    bool report = false;
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        GError* raw = nullptr;
        gchar* debug = nullptr;
        gst_message_parse_error(message, &raw, &debug);
        GErrorPtr error(raw);
        GCharPtr debugText(debug);
        const QString source = QString::fromUtf8(GST_OBJECT_NAME(GST_MESSAGE_SRC(message)));
        text = source + QStringLiteral(": ") +
               QString::fromUtf8(error ? error->message : "unknown error");
        std::lock_guard lock(shared->mutex);
        if (!shared->error) {
            shared->firstError = text;
            shared->noSpaceLeft = error && g_error_matches(error.get(), GST_RESOURCE_ERROR,
                                                           GST_RESOURCE_ERROR_NO_SPACE_LEFT);
            shared->notAuthorized = error && g_error_matches(error.get(), GST_RESOURCE_ERROR,
                                                             GST_RESOURCE_ERROR_NOT_AUTHORIZED);
        }
        shared->error = true;
        report = true;
        break;
    }
    case GST_MESSAGE_EOS: {
        std::lock_guard lock(shared->mutex);
        shared->endOfStream = true;
        report = shared->endOfStreamIsError;
        text = QStringLiteral("the device stopped delivering frames");
        break;
    }
    default:
        return GST_BUS_DROP;
    }
    shared->changed.notify_all();
    if (report && shared->context != nullptr) {
        QMetaObject::invokeMethod(
            shared->context,
            [weak = std::weak_ptr<Shared>(shared), text] {
                if (const auto s = weak.lock(); s && s->onError)
                    s->onError(text);
            },
            Qt::QueuedConnection);
    }
    return GST_BUS_DROP;
}

bool BusRelay::waitForEndOfStream(std::chrono::milliseconds timeout) {
    std::unique_lock lock(shared_->mutex);
    shared_->changed.wait_for(lock, timeout,
                              [this] { return shared_->endOfStream || shared_->error; });
    return shared_->endOfStream;
}

bool BusRelay::failed() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->error;
}

bool BusRelay::noSpaceLeft() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->noSpaceLeft;
}

bool BusRelay::notAuthorized() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->notAuthorized;
}

QString BusRelay::firstError() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->firstError;
}
