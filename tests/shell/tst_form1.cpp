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
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QUrl>

namespace {

using Run = std::unique_ptr<ProgramRun>;

QString checked(const QList<QAction*>& list) {
    QStringList result;
    for (QAction* a : list)
        if (a->isChecked())
            result << a->text();
    return result.join(u',');
}

// Captions of a menu, depth-first, submenus indented, separators as "-";
// "*" marks a checked entry, "~" a disabled one, "^" a hidden one.
void collectCaptions(const QList<QAction*>& actions, const QString& indent, QStringList& out) {
    for (QAction* a : actions) {
        out << indent + (a->isSeparator() ? QStringLiteral("-") : a->text()) +
                   (a->isChecked() ? "*" : "") + (a->isEnabled() ? "" : "~") +
                   (a->isVisible() ? "" : "^");
        if (a->menu())
            collectCaptions(a->menu()->actions(), indent + QStringLiteral("  "), out);
    }
}

QString boxText(const ModalDialog::Box& b) {
    return QStringLiteral("%1|%2|%3|%4").arg(b.title, b.text).arg(int(b.icon)).arg(int(b.buttons));
}

} // namespace

class tst_Form1 final : public QObject {
    Q_OBJECT

    ProgramHome m_home;
    Run start(const QString& commandLine = QString()) {
        return ProgramRun::start(m_home, commandLine);
    }
    // Values in force, the keys the option commands store back, menus checked.
    QString inForce(const Run& run) const {
        const PublicStuff& s = run->program.stuff();
        const Form1::Menus& m = run->form.menus();
        return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9")
                   .arg(s.Threshold)
                   .arg(s.RecordSeconds)
                   .arg(int(s.TimeType))
                   .arg(s.RefreshSeconds)
                   .arg(s.LowSpace)
                   .arg(int(s.Notify))
                   .arg(QLatin1String(s.SuspendRefresh ? "true" : "false"))
                   .arg(s.Saver, s.RemotePassword) +
               QStringList({"", m_home.stored("Sensitivity"), m_home.stored("RecStop"),
                            m_home.stored("TimeType"), m_home.stored("NewBase"),
                            m_home.stored("SuspendRefresh"), checked(m.mnuSensitivity),
                            checked(m.mnuTimeType), checked(m.mnuRec), checked(m.mnuRefresh)})
                   .join(u'|');
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_home.isValid()); }
    void cleanup() { m_home.clear(); }

    void storedSettingsAtStartUp_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QRect>("geometry");
        const QRect standard(67, 67, 530, 387);
        const QString defaults = "4 30 1 60 20 1 true 0 |3|3|1|2|<missing>|"
                                 "&Medium|...end of activity plus...|30 seconds|1 minute";
        QTest::newRow("empty store") << QStringList() << defaults << standard;
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
                                << "8 300 2 0 150 0 false --- none --- Secret42|5|6|2|7|False|"
                                   "V&ery low|...a &fixed time of...|5 minutes|Never"
                                << QRect(100, 50, 600, 400);
        QTest::newRow("out of range")
            << QStringList{"Sensitivity=9", "RecStop=0", "TimeType=5", "NewBase=-3"}
            << "0 0 5 0 20 1 true 0 |9|0|5|-3|<missing>||||" << standard;
        // A size without a pixel or beyond any screen is damage: the default.
        QTest::newRow("not numbers, sizes out of reach")
            << QStringList{"Sensitivity=high", "PosLeft=left",    "PosWidth=1e9", "PosHeight=-300",
                           "LowSpace=lots",    "CaptureFPS=fast", "Camera=first"}
            << defaults << standard;
    }
    void storedSettingsAtStartUp() {
        QFETCH(QStringList, settings);
        QFETCH(QString, result);
        QFETCH(QRect, geometry);
        QVERIFY(m_home.store(settings));
        Run run = start();
        QCOMPARE(inForce(run), result);
        QCOMPARE(QRect(run->form.pos(), run->form.size()), geometry);
        QCOMPARE(run->program.capture().FrameRate(), 5);
        QVERIFY(run->program.stuff().VidPath.endsWith(u'/'));
    }

    void optionCommandsFromTheMenu() {
        Run run = start();
        const Form1::Menus& m = run->form.menus();
        for (QAction* a : {m.mnuRefresh[6], m.mnuSensitivity[4], m.mnuTimeType[1], m.mnuRec[0],
                           m.mnuSuspendRefresh})
            a->trigger();
        QCOMPARE(inForce(run), "8 10 2 0 20 1 false 0 |5|1|2|7|False|"
                               "V&ery low|...a &fixed time of...|10 seconds|Never");
        if (m.mnuAudio->isVisible()) {
            m.mnuAudio->trigger();
            QVERIFY(run->program.capture().CaptureAudio());
            QCOMPARE(m_home.stored("Audio"), QStringLiteral("True"));
        }
    }

    // The whole menu tree with the test scene as device 0: found, chosen
    // and stored; no entry has a shortcut.
    void menuTreeAndDevice() {
        Run run = start();
        QStringList captions;
        collectCaptions(run->form.menuBar()->actions(), QString(), captions);
        const QString camera = run->program.capture().DeviceName(0);
        // Sound entries show only where the system has a sound source.
        const QString audio = run->form.menus().mnuAudio->isVisible() ? "" : "^";
        QCOMPARE(captions.join(u'|'),
                 "&Start/Stop|  &Start|  Start in &30 seconds|Sus&pend~|Se&ttings|  Video &Device|"
                 "    (none)~^|    " +
                     camera + "*|  Video &Source" +
                     (run->program.capture().HasSourceDialog() ? "" : "~") + "|  Video &Format" +
                     (run->program.capture().HasFormatDialog() ? "" : "~") +
                     "|  Video &Compression|  -|  &Capture &Audio" + audio + "|  Audio F&ormat" +
                     audio +
                     "|  -|"
                     "  &Sensitivity|    &Very high|    &High|    &Medium*|    &Low|"
                     "    V&ery low|  &Stop recording after...|    ...end of activity plus...*|"
                     "    ...a &fixed time of...|    -|    10 seconds|    20 seconds|"
                     "    30 seconds*|    1 minute|    2 minutes|    5 minutes|"
                     "  &Refresh base image every...|    30 seconds|    1 minute*|    5 minutes|"
                     "    10 minutes|    30 minutes|    1 hour|    Never|    -|"
                     "    &No refresh when recording*|  -|  Show Video &Statistics|  -|"
                     "  &Configuration|&Log|  &Show log|  &Clear log|&?|  &Documentation|"
                     "  &Online Information|  -|  &About");
        QCOMPARE(m_home.stored("Camera"), QStringLiteral("2"));
        for (QAction* a : run->form.menuBar()->actions())
            for (QAction* e : a->menu() ? a->menu()->actions() : QList<QAction*>())
                QVERIFY2(e->shortcut().isEmpty(), qPrintable(e->text()));
    }

    void noHardwareNoOverlay() {
        Run run = start(QStringLiteral("/nohw /START /NoOverlay"));
        const Form1::Menus& m = run->form.menus();
        QCOMPARE(m.mnuDevice.size(), 1);
        QVERIFY(m.mnuDevice[0]->isVisible() && !m.mnuDevice[0]->isEnabled());
        for (QAction* a : {m.mnuStartStop->menuAction(), m.mnuSource, m.mnuFormat, m.mnuCompress})
            QVERIFY2(!a->isEnabled(), qPrintable(a->text()));
        QCOMPARE(
            QStringList({run->program.panels().text(Panel::State),
                         run->program.panels().text(Panel::Timestamp), m_home.stored("Camera")}),
            QStringList({"OFF", "Overlay disabled", "<missing>"}));
    }

    void unavailableStoredDeviceShowsMessage() {
        m_home.store({"Camera=7"});
        ModalDialog::Box box;
        ModalDialog::answerBox(box);
        Run run = start();
        QCOMPARE(
            boxText(box),
            QStringLiteral("Sentorix|The selected video device is currently not available.|%1|%2")
                .arg(int(QMessageBox::Critical))
                .arg(int(QMessageBox::Ok)));
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
            for (const QSize size :
                 {QSize(900, 700), QSize(300, 200), QSize(1, 1), QSize(640, 480)}) {
                const QSize before = run->form.size();
                const QSize frameBefore = frame.size();
                run->form.resize(size);
                if (size.width() == 1) { // as small as the platform allows, then minimised
                    QCoreApplication::processEvents();
                    run->form.showMinimized();
                    QCoreApplication::processEvents();
                    run->form.showNormal();
                    continue;
                }
                QTRY_COMPARE(run->form.size(), size);
                if (size.width() != 640)
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
        QStringList titles;
        for (const char* commandLine : {"/START", "/debug", "/debug"}) {
            Run run = start(QLatin1String(commandLine));
            titles << run->form.windowTitle();
            run->form.close();
            QCOMPARE(QFile::exists(m_home.tracePath()), commandLine[1] == 'd');
        }
        QCOMPARE(titles, QStringList({"Sentorix V1.0", "Sentorix V1.0  D E B U G",
                                      "Sentorix V1.0  D E B U G"}));
        // Lines end with CR LF; each run traced its start-up and its end.
        const QByteArray trace = m_home.trace();
        QCOMPARE(trace.count('\n'), trace.count("\r\n"));
        QVERIFY(trace.endsWith(" - End - Unload completed\r\n"));
        for (const char* text : {" - Init - Sentorix V1.0\r\n", " - Init - Position Window\r\n",
                                 " - Init - Hardware detected: Sentorix test scene camera\r\n",
                                 " - End - Unload completed\r\n"})
            QVERIFY2(trace.count(text) == 2, text);
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
        const auto usable = [&m] {
            return m.mnuStartStop->menuAction()->isEnabled() && m.mnuCompress->isEnabled() &&
                   !checked(m.mnuDevice).isEmpty();
        };
        QVERIFY(usable());
        QTRY_VERIFY_WITH_TIMEOUT(!m.mnuStartStop->menuAction()->isEnabled(), 10000);
        QVERIFY(!m.mnuCompress->isEnabled() && checked(m.mnuDevice).isEmpty());
        QVERIFY(!run->program.stuff().CaptureStatusText.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(usable(), 10000);
    }

    void eventLogFromTheWindow() {
        const QByteArray empty = "<table>\r\n<!--DATA-->\r\n</table>\r\n";
        QFile templ(m_home.path(EventLog::TemplateFile));
        QVERIFY(templ.open(QIODevice::WriteOnly) && templ.write(empty) == empty.size());
        templ.close();
        Run run = start();
        QCOMPARE(m_home.read(EventLog::LogFile), empty); // made from the template
        // A finished recording names the camera of the device menu.
        run->form.mnuSensitivity_Click(1);
        Q_EMIT run->program.surveillance().recordingStopped("start", "stop", "/v/x.avi");
        const QByteArray row = EventLog::recordingRow(
            "start", "stop", run->form.menus().mnuDevice[1]->text(), 1.2F, "/v/x.avi");
        QCOMPARE(m_home.read(EventLog::LogFile),
                 "<table>\r\n" + row + "<!--DATA-->\r\n</table>\r\n");
        // Clearing asks first; No keeps the rows.
        for (const auto press : {QMessageBox::No, QMessageBox::Yes}) {
            ModalDialog::Box box;
            ModalDialog::answerBox(box, press);
            run->form.menus().mnuLogClear->trigger();
            QCOMPARE(boxText(box), QStringLiteral("Sentorix|Do you really want to clear the entire "
                                                  "log ?|%1|%2")
                                       .arg(int(QMessageBox::Question))
                                       .arg(int(QMessageBox::Yes | QMessageBox::No)));
            QCOMPARE(m_home.read(EventLog::LogFile).contains(row), press == QMessageBox::No);
        }
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
        run->program.surveillance().forceRecording();
        QTRY_VERIFY_WITH_TIMEOUT(run->program.capture().IsCapturing(), 10000);
        run->form.menus().mnuDevice[1]->trigger();
        QVERIFY(rows.size() == 1 && QFile::exists(rows.first()));
        QCOMPARE(run->program.panels().text(Panel::State), QStringLiteral("STANDBY"));
        run->form.mnuStart_Click();
    }

    // The small windows open from the real window's menus.
    void windowsFromTheMenus() {
        Run run = start();
        const Form1::Menus& m = run->form.menus();
        QStringList opened;
        ModalDialog::whenOpen([&](QDialog* d) { opened << d->objectName(); });
        m.mnuAbout->trigger();
        // Cancelling the countdown leaves surveillance off.
        ModalDialog::whenOpen([&](QDialog* d) { opened << d->objectName(); }, false);
        m.mnuTimer->trigger();
        QCOMPARE(opened, QStringList({"frmAbout", "TimerForm"}));
        QVERIFY(!run->program.surveillance().SurveillanceOn());
        // The statistics window follows its entry only while armed.
        m.mnuStat->trigger();
        QVERIFY(!run->form.statistics().isVisible());
    }
};

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
