#include "CommandLine.h"
#include "ConfigSection.h"
#include "Form1.h"
#include "InstanceGuard.h"
#include "Program.h"
#include "ProgramInfo.h"
#include "ProgramOptions.h"
#include "TerminationSignals.h"
#include "frmAbout.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    // Help, version and a bad profile are answered before the window
    // system is asked for, so they work without a screen.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = CommandLine::fromArguments(arguments);
    if (commandLine.help) {
        std::fputs(qPrintable(CommandLine::usage()), stdout);
        return 0;
    }
    if (commandLine.version) {
        const QString revision =
            frmAbout::versionText(ProgramInfo::Major, ProgramInfo::Minor, ProgramInfo::Revision);
        std::printf("%s %s (%s)\n", qPrintable(ProgramInfo::displayName()),
                    qPrintable(ProgramInfo::version()), qPrintable(revision));
        return 0;
    }
    if (!commandLine.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(commandLine.error));
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sentorix"));
    QApplication::setOrganizationName(QString::fromLatin1(ConfigSection::Application));
    // Lets the desktop match the window to the installed menu entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.example.Sentorix"));

    // The environment is read here and nowhere else.
    const ProgramOptions options = ProgramOptions::fromEnvironment(commandLine.profile);
    InstanceGuard instance(options.configPath);
    switch (instance.claim()) {
    case InstanceGuard::Claim::Claimed:
        break;
    case InstanceGuard::Claim::AlreadyRunning: {
        const QString running = QStringLiteral("Sentorix is already running.");
        std::fprintf(stderr, "%s\n", qPrintable(running));
        const QString platform = QGuiApplication::platformName();
        if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
            QMessageBox box(QMessageBox::Information, ProgramInfo::displayName(), running,
                            QMessageBox::Ok);
            // On a virtual display nobody closes it; the refusal still ends.
            QTimer::singleShot(60000, &box, &QDialog::reject);
            box.exec();
        }
        return 1;
    }
    case InstanceGuard::Claim::Unguarded:
        std::fprintf(stderr, "Sentorix: cannot tell whether another instance runs (%s)\n",
                     qPrintable(instance.lastError()));
        break;
    }

    Program program(commandLine, options);
    Form1 form(program);
    QObject::connect(&instance, &InstanceGuard::raiseRequested, &form, &Form1::bringForward);
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
