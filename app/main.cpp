#include "CommandLine.h"
#include "ConfigSection.h"
#include "Form1.h"
#include "Program.h"
#include "ProgramOptions.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QDialog>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sentorix"));
    QApplication::setOrganizationName(QString::fromLatin1(ConfigSection::Application));
    // Lets the desktop match the window to the installed menu entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.example.Sentorix"));

    const CommandLine commandLine = CommandLine::fromArguments(app.arguments().mid(1));
    // The environment is read here and nowhere else.
    Program program(commandLine, ProgramOptions::fromEnvironment());
    Form1 form(program);
    TerminationSignals termination;
    // A signal that arrives while start-up waits in a message box closes
    // the box and lets start-up finish; the program then ends from here,
    // so the window is unloaded once, with its trace, and never shown.
    bool loaded = false;
    bool terminationPending = false;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, &form,
                     [&form, &loaded, &terminationPending](int) {
                         if (!loaded) {
                             terminationPending = true;
                             if (auto* box =
                                     qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                                 box->reject();
                             return;
                         }
                         form.close();
                         QCoreApplication::quit();
                     });

    form.Form_Load();
    loaded = true;
    if (terminationPending) {
        form.Form_Unload();
        return 0;
    }
    form.show();
    return app.exec();
}
