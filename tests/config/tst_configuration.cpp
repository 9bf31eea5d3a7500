// The configuration dialog, opened from the real window's menu: values in
// force and stored, the questions it asks, the console opened and closed
// over real TCP.
#include "CaptureControl.h"
#include "ModalDialog.h"
#include "ProgramRun.h"
#include "Winsock.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTcpSocket>
#include <QTest>

namespace {

template <typename T> T* field(QDialog* d, const char* name) {
    T* w = d->findChild<T*>(QLatin1String(name));
    if (w == nullptr)
        qFatal("no control %s", name);
    return w;
}

// Fills text fields from "name=text" lines.
void fill(QDialog* d, const QStringList& edits) {
    for (const QString& edit : edits)
        field<QLineEdit>(d, qPrintable(edit.section(u'=', 0, 0)))->setText(edit.section(u'=', 1));
}

void ok(QDialog* d) {
    field<QPushButton>(d, "Command1")->click();
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
        ModalDialog::whenOpen(std::move(edit), false);
        m_run->form.menus().mnuConfig->trigger();
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

    void openingShowsTheLiveState() {
        start();
        stuff().EMail = "ann@example.org";
        bool checked = false;
        withDialog([&](QDialog* d) {
            QCOMPARE(d->windowTitle(), QStringLiteral("Configuration"));
            QStringList texts;
            for (const char* name : {"Text1", "Text2", "Text3", "Text4"})
                texts << field<QLineEdit>(d, name)->text();
            QCOMPARE(texts,
                     QStringList({stuff().VidPath, "ann@example.org", "mail.example.com", "20"}));
            QCOMPARE(field<QSlider>(d, "Slider1")->value(), 5);
            field<QSlider>(d, "Slider1")->setValue(17);
            QCOMPARE(field<QLabel>(d, "SliderHint")->text(), QStringLiteral("17 fps"));
            QCOMPARE(field<QLineEdit>(d, "Text5")->echoMode(), QLineEdit::Password);
            // No password: no local address.
            QVERIFY(field<QLineEdit>(d, "Text6")->isHidden() &&
                    field<QLabel>(d, "Label8")->isHidden());
            QVERIFY(field<QCheckBox>(d, "Check1")->isChecked());
            QVERIFY(!field<QCheckBox>(d, "Check2")->isChecked() &&
                    !field<QCheckBox>(d, "Check2")->isEnabled());
            QCOMPARE(field<QLabel>(d, "Label9")->text(),
                     QStringLiteral("Cannot read Power Management settings."));
            auto* combo = field<QComboBox>(d, "Combo1");
            QCOMPARE(combo->currentIndex(), 0); // "0" matches no saver
            QCOMPARE(combo->count(), 2);
            QCOMPARE(combo->itemText(1), QStringLiteral("Mystify"));
            const QString status = field<QLabel>(d, "StatusPanel1")->text();
            QVERIFY2(status.startsWith("Free space on selected drive is ") &&
                         status.endsWith(" MB"),
                     qPrintable(status));
            // A folder that cannot be queried counts as 0 MB.
            field<QLineEdit>(d, "Text1")->setText(m_home.path("no/such/folder"));
            field<QLineEdit>(d, "Text1")->setFocus();
            field<QLineEdit>(d, "Text2")->setFocus();
            QCOMPARE(field<QLabel>(d, "StatusPanel1")->text(),
                     QStringLiteral("Free space on selected drive is 0.0 MB"));
            checked = true;
        });
        QVERIFY(checked);
        // Cancel changed nothing.
        QCOMPARE(m_run->program.capture().FrameRate(), 5);
        QCOMPARE(m_home.stored("CaptureFPS"), QStringLiteral("<missing>"));
    }

    void okPutsValuesInForceAndStoresThem() {
        start();
        withDialog([&](QDialog* d) {
            // Typed without its closing "/"; blanks around the rest go.
            fill(d, {"Text1=" + m_home.path("videos"), "Text2= ann@example.org ",
                     "Text3= smtp://mail.example.org:587 ", "Text4= 20.5MB", "Text5=Se3cret"});
            field<QSlider>(d, "Slider1")->setValue(12);
            field<QCheckBox>(d, "Check1")->setChecked(false);
            field<QComboBox>(d, "Combo1")->setCurrentIndex(1);
            ok(d);
        });
        // 20.5 rounds to the even 20.
        QCOMPARE(QStringList({stuff().VidPath, stuff().EMail, stuff().SMTPServer,
                              QString::number(stuff().LowSpace), QString::number(stuff().Notify),
                              stuff().Saver}),
                 QStringList({m_home.videos(), "ann@example.org", "smtp://mail.example.org:587",
                              "20", "0", "Mystify"}));
        QCOMPARE(QStringList({m_home.stored("RemotePW"), m_home.stored("CaptureFPS"),
                              m_home.stored("LowSpace"), m_home.stored("Notify"),
                              m_home.stored("APM"), m_home.stored("Saver")}),
                 QStringList(
                     {PublicStuff::ScramblePassword("Se3cret"), "12", "20", "0", "0", "Mystify"}));
        // The console opened at once.
        QVERIFY(consoleAnswers());

        // The next start reads it all back.
        start();
        QCOMPARE(stuff().VidPath, m_home.videos());
        QCOMPARE(stuff().RemotePassword, QStringLiteral("Se3cret"));
        QCOMPARE(m_run->program.capture().FrameRate(), 12);
        QTRY_COMPARE(m_run->program.winsock().State(), Winsock::sckListening);
        bool seen = false;
        withDialog([&](QDialog* d) {
            QVERIFY(field<QLineEdit>(d, "Text6")->isVisibleTo(d));
            QVERIFY(!field<QLineEdit>(d, "Text6")->text().isEmpty());
            QCOMPARE(field<QComboBox>(d, "Combo1")->currentText(), QStringLiteral("Mystify"));
            // Blanks only: no password, and the console closes.
            fill(d, {"Text5=   "});
            ok(d);
            seen = true;
        });
        QVERIFY(seen);
        QCOMPARE(m_home.stored("RemotePW"), QString());
        QCOMPARE(m_run->program.winsock().State(), Winsock::sckClosed);
        QVERIFY(!consoleAnswers());
    }

    // Entries that are refused or asked about; the values before the
    // refused one are in force, but nothing is stored.
    void refusedOrAsked_data() {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<int>("press");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<QStringList>("storedAfter"); // LowSpace, EMail, RemotePW
        const int yesNo = QMessageBox::Yes | QMessageBox::No;
        const QString lowSpace = QStringLiteral(
            "Warning: There is less diskspace available on the selected drive than the "
            " 99999999 MB you just entered. The program WILL NOT start capturing under these "
            "circumstances. Do you really want to continue ?");
        QTest::newRow("missing path")
            << QStringList{"Text1=%h/nowhere"} << int(QMessageBox::Ok)
            << "This path does not exist. Please enter a valid output directory."
            << int(QMessageBox::Ok) << QStringList{"<missing>", "<missing>", "<missing>"};
        QTest::newRow("low space, no")
            << QStringList{"Text4= 99999999"} << int(QMessageBox::No) << lowSpace << yesNo
            << QStringList{"<missing>", "<missing>", "<missing>"};
        QTest::newRow("low space, yes") << QStringList{"Text4= 99999999"} << int(QMessageBox::Yes)
                                        << lowSpace << yesNo << QStringList{"99999999", "", ""};
        QTest::newRow("letters only: no limit, no question")
            << QStringList{"Text4=abc"} << 0 << QString() << 0 << QStringList{"0", "", ""};
        QTest::newRow("invalid password")
            << QStringList{"Text2=bob@example.org", "Text5=ab cd"} << int(QMessageBox::Ok)
            << "The password contains invalid characters." << int(QMessageBox::Ok)
            << QStringList{"<missing>", "<missing>", "<missing>"};
    }
    void refusedOrAsked() {
        QFETCH(QStringList, edits);
        QFETCH(int, press);
        QFETCH(QString, text);
        QFETCH(int, buttons);
        QFETCH(QStringList, storedAfter);
        start();
        ModalDialog::Box box;
        bool stayedOpen = false;
        withDialog([&](QDialog* d) {
            fill(d, (QStringList{"Text1=%h/videos"} + edits).replaceInStrings("%h", m_home.root()));
            if (press != 0)
                ModalDialog::answerBox(box, QMessageBox::StandardButton(press));
            ok(d);
            stayedOpen = d->isVisible();
        });
        QCOMPARE(box.text, text);
        QCOMPARE(int(box.buttons), buttons);
        QCOMPARE(box.icon, press == 0 ? QMessageBox::NoIcon : QMessageBox::Warning);
        QCOMPARE(box.title, press == 0 ? QString() : QStringLiteral("Sentorix"));
        QCOMPARE(stayedOpen, storedAfter[0] == "<missing>");
        QCOMPARE(QStringList({m_home.stored("LowSpace"), m_home.stored("EMail"),
                              m_home.stored("RemotePW")}),
                 storedAfter);
        if (edits.size() == 2)
            QCOMPARE(stuff().EMail, QStringLiteral("bob@example.org"));
        QCOMPARE(m_run->program.winsock().State(), Winsock::sckClosed);
    }

    void noRemoteNeverListens() {
        start("/noremote");
        withDialog([&](QDialog* d) {
            fill(d, {"Text1=" + m_home.path("videos"), "Text5=abc123"});
            ok(d);
        });
        QCOMPARE(m_home.stored("RemotePW"), PublicStuff::ScramblePassword("abc123"));
        QCOMPARE(m_run->program.winsock().State(), Winsock::sckClosed);
        QVERIFY(!consoleAnswers());
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
            fill(d, {"Text1=" + m_home.path("videos")});
            ok(d);
        });
        QCOMPARE(capture.FrameRate(), 5);
        QCOMPARE(m_home.stored("CaptureFPS"), QStringLiteral("5"));
        capture.StopCapture();
    }
};

QTEST_MAIN(tst_Configuration)
#include "tst_configuration.moc"
