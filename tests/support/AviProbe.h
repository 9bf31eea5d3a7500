#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Reads a recording back with ffprobe: one entry per stream, empty when
// ffprobe cannot read the file.
class AviProbe final {
public:
    struct Stream {
        QString codec;
        int width = 0;
        int height = 0;
        int frames = -1;
        double duration = -1.0;
        int sampleRate = 0;
        int channels = 0;
    };
    static QList<Stream> probe(const QString& path);
    // The video packets in file order, each as "pts md5-of-its-data".
    static QStringList packets(const QString& path);
    // What ffmpeg reports when decoding every frame of every stream; empty
    // when all decode.
    static QByteArray decodeErrors(const QString& path);
};
