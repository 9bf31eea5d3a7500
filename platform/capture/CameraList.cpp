#include "CameraList.h"

#include <QtGlobal>

#include <algorithm>

namespace {

QString structureString(const GstStructure* s, const char* field) {
    if (s == nullptr)
        return {};
    const gchar* value = gst_structure_get_string(s, field);
    return value != nullptr ? QString::fromUtf8(value) : QString();
}

QString firstOf(const GstStructure* s, std::initializer_list<const char*> fields) {
    for (const char* field : fields) {
        QString value = structureString(s, field);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

// Standard sizes offered when a camera advertises a range rather than a list.
constexpr QSize commonSizes[] = {{160, 120},  {320, 240},  {640, 480},  {800, 600},
                                 {1280, 720}, {1280, 960}, {1920, 1080}};

void addSizes(const GstCaps* caps, std::vector<QSize>& sizes) {
    if (caps == nullptr)
        return;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* s = gst_caps_get_structure(caps, i);
        int w = 0, h = 0;
        if (gst_structure_get_int(s, "width", &w) && gst_structure_get_int(s, "height", &h)) {
            sizes.emplace_back(w, h);
            continue;
        }
        const GValue* wv = gst_structure_get_value(s, "width");
        const GValue* hv = gst_structure_get_value(s, "height");
        if (wv != nullptr && hv != nullptr && GST_VALUE_HOLDS_INT_RANGE(wv) &&
            GST_VALUE_HOLDS_INT_RANGE(hv)) {
            for (const QSize& c : commonSizes) {
                if (c.width() >= gst_value_get_int_range_min(wv) &&
                    c.width() <= gst_value_get_int_range_max(wv) &&
                    c.height() >= gst_value_get_int_range_min(hv) &&
                    c.height() <= gst_value_get_int_range_max(hv))
                    sizes.push_back(c);
            }
        }
    }
}

CameraList::Camera describe(GstDevice* device) {
    CameraList::Camera camera;
    GCharPtr name(gst_device_get_display_name(device));
    camera.name = QString::fromUtf8(name.get());
    GstStructurePtr props(gst_device_get_properties(device));
    const QString driver =
        firstOf(props.get(), {"v4l2.device.driver", "api.v4l2.cap.driver", "device.api"});
    const QString version = firstOf(props.get(), {"v4l2.device.version"});
    camera.version = version.isEmpty() ? driver : driver + QLatin1Char(' ') + version;
    if (camera.version.isEmpty())
        camera.version = QStringLiteral("GStreamer");
    camera.sortKey = firstOf(props.get(), {"device.path", "api.v4l2.path", "object.path"}) +
                     QLatin1Char('\n') + camera.name;
    GstCapsPtr caps(gst_device_get_caps(device));
    addSizes(caps.get(), camera.sizes);
    std::sort(camera.sizes.begin(), camera.sizes.end(), [](QSize a, QSize b) {
        return a.width() * a.height() < b.width() * b.height() ||
               (a.width() * a.height() == b.width() * b.height() && a.width() < b.width());
    });
    camera.sizes.erase(std::unique(camera.sizes.begin(), camera.sizes.end()), camera.sizes.end());
    camera.device.reset(GST_DEVICE(gst_object_ref(device)));
    return camera;
}

} // namespace

// What the monitor's bus hands to the list's thread; it dies with the list.
struct CameraList::Watch {
    QObject* context = nullptr;
    std::function<void(GstDevice*, bool added)> changed;
};

CameraList::~CameraList() {
    if (!monitor_)
        return;
    GstBusPtr bus(gst_device_monitor_get_bus(monitor_.get()));
    gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    gst_device_monitor_stop(monitor_.get());
}

void CameraList::open(QObject* context, ChangeHandler onChange) {
    cameras_.clear();
    hasAudioSource_ = false;

    monitor_.reset(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor_.get(), "Video/Source", nullptr);
    gst_device_monitor_add_filter(monitor_.get(), "Audio/Source", nullptr);
    // The monitor posts from its providers' threads; the list is changed
    // only on the thread of `context`.
    watch_ = std::make_shared<Watch>();
    watch_->context = context;
    watch_->changed = [this, onChange = std::move(onChange)](GstDevice* device, bool added) {
        const int index = update(device, added);
        if (index >= 0 && onChange)
            onChange(index);
    };
    GstBusPtr bus(gst_device_monitor_get_bus(monitor_.get()));
    gst_bus_set_sync_handler(
        bus.get(), &CameraList::onMonitorMessage, new std::weak_ptr<Watch>(watch_),
        [](gpointer data) { delete static_cast<std::weak_ptr<Watch>*>(data); });
    if (!gst_device_monitor_start(monitor_.get())) {
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
        monitor_.reset();
        return;
    }
    GList* devices = gst_device_monitor_get_devices(monitor_.get());
    for (GList* item = devices; item != nullptr; item = item->next) {
        GstDevicePtr device(GST_DEVICE(item->data)); // the list owns one reference each
        if (gst_device_has_classes(device.get(), "Audio/Source"))
            hasAudioSource_ = true;
        else if (gst_device_has_classes(device.get(), "Video/Source"))
            cameras_.push_back(describe(device.get()));
    }
    g_list_free(devices);
    std::stable_sort(cameras_.begin(), cameras_.end(),
                     [](const Camera& a, const Camera& b) { return a.sortKey < b.sortKey; });
}

GstBusSyncReply CameraList::onMonitorMessage(GstBus*, GstMessage* message, gpointer data) {
    // A message the handler drops is the handler's to free.
    const GstMessagePtr dropped(message);
    const bool added = GST_MESSAGE_TYPE(message) == GST_MESSAGE_DEVICE_ADDED;
    if (!added && GST_MESSAGE_TYPE(message) != GST_MESSAGE_DEVICE_REMOVED)
        return GST_BUS_DROP;
    const std::shared_ptr<Watch> watch = static_cast<std::weak_ptr<Watch>*>(data)->lock();
    if (!watch)
        return GST_BUS_DROP;
    GstDevice* raw = nullptr;
    if (added)
        gst_message_parse_device_added(message, &raw);
    else
        gst_message_parse_device_removed(message, &raw);
    const std::shared_ptr<GstDevice> device(raw, gsthandles::ObjectUnref{});
    if (device && gst_device_has_classes(device.get(), "Video/Source"))
        QMetaObject::invokeMethod(
            watch->context,
            [weak = std::weak_ptr<Watch>(watch), device, added] {
                if (const auto w = weak.lock())
                    w->changed(device.get(), added);
            },
            Qt::QueuedConnection);
    return GST_BUS_DROP;
}

int CameraList::update(GstDevice* device, bool added) {
    Camera seen = describe(device);
    auto match = std::find_if(cameras_.begin(), cameras_.end(), [&](const Camera& c) {
        return c.device.get() == device || c.sortKey == seen.sortKey;
    });
    // Plugged into another port, a camera may come back under another path.
    if (match == cameras_.end() && added)
        match = std::find_if(cameras_.begin(), cameras_.end(),
                             [&](const Camera& c) { return !c.present && c.name == seen.name; });
    // Cameras that were not there at start-up are not listed.
    if (match == cameras_.end())
        return -1;
    if (added) {
        match->device = std::move(seen.device);
        match->sizes = std::move(seen.sizes);
    }
    match->present = added;
    return int(match - cameras_.begin());
}

GstElementPtr CameraList::createSource(int i) const {
    if (i < 0 || i >= count())
        return {};
    return adoptFloating(gst_device_create_element(at(i).device.get(), nullptr));
}
