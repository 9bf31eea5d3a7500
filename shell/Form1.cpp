#include "Form1.h"

#include "AviRepair.h"
#include "CaptureControl.h"
#include "CaptureDialogs.h"
#include "CaptureView.h"
#include "ConfigSection.h"
#include "Configuration.h"
#include "HelpCommands.h"
#include "JpegLibrary.h"
#include "JpegSnapshot.h"
#include "MailNotification.h"
#include "PowerBroadcast.h"
#include "PowerScheme.h"
#include "ProgramInfo.h"
#include "PublicStuff.h"
#include "RegistryView.h"
#include "SDASubclass.h"
#include "ShellExecute.h"
#include "Statistics.h"
#include "StatusPanels.h"
#include "Surveillance.h"
#include "TelnetConsole.h"
#include "TimerForm.h"
#include "Winsock.h"
#include "frmAbout.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStandardPaths>
#include <QStatusBar>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

const QString AppTitle = ProgramInfo::displayName();
const QString AppVersion = ProgramInfo::version();

// Design layout, in twips.
constexpr int PicFrameDesignWidth = 6495;
constexpr int PicFrameDesignHeight = 4695;
constexpr int CaptureOffset = 120;
constexpr int StatusBarHeight = 375;

struct Option {
    const char* caption;
    double value;
};
constexpr std::array<Option, 5> Sensitivities{
    {{"&Very high", 1.2}, {"&High", 2.0}, {"&Medium", 4.0}, {"&Low", 6.0}, {"V&ery low", 8.0}}};
constexpr std::array<Option, 6> RecordTimes{{{"10 seconds", 10},
                                             {"20 seconds", 20},
                                             {"30 seconds", 30},
                                             {"1 minute", 60},
                                             {"2 minutes", 120},
                                             {"5 minutes", 300}}};
constexpr std::array<Option, 7> RefreshTimes{{{"30 seconds", 30},
                                              {"1 minute", 60},
                                              {"5 minutes", 300},
                                              {"10 minutes", 600},
                                              {"30 minutes", 1800},
                                              {"1 hour", 3600},
                                              {"Never", 0}}};

constexpr int MinFrameRate = 1;
constexpr int MaxFrameRate = 25;

int pixels(double twips) {
    return int(std::lround(twips / Form1::TwipsPerPixel));
}

std::int32_t twips(int pixels) {
    return std::int32_t(std::lround(pixels * Form1::TwipsPerPixel));
}

// A stored size without a pixel, or larger than any screen's coordinates
// reach, is damage rather than a choice: the window gets its default size.
double windowSize(double storedTwips, double defaultTwips) {
    constexpr double MaxPixels = 32767;
    const double px = storedTwips / Form1::TwipsPerPixel;
    return px >= 0.5 && px <= MaxPixels ? storedTwips : defaultTwips;
}

template <std::size_t N> bool inTable(const std::array<Option, N>&, int index) {
    return index >= 1 && index <= int(N);
}

} // namespace

Form1::Form1(const CommandLine& commandLine, PublicStuff& stuff, ConfigSection& config,
             QWidget* parent)
    : QMainWindow(parent)
    , m_commandLine(commandLine)
    , m_stuff(stuff)
    , m_config(config)
    , m_capture(new CaptureControl(this))
    , m_panels(new StatusPanels(this))
    , m_picFrame(new QFrame)
    , m_view(new CaptureView(m_picFrame))
    , m_winsock(new Winsock(this))
    , m_jpegLibrary(std::make_unique<JpegLibrary>())
    , m_snapshot(std::make_unique<JpegSnapshot>(
          *m_jpegLibrary,
          [&stuff](const QString& where, const QString& text) { stuff.WriteTrace(where, text); })) {
    setObjectName(QStringLiteral("Form1"));
    QFont windowFont(QStringLiteral("Comic Sans MS"));
    windowFont.setStyleHint(QFont::Cursive);
    setFont(windowFont);

    auto* central = new QWidget(this);
    m_picFrame->setParent(central);
    m_picFrame->setObjectName(QStringLiteral("PicFrame"));
    m_picFrame->setFrameShape(QFrame::Panel);
    m_picFrame->setFrameShadow(QFrame::Sunken);
    m_view->setObjectName(QStringLiteral("CaptureView"));
    setCentralWidget(central);

    buildMenus();
    buildStatusBar();

    m_picFrameWidth = PicFrameDesignWidth;
    m_picFrameHeight = PicFrameDesignHeight;
    applyPicFrameGeometry();
    resize(pixels(PicFrameDesignWidth),
           menuBar()->sizeHint().height() + pixels(PicFrameDesignHeight + StatusBarHeight));

    m_surveillance = new Surveillance(
        *m_capture, m_stuff, *m_panels, m_commandLine,
        {m_menus.mnuStart, m_menus.mnuTimer, m_menus.mnuSuspend, m_menus.mnuStat}, this);

    connect(m_capture, &CaptureControl::pictureChanged, m_view, &CaptureView::showPicture);
    connect(m_capture, &CaptureControl::StatusCallback, this, &Form1::onCaptureStatus);
    connect(m_surveillance, &Surveillance::recordingStopped, this, &Form1::AddLogEntry);
    // Created after the surveillance: its status handler fills the status
    // text before the window shows it.
    m_statistics = new Statistics(m_stuff, *m_panels, *m_capture, this);
    m_power = new PowerBroadcast(m_stuff, PowerBroadcast::defaultBusAddress(), this);
    connect(m_surveillance, &Surveillance::statisticsVisibilityRequested, m_statistics,
            &QWidget::setVisible);
    m_mail = new MailNotification(
        m_stuff, *m_panels, *m_surveillance, *m_snapshot,
        {[this] { return cameraName(); },
         [this](const QString& first, const QString& second, const QString& recording) {
             AddLogEntry(first, second, recording);
         }},
        this);
    m_surveillance->SendMail = [this](const QString& startText) { m_mail->SendMail(startText); };
    m_telnet = new TelnetConsole(
        *m_winsock, m_stuff, *m_panels, *m_surveillance, *m_capture, [this] { mnuStart_Click(); },
        this);
    // The driver keeps its dialog choices beside the program's settings.
    m_capture->setDriverSettings(&m_config.store());
}

Form1::~Form1() = default;

void Form1::buildMenus() {
    QMenuBar* bar = menuBar();
    Menus& m = m_menus;
    const auto named = [](auto* object, const char* name) {
        object->setObjectName(QLatin1String(name));
        return object;
    };

    m.mnuStartStop = named(bar->addMenu(QStringLiteral("&Start/Stop")), "mnuStartStop");
    m.mnuStart = named(m.mnuStartStop->addAction(QStringLiteral("&Start")), "mnuStart");
    connect(m.mnuStart, &QAction::triggered, this, [this] { mnuStart_Click(); });
    m.mnuTimer =
        named(m.mnuStartStop->addAction(QStringLiteral("Start in &30 seconds")), "mnuTimer");
    connect(m.mnuTimer, &QAction::triggered, this, [this] { mnuTimer_Click(); });
    m.mnuSuspend = named(bar->addAction(QStringLiteral("Sus&pend")), "mnuSuspend");
    m.mnuSuspend->setEnabled(false);
    connect(m.mnuSuspend, &QAction::triggered, this, [this] { mnuSuspend_Click(); });

    m.mnuSettings = named(bar->addMenu(QStringLiteral("Se&ttings")), "mnuSettings");
    m.mnuDeviceMain =
        named(m.mnuSettings->addMenu(QStringLiteral("Video &Device")), "mnuDeviceMain");
    addDeviceEntry(QStringLiteral("(none)"));
    m.mnuDevice.front()->setEnabled(false);
    m.mnuSource = named(m.mnuSettings->addAction(QStringLiteral("Video &Source")), "mnuSource");
    connect(m.mnuSource, &QAction::triggered, this, [this] { mnuSource_Click(); });
    m.mnuFormat = named(m.mnuSettings->addAction(QStringLiteral("Video &Format")), "mnuFormat");
    connect(m.mnuFormat, &QAction::triggered, this, [this] { mnuFormat_Click(); });
    m.mnuCompress =
        named(m.mnuSettings->addAction(QStringLiteral("Video &Compression")), "mnuCompress");
    connect(m.mnuCompress, &QAction::triggered, this, [this] { mnuCompress_Click(); });
    named(m.mnuSettings->addSeparator(), "mnuDiv5");
    m.mnuAudio = named(m.mnuSettings->addAction(QStringLiteral("&Capture &Audio")), "mnuAudio");
    m.mnuAudio->setCheckable(true);
    connect(m.mnuAudio, &QAction::triggered, this, [this] { mnuAudio_Click(); });
    m.mnuAudioFormat =
        named(m.mnuSettings->addAction(QStringLiteral("Audio F&ormat")), "mnuAudioFormat");
    connect(m.mnuAudioFormat, &QAction::triggered, this, [this] { mnuAudioFormat_Click(); });
    named(m.mnuSettings->addSeparator(), "mnuDiv1");

    m.mnuSensitivityMain =
        named(m.mnuSettings->addMenu(QStringLiteral("&Sensitivity")), "mnuSensitivityMain");
    for (const Option& o : Sensitivities)
        addListEntry(m.mnuSensitivityMain, m.mnuSensitivity, QString::fromLatin1(o.caption),
                     &Form1::mnuSensitivity_Click);

    m.mnuRecordingMain = named(m.mnuSettings->addMenu(QStringLiteral("&Stop recording after...")),
                               "mnuRecordingMain");
    addListEntry(m.mnuRecordingMain, m.mnuTimeType, QStringLiteral("...end of activity plus..."),
                 &Form1::mnuTimeType_Click);
    addListEntry(m.mnuRecordingMain, m.mnuTimeType, QStringLiteral("...a &fixed time of..."),
                 &Form1::mnuTimeType_Click);
    named(m.mnuRecordingMain->addSeparator(), "mnuDiv10");
    for (const Option& o : RecordTimes)
        addListEntry(m.mnuRecordingMain, m.mnuRec, QString::fromLatin1(o.caption),
                     &Form1::mnuRec_Click);

    m.mnuRefreshBase = named(m.mnuSettings->addMenu(QStringLiteral("&Refresh base image every...")),
                             "mnuRefreshBase");
    for (const Option& o : RefreshTimes)
        addListEntry(m.mnuRefreshBase, m.mnuRefresh, QString::fromLatin1(o.caption),
                     &Form1::mnuRefresh_Click);
    named(m.mnuRefreshBase->addSeparator(), "mnuDiv9");
    m.mnuSuspendRefresh =
        named(m.mnuRefreshBase->addAction(QStringLiteral("&No refresh when recording")),
              "mnuSuspendRefresh");
    m.mnuSuspendRefresh->setCheckable(true);
    connect(m.mnuSuspendRefresh, &QAction::triggered, this, [this] { mnuSuspendRefresh_Click(); });

    named(m.mnuSettings->addSeparator(), "mnuDiv8");
    m.mnuStat =
        named(m.mnuSettings->addAction(QStringLiteral("Show Video &Statistics")), "mnuStat");
    m.mnuStat->setCheckable(true);
    connect(m.mnuStat, &QAction::triggered, this, [this] { mnuStat_Click(); });
    named(m.mnuSettings->addSeparator(), "mnuDiv4");
    m.mnuConfig = named(m.mnuSettings->addAction(QStringLiteral("&Configuration")), "mnuConfig");

    m.mnuLog = named(bar->addMenu(QStringLiteral("&Log")), "mnuLog");
    m.mnuLogShow = named(m.mnuLog->addAction(QStringLiteral("&Show log")), "mnuLogShow");
    m.mnuLogClear = named(m.mnuLog->addAction(QStringLiteral("&Clear log")), "mnuLogClear");
    connect(m.mnuConfig, &QAction::triggered, this, [this] { mnuConfig_Click(); });
    connect(m.mnuLogShow, &QAction::triggered, this, [this] { mnuLogShow_Click(); });
    connect(m.mnuLogClear, &QAction::triggered, this, [this] { mnuLogClear_Click(); });

    m.mnuHelpMain = named(bar->addMenu(QStringLiteral("&?")), "mnuHelpMain");
    m.mnuDoc = named(m.mnuHelpMain->addAction(QStringLiteral("&Documentation")), "mnuDoc");
    m.mnuOnline =
        named(m.mnuHelpMain->addAction(QStringLiteral("&Online Information")), "mnuOnline");
    named(m.mnuHelpMain->addSeparator(), "mnuDiv6");
    m.mnuAbout = named(m.mnuHelpMain->addAction(QStringLiteral("&About")), "mnuAbout");
    connect(m.mnuDoc, &QAction::triggered, this, [this] { mnuDoc_Click(); });
    connect(m.mnuOnline, &QAction::triggered, this, [this] { mnuOnline_Click(); });
    connect(m.mnuAbout, &QAction::triggered, this, [this] { mnuAbout_Click(); });
}

QAction* Form1::addListEntry(QMenu* menu, QList<QAction*>& list, const QString& caption,
                             void (Form1::*command)(int)) {
    QAction* entry = menu->addAction(caption);
    entry->setCheckable(true);
    list.append(entry);
    const int index = int(list.size());
    connect(entry, &QAction::triggered, this, [this, command, index] { (this->*command)(index); });
    return entry;
}

void Form1::addDeviceEntry(const QString& caption) {
    QAction* entry =
        addListEntry(m_menus.mnuDeviceMain, m_menus.mnuDevice, caption, &Form1::mnuDevice_Click);
    entry->setObjectName(QStringLiteral("mnuDevice%1").arg(m_menus.mnuDevice.size()));
}

void Form1::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(false);
    for (int panel = 1; panel <= StatusPanels::Count; ++panel) {
        auto* label = new QLabel(bar);
        label->setObjectName(QStringLiteral("Panel%1").arg(panel));
        label->setToolTip(StatusPanels::toolTip(panel));
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        // Room for "RECORDING", "9999 sec" and a full date and time.
        const int chars = panel == 5 ? 0 : (panel == 2 ? 11 : 9);
        if (chars > 0)
            label->setMinimumWidth(label->fontMetrics().averageCharWidth() * chars);
        bar->addPermanentWidget(label, panel == 5 ? 1 : 0);
        m_panelLabels.append(label);
    }
    connect(m_panels, &StatusPanels::textChanged, this,
            [this](int panel, const QString& text) { m_panelLabels[panel - 1]->setText(text); });
}

void Form1::Form_Load() {
    // 1, 2: title and trace.
    setWindowTitle(AppTitle + QStringLiteral(" V") + AppVersion);
    m_stuff.DebugMode = false;
    if (m_commandLine.debug) {
        m_stuff.DebugMode = true;
        if (!m_stuff.trace().open(TraceLog::defaultPath()))
            qWarning("Sentorix: cannot open the trace file %s; running without a trace",
                     qPrintable(TraceLog::defaultPath()));
        m_stuff.WriteTrace(QStringLiteral("Init"), windowTitle());
        setWindowTitle(windowTitle() + QStringLiteral("  D E B U G"));
    }

    // 3: devices.
    DeviceCount = 0;
    if (!m_commandLine.noHardware) {
        for (int n = 0; n < CaptureControl::MaxDevices; ++n) {
            const QString description = m_capture->DeviceName(n);
            if (description.isEmpty())
                continue;
            if (m_stuff.DebugMode)
                m_stuff.WriteTrace(QStringLiteral("Init"),
                                   QStringLiteral("Hardware detected: ") + description);
            ++DeviceCount;
            addDeviceEntry(description);
            m_menus.mnuDevice.front()->setVisible(false);
        }
    }

    // 4: the stored device.
    if (DeviceCount < 1)
        enableCaptureEntries(false, false, false);
    else
        mnuDevice_Click(m_config.int16(QStringLiteral("Camera"), 2));

    // 5: sound.
    m_capture->setCaptureAudio(m_config.boolean(QStringLiteral("Audio"), false));
    if (!m_capture->HasAudio())
        m_capture->setCaptureAudio(false);
    m_menus.mnuAudio->setChecked(m_capture->CaptureAudio());
    m_menus.mnuAudio->setVisible(m_capture->HasAudio());
    m_menus.mnuAudioFormat->setVisible(m_menus.mnuAudio->isVisible());

    // 6, 7: status and the capture control's start-up configuration.
    m_panels->setText(2, QStringLiteral("OFF"));
    constexpr std::array<int, 9> SetupOptions{0, 0, 0, 1, 1, 0, 0, 0, 100};
    for (std::size_t i = 0; i < SetupOptions.size(); ++i)
        m_capture->setSetupOption(int(i) + 1, SetupOptions[i]);
    m_capture->setPreview(true);
    m_capture->setFrameRate(std::clamp<int>(m_config.int16(QStringLiteral("CaptureFPS"), 5),
                                            MinFrameRate, MaxFrameRate));

    // 8: overlay.
    m_surveillance->NoOverlay = m_commandLine.noOverlay;
    if (m_surveillance->NoOverlay)
        m_panels->setText(5, QStringLiteral("Overlay disabled"));

    // 9, 10: the stored options.
    mnuSensitivity_Click(m_config.int16(QStringLiteral("Sensitivity"), 3));
    mnuRec_Click(m_config.int16(QStringLiteral("RecStop"), 3));
    mnuTimeType_Click(m_config.int16(QStringLiteral("TimeType"), 1));
    mnuRefresh_Click(m_config.int16(QStringLiteral("NewBase"), 2));
    m_stuff.SuspendRefresh = m_config.boolean(QStringLiteral("SuspendRefresh"), true);
    m_menus.mnuSuspendRefresh->setChecked(m_stuff.SuspendRefresh);

    // 11 to 14: remote console and notification settings.
    m_stuff.WriteTrace(QStringLiteral("Init"), QStringLiteral("Telnet Init Begin"));
    m_winsock->LocalPort = Winsock::defaultPort();
    m_winsock->Protocol = Winsock::sckTCPProtocol;
    const QString defaultVidPath =
        QStandardPaths::writableLocation(QStandardPaths::MoviesLocation) + u'/';
    m_stuff.VidPath = m_config.text(QStringLiteral("VidPath"), defaultVidPath);
    m_stuff.EMail = m_config.text(QStringLiteral("EMail"), QString());
    m_stuff.SMTPServer =
        m_config.text(QStringLiteral("SMTPServer"), QStringLiteral("mail.example.com"));
    m_stuff.LowSpace = m_config.int32(QStringLiteral("LowSpace"), 20);
    const QString storedPassword = m_config.text(QStringLiteral("RemotePW"), QString());
    if (!storedPassword.isEmpty()) {
        m_stuff.RemotePassword = PublicStuff::UnscramblePassword(storedPassword);
        if (m_stuff.RemotePassword.isEmpty()) {
            m_telnet->refuseStoredPassword();
        } else if (!m_commandLine.noRemote) {
            m_stuff.WriteTrace(QStringLiteral("Init"), QStringLiteral("Telnet Bind/Listen"));
            m_telnet->BindAndListen();
        }
    }
    m_stuff.Notify = m_config.byte(QStringLiteral("Notify"), 1);
    m_stuff.APM = m_config.byte(QStringLiteral("APM"), 0);
    m_stuff.Saver = m_config.text(QStringLiteral("SAVER"), QStringLiteral("0"));

    // 15, 16: flags and the supervision tick.
    m_surveillance->SurveillanceOn = false;
    m_surveillance->ForceRecording = false;
    m_surveillance->Timer1.setInterval(250);

    // 17: the statistics window, loaded hidden.
    m_statistics->Form_Load();

    // 18: the event log, from its template when there is none yet.
    m_eventLog.createIfMissing();

    // 19: the hook on the power broadcast.
    m_power->StartSubclassing(WindowHandle(winId()));

    // 20, 21: layout origin, then the stored window position.
    LastWidth = twips(width());
    LastHeight = twips(height());
    m_picFrameWidth = LastWidth;
    m_picFrameHeight = LastHeight - twips(menuBar()->sizeHint().height()) - StatusBarHeight;
    applyPicFrameGeometry();
    m_loaded = true;
    m_stuff.WriteTrace(QStringLiteral("Init"), QStringLiteral("Position Window"));
    restoreWindowPosition();

    // Recordings cut off by a killed program get their lengths and index
    // back before anything can arm.
    for (const AviRepair::Report& report : AviRepair::repairFolder(m_stuff.VidPath)) {
        const QString what =
            report.outcome == AviRepair::Outcome::Repaired ? QStringLiteral("Recording repaired: ")
            : report.outcome == AviRepair::Outcome::Removed
                ? QStringLiteral("Recording without a frame removed: ")
                : QStringLiteral("Recording not repaired (%1): ").arg(report.error);
        m_stuff.WriteTrace(QStringLiteral("Init"), what + report.path);
    }

    // 22: arm at once when asked and a device is ready.
    if (m_menus.mnuStartStop->menuAction()->isEnabled() && m_commandLine.start)
        mnuStart_Click();
}

void Form1::restoreWindowPosition() {
    const double left = m_config.single(QStringLiteral("PosLeft"), 1000);
    const double top = m_config.single(QStringLiteral("PosTop"), 1000);
    const double w = windowSize(m_config.single(QStringLiteral("PosWidth"), 7950), 7950);
    const double h = windowSize(m_config.single(QStringLiteral("PosHeight"), 5805), 5805);
    move(pixels(left), pixels(top));
    resize(pixels(w), pixels(h));
    Form_Resize();
}

void Form1::saveWindowPosition() {
    m_config.saveNumber(QStringLiteral("PosLeft"), leftTwips());
    m_config.saveNumber(QStringLiteral("PosTop"), topTwips());
    m_config.saveNumber(QStringLiteral("PosWidth"), widthTwips());
    m_config.saveNumber(QStringLiteral("PosHeight"), heightTwips());
}

double Form1::leftTwips() const {
    return twips(pos().x());
}

double Form1::topTwips() const {
    return twips(pos().y());
}

double Form1::widthTwips() const {
    return twips(width());
}

double Form1::heightTwips() const {
    return twips(height());
}

void Form1::Form_Resize() {
    if (!m_loaded || isMinimized())
        return;
    m_stuff.WriteTrace(QStringLiteral("Resize"), QStringLiteral("Perform"));
    const std::int32_t w = twips(width());
    const std::int32_t h = twips(height());
    m_picFrameWidth += w - LastWidth;
    m_picFrameHeight += h - LastHeight;
    applyPicFrameGeometry();
    LastWidth = w;
    LastHeight = h;
}

void Form1::applyPicFrameGeometry() {
    // A window made smaller than the margins gives an empty picture, never
    // a negative size.
    const int frameW = std::max(0, pixels(m_picFrameWidth));
    const int frameH = std::max(0, pixels(m_picFrameHeight));
    m_picFrame->setGeometry(0, 0, frameW, frameH);
    const int offset = pixels(CaptureOffset);
    m_view->setGeometry(offset, offset, std::max(0, frameW - 2 * offset),
                        std::max(0, frameH - 2 * offset));
}

void Form1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void Form1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Restoring from minimised lays out the change made meanwhile.
    if (event->type() == QEvent::WindowStateChange && !isMinimized())
        Form_Resize();
}

void Form1::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void Form1::Form_Unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    // Disarming ends and logs a running recording, so its file is complete.
    if (m_surveillance->SurveillanceOn)
        mnuStart_Click();
    else if (m_capture->IsCapturing())
        m_capture->StopCapture();
    saveWindowPosition();
    m_power->EndSubclassing();
    m_statistics->Timer1.stop();
    m_statistics->hide();
    if (m_stuff.DebugMode) {
        m_stuff.WriteTrace(QStringLiteral("End"), QStringLiteral("Unload completed"));
        m_stuff.trace().close();
    }
}

void Form1::enableCaptureEntries(bool sourceOn, bool formatOn, bool compressAndStartOn) {
    m_menus.mnuSource->setEnabled(sourceOn);
    m_menus.mnuFormat->setEnabled(formatOn);
    m_menus.mnuCompress->setEnabled(compressAndStartOn);
    m_menus.mnuStartStop->menuAction()->setEnabled(compressAndStartOn);
}

void Form1::checkOnly(const QList<QAction*>& list, int index) {
    for (qsizetype i = 0; i < list.size(); ++i)
        list[i]->setChecked(i + 1 == index);
}

void Form1::mnuDevice_Click(int index) {
    // A recording of the old camera is ended and logged before the switch,
    // and the new camera's first frame becomes the base.
    if (m_surveillance->SurveillanceOn && m_capture->IsCapturing())
        m_surveillance->mnuSuspend_Click();
    m_stuff.BaseSize = 0;
    enableCaptureEntries(false, false, false);
    if (m_stuff.DebugMode)
        m_stuff.WriteTrace(QStringLiteral("Device_Click"),
                           QStringLiteral("Select device ") + QString::number(index - 2));
    if (!m_capture->setDevice(index - 2)) {
        QMessageBox::critical(
            this, AppTitle,
            QStringLiteral("The selected video device is currently not available."));
        m_stuff.WriteTrace(QStringLiteral("Device_Click"), QStringLiteral("Can't select device"));
        checkOnly(m_menus.mnuDevice, 0);
        return;
    }
    m_stuff.WriteTrace(QStringLiteral("Device_Click"), QStringLiteral("Device selected"));
    checkOnly(m_menus.mnuDevice, index);
    m_config.saveNumber(QStringLiteral("Camera"), index);
    enableCaptureEntries(m_capture->HasSourceDialog(), m_capture->HasFormatDialog(), true);
}

void Form1::mnuAudio_Click() {
    m_stuff.WriteTrace(QStringLiteral("Audio_Click"), QStringLiteral("Toggle Audio"));
    m_capture->setCaptureAudio(m_menus.mnuAudio->isChecked());
    m_config.saveBoolean(QStringLiteral("Audio"), m_capture->CaptureAudio());
}

void Form1::mnuSensitivity_Click(int index) {
    m_stuff.WriteTrace(QStringLiteral("Sensitivity_Click"), QStringLiteral("Change sensitivity"));
    if (inTable(Sensitivities, index))
        m_stuff.Threshold = float(Sensitivities[std::size_t(index - 1)].value);
    checkOnly(m_menus.mnuSensitivity, index);
    m_config.saveNumber(QStringLiteral("Sensitivity"), index);
    m_stuff.WriteTrace(QStringLiteral("Sensitivity_Click"), QStringLiteral("Sensitivity changed"));
}

void Form1::mnuTimeType_Click(int index) {
    m_stuff.WriteTrace(QStringLiteral("RecType_Click"),
                       QStringLiteral("Change Recording Time Type"));
    m_stuff.TimeType = std::int16_t(index);
    m_menus.mnuTimeType[0]->setChecked(index == 1);
    m_menus.mnuTimeType[1]->setChecked(index == 2);
    m_config.saveNumber(QStringLiteral("TimeType"), index);
    m_stuff.WriteTrace(QStringLiteral("RecType_Click"),
                       QStringLiteral("Recording Time Type changed"));
}

void Form1::mnuRec_Click(int index) {
    m_stuff.WriteTrace(QStringLiteral("Rec_Click"), QStringLiteral("Change Recording Time"));
    if (inTable(RecordTimes, index))
        m_stuff.RecordSeconds = std::int16_t(RecordTimes[std::size_t(index - 1)].value);
    checkOnly(m_menus.mnuRec, index);
    m_config.saveNumber(QStringLiteral("RecStop"), index);
    m_stuff.WriteTrace(QStringLiteral("Rec_Click"), QStringLiteral("Recording Time changed"));
}

void Form1::mnuRefresh_Click(int index) {
    m_stuff.WriteTrace(QStringLiteral("Refresh_Click"), QStringLiteral("Change Refresh Time"));
    if (inTable(RefreshTimes, index))
        m_stuff.RefreshSeconds = std::int16_t(RefreshTimes[std::size_t(index - 1)].value);
    checkOnly(m_menus.mnuRefresh, index);
    m_config.saveNumber(QStringLiteral("NewBase"), index);
    m_stuff.WriteTrace(QStringLiteral("Refresh_Click"), QStringLiteral("Refresh Time changed"));
}

void Form1::mnuSuspendRefresh_Click() {
    m_stuff.WriteTrace(QStringLiteral("SupendRefresh_Click"),
                       QStringLiteral("Toggle Suspend Refresh"));
    m_stuff.SuspendRefresh = m_menus.mnuSuspendRefresh->isChecked();
    m_config.saveBoolean(QStringLiteral("SuspendRefresh"), m_stuff.SuspendRefresh);
    m_stuff.WriteTrace(QStringLiteral("SupendRefresh_Click"),
                       QStringLiteral("Suspend Refresh changed"));
}

void Form1::mnuSource_Click() {
    m_stuff.WriteTrace(QStringLiteral("Source_Click"), QStringLiteral("Display Source Dialog"));
    CaptureDialogs::ShowSourceDialog(*m_capture, this);
}

void Form1::mnuFormat_Click() {
    m_stuff.WriteTrace(QStringLiteral("Format_Click"), QStringLiteral("Display Format Dialog"));
    CaptureDialogs::ShowFormatDialog(*m_capture, this);
}

void Form1::mnuCompress_Click() {
    m_stuff.WriteTrace(QStringLiteral("Compress_Click"), QStringLiteral("Display Compress Dialog"));
    CaptureDialogs::ShowCompressionDialog(*m_capture, this);
}

void Form1::mnuAudioFormat_Click() {
    m_stuff.WriteTrace(QStringLiteral("AudioFormat_Click"),
                       QStringLiteral("Display Audio Format Dialog"));
    CaptureDialogs::ShowAudioFormatDialog(*m_capture, this);
}

void Form1::mnuStart_Click() {
    m_surveillance->mnuStart_Click();
}

void Form1::mnuSuspend_Click() {
    m_surveillance->mnuSuspend_Click();
}

void Form1::mnuConfig_Click() {
    m_stuff.WriteTrace(QStringLiteral("Config_Click"),
                       QStringLiteral("Display Configuration Dialog"));
    // The power scheme is read as the dialog opens, so it shows the
    // desktop's setting of this moment.
    RegistryView registry;
    PowerScheme::presentDesktopSetting(registry);
    Configuration dialog(
        {m_stuff, *m_capture, *m_winsock, *m_telnet, m_config, m_commandLine, registry}, this);
    dialog.Form_Load();
    dialog.exec();
    // A changed power option is applied now rather than at the next check.
    if (SDASubclass* subclass = m_power->subclass())
        subclass->queryNow();
}

void Form1::mnuLogShow_Click() {
    // A missing viewer is not the recorder's concern: nothing happens.
    ShellExecute::openDocument(m_eventLog.logPath());
}

void Form1::mnuLogClear_Click() {
    const auto answer = QMessageBox::question(
        this, AppTitle, QStringLiteral("Do you really want to clear the entire log ?"),
        QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes)
        m_eventLog.clear();
}

void Form1::AddLogEntry(const QString& first, const QString& second, const QString& recording) {
    m_eventLog.AddLogEntry(first, second, recording, cameraName(), m_stuff.Threshold);
}

std::optional<QString> Form1::cameraName() const {
    // Devices are listed from the menu's second entry on: list index
    // Device + 2 sits at position Device + 1.
    const qsizetype position = qsizetype(m_capture->Device()) + 1;
    if (position < 0 || position >= m_menus.mnuDevice.size())
        return std::nullopt;
    return m_menus.mnuDevice[position]->text();
}

void Form1::onCaptureStatus(int code, const QString&) {
    // The surveillance has already ended a recording and disarmed, or
    // armed again.
    if (code == CaptureControl::StatusDeviceLost) {
        // The camera is gone (unplugged, driver error): nothing is selected
        // any more, as after a failed selection.
        checkOnly(m_menus.mnuDevice, 0);
        enableCaptureEntries(false, false, false);
    } else if (code == CaptureControl::StatusDeviceBack) {
        checkOnly(m_menus.mnuDevice, m_capture->Device() + 2);
        enableCaptureEntries(m_capture->HasSourceDialog(), m_capture->HasFormatDialog(), true);
    }
}

void Form1::mnuTimer_Click() {
    m_stuff.WriteTrace(QStringLiteral("Timer_Click"), QStringLiteral("Display Timer Countdown"));
    TimerForm form(m_stuff, *m_surveillance, this);
    form.exec();
}

void Form1::mnuStat_Click() {
    // The entry's own toggle has already inverted the check mark.
    m_statistics->setVisible(m_surveillance->SurveillanceOn && m_menus.mnuStat->isChecked());
}

void Form1::mnuAbout_Click() {
    frmAbout about(this);
    about.exec();
}

void Form1::mnuDoc_Click() {
    HelpCommands::mnuDoc_Click();
}

void Form1::mnuOnline_Click() {
    HelpCommands::mnuOnline_Click();
}
