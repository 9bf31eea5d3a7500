// The configuration dialog, opened from the real window's menu: values in
// force and stored, the questions it asks, the console opened and closed
// over real TCP, the power message from the desktop's real settings tool
// and the savers of a real folder; and the power message of other records.
#include "CaptureControl.h"
#include "ModalDialog.h"
#include "PowerCheck.h"
#include "PowerScheme.h"
#include "ProgramRun.h"
#include "RegistryView.h"
#include "SettingsStore.h"
#include "WaitBound.h"
#include "Winsock.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>

namespace {

template <typename T> T* field(QDialog* d, const char* name) {
    if (T* w = d->findChild<T*>(QLatin1String(name)))
        return w;
    qFatal("no control %s", name);
}

// Fills text fields from "name=text" lines, then presses OK.
void fillAndOk(QDialog* d, const QStringList& edits) {
    for (const QString& edit : edits)
        field<QLineEdit>(d, qPrintable(edit.section(u'=', 0, 0)))->setText(edit.section(u'=', 1));
    field<QPushButton>(d, "Command1")->click();
}

// The values the dialog shows, hidden controls marked "^", disabled ones
// "~", a password field "*".
QString shown(QDialog* d) {
    QStringList state;
    static const QRegularExpression values("^(Text|Slider|Check|Combo|Label[89]$|StatusPanel)");
    for (QWidget* w : d->findChildren<QWidget*>(values)) {
        QVariant value;
        for (const char* property : {"currentText", "checked", "value", "text"})
            if ((value = w->property(property)).isValid())
                break;
        if (w->property("count").isValid())
            value = value.toString() + '/' + w->property("count").toString();
        state << w->objectName() + '=' + value.toString() +
                     (w->property("echoMode").toInt() == QLineEdit::Password ? "*" : "") +
                     (w->isVisibleTo(d) ? "" : "^") + (w->isEnabled() ? "" : "~");
    }
    return state.join(u'|');
}

} // namespace

class tst_Configuration final : public QObject {
    Q_OBJECT

    ProgramHome m_home;
    std::unique_ptr<ProgramRun> m_run;

    void start(const QString& commandLine = QString()) {
        m_run.reset();
        m_run = ProgramRun::start(m_home, commandLine);
    }
    PublicStuff& stuff() { return m_run->program.stuff(); }
    // Opens the dialog from the menu; `edit` runs while it is open, then it
    // is cancelled unless `edit` closed it.
    void withDialog(std::function<void(QDialog*)> edit) {
        bool ran = false;
        ModalDialog::whenOpen(
            [&](QDialog* d) {
                edit(d);
                ran = true;
            },
            false);
        m_run->form.menus().mnuConfig->trigger();
        QVERIFY(ran);
    }
    int console() { return m_run->program.winsock().State(); }
    // One key of the desktop's power settings.
    static int setPower(const char* key, const char* value) {
        return QProcess::execute("gsettings",
                                 {"set", "org.gnome.settings-daemon.plugins.power", key, value});
    }

private Q_SLOTS:
    // Savers: two, a folder, a bare extension and a text file; the
    // desktop's settings tool with a private schema and key file, as a GNOME
    // session keeps them.
    void initTestCase() {
        QVERIFY(m_home.isValid());
        const QString savers = m_home.path("data/sentorix/savers/");
        QVERIFY(QDir().mkpath(savers + "folder.scr"));
        for (const char* name : {"Mystify.scr", "aurora.SCR", ".scr", "notes.txt"})
            QVERIFY(QFile(savers + QLatin1String(name)).open(QIODevice::WriteOnly));
        const QString schemas = m_home.path("schemas");
        QVERIFY(QDir().mkpath(schemas) &&
                QFile::copy(QStringLiteral(SENTORIX_POWER_SCHEMA),
                            schemas + "/org.gnome.settings-daemon.plugins.power.gschema.xml"));
        QCOMPARE(QProcess::execute("glib-compile-schemas", {schemas}), 0);
        qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(schemas));
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path("gsettings")));
    }
    void init() { m_home.clear(); }
    void cleanup() { m_run.reset(); }

    // Opened, it shows the values in force and the desktop's standby time
    // as it is then; OK puts the entries in force and stores them, opening
    // the console at once; a blank password closes it.
    void valuesInForceAndStored() {
        start();
        stuff().EMail = "ann@example.org";
        stuff().VidPath = m_home.videos(); // a folder with free space
        const QString warning = "WARNING: Windows standby mode is activated after";
        withDialog([&](QDialog* d) {
            QCOMPARE(shown(d).replace(QRegularExpression(" is [0-9.]+ MB$"), " is N MB"),
                     "Text1=" + stuff().VidPath +
                         "|Text2=ann@example.org|Text3=mail.example.com|Slider1=5|SliderHint=5 "
                         "fps|Text4=20|Text5=*|Label8=Local IP-Address^|Text6=^|Check1=true|"
                         "Check2=false|Label9=" +
                         warning +
                         " 20 minute(s).|Combo1=--- Do not enable a screen saver ---/3|"
                         "StatusPanel1=Free space on selected drive is N MB");
            field<QSlider>(d, "Slider1")->setValue(17);
            // A folder that cannot be queried counts as 0 MB.
            field<QLineEdit>(d, "Text1")->setText(m_home.path("no/such/folder"));
            QFocusEvent leave(QEvent::FocusOut);
            QCoreApplication::sendEvent(field<QLineEdit>(d, "Text1"), &leave);
            QVERIFY(shown(d).endsWith("|StatusPanel1=Free space on selected drive is 0.0 MB"));
        });
        QCOMPARE(m_home.stored("CaptureFPS") + // Cancel changed nothing
                     QString::number(m_run->program.capture().FrameRate()),
                 "<missing>5");
        QCOMPARE(setPower("sleep-inactive-ac-timeout", "5400"), 0);
        withDialog([&](QDialog* d) {
            QVERIFY(shown(d).contains("Check2=false|Label9=" + warning + " 1.5 hour(s)."));
            field<QSlider>(d, "Slider1")->setValue(12);
            field<QCheckBox>(d, "Check1")->setChecked(false);
            field<QCheckBox>(d, "Check2")->setChecked(true);
            auto* savers = field<QComboBox>(d, "Combo1");
            savers->setCurrentIndex(savers->findText("Mystify"));
            // Typed without its closing "/"; blanks around the rest go; 20.5
            // rounds to the even 20.
            fillAndOk(d, {"Text1=" + m_home.path("videos"), "Text2= ann@example.org ",
                          "Text3= smtp://mail.example.org:587 ", "Text4= 20.5MB", "Text5=Se3cret"});
        });
        QCOMPARE(QStringList({stuff().VidPath, stuff().EMail, stuff().SMTPServer, stuff().Saver})
                         .join(u'|') +
                     QString::asprintf("|%d|%d", stuff().LowSpace, stuff().Notify),
                 m_home.videos() + "|ann@example.org|smtp://mail.example.org:587|Mystify|20|0");
        QCOMPARE(m_home.stored("RemotePW|CaptureFPS|LowSpace|Notify|APM|Saver|VidPath"),
                 PublicStuff::ScramblePassword("Se3cret") + "|12|20|0|1|Mystify|" +
                     m_home.videos());
        QCOMPARE(console(), Winsock::sckListening);
        QCOMPARE(setPower("sleep-inactive-ac-type", "'nothing'"), 0);
        withDialog([&](QDialog* d) {
            // The address shows while a password is set.
            QVERIFY2(QRegularExpression(
                         "\\|Text6=[0-9a-f.:]+\\|.*\\|Check2=true~\\|Label9=You have "
                         "already disabled the Windows standby mode.\\|Combo1=Mystify/3\\|")
                         .match(shown(d))
                         .hasMatch(),
                     qPrintable(shown(d)));
            fillAndOk(d, {"Text5=   "}); // blanks only: no password
        });
        QCOMPARE(m_home.stored("RemotePW"), QString());
        QCOMPARE(console(), Winsock::sckClosed);
    }

    // Entries that are refused or asked about, one after another: the
    // values before a refused one are in force (and shown the next time),
    // but nothing is stored until an entry passes. With /noremote the
    // console never opens; while a recording runs the rate in force stays;
    // without the schema nothing is known of the desktop's standby.
    void refusedOrAsked() {
        const QByteArray schemas = qgetenv("GSETTINGS_SCHEMA_DIR");
        qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(m_home.path("nowhere")));
        start("/noremote");
        CaptureControl& capture = m_run->program.capture();
        capture.setCaptureFile(m_home.path("videos/running.avi"));
        QVERIFY(capture.StartCapture());
        QTRY_VERIFY_WITH_TIMEOUT(capture.IsCapturing(), TestData::Bound);
        const QString none = "<missing>|<missing>|<missing>", refused = "Sentorix|%1|2|1024",
                      lowSpace = "Sentorix|Warning: There is less diskspace available on the "
                                 "selected drive than the  99999999 MB you just entered. The "
                                 "program WILL NOT start capturing under these circumstances. Do "
                                 "you really want to continue ?|2|81920";
        const QString stored = PublicStuff::ScramblePassword("abc123");
        using Row = std::tuple<QStringList, QMessageBox::StandardButton, QString, QString>;
        for (const auto& [edits, press, box, storedAfter] : std::initializer_list<Row>{
                 {{"Text1=%h/nowhere"},
                  QMessageBox::Ok,
                  refused.arg("This path does not exist. Please enter a valid output directory."),
                  none},
                 {{"Text4= 99999999"}, QMessageBox::No, lowSpace, none},
                 {{"Text2=bob@example.org", "Text5=ab cd"},
                  QMessageBox::Ok,
                  refused.arg("The password contains invalid characters."),
                  none},
                 {{"Text4= 99999999", "Text5=abc123"},
                  QMessageBox::Yes,
                  lowSpace,
                  "99999999|bob@example.org|" + stored},
                 // Letters only: no limit, no question.
                 {{"Text4=abc"}, QMessageBox::NoButton, "||0|0", "0|bob@example.org|" + stored}}) {
            ModalDialog::Box seen;
            bool stayedOpen = false;
            withDialog([&](QDialog* d) {
                QVERIFY(shown(d).contains("|Slider1=5~|SliderHint=5 fps|") &&
                        shown(d).contains("|Label9=Cannot read Power Management settings.|"));
                field<QSlider>(d, "Slider1")->setValue(20);
                if (press != QMessageBox::NoButton)
                    ModalDialog::answerBox(seen, press);
                fillAndOk(
                    d,
                    (QStringList{"Text1=%h/videos"} + edits).replaceInStrings("%h", m_home.root()));
                stayedOpen = d->isVisible();
            });
            QCOMPARE(seen.line(), box);
            QCOMPARE(stayedOpen, storedAfter == none);
            QCOMPARE(m_home.stored("LowSpace|EMail|RemotePW"), storedAfter);
        }
        qputenv("GSETTINGS_SCHEMA_DIR", schemas);
        QCOMPARE(m_home.stored("CaptureFPS") + QString::number(capture.FrameRate()), "55");
        QCOMPARE(console(), Winsock::sckClosed);
        capture.StopCapture();
    }

    // Section DETECTION as start-up finds it, junk and all: the masks that
    // make sense, and an own threshold in force over the stored sensitivity
    // ("&Low", 6 %) that start-up leaves stored. New areas are stored with
    // the entries past them emptied; a sensitivity chosen from the menu
    // puts its preset back and stores 0.
    void detectionAreasAndOwnThreshold() {
        SettingsStore store(m_home.configPath());
        for (const auto& [threshold, inForce] : {std::pair<QString, float>{"junk", 6.0F},
                                                 {"-3", 6.0F},
                                                 {"nan", 6.0F},
                                                 {"1e30", 100.0F},
                                                 {" 2.5", 2.5F}}) {
            m_run.reset();
            m_home.clear();
            QVERIFY(m_home.store({"Sensitivity=4"}) &&
                    store.write("DETECTION", "Threshold", threshold) &&
                    store.write("DETECTION", "Mask1", " 10, 20.5,30,40 ") &&
                    store.write("DETECTION", "Mask2", "5,5,-1,10") &&
                    store.write("DETECTION", "Mask3", "90,90,50,50") &&
                    store.write("DETECTION", "Mask4", "1,2,3") &&
                    store.write("DETECTION", "Mask6", "0,0,100,100"));
            start();
            QCOMPARE(stuff().Threshold, inForce);
            QCOMPARE(store.read("DETECTION", "Threshold", "<missing>"), threshold);
        }
        QCOMPARE(stuff().Masks, QList<QRectF>({QRectF(10, 20.5, 30, 40), QRectF(90, 90, 10, 10)}));
        m_run->program.setDetectionAreas({QRectF(0, 0, 100, 100), QRectF(1, 2, -3, 4)}, 1.7F);
        QCOMPARE(stuff().Masks, QList<QRectF>({QRectF(0, 0, 100, 100)}));
        QCOMPARE(stuff().Threshold, 1.7F);
        QStringList stored;
        for (const char* key : {"Mask1", "Mask2", "Mask3", "Mask4", "Mask6", "Threshold"})
            stored << store.read("DETECTION", key, "<missing>");
        QCOMPARE(stored.join(u'|'), "0,0,100,100||||0,0,100,100|1.7"); // Mask6 is past the end
        m_run->program.setSensitivity(2);
        QCOMPARE(QList<float>({stuff().Threshold, stuff().OwnThreshold}),
                 QList<float>({2.0F, 0.0F}));
        QCOMPARE(store.read("DETECTION", "Threshold", "<missing>"), "0");
    }

    // The message for other times in the desktop's scheme, and for a record
    // of scheme "3" that is too short: the last byte of a binary value is
    // not read, so 30 bytes are too few.
    void powerMessage() {
        QStringList texts;
        for (const std::uint32_t seconds : {30U, 3599U, 3600U, 100000U}) {
            RegistryView view;
            PowerScheme::present(view, seconds);
            texts << PowerCheck::powerManagementMessage(view).text.section(u' ', -2);
        }
        RegistryView view;
        view.setString(RegistryView::CurrentUser, "Control Panel\\PowerCfg", "CurrentPowerPolicy",
                       "3");
        view.setValue(RegistryView::CurrentUser, "Control Panel\\PowerCfg\\PowerPolicies\\3",
                      "Policies", {RegistryView::TypeBinary, QByteArray(30, '\x10')});
        texts << PowerCheck::powerManagementMessage(view).text;
        QCOMPARE(texts, QStringList({".5 minute(s).", "59.9833333333333 minute(s).", "1 hour(s).",
                                     "18.2041666666667 hour(s).",
                                     "Cannot read Power Management settings."}));
    }
};

QTEST_MAIN(tst_Configuration)
#include "tst_configuration.moc"
