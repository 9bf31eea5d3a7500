#pragma once

#include "CommandLine.h"

#include <QDialog>

class CaptureControl;
class ConfigSection;
class PublicStuff;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QStatusBar;
class RegistryView;
class TelnetConsole;
class Winsock;

// The general settings, edited on the live state: the fields are filled
// from the running program, OK checks them, puts them in force at once,
// opens or closes the remote console and stores every value.
class Configuration final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Configuration)

public:
    // What the dialog reads and changes.
    struct Program {
        PublicStuff& stuff;
        CaptureControl& capture;
        Winsock& socket;
        TelnetConsole& telnet;
        ConfigSection& config;
        CommandLine commandLine;
        const RegistryView& registry;
    };

    explicit Configuration(Program program, QWidget* parent = nullptr);
    ~Configuration() override;

    // Fills the fields; runs when the dialog opens.
    void Form_Load();
    void Slider1_Change();
    void Text1_LostFocus();
    void Command1_Click();
    void Command2_Click();
    // Beside Text1: choose the output directory in the folder chooser.
    void Command3_Click();

    // The leading number of a text with "." as the decimal point, 0 when
    // it starts with none ("12abc" is 12, "abc" is 0).
    static double numericValue(const QString& text);
    static QString freeSpaceText(double megabytes);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    bool applyPassword();
    void store();
    void warn(const QString& text);

    Program m;
    QLabel* Label1;
    QLineEdit* Text1;
    QPushButton* Command3;
    QLabel* Label2;
    QLineEdit* Text2;
    QLabel* Label3;
    QLineEdit* Text3;
    QLabel* Label4;
    QSlider* Slider1;
    QLabel* SliderHint;
    QLabel* Label5;
    QLineEdit* Text4;
    QLabel* Label6;
    QLabel* Label7;
    QLineEdit* Text5;
    QLabel* Label8;
    QLineEdit* Text6;
    QCheckBox* Check1;
    QCheckBox* Check2;
    QLabel* Label9;
    QLabel* Label10;
    QComboBox* Combo1;
    QStatusBar* StatusBar1;
    QLabel* StatusPanel1;
    QPushButton* Command1;
    QPushButton* Command2;
};
