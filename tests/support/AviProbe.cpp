#include "AviProbe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

QList<AviProbe::Stream> AviProbe::probe(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  QStringLiteral("-v error -count_frames -of json -show_entries "
                                 "stream=width,height,nb_read_frames,codec_name,duration,"
                                 "nb_frames,time_base,sample_rate,channels")
                          .split(u' ')
                      << path);
    if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0)
        return {};
    QList<Stream> streams;
    for (const auto& value :
         QJsonDocument::fromJson(ffprobe.readAllStandardOutput())["streams"].toArray()) {
        const QJsonObject o = value.toObject();
        const auto number = [&o](const char* key, double missing = 0) { // ffprobe quotes most
            const QJsonValue v = o[QLatin1String(key)];
            return v.isUndefined() ? missing : v.toVariant().toDouble();
        };
        Stream s{o[QLatin1String("codec_name")].toString(),
                 int(number("width")),
                 int(number("height")),
                 int(number("nb_read_frames")),
                 number("duration", -1),
                 int(number("sample_rate")),
                 int(number("channels"))};
        // The AVI header has no duration for PCM; count its samples.
        const QStringList base = o[QLatin1String("time_base")].toString().split(u'/');
        if (s.duration < 0 && base.size() == 2 && base[1].toDouble() > 0)
            s.duration = number("nb_frames") * base[0].toDouble() / base[1].toDouble();
        streams.append(s);
    }
    return streams;
}

QByteArray AviProbe::decodeErrors(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", path, "-f", "null", "-"});
    if (!ffmpeg.waitForFinished(60000))
        return "ffmpeg did not finish";
    const QByteArray errors = ffmpeg.readAllStandardError();
    return ffmpeg.exitCode() != 0 && errors.isEmpty() ? "ffmpeg failed" : errors;
}
