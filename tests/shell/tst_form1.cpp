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
// "*" marks a checked entry, "~" a disabled one, "^" a hidden one, "!" one
// with a shortcut.
void collectCaptions(const QList<QAction*>& actions, const QString& indent, QStringList& out) {
    for (QAction* a : actions) {
        out << indent + (a->isSeparator() ? QStringLiteral("-") : a->text()) +
                   (a->isChecked() ? "*" : "") + (a->isEnabled() ? "" : "~") +
                   (a->isVisible() ? "" : "^") + (a->shortcut().isEmpty() ? "" : "!");
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
    // Values in force, the keys the option commands store back, the menus
    // checked, the window's place and the frame rate.
    QString inForce(const Run& run) const {
        const PublicStuff& s = run->program.stuff();
        const MainMenus& m = run->form.menus();
        return QString::asprintf("%g %d %d %d %d %d %s ", double(s.Threshold), s.RecordSeconds,
                                 int(s.TimeType), s.RefreshSeconds, s.LowSpace, s.Notify,
                                 s.SuspendRefresh ? "true" : "false") +
               s.Saver + ' ' + s.RemotePassword + '|' +
               m_home.stored("Sensitivity|RecStop|TimeType|NewBase|SuspendRefresh") + '|' +
               QStringList({checked(m.mnuSensitivity), checked(m.mnuTimeType), checked(m.mnuRec),
                            checked(m.mnuRefresh)})
                   .join(u'|') +
               QString::asprintf("|%d,%d %dx%d %d fps", run->form.x(), run->form.y(),
                                 run->form.width(), run->form.height(),
                                 run->program.capture().FrameRate());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_home.isValid()); }
    void cleanup() { m_home.clear(); }

    // Rows: the settings stored before the start ("key=value;..."), and
    // what is in force then.
    void storedSettingsAtStartUp_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("result");
        const QString standard = "|67,67 530x387 5 fps";
        QTest::newRow("empty store") << ""
                                     << "4 30 1 60 20 1 true 0 |3|3|1|2|<missing>|&Medium|"
                                        "...end of activity plus...|30 seconds|1 minute" +
                                            standard;
        QTest::newRow("stored")
            << "Sensitivity=5;RecStop=6;TimeType=2;NewBase=7;PosLeft=1500;PosTop=750;"
               "PosWidth=9000;PosHeight=6000;LowSpace=150.5;SuspendRefresh=False;Notify=0;"
               "SAVER=--- none ---;RemotePW=" +
                   PublicStuff::ScramblePassword("Secret42")
            << "8 300 2 0 150 0 false --- none --- Secret42|5|6|2|7|False|V&ery low|"
               "...a &fixed time of...|5 minutes|Never|100,50 600x400 5 fps";
        // A size without a pixel or beyond any screen is damage: the default.
        QTest::newRow("out of range")
            << "Sensitivity=9;RecStop=0;TimeType=5;NewBase=-3;PosWidth=1e9;PosHeight=-300"
            << "0 0 5 0 20 1 true 0 |9|0|5|-3|<missing>||||" + standard;
    }
    void storedSettingsAtStartUp() {
        QFETCH(QString, settings);
        QVERIFY(m_home.store(settings.split(u';', Qt::SkipEmptyParts)));
        Run run = start();
        QTEST(inForce(run), "result");
        QVERIFY(run->program.stuff().VidPath.endsWith(u'/'));
    }

    // The whole menu tree with the test scene as device 0: found, chosen
    // and stored; no entry has a shortcut. The option entries put their
    // values in force and store them.
    void menuTreeAndDevice() {
        Run run = start();
        QStringList captions;
        collectCaptions(run->form.menuBar()->actions(), QString(), captions);
        const CaptureControl& capture = run->program.capture();
        // Sound entries show only where the system has a sound source.
        const QString audio = capture.HasAudio() ? "" : "^";
        QCOMPARE(captions.join(u'|'),
                 "&Start/Stop|  &Start|  Start in &30 seconds|Sus&pend~|Se&ttings|  Video &Device|"
                 "    (none)~^|    " +
                     capture.DeviceName(0) +
                     "*|    -|    &Network Cameras and Videos...|  Video &Source" +
                     (capture.HasSourceDialog() ? "" : "~") + "|  Video &Format" +
                     (capture.HasFormatDialog() ? "" : "~") +
                     "|  Video &Compression|  -|  &Capture &Audio" + audio + "|  Audio F&ormat" +
                     audio +
                     "|  -|  &Sensitivity|    &Very high|    &High|    &Medium*|    &Low|"
                     "    V&ery low|  &Stop recording after...|    ...end of activity plus...*|"
                     "    ...a &fixed time of...|    -|    10 seconds|    20 seconds|"
                     "    30 seconds*|    1 minute|    2 minutes|    5 minutes|"
                     "  &Refresh base image every...|    30 seconds|    1 minute*|    5 minutes|"
                     "    10 minutes|    30 minutes|    1 hour|    Never|    -|"
                     "    &No refresh when recording*|  -|  Show Video &Statistics|  -|"
                     "  &Configuration|&Log|  &Show log|  &Clear log|&?|  &Documentation|"
                     "  &Online Information|  -|  &About");
        QCOMPARE(m_home.stored("Camera"), QStringLiteral("2"));
        const MainMenus& m = run->form.menus();
        for (QAction* a : {m.mnuRefresh[6], m.mnuSensitivity[4], m.mnuTimeType[1], m.mnuRec[0],
                           m.mnuSuspendRefresh})
            a->trigger();
        QCOMPARE(inForce(run), "8 10 2 0 20 1 false 0 |5|1|2|7|False|V&ery low|"
                               "...a &fixed time of...|10 seconds|Never|67,67 530x387 5 fps");
        if (m.mnuAudio->isVisible()) {
            m.mnuAudio->trigger();
            QVERIFY(run->program.capture().CaptureAudio());
            QCOMPARE(m_home.stored("Audio"), QStringLiteral("True"));
        }
    }

    void noHardwareNoOverlay() {
        Run run = start(QStringLiteral("/nohw /START /NoOverlay"));
        const MainMenus& m = run->form.menus();
        QStringList captions;
        collectCaptions({m.mnuStartStop->menuAction(), m.mnuDeviceMain->menuAction(), m.mnuSource,
                         m.mnuFormat, m.mnuCompress},
                        QString(), captions);
        QCOMPARE(captions.join(u'|') + '|' + run->program.panels().text(Panel::State) + '|' +
                     run->program.panels().text(Panel::Timestamp) + '|' + m_home.stored("Camera"),
                 "&Start/Stop~|  &Start|  Start in &30 seconds|Video &Device|  (none)~|  -|"
                 "  &Network Cameras and Videos...|Video &Source~|Video &Format~|Video "
                 "&Compression~|OFF|Overlay disabled|<missing>");
    }

    // A stored device that cannot be had says so and leaves nothing chosen;
    // choosing the working entry afterwards selects it.
    void unavailableStoredDeviceShowsMessage() {
        m_home.store({"Camera=7"});
        ModalDialog::Box box;
        ModalDialog::answerBox(box);
        Run run = start();
        QCOMPARE(box.line(), "Sentorix|The selected video device is currently not available.|" +
                                 QString::number(QMessageBox::Critical) + "|1024");
        const MainMenus& m = run->form.menus();
        QCOMPARE(checked(m.mnuDevice) + m_home.stored("Camera"), QStringLiteral("7"));
        QVERIFY(!m.mnuStartStop->menuAction()->isEnabled() && !m.mnuCompress->isEnabled());
        m.mnuDevice[1]->trigger();
        QCOMPARE(checked(m.mnuDevice) + m_home.stored("Camera"), m.mnuDevice[1]->text() + "2");
        QVERIFY(m.mnuStartStop->menuAction()->isEnabled());
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
        QCOMPARE(m_home.stored("PosLeft|PosTop|PosWidth|PosHeight"), "1800|1350|9600|7200");
        Run again = start();
        QCOMPARE(QRect(again->form.pos(), again->form.size()), QRect(120, 90, 640, 480));
    }

    // Gone after a second of frames, back a second later: the device menu
    // follows.
    void unpluggedCameraLeavesTheProgramRunning() {
        Run run =
            ProgramRun::start(m_home, QString(), sceneCamera({}, TestScene::parseUnplug("1:1")));
        const MainMenus& m = run->form.menus();
        const auto usable = [&m] {
            return m.mnuStartStop->menuAction()->isEnabled() && m.mnuCompress->isEnabled() &&
                   !checked(m.mnuDevice).isEmpty();
        };
        QVERIFY(usable());
        QTRY_VERIFY_WITH_TIMEOUT(!m.mnuStartStop->menuAction()->isEnabled(), 10000);
        QVERIFY(!m.mnuCompress->isEnabled() && checked(m.mnuDevice).isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(usable(), 10000);
    }

    // The log page is made from the template; a row names the camera of the
    // device menu; Clear asks first.
    void eventLogFromTheWindow() {
        const QByteArray empty = "<table>\r\n<!--DATA-->\r\n</table>\r\n";
        QFile templ(m_home.path(EventLog::TemplateFile));
        QVERIFY(templ.open(QIODevice::WriteOnly) && templ.write(empty) == empty.size());
        templ.close();
        Run run = start();
        QCOMPARE(m_home.read(EventLog::LogFile), empty);
        run->form.menus().mnuSensitivity[0]->trigger();
        Q_EMIT run->program.surveillance().recordingStopped("start", "stop", "/v/x.avi");
        const QByteArray row = EventLog::recordingRow(
            "start", "stop", run->form.menus().mnuDevice[1]->text(), 1.2F, "/v/x.avi");
        QCOMPARE(m_home.read(EventLog::LogFile),
                 "<table>\r\n" + row + "<!--DATA-->\r\n</table>\r\n");
        for (const auto press : {QMessageBox::No, QMessageBox::Yes}) {
            ModalDialog::Box box;
            ModalDialog::answerBox(box, press);
            run->form.menus().mnuLogClear->trigger();
            QCOMPARE(box.line(), "Sentorix|Do you really want to clear the entire log ?|" +
                                     QString::number(QMessageBox::Question) + "|81920");
            QCOMPARE(m_home.read(EventLog::LogFile).contains(row), press == QMessageBox::No);
        }
        QCOMPARE(m_home.read(EventLog::LogFile), empty);
    }

    // Show log, Documentation and Online Information hand their page to the
    // desktop's opener (a stand-in first on PATH notes it), a log with an
    // execute bit too; a missing page opens nothing.
    void pagesGoToTheDesktopsOpener() {
        const QString bin = m_home.path(QStringLiteral("bin"));
        QFile opener(bin + QStringLiteral("/xdg-open"));
        QVERIFY(QDir().mkpath(bin) && opener.open(QIODevice::WriteOnly));
        opener.write("#!/bin/sh\necho \"$1\" >> '" +
                     QFile::encodeName(m_home.path(QStringLiteral("opened.txt"))) + "'\n");
        opener.close();
        opener.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin) + ':' + path);
        Run run = start();
        const MainMenus& m = run->form.menus();
        m.mnuDoc->trigger(); // no page: nothing is started
        QFile doc(m_home.path(QStringLiteral("zarvel.html")));
        QFile log(m_home.path(EventLog::LogFile));
        QVERIFY(doc.open(QIODevice::WriteOnly) && log.open(QIODevice::WriteOnly) &&
                log.setPermissions(log.permissions() | QFileDevice::ExeOwner));
        QByteArray opened;
        for (const auto& [entry, url] : QList<std::pair<QAction*, QUrl>>{
                 {m.mnuLogShow, QUrl::fromLocalFile(log.fileName())},
                 {m.mnuDoc, QUrl::fromLocalFile(doc.fileName())},
                 {m.mnuOnline, QUrl(QStringLiteral("https://sentorix.example.org/"))}}) {
            entry->trigger();
            opened += url.toEncoded() + '\n';
            QTRY_COMPARE(m_home.read(QStringLiteral("opened.txt")), opened);
        }
        qputenv("PATH", path);
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
        run->form.menus().mnuStart->trigger();
        run->program.surveillance().forceRecording();
        QTRY_VERIFY_WITH_TIMEOUT(run->program.capture().IsCapturing(), 10000);
        run->form.menus().mnuDevice[1]->trigger();
        QVERIFY(rows.size() == 1 && QFile::exists(rows.first()));
        QCOMPARE(run->program.panels().text(Panel::State), QStringLiteral("STANDBY"));
        run->form.menus().mnuStart->trigger();
    }

    // No trace without /debug; with it each run adds its lines, CR LF ended,
    // and notes each dialog opened from its entry. A format chosen here is
    // kept by the driver for the next run. Cancelling the countdown leaves
    // surveillance off; the statistics follow their entry only while armed.
    void windowsFromTheMenus() {
        Run plain = start(QStringLiteral("/START"));
        QVERIFY(plain->form.close() && !QFile::exists(m_home.tracePath()));
        QCOMPARE(plain->form.windowTitle(), QStringLiteral("Sentorix V1.0"));
        plain.reset();
        {
            Run run = start(QStringLiteral("/DEBUG"));
            QCOMPARE(run->form.windowTitle(), QStringLiteral("Sentorix V1.0  D E B U G"));
            const MainMenus& m = run->form.menus();
            QStringList opened;
            for (QAction* a : {m.mnuFormat, m.mnuSource, m.mnuCompress, m.mnuAudioFormat,
                               m.mnuAbout, m.mnuTimer}) {
                ModalDialog::whenOpen(
                    [&](QDialog* d) {
                        opened << d->objectName();
                        if (auto* sizes = d->findChild<QComboBox*>(QStringLiteral("FrameSize")))
                            sizes->setCurrentIndex(sizes->findData(QSize(320, 240)));
                    },
                    a != m.mnuTimer);
                a->trigger();
            }
            QCOMPARE(opened, QStringList({"FormatDialog", "SourceDialog", "CompressionDialog",
                                          "AudioFormatDialog", "frmAbout", "TimerForm"}));
            QVERIFY(!run->program.surveillance().SurveillanceOn());
            m.mnuStat->trigger();
            QVERIFY(!run->form.statistics().isVisible());
            QVERIFY(run->form.close());
        }
        Run again = start(QStringLiteral("/debug"));
        QCOMPARE(again->program.capture().frameSize(), QSize(320, 240));
        QVERIFY(again->form.close());
        const QByteArray trace = m_home.trace();
        QCOMPARE(trace.count('\n'), trace.count("\r\n"));
        for (const char* line :
             {" - Init - Sentorix V1.0\r\n", " - Init - Position Window\r\n",
              " - Init - Hardware detected: Sentorix test scene camera\r\n",
              " - End - Unload completed\r\n", " - Format_Click - Display Format Dialog\r\n",
              " - Source_Click - Display Source Dialog\r\n",
              " - Compress_Click - Display Compress Dialog\r\n",
              " - AudioFormat_Click - Display Audio Format Dialog\r\n",
              " - Timer_Click - Display Timer Countdown\r\n"})
            QVERIFY2(trace.count(line) == (QByteArray(line).contains("_Click") ? 1 : 2), line);
    }
};

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
