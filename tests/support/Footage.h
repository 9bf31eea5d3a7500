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

// A yard: a still grainy ground, crossed in `seconds` by a walker (a
// textured figure of `walker` pixels, left to right through the middle 60 %
// of the time) whose top is at `walkerTop` percent of the height, and, with
// `waving`, foliage in the right half that sways in and out of view all
// the time. Motion JPEG, so the still parts are the same in every frame.
// An empty text, or what ffmpeg said.
inline QString yard(const QString& path, QSize size, double seconds, int walkerTop,
                    QSize walker = QSize(30, 70), bool waving = false, int rate = 10) {
    const QString ground = QStringLiteral("color=c=0x5a7a6e:s=%1x%2:r=%3:d=%4,noise=alls=6:allf=u")
                               .arg(size.width())
                               .arg(size.height())
                               .arg(rate)
                               .arg(seconds);
    const QString figure = QStringLiteral("color=c=0x3050a0:s=%1x%2:r=%3:d=%4,noise=alls=60:allf=u")
                               .arg(walker.width())
                               .arg(walker.height())
                               .arg(rate)
                               .arg(seconds);
    const QString foliage =
        QStringLiteral("color=c=0x2a6a30:s=%1x%2:r=%3:d=%4,noise=alls=100:allf=t+u")
            .arg(size.width() / 2)
            .arg(size.height())
            .arg(rate)
            .arg(seconds);
    const double from = 0.2 * seconds, walk = 0.6 * seconds;
    const QString walking =
        QStringLiteral("overlay=x='-w+(W+w)*(t-%1)/%2':y=%3:enable='between(t,%1,%4)'")
            .arg(from)
            .arg(walk)
            .arg(size.height() * walkerTop / 100)
            .arg(from + walk);
    QStringList arguments{"-v",   "error", "-y",    "-f", "lavfi", "-i",
                          ground, "-f",    "lavfi", "-i", figure};
    if (waving)
        arguments << QStringList{"-f",
                                 "lavfi",
                                 "-i",
                                 foliage,
                                 "-filter_complex",
                                 "[0][2]overlay=x='W-w*(0.5+0.5*sin(2*PI*t*0.9))':y=0[a];[a][1]" +
                                     walking};
    else
        arguments << QStringList{"-filter_complex", "[0][1]" + walking};
    arguments << QStringList{"-c:v", "mjpeg", "-q:v", "2", "-pix_fmt", "yuvj420p", path};
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
    if (!ffmpeg.waitForFinished(120000))
        return QStringLiteral("ffmpeg did not finish");
    return ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0
               ? QString()
               : QStringLiteral("ffmpeg failed: ") +
                     QString::fromLocal8Bit(ffmpeg.readAllStandardError());
}

} // namespace Footage
