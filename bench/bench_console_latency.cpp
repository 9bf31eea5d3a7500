// How long the console's status reply takes while the program examines
// large frames, measured as a client would: the real binary on the test
// scene camera, a TCP client on the loopback address, key 5 sent at random
// intervals and timed until the last line of the reply has arrived.
//   bench_console_latency [BINARY] [REQUESTS]
// Each frame size runs armed and, as the baseline of the same run,
// disarmed; the figures are printed with their ratio.

#include "PublicStuff.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

namespace {

struct Figures {
    double p50 = 0;
    double p95 = 0;
    double max = 0;
    bool valid = false;
};

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool readUntil(QTcpSocket& socket, const QByteArray& text, QByteArray& seen, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!seen.contains(text)) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
        seen += socket.readAll();
    }
    return true;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto at = std::size_t(p * double(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

Figures measure(const QString& binary, int width, int height, bool armed, int requests) {
    Figures f;
    QTemporaryDir home;
    const quint16 port = freePort();
    QDir(home.path()).mkpath("config/Norvane");
    QDir(home.path()).mkpath("temp");
    QDir(home.path()).mkpath("videos");
    QFile settings(home.path() + "/config/Norvane/Sentorix.conf");
    if (!settings.open(QIODevice::WriteOnly))
        return f;
    settings.write(QStringLiteral("[CONFIG]\nVidPath=%1/videos/\nNotify=0\nCaptureFPS=5\n"
                                  "RemotePW=%2\n[CAPTURE]\nFrameWidth=%3\nFrameHeight=%4\n")
                       .arg(home.path(), PublicStuff::ScramblePassword(QStringLiteral("bench5")))
                       .arg(width)
                       .arg(height)
                       .toUtf8());
    settings.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    env.insert("XDG_DATA_HOME", home.path() + "/data");
    env.insert("TEMP", home.path() + "/temp");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("SENTORIX_NO_CAMERAS", "1");
    env.insert("SENTORIX_SCENE", "600:1");
    env.insert("SENTORIX_SCENE_PREGENERATED", "1");
    env.insert("SENTORIX_TELNET_PORT", QString::number(port));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{"/NOMAIL"};
    if (armed)
        arguments << "/START";
    program.start(binary, arguments);
    if (!program.waitForStarted())
        return f;

    QTcpSocket socket;
    QByteArray seen;
    const QDeadlineTimer up(20000);
    while (!up.hasExpired()) {
        socket.abort();
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(1000) && readUntil(socket, "Password: ", seen, 5000))
            break;
        QThread::msleep(100); // the program is still starting
    }
    socket.write("bench5\r\n");
    if (!readUntil(socket, "9 - Exit", seen, 5000))
        return f;
    // Let the base image be taken and the examination settle.
    QThread::sleep(5);
    socket.readAll();

    std::mt19937 random(5);
    std::uniform_int_distribution<int> pause(50, 400);
    std::vector<double> milliseconds;
    for (int i = 0; i < requests; ++i) {
        QThread::msleep(unsigned(pause(random)));
        socket.readAll();
        seen.clear();
        QElapsedTimer timer;
        timer.start();
        socket.write("5");
        socket.flush();
        if (!readUntil(socket, "Timestamp   : ", seen, 10000))
            return f;
        QByteArray lastLine = seen.mid(seen.indexOf("Timestamp   : "));
        if (!readUntil(socket, "\r\n", lastLine, 10000))
            return f;
        milliseconds.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    program.terminate();
    program.waitForFinished(10000);
    f.p50 = percentile(milliseconds, 0.50);
    f.p95 = percentile(milliseconds, 0.95);
    f.max = *std::max_element(milliseconds.begin(), milliseconds.end());
    f.valid = true;
    return f;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString binary =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(SENTORIX_BINARY);
    const int requests = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    const std::vector<std::pair<int, int>> sizes = {{1280, 720}, {1920, 1080}};
    for (const auto& [width, height] : sizes) {
        const Figures idle = measure(binary, width, height, false, requests);
        const Figures armed = measure(binary, width, height, true, requests);
        if (!idle.valid || !armed.valid) {
            std::printf("%dx%d: no figures (the program did not answer)\n", width, height);
            return 1;
        }
        std::printf("%dx%d status reply over %d requests, ms: disarmed p50 %.1f p95 %.1f max "
                    "%.1f; armed p50 %.1f p95 %.1f max %.1f; armed / disarmed p95 %.2f\n",
                    width, height, requests, idle.p50, idle.p95, idle.max, armed.p50, armed.p95,
                    armed.max, armed.p95 / std::max(idle.p95, 0.001));
    }
    return 0;
}
