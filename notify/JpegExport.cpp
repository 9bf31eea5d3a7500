#include "JpegExport.h"

#include "FileIdentity.h"
#include "JpegLibrary.h"
#include "cDIBSection.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <optional>

namespace {

bool fail(JpegExport::Error* error, const QString& description) {
    if (error != nullptr)
        *error = {JpegExport::ErrorNumber, JpegExport::errorSource(), description};
    return false;
}

} // namespace

QString JpegExport::errorSource() {
    const QString program =
        QCoreApplication::instance() != nullptr
            ? QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName()
            : QString();
    return program + QStringLiteral(".mIntelJPEGLibrary");
}

bool JpegExport::SaveDibAsJpg(JpegLibrary& library, const cDIBSection& dib, QString fileName,
                              int quality, Error* error) {
    JpegCoreProperties properties{};
    if (const int code = library.ijlInit(properties); code != JpegLibrary::Ok)
        return fail(error, QStringLiteral("Failed to initialise the IJL library: ") +
                               QString::number(code));

    // The new file is a new file: it takes the old one's identity
    // explicitly below rather than by being written into it.
    const std::optional<FileIdentity> previous = FileIdentity::of(fileName);
    if (previous)
        QFile::remove(fileName);

    properties.DIBBytes = dib.DIBSectionBitsPtr();
    // Without pixels the sizes describe nothing (a failed creation may have
    // asked for any size), and the library refuses the record anyway.
    if (properties.DIBBytes != nullptr) {
        properties.DIBWidth = dib.Width();
        // The section's rows are stored bottom-up.
        properties.DIBHeight = -dib.Height();
        properties.DIBPadBytes = dib.BytesPerScanLine() - 3 * dib.Width();
        properties.JPGWidth = dib.Width();
        properties.JPGHeight = dib.Height();
    }
    const QByteArray encodedName = QFile::encodeName(fileName);
    properties.JPGFile = encodedName.constData();
    properties.jquality = quality;

    const int code = library.ijlWrite(properties, JpegLibrary::IJL_JFILE_WRITEWHOLEIMAGE);
    if (code != JpegLibrary::Ok) {
        library.ijlFree(properties);
        return fail(error, QStringLiteral("Failed to save to JPG ") + QString::number(code));
    }
    if (previous) {
        previous->applyTimes(fileName);
        previous->applyAttributes(fileName);
    }
    library.ijlFree(properties);
    return true;
}
