#pragma once

#include <QString>

class JpegLibrary;
class cDIBSection;

// Hands a DIB section to the JPEG library and writes the file so that it
// keeps the permission bits and the access and modification times of the
// file it replaces.
class JpegExport final {
public:
    static constexpr int ErrorNumber = 26001;

    // A failed conversion: the number, the reporting module and the text.
    struct Error {
        int number = 0;
        QString source;
        QString description;
    };

    // True when fileName was written from the section's pixels at the given
    // quality (1 to 100). An existing file of that name is deleted first,
    // so a failed write leaves no file; only a failed initialisation of the
    // library leaves everything as it was. The failure is described in
    // *error when one is given.
    static bool SaveDibAsJpg(JpegLibrary& library, const cDIBSection& dib, QString fileName,
                             int quality, Error* error = nullptr);

    // The program's file name without extension, then ".mIntelJPEGLibrary".
    static QString errorSource();
};
