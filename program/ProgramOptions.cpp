#include "ProgramOptions.h"

#include "ConfigSection.h"
#include "FileSystem.h"
#include "SDASubclass.h"
#include "SettingsStore.h"
#include "TraceLog.h"
#include "Winsock.h"

ProgramOptions ProgramOptions::fromEnvironment() {
    ProgramOptions o;
    o.configPath = SettingsStore::defaultPath(QString::fromLatin1(ConfigSection::Application));
    o.tracePath = TraceLog::defaultPath();
    o.saverDirectory = FileSystem::saverDirectory();
    o.telnetPort = Winsock::defaultPort();
    o.loginBus = SDASubclass::defaultBusAddress();
    o.capture = CaptureControl::Options::fromEnvironment();
    return o;
}
