#include "WebAccessDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <utility>

namespace {

template <typename T> T* named(T* object, const char* name) {
    object->setObjectName(QLatin1String(name));
    return object;
}

// Text the user may select and copy, in a fixed-width font so that
// characters can be compared one by one.
QLabel* copyable(const char* name, QWidget* parent) {
    auto* label = named(new QLabel(parent), name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return label;
}

// The 32 pairs of a SHA-256 fingerprint in two rows of 16, as browsers
// tend to show them.
QString inRows(const QString& fingerprint) {
    constexpr qsizetype Row = 16 * 3; // "AB:" a pair
    return fingerprint.size() > Row ? fingerprint.left(Row - 1) + u'\n' + fingerprint.mid(Row)
                                    : fingerprint;
}

} // namespace

WebAccessDialog::WebAccessDialog(const WebAccess& access, Apply apply, QWidget* parent)
    : QDialog(parent)
    , m_apply(std::move(apply))
    , m_portOverride(access.portOverride)
    , m_password(named(new QLineEdit(this), "Password"))
    , m_passwordNote(named(new QLabel(this), "PasswordNote"))
    , m_port(named(new QSpinBox(this), "Port"))
    , m_portNote(named(new QLabel(this), "PortNote"))
    , m_addresses(copyable("Addresses", this))
    , m_fingerprint(copyable("Fingerprint", this))
    , m_status(named(new QLabel(this), "Status"))
    , m_buttons(named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this),
                      "Buttons")) {
    setObjectName(QStringLiteral("WebAccessDialog"));
    setWindowTitle(QStringLiteral("Web Access"));
    setModal(true);
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setPlaceholderText(QStringLiteral("empty: no web page"));
    m_passwordNote->setWordWrap(true);
    m_port->setRange(1, 65535);
    m_portNote->setWordWrap(true);
    m_status->setWordWrap(true);
    m_buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OK"));
    m_buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("Cancel"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Password"), m_password);
    form->addRow(m_passwordNote);
    form->addRow(QStringLiteral("P&ort"), m_port);
    form->addRow(m_portNote);
    form->addRow(QStringLiteral("Open on the phone"), m_addresses);
    form->addRow(QStringLiteral("Certificate SHA-256"), m_fingerprint);
    form->addRow(QStringLiteral("Now"), m_status);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_buttons);

    showState(access);
    m_password->setText(access.password);
    m_port->setValue(access.port);
    passwordEdited();
    showAddresses();
    connect(m_password, &QLineEdit::textChanged, this, &WebAccessDialog::passwordEdited);
    connect(m_port, &QSpinBox::valueChanged, this, &WebAccessDialog::showAddresses);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &WebAccessDialog::ok);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

WebAccessDialog::~WebAccessDialog() = default;

void WebAccessDialog::showState(const WebAccess& access) {
    m_portOverride = access.portOverride;
    m_portNote->setVisible(access.portOverride > 0);
    m_portNote->setText(
        QStringLiteral("SENTORIX_WEB_PORT is set: the page is served on port %1 instead.")
            .arg(access.portOverride));
    m_fingerprint->setText(access.fingerprint.isEmpty()
                               ? QStringLiteral("made when the page is first served")
                               : inRows(access.fingerprint));
    m_status->setText(access.status);
}

void WebAccessDialog::showAddresses() {
    const QStringList addresses =
        WebAccess::addresses(m_portOverride > 0 ? m_portOverride : m_port->value());
    m_addresses->setText(addresses.isEmpty()
                             ? QStringLiteral("This machine has no network address.")
                             : addresses.join(u'\n'));
}

void WebAccessDialog::passwordEdited() {
    // The stored form keeps letters and digits only; the others would be
    // lost, and with them the password.
    const bool storable = WebAccess::storable(m_password->text());
    m_passwordNote->setText(storable
                                ? QString()
                                : QStringLiteral("Only letters and digits can be stored in "
                                                 "the password; remove the other characters."));
    m_passwordNote->setVisible(!storable);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(storable);
}

void WebAccessDialog::ok() {
    if (!WebAccess::storable(m_password->text()))
        return;
    const WebAccess now = m_apply(m_password->text(), m_port->value());
    showState(now);
    if (!now.failed)
        accept();
}
