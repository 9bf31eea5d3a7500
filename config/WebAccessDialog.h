#pragma once

#include "WebAccess.h"

#include <QDialog>

#include <functional>

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// The web page's password and port, with what a phone needs to reach it:
// the addresses to open and the certificate's fingerprint to compare, and
// whether the page is served. OK hands the two values to `apply`, which
// puts them in force and stores them; the dialog closes when the page is
// then as asked for, and otherwise stays open with the reason.
class WebAccessDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WebAccessDialog)

public:
    using Apply = std::function<WebAccess(const QString& password, int port)>;

    WebAccessDialog(const WebAccess& access, Apply apply, QWidget* parent = nullptr);
    ~WebAccessDialog() override;

private:
    void showState(const WebAccess& access);
    void showAddresses();
    void passwordEdited();
    void ok();

    const Apply m_apply;
    int m_portOverride = 0;
    QLineEdit* const m_password;
    QLabel* const m_passwordNote;
    QSpinBox* const m_port;
    QLabel* const m_portNote;
    QLabel* const m_addresses;
    QLabel* const m_fingerprint;
    QLabel* const m_status;
    QDialogButtonBox* const m_buttons;
};
