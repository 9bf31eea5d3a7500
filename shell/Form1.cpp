#include "Form1.h"

#include "CaptureControl.h"
#include "CaptureDialogs.h"
#include "CaptureView.h"
#include "Configuration.h"
#include "DetectionAreasDialog.h"
#include "DeviationHistory.h"
#include "HelpCommands.h"
#include "PowerScheme.h"
#include "Program.h"
#include "ProgramInfo.h"
#include "RegistryView.h"
#include "SourcesDialog.h"
#include "Statistics.h"
#include "StatusPanels.h"
#include "StorageDialog.h"
#include "TimerForm.h"
#include "WebAccessDialog.h"
#include "frmAbout.h"

#include <QCloseEvent>
#include <QFrame>
#include <QIcon>
#include <QImageReader>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

const QString AppTitle = ProgramInfo::displayName();
const QString AppVersion = ProgramInfo::version();

// Design layout, in twips.
constexpr int PicFrameDesignWidth = 6495;
constexpr int PicFrameDesignHeight = 4695;
constexpr int CaptureOffset = 120;
constexpr int StatusBarHeight = 375;

int pixels(double twips) {
    return int(std::lround(twips / Program::TwipsPerPixel));
}

std::int32_t twips(int pixels) {
    return std::int32_t(std::lround(pixels * Program::TwipsPerPixel));
}

// The icon theme's, so a theme can restyle it; else the built-in one.
QIcon applicationIcon() {
    QIcon builtIn;
    // The SVG scales to any size where Qt can draw SVG; the pictures drawn
    // from it at build time serve where it cannot.
    if (QImageReader::supportedImageFormats().contains("svg"))
        builtIn.addFile(QStringLiteral(":/icons/sentorix.svg"));
    for (const int size : {16, 32, 48, 64, 128, 256})
        builtIn.addFile(QStringLiteral(":/icons/%1/sentorix.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(QStringLiteral("sentorix"), builtIn);
}

} // namespace

Form1::Form1(Program& program, QWidget* parent)
    : QMainWindow(parent)
    , m_program(program)
    , m_picFrame(new QFrame)
    , m_view(new CaptureView(m_picFrame)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowIcon(applicationIcon());
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

    m_menus.build(*menuBar(), m_program.actions(), *this);
    buildStatusBar();

    m_picFrameWidth = PicFrameDesignWidth;
    m_picFrameHeight = PicFrameDesignHeight;
    applyPicFrameGeometry();
    resize(pixels(PicFrameDesignWidth),
           menuBar()->sizeHint().height() + pixels(PicFrameDesignHeight + StatusBarHeight));

    CaptureControl& capture = m_program.capture();
    Surveillance& surveillance = m_program.surveillance();
    m_view->setPictureSource([&capture](QSize most) { return capture.picture(most); });
    connect(&capture, &CaptureControl::pictureChanged, m_view, &CaptureView::pictureChanged);
    connect(&capture, &CaptureControl::StatusCallback, this, &Form1::onCaptureStatus);
    connect(&capture, &CaptureControl::credentialsNeeded, this, &Form1::onCredentialsNeeded);
    connect(&m_program, &Program::deviceSelected, this, &Form1::onDeviceSelected);
    m_history = new DeviationHistory(surveillance, m_program.panels(), m_program.stuff(), this);
    m_statistics = new Statistics(m_program.stuff(), m_program.panels(), capture, *m_history, this);
    connect(&surveillance, &Surveillance::captureStatusChanged, m_statistics,
            &Statistics::showCaptureStatus);
    connect(&surveillance, &Surveillance::statisticsVisibilityRequested, m_statistics,
            &QWidget::setVisible);
}

Form1::~Form1() = default;

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
        if (chars > 0) {
            // A fixed size, so a new text every examined frame does not lay
            // the status bar out again; a wider text widens it.
            label->setText(QStringLiteral("0"));
            m_panelChrome =
                label->sizeHint().width() - label->fontMetrics().horizontalAdvance(label->text());
            label->setFixedSize(label->fontMetrics().averageCharWidth() * chars,
                                label->sizeHint().height());
            label->clear();
        }
        bar->addPermanentWidget(label, panel == 5 ? 1 : 0);
        m_panelLabels.append(label);
    }
    connect(&m_program.panels(), &StatusPanels::textChanged, this,
            [this](Panel panel, const QString& text) {
                showPanelText(*m_panelLabels[int(panel) - 1], text);
            });
}

void Form1::showPanelText(QLabel& label, const QString& text) const {
    label.setText(text);
    if (label.minimumWidth() != label.maximumWidth())
        return;
    const int needed = label.fontMetrics().horizontalAdvance(text) + m_panelChrome;
    if (needed > label.maximumWidth())
        label.setFixedWidth(needed);
}

void Form1::Form_Load() {
    // 1, 2: title and trace.
    setWindowTitle(AppTitle + QStringLiteral(" V") + AppVersion);
    m_program.openTrace(windowTitle());
    if (m_program.stuff().DebugMode)
        setWindowTitle(windowTitle() + QStringLiteral("  D E B U G"));

    // 3, 4: devices, and the stored one.
    for (const QString& description : m_program.detectDevices()) {
        m_menus.addDevice(description, *this);
        m_menus.mnuDevice.front()->setVisible(false);
    }
    // Without hardware there is no device to add either.
    if (!m_program.commandLine().noHardware)
        m_menus.addSourcesEntry(*this);
    ConfigSection& config = m_program.config();
    // A stored device that is not there yet (a camera still starting) is
    // tried again until it comes.
    if (m_program.DeviceCount < 1) {
        m_menus.enableCapture(false, false, false);
    } else {
        m_menus.enableCapture(false, false, false);
        m_program.selectDevice(config.int16(QStringLiteral("Camera"), 2), true);
    }

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
    const QRectF stored = m_program.windowPosition();
    move(pixels(stored.left()), pixels(stored.top()));
    resize(pixels(stored.width()), pixels(stored.height()));
    Form_Resize();
    m_program.repairRecordings();

    // 22: arm when asked, as soon as the device is ready.
    if (m_program.DeviceCount >= 1 && m_program.commandLine().start)
        m_program.startWhenReady();
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

void Form1::bringForward() {
    m_program.stuff().WriteTrace(QStringLiteral("Instance"),
                                 QStringLiteral("Window brought forward for a second start"));
    showNormal();
    raise();
    activateWindow();
}

void Form1::Form_Unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_program.endCapture();
    m_program.saveWindowPosition(
        QRectF(twips(pos().x()), twips(pos().y()), twips(width()), twips(height())));
    m_program.unload();
    m_statistics->Timer1.stop();
    m_statistics->hide();
    m_program.closeTrace();
}

void Form1::mnuDevice_Click(int index) {
    m_menus.enableCapture(false, false, false);
    m_program.selectDevice(index);
}

void Form1::onDeviceSelected(int index, bool selected) {
    m_statistics->showCaptureStatus(m_program.stuff().CaptureStatusText);
    if (!selected) {
        // Why (a missing decoder, a refused login, ...) is what it takes to
        // put it right: the trace and the video status say it.
        const QString why = m_program.capture().lastError();
        if (m_credentialsFor != index - 2)
            showDeviceUnavailable();
        m_program.stuff().WriteTrace(QStringLiteral("Device_Click"),
                                     QStringLiteral("Can't select device") +
                                         (why.isEmpty() ? QString() : QStringLiteral(": ") + why));
        MainMenus::checkOnly(m_menus.mnuDevice, 0);
        return;
    }
    closeDeviceUnavailable();
    MainMenus::checkOnly(m_menus.mnuDevice, index);
    const CaptureControl& capture = m_program.capture();
    m_menus.enableCapture(capture.HasSourceDialog(), capture.HasFormatDialog(), true);
}

void Form1::showDeviceUnavailable() {
    if (m_unavailableBox)
        return;
    m_unavailableBox =
        new QMessageBox(QMessageBox::Critical, AppTitle,
                        QStringLiteral("The selected video device is currently not available."),
                        QMessageBox::Ok, this);
    m_unavailableBox->setObjectName(QStringLiteral("DeviceUnavailable"));
    m_unavailableBox->setAttribute(Qt::WA_DeleteOnClose);
    m_unavailableBox->open();
}

void Form1::closeDeviceUnavailable() {
    if (m_unavailableBox)
        m_unavailableBox->close();
}

void Form1::mnuAudio_Click() {
    m_program.setCaptureAudio(m_menus.mnuAudio->isChecked());
}

void Form1::mnuSensitivity_Click(int index) {
    MainMenus::checkOnly(m_menus.mnuSensitivity, index);
    m_program.setSensitivity(index);
}

void Form1::mnuTimeType_Click(int index) {
    m_menus.mnuTimeType[0]->setChecked(index == int(StopMode::AfterActivity));
    m_menus.mnuTimeType[1]->setChecked(index == int(StopMode::FixedTime));
    m_program.setTimeType(index);
}

void Form1::mnuRec_Click(int index) {
    MainMenus::checkOnly(m_menus.mnuRec, index);
    m_program.setRecordTime(index);
}

void Form1::mnuRefresh_Click(int index) {
    MainMenus::checkOnly(m_menus.mnuRefresh, index);
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

void Form1::mnuSources_Click() {
    m_program.stuff().WriteTrace(QStringLiteral("Sources_Click"),
                                 QStringLiteral("Display Network Cameras Dialog"));
    SourcesDialog::ShowSourcesDialog(m_program.capture(), this);
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

void Form1::mnuStorage_Click() {
    m_program.stuff().WriteTrace(QStringLiteral("Storage_Click"),
                                 QStringLiteral("Display Storage Dialog"));
    const PublicStuff& stuff = m_program.stuff();
    StorageDialog dialog(stuff.DeleteOldest, stuff.KeepDays, this);
    if (dialog.exec() == QDialog::Accepted)
        m_program.setRetention(dialog.deleteOldest(), dialog.keepDays());
}

void Form1::mnuDetectionAreas_Click() {
    m_program.stuff().WriteTrace(QStringLiteral("DetectionAreas_Click"),
                                 QStringLiteral("Display Detection Areas Dialog"));
    const PublicStuff& stuff = m_program.stuff();
    DetectionAreasDialog dialog(stuff.Masks, stuff.OwnThreshold, *m_history, this);
    // The whole picture, whose proportions the editor keeps; made for the
    // open dialog only.
    const CaptureControl& capture = m_program.capture();
    dialog.showPicture(capture.picture());
    connect(&capture, &CaptureControl::pictureChanged, &dialog,
            [&dialog, &capture] { dialog.showPicture(capture.picture()); });
    connect(&m_program.surveillance(), &Surveillance::deviationMeasured, &dialog,
            &DetectionAreasDialog::showDeviation);
    if (dialog.exec() == QDialog::Accepted)
        m_program.setDetectionAreas(dialog.masks(), dialog.ownThreshold());
}

void Form1::mnuWeb_Click() {
    m_program.stuff().WriteTrace(QStringLiteral("Web_Click"),
                                 QStringLiteral("Display Web Access Dialog"));
    WebAccessDialog dialog(
        m_program.webAccess(),
        [this](const QString& password, int port) {
            return m_program.setWebAccess(password, port);
        },
        this);
    dialog.exec();
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
        MainMenus::checkOnly(m_menus.mnuDevice, 0);
        m_menus.enableCapture(false, false, false);
    } else if (code == CaptureControl::StatusDeviceBack) {
        closeDeviceUnavailable();
        const CaptureControl& capture = m_program.capture();
        MainMenus::checkOnly(m_menus.mnuDevice, capture.Device() + 2);
        m_menus.enableCapture(capture.HasSourceDialog(), capture.HasFormatDialog(), true);
    }
}

// Asked once: credentials refused in their turn are not asked for again.
void Form1::onCredentialsNeeded(int device, bool refused) {
    m_credentialsFor = device;
    QTimer::singleShot(0, this, [this, device, refused] {
        m_credentialsFor.reset();
        CaptureControl& capture = m_program.capture();
        const QString camera = capture.DeviceName(device);
        if (refused) {
            QMessageBox::warning(
                this, AppTitle,
                QStringLiteral("%1 refused the user name and password.").arg(camera));
            return;
        }
        bool ok = false;
        const QString user =
            QInputDialog::getText(this, AppTitle, QStringLiteral("User name for %1:").arg(camera),
                                  QLineEdit::Normal, {}, &ok);
        if (!ok || user.isEmpty())
            return;
        const QString password =
            QInputDialog::getText(this, AppTitle, QStringLiteral("Password for %1:").arg(camera),
                                  QLineEdit::Password, {}, &ok);
        if (!ok)
            return;
        capture.storeCredentials(device, user, password);
        mnuDevice_Click(device + 2);
    });
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
