#include "CommandLine.h"
#include "ConfigSection.h"
#include "Form1.h"
#include "PublicStuff.h"
#include "SettingsStore.h"
#include "TerminationSignals.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sentorix"));
    QApplication::setOrganizationName(QString::fromLatin1(ConfigSection::Application));

    const CommandLine commandLine = CommandLine::fromArguments(app.arguments().mid(1));
    PublicStuff stuff;
    SettingsStore store(
        SettingsStore::defaultPath(QString::fromLatin1(ConfigSection::Application)));
    ConfigSection config(store);

    Form1 form(commandLine, stuff, config);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &form, [&form](int) {
        form.close();
        QCoreApplication::quit();
    });

    form.Form_Load();
    form.show();
    return app.exec();
}
