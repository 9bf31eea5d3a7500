// The main window over a real program with the test scene camera, in a
// throw-away home.
#include "AviProbe.h"
#include "CaptureControl.h"
#include "CaptureView.h"
#include "DetectionAreas.h"
#include "EventLog.h"
#include "Footage.h"
#include "MaskEditor.h"
#include "ModalDialog.h"
#include "ProgramRun.h"
#include "Statistics.h"
#include "StatusPanels.h"
#include "TestData.h"
#include "WebServer.h"
#include "frmAbout.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTcpSocket>
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
    QList<QUrl> m_opened; // pages handed to the desktop
    // Values in force, the keys the option commands store back, the menus
    // checked, the window's place, the frame rate, panels 2 and 5, the
    // capture status, the device checked ("(none)" when listed) and "~"
    // when nothing can start.
    QString inForce(const Run& run) const {
        const PublicStuff& s = run->program.stuff();
        const MainMenus& m = run->form.menus();
        return QString::asprintf("%g %d %d %d %d %d %s ", double(s.Threshold), s.RecordSeconds,
                                 int(s.TimeType), s.RefreshSeconds, s.LowSpace, s.Notify,
                                 s.SuspendRefresh ? "true" : "false") +
               s.Saver + ' ' + s.RemotePassword + '|' +
               m_home.stored("Sensitivity|RecStop|TimeType|NewBase|SuspendRefresh|Camera") + '|' +
               QStringList({checked(m.mnuSensitivity), checked(m.mnuTimeType), checked(m.mnuRec),
                            checked(m.mnuRefresh)})
                   .join(u'|') +
               QString::asprintf("|%d,%d %dx%d %d fps|", run->form.x(), run->form.y(),
                                 run->form.width(), run->form.height(),
                                 run->program.capture().FrameRate()) +
               run->program.panels().text(Panel::State) + '|' +
               run->program.panels().text(Panel::Timestamp) + '|' + s.CaptureStatusText + '|' +
               checked(m.mnuDevice) + (m.mnuDevice[0]->isVisible() ? "(none)" : "") +
               (m.mnuStartStop->menuAction()->isEnabled() && m.mnuCompress->isEnabled() ? "" : "~");
    }

public:
    Q_INVOKABLE void open(const QUrl& url) { m_opened << url; }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_home.isValid()); }
    void cleanup() { m_home.clear(); }

    // Rows: the settings stored before the start ("key=value;..."), the
    // command line, the message box shown (title|text|icon|buttons), and
    // what is in force then.
    void startUp_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("result");
        const QString none = "||0|0", scene = "||Sentorix test scene camera",
                      menus = "|&Medium|...end of activity plus...|30 seconds|1 minute",
                      window = "|67,67 530x387 5 fps|OFF|";
        QTest::newRow("empty store")
            << ""
            << "" << none << "4 30 1 60 20 1 true 0 |3|3|1|2|<missing>|2" + menus + window + scene;
        QTest::newRow("stored")
            << "Sensitivity=5;RecStop=6;TimeType=2;NewBase=7;PosLeft=1500;PosTop=750;"
               "PosWidth=9000;PosHeight=6000;LowSpace=150.5;SuspendRefresh=False;Notify=0;"
               "SAVER=--- none ---;CaptureFPS=12;RemotePW=" +
                   PublicStuff::ScramblePassword("Secret42")
            << "" << none
            << "8 300 2 0 150 0 false --- none --- Secret42|5|6|2|7|False|2|V&ery low|"
               "...a &fixed time of...|5 minutes|Never|100,50 600x400 12 fps|OFF|" +
                   scene;
        // A size without a pixel or beyond any screen is damage: the default.
        QTest::newRow("out of range")
            << "Sensitivity=9;RecStop=0;TimeType=5;NewBase=-3;PosWidth=1e9;PosHeight=-300"
            << "" << none << "0 0 5 0 20 1 true 0 |9|0|5|-3|<missing>|2||||" + window + scene;
        QTest::newRow("no hardware, no overlay")
            << ""
            << "/nohw /START /NoOverlay" << none
            << "4 30 1 60 20 1 true 0 |3|3|1|2|<missing>|<missing>" + menus + window +
                   "Overlay disabled||(none)~";
        // A stored device that cannot be had says so, and why as the capture
        // status, and leaves nothing chosen.
        QTest::newRow("device not available")
            << "Camera=7"
            << ""
            << "Sentorix|The selected video device is currently not available.|3|1024"
            << "4 30 1 60 20 1 true 0 |3|3|1|2|<missing>|7" + menus + window +
                   "|there is no capture device 5|~";
        QTest::newRow("the hidden (none) entry stored")
            << "Camera=1"
            << ""
            << "Sentorix|The selected video device is currently not available.|3|1024"
            << "4 30 1 60 20 1 true 0 |3|3|1|2|<missing>|1" + menus + window +
                   "|there is no capture device -1|~";
    }
    void startUp() {
        QFETCH(QString, settings);
        QFETCH(QString, box);
        QVERIFY(m_home.store(settings.split(u';', Qt::SkipEmptyParts)));
        ModalDialog::Box shown;
        if (box.size() > 5)
            ModalDialog::answerBox(shown);
        QFETCH(QString, commandLine);
        Run run = ProgramRun::start(m_home, commandLine);
        QTEST(inForce(run), "result");
        // No trace without /debug.
        QVERIFY(run->form.windowTitle() == "Sentorix V1.0" && !QFile::exists(m_home.tracePath()));
        QTRY_COMPARE_WITH_TIMEOUT(shown.line(), box, TestData::Bound);
        // Without hardware there is nothing to add to the device list either.
        QCOMPARE(run->form.menus().mnuSources == nullptr, commandLine.contains("/nohw"));
    }

    // The whole menu tree with the test scene as device 0: found, chosen
    // and stored; no entry has a shortcut. The option entries put their
    // values in force and store them; in the sources dialog a new entry
    // takes a recorded video's address from the file dialog. The picture
    // keeps its margin through a change of size, also after a tiny and a
    // minimised window; closing stores the geometry in twips.
    void menuTreeAndGeometry() {
        Run run = ProgramRun::start(m_home);
        // The window carries the program's icon, from the theme or built in.
        QVERIFY(!run->form.windowIcon().pixmap(QSize(48, 48)).isNull());
        QStringList captions;
        collectCaptions(run->form.menuBar()->actions(), QString(), captions);
        QCOMPARE(captions.join(u'|'),
                 "&Start/Stop|  &Start|  Start in &30 seconds|Sus&pend~|Se&ttings|  Video &Device|"
                 "    (none)~^|    Sentorix test scene camera*|    -|"
                 "    &Network Cameras and Videos...|  Video &Source|  Video &Format|"
                 "  Video &Compression|  -|  &Capture &Audio|  Audio F&ormat|"
                 "  -|  &Sensitivity|    &Very high|    &High|    &Medium*|    &Low|"
                 "    V&ery low|  &Stop recording after...|    ...end of activity plus...*|"
                 "    ...a &fixed time of...|    -|    10 seconds|    20 seconds|"
                 "    30 seconds*|    1 minute|    2 minutes|    5 minutes|"
                 "  &Refresh base image every...|    30 seconds|    1 minute*|    5 minutes|"
                 "    10 minutes|    30 minutes|    1 hour|    Never|    -|"
                 "    &No refresh when recording*|  -|  Show Video &Statistics|  -|"
                 "  &Configuration|  -|  &Storage...|  -|  Detection Areas...|  -|  Web Access...|"
                 "&Log|  &Show log|  &Clear log|&?|"
                 "  &Documentation|  &Online Information|  -|  &About");
        const MainMenus& m = run->form.menus();
        QString opened;
        const QString clip = m_home.path(QStringLiteral("my clip.avi"));
        QVERIFY(QFile(clip).open(QIODevice::WriteOnly));
        ModalDialog::whenOpen(
            [&](QDialog* d) {
                auto* browse = d->findChild<QPushButton*>(QStringLiteral("Browse"));
                QVERIFY(browse);
                opened = d->objectName() + (browse->isEnabled() ? " on" : " off");
                d->findChildren<QPushButton*>().at(0)->click(); // Add
                ModalDialog::whenOpen([&](QDialog* files) {
                    // Typed as its name, since the name field has the focus.
                    opened += ' ' + files->objectName();
                    files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(clip);
                });
                browse->click();
                opened += '|' + d->findChild<QListWidget*>()->currentItem()->text();
            },
            false);
        for (QAction* a : {m.mnuRefresh[6], m.mnuSensitivity[4], m.mnuTimeType[1], m.mnuRec[0],
                           m.mnuSuspendRefresh, m.mnuAudio, m.mnuSources})
            a->trigger();
        QCOMPARE(inForce(run) + ' ' + m_home.stored("Audio") +
                     (run->program.capture().CaptureAudio() ? " on " : " off ") + opened,
                 "8 10 2 0 20 1 false 0 |5|1|2|7|False|2|V&ery low|...a &fixed time of...|"
                 "10 seconds|Never|67,67 530x387 5 fps|OFF|||Sentorix test scene camera True on "
                 "SourcesDialog off BrowseDialog|Camera 1 - file://" +
                     clip);

        Form1& form = run->form;
        // A hidden window makes no picture of the frames that arrive.
        QSignalSpy pictures(&run->program.capture(), &CaptureControl::pictureChanged);
        QTRY_VERIFY_WITH_TIMEOUT(pictures.count() >= 2, TestData::Bound);
        QVERIFY(form.captureView().picture().isNull());
        form.show();
        // The live picture reaches the view.
        QTRY_VERIFY_WITH_TIMEOUT(!form.captureView().picture().isNull(), TestData::Bound);
        form.setMinimumSize(0, 0);
        const QSize frameBefore = form.picFrame().size() - form.size();
        form.resize(1, 1);
        QCoreApplication::processEvents();
        form.showMinimized();
        form.showNormal();
        form.resize(640, 480);
        QTRY_COMPARE_WITH_TIMEOUT(form.size(), QSize(640, 480), TestData::Bound);
        QCOMPARE(form.picFrame().size() - form.size(), frameBefore);
        QCOMPARE(form.captureView().geometry(),
                 QRect(QPoint(8, 8), form.picFrame().size() - QSize(16, 16)));
        form.move(120, 90);
        QVERIFY(form.close());
        QCOMPARE(m_home.stored("PosLeft|PosTop|PosWidth|PosHeight"), "1800|1350|9600|7200");
    }

    // Gone after a second of frames, back a second later: the device menu
    // follows. Choosing the camera again while it records ends and logs the
    // recording first, so no file goes unlogged. The longest recording is
    // read from the capture section, what may happen to old recordings from
    // the storage section.
    void unpluggedAndChosenAgain() {
        SettingsStore store(m_home.configPath());
        QVERIFY(store.write("CAPTURE", "MaxRecordMinutes", " 5 ") &&
                store.write("STORAGE", "DeleteOldest", " 1") &&
                store.write("STORAGE", "KeepDays", "90") &&
                m_home.store({"RemotePW=" + PublicStuff::ScramblePassword("Secret42")}));
        Run run = ProgramRun::start(m_home, QStringLiteral("/DEBUG"),
                                    sceneCamera({}, TestScene::parseUnplug("1:1")));
        const PublicStuff& s = run->program.stuff();
        QCOMPARE(QList<int>({s.MaxRecordMinutes, s.DeleteOldest, s.KeepDays}),
                 QList<int>({5, 1, 90}));
        const auto usable = [this, &run] {
            return inForce(run).endsWith("|Sentorix test scene camera");
        };
        QVERIFY(usable());
        QTRY_VERIFY_WITH_TIMEOUT(inForce(run).endsWith("|~"), TestData::Bound);
        QTRY_VERIFY_WITH_TIMEOUT(usable(), TestData::Bound);
        run->program.stuff().VidPath = m_home.videos();
        run->program.stuff().LowSpace = 0;
        QSignalSpy rows(&run->program.surveillance(), &Surveillance::recordingStopped);
        run->form.menus().mnuStart->trigger();
        run->program.surveillance().forceRecording();
        QTRY_VERIFY_WITH_TIMEOUT(run->program.capture().IsCapturing(), TestData::Bound);
        run->form.menus().mnuDevice[1]->trigger();
        QVERIFY(rows.size() == 1 && QFile::exists(rows[0][2].toString()));
        QCOMPARE(run->program.panels().text(Panel::State), QStringLiteral("STANDBY"));
        // Gone while it records and a console is open, without the window's
        // unload: each service goes before what it uses (the closing console
        // still writes to the trace), and the recording is still finished.
        QTcpSocket console;
        console.connectToHost(QHostAddress::LocalHost, quint16(m_home.telnetPort));
        QTRY_VERIFY_WITH_TIMEOUT(console.bytesAvailable() > 0, TestData::Bound);
        run->program.surveillance().forceRecording();
        QTRY_VERIFY_WITH_TIMEOUT(run->program.capture().IsCapturing(), TestData::Bound);
        const QString recording = run->program.capture().CaptureFile();
        run.reset();
        QVERIFY(!AviProbe::probe(recording).isEmpty());
    }

    // A network camera that wants credentials has them asked for once, opens
    // and keeps them; ones it refuses are reported, not asked for again.
    void cameraAskingForCredentials() {
        QProcess server;
        const auto end = qScopeGuard([&] { server.closeWriteChannel(), server.waitForFinished(); });
        server.start(SENTORIX_RTSP_SERVER, {"0", "352x288", "viewer:s3cret"});
        QVERIFY(server.waitForReadyRead(TestData::Bound));
        const QString url = "rtsp://127.0.0.1:" + server.readLine().trimmed() + "/scene";
        QVERIFY(SettingsStore(m_home.configPath()).write("SOURCES", "Source1", url));
        ModalDialog::whenOpen([](QDialog* user) {
            user->findChild<QLineEdit*>()->setText("viewer");
            ModalDialog::whenOpen([](QDialog* d) {
                auto* password = d->findChild<QLineEdit*>();
                QCOMPARE(password->echoMode(), QLineEdit::Password);
                password->setText("s3cret");
            });
        });
        Run run = ProgramRun::start(m_home);
        QTRY_VERIFY_WITH_TIMEOUT(inForce(run).endsWith('|' + url), TestData::Bound);
        QCOMPARE(SettingsStore(m_home.configPath()).read("SOURCES", "Source1", ""),
                 QString(url).insert(7, "viewer:s3cret@"));
        ModalDialog::Box seen;
        ModalDialog::answerBox(seen);
        run->program.capture().storeCredentials(0, "viewer", "wrong");
        run->form.menus().mnuDevice[1]->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(seen.text, url + " refused the user name and password.",
                                  TestData::Bound);
        QCOMPARE(inForce(run).section('|', -1), "~"); // nothing selected
    }

    // A stored source that is not there at start-up holds nothing up: the
    // box says so while the console answers; the source is tried again, and
    // when it comes the box closes by itself and /START arms.
    void aStoredSourceThatComesLate() {
        const QString clip = m_home.path("late.mp4"), made = m_home.path("made.mp4");
        QCOMPARE(Footage::make(made, QSize(320, 240), "-c:v libx264", 2, 10), QString());
        const QString url = QUrl::fromLocalFile(clip).toString();
        QVERIFY(SettingsStore(m_home.configPath()).write("SOURCES", "Source1", url));
        QVERIFY(m_home.store({"Camera=2", "LowSpace=0", "VidPath=" + m_home.videos(),
                              "RemotePW=" + PublicStuff::ScramblePassword("Secret42")}));
        Run run = ProgramRun::start(m_home, QStringLiteral("/START"));
        const QPointer<QMessageBox> box =
            run->form.findChild<QMessageBox*>(QStringLiteral("DeviceUnavailable"));
        QVERIFY(box && box->isVisible() &&
                box->text() == "The selected video device is currently not available.");
        QTcpSocket console;
        console.connectToHost(QHostAddress::LocalHost, quint16(m_home.telnetPort));
        QTRY_VERIFY_WITH_TIMEOUT(console.bytesAvailable() > 0, TestData::Bound);
        QVERIFY(!run->program.surveillance().SurveillanceOn() && box);
        QVERIFY(QFile::rename(made, clip));
        QElapsedTimer appeared;
        appeared.start();
        QTRY_VERIFY_WITH_TIMEOUT(run->program.surveillance().SurveillanceOn(), 90000);
        qInfo("armed %.1f s after the source appeared", double(appeared.elapsed()) / 1000.0);
        QTRY_VERIFY_WITH_TIMEOUT(!box, TestData::Bound);
        QVERIFY(inForce(run).endsWith('|' + url));
    }

    // With /debug the run traces its start and end, CR LF ended, and each
    // dialog opened from its entry; the statistics follow their entry only
    // while armed. The storage dialog's Cancel leaves everything as it was,
    // its OK puts both values in force and stores them. The detection areas
    // are drawn on the live picture; Cancel leaves them and the threshold
    // as they were, OK puts them in force. The web access dialog's Cancel
    // leaves the settings file untouched and serves nothing. The log and the help
    // pages go to the desktop (a log with an execute bit too; a missing page
    // opens nothing); Clear asks first, then starts the log anew from its
    // template.
    void windowsFromTheMenus() {
        for (const char* scheme : {"file", "https"})
            QDesktopServices::setUrlHandler(scheme, this, "open");
        Run run = ProgramRun::start(m_home, QStringLiteral("/DEBUG"));
        QCOMPARE(run->form.windowTitle(), QStringLiteral("Sentorix V1.0  D E B U G"));
        const MainMenus& m = run->form.menus();
        QStringList opened;
        for (QAction* a :
             {m.mnuFormat, m.mnuSource, m.mnuCompress, m.mnuAudioFormat, m.mnuAbout, m.mnuTimer}) {
            ModalDialog::whenOpen(
                [&](QDialog* d) {
                    opened << d->objectName();
                    if (auto* about = qobject_cast<frmAbout*>(d)) {
                        about->cmdOK->click();
                        opened << about->lblVersion->text() + (about->isVisible() ? "" : " closed");
                    }
                },
                a != m.mnuTimer);
            a->trigger();
        }
        QCOMPARE(opened, QStringList({"FormatDialog", "SourceDialog", "CompressionDialog",
                                      "AudioFormatDialog", "frmAbout", "Revision 1.0.18 closed",
                                      "TimerForm"}));
        for (const bool ok : {false, true}) {
            const char* close = ok ? "OK" : "Cancel";
            ModalDialog::whenOpen(
                [close](QDialog* d) {
                    d->findChild<QCheckBox*>(QStringLiteral("DeleteOldest"))->setChecked(true);
                    d->findChild<QSpinBox*>(QStringLiteral("KeepDays"))->setValue(14);
                    d->findChild<QPushButton*>(close)->click();
                },
                ok);
            m.mnuStorage->trigger();
            ModalDialog::whenOpen(
                [close](QDialog* d) {
                    auto* editor = d->findChild<MaskEditor*>();
                    QTRY_VERIFY_WITH_TIMEOUT(!editor->picture().isNull(), TestData::Bound);
                    const QRect area = editor->toWidget(QRectF(0, 0, 50, 25)).toRect();
                    QTest::mousePress(editor, Qt::LeftButton, {}, area.topLeft());
                    QTest::mouseRelease(editor, Qt::LeftButton, {}, area.bottomRight());
                    d->findChild<QDoubleSpinBox*>(QStringLiteral("Threshold"))->setValue(3.5);
                    d->findChild<QPushButton*>(close)->click();
                },
                ok);
            m.mnuDetectionAreas->trigger();
            // In force, then stored: what is stored is what is in force.
            const PublicStuff& s = run->program.stuff();
            QString values = QString::asprintf("%d %d %g %g", s.DeleteOldest, s.KeepDays,
                                               double(s.OwnThreshold), double(s.Threshold));
            for (const QRectF& r : s.Masks)
                values += QString::asprintf(" %.0f,%.0f,%.0f,%.0f", r.left(), r.top(), r.width(),
                                            r.height());
            const SettingsStore store(m_home.configPath());
            for (const char* key : {"STORAGE/DeleteOldest", "STORAGE/KeepDays",
                                    "DETECTION/Threshold", "DETECTION/Mask1"})
                values += u'|' + store.read(QString(key).section(u'/', 0, 0),
                                            QString(key).section(u'/', 1), "<missing>");
            QCOMPARE(values, ok ? "1 14 3.5 3.5 0,0,50,25|1|14|3.5|" +
                                      DetectionAreas::format(s.Masks.value(0))
                                : "0 0 0 4|<missing>|<missing>|<missing>|<missing>");
        }
        const QByteArray settings = TestData::readFile(m_home.configPath());
        ModalDialog::whenOpen(
            [](QDialog* d) {
                d->findChild<QLineEdit*>(QStringLiteral("Password"))->setText("Typed1");
                d->findChild<QSpinBox*>(QStringLiteral("Port"))->setValue(9443);
                d->findChild<QPushButton*>(QStringLiteral("Cancel"))->click();
            },
            false);
        m.mnuWeb->trigger();
        QCOMPARE(TestData::readFile(m_home.configPath()), settings);
        QVERIFY(!run->program.web().serving());
        m.mnuStat->trigger();
        QVERIFY(!run->form.statistics().isVisible());
        m.mnuDoc->trigger(); // no page yet
        QFile doc(m_home.path(QStringLiteral("zarvel.html")));
        QFile log(m_home.path(EventLog::LogFile)), templ(m_home.path(EventLog::TemplateFile));
        QVERIFY(doc.open(QIODevice::WriteOnly) && log.open(QIODevice::WriteOnly) &&
                log.write("the log") == 7 && templ.open(QIODevice::WriteOnly) &&
                templ.write("template") == 8 &&
                log.setPermissions(log.permissions() | QFileDevice::ExeOwner));
        log.close();
        templ.close();
        for (QAction* a : {m.mnuLogShow, m.mnuDoc, m.mnuOnline})
            a->trigger();
        QCOMPARE(m_opened, QList<QUrl>({QUrl::fromLocalFile(log.fileName()),
                                        QUrl::fromLocalFile(doc.fileName()),
                                        QUrl(QStringLiteral("https://sentorix.example.org/"))}));
        for (const auto press : {QMessageBox::No, QMessageBox::Yes}) {
            ModalDialog::Box box;
            ModalDialog::answerBox(box, press);
            m.mnuLogClear->trigger();
            QCOMPARE(box.line() + m_home.read(EventLog::LogFile),
                     "Sentorix|Do you really want to clear the entire log ?|4|81920" +
                         QString(press == QMessageBox::No ? "the log" : "template"));
        }
        QVERIFY(run->form.close());
        // How often each line is in the trace.
        const QByteArray trace = m_home.trace();
        QString counts = QString::number(trace.count('\n') - trace.count("\r\n"));
        for (const char* line :
             {"Init - Sentorix V1.0", "Init - Position Window",
              "Init - Hardware detected: Sentorix test scene camera", "End - Unload completed",
              "Format_Click - Display Format Dialog", "Timer_Click - Display Timer Countdown",
              "Storage_Click - Display Storage Dialog",
              "DetectionAreas_Click - Display Detection Areas Dialog",
              "Web_Click - Display Web Access Dialog"})
            counts += QString::number(trace.count(" - " + QByteArray(line) + "\r\n"));
        QCOMPARE(counts, QStringLiteral("0111111221"));
    }
};

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
