#include "Program.h"

#include "AviRepair.h"
#include "CaptureControl.h"
#include "DateText.h"
#include "DetectionAreas.h"
#include "JpegLibrary.h"
#include "JpegSnapshot.h"
#include "MailNotification.h"
#include "PowerBroadcast.h"
#include "RecordingName.h"
#include "SDASubclass.h"
#include "SensitivityPresets.h"
#include "ShellExecute.h"
#include "StatusPanels.h"
#include "TelnetConsole.h"
#include "TlsCertificate.h"
#include "WebServer.h"
#include "Winsock.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <utility>

namespace {

// The values behind the entries of the option menus, by list index.
constexpr const auto& Sensitivities = SensitivityPresets::Thresholds;
constexpr std::array<std::int16_t, 6> RecordTimes{10, 20, 30, 60, 120, 300};
constexpr std::array<std::int16_t, 7> RefreshTimes{30, 60, 300, 600, 1800, 3600, 0};

constexpr int MinFrameRate = 1;
constexpr int DefaultMaxRecordMinutes = 30;
constexpr int MaxFrameRate = 25;

const QString StorageSection = QStringLiteral("STORAGE");
const QString WebSection = QStringLiteral("WEB");

// A stored whole number, or nothing when the text is none.
std::optional<int> wholeNumber(const SettingsStore& store, const QString& section,
                               const QString& key) {
    bool whole = false;
    const int value = store.read(section, key, QString()).trimmed().toInt(&whole);
    return whole ? std::optional<int>(value) : std::nullopt;
}

template <typename T, std::size_t N>
std::optional<T> entry(const std::array<T, N>& table, int index) {
    if (index < 1 || index > int(N))
        return std::nullopt;
    return table[std::size_t(index - 1)];
}

// A stored size without a pixel, or larger than any screen's coordinates
// reach, is damage rather than a choice: the window gets its default size.
double windowSize(double storedTwips, double defaultTwips) {
    constexpr double MaxPixels = 32767;
    const double px = storedTwips / Program::TwipsPerPixel;
    return px >= 0.5 && px <= MaxPixels ? storedTwips : defaultTwips;
}

QAction* action(const char* name, const char* caption, QObject* parent) {
    auto* a = new QAction(QLatin1String(caption), parent);
    a->setObjectName(QLatin1String(name));
    return a;
}

// A port the page can be served on, or else the default one.
int usableWebPort(int port) {
    return port > 0 && port < 65536 ? port : WebServer::DefaultPort;
}

} // namespace

Program::Program(const CommandLine& commandLine, const ProgramOptions& options, QObject* parent)
    : QObject(parent)
    , m_commandLine(commandLine)
    , m_options(options)
    , m_stuff(options.clock, options.freeSpace)
    , m_store(options.configPath)
    , m_config(m_store)
    , m_actions{action("mnuStart", "&Start", this),
                action("mnuTimer", "Start in &30 seconds", this),
                action("mnuSuspend", "Sus&pend", this),
                action("mnuStat", "Show Video &Statistics", this)}
    , m_capture(std::make_unique<CaptureControl>(options.capture, this))
    , m_panels(std::make_unique<StatusPanels>(this))
    , m_surveillance(std::make_unique<Surveillance>(*m_capture, m_stuff, *m_panels, m_commandLine,
                                                    m_actions, this))
    , m_winsock(std::make_unique<Winsock>(this))
    , m_telnet(std::make_unique<TelnetConsole>(*m_winsock, m_stuff, *m_panels, *m_surveillance,
                                               *m_capture, this))
    , m_jpegLibrary(std::make_unique<JpegLibrary>())
    , m_snapshot(std::make_unique<JpegSnapshot>(
          *m_jpegLibrary,
          [this](const QString& where, const QString& text) { m_stuff.WriteTrace(where, text); }))
    , m_mail(std::make_unique<MailNotification>(
          m_stuff, *m_panels, *m_surveillance, *m_snapshot,
          MailNotification::Window{
              [this] { return cameraName(); },
              [this](const QString& first, const QString& second, const QString& recording) {
                  AddLogEntry(first, second, recording);
              }},
          this))
    , m_power(
          std::make_unique<PowerBroadcast>(m_stuff, options.loginBus, options.powerPollMs, this))
    , m_web(std::make_unique<WebServer>(
          m_stuff, *m_panels, *m_surveillance, *m_capture, *m_telnet,
          [this](const QString& first, const QString& second) {
              AddLogEntry(first, second, QString());
          },
          this))
    , m_deviceNames{QStringLiteral("(none)")} {
    m_actions.mnuSuspend->setEnabled(false);
    m_actions.mnuStat->setCheckable(true);
    m_stuff.setSystemDirectory(options.saverDirectory);
    connect(m_surveillance.get(), &Surveillance::recordingStopped, this, &Program::AddLogEntry);
    connect(m_capture.get(), &CaptureControl::deviceOpened, this, &Program::deviceOpened);
    connect(m_capture.get(), &CaptureControl::StatusCallback, this, [this](int code) {
        if (code == CaptureControl::StatusDeviceBack)
            armIfPending();
    });
    connect(m_surveillance.get(), &Surveillance::recordingDeleted, this,
            [this](const QString& started, const QString& message) {
                AddLogEntry(started, message, QString());
            });
    // The picture is made only for a frame somebody watches on the web.
    connect(m_capture.get(), &CaptureControl::pictureChanged, m_web.get(), [this] {
        if (m_web->wantsPicture())
            m_web->offerPicture(m_capture->picture());
    });
    m_keepDaysTimer.setInterval(KeepDaysCheckMs);
    connect(&m_keepDaysTimer, &QTimer::timeout, m_surveillance.get(),
            &Surveillance::removeOldRecordings);
    // The driver keeps its dialog choices beside the program's settings.
    m_capture->setDriverSettings(&m_store);
}

Program::~Program() {
    stopRepair();
}

void Program::stopRepair() {
    m_stopRepair = true;
    if (m_repair.joinable())
        m_repair.join();
}

void Program::openTrace(const QString& title) {
    m_stuff.DebugMode = false;
    if (!m_commandLine.debug)
        return;
    m_stuff.DebugMode = true;
    if (!m_stuff.trace().open(m_options.tracePath))
        qWarning("Sentorix: cannot open the trace file %s; running without a trace",
                 qPrintable(m_options.tracePath));
    m_stuff.WriteTrace(QStringLiteral("Init"), title);
}

QStringList Program::detectDevices() {
    DeviceCount = 0;
    QStringList found;
    if (m_commandLine.noHardware)
        return found;
    for (int n = 0; n < CaptureControl::MaxDevices; ++n) {
        const QString description = m_capture->DeviceName(n);
        if (description.isEmpty())
            continue;
        if (m_stuff.DebugMode)
            m_stuff.WriteTrace(QStringLiteral("Init"),
                               QStringLiteral("Hardware detected: ") + description);
        ++DeviceCount;
        found << description;
    }
    m_deviceNames << found;
    return found;
}

void Program::selectDevice(int index, bool keepTrying) {
    // A recording of the old camera is ended and logged before the switch,
    // and the new camera's first frame becomes the base.
    if (m_surveillance->SurveillanceOn() && m_capture->IsCapturing())
        m_surveillance->mnuSuspend_Click();
    m_stuff.BaseSize = 0;
    if (m_stuff.DebugMode)
        m_stuff.WriteTrace(QStringLiteral("Device_Click"),
                           QStringLiteral("Select device ") + QString::number(index - 2));
    // What was said about the old camera no longer applies; a failure says
    // why in the statistics window's video status, as a lost camera does.
    m_stuff.CaptureStatusText.clear();
    m_capture->openDevice(index - 2, keepTrying);
}

void Program::deviceOpened(int n, bool ok) {
    if (!ok) {
        m_stuff.CaptureStatusText = m_capture->lastError();
        Q_EMIT deviceSelected(n + 2, false);
        return;
    }
    m_stuff.WriteTrace(QStringLiteral("Device_Click"), QStringLiteral("Device selected"));
    m_config.saveNumber(QStringLiteral("Camera"), n + 2);
    Q_EMIT deviceSelected(n + 2, true);
    armIfPending();
}

void Program::startWhenReady() {
    m_startPending = true;
    if (m_capture->Device() >= 0 && !m_capture->isOpening())
        armIfPending();
}

void Program::armIfPending() {
    if (std::exchange(m_startPending, false) && !m_surveillance->SurveillanceOn())
        m_surveillance->mnuStart_Click();
}

void Program::loadCapture() {
    m_capture->setCaptureAudio(m_config.boolean(QStringLiteral("Audio"), false));
    if (!m_capture->HasAudio())
        m_capture->setCaptureAudio(false);
    m_panels->setState(SystemState::Off);
    constexpr std::array<int, 9> SetupOptions{0, 0, 0, 1, 1, 0, 0, 0, 100};
    for (std::size_t i = 0; i < SetupOptions.size(); ++i)
        m_capture->setSetupOption(int(i) + 1, SetupOptions[i]);
    m_capture->setPreview(true);
    m_capture->setFrameRate(std::clamp<int>(m_config.int16(QStringLiteral("CaptureFPS"), 5),
                                            MinFrameRate, MaxFrameRate));
    bool whole = false;
    const int longest =
        m_store.read(QStringLiteral("CAPTURE"), QStringLiteral("MaxRecordMinutes"), QString())
            .trimmed()
            .toInt(&whole);
    m_stuff.MaxRecordMinutes = whole && longest >= 0 ? longest : DefaultMaxRecordMinutes;
    const int workers =
        m_store.read(QStringLiteral("CAPTURE"), QStringLiteral("Workers"), QString())
            .trimmed()
            .toInt(&whole);
    m_stuff.Workers = whole && workers >= 0 ? workers : 0;
    m_surveillance->setNoOverlay(m_commandLine.noOverlay);
    if (m_commandLine.noOverlay)
        m_panels->setText(Panel::Timestamp, QStringLiteral("Overlay disabled"));
}

void Program::setCaptureAudio(bool on) {
    m_stuff.WriteTrace(QStringLiteral("Audio_Click"), QStringLiteral("Toggle Audio"));
    m_capture->setCaptureAudio(on);
    m_config.saveBoolean(QStringLiteral("Audio"), m_capture->CaptureAudio());
}

void Program::setSensitivity(int index) {
    m_stuff.WriteTrace(QStringLiteral("Sensitivity_Click"), QStringLiteral("Change sensitivity"));
    if (const auto value = entry(Sensitivities, index))
        m_presetThreshold = float(*value);
    m_config.saveNumber(QStringLiteral("Sensitivity"), index);
    // A chosen preset is the threshold again.
    if (m_detectionRead) {
        m_stuff.OwnThreshold = 0.0F;
        DetectionAreas::writeThreshold(m_store, 0.0F);
    }
    applyThreshold();
    m_stuff.WriteTrace(QStringLiteral("Sensitivity_Click"), QStringLiteral("Sensitivity changed"));
}

void Program::applyThreshold() {
    m_stuff.Threshold = m_stuff.OwnThreshold > 0.0F ? m_stuff.OwnThreshold : m_presetThreshold;
}

void Program::setTimeType(int index) {
    m_stuff.WriteTrace(QStringLiteral("RecType_Click"),
                       QStringLiteral("Change Recording Time Type"));
    m_stuff.TimeType = StopMode(index);
    m_config.saveNumber(QStringLiteral("TimeType"), index);
    m_stuff.WriteTrace(QStringLiteral("RecType_Click"),
                       QStringLiteral("Recording Time Type changed"));
}

void Program::setRecordTime(int index) {
    m_stuff.WriteTrace(QStringLiteral("Rec_Click"), QStringLiteral("Change Recording Time"));
    if (const auto value = entry(RecordTimes, index))
        m_stuff.RecordSeconds = *value;
    m_config.saveNumber(QStringLiteral("RecStop"), index);
    m_stuff.WriteTrace(QStringLiteral("Rec_Click"), QStringLiteral("Recording Time changed"));
}

void Program::setRefreshTime(int index) {
    m_stuff.WriteTrace(QStringLiteral("Refresh_Click"), QStringLiteral("Change Refresh Time"));
    if (const auto value = entry(RefreshTimes, index))
        m_stuff.RefreshSeconds = *value;
    m_config.saveNumber(QStringLiteral("NewBase"), index);
    m_stuff.WriteTrace(QStringLiteral("Refresh_Click"), QStringLiteral("Refresh Time changed"));
}

void Program::setSuspendRefresh(bool on) {
    m_stuff.WriteTrace(QStringLiteral("SupendRefresh_Click"),
                       QStringLiteral("Toggle Suspend Refresh"));
    m_stuff.SuspendRefresh = on;
    m_config.saveBoolean(QStringLiteral("SuspendRefresh"), on);
    m_stuff.WriteTrace(QStringLiteral("SupendRefresh_Click"),
                       QStringLiteral("Suspend Refresh changed"));
}

void Program::loadSettings() {
    m_stuff.WriteTrace(QStringLiteral("Init"), QStringLiteral("Telnet Init Begin"));
    m_winsock->LocalPort = m_options.telnetPort;
    m_winsock->Protocol = Winsock::sckTCPProtocol;
    m_stuff.VidPath = m_config.text(QStringLiteral("VidPath"), m_options.videoDirectory);
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
    startWeb(QStringLiteral("Init"));
    m_stuff.Notify = m_config.byte(QStringLiteral("Notify"), 1);
    m_stuff.APM = m_config.byte(QStringLiteral("APM"), 0);
    m_stuff.Saver = m_config.text(QStringLiteral("SAVER"), QStringLiteral("0"));
    m_stuff.DeleteOldest =
        wholeNumber(m_store, StorageSection, QStringLiteral("DeleteOldest")).value_or(0) == 1;
    m_stuff.KeepDays =
        std::max(0, wholeNumber(m_store, StorageSection, QStringLiteral("KeepDays")).value_or(0));
    m_surveillance->setMasks(DetectionAreas::read(m_store));
    m_stuff.OwnThreshold = DetectionAreas::readThreshold(m_store);
    m_detectionRead = true;
    applyThreshold();
}

void Program::setDetectionAreas(const QList<QRectF>& masks, float ownThreshold) {
    m_stuff.WriteTrace(QStringLiteral("Detection_Click"), QStringLiteral("Change Detection Areas"));
    QList<QRectF> kept;
    for (const QRectF& mask : masks)
        if (const std::optional<QRectF> sane = DetectionAreas::sane(mask))
            kept.append(*sane);
    m_surveillance->setMasks(kept);
    m_stuff.OwnThreshold = DetectionAreas::saneThreshold(double(ownThreshold));
    applyThreshold();
    DetectionAreas::write(m_store, kept);
    DetectionAreas::writeThreshold(m_store, m_stuff.OwnThreshold);
}

void Program::setRetention(bool deleteOldest, std::int32_t keepDays) {
    m_stuff.WriteTrace(QStringLiteral("Storage_Click"), QStringLiteral("Change Storage"));
    m_stuff.DeleteOldest = deleteOldest;
    m_stuff.KeepDays = std::max(0, keepDays);
    m_store.write(StorageSection, QStringLiteral("DeleteOldest"),
                  deleteOldest ? QStringLiteral("1") : QStringLiteral("0"));
    m_store.write(StorageSection, QStringLiteral("KeepDays"), QString::number(m_stuff.KeepDays));
    m_surveillance->removeOldRecordings();
}

void Program::finishLoad(WindowHandle window) {
    m_eventLog.createIfMissing();
    m_power->StartSubclassing(window);
    // Before the repair lists the recordings, so it never works on one
    // that goes.
    m_surveillance->removeOldRecordings();
    m_keepDaysTimer.start();
}

void Program::repairRecordings() {
    // Recordings cut off by a killed program get their lengths, index and
    // log row back. Only the files named as the program names its
    // recordings are looked at, and they are listed now, before anything
    // can arm; the repair itself runs on a worker, so the window and the
    // termination signals are answered meanwhile.
    const QStringList paths = AviRepair::recordings(m_stuff.VidPath, [](const QString& name) {
        return RecordingName::startOf(name).has_value();
    });
    if (paths.isEmpty() || m_repair.joinable())
        return;
    m_repair = std::thread([this, paths] {
        for (const QString& path : paths) {
            if (m_stopRepair)
                return;
            const AviRepair::Report report = AviRepair::repair(path, &m_stopRepair);
            if (report.outcome != AviRepair::Outcome::Untouched)
                QMetaObject::invokeMethod(
                    this, [this, report] { recordingRepaired(report); }, Qt::QueuedConnection);
        }
    });
}

void Program::recordingRepaired(const AviRepair::Report& report) {
    const QString what = report.outcome == AviRepair::Outcome::Repaired
                             ? QStringLiteral("Recording repaired: ")
                         : report.outcome == AviRepair::Outcome::Removed
                             ? QStringLiteral("Recording without a frame removed: ")
                             : QStringLiteral("Recording not repaired (%1): ").arg(report.error);
    m_stuff.WriteTrace(QStringLiteral("Init"), what + report.path);
    if (report.outcome != AviRepair::Outcome::Repaired)
        return;
    // Its row, as if it had ended with its last frame.
    const std::optional<QDateTime> start =
        RecordingName::startOf(QFileInfo(report.path).fileName());
    if (!start)
        return;
    const QDateTime end = start->addMSecs(qint64(report.seconds * 1000.0));
    // Deleted meanwhile, to make room or for its age: its deletion row
    // is the last word on it.
    if (!QFileInfo::exists(report.path))
        return;
    AddLogEntry(DateText::general(*start), DateText::general(end), report.path);
}

void Program::endCapture() {
    // Disarming ends and logs a running recording, so its file is complete.
    if (m_surveillance->SurveillanceOn())
        m_surveillance->mnuStart_Click();
    else if (m_capture->IsCapturing())
        m_capture->StopCapture();
}

int Program::storedWebPort() const {
    return usableWebPort(
        wholeNumber(m_store, WebSection, QStringLiteral("Port")).value_or(WebServer::DefaultPort));
}

QString Program::storedWebPassword() const {
    return PublicStuff::UnscramblePassword(
        m_store.read(WebSection, QStringLiteral("Password"), QString()));
}

Program::WebFiles Program::webFiles() const {
    WebFiles files{m_store.read(WebSection, QStringLiteral("Certificate"), QString()),
                   m_store.read(WebSection, QStringLiteral("Key"), QString()), true};
    if (files.certificate.isEmpty() || files.key.isEmpty()) {
        // Made once into the data folder (the working directory) and kept.
        files = {QDir::current().absoluteFilePath(QStringLiteral("sentorix-web.crt")),
                 QDir::current().absoluteFilePath(QStringLiteral("sentorix-web.key")), false};
    }
    return files;
}

void Program::startWeb(const QString& where) {
    m_webCertificate.clear();
    m_webError.clear();
    const QString scrambled = m_store.read(WebSection, QStringLiteral("Password"), QString());
    const QString password =
        scrambled.isEmpty() ? QString() : PublicStuff::UnscramblePassword(scrambled);
    if (m_commandLine.noRemote || scrambled.isEmpty())
        return;
    const int port = m_options.webPort != 0 ? m_options.webPort : storedWebPort();
    const WebFiles files = webFiles();
    QString error;
    if (password.isEmpty())
        error = QStringLiteral("the stored password cannot be read");
    else if (files.own || TlsCertificate::makeSelfSigned(files.certificate, files.key, &error)) {
        if (!m_web->start(port, password, files.certificate, files.key))
            error = m_web->error();
    }
    if (!error.isEmpty()) {
        m_webError = error;
        m_stuff.WriteTrace(where, QStringLiteral("Web: ") + error);
        qWarning("Sentorix: no web page: %s", qPrintable(error));
        return;
    }
    m_webCertificate = files.certificate;
    m_stuff.WriteTrace(where, QStringLiteral("Web page on port %1, certificate SHA-256 %2")
                                  .arg(port)
                                  .arg(TlsCertificate::fingerprint(files.certificate)));
}

WebAccess Program::webAccess() const {
    WebAccess access;
    access.password = storedWebPassword();
    access.port = storedWebPort();
    access.portOverride = m_options.webPort;
    access.serving = m_web->serving();
    access.failed = !access.serving && !m_webError.isEmpty();
    access.status = access.serving ? QStringLiteral("Served on port %1.").arg(access.portInForce())
                    : m_commandLine.noRemote
                        ? QStringLiteral("Off: /NOREMOTE turns the web page off.")
                    : access.failed ? QStringLiteral("Not served: %1.").arg(m_webError)
                                    : QStringLiteral("Off: no password.");
    access.fingerprint =
        TlsCertificate::fingerprint(access.serving ? m_webCertificate : webFiles().certificate);
    return access;
}

WebAccess Program::setWebAccess(const QString& password, int port) {
    m_stuff.WriteTrace(QStringLiteral("Web_Click"), QStringLiteral("Change Web Access"));
    const QString scrambled = PublicStuff::ScramblePassword(password);
    if (!password.isEmpty() && scrambled.isEmpty())
        return webAccess();
    const int stored = usableWebPort(port);
    const bool servedAlready = m_web->serving() && password == storedWebPassword() &&
                               (m_options.webPort != 0 || stored == storedWebPort());
    m_store.write(WebSection, QStringLiteral("Password"), scrambled);
    m_store.write(WebSection, QStringLiteral("Port"), QString::number(stored));
    // Serving anew would cut everyone watching, for nothing.
    if (servedAlready)
        return webAccess();
    // The server's stop is bounded: it cuts its connections and wakes the
    // requests that wait for this thread.
    m_web->stop();
    startWeb(QStringLiteral("Web_Click"));
    return webAccess();
}

void Program::unload() {
    m_web->stop();
    stopRepair();
    m_power->EndSubclassing();
}

void Program::closeTrace() {
    if (m_stuff.DebugMode) {
        m_stuff.WriteTrace(QStringLiteral("End"), QStringLiteral("Unload completed"));
        m_stuff.trace().close();
    }
}

QRectF Program::windowPosition() const {
    return {m_config.single(QStringLiteral("PosLeft"), 1000),
            m_config.single(QStringLiteral("PosTop"), 1000),
            windowSize(m_config.single(QStringLiteral("PosWidth"), 7950), 7950),
            windowSize(m_config.single(QStringLiteral("PosHeight"), 5805), 5805)};
}

void Program::saveWindowPosition(const QRectF& twips) {
    m_config.saveNumber(QStringLiteral("PosLeft"), twips.left());
    m_config.saveNumber(QStringLiteral("PosTop"), twips.top());
    m_config.saveNumber(QStringLiteral("PosWidth"), twips.width());
    m_config.saveNumber(QStringLiteral("PosHeight"), twips.height());
}

void Program::AddLogEntry(const QString& first, const QString& second, const QString& recording) {
    m_eventLog.AddLogEntry(first, second, recording, cameraName(), m_stuff.Threshold);
}

void Program::showLog() const {
    // A missing viewer is not the recorder's concern: nothing happens.
    ShellExecute::openDocument(m_eventLog.logPath());
}

void Program::clearLog() const {
    m_eventLog.clear();
}

std::optional<QString> Program::cameraName() const {
    // Devices are listed from the second name on: list index Device + 2
    // sits at position Device + 1.
    const qsizetype position = qsizetype(m_capture->Device()) + 1;
    if (position < 0 || position >= m_deviceNames.size())
        return std::nullopt;
    return m_deviceNames[position];
}

void Program::powerOptionChanged() {
    if (SDASubclass* subclass = m_power->subclass())
        subclass->queryNow();
}
