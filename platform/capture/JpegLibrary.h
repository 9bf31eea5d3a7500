#pragma once

#include "JpegCoreProperties.h"

// The JPEG library's three calls on its properties record, backed by
// libjpeg-turbo. Results are 0 on success, else one of the negative codes
// below. Calls are virtual so a test can stand in for the library.
class JpegLibrary {
public:
    // I/O mode of ijlWrite: encode the whole image into the file JPGFile.
    static constexpr int IJL_JFILE_WRITEWHOLEIMAGE = 8;

    static constexpr int Ok = 0;
    static constexpr int OutOfMemory = -1;     // no encoder could be made
    static constexpr int NotInitialised = -2;  // ijlWrite before ijlInit or after ijlFree
    static constexpr int UnsupportedMode = -3; // an I/O mode other than the one above
    static constexpr int InvalidRecord = -4;   // missing pixels or name, sizes, quality
    static constexpr int EncodeFailed = -5;
    static constexpr int FileOpenFailed = -6;
    static constexpr int FileWriteFailed = -7;

    JpegLibrary() = default;
    virtual ~JpegLibrary();
    JpegLibrary(const JpegLibrary&) = delete;
    JpegLibrary& operator=(const JpegLibrary&) = delete;

    // Creates the encoder for the record and sets its defaults: 3 channels
    // in BGR order, YCbCr output with 4:2:0 chroma, quality 75.
    virtual int ijlInit(JpegCoreProperties& properties);
    // Encodes the record's pixels and writes the file, replacing any file of
    // that name. A failed write leaves no file behind.
    virtual int ijlWrite(JpegCoreProperties& properties, int ioType);
    // Releases the encoder; the record can be initialised again.
    virtual int ijlFree(JpegCoreProperties& properties);
};
