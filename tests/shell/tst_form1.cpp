#include "CaptureControl.h"
#include "CaptureView.h"
#include "ConfigSection.h"
#include "EventLog.h"
#include "Form1.h"
#include "ModalDialog.h"
#include "ProgramRun.h"
#include "PublicStuff.h"
#include "SettingsStore.h"
#include "Statistics.h"
#include "StatusPanels.h"
#include "Surveillance.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

namespace {

using Run = ProgramRun;

QStringList checkedCaptions(const QList<QAction*>& list) {
    QStringList result;
    for (QAction* a : list) {
        if (a->isChecked())
            result << a->text();
    }
    return result;
}

// Closes the next message box and remembers its text and icon.
struct MessageBoxCatcher {
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    // The button to press; none accepts the box.
    QMessageBox::StandardButton press = QMessageBox::NoButton;
    void arm() {
        QTimer::singleShot(0, qApp, [this] { catchOne(); });
    }
    void catchOne() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(20, qApp, [this] { catchOne(); });
            return;
        }
        text = box->text();
        title = box->windowTitle();
        icon = box->icon();
        buttons = box->standardButtons();
        if (press != QMessageBox::NoButton && box->button(press) != nullptr)
            box->button(press)->click();
        else
            box->accept();
    }
};

// Captions of a menu, depth-first, submenus indented, separators as "-".
void collectCaptions(const QList<QAction*>& actions, const QString& indent, QStringList& out) {
    for (QAction* a : actions) {
        out << indent + (a->isSeparator() ? QStringLiteral("-") : a->text());
        if (a->menu())
            collectCaptions(a->menu()->actions(), indent + QStringLiteral("  "), out);
    }
}

} // namespace

class tst_Form1 final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QString configPath() const {
        return m_home.filePath(QStringLiteral("config/Norvane/Sentorix.conf"));
    }
    QString tracePath() const { return m_home.filePath(QStringLiteral("temp/ZarvelDebug.dat")); }
    void store(const char* key, const char* value) {
        SettingsStore(configPath()).write("CONFIG", QLatin1String(key), QLatin1String(value));
    }
    QString stored(const char* key) const {
        return SettingsStore(configPath()).read("CONFIG", QLatin1String(key), "<missing>");
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        QDir(m_home.path()).mkpath(QStringLiteral("temp"));
        qputenv("TEMP", QFile::encodeName(m_home.filePath(QStringLiteral("temp"))));
        qputenv("SENTORIX_NO_CAMERAS", "1");
        // The event log and its template are found in the working directory.
        QVERIFY(QDir::setCurrent(m_home.path()));
    }
    void cleanup() {
        QFile::remove(configPath());
        QFile::remove(tracePath());
        QFile::remove(m_home.filePath(EventLog::LogFile));
        QFile::remove(m_home.filePath(EventLog::TemplateFile));
    }
    QByteArray logContent() const {
        QFile f(m_home.filePath(EventLog::LogFile));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    void firstRunWithEmptyStore() {
        Run run(configPath());
        run.form.Form_Load();
        Form1& f = run.form;
        const Form1::Menus& m = f.menus();

        QCOMPARE(f.windowTitle(), QStringLiteral("Sentorix V1.0"));
        QCOMPARE(f.widthTwips(), 7950.0);
        QCOMPARE(f.heightTwips(), 5805.0);
        // 1000 twips lie between two pixels; the nearest pixel is taken.
        QCOMPARE(f.pos(), QPoint(67, 67));

        QCOMPARE(checkedCaptions(m.mnuSensitivity), QStringList{"&Medium"});
        QCOMPARE(checkedCaptions(m.mnuTimeType), QStringList{"...end of activity plus..."});
        QCOMPARE(checkedCaptions(m.mnuRec), QStringList{"30 seconds"});
        QCOMPARE(checkedCaptions(m.mnuRefresh), QStringList{"1 minute"});
        QVERIFY(m.mnuSuspendRefresh->isChecked());
        QCOMPARE(run.program.stuff().Threshold, 4.0F);
        QCOMPARE(int(run.program.stuff().RecordSeconds), 30);
        QCOMPARE(int(run.program.stuff().TimeType), 1);
        QCOMPARE(int(run.program.stuff().RefreshSeconds), 60);
        QVERIFY(run.program.stuff().SuspendRefresh);

        // The option commands save their keys; nothing else is written.
        QCOMPARE(stored("Sensitivity"), QStringLiteral("3"));
        QCOMPARE(stored("RecStop"), QStringLiteral("3"));
        QCOMPARE(stored("TimeType"), QStringLiteral("1"));
        QCOMPARE(stored("NewBase"), QStringLiteral("2"));
        QCOMPARE(stored("VidPath"), QStringLiteral("<missing>"));

        QCOMPARE(run.program.stuff().LowSpace, 20);
        QCOMPARE(int(run.program.stuff().Notify), 1);
        QCOMPARE(int(run.program.stuff().APM), 0);
        QCOMPARE(run.program.stuff().Saver, QStringLiteral("0"));
        QCOMPARE(run.program.stuff().RemotePassword, QString());
        QVERIFY(run.program.stuff().VidPath.endsWith(u'/'));
        QCOMPARE(run.program.surveillance().Timer1.interval(), 250);
        QVERIFY(!run.program.surveillance().Timer1.isActive());

        QCOMPARE(run.program.panels().text(Panel::State), QStringLiteral("OFF"));
        for (int panel = 1; panel <= 5; ++panel) {
            auto* label = f.statusBar()->findChild<QLabel*>(QStringLiteral("Panel%1").arg(panel));
            QVERIFY(label);
            QCOMPARE(label->toolTip(), StatusPanels::toolTip(Panel(panel)));
            QCOMPARE(label->text(), run.program.panels().text(Panel(panel)));
        }
        QCOMPARE(StatusPanels::toolTip(Panel::Deviation),
                 QStringLiteral("Current image deviation in %"));
        QCOMPARE(StatusPanels::toolTip(Panel::Timestamp),
                 QStringLiteral("Timestamp when recording started"));
    }

    void testSceneIsDeviceZeroAndSelected() {
        Run run(configPath());
        run.form.Form_Load();
        const Form1::Menus& m = run.form.menus();
        QCOMPARE(int(run.program.DeviceCount), 1);
        QCOMPARE(m.mnuDevice.size(), 2);
        QVERIFY(!m.mnuDevice[0]->isVisible());
        QCOMPARE(m.mnuDevice[0]->text(), QStringLiteral("(none)"));
        QCOMPARE(m.mnuDevice[1]->text(), run.program.capture().DeviceName(0));
        QCOMPARE(checkedCaptions(m.mnuDevice), QStringList{m.mnuDevice[1]->text()});
        QCOMPARE(run.program.capture().Device(), 0);
        QCOMPARE(stored("Camera"), QStringLiteral("2"));
        QVERIFY(m.mnuStartStop->menuAction()->isEnabled());
        QVERIFY(m.mnuCompress->isEnabled());
        QCOMPARE(m.mnuFormat->isEnabled(), run.program.capture().HasFormatDialog());
        QCOMPARE(m.mnuSource->isEnabled(), run.program.capture().HasSourceDialog());

        // The live picture reaches the view.
        run.form.show();
        QTRY_VERIFY_WITH_TIMEOUT(!run.form.captureView().picture().isNull(), 5000);
    }

    void storedOptionsAreReplayed() {
        store("Sensitivity", "5");
        store("RecStop", "6");
        store("TimeType", "2");
        store("NewBase", "7");
        store("SuspendRefresh", "False");
        store("LowSpace", "150.5");
        store("Notify", "0");
        store("SAVER", "--- none ---");
        store("RemotePW", PublicStuff::ScramblePassword("Secret42").toLatin1().constData());
        Run run(configPath());
        run.form.Form_Load();
        const Form1::Menus& m = run.form.menus();
        QCOMPARE(checkedCaptions(m.mnuSensitivity), QStringList{"V&ery low"});
        QCOMPARE(checkedCaptions(m.mnuTimeType), QStringList{"...a &fixed time of..."});
        QCOMPARE(checkedCaptions(m.mnuRec), QStringList{"5 minutes"});
        QCOMPARE(checkedCaptions(m.mnuRefresh), QStringList{"Never"});
        QVERIFY(!m.mnuSuspendRefresh->isChecked());
        QCOMPARE(run.program.stuff().Threshold, 8.0F);
        QCOMPARE(int(run.program.stuff().RecordSeconds), 300);
        QCOMPARE(int(run.program.stuff().RefreshSeconds), 0);
        QCOMPARE(run.program.stuff().LowSpace, 150);
        QCOMPARE(int(run.program.stuff().Notify), 0);
        QCOMPARE(run.program.stuff().Saver, QStringLiteral("--- none ---"));
        QCOMPARE(run.program.stuff().RemotePassword, QStringLiteral("Secret42"));
    }

    void outOfRangeIndexesCheckNothing() {
        store("Sensitivity", "9");
        store("RecStop", "0");
        store("TimeType", "5");
        store("NewBase", "-3");
        Run run(configPath());
        run.form.Form_Load();
        const Form1::Menus& m = run.form.menus();
        QVERIFY(checkedCaptions(m.mnuSensitivity).isEmpty());
        QVERIFY(checkedCaptions(m.mnuTimeType).isEmpty());
        QVERIFY(checkedCaptions(m.mnuRec).isEmpty());
        QVERIFY(checkedCaptions(m.mnuRefresh).isEmpty());
        QCOMPARE(run.program.stuff().Threshold, 0.0F);
        QCOMPARE(int(run.program.stuff().RecordSeconds), 0);
        QCOMPARE(int(run.program.stuff().TimeType), 5);
        QCOMPARE(int(run.program.stuff().RefreshSeconds), 0);
        QCOMPARE(stored("Sensitivity"), QStringLiteral("9"));
        QCOMPARE(stored("NewBase"), QStringLiteral("-3"));
    }

    void textsThatAreNotNumbersFallBack() {
        store("Sensitivity", "high");
        store("PosLeft", "left");
        store("PosWidth", "1e9");
        store("PosHeight", "-300");
        store("LowSpace", "lots");
        store("CaptureFPS", "fast");
        store("Camera", "first");
        Run run(configPath());
        run.form.Form_Load();
        QCOMPARE(checkedCaptions(run.form.menus().mnuSensitivity), QStringList{"&Medium"});
        QCOMPARE(run.form.pos().x(), 67);
        QCOMPARE(run.form.widthTwips(), 7950.0);
        QCOMPARE(run.form.heightTwips(), 5805.0);
        QCOMPARE(run.program.stuff().LowSpace, 20);
        QCOMPARE(run.program.capture().FrameRate(), 5);
        QCOMPARE(run.program.capture().Device(), 0);
    }

    void geometryIsRestoredAndSavedInTwips() {
        store("PosLeft", "1500");
        store("PosTop", "750");
        store("PosWidth", "9000");
        store("PosHeight", "6000");
        {
            Run run(configPath());
            run.form.Form_Load();
            QCOMPARE(run.form.pos(), QPoint(100, 50));
            QCOMPARE(run.form.size(), QSize(600, 400));
            run.form.show();
            run.form.move(120, 90);
            run.form.resize(640, 480);
            QVERIFY(run.form.close());
        }
        QCOMPARE(stored("PosLeft"), QStringLiteral("1800"));
        QCOMPARE(stored("PosTop"), QStringLiteral("1350"));
        QCOMPARE(stored("PosWidth"), QStringLiteral("9600"));
        QCOMPARE(stored("PosHeight"), QStringLiteral("7200"));
        Run again(configPath());
        again.form.Form_Load();
        QCOMPARE(again.form.pos(), QPoint(120, 90));
        QCOMPARE(again.form.size(), QSize(640, 480));
    }

    void pictureKeepsItsMarginWhenResized() {
        Run run(configPath());
        run.form.Form_Load();
        run.form.show();
        QFrame& frame = run.form.picFrame();
        const QRect view0 = run.form.captureView().geometry();
        const QSize frame0 = frame.size();
        QCOMPARE(view0.topLeft(), QPoint(8, 8));
        QCOMPARE(view0.width(), frame0.width() - 16);
        QCOMPARE(view0.height(), frame0.height() - 16);

        for (const QSize size : {QSize(900, 700), QSize(300, 200), QSize(531, 388)}) {
            const QSize before = run.form.size();
            const QSize frameBefore = frame.size();
            run.form.resize(size);
            QTRY_COMPARE(run.form.size(), size);
            QCOMPARE(frame.width() - frameBefore.width(), size.width() - before.width());
            QCOMPARE(frame.height() - frameBefore.height(), size.height() - before.height());
            const QRect view = run.form.captureView().geometry();
            QCOMPARE(view.topLeft(), QPoint(8, 8));
            QCOMPARE(view.width(), frame.width() - 16);
            QCOMPARE(view.height(), frame.height() - 16);
        }
    }

    void tinyAndMinimisedWindowsSurvive() {
        Run run(configPath());
        run.form.Form_Load();
        run.form.show();
        run.form.setMinimumSize(0, 0);
        run.form.resize(1, 1);
        QCoreApplication::processEvents();
        QVERIFY(run.form.captureView().width() >= 0);
        QVERIFY(run.form.captureView().height() >= 0);
        run.form.showMinimized();
        QCoreApplication::processEvents();
        run.form.showNormal();
        run.form.resize(700, 500);
        QTRY_COMPARE(run.form.size(), QSize(700, 500));
        // Back from tiny and minimised, the picture has its margin again.
        const QRect view = run.form.captureView().geometry();
        QCOMPARE(view.width(), run.form.picFrame().width() - 16);
        QCOMPARE(view.height(), run.form.picFrame().height() - 16);
        QVERIFY(view.width() > 0);
    }

    void noHardwareListsNoDevice() {
        Run run(configPath(), QStringLiteral("/nohw /START"));
        run.form.Form_Load();
        const Form1::Menus& m = run.form.menus();
        QCOMPARE(int(run.program.DeviceCount), 0);
        QCOMPARE(m.mnuDevice.size(), 1);
        QVERIFY(m.mnuDevice[0]->isVisible());
        QVERIFY(!m.mnuDevice[0]->isEnabled());
        QVERIFY(!m.mnuStartStop->menuAction()->isEnabled());
        QVERIFY(!m.mnuSource->isEnabled());
        QVERIFY(!m.mnuFormat->isEnabled());
        QVERIFY(!m.mnuCompress->isEnabled());
        QVERIFY(!m.mnuAudio->isVisible());
        QVERIFY(!m.mnuAudioFormat->isVisible());
        QCOMPARE(run.program.panels().text(Panel::State), QStringLiteral("OFF"));
        QCOMPARE(stored("Camera"), QStringLiteral("<missing>"));
    }

    void noOverlayShowsInPanelFive() {
        Run run(configPath(), QStringLiteral("/NoOverlay"));
        run.form.Form_Load();
        QVERIFY(run.program.surveillance().NoOverlay());
        QCOMPARE(run.program.panels().text(Panel::Timestamp), QStringLiteral("Overlay disabled"));
        Run plain(configPath());
        plain.form.Form_Load();
        QCOMPARE(plain.program.panels().text(Panel::Timestamp), QString());
    }

    void unavailableStoredDeviceShowsMessage() {
        store("Camera", "7");
        MessageBoxCatcher catcher;
        catcher.arm();
        Run run(configPath());
        run.form.Form_Load();
        QCOMPARE(catcher.text,
                 QStringLiteral("The selected video device is currently not available."));
        QCOMPARE(catcher.title, QStringLiteral("Sentorix"));
        QCOMPARE(catcher.icon, QMessageBox::Critical);
        const Form1::Menus& m = run.form.menus();
        QVERIFY(checkedCaptions(m.mnuDevice).isEmpty());
        QVERIFY(!m.mnuStartStop->menuAction()->isEnabled());
        QVERIFY(!m.mnuCompress->isEnabled());
        QCOMPARE(stored("Camera"), QStringLiteral("7"));

        // Choosing the working entry afterwards selects it.
        m.mnuDevice[1]->trigger();
        QCOMPARE(checkedCaptions(m.mnuDevice), QStringList{m.mnuDevice[1]->text()});
        QVERIFY(m.mnuStartStop->menuAction()->isEnabled());
        QCOMPARE(stored("Camera"), QStringLiteral("2"));
    }

    void debugSwitchTracesTheRun() {
        for (int runNumber = 0; runNumber < 2; ++runNumber) {
            Run run(configPath(), QStringLiteral("/debug"));
            run.form.Form_Load();
            QCOMPARE(run.form.windowTitle(), QStringLiteral("Sentorix V1.0  D E B U G"));
            run.form.close();
        }
        QFile file(tracePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QVERIFY(lines.last().isEmpty()); // every line ends with CR LF
        QList<QByteArray> texts;
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            QVERIFY2(lines[i].endsWith('\r'), lines[i].constData());
            const qsizetype dash = lines[i].indexOf(" - ");
            QVERIFY(dash > 0);
            texts << lines[i].mid(dash + 3).chopped(1);
        }
        QCOMPARE(texts.first(), QByteArray("Init - Sentorix V1.0"));
        QCOMPARE(texts.count("Init - Sentorix V1.0"), 2);
        QVERIFY(texts.contains("Init - Hardware detected: Sentorix test scene camera"));
        QVERIFY(texts.contains("Device_Click - Select device 0"));
        QVERIFY(texts.contains("Device_Click - Device selected"));
        QVERIFY(texts.contains("Sensitivity_Click - Change sensitivity"));
        QVERIFY(texts.contains("Rec_Click - Recording Time changed"));
        QVERIFY(texts.contains("Init - Telnet Init Begin"));
        QVERIFY(texts.contains("Init - Position Window"));
        QVERIFY(texts.contains("Resize - Perform"));
        QCOMPARE(texts.last(), QByteArray("End - Unload completed"));
        QCOMPARE(texts.count("End - Unload completed"), 2);
    }

    void noTraceWithoutDebug() {
        Run run(configPath(), QStringLiteral("/START"));
        run.form.Form_Load();
        run.form.close();
        QVERIFY(!QFile::exists(tracePath()));
        QCOMPARE(run.form.windowTitle(), QStringLiteral("Sentorix V1.0"));
    }

    void menuTreeAsDesigned() {
        Run run(configPath());
        run.form.Form_Load();
        QStringList captions;
        collectCaptions(run.form.menuBar()->actions(), QString(), captions);
        const QStringList expected{"&Start/Stop",
                                   "  &Start",
                                   "  Start in &30 seconds",
                                   "Sus&pend",
                                   "Se&ttings",
                                   "  Video &Device",
                                   "    (none)",
                                   "    " + run.program.capture().DeviceName(0),
                                   "  Video &Source",
                                   "  Video &Format",
                                   "  Video &Compression",
                                   "  -",
                                   "  &Capture &Audio",
                                   "  Audio F&ormat",
                                   "  -",
                                   "  &Sensitivity",
                                   "    &Very high",
                                   "    &High",
                                   "    &Medium",
                                   "    &Low",
                                   "    V&ery low",
                                   "  &Stop recording after...",
                                   "    ...end of activity plus...",
                                   "    ...a &fixed time of...",
                                   "    -",
                                   "    10 seconds",
                                   "    20 seconds",
                                   "    30 seconds",
                                   "    1 minute",
                                   "    2 minutes",
                                   "    5 minutes",
                                   "  &Refresh base image every...",
                                   "    30 seconds",
                                   "    1 minute",
                                   "    5 minutes",
                                   "    10 minutes",
                                   "    30 minutes",
                                   "    1 hour",
                                   "    Never",
                                   "    -",
                                   "    &No refresh when recording",
                                   "  -",
                                   "  Show Video &Statistics",
                                   "  -",
                                   "  &Configuration",
                                   "&Log",
                                   "  &Show log",
                                   "  &Clear log",
                                   "&?",
                                   "  &Documentation",
                                   "  &Online Information",
                                   "  -",
                                   "  &About"};
        QCOMPARE(captions, expected);
        for (QAction* a : run.form.menuBar()->actions()) {
            if (a->menu())
                for (QAction* e : a->menu()->actions())
                    QVERIFY2(e->shortcut().isEmpty(), qPrintable(e->text()));
        }
        QVERIFY(!run.form.menus().mnuSuspend->isEnabled());
    }

    void formatDialogFromTheMenuChangesTheFrames() {
        Run run(configPath(), QStringLiteral("/DEBUG"));
        run.form.Form_Load();
        QSize delivered;
        connect(&run.program.capture(), &CaptureControl::FrameCallback, this,
                [&delivered](const VideoHeader* h) {
                    delivered = QSize(int(h->width), int(h->height));
                });
        QTRY_COMPARE_WITH_TIMEOUT(delivered, QSize(640, 480), 5000);
        ModalDialog::whenOpen([](QDialog* d) {
            auto* sizes = d->findChild<QComboBox*>(QStringLiteral("FrameSize"));
            sizes->setCurrentIndex(sizes->findData(QSize(320, 240)));
        });
        run.form.menus().mnuFormat->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(delivered, QSize(320, 240), 5000);
        ModalDialog::whenOpen([](QDialog*) {});
        run.form.menus().mnuCompress->trigger();
        run.form.close();
        QFile trace(tracePath());
        QVERIFY(trace.open(QIODevice::ReadOnly));
        const QByteArray text = trace.readAll();
        QVERIFY(text.contains(" - Format_Click - Display Format Dialog\r\n"));
        QVERIFY(text.contains(" - Compress_Click - Display Compress Dialog\r\n"));

        // The driver keeps the size for the next run.
        Run again(configPath());
        again.form.Form_Load();
        QCOMPARE(again.program.capture().frameSize(), QSize(320, 240));
    }

    void unpluggedCameraLeavesTheProgramRunning() {
        // Gone after a second of frames, back a second later.
        qputenv("SENTORIX_SCENE_UNPLUG", "1:1");
        Run run(configPath());
        run.form.Form_Load();
        qunsetenv("SENTORIX_SCENE_UNPLUG");
        const Form1::Menus& m = run.form.menus();
        QVERIFY(m.mnuStartStop->menuAction()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!m.mnuStartStop->menuAction()->isEnabled(), 10000);
        QVERIFY(checkedCaptions(m.mnuDevice).isEmpty());
        QVERIFY(!m.mnuCompress->isEnabled());
        QVERIFY(!run.program.stuff().CaptureStatusText.isEmpty());
        QCOMPARE(run.program.capture().Device(), -1);
        QCOMPARE(run.program.panels().text(Panel::State), QStringLiteral("OFF"));
        QTRY_VERIFY_WITH_TIMEOUT(m.mnuStartStop->menuAction()->isEnabled(), 10000);
        QCOMPARE(checkedCaptions(m.mnuDevice).size(), 1);
        QVERIFY(m.mnuCompress->isEnabled());
        QCOMPARE(run.program.capture().Device(), 0);
    }

    void optionCommandsFromTheMenu() {
        Run run(configPath());
        run.form.Form_Load();
        const Form1::Menus& m = run.form.menus();
        m.mnuRefresh[6]->trigger();
        QCOMPARE(int(run.program.stuff().RefreshSeconds), 0);
        QCOMPARE(stored("NewBase"), QStringLiteral("7"));
        QCOMPARE(checkedCaptions(m.mnuRefresh), QStringList{"Never"});
        m.mnuSensitivity[4]->trigger();
        QCOMPARE(run.program.stuff().Threshold, 8.0F);
        QCOMPARE(stored("Sensitivity"), QStringLiteral("5"));
        m.mnuSuspendRefresh->trigger();
        QVERIFY(!run.program.stuff().SuspendRefresh);
        QCOMPARE(stored("SuspendRefresh"), QStringLiteral("False"));
        if (m.mnuAudio->isVisible()) {
            m.mnuAudio->trigger();
            QCOMPARE(stored("Audio"),
                     ConfigSection::booleanText(run.program.capture().CaptureAudio()));
            QVERIFY(run.program.capture().CaptureAudio());
        }
    }

    void eventLogFromTheWindow() {
        QFile templ(m_home.filePath(EventLog::TemplateFile));
        QVERIFY(templ.open(QIODevice::WriteOnly));
        templ.write("<table>\r\n<!--DATA-->\r\n</table>\r\n");
        templ.close();
        Run run(configPath());
        run.form.Form_Load();
        // Start-up made the log from the template.
        QCOMPARE(logContent(), QByteArray("<table>\r\n<!--DATA-->\r\n</table>\r\n"));

        // A finished recording names the camera of the device menu.
        const QString camera = run.form.menus().mnuDevice[1]->text();
        QCOMPARE(run.program.capture().Device(), 0);
        run.form.mnuSensitivity_Click(1);
        Q_EMIT run.program.surveillance().recordingStopped("start", "stop", "/v/x.avi");
        QCOMPARE(logContent(),
                 "<table>\r\n" + EventLog::recordingRow("start", "stop", camera, 1.2F, "/v/x.avi") +
                     "<!--DATA-->\r\n</table>\r\n");

        // Clearing asks first; No keeps the rows.
        MessageBoxCatcher no;
        no.press = QMessageBox::No;
        no.arm();
        run.form.menus().mnuLogClear->trigger();
        QCOMPARE(no.title, QStringLiteral("Sentorix"));
        QCOMPARE(no.text, QStringLiteral("Do you really want to clear the entire log ?"));
        QCOMPARE(no.icon, QMessageBox::Question);
        QCOMPARE(no.buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(logContent().contains("/v/x.avi"));
        MessageBoxCatcher yes;
        yes.press = QMessageBox::Yes;
        yes.arm();
        run.form.menus().mnuLogClear->trigger();
        QCOMPARE(logContent(), QByteArray("<table>\r\n<!--DATA-->\r\n</table>\r\n"));
    }

    // Show log hands the page to the desktop's opener, also when the file
    // carries an execute bit; the test puts a stand-in opener first on PATH
    // that notes what it was given.
    void showLogOpensThePage() {
        const QString bin = m_home.filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(bin));
        const QString seen = m_home.filePath(QStringLiteral("opened.txt"));
        QFile opener(bin + QStringLiteral("/xdg-open"));
        QVERIFY(opener.open(QIODevice::WriteOnly));
        opener.write("#!/bin/sh\necho \"$1\" > '" + QFile::encodeName(seen) + "'\n");
        opener.close();
        opener.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin) + ':' + path);
        Run run(configPath());
        run.form.Form_Load();
        QFile::remove(seen);
        // Without a log nothing is started.
        run.form.mnuLogShow_Click();
        QTest::qWait(300);
        QVERIFY(!QFile::exists(seen));
        QFile log(m_home.filePath(EventLog::LogFile));
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.close();
        log.setPermissions(log.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
        run.form.menus().mnuLogShow->trigger();
        QTRY_VERIFY(QFile::exists(seen));
        qputenv("PATH", path);
        QFile f(seen);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().trimmed(),
                 QUrl::fromLocalFile(m_home.filePath(EventLog::LogFile)).toEncoded());
    }

    // Choosing the camera again while it records ends and logs the
    // recording first, so no file goes unlogged.
    void deviceChoiceEndsTheRecording() {
        Run run(configPath());
        run.form.Form_Load();
        run.program.stuff().VidPath = m_home.filePath(QStringLiteral("temp")) + u'/';
        run.program.stuff().LowSpace = 0;
        QStringList rows;
        connect(&run.program.surveillance(), &Surveillance::recordingStopped, this,
                [&rows](const QString&, const QString&, const QString& file) { rows << file; });
        run.form.mnuStart_Click();
        QVERIFY(run.program.surveillance().SurveillanceOn());
        run.program.surveillance().forceRecording();
        QTRY_VERIFY_WITH_TIMEOUT(run.program.capture().IsCapturing(), 10000);
        run.form.menus().mnuDevice[1]->trigger();
        QCOMPARE(rows.size(), 1);
        QVERIFY(QFile::exists(rows.first()));
        QCOMPARE(run.program.panels().text(Panel::State), QStringLiteral("STANDBY"));
        QCOMPARE(run.program.stuff().BaseSize, 0);
        run.form.mnuStart_Click();
    }

    // The small windows open from the real window's menus.
    void windowsFromTheMenus() {
        Run run(configPath());
        run.form.Form_Load();
        const Form1::Menus& m = run.form.menus();
        QString opened;
        ModalDialog::whenOpen([&](QDialog* d) { opened = d->objectName(); });
        m.mnuAbout->trigger();
        QCOMPARE(opened, QStringLiteral("frmAbout"));
        // Cancelling the countdown leaves surveillance off.
        ModalDialog::whenOpen([&](QDialog* d) { opened = d->objectName(); }, false);
        m.mnuTimer->trigger();
        QCOMPARE(opened, QStringLiteral("TimerForm"));
        QVERIFY(!run.program.surveillance().SurveillanceOn());
        // The statistics window follows its entry only while armed.
        m.mnuStat->trigger();
        QVERIFY(!run.form.statistics().isVisible());
    }
};

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
