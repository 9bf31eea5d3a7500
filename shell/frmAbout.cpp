#include "frmAbout.h"

#include "ProgramInfo.h"

#include <QGridLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

namespace {

QFont labelFont(int pointSize) {
    QFont font(QStringLiteral("Comic Sans MS"), pointSize);
    font.setStyleHint(QFont::Cursive);
    return font;
}

// A camera: body, lens and the red lamp that shows it records.
QPixmap iconPicture() {
    QPixmap pixmap(48, 48);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2d, 0x3e, 0x50));
    p.drawRoundedRect(QRectF(4, 12, 40, 28), 6, 6);
    p.drawRect(QRectF(16, 7, 16, 6));
    p.setBrush(QColor(0xea, 0xf1, 0xfb));
    p.drawEllipse(QPointF(24, 26), 10, 10);
    p.setBrush(QColor(0x15, 0x65, 0xc0));
    p.drawEllipse(QPointF(24, 26), 6, 6);
    p.setBrush(QColor(0xd3, 0x2f, 0x2f));
    p.drawEllipse(QPointF(38, 17), 2.5, 2.5);
    return pixmap;
}

// A band of watched night sky for the box's side.
QPixmap decorativePicture() {
    QPixmap pixmap(96, 160);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 160);
    sky.setColorAt(0, QColor(0x0d, 0x1b, 0x2a));
    sky.setColorAt(1, QColor(0x41, 0x5a, 0x77));
    p.fillRect(pixmap.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawPolygon(QPolygonF({QPointF(80, 10), QPointF(10, 150), QPointF(60, 150)}));
    p.setBrush(QColor(0xd3, 0x2f, 0x2f));
    p.drawEllipse(QPointF(80, 10), 4, 4);
    return pixmap;
}

} // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent)
    , picIcon(new QLabel(this))
    , picLogo(new QLabel(this))
    , lblTitle(new QLabel(QStringLiteral("Programname"), this))
    , lblVersion(new QLabel(QStringLiteral("Version Number"), this))
    , lblDisclaimer(new QLabel(this))
    , cmdOK(new QPushButton(QStringLiteral("OK"), this)) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picLogo->setObjectName(QStringLiteral("picLogo"));
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));

    picIcon->setPixmap(iconPicture());
    picLogo->setPixmap(decorativePicture());
    lblTitle->setFont(labelFont(16));
    lblVersion->setFont(labelFont(10));
    lblDisclaimer->setFont(labelFont(8));
    lblDisclaimer->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    auto* layout = new QGridLayout(this);
    layout->addWidget(picLogo, 0, 0, 4, 1);
    layout->addWidget(picIcon, 0, 1, Qt::AlignTop);
    layout->addWidget(lblTitle, 0, 2);
    layout->addWidget(lblVersion, 1, 2);
    layout->addWidget(lblDisclaimer, 2, 1, 1, 2);
    layout->addWidget(cmdOK, 3, 2, Qt::AlignRight | Qt::AlignBottom);
    layout->setColumnStretch(2, 1);
    setSizeGripEnabled(false);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    Form_Load();
}

frmAbout::~frmAbout() = default;

QString frmAbout::versionText(int major, int minor, int revision) {
    return QStringLiteral("Revision ") + QString::number(major) + u'.' + QString::number(minor) +
           u'.' + QString::number(revision);
}

QString frmAbout::disclaimerText() {
    const QString crLf = QStringLiteral("\r\n");
    return ProgramInfo::rightsNotice() + crLf + ProgramInfo::webAddress() + crLf +
           ProgramInfo::contactAddress();
}

void frmAbout::Form_Load() {
    lblTitle->setText(ProgramInfo::displayName());
    lblVersion->setText(versionText(ProgramInfo::Major, ProgramInfo::Minor, ProgramInfo::Revision));
    lblDisclaimer->setText(disclaimerText());
}

void frmAbout::cmdOK_Click() {
    accept();
}
