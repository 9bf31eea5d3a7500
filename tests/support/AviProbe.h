#pragma once

#include "WaitBound.h"

#include <QByteArray>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// Reads a recording back with ffprobe and ffmpeg.
namespace AviProbe {

struct Stream {
    QString codec;
    int width = 0, height = 0, frames = -1;
    double duration = -1.0;
    int sampleRate = 0, channels = 0;
};

// One entry per stream; empty when ffprobe cannot read the file.
inline QList<Stream> probe(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  QStringLiteral("-v error -count_frames -of json -show_entries "
                                 "stream=width,height,nb_read_frames,codec_name,duration,"
                                 "nb_frames,time_base,sample_rate,channels")
                          .split(u' ')
                      << path);
    if (!ffprobe.waitForFinished(TestData::Bound) || ffprobe.exitCode() != 0)
        return {};
    QList<Stream> streams;
    for (const auto& value :
         QJsonDocument::fromJson(ffprobe.readAllStandardOutput())["streams"].toArray()) {
        const QJsonObject o = value.toObject();
        const auto number = [&o](const char* key) { // ffprobe quotes most numbers
            return o[QLatin1String(key)].toVariant().toDouble();
        };
        double duration = o.contains(QLatin1String("duration")) ? number("duration") : -1.0;
        // The AVI header has no duration for PCM; count its samples.
        const QStringList base = o[QLatin1String("time_base")].toString().split(u'/');
        if (duration < 0 && base.size() == 2 && base[1].toDouble() > 0)
            duration = number("nb_frames") * base[0].toDouble() / base[1].toDouble();
        streams.append({o[QLatin1String("codec_name")].toString(), int(number("width")),
                        int(number("height")), int(number("nb_read_frames")), duration,
                        int(number("sample_rate")), int(number("channels"))});
    }
    return streams;
}

// The first video frame as ffmpeg decodes it; null when it cannot.
inline QImage firstFrame(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", path, "-frames:v", "1", "-f",
                                            "image2pipe", "-vcodec", "png", "-"});
    ffmpeg.waitForFinished(TestData::Bound);
    return QImage::fromData(ffmpeg.readAllStandardOutput(), "PNG");
}

// Every video frame as ffmpeg decodes it, shrunk to width x height gray
// bytes, one frame after the other.
inline QByteArray grayFrames(const QString& path, int width, int height) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "error", "-i", path, "-an", "-vf",
                  QStringLiteral("scale=%1:%2,format=gray").arg(width).arg(height), "-f",
                  "rawvideo", "-"});
    ffmpeg.waitForFinished(TestData::Bound);
    return ffmpeg.readAllStandardOutput();
}

// What ffmpeg reports when decoding every frame of every stream; empty when
// all decode.
inline QByteArray decodeErrors(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", path, "-f", "null", "-"});
    if (!ffmpeg.waitForFinished(2 * TestData::Bound))
        return "ffmpeg did not finish";
    const QByteArray errors = ffmpeg.readAllStandardError();
    return ffmpeg.exitCode() != 0 && errors.isEmpty() ? "ffmpeg failed" : errors;
}

} // namespace AviProbe
