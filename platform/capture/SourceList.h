#pragma once

#include <QList>
#include <QSize>
#include <QString>

#include <chrono>

class SettingsStore;

// The sources listed beside the cameras, kept in the [SOURCES] section as
// Source1.. (a URL) and Name1.. (the caption): network cameras (rtsp://,
// and Motion JPEG over http:// or https://) and recorded videos (file://)
// played in a loop at their own rate as if they were cameras.
class SourceList final {
public:
    struct Source {
        QString name;
        QString url;
        bool operator==(const Source&) const = default;
    };

    // The stored sources, up to the first one without a URL.
    static QList<Source> read(const SettingsStore& store);
    // Replaces the stored sources; false when the file cannot be written.
    static bool write(SettingsStore& store, const QList<Source>& sources);

    // The URL without user name and password: what is shown or traced.
    static QString masked(const QString& url);
    // The address with the user and password given apart (they are never
    // shown in it); without a user, the address as it is.
    static QString withLogin(const QString& address, const QString& user, const QString& password);
    // `text` with the URL and its password replaced by the masked URL.
    static QString scrubbed(QString text, const QString& url);

    // Opens `url` in the decoding helper and waits for its first frame: an
    // empty text and the frame's size, or why not (without the password).
    static QString probe(const QString& url, QSize* size);
    // How long a source has to show its first picture to a test of it.
    static constexpr std::chrono::seconds probeTimeout{10};
};
