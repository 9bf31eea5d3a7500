// The main window over a real program with the test scene camera, in a
// throw-away home.
#include "CaptureControl.h"
#include "CaptureView.h"
#include "EventLog.h"
#include "ModalDialog.h"
#include "ProgramRun.h"
#include "Statistics.h"
#include "StatusPanels.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QUrl>

namespace {

using Run = std::unique_ptr<ProgramRun>;
using Box = ModalDialog::Box;

QString checked(const QList<QAction*>& list) {
    QStringList result;
    for (QAction* a : list)
        if (a->isChecked())
            result << a->text();
    return result.join(u',');
}

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

    ProgramHome m_home;
    Run start(const QString& commandLine = QString()) {
        return ProgramRun::start(m_home, commandLine);
    }
    static QString inForce(const PublicStuff& s) {
        return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9")
            .arg(s.Threshold)
            .arg(s.RecordSeconds)
            .arg(int(s.TimeType))
            .arg(s.RefreshSeconds)
            .arg(s.LowSpace)
            .arg(int(s.Notify))
            .arg(QLatin1String(s.SuspendRefresh ? "true" : "false"))
            .arg(s.Saver, s.RemotePassword);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_home.isValid()); }
    void cleanup() { m_home.clear(); }

    // What start-up makes of the stored settings: menus checked, values in
    // force, keys the option commands store back, window geometry.
    void storedSettingsAtStartUp_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("menus");
        QTest::addColumn<QString>("values");
        QTest::addColumn<QString>("storedBack");
        QTest::addColumn<QRect>("geometry");
        const QRect standard(67, 67, 530, 387);
        QTest::newRow("empty store")
            << QStringList() << "&Medium|...end of activity plus...|30 seconds|1 minute"
            << "4 30 1 60 20 1 true 0 "
            << "3 3 1 2 <missing>" << standard;
        QTest::newRow("stored") << QStringList{"Sensitivity=5",
                                               "RecStop=6",
                                               "TimeType=2",
                                               "NewBase=7",
                                               "PosLeft=1500",
                                               "PosTop=750",
                                               "PosWidth=9000",
                                               "PosHeight=6000",
                                               "LowSpace=150.5",
                                               "SuspendRefresh=False",
                                               "Notify=0",
                                               "SAVER=--- none ---",
                                               "RemotePW=" +
                                                   PublicStuff::ScramblePassword("Secret42")}
                                << "V&ery low|...a &fixed time of...|5 minutes|Never"
                                << "8 300 2 0 150 0 false --- none --- Secret42"
                                << "5 6 2 7 <missing>" << QRect(100, 50, 600, 400);
        QTest::newRow("out of range")
            << QStringList{"Sensitivity=9", "RecStop=0", "TimeType=5", "NewBase=-3"} << "|||"
            << "0 0 5 0 20 1 true 0 "
            << "9 0 5 -3 <missing>" << standard;
        // A size without a pixel or beyond any screen is damage: the default.
        QTest::newRow("not numbers, sizes out of reach")
            << QStringList{"Sensitivity=high", "PosLeft=left",    "PosWidth=1e9", "PosHeight=-300",
                           "LowSpace=lots",    "CaptureFPS=fast", "Camera=first"}
            << "&Medium|...end of activity plus...|30 seconds|1 minute"
            << "4 30 1 60 20 1 true 0 "
            << "3 3 1 2 <missing>" << standard;
    }
    void storedSettingsAtStartUp() {
        QFETCH(QStringList, settings);
        QFETCH(QString, menus);
        QVERIFY(m_home.store(settings));
        Run run = start();
        const Form1::Menus& m = run->form.menus();
        QCOMPARE(QStringList({checked(m.mnuSensitivity), checked(m.mnuTimeType), checked(m.mnuRec),
                              checked(m.mnuRefresh)})
                     .join(u'|'),
                 menus);
        QFETCH(QString, values);
        QCOMPARE(inForce(run->program.stuff()), values);
        QFETCH(QString, storedBack);
        QCOMPARE(QStringList({m_home.stored("Sensitivity"), m_home.stored("RecStop"),
                              m_home.stored("TimeType"), m_home.stored("NewBase"),
                              m_home.stored("VidPath")})
                     .join(u' '),
                 storedBack);
        QFETCH(QRect, geometry);
        QCOMPARE(QRect(run->form.pos(), run->form.size()), geometry);
        QCOMPARE(run->program.capture().FrameRate(), 5);
        QCOMPARE(run->form.windowTitle(), QStringLiteral("Sentorix V1.0"));
        QVERIFY(run->program.stuff().VidPath.endsWith(u'/'));
        QCOMPARE(run->program.panels().text(Panel::State), QStringLiteral("OFF"));
        auto* state = run->form.statusBar()->findChild<QLabel*>(QStringLiteral("Panel2"));
        QVERIFY(state && state->text() == "OFF" && state->toolTip() == "System status");
    }

    void noHardwareNoOverlay() {
        Run run = start(QStringLiteral("/nohw /START /NoOverlay"));
        const Form1::Menus& m = run->form.menus();
        QCOMPARE(int(run->program.DeviceCount), 0);
        QCOMPARE(m.mnuDevice.size(), 1);
        QVERIFY(m.mnuDevice[0]->isVisible() && !m.mnuDevice[0]->isEnabled());
        for (QAction* a : {m.mnuStartStop->menuAction(), m.mnuSource, m.mnuFormat, m.mnuCompress})
            QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
        QVERIFY(!m.mnuAudio->isVisible() && !m.mnuAudioFormat->isVisible());
        QCOMPARE(run->program.panels().text(Panel::State), QStringLiteral("OFF"));
        QCOMPARE(m_home.stored("Camera"), QStringLiteral("<missing>"));
        QVERIFY(run->program.surveillance().NoOverlay());
        QCOMPARE(run->program.panels().text(Panel::Timestamp), QStringLiteral("Overlay disabled"));
    }

    void unavailableStoredDeviceShowsMessage() {
        m_home.store({"Camera=7"});
        Box box;
        ModalDialog::answerBox(box);
        Run run = start();
        QCOMPARE(box.text, QStringLiteral("The selected video device is currently not available."));
        QCOMPARE(box.title, QStringLiteral("Sentorix"));
        QCOMPARE(box.icon, QMessageBox::Critical);
        const Form1::Menus& m = run->form.menus();
        QCOMPARE(checked(m.mnuDevice), QString());
        QVERIFY(!m.mnuStartStop->menuAction()->isEnabled() && !m.mnuCompress->isEnabled());
        QCOMPARE(m_home.stored("Camera"), QStringLiteral("7"));
        // Choosing the working entry afterwards selects it.
        m.mnuDevice[1]->trigger();
        QCOMPARE(checked(m.mnuDevice), m.mnuDevice[1]->text());
        QVERIFY(m.mnuStartStop->menuAction()->isEnabled());
        QCOMPARE(m_home.stored("Camera"), QStringLiteral("2"));
    }

    // Closing stores the geometry in twips; the picture keeps its margin
    // through every size, also tiny and minimised.
    void geometryAndMargin() {
        {
            Run run = start();
            run->form.show();
            // The live picture reaches the view.
            QTRY_VERIFY_WITH_TIMEOUT(!run->form.captureView().picture().isNull(), 5000);
            run->form.setMinimumSize(0, 0);
            QFrame& frame = run->form.picFrame();
            bool afterTiny = false;
            for (const QSize size : {QSize(900, 700), QSize(300, 200), QSize(531, 388), QSize(1, 1),
                                     QSize(640, 480)}) {
                const QSize before = run->form.size();
                const QSize frameBefore = frame.size();
                run->form.resize(size);
                if (size.width() == 1) { // as small as the platform allows, then minimised
                    QCoreApplication::processEvents();
                    run->form.showMinimized();
                    QCoreApplication::processEvents();
                    run->form.showNormal();
                    afterTiny = true;
                    continue;
                }
                QTRY_COMPARE(run->form.size(), size);
                if (!afterTiny)
                    QCOMPARE(frame.size() - frameBefore, size - before);
                QCOMPARE(run->form.captureView().geometry(),
                         QRect(QPoint(8, 8), frame.size() - QSize(16, 16)));
            }
            run->form.move(120, 90);
            QVERIFY(run->form.close());
        }
        QCOMPARE(QStringList({m_home.stored("PosLeft"), m_home.stored("PosTop"),
                              m_home.stored("PosWidth"), m_home.stored("PosHeight")}),
                 QStringList({"1800", "1350", "9600", "7200"}));
        Run again = start();
        QCOMPARE(QRect(again->form.pos(), again->form.size()), QRect(120, 90, 640, 480));
    }

    // No trace without /debug; with it, each run adds its lines, CR LF ended.
    void debugSwitchTracesTheRun() {
        for (const char* commandLine : {"/START", "/debug", "/debug"}) {
            Run run = start(QLatin1String(commandLine));
            QCOMPARE(run->form.windowTitle(), commandLine[1] == 'd'
                                                  ? QStringLiteral("Sentorix V1.0  D E B U G")
                                                  : QStringLiteral("Sentorix V1.0"));
            run->form.close();
            QCOMPARE(QFile::exists(m_home.tracePath()), commandLine[1] == 'd');
        }
        const QList<QByteArray> lines = m_home.trace().split('\n');
        QVERIFY(lines.last().isEmpty());
        QList<QByteArray> texts;
        for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
            QVERIFY2(lines[i].endsWith('\r') && lines[i].indexOf(" - ") > 0, lines[i].constData());
            texts << lines[i].mid(lines[i].indexOf(" - ") + 3).chopped(1);
        }
        QCOMPARE(texts.first(), QByteArray("Init - Sentorix V1.0"));
        QCOMPARE(texts.last(), QByteArray("End - Unload completed"));
        QCOMPARE(texts.count("End - Unload completed"), 2);
        // Each run traced its start-up.
        for (const char* text : {"Init - Sentorix V1.0", "Init - Position Window",
                                 "Init - Hardware detected: Sentorix test scene camera"})
            QVERIFY2(texts.count(text) == 2, text);
    }

    void menuTreeAndDevice() {
        Run run = start();
        const Form1::Menus& m = run->form.menus();
        // The test scene is device 0: found, chosen and stored.
        QVERIFY(run->program.DeviceCount == 1 && !m.mnuDevice[0]->isVisible());
        QCOMPARE(checked(m.mnuDevice), run->program.capture().DeviceName(0));
        QCOMPARE(m_home.stored("Camera"), QStringLiteral("2"));
        QVERIFY(m.mnuStartStop->menuAction()->isEnabled() && m.mnuCompress->isEnabled());
        QCOMPARE(m.mnuFormat->isEnabled(), run->program.capture().HasFormatDialog());
        QCOMPARE(m.mnuSource->isEnabled(), run->program.capture().HasSourceDialog());
        QVERIFY(!m.mnuSuspend->isEnabled());
        QStringList captions;
        collectCaptions(run->form.menuBar()->actions(), QString(), captions);
        const QString expected =
            "&Start/Stop|  &Start|  Start in &30 seconds|Sus&pend|Se&ttings|  Video &Device|"
            "    (none)|    " +
            run->program.capture().DeviceName(0) +
            "|  Video &Source|  Video &Format|  Video &Compression|  -|  &Capture &Audio|"
            "  Audio F&ormat|  -|  &Sensitivity|    &Very high|    &High|    &Medium|    &Low|"
            "    V&ery low|  &Stop recording after...|    ...end of activity plus...|"
            "    ...a &fixed time of...|    -|    10 seconds|    20 seconds|    30 seconds|"
            "    1 minute|    2 minutes|    5 minutes|  &Refresh base image every...|"
            "    30 seconds|    1 minute|    5 minutes|    10 minutes|    30 minutes|    1 hour|"
            "    Never|    -|    &No refresh when recording|  -|  Show Video &Statistics|  -|"
            "  &Configuration|&Log|  &Show log|  &Clear log|&?|  &Documentation|"
            "  &Online Information|  -|  &About";
        QCOMPARE(captions.join(u'|'), expected);
        for (QAction* a : run->form.menuBar()->actions())
            for (QAction* e : a->menu() ? a->menu()->actions() : QList<QAction*>())
                QVERIFY2(e->shortcut().isEmpty(), qPrintable(e->text()));
    }

    void formatDialogFromTheMenuChangesTheFrames() {
        QSize delivered;
        {
            Run run = start(QStringLiteral("/DEBUG"));
            connect(&run->program.capture(), &CaptureControl::FrameCallback, this,
                    [&delivered](const VideoHeader* h) {
                        delivered = QSize(int(h->width), int(h->height));
                    });
            QTRY_COMPARE_WITH_TIMEOUT(delivered, QSize(640, 480), 5000);
            ModalDialog::whenOpen([](QDialog* d) {
                auto* sizes = d->findChild<QComboBox*>(QStringLiteral("FrameSize"));
                sizes->setCurrentIndex(sizes->findData(QSize(320, 240)));
            });
            run->form.menus().mnuFormat->trigger();
            QTRY_COMPARE_WITH_TIMEOUT(delivered, QSize(320, 240), 5000);
            ModalDialog::whenOpen([](QDialog*) {});
            run->form.menus().mnuCompress->trigger();
            run->form.close();
        }
        const QByteArray text = m_home.trace();
        QVERIFY(text.contains(" - Format_Click - Display Format Dialog\r\n"));
        QVERIFY(text.contains(" - Compress_Click - Display Compress Dialog\r\n"));
        // The driver keeps the size for the next run.
        QCOMPARE(start()->program.capture().frameSize(), QSize(320, 240));
    }

    void unpluggedCameraLeavesTheProgramRunning() {
        // Gone after a second of frames, back a second later.
        Run run =
            ProgramRun::start(m_home, QString(), sceneCamera({}, TestScene::parseUnplug("1:1")));
        const Form1::Menus& m = run->form.menus();
        QVERIFY(m.mnuStartStop->menuAction()->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!m.mnuStartStop->menuAction()->isEnabled(), 10000);
        QCOMPARE(checked(m.mnuDevice), QString());
        QVERIFY(!m.mnuCompress->isEnabled());
        QVERIFY(!run->program.stuff().CaptureStatusText.isEmpty());
        QCOMPARE(run->program.capture().Device(), -1);
        QCOMPARE(run->program.panels().text(Panel::State), QStringLiteral("OFF"));
        QTRY_VERIFY_WITH_TIMEOUT(m.mnuStartStop->menuAction()->isEnabled(), 10000);
        QCOMPARE(checked(m.mnuDevice), m.mnuDevice[1]->text());
        QVERIFY(m.mnuCompress->isEnabled());
    }

    void optionCommandsFromTheMenu() {
        Run run = start();
        const Form1::Menus& m = run->form.menus();
        m.mnuRefresh[6]->trigger();
        m.mnuSensitivity[4]->trigger();
        m.mnuTimeType[1]->trigger();
        m.mnuRec[0]->trigger();
        m.mnuSuspendRefresh->trigger();
        QCOMPARE(checked(m.mnuRefresh), QStringLiteral("Never"));
        QCOMPARE(checked(m.mnuTimeType), QStringLiteral("...a &fixed time of..."));
        QCOMPARE(inForce(run->program.stuff()), QStringLiteral("8 10 2 0 20 1 false 0 "));
        QCOMPARE(QStringList({m_home.stored("NewBase"), m_home.stored("Sensitivity"),
                              m_home.stored("TimeType"), m_home.stored("RecStop"),
                              m_home.stored("SuspendRefresh")}),
                 QStringList({"7", "5", "2", "1", "False"}));
        if (m.mnuAudio->isVisible()) {
            m.mnuAudio->trigger();
            QVERIFY(run->program.capture().CaptureAudio());
            QCOMPARE(m_home.stored("Audio"), QStringLiteral("True"));
        }
    }

    void eventLogFromTheWindow() {
        const QByteArray empty = "<table>\r\n<!--DATA-->\r\n</table>\r\n";
        QFile templ(m_home.path(EventLog::TemplateFile));
        QVERIFY(templ.open(QIODevice::WriteOnly) && templ.write(empty) == empty.size());
        templ.close();
        Run run = start();
        // Start-up made the log from the template.
        QCOMPARE(m_home.read(EventLog::LogFile), empty);
        // A finished recording names the camera of the device menu.
        run->form.mnuSensitivity_Click(1);
        Q_EMIT run->program.surveillance().recordingStopped("start", "stop", "/v/x.avi");
        const QByteArray row = EventLog::recordingRow(
            "start", "stop", run->form.menus().mnuDevice[1]->text(), 1.2F, "/v/x.avi");
        QCOMPARE(m_home.read(EventLog::LogFile),
                 "<table>\r\n" + row + "<!--DATA-->\r\n</table>\r\n");
        // Clearing asks first; No keeps the rows.
        Box no;
        ModalDialog::answerBox(no, QMessageBox::No);
        run->form.menus().mnuLogClear->trigger();
        QCOMPARE(no.title, QStringLiteral("Sentorix"));
        QCOMPARE(no.text, QStringLiteral("Do you really want to clear the entire log ?"));
        QCOMPARE(no.icon, QMessageBox::Question);
        QCOMPARE(no.buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(m_home.read(EventLog::LogFile).contains(row));
        Box yes;
        ModalDialog::answerBox(yes, QMessageBox::Yes);
        run->form.menus().mnuLogClear->trigger();
        QCOMPARE(m_home.read(EventLog::LogFile), empty);
    }

    // Show log hands the page to the desktop's opener, also when the file
    // carries an execute bit; a stand-in opener first on PATH notes what it
    // was given.
    void showLogOpensThePage() {
        const QString bin = m_home.path(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(bin));
        QFile opener(bin + QStringLiteral("/xdg-open"));
        QVERIFY(opener.open(QIODevice::WriteOnly));
        opener.write("#!/bin/sh\necho \"$1\" >> '" +
                     QFile::encodeName(m_home.path(QStringLiteral("opened.txt"))) + "'\n");
        opener.close();
        opener.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin) + ':' + path);
        Run run = start();
        QFile::remove(m_home.path(EventLog::LogFile));
        run->form.mnuLogShow_Click(); // no log: nothing is started
        QFile log(m_home.path(EventLog::LogFile));
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.close();
        log.setPermissions(log.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
        run->form.menus().mnuLogShow->trigger();
        QTRY_VERIFY(m_home.read(QStringLiteral("opened.txt")).endsWith('\n'));
        qputenv("PATH", path);
        QCOMPARE(m_home.read(QStringLiteral("opened.txt")),
                 QUrl::fromLocalFile(m_home.path(EventLog::LogFile)).toEncoded() + '\n');
    }

    // Choosing the camera again while it records ends and logs the
    // recording first, so no file goes unlogged.
    void deviceChoiceEndsTheRecording() {
        Run run = start();
        run->program.stuff().VidPath = m_home.videos();
        run->program.stuff().LowSpace = 0;
        QStringList rows;
        connect(&run->program.surveillance(), &Surveillance::recordingStopped, this,
                [&rows](const QString&, const QString&, const QString& file) { rows << file; });
        run->form.mnuStart_Click();
        QVERIFY(run->program.surveillance().SurveillanceOn());
        run->program.surveillance().forceRecording();
        QTRY_VERIFY_WITH_TIMEOUT(run->program.capture().IsCapturing(), 10000);
        run->form.menus().mnuDevice[1]->trigger();
        QCOMPARE(rows.size(), 1);
        QVERIFY(QFile::exists(rows.first()));
        QCOMPARE(run->program.panels().text(Panel::State), QStringLiteral("STANDBY"));
        QCOMPARE(run->program.stuff().BaseSize, 0);
        run->form.mnuStart_Click();
    }

    // The small windows open from the real window's menus.
    void windowsFromTheMenus() {
        Run run = start();
        const Form1::Menus& m = run->form.menus();
        QString opened;
        ModalDialog::whenOpen([&](QDialog* d) { opened = d->objectName(); });
        m.mnuAbout->trigger();
        QCOMPARE(opened, QStringLiteral("frmAbout"));
        // Cancelling the countdown leaves surveillance off.
        ModalDialog::whenOpen([&](QDialog* d) { opened = d->objectName(); }, false);
        m.mnuTimer->trigger();
        QCOMPARE(opened, QStringLiteral("TimerForm"));
        QVERIFY(!run->program.surveillance().SurveillanceOn());
        // The statistics window follows its entry only while armed.
        m.mnuStat->trigger();
        QVERIFY(!run->form.statistics().isVisible());
    }
};

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
