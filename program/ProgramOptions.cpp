#include "ProgramOptions.h"

#include "ConfigSection.h"
#include "FileSystem.h"
#include "SDASubclass.h"
#include "SettingsStore.h"
#include "TraceLog.h"
#include "Winsock.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace {

// base.ext becomes base-profile.ext in the same folder.
QString withProfile(const QString& path, const QString& profile) {
    const QFileInfo file(path);
    return file.path() + u'/' + file.completeBaseName() + u'-' + profile + u'.' + file.suffix();
}

} // namespace

ProgramOptions ProgramOptions::fromEnvironment(const QString& profile) {
    ProgramOptions o;
    o.configPath = SettingsStore::defaultPath(QString::fromLatin1(ConfigSection::Application));
    o.tracePath = TraceLog::defaultPath();
    o.saverDirectory = FileSystem::saverDirectory();
    o.videoDirectory = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation) + u'/';
    o.telnetPort = Winsock::defaultPort();
    bool webSet = false;
    const int web = qEnvironmentVariableIntValue("SENTORIX_WEB_PORT", &webSet);
    o.webPort = webSet && web > 0 && web < 65536 ? web : 0;
    if (!profile.isEmpty()) {
        o.configPath = withProfile(o.configPath, profile);
        o.tracePath = withProfile(o.tracePath, profile);
        o.videoDirectory += profile + u'/';
        bool ok = false;
        const int stored =
            SettingsStore(o.configPath)
                .read(QString(ConfigSection::Section), QStringLiteral("TelnetPort"), QString())
                .toInt(&ok);
        o.telnetPort =
            ok && stored > 0 && stored < 65536 ? stored : profilePort(o.telnetPort, profile);
    }
    o.loginBus = SDASubclass::defaultBusAddress();
    o.capture = CaptureControl::Options::fromEnvironment();
    return o;
}

int ProgramOptions::profilePort(int defaultPort, const QString& profile) {
    // FNV-1a: the same name gives the same port on every machine.
    quint32 hash = 2166136261u;
    for (const char byte : profile.toUtf8())
        hash = (hash ^ quint8(byte)) * 16777619u;
    const int port = defaultPort + 1 + int(hash % 1000);
    return port < 65536 ? port : port - 64512; // stays above the privileged ports
}
