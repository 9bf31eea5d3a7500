// Takes the README's pictures of the running program: the main window
// while it records the test scene, the configuration dialog, the
// statistics window and the detection areas dialog; it also leaves two
// finished recordings and a mail row in the event log of the working
// directory for the browser picture.
//   sentorix_screenshots OUTPUT_DIR
// Run it under a real display server (scripts/screenshots uses Xvfb).
#include "DateText.h"
#include "Form1.h"
#include "Program.h"
#include "Statistics.h"
#include "StatusPanels.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

namespace {

void waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

bool save(QWidget* widget, const QString& path) {
    const bool ok = widget->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: sentorix_screenshots OUTPUT_DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    Program program(CommandLine::parse(QStringLiteral("/NOMAIL /START")),
                    ProgramOptions::fromEnvironment());
    Form1 form(program);
    form.Form_Load();
    form.show();

    bool ok = true;
    waitFor(
        [&] {
            return program.panels().text(Panel::State) ==
                   StatusPanels::stateName(SystemState::Recording);
        },
        60000);
    waitFor([] { return false; }, 1500); // the intruder well inside the picture
    ok &= save(&form, out.filePath(QStringLiteral("main-window.png")));

    QTimer::singleShot(500, &app, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ok &= save(dialog, out.filePath(QStringLiteral("configuration.png")));
            dialog->reject();
        } else {
            ok = false;
        }
    });
    form.mnuConfig_Click();

    form.mnuSuspend_Click(); // the recording ends and is logged
    // The statistics window, its plot with that recording's start and end.
    form.statistics().show();
    waitFor([] { return false; }, 3000);
    ok &= save(&form.statistics(), out.filePath(QStringLiteral("statistics.png")));
    form.statistics().hide();

    // The window and a strip of floor left out, with a threshold of the
    // user's own, over the live scene.
    program.setDetectionAreas({QRectF(61, 14, 28, 40), QRectF(0, 86, 100, 14)}, 6.5F);
    QTimer::singleShot(2000, &app, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ok &= save(dialog, out.filePath(QStringLiteral("detection-areas.png")));
            dialog->reject();
        } else {
            ok = false;
        }
    });
    form.mnuDetectionAreas_Click();
    // A later visit and its mail, as they would follow.
    const QDateTime later = QDateTime::currentDateTime().addSecs(2 * 3600 + 17 * 60);
    program.AddLogEntry(DateText::general(later), DateText::general(later.addSecs(43)),
                        QDir::current().filePath(QStringLiteral("Videos/later-visit.avi")));
    program.AddLogEntry(DateText::general(later.addSecs(44)),
                        QStringLiteral("Mail sent to ann@example.org"), QString());
    form.close();
    return ok ? 0 : 1;
}
