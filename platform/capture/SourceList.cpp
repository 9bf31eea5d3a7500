#include "SourceList.h"

#include "GstHandles.h"
#include "SettingsStore.h"

#include <gst/app/gstappsink.h>

#include <QUrl>

#include <algorithm>

namespace {
const QString section = QStringLiteral("SOURCES");
constexpr GstClockTime probeTimeout = 10 * GST_SECOND;
constexpr GstClockTime probeStep = 100 * GST_MSECOND;

QString scheme(const QString& url) {
    return QUrl(url.trimmed()).scheme().toLower();
}
} // namespace

QList<SourceList::Source> SourceList::read(const SettingsStore& store) {
    QList<Source> sources;
    for (int n = 1;; ++n) {
        const QString url = store.read(section, QStringLiteral("Source%1").arg(n), {}).trimmed();
        if (url.isEmpty())
            return sources;
        sources.append({store.read(section, QStringLiteral("Name%1").arg(n), masked(url)), url});
    }
}

bool SourceList::write(SettingsStore& store, const QList<Source>& sources) {
    const int stored = int(read(store).size());
    bool ok = true;
    // Entries past the new end are emptied, which ends the list there.
    for (int n = 1; n <= std::max(stored, int(sources.size())); ++n) {
        const Source s = n <= sources.size() ? sources.at(n - 1) : Source{};
        ok = store.write(section, QStringLiteral("Source%1").arg(n), s.url) && ok;
        ok = store.write(section, QStringLiteral("Name%1").arg(n), s.name) && ok;
    }
    return ok;
}

QString SourceList::masked(const QString& url) {
    const QUrl parsed(url.trimmed());
    if (!parsed.isValid() && !parsed.isEmpty())
        return QStringLiteral("(invalid address)");
    return parsed.adjusted(QUrl::RemoveUserInfo).toString();
}

QString SourceList::withLogin(const QString& address, const QString& user,
                              const QString& password) {
    QUrl url(address.trimmed());
    if (!user.isEmpty()) {
        url.setUserName(user);
        url.setPassword(password);
    }
    return url.toString();
}

QString SourceList::scrubbed(QString text, const QString& url) {
    const QUrl parsed(url.trimmed());
    text.replace(url.trimmed(), masked(url));
    text.replace(parsed.toString(), masked(url));
    const QString password = parsed.password();
    if (!password.isEmpty()) {
        text.replace(password, QStringLiteral("***"));
        text.replace(parsed.password(QUrl::FullyEncoded), QStringLiteral("***"));
    }
    return text;
}

QString SourceList::launchHead(const QString& url) {
    const QString kind = scheme(url);
    // Over TCP a server that goes away is noticed at once, and the stream
    // passes where UDP is blocked.
    if (kind == QLatin1String("rtsp"))
        return QStringLiteral("rtspsrc name=src protocols=tcp latency=200 ! decodebin");
    // A multipart stream never says it has no more parts, so a decodebin
    // would wait for them forever; the parts are stamped as they arrive.
    if (kind == QLatin1String("http") || kind == QLatin1String("https"))
        return QStringLiteral("souphttpsrc name=src is-live=true do-timestamp=true "
                              "! multipartdemux single-stream=true ! jpegdec");
    if (kind == QLatin1String("file"))
        return QStringLiteral("filesrc name=src ! decodebin");
    return {};
}

QString SourceList::location(const QString& url) {
    return loops(url) ? QUrl(url.trimmed()).toLocalFile() : url.trimmed();
}

bool SourceList::loops(const QString& url) {
    return scheme(url) == QLatin1String("file");
}

QString SourceList::probe(const QString& url, QSize* size) {
    const QString head = launchHead(url);
    if (head.isEmpty())
        return QStringLiteral("Sentorix reads rtsp://, http://, https:// and file:// addresses");
    gst_init(nullptr, nullptr); // may come before any capture control
    GError* rawError = nullptr;
    GstElementPtr pipeline(adoptFloating(
        gst_parse_launch((head + QStringLiteral(" ! videoconvert ! appsink name=sink sync=false"))
                             .toUtf8()
                             .constData(),
                         &rawError)));
    GErrorPtr parseError(rawError);
    if (!pipeline)
        return QString::fromUtf8(parseError ? parseError->message : "cannot build pipeline");
    GstElementPtr source(gst_bin_get_by_name(GST_BIN(pipeline.get()), "src"));
    GstElementPtr sink(gst_bin_get_by_name(GST_BIN(pipeline.get()), "sink"));
    g_object_set(source.get(), "location", location(url).toUtf8().constData(), nullptr);
    gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
    GstBusPtr bus(gst_element_get_bus(pipeline.get()));
    GstSamplePtr sample;
    GstMessagePtr message;
    // A frame, an error or the end of the wait, whichever comes first.
    for (GstClockTime waited = 0; !sample && !message && waited < probeTimeout;
         waited += probeStep) {
        sample.reset(gst_app_sink_try_pull_sample(GST_APP_SINK(sink.get()), probeStep));
        message.reset(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    }
    QString why;
    if (sample) {
        GstVideoInfo info;
        if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())))
            *size = QSize(GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info));
    } else {
        why = QStringLiteral("no picture within %1 seconds").arg(probeTimeout / GST_SECOND);
        if (message) {
            GError* raw = nullptr;
            gst_message_parse_error(message.get(), &raw, nullptr);
            GErrorPtr error(raw);
            why = QString::fromUtf8(error ? error->message : "unknown error");
        }
    }
    gst_element_set_state(pipeline.get(), GST_STATE_NULL);
    return scrubbed(why, url);
}
