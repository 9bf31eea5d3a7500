#include "Configuration.h"

#include "CaptureControl.h"
#include "ConfigSection.h"
#include "PowerCheck.h"
#include "ProgramInfo.h"
#include "PublicStuff.h"
#include "TelnetConsole.h"
#include "Winsock.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString AppTitle = ProgramInfo::displayName();

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QString fpsHint(int position) {
    return QString::number(position) + QStringLiteral(" fps");
}

} // namespace

Configuration::Configuration(Program program, QWidget* parent)
    : QDialog(parent)
    , m(std::move(program)) {
    setObjectName(QStringLiteral("Configuration"));
    setWindowTitle(QStringLiteral("Configuration"));
    setModal(true);
    buildControls();
}

Configuration::~Configuration() = default;

void Configuration::buildControls() {
    Label1 = named(new QLabel(QStringLiteral("AVI Output Path"), this), "Label1");
    Text1 = named(new QLineEdit(this), "Text1");
    Text1->installEventFilter(this);
    Command3 = named(new QPushButton(QStringLiteral("..."), this), "Command3");
    Command3->setToolTip(QStringLiteral("Choose the output directory"));
    Label2 =
        named(new QLabel(QStringLiteral("Send Notification to E-Mail Address"), this), "Label2");
    Text2 = named(new QLineEdit(this), "Text2");
    Label3 = named(new QLabel(QStringLiteral("Outgoing Mail Server (SMTP)"), this), "Label3");
    Text3 = named(new QLineEdit(this), "Text3");
    Label4 =
        named(new QLabel(QStringLiteral("Frames per second (fps) when capturing"), this), "Label4");
    Slider1 = named(new QSlider(Qt::Horizontal, this), "Slider1");
    Slider1->setRange(1, 25);
    Slider1->setPageStep(5);
    SliderHint = named(new QLabel(this), "SliderHint");
    Label5 = named(new QLabel(QStringLiteral("Stop if free space is less than"), this), "Label5");
    Text4 = named(new QLineEdit(this), "Text4");
    Label6 = named(new QLabel(QStringLiteral("MB"), this), "Label6");
    Label7 = named(new QLabel(QStringLiteral("Remote Control Password"), this), "Label7");
    Text5 = named(new QLineEdit(this), "Text5");
    Text5->setEchoMode(QLineEdit::Password);
    Text5->setStyleSheet(QStringLiteral("lineedit-password-character: 35")); // "#"
    Label8 = named(new QLabel(QStringLiteral("Local IP-Address"), this), "Label8");
    Text6 = named(new QLineEdit(this), "Text6");
    Text6->setReadOnly(true);
    Check1 = named(new QCheckBox(QStringLiteral("Enable Notification"), this), "Check1");
    Check2 = named(new QCheckBox(QStringLiteral("Suspend Power Management"), this), "Check2");
    Label9 = named(new QLabel(QStringLiteral("Warning..."), this), "Label9");
    Label9->setWordWrap(true);
    Label10 =
        named(new QLabel(QStringLiteral("Enable Screen Saver when running"), this), "Label10");
    Combo1 = named(new QComboBox(this), "Combo1");
    Command1 = named(new QPushButton(QStringLiteral("&OK"), this), "Command1");
    Command1->setDefault(true);
    Command2 = named(new QPushButton(QStringLiteral("&Cancel"), this), "Command2");
    StatusBar1 = named(new QStatusBar(this), "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusPanel1 = named(new QLabel(this), "StatusPanel1");
    StatusBar1->addWidget(StatusPanel1, 1);

    auto* grid = new QGridLayout;
    int row = 0;
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(Text1, 1);
    pathRow->addWidget(Command3);
    grid->addWidget(Label1, row, 0);
    grid->addLayout(pathRow, row++, 1);
    grid->addWidget(Label2, row, 0);
    grid->addWidget(Text2, row++, 1);
    grid->addWidget(Label3, row, 0);
    grid->addWidget(Text3, row++, 1);
    auto* sliderRow = new QHBoxLayout;
    sliderRow->addWidget(Slider1, 1);
    sliderRow->addWidget(SliderHint);
    grid->addWidget(Label4, row, 0);
    grid->addLayout(sliderRow, row++, 1);
    auto* spaceRow = new QHBoxLayout;
    spaceRow->addWidget(Text4);
    spaceRow->addWidget(Label6);
    spaceRow->addStretch(1);
    grid->addWidget(Label5, row, 0);
    grid->addLayout(spaceRow, row++, 1);
    grid->addWidget(Label7, row, 0);
    grid->addWidget(Text5, row++, 1);
    grid->addWidget(Label8, row, 0);
    grid->addWidget(Text6, row++, 1);
    grid->addWidget(Check1, row++, 0, 1, 2);
    grid->addWidget(Check2, row, 0);
    grid->addWidget(Label9, row++, 1);
    grid->addWidget(Label10, row, 0);
    grid->addWidget(Combo1, row++, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addWidget(StatusBar1);

    connect(Slider1, &QSlider::valueChanged, this, [this] { Slider1_Change(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
}

bool Configuration::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Text1 && event->type() == QEvent::FocusOut)
        Text1_LostFocus();
    return QDialog::eventFilter(watched, event);
}

QString Configuration::freeSpaceText(double megabytes) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return QStringLiteral("Free space on selected drive is ") + locale.toString(megabytes, 'f', 1) +
           QStringLiteral(" MB");
}

double Configuration::numericValue(const QString& text) {
    static const QRegularExpression leadingNumber(
        QStringLiteral("^\\s*([+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?)"));
    const QRegularExpressionMatch match = leadingNumber.match(text);
    if (!match.hasMatch())
        return 0.0;
    const double value = match.captured(1).toDouble();
    return std::isfinite(value) ? value : 0.0;
}

void Configuration::Form_Load() {
    Text1->setText(m.stuff.VidPath);
    Text2->setText(m.stuff.EMail);
    Text3->setText(m.stuff.SMTPServer);

    Slider1->setValue(m.capture.FrameRate());
    // The rate can only change between recordings.
    Slider1->setEnabled(!m.capture.IsCapturing());
    Slider1_Change();

    Text4->setText(QString::number(m.stuff.LowSpace));
    Text5->setText(m.stuff.RemotePassword);
    if (!Text5->text().isEmpty()) {
        Text6->setText(Winsock::LocalIP());
    } else {
        Label8->hide();
        Text6->hide();
    }
    Check1->setChecked(m.stuff.Notify != 0);
    Check2->setChecked(m.stuff.APM != 0);

    const PowerCheck::PowerMessage power = PowerCheck::powerManagementMessage(m.registry);
    Label9->setText(power.text);
    Check2->setEnabled(power.checkEnabled);
    const PowerCheck::SaverList savers =
        PowerCheck::screenSaverList(m.stuff.SystemDirectory(), m.stuff.Saver);
    Combo1->clear();
    Combo1->addItems(savers.entries);
    Combo1->setCurrentIndex(savers.selected);

    StatusPanel1->setText(freeSpaceText(m.stuff.freeDiskSpaceMB(m.stuff.VidPath)));
}

void Configuration::Slider1_Change() {
    const QString hint = fpsHint(Slider1->value());
    Slider1->setToolTip(hint);
    SliderHint->setText(hint);
}

void Configuration::Text1_LostFocus() {
    StatusPanel1->setText(freeSpaceText(m.stuff.freeDiskSpaceMB(Text1->text())));
}

void Configuration::Command3_Click() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, QStringLiteral("AVI Output Path"), Text1->text().trimmed());
    if (chosen.isEmpty())
        return;
    Text1->setText(chosen.endsWith(u'/') ? chosen : chosen + u'/');
    Text1_LostFocus();
}

void Configuration::warn(const QString& text) {
    QMessageBox::warning(this, AppTitle, text, QMessageBox::Ok);
}

void Configuration::Command1_Click() {
    // 1: the output directory must exist (a file passes as well).
    const QString path = Text1->text().trimmed();
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        warn(QStringLiteral("This path does not exist. Please enter a valid output directory."));
        return;
    }
    // 2: less free space than the limit needs a confirmation.
    const double freeMB = m.stuff.freeDiskSpaceMB(Text1->text());
    const double limit = numericValue(Text4->text().trimmed());
    if (freeMB < limit) {
        const auto answer = QMessageBox::warning(
            this, AppTitle,
            QStringLiteral("Warning: There is less diskspace available on the selected drive "
                           "than the ") +
                Text4->text() +
                QStringLiteral(" MB you just entered. The program WILL NOT start capturing under "
                               "these circumstances. Do you really want to continue ?"),
            QMessageBox::Yes | QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }
    // 3 to 9: in force at once.
    m.stuff.VidPath = path;
    m.stuff.EMail = Text2->text().trimmed();
    m.stuff.SMTPServer = Text3->text().trimmed();
    if (!m.capture.IsCapturing())
        m.capture.setFrameRate(Slider1->value());
    if (!m.stuff.VidPath.endsWith(u'/'))
        m.stuff.VidPath += u'/';
    const double rounded = std::nearbyint(numericValue(Text4->text().trimmed()));
    m.stuff.LowSpace =
        std::int32_t(std::clamp<double>(rounded, std::numeric_limits<std::int32_t>::min(),
                                        std::numeric_limits<std::int32_t>::max()));
    m.stuff.RemotePassword = Text5->text();
    m.stuff.Notify = Check1->isChecked() ? 1 : 0;
    m.stuff.APM = Check2->isChecked() ? 1 : 0;
    m.stuff.Saver = Combo1->currentText();
    // 10, 11: the console, then the store.
    if (!applyPassword())
        return;
    store();
    accept();
}

bool Configuration::applyPassword() {
    if (m.stuff.RemotePassword.trimmed().isEmpty()) {
        m.config.save(QStringLiteral("RemotePW"), QString());
        if (m.socket.State() != Winsock::sckClosed)
            m.telnet.Close();
        return true;
    }
    const QString scrambled = PublicStuff::ScramblePassword(m.stuff.RemotePassword);
    if (scrambled.isEmpty()) {
        warn(QStringLiteral("The password contains invalid characters."));
        return false;
    }
    m.config.save(QStringLiteral("RemotePW"), scrambled);
    if (m.socket.State() == Winsock::sckClosed && !m.commandLine.noRemote) {
        m.stuff.WriteTrace(QStringLiteral("Config"), QStringLiteral("Telnet Bind/Listen"));
        m.telnet.BindAndListen();
    }
    return true;
}

void Configuration::store() {
    m.config.save(QStringLiteral("VidPath"), m.stuff.VidPath);
    m.config.save(QStringLiteral("EMail"), m.stuff.EMail);
    m.config.save(QStringLiteral("SMTPServer"), m.stuff.SMTPServer);
    m.config.save(QStringLiteral("CaptureFPS"), QString::number(m.capture.FrameRate()));
    m.config.save(QStringLiteral("LowSpace"), QString::number(m.stuff.LowSpace));
    m.config.save(QStringLiteral("Notify"), QString::number(m.stuff.Notify));
    m.config.save(QStringLiteral("APM"), QString::number(m.stuff.APM));
    m.config.save(QStringLiteral("Saver"), m.stuff.Saver);
}

void Configuration::Command2_Click() {
    reject();
}
