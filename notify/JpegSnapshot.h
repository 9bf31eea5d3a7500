#pragma once

#include <QImage>
#include <QString>

#include <functional>

class JpegLibrary;

// The snapshot of a recording as the mail attaches it: the bitmap the
// capture control saved, converted to "StillShot.jpg" beside the
// recordings at quality 90.
class JpegSnapshot final {
    Q_DISABLE_COPY_MOVE(JpegSnapshot)

public:
    using Trace = std::function<void(const QString& where, const QString& text)>;

    static constexpr int Quality = 90;
    static constexpr const char* JpgFileName = "StillShot.jpg";

    explicit JpegSnapshot(JpegLibrary& library, Trace trace = {});

    // Loads snapshotDibFile (any picture format Qt reads, told by content),
    // copies it into a DIB section and writes vidPath + "StillShot.jpg".
    // True when the JPEG was written; every failure gives false. A picture
    // that cannot be loaded leaves SnapshotJpgFile, Picture1 and any JPEG
    // file untouched.
    bool SaveJPGPic(const QString& snapshotDibFile, const QString& vidPath);

    // The JPEG's full name, set on every call that loaded its picture; the
    // mail attaches it.
    QString SnapshotJpgFile;
    // The picture last loaded.
    QImage Picture1;

private:
    void trace(const char* text) const;

    JpegLibrary& m_library;
    Trace m_trace;
};
