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

} // namespace

void CameraList::refresh() {
    cameras_.clear();
    hasAudioSource_ = false;
    if (qEnvironmentVariableIntValue("SENTORIX_NO_CAMERAS") == 1)
        return;

    GstDeviceMonitorPtr monitor(gst_device_monitor_new());
    gst_device_monitor_add_filter(monitor.get(), "Video/Source", nullptr);
    gst_device_monitor_add_filter(monitor.get(), "Audio/Source", nullptr);
    if (!gst_device_monitor_start(monitor.get()))
        return;
    GList* devices = gst_device_monitor_get_devices(monitor.get());
    for (GList* item = devices; item != nullptr; item = item->next) {
        GstDevicePtr device(GST_DEVICE(item->data)); // the list owns one reference each
        if (gst_device_has_classes(device.get(), "Audio/Source")) {
            hasAudioSource_ = true;
            continue;
        }
        if (!gst_device_has_classes(device.get(), "Video/Source"))
            continue;
        Camera camera;
        GCharPtr name(gst_device_get_display_name(device.get()));
        camera.name = QString::fromUtf8(name.get());
        GstStructurePtr props(gst_device_get_properties(device.get()));
        const QString driver =
            firstOf(props.get(), {"v4l2.device.driver", "api.v4l2.cap.driver", "device.api"});
        const QString version = firstOf(props.get(), {"v4l2.device.version"});
        camera.version = version.isEmpty() ? driver : driver + QLatin1Char(' ') + version;
        if (camera.version.isEmpty())
            camera.version = QStringLiteral("GStreamer");
        camera.sortKey = firstOf(props.get(), {"device.path", "api.v4l2.path", "object.path"}) +
                         QLatin1Char('\n') + camera.name;
        GstCapsPtr caps(gst_device_get_caps(device.get()));
        addSizes(caps.get(), camera.sizes);
        std::sort(camera.sizes.begin(), camera.sizes.end(), [](QSize a, QSize b) {
            return a.width() * a.height() < b.width() * b.height() ||
                   (a.width() * a.height() == b.width() * b.height() && a.width() < b.width());
        });
        camera.sizes.erase(std::unique(camera.sizes.begin(), camera.sizes.end()),
                           camera.sizes.end());
        camera.device = std::move(device);
        cameras_.push_back(std::move(camera));
    }
    g_list_free(devices);
    gst_device_monitor_stop(monitor.get());
    std::stable_sort(cameras_.begin(), cameras_.end(),
                     [](const Camera& a, const Camera& b) { return a.sortKey < b.sortKey; });
}

GstElementPtr CameraList::createSource(int i) const {
    if (i < 0 || i >= count())
        return {};
    return adoptFloating(gst_device_create_element(at(i).device.get(), nullptr));
}
