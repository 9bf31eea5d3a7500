#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

// The about box: the program's icon, name, version and the maker's lines.
// It exists only while it is shown.
class frmAbout final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmAbout)

public:
    explicit frmAbout(QWidget* parent = nullptr);
    ~frmAbout() override;

    // "Revision 1.0.18" for version 1.00.0018.
    static QString versionText(int major, int minor, int revision);
    // The maker's rights notice, web address and contact address, one a line.
    static QString disclaimerText();

    void cmdOK_Click();

    QLabel* const picIcon;
    QLabel* const picLogo;
    QLabel* const lblTitle;
    QLabel* const lblVersion;
    QLabel* const lblDisclaimer;
    QPushButton* const cmdOK;

private:
    void Form_Load();
};
