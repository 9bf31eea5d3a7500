// The configuration dialog, opened from the real window's menu under the
// offscreen platform: each check, values in force and stored, the remote
// console opened and closed over real TCP.
#include "CaptureControl.h"
#include "ConfigSection.h"
#include "Form1.h"
#include "ModalDialog.h"
#include "ProgramRun.h"
#include "PublicStuff.h"
#include "SettingsStore.h"
#include "Winsock.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

using Run = ProgramRun;

template <typename T> T* field(QDialog* d, const char* name) {
    T* w = d->findChild<T*>(QLatin1String(name));
    if (w == nullptr)
        qFatal("no control %s", name);
    return w;
}

// Answers the next message box with `press` and keeps what it said.
struct Answer {
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    void arm(QMessageBox::StandardButton press) {
        QTimer::singleShot(20, qApp, [this, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) {
                arm(press);
                return;
            }
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            buttons = box->standardButtons();
            box->button(press)->click();
        });
    }
};

// The console runs in this thread, so the client waits with the event
// loop running instead of blocking it.
bool consoleAnswers(int port) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, quint16(port));
    QByteArray seen;
    for (int waited = 0; waited < 3000 && !seen.contains("Password: "); waited += 10) {
        QTest::qWait(10);
        if (s.state() == QAbstractSocket::UnconnectedState)
            return false;
        seen += s.readAll();
    }
    return seen.contains("Password: ");
}

} // namespace

class tst_Configuration final : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    int m_port = 0;
    std::unique_ptr<Run> m_run;

    QString configPath() const { return m_home.filePath("config/Norvane/Sentorix.conf"); }
    QString stored(const char* key) const {
        return SettingsStore(configPath()).read("CONFIG", QLatin1String(key), "<missing>");
    }
    void start(const QString& commandLine = QString()) {
        m_run.reset();
        m_run = std::make_unique<Run>(configPath(), commandLine);
        m_run->form.Form_Load();
    }
    PublicStuff& stuff() { return m_run->program.stuff(); }
    // Opens the dialog from the menu; `edit` runs while it is open, then it
    // is cancelled unless `edit` closed it.
    void withDialog(std::function<void(QDialog*)> edit) {
        ModalDialog::whenOpen(std::move(edit), false);
        m_run->form.menus().mnuConfig->trigger();
    }
    static void ok(QDialog* d) { field<QPushButton>(d, "Command1")->click(); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        QVERIFY(QDir(m_home.path()).mkpath("temp"));
        QVERIFY(QDir(m_home.path()).mkpath("videos"));
        QVERIFY(QDir(m_home.path()).mkpath("data/sentorix/savers"));
        qputenv("TEMP", QFile::encodeName(m_home.filePath("temp")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath("data")));
        qputenv("SENTORIX_NO_CAMERAS", "1");
        QFile saver(m_home.filePath("data/sentorix/savers/Mystify.scr"));
        QVERIFY(saver.open(QIODevice::WriteOnly));
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        m_port = probe.serverPort();
        qputenv("SENTORIX_TELNET_PORT", QByteArray::number(m_port));
        // No desktop settings tool answers for this test's schema folder.
        qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(m_home.filePath("no-schemas")));
    }
    void init() { QFile::remove(configPath()); }
    void cleanup() { m_run.reset(); }

    void openingShowsTheLiveState() {
        start();
        stuff().EMail = "ann@example.org";
        bool checked = false;
        withDialog([&](QDialog* d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Configuration"));
            QCOMPARE(field<QLineEdit>(d, "Text1")->text(), stuff().VidPath);
            QCOMPARE(field<QLineEdit>(d, "Text2")->text(), QStringLiteral("ann@example.org"));
            QCOMPARE(field<QLineEdit>(d, "Text3")->text(), QStringLiteral("mail.example.com"));
            QCOMPARE(field<QSlider>(d, "Slider1")->value(), 5);
            QCOMPARE(field<QLabel>(d, "SliderHint")->text(), QStringLiteral("5 fps"));
            field<QSlider>(d, "Slider1")->setValue(17);
            QCOMPARE(field<QLabel>(d, "SliderHint")->text(), QStringLiteral("17 fps"));
            QCOMPARE(field<QLineEdit>(d, "Text4")->text(), QStringLiteral("20"));
            QCOMPARE(field<QLineEdit>(d, "Text5")->echoMode(), QLineEdit::Password);
            // No password: no local address.
            QVERIFY(field<QLineEdit>(d, "Text6")->isHidden());
            QVERIFY(field<QLabel>(d, "Label8")->isHidden());
            QVERIFY(field<QCheckBox>(d, "Check1")->isChecked());
            QVERIFY(!field<QCheckBox>(d, "Check2")->isChecked());
            QVERIFY(!field<QCheckBox>(d, "Check2")->isEnabled());
            QCOMPARE(field<QLabel>(d, "Label9")->text(),
                     QStringLiteral("Cannot read Power Management settings."));
            auto* combo = field<QComboBox>(d, "Combo1");
            QCOMPARE(combo->count(), 2);
            QCOMPARE(combo->currentIndex(), 0); // "0" matches no saver
            QCOMPARE(combo->itemText(1), QStringLiteral("Mystify"));
            const QString status = field<QLabel>(d, "StatusPanel1")->text();
            QVERIFY2(status.startsWith("Free space on selected drive is ") &&
                         status.endsWith(" MB"),
                     qPrintable(status));
            // A folder that cannot be queried counts as 0 MB.
            field<QLineEdit>(d, "Text1")->setText(m_home.filePath("no/such/folder"));
            auto* text1 = field<QLineEdit>(d, "Text1");
            text1->setFocus();
            field<QLineEdit>(d, "Text2")->setFocus();
            QCOMPARE(field<QLabel>(d, "StatusPanel1")->text(),
                     QStringLiteral("Free space on selected drive is 0.0 MB"));
            checked = true;
        });
        QVERIFY(checked);
        // Cancel changed nothing.
        QCOMPARE(m_run->program.capture().FrameRate(), 5);
        QCOMPARE(stored("CaptureFPS"), QStringLiteral("<missing>"));
    }

    void okPutsValuesInForceAndStoresThem() {
        start();
        withDialog([&](QDialog* d) {
            // Typed without its closing "/"; blanks around it would make the
            // free-space check look at no folder at all.
            field<QLineEdit>(d, "Text1")->setText(m_home.filePath("videos"));
            field<QLineEdit>(d, "Text2")->setText(" ann@example.org ");
            field<QLineEdit>(d, "Text3")->setText(" smtp://mail.example.org:587 ");
            field<QSlider>(d, "Slider1")->setValue(12);
            field<QLineEdit>(d, "Text4")->setText(" 20.5MB");
            field<QLineEdit>(d, "Text5")->setText("Se3cret");
            field<QCheckBox>(d, "Check1")->setChecked(false);
            field<QComboBox>(d, "Combo1")->setCurrentIndex(1);
            ok(d);
        });
        QCOMPARE(stuff().VidPath, m_home.filePath("videos") + u'/');
        QCOMPARE(stuff().EMail, QStringLiteral("ann@example.org"));
        QCOMPARE(stuff().SMTPServer, QStringLiteral("smtp://mail.example.org:587"));
        QCOMPARE(m_run->program.capture().FrameRate(), 12);
        QCOMPARE(stuff().LowSpace, 20); // 20.5 rounds to the even 20
        QCOMPARE(stuff().Notify, std::uint8_t(0));
        QCOMPARE(stuff().Saver, QStringLiteral("Mystify"));
        QCOMPARE(stored("RemotePW"), PublicStuff::ScramblePassword("Se3cret"));
        QCOMPARE(stored("CaptureFPS"), QStringLiteral("12"));
        QCOMPARE(stored("LowSpace"), QStringLiteral("20"));
        QCOMPARE(stored("Notify"), QStringLiteral("0"));
        QCOMPARE(stored("APM"), QStringLiteral("0"));
        QCOMPARE(stored("Saver"), QStringLiteral("Mystify"));
        // The console opened at once.
        QCOMPARE(m_run->program.winsock().State(), Winsock::sckListening);
        QVERIFY(consoleAnswers(m_port));

        // The next start reads it all back.
        start();
        QCOMPARE(stuff().VidPath, m_home.filePath("videos") + u'/');
        QCOMPARE(stuff().RemotePassword, QStringLiteral("Se3cret"));
        QCOMPARE(m_run->program.capture().FrameRate(), 12);
        QTRY_COMPARE(m_run->program.winsock().State(), Winsock::sckListening);
        bool seen = false;
        withDialog([&](QDialog* d) {
            QVERIFY(field<QLineEdit>(d, "Text6")->isVisibleTo(d));
            QVERIFY(!field<QLineEdit>(d, "Text6")->text().isEmpty());
            QCOMPARE(field<QComboBox>(d, "Combo1")->currentText(), QStringLiteral("Mystify"));
            // Blanks only: no password, and the console closes.
            field<QLineEdit>(d, "Text5")->setText("   ");
            ok(d);
            seen = true;
        });
        QVERIFY(seen);
        QCOMPARE(stored("RemotePW"), QString());
        QCOMPARE(m_run->program.winsock().State(), Winsock::sckClosed);
        QVERIFY(!consoleAnswers(m_port));
    }

    void missingPathIsRefused() {
        start();
        const QString before = stuff().VidPath;
        Answer answer;
        withDialog([&](QDialog* d) {
            field<QLineEdit>(d, "Text1")->setText(m_home.filePath("nowhere"));
            answer.arm(QMessageBox::Ok);
            ok(d);
            QVERIFY(d->isVisible()); // stays open
        });
        QCOMPARE(answer.title, QStringLiteral("Sentorix"));
        QCOMPARE(
            answer.text,
            QStringLiteral("This path does not exist. Please enter a valid output directory."));
        QCOMPARE(answer.icon, QMessageBox::Warning);
        QCOMPARE(answer.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(stuff().VidPath, before);
        QCOMPARE(stored("VidPath"), QStringLiteral("<missing>"));
    }

    void lowSpaceWantsConfirmation() {
        start();
        const QString text = QStringLiteral(
            "Warning: There is less diskspace available on the selected drive than the "
            " 99999999 MB you just entered. The program WILL NOT start capturing under these "
            "circumstances. Do you really want to continue ?");
        Answer no;
        withDialog([&](QDialog* d) {
            field<QLineEdit>(d, "Text1")->setText(m_home.filePath("videos"));
            field<QLineEdit>(d, "Text4")->setText(" 99999999");
            no.arm(QMessageBox::No);
            ok(d);
            QVERIFY(d->isVisible());
        });
        QCOMPARE(no.text, text);
        QCOMPARE(no.icon, QMessageBox::Warning);
        QCOMPARE(no.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(stuff().LowSpace, 20);
        Answer yes;
        withDialog([&](QDialog* d) {
            field<QLineEdit>(d, "Text1")->setText(m_home.filePath("videos"));
            field<QLineEdit>(d, "Text4")->setText(" 99999999");
            yes.arm(QMessageBox::Yes);
            ok(d);
        });
        QCOMPARE(stuff().LowSpace, 99999999);
        QCOMPARE(stored("LowSpace"), QStringLiteral("99999999"));
        // Letters only: limit 0, no question, 0 stored.
        withDialog([&](QDialog* d) {
            field<QLineEdit>(d, "Text4")->setText("abc");
            ok(d);
        });
        QCOMPARE(stuff().LowSpace, 0);
        QCOMPARE(stored("LowSpace"), QStringLiteral("0"));
    }

    // The values before the password are in force, but nothing is stored.
    void invalidPasswordStoresNothing() {
        start();
        Answer answer;
        withDialog([&](QDialog* d) {
            field<QLineEdit>(d, "Text1")->setText(m_home.filePath("videos"));
            field<QLineEdit>(d, "Text2")->setText("bob@example.org");
            field<QLineEdit>(d, "Text5")->setText("ab cd");
            answer.arm(QMessageBox::Ok);
            ok(d);
            QVERIFY(d->isVisible());
        });
        QCOMPARE(answer.text, QStringLiteral("The password contains invalid characters."));
        QCOMPARE(answer.icon, QMessageBox::Warning);
        QCOMPARE(stuff().EMail, QStringLiteral("bob@example.org"));
        QCOMPARE(stored("EMail"), QStringLiteral("<missing>"));
        QCOMPARE(stored("RemotePW"), QStringLiteral("<missing>"));
        QCOMPARE(m_run->program.winsock().State(), Winsock::sckClosed);
    }

    void noRemoteNeverListens() {
        start("/noremote");
        withDialog([&](QDialog* d) {
            field<QLineEdit>(d, "Text1")->setText(m_home.filePath("videos"));
            field<QLineEdit>(d, "Text5")->setText("abc123");
            ok(d);
        });
        QCOMPARE(stored("RemotePW"), PublicStuff::ScramblePassword("abc123"));
        QCOMPARE(m_run->program.winsock().State(), Winsock::sckClosed);
        QVERIFY(!consoleAnswers(m_port));
    }

    // While a recording runs the rate in force stays, whatever the slider.
    void frameRateWaitsForTheRecording() {
        start();
        CaptureControl& capture = m_run->program.capture();
        capture.setCaptureFile(m_home.filePath("videos/running.avi"));
        QVERIFY(capture.StartCapture());
        QTRY_VERIFY(capture.IsCapturing());
        withDialog([&](QDialog* d) {
            QVERIFY(!field<QSlider>(d, "Slider1")->isEnabled());
            field<QSlider>(d, "Slider1")->setValue(20);
            field<QLineEdit>(d, "Text1")->setText(m_home.filePath("videos"));
            ok(d);
        });
        QCOMPARE(capture.FrameRate(), 5);
        QCOMPARE(stored("CaptureFPS"), QStringLiteral("5"));
        capture.StopCapture();
    }
};

QTEST_MAIN(tst_Configuration)
#include "tst_configuration.moc"
