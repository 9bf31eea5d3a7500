#include "Form1.h"

#include "CaptureControl.h"
#include "CaptureDialogs.h"
#include "CaptureView.h"
#include "Configuration.h"
#include "HelpCommands.h"
#include "PowerScheme.h"
#include "Program.h"
#include "ProgramInfo.h"
#include "RegistryView.h"
#include "Statistics.h"
#include "StatusPanels.h"
#include "TimerForm.h"
#include "frmAbout.h"

#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
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

// The entries of the option menus; the program holds their values.
constexpr std::array<const char*, 5> Sensitivities{"&Very high", "&High", "&Medium", "&Low",
                                                   "V&ery low"};
constexpr std::array<const char*, 6> RecordTimes{"10 seconds", "20 seconds", "30 seconds",
                                                 "1 minute",   "2 minutes",  "5 minutes"};
constexpr std::array<const char*, 7> RefreshTimes{
    "30 seconds", "1 minute", "5 minutes", "10 minutes", "30 minutes", "1 hour", "Never"};

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

} // namespace

Form1::Form1(Program& program, QWidget* parent)
    : QMainWindow(parent)
    , m_program(program)
    , m_picFrame(new QFrame)
    , m_view(new CaptureView(m_picFrame)) {
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

    CaptureControl& capture = m_program.capture();
    Surveillance& surveillance = m_program.surveillance();
    connect(&capture, &CaptureControl::pictureChanged, m_view, &CaptureView::showPicture);
    connect(&capture, &CaptureControl::StatusCallback, this, &Form1::onCaptureStatus);
    m_statistics = new Statistics(m_program.stuff(), m_program.panels(), capture, this);
    connect(&surveillance, &Surveillance::captureStatusChanged, m_statistics,
            &Statistics::showCaptureStatus);
    connect(&surveillance, &Surveillance::statisticsVisibilityRequested, m_statistics,
            &QWidget::setVisible);
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
    // The surveillance drives these four entries; the program makes them.
    const Surveillance::Menus& driven = m_program.actions();
    m.mnuStart = driven.mnuStart;
    m.mnuTimer = driven.mnuTimer;
    m.mnuSuspend = driven.mnuSuspend;
    m.mnuStat = driven.mnuStat;
    m.mnuStartStop->addAction(m.mnuStart);
    connect(m.mnuStart, &QAction::triggered, this, [this] { mnuStart_Click(); });
    m.mnuStartStop->addAction(m.mnuTimer);
    connect(m.mnuTimer, &QAction::triggered, this, [this] { mnuTimer_Click(); });
    bar->addAction(m.mnuSuspend);
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
    for (const char* caption : Sensitivities)
        addListEntry(m.mnuSensitivityMain, m.mnuSensitivity, QString::fromLatin1(caption),
                     &Form1::mnuSensitivity_Click);

    m.mnuRecordingMain = named(m.mnuSettings->addMenu(QStringLiteral("&Stop recording after...")),
                               "mnuRecordingMain");
    addListEntry(m.mnuRecordingMain, m.mnuTimeType, QStringLiteral("...end of activity plus..."),
                 &Form1::mnuTimeType_Click);
    addListEntry(m.mnuRecordingMain, m.mnuTimeType, QStringLiteral("...a &fixed time of..."),
                 &Form1::mnuTimeType_Click);
    named(m.mnuRecordingMain->addSeparator(), "mnuDiv10");
    for (const char* caption : RecordTimes)
        addListEntry(m.mnuRecordingMain, m.mnuRec, QString::fromLatin1(caption),
                     &Form1::mnuRec_Click);

    m.mnuRefreshBase = named(m.mnuSettings->addMenu(QStringLiteral("&Refresh base image every...")),
                             "mnuRefreshBase");
    for (const char* caption : RefreshTimes)
        addListEntry(m.mnuRefreshBase, m.mnuRefresh, QString::fromLatin1(caption),
                     &Form1::mnuRefresh_Click);
    named(m.mnuRefreshBase->addSeparator(), "mnuDiv9");
    m.mnuSuspendRefresh =
        named(m.mnuRefreshBase->addAction(QStringLiteral("&No refresh when recording")),
              "mnuSuspendRefresh");
    m.mnuSuspendRefresh->setCheckable(true);
    connect(m.mnuSuspendRefresh, &QAction::triggered, this, [this] { mnuSuspendRefresh_Click(); });

    named(m.mnuSettings->addSeparator(), "mnuDiv8");
    m.mnuSettings->addAction(m.mnuStat);
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
    for (const Panel p :
         {Panel::Deviation, Panel::State, Panel::BaseRefresh, Panel::TimeToGo, Panel::Timestamp}) {
        const int panel = int(p);
        auto* label = new QLabel(bar);
        label->setObjectName(QStringLiteral("Panel%1").arg(panel));
        label->setToolTip(StatusPanels::toolTip(p));
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        // Room for "RECORDING", "9999 sec" and a full date and time.
        const int chars = panel == 5 ? 0 : (panel == 2 ? 11 : 9);
        if (chars > 0)
            label->setMinimumWidth(label->fontMetrics().averageCharWidth() * chars);
        bar->addPermanentWidget(label, panel == 5 ? 1 : 0);
        m_panelLabels.append(label);
    }
    connect(
        &m_program.panels(), &StatusPanels::textChanged, this,
        [this](Panel panel, const QString& text) { m_panelLabels[int(panel) - 1]->setText(text); });
}

void Form1::Form_Load() {
    // 1, 2: title and trace.
    setWindowTitle(AppTitle + QStringLiteral(" V") + AppVersion);
    m_program.openTrace(windowTitle());
    if (m_program.stuff().DebugMode)
        setWindowTitle(windowTitle() + QStringLiteral("  D E B U G"));

    // 3, 4: devices, and the stored one.
    for (const QString& description : m_program.detectDevices()) {
        addDeviceEntry(description);
        m_menus.mnuDevice.front()->setVisible(false);
    }
    ConfigSection& config = m_program.config();
    if (m_program.DeviceCount < 1)
        enableCaptureEntries(false, false, false);
    else
        mnuDevice_Click(config.int16(QStringLiteral("Camera"), 2));

    // 5 to 8: sound, status, the capture's set-up and overlay.
    m_program.loadCapture();
    const CaptureControl& capture = m_program.capture();
    m_menus.mnuAudio->setChecked(capture.CaptureAudio());
    m_menus.mnuAudio->setVisible(capture.HasAudio());
    m_menus.mnuAudioFormat->setVisible(m_menus.mnuAudio->isVisible());

    // 9, 10: the stored options.
    mnuSensitivity_Click(config.int16(QStringLiteral("Sensitivity"), 3));
    mnuRec_Click(config.int16(QStringLiteral("RecStop"), 3));
    mnuTimeType_Click(config.int16(QStringLiteral("TimeType"), 1));
    mnuRefresh_Click(config.int16(QStringLiteral("NewBase"), 2));
    m_program.stuff().SuspendRefresh = config.boolean(QStringLiteral("SuspendRefresh"), true);
    m_menus.mnuSuspendRefresh->setChecked(m_program.stuff().SuspendRefresh);

    // 11 to 19: console and notification settings, the statistics window
    // (loaded hidden), the event log and the power hook.
    m_program.loadSettings();
    m_statistics->Form_Load();
    m_program.finishLoad(WindowHandle(winId()));

    // 20, 21: layout origin, then the stored window position.
    LastWidth = twips(width());
    LastHeight = twips(height());
    m_picFrameWidth = LastWidth;
    m_picFrameHeight = LastHeight - twips(menuBar()->sizeHint().height()) - StatusBarHeight;
    applyPicFrameGeometry();
    m_loaded = true;
    m_program.stuff().WriteTrace(QStringLiteral("Init"), QStringLiteral("Position Window"));
    restoreWindowPosition();
    m_program.repairRecordings();

    // 22: arm at once when asked and a device is ready.
    if (m_menus.mnuStartStop->menuAction()->isEnabled() && m_program.commandLine().start)
        mnuStart_Click();
}

void Form1::restoreWindowPosition() {
    const double left = m_program.config().single(QStringLiteral("PosLeft"), 1000);
    const double top = m_program.config().single(QStringLiteral("PosTop"), 1000);
    const double w = windowSize(m_program.config().single(QStringLiteral("PosWidth"), 7950), 7950);
    const double h = windowSize(m_program.config().single(QStringLiteral("PosHeight"), 5805), 5805);
    move(pixels(left), pixels(top));
    resize(pixels(w), pixels(h));
    Form_Resize();
}

void Form1::saveWindowPosition() {
    m_program.config().saveNumber(QStringLiteral("PosLeft"), leftTwips());
    m_program.config().saveNumber(QStringLiteral("PosTop"), topTwips());
    m_program.config().saveNumber(QStringLiteral("PosWidth"), widthTwips());
    m_program.config().saveNumber(QStringLiteral("PosHeight"), heightTwips());
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
    m_program.stuff().WriteTrace(QStringLiteral("Resize"), QStringLiteral("Perform"));
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
    m_program.endCapture();
    saveWindowPosition();
    m_program.unload();
    m_statistics->Timer1.stop();
    m_statistics->hide();
    m_program.closeTrace();
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
    enableCaptureEntries(false, false, false);
    if (!m_program.selectDevice(index)) {
        QMessageBox::critical(
            this, AppTitle,
            QStringLiteral("The selected video device is currently not available."));
        m_program.stuff().WriteTrace(QStringLiteral("Device_Click"),
                                     QStringLiteral("Can't select device"));
        checkOnly(m_menus.mnuDevice, 0);
        return;
    }
    checkOnly(m_menus.mnuDevice, index);
    const CaptureControl& capture = m_program.capture();
    enableCaptureEntries(capture.HasSourceDialog(), capture.HasFormatDialog(), true);
}

void Form1::mnuAudio_Click() {
    m_program.setCaptureAudio(m_menus.mnuAudio->isChecked());
}

void Form1::mnuSensitivity_Click(int index) {
    checkOnly(m_menus.mnuSensitivity, index);
    m_program.setSensitivity(index);
}

void Form1::mnuTimeType_Click(int index) {
    m_menus.mnuTimeType[0]->setChecked(index == int(StopMode::AfterActivity));
    m_menus.mnuTimeType[1]->setChecked(index == int(StopMode::FixedTime));
    m_program.setTimeType(index);
}

void Form1::mnuRec_Click(int index) {
    checkOnly(m_menus.mnuRec, index);
    m_program.setRecordTime(index);
}

void Form1::mnuRefresh_Click(int index) {
    checkOnly(m_menus.mnuRefresh, index);
    m_program.setRefreshTime(index);
}

void Form1::mnuSuspendRefresh_Click() {
    m_program.setSuspendRefresh(m_menus.mnuSuspendRefresh->isChecked());
}

void Form1::mnuSource_Click() {
    m_program.stuff().WriteTrace(QStringLiteral("Source_Click"),
                                 QStringLiteral("Display Source Dialog"));
    CaptureDialogs::ShowSourceDialog(m_program.capture(), this);
}

void Form1::mnuFormat_Click() {
    m_program.stuff().WriteTrace(QStringLiteral("Format_Click"),
                                 QStringLiteral("Display Format Dialog"));
    CaptureDialogs::ShowFormatDialog(m_program.capture(), this);
}

void Form1::mnuCompress_Click() {
    m_program.stuff().WriteTrace(QStringLiteral("Compress_Click"),
                                 QStringLiteral("Display Compress Dialog"));
    CaptureDialogs::ShowCompressionDialog(m_program.capture(), this);
}

void Form1::mnuAudioFormat_Click() {
    m_program.stuff().WriteTrace(QStringLiteral("AudioFormat_Click"),
                                 QStringLiteral("Display Audio Format Dialog"));
    CaptureDialogs::ShowAudioFormatDialog(m_program.capture(), this);
}

void Form1::mnuStart_Click() {
    m_program.surveillance().mnuStart_Click();
}

void Form1::mnuSuspend_Click() {
    m_program.surveillance().mnuSuspend_Click();
}

void Form1::mnuConfig_Click() {
    m_program.stuff().WriteTrace(QStringLiteral("Config_Click"),
                                 QStringLiteral("Display Configuration Dialog"));
    // The power scheme is read as the dialog opens, so it shows the
    // desktop's setting of this moment.
    RegistryView registry;
    PowerScheme::presentDesktopSetting(registry);
    Configuration dialog({m_program.stuff(), m_program.capture(), m_program.winsock(),
                          m_program.telnet(), m_program.config(), m_program.commandLine(),
                          registry},
                         this);
    dialog.Form_Load();
    dialog.exec();
    // A changed power option is applied now rather than at the next check.
    m_program.powerOptionChanged();
}

void Form1::mnuLogShow_Click() {
    m_program.showLog();
}

void Form1::mnuLogClear_Click() {
    const auto answer = QMessageBox::question(
        this, AppTitle, QStringLiteral("Do you really want to clear the entire log ?"),
        QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes)
        m_program.clearLog();
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
        const CaptureControl& capture = m_program.capture();
        checkOnly(m_menus.mnuDevice, capture.Device() + 2);
        enableCaptureEntries(capture.HasSourceDialog(), capture.HasFormatDialog(), true);
    }
}

void Form1::mnuTimer_Click() {
    m_program.stuff().WriteTrace(QStringLiteral("Timer_Click"),
                                 QStringLiteral("Display Timer Countdown"));
    TimerForm form(m_program.stuff(), m_program.surveillance(), this);
    form.exec();
}

void Form1::mnuStat_Click() {
    // The entry's own toggle has already inverted the check mark.
    m_statistics->setVisible(m_program.surveillance().SurveillanceOn() &&
                             m_menus.mnuStat->isChecked());
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
