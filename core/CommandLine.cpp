#include "CommandLine.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr qsizetype MaxProfileName = 64;

} // namespace

CommandLine CommandLine::parse(const QString& wholeCommandLine) {
    const QString upper = wholeCommandLine.toUpper();
    const auto has = [&upper](const char* sw) { return upper.contains(QLatin1String(sw)); };
    CommandLine c;
    c.debug = has("/DEBUG");
    c.noHardware = has("/NOHW");
    c.noOverlay = has("/NOOVERLAY");
    c.noRemote = has("/NOREMOTE");
    c.start = has("/START");
    c.noMail = has("/NOMAIL");
    static const QRegularExpression profileSwitch(QStringLiteral("/PROFILE:(\\S*)"),
                                                  QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch m = profileSwitch.match(wholeCommandLine); m.hasMatch())
        c.setProfile(m.captured(1));
    return c;
}

CommandLine CommandLine::fromArguments(const QStringList& argumentsWithoutProgram) {
    CommandLine c = parse(argumentsWithoutProgram.join(u' '));
    for (qsizetype i = 0; i < argumentsWithoutProgram.size(); ++i) {
        const QString& argument = argumentsWithoutProgram[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            c.help = true;
        else if (argument == QLatin1String("--version"))
            c.version = true;
        else if (argument == QLatin1String("--profile"))
            c.setProfile(argumentsWithoutProgram.value(++i));
        else if (argument.startsWith(QLatin1String("--profile=")))
            c.setProfile(argument.mid(10));
    }
    return c;
}

bool CommandLine::isValidProfileName(const QString& name) {
    if (name.isEmpty() || name.size() > MaxProfileName)
        return false;
    return std::all_of(name.begin(), name.end(), [](QChar ch) {
        const char16_t u = ch.unicode();
        return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
               u == '-' || u == '_';
    });
}

void CommandLine::setProfile(const QString& name) {
    profile = name;
    if (!isValidProfileName(name))
        error = QStringLiteral("Sentorix: the profile name \"%1\" is not usable: it takes 1 to %2 "
                               "letters, digits, '-' and '_'.")
                    .arg(name)
                    .arg(MaxProfileName);
}

QString CommandLine::usage() {
    return QStringLiteral(
        "Usage: sentorix [--profile NAME] [switches]\n"
        "       sentorix [--profile NAME] --autostart on|off\n"
        "       sentorix --help | -h | --version\n"
        "\n"
        "Records what moves in front of the camera.\n"
        "\n"
        "Switches (in any case and order):\n"
        "  /START             arm surveillance at start-up\n"
        "  /DEBUG             write a trace of every step (ZarvelDebug.dat in $TEMP)\n"
        "  /NOHW              use no capture hardware\n"
        "  /NOOVERLAY         show no live picture\n"
        "  /NOREMOTE          do not open the remote console\n"
        "  /NOMAIL            send no mail\n"
        "  /PROFILE:NAME      same as --profile NAME\n"
        "\n"
        "Options:\n"
        "  --profile NAME     run the instance NAME (letters, digits, '-', '_'), with\n"
        "                     its own settings file (Sentorix-NAME.conf), data folder,\n"
        "                     trace (ZarvelDebug-NAME.dat), console port and default\n"
        "                     output folder (Videos/NAME); one instance runs per profile\n"
        "  --autostart on|off start armed at login, or no longer (launcher only;\n"
        "                     with --profile, for that profile)\n"
        "  -h, --help         print this help and exit\n"
        "  --version          print the version and exit\n"
        "\n"
        "Environment:\n"
        "  XDG_CONFIG_HOME       settings: $XDG_CONFIG_HOME/Norvane/Sentorix.conf\n"
        "                        (default ~/.config)\n"
        "  XDG_DATA_HOME         data folder: $XDG_DATA_HOME/sentorix, a profile's in\n"
        "                        profiles/NAME under it (default ~/.local/share)\n"
        "  TEMP, TMPDIR          folder of the /DEBUG trace (default /tmp)\n"
        "  SENTORIX_TELNET_PORT  remote console port (default 23); a profile listens\n"
        "                        on its TelnetPort setting, else on this port plus a\n"
        "                        number from 1 to 1000 taken from its name\n"
        "  SENTORIX_LOGIN_BUS    bus of the login manager (default the system bus)\n"
        "\n"
        "Exit status: 0 when closed, 1 when the profile already runs, 2 on a bad\n"
        "command line.\n");
}
