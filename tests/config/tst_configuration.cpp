// The configuration dialog, opened from the real window's menu: values in
// force and stored, the questions it asks, the console opened and closed
// over real TCP; and the power message and saver list it shows, from
// registry values, the desktop's real settings tool and a real folder.
#include "CaptureControl.h"
#include "ModalDialog.h"
#include "PowerCheck.h"
#include "PowerScheme.h"
#include "ProgramRun.h"
#include "RegistryView.h"
#include "Winsock.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>

namespace {

template <typename T> T* field(QDialog* d, const char* name) {
    T* w = d->findChild<T*>(QLatin1String(name));
    if (w == nullptr)
        qFatal("no control %s", name);
    return w;
}

// Fills text fields from "name=text" lines, then presses OK.
void fillAndOk(QDialog* d, const QStringList& edits) {
    for (const QString& edit : edits)
        field<QLineEdit>(d, qPrintable(edit.section(u'=', 0, 0)))->setText(edit.section(u'=', 1));
    field<QPushButton>(d, "Command1")->click();
}

// What the dialog shows, hidden controls marked "^", disabled ones "~".
QString shown(QDialog* d) {
    QStringList state{d->windowTitle()};
    for (QWidget* w : d->findChildren<QWidget*>()) {
        QString value;
        if (auto* e = qobject_cast<QLineEdit*>(w))
            value = e->echoMode() == QLineEdit::Password ? "***" + e->text() : e->text();
        else if (auto* s = qobject_cast<QSlider*>(w))
            value = QString::number(s->value());
        else if (auto* c = qobject_cast<QCheckBox*>(w))
            value = c->isChecked() ? "on" : "off";
        else if (auto* c = qobject_cast<QComboBox*>(w))
            value = QString::number(c->currentIndex()) + ':' + c->itemText(c->count() - 1);
        else if (auto* l = qobject_cast<QLabel*>(w); l && !w->objectName().isEmpty())
            value = l->text();
        else
            continue;
        state << w->objectName() + '=' + value + (w->isVisibleTo(d) ? "" : "^") +
                     (w->isEnabled() ? "" : "~");
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
    // The console runs in this thread: the client waits with the loop running.
    bool consoleAnswers() {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, quint16(m_home.telnetPort));
        return s.waitForConnected(3000) &&
               QTest::qWaitFor([&] { return s.peek(1 << 12).endsWith("Password: "); }, 3000);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        QVERIFY(QDir().mkpath(m_home.path("data/sentorix/savers")));
        QFile saver(m_home.path("data/sentorix/savers/Mystify.scr"));
        QVERIFY(saver.open(QIODevice::WriteOnly));
        // No desktop settings tool answers for this test's schema folder.
        qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(m_home.path("no-schemas")));
    }
    void init() { m_home.clear(); }
    void cleanup() { m_run.reset(); }

    // Opened, it shows the values in force; OK puts the entries in force
    // and stores them, opening the console at once; the next start reads
    // them back; a blank password closes the console; with /noremote it
    // never opens.
    void valuesInForceAndStored() {
        start();
        stuff().EMail = "ann@example.org";
        withDialog([&](QDialog* d) {
            QCOMPARE(shown(d).replace(QRegularExpression(" is [0-9.]+ MB$"), " is N MB"),
                     "Configuration|Label1=AVI Output Path|Text1=" + stuff().VidPath +
                         "|Label2=Send Notification to E-Mail Address|Text2=ann@example.org|"
                         "Label3=Outgoing Mail Server (SMTP)|Text3=mail.example.com|"
                         "Label4=Frames per second (fps) when capturing|Slider1=5|"
                         "SliderHint=5 fps|Label5=Stop if free space is less than|Text4=20|"
                         "Label6=MB|Label7=Remote Control Password|Text5=***|"
                         "Label8=Local IP-Address^|Text6=^|Check1=on|Check2=off~|"
                         "Label9=Cannot read Power Management settings.|"
                         "Label10=Enable Screen Saver when running|Combo1=0:Mystify|"
                         "StatusPanel1=Free space on selected drive is N MB");
            field<QSlider>(d, "Slider1")->setValue(17);
            QCOMPARE(field<QLabel>(d, "SliderHint")->text(), QStringLiteral("17 fps"));
            // A folder that cannot be queried counts as 0 MB.
            field<QLineEdit>(d, "Text1")->setText(m_home.path("no/such/folder"));
            field<QLineEdit>(d, "Text1")->setFocus();
            field<QLineEdit>(d, "Text2")->setFocus();
            QVERIFY(shown(d).endsWith("|StatusPanel1=Free space on selected drive is 0.0 MB"));
        });
        QCOMPARE(m_run->program.capture().FrameRate(), 5); // Cancel changed nothing
        QCOMPARE(m_home.stored("CaptureFPS"), QStringLiteral("<missing>"));
        withDialog([&](QDialog* d) {
            field<QSlider>(d, "Slider1")->setValue(12);
            field<QCheckBox>(d, "Check1")->setChecked(false);
            field<QComboBox>(d, "Combo1")->setCurrentIndex(1);
            // Typed without its closing "/"; blanks around the rest go; 20.5
            // rounds to the even 20.
            fillAndOk(d, {"Text1=" + m_home.path("videos"), "Text2= ann@example.org ",
                          "Text3= smtp://mail.example.org:587 ", "Text4= 20.5MB", "Text5=Se3cret"});
        });
        QCOMPARE(QStringList({stuff().VidPath, stuff().EMail, stuff().SMTPServer, stuff().Saver})
                         .join(u'|') +
                     QString::asprintf("|%d|%d", stuff().LowSpace, stuff().Notify),
                 m_home.videos() + "|ann@example.org|smtp://mail.example.org:587|Mystify|20|0");
        QCOMPARE(m_home.stored("RemotePW|CaptureFPS|LowSpace|Notify|APM|Saver"),
                 PublicStuff::ScramblePassword("Se3cret") + "|12|20|0|0|Mystify");
        QVERIFY(consoleAnswers());

        start();
        QCOMPARE(stuff().VidPath + stuff().RemotePassword +
                     QString::number(m_run->program.capture().FrameRate()),
                 m_home.videos() + "Se3cret12");
        QTRY_COMPARE(m_run->program.winsock().State(), Winsock::sckListening);
        withDialog([&](QDialog* d) {
            QVERIFY(field<QLineEdit>(d, "Text6")->isVisibleTo(d));
            QVERIFY(!field<QLineEdit>(d, "Text6")->text().isEmpty());
            QCOMPARE(field<QComboBox>(d, "Combo1")->currentText(), QStringLiteral("Mystify"));
            fillAndOk(d, {"Text5=   "}); // blanks only: no password
        });
        QCOMPARE(m_home.stored("RemotePW"), QString());
        QCOMPARE(m_run->program.winsock().State(), Winsock::sckClosed);
        QVERIFY(!consoleAnswers());

        start("/noremote");
        withDialog([&](QDialog* d) { fillAndOk(d, {"Text5=abc123"}); });
        QCOMPARE(m_home.stored("RemotePW"), PublicStuff::ScramblePassword("abc123"));
        QCOMPARE(m_run->program.winsock().State(), Winsock::sckClosed);
        QVERIFY(!consoleAnswers());
    }

    // Entries that are refused or asked about; the values before the
    // refused one are in force, but nothing is stored.
    void refusedOrAsked_data() {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<int>("press");
        QTest::addColumn<QString>("box");         // title|text|icon|buttons
        QTest::addColumn<QString>("storedAfter"); // LowSpace|EMail|RemotePW
        const QString none = "<missing>|<missing>|<missing>";
        const QString lowSpace =
            "Sentorix|Warning: There is less diskspace available on the selected drive than the "
            " 99999999 MB you just entered. The program WILL NOT start capturing under these "
            "circumstances. Do you really want to continue ?|2|81920";
        QTest::newRow("missing path")
            << QStringList{"Text1=%h/nowhere"} << int(QMessageBox::Ok)
            << "Sentorix|This path does not exist. Please enter a valid output directory.|2|1024"
            << none;
        QTest::newRow("low space, no")
            << QStringList{"Text4= 99999999"} << int(QMessageBox::No) << lowSpace << none;
        QTest::newRow("low space, yes")
            << QStringList{"Text4= 99999999"} << int(QMessageBox::Yes) << lowSpace << "99999999||";
        QTest::newRow("letters only: no limit, no question")
            << QStringList{"Text4=abc"} << 0 << "||0|0"
            << "0||";
        QTest::newRow("invalid password")
            << QStringList{"Text2=bob@example.org", "Text5=ab cd"} << int(QMessageBox::Ok)
            << "Sentorix|The password contains invalid characters.|2|1024" << none;
    }
    void refusedOrAsked() {
        QFETCH(QStringList, edits);
        QFETCH(int, press);
        QFETCH(QString, storedAfter);
        start();
        ModalDialog::Box box;
        bool stayedOpen = false;
        withDialog([&](QDialog* d) {
            if (press != 0)
                ModalDialog::answerBox(box, QMessageBox::StandardButton(press));
            fillAndOk(
                d, (QStringList{"Text1=%h/videos"} + edits).replaceInStrings("%h", m_home.root()));
            stayedOpen = d->isVisible();
        });
        QTEST(box.line(), "box");
        QCOMPARE(stayedOpen, storedAfter.startsWith("<missing>"));
        QCOMPARE(m_home.stored("LowSpace|EMail|RemotePW"), storedAfter);
        if (edits.size() == 2)
            QCOMPARE(stuff().EMail, QStringLiteral("bob@example.org"));
        QCOMPARE(m_run->program.winsock().State(), Winsock::sckClosed);
    }

    // While a recording runs the rate in force stays, whatever the slider.
    void frameRateWaitsForTheRecording() {
        start();
        CaptureControl& capture = m_run->program.capture();
        capture.setCaptureFile(m_home.path("videos/running.avi"));
        QVERIFY(capture.StartCapture());
        QTRY_VERIFY(capture.IsCapturing());
        withDialog([&](QDialog* d) {
            QVERIFY(!field<QSlider>(d, "Slider1")->isEnabled());
            field<QSlider>(d, "Slider1")->setValue(20);
            fillAndOk(d, {"Text1=" + m_home.path("videos")});
        });
        QCOMPARE(capture.FrameRate(), 5);
        QCOMPARE(m_home.stored("CaptureFPS"), QStringLiteral("5"));
        capture.StopCapture();
    }

    // Rows: seconds in the desktop's scheme (-1: the record instead), the
    // record of scheme "3" (null: no scheme at all), the message.
    void powerMessage() {
        const QString cannot = QStringLiteral("Cannot read Power Management settings.");
        const QString warning = QStringLiteral("WARNING: Windows standby mode is activated after");
        for (const auto& [seconds, record, text] :
             std::initializer_list<std::tuple<int, QByteArray, QString>>{
                 {-1, QByteArray(), cannot},
                 // The last byte of a binary value is not read: 30 bytes are too few.
                 {-1, QByteArray(30, '\x10'), cannot},
                 {-1, QByteArray(28, '\xff') + "\x08\x07\xff\xff", warning + " 30 minute(s)."},
                 {0, QByteArray(), "You have already disabled the Windows standby mode."},
                 {30, QByteArray(), warning + " .5 minute(s)."},
                 {3599, QByteArray(), warning + " 59.9833333333333 minute(s)."},
                 {3600, QByteArray(), warning + " 1 hour(s)."},
                 {4000, QByteArray(), warning + " 1.11111111111111 hour(s)."},
                 {100000, QByteArray(), warning + " 18.2041666666667 hour(s)."}}) {
            RegistryView view;
            if (seconds >= 0)
                PowerScheme::present(view, std::uint32_t(seconds));
            if (!record.isNull()) {
                view.setString(RegistryView::CurrentUser, "Control Panel\\PowerCfg",
                               "CurrentPowerPolicy", "3");
                view.setValue(RegistryView::CurrentUser,
                              "Control Panel\\PowerCfg\\PowerPolicies\\3", "Policies",
                              {RegistryView::TypeBinary, record});
            }
            const PowerCheck::PowerMessage m = PowerCheck::powerManagementMessage(view);
            QCOMPARE(m.text, text);
            QCOMPARE(m.checkEnabled, text.startsWith(warning));
        }
    }

    // The desktop's settings tool with a private schema and key file, as a
    // GNOME session keeps them.
    void desktopSettingIsRead() {
        const QString compiler = QStandardPaths::findExecutable("glib-compile-schemas");
        if (compiler.isEmpty() || QStandardPaths::findExecutable("gsettings").isEmpty())
            QSKIP("the GLib settings tools are not installed");
        const QString schemas = m_home.path("schemas");
        QVERIFY(QDir().mkpath(schemas));
        QVERIFY(QFile::copy(QStringLiteral(SENTORIX_POWER_SCHEMA),
                            schemas + "/org.gnome.settings-daemon.plugins.power.gschema.xml"));
        QCOMPARE(QProcess::execute(compiler, {schemas}), 0);
        qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(schemas));
        qputenv("GSETTINGS_BACKEND", "keyfile");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.path("gsettings")));
        const auto set = [](const char* key, const char* value) {
            return QProcess::execute(
                "gsettings", {"set", "org.gnome.settings-daemon.plugins.power", key, value});
        };
        QCOMPARE(PowerScheme::idleSleepSeconds(), std::optional<std::uint32_t>(1200));
        QCOMPARE(set("sleep-inactive-ac-timeout", "5400"), 0);
        RegistryView view;
        QVERIFY(PowerScheme::presentDesktopSetting(view));
        QCOMPARE(PowerCheck::powerManagementMessage(view).text,
                 "WARNING: Windows standby mode is activated after 1.5 hour(s).");
        QCOMPARE(set("sleep-inactive-ac-type", "'nothing'"), 0);
        QCOMPARE(PowerScheme::idleSleepSeconds(), std::optional<std::uint32_t>(0));
        // Without the schema nothing is known.
        qputenv("GSETTINGS_SCHEMA_DIR", QFile::encodeName(m_home.path("nowhere")));
        QCOMPARE(PowerScheme::idleSleepSeconds(), std::nullopt);
        RegistryView none;
        QVERIFY(!PowerScheme::presentDesktopSetting(none));
    }

    void saverListFromTheFolder() {
        const QString dir = m_home.path("saverlist");
        QVERIFY(QDir().mkpath(dir + "/folder.scr")); // a folder is no saver
        for (const char* name : {"Bubbles.scr", "aurora.SCR", "two.dots.scr", "Ribbons.scr",
                                 "Ribbons.SCR", "notes.txt", "scr"})
            QVERIFY(QFile(dir + u'/' + QLatin1String(name)).open(QIODevice::WriteOnly));

        const PowerCheck::SaverList list = PowerCheck::screenSaverList(dir, "Ribbons");
        QCOMPARE(list.entries.first(), QStringLiteral("--- Do not enable a screen saver ---"));
        // In the directory's own order, as readdir gives it.
        QStringList listed = QDir(dir).entryList({"*.scr", "*.SCR"}, QDir::Files, QDir::Unsorted);
        for (QString& f : listed)
            f.truncate(f.lastIndexOf(u'.'));
        QCOMPARE(list.entries.mid(1), listed);
        QCOMPARE(listed.size(), 5);
        QCOMPARE(list.selected, list.entries.lastIndexOf("Ribbons")); // the last equal name
        QCOMPARE(PowerCheck::screenSaverList(dir, "two.dots").selected,
                 list.entries.indexOf("two.dots"));
        QCOMPARE(PowerCheck::screenSaverList(dir, "bubbles").selected, 0); // case matters
        QCOMPARE(PowerCheck::screenSaverList(m_home.path("missing"), "x").entries,
                 QStringList{"--- Do not enable a screen saver ---"});
    }
};

QTEST_MAIN(tst_Configuration)
#include "tst_configuration.moc"
