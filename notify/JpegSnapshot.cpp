#include "JpegSnapshot.h"

#include "JpegExport.h"
#include "cDIBSection.h"

#include <QImageReader>

#include <exception>

JpegSnapshot::JpegSnapshot(JpegLibrary& library, Trace trace)
    : m_library(library)
    , m_trace(std::move(trace)) {}

void JpegSnapshot::trace(const char* text) const {
    if (m_trace)
        m_trace(QStringLiteral("SaveJPGPic"), QLatin1String(text));
}

bool JpegSnapshot::SaveJPGPic(const QString& snapshotDibFile, const QString& vidPath) {
    try {
        trace("Step 1");
        QImageReader reader(snapshotDibFile);
        reader.setDecideFormatFromContent(true);
        QImage picture;
        if (!reader.read(&picture))
            return false;
        Picture1 = std::move(picture);

        trace("Step 2");
        cDIBSection dib;
        dib.CreateFromPicture(Picture1);

        trace("Step 3");
        SnapshotJpgFile = vidPath + QLatin1String(JpgFileName);
        return JpegExport::SaveDibAsJpg(m_library, dib, SnapshotJpgFile, Quality);
    } catch (const std::exception&) {
        // Sizes beyond the 32-bit range, or no memory for the copy.
        return false;
    }
}
