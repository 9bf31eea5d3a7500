#include "CommandLine.h"

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
    return c;
}

CommandLine CommandLine::fromArguments(const QStringList& argumentsWithoutProgram) {
    return parse(argumentsWithoutProgram.join(u' '));
}
