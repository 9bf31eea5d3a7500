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
    const auto json = QJsonDocument::fromJson(ffprobe.readAllStandardOutput()).object();
    for (const auto& value : json.value(QStringLiteral("streams")).toArray()) {
        const QJsonObject o = value.toObject();
        Stream s;
        s.codec = o.value(QStringLiteral("codec_name")).toString();
        s.width = o.value(QStringLiteral("width")).toInt();
        s.height = o.value(QStringLiteral("height")).toInt();
        s.frames = o.value(QStringLiteral("nb_read_frames")).toString().toInt();
        s.duration = o.value(QStringLiteral("duration")).toString(QStringLiteral("-1")).toDouble();
        s.sampleRate = o.value(QStringLiteral("sample_rate")).toString().toInt();
        s.channels = o.value(QStringLiteral("channels")).toInt();
        // The AVI header has no duration for PCM; count its samples.
        const QStringList base = o.value(QStringLiteral("time_base")).toString().split(u'/');
        if (s.duration < 0 && base.size() == 2 && base.at(1).toDouble() > 0)
            s.duration = o.value(QStringLiteral("nb_frames")).toString().toDouble() *
                         base.at(0).toDouble() / base.at(1).toDouble();
        streams.append(s);
    }
    return streams;
}

QStringList AviProbe::packets(const QString& path) {
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  QStringLiteral("-v error -select_streams v -show_data_hash MD5 -show_entries "
                                 "packet=pts,data_hash -of csv=p=0")
                          .split(u' ')
                      << path);
    if (!ffprobe.waitForFinished(30000) || ffprobe.exitCode() != 0)
        return {};
    return QString::fromUtf8(ffprobe.readAllStandardOutput())
        .replace(u',', u' ')
        .split(u'\n', Qt::SkipEmptyParts);
}

QByteArray AviProbe::decodeErrors(const QString& path) {
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                  QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    if (!ffmpeg.waitForFinished(60000))
        return "ffmpeg did not finish";
    const QByteArray errors = ffmpeg.readAllStandardError();
    if (ffmpeg.exitCode() != 0 && errors.isEmpty())
        return "ffmpeg failed";
    return errors;
}
