#pragma once

#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

// Clips made at test time with ffmpeg: busy footage (its test pattern moves
// every frame) with a pure red band across the top sixteen rows.
namespace Footage {

// `seconds` of it at `size` into `path`, whose suffix picks the container,
// encoded with `codec` (ffmpeg's output options, "-c:v libx264 ...", in
// 4:2:0 unless they say -pix_fmt); the first `calm` seconds are a still grey
// picture under the band. An empty text, or what ffmpeg said.
inline QString make(const QString& path, QSize size, const QString& codec, double seconds = 3,
                    int rate = 25, double calm = 0) {
    QString filter = QStringLiteral("drawbox=w=iw:h=16:color=red:t=fill");
    if (calm > 0)
        filter.prepend(
            QStringLiteral("drawbox=w=iw:h=ih:color=gray:t=fill:enable='lt(t,%1)',").arg(calm));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{"-v", "error", "-y", "-f", "lavfi", "-i",
                             QStringLiteral("testsrc2=size=%1x%2:rate=%3")
                                 .arg(size.width())
                                 .arg(size.height())
                                 .arg(rate),
                             "-t", QString::number(seconds), "-vf", filter, "-an"} +
                     (codec + (codec.contains(QStringLiteral("-pix_fmt"))
                                   ? QString()
                                   : QStringLiteral(" -pix_fmt yuv420p")))
                         .split(u' ', Qt::SkipEmptyParts) +
                     QStringList{path});
    if (!ffmpeg.waitForFinished(120000))
        return QStringLiteral("ffmpeg did not finish");
    const QString said = QString::fromLocal8Bit(ffmpeg.readAllStandardError());
    return ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0
               ? QString()
               : QStringLiteral("ffmpeg failed: ") + said;
}

} // namespace Footage
