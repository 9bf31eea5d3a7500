#include "HelpCommands.h"
#include "ProgramInfo.h"
#include "frmAbout.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

// Receives what the help commands hand to the desktop.
class UrlCatcher final : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }
};

// The about box and the two help commands.
class tst_frmAbout final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void versionText_data() {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<int>("revision");
        QTest::addColumn<QString>("text");
        QTest::newRow("1.00.0018") << 1 << 0 << 18 << QStringLiteral("Revision 1.0.18");
        QTest::newRow("2.10.0305") << 2 << 10 << 305 << QStringLiteral("Revision 2.10.305");
        QTest::newRow("0.0.0") << 0 << 0 << 0 << QStringLiteral("Revision 0.0.0");
    }

    void versionText() {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(int, revision);
        QFETCH(QString, text);
        QCOMPARE(frmAbout::versionText(major, minor, revision), text);
    }

    void showsItsTexts() {
        frmAbout about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        QCOMPARE(about.lblTitle->text(), QStringLiteral("Sentorix"));
        QCOMPARE(about.lblVersion->text(), QStringLiteral("Revision 1.0.18"));
        const QStringList lines = about.lblDisclaimer->text().split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].contains(QStringLiteral("Copyright")));
        QCOMPARE(lines[1], QStringLiteral("https://sentorix.example.org/"));
        QCOMPARE(lines[2], QStringLiteral("contact@sentorix.example.org"));
        QCOMPARE(about.cmdOK->text(), QStringLiteral("OK"));
        for (const QLabel* label : {about.lblTitle, about.lblVersion, about.lblDisclaimer})
            QCOMPARE(label->font().family(), QStringLiteral("Comic Sans MS"));
        QVERIFY(!about.picIcon->pixmap().isNull());
        QVERIFY(!about.picLogo->pixmap().isNull());
        for (const char* name :
             {"picIcon", "picLogo", "lblTitle", "lblVersion", "lblDisclaimer", "cmdOK"})
            QVERIFY2(about.findChild<QWidget*>(QLatin1String(name)) != nullptr, name);
    }

    void okClosesTheModalBox() {
        frmAbout about;
        bool wasModal = false;
        QTimer::singleShot(50, &about, [&] {
            wasModal = QApplication::activeModalWidget() == &about;
            QTest::mouseClick(about.cmdOK, Qt::LeftButton);
        });
        QCOMPARE(about.exec(), int(QDialog::Accepted));
        QVERIFY(wasModal);
        QVERIFY(!about.isVisible());
    }

    void onlineInformationOpensTheProjectPage() {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
        HelpCommands::mnuOnline_Click();
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl(QStringLiteral("https://sentorix.example.org/"))});
        QCOMPARE(HelpCommands::onlineAddress().toString(), ProgramInfo::webAddress());
    }

    void documentationOpensTheShippedPage() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QFile::copy(QStringLiteral(SENTORIX_DOCUMENTATION),
                            dir.filePath(QStringLiteral("zarvel.html"))));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        HelpCommands::mnuDoc_Click();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QDir::setCurrent(before);
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(QFileInfo(catcher.urls.front().toLocalFile()).canonicalFilePath(),
                 QFileInfo(dir.filePath(QStringLiteral("zarvel.html"))).canonicalFilePath());
    }

    void missingDocumentationOpensNothing() {
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        HelpCommands::mnuDoc_Click();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QDir::setCurrent(before);
        QVERIFY(catcher.urls.isEmpty());
    }

    void documentationDescribesTheProgram() {
        QFile file(QStringLiteral(SENTORIX_DOCUMENTATION));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(file.readAll());
        QVERIFY(page.startsWith(QStringLiteral("<!DOCTYPE html>")));
        // The menus, the console keys and the files the program writes.
        for (const char* topic :
             {"Start in 30 seconds", "Show Video Statistics", "Sensitivity", "Configuration",
              "Suspend Power Management", "zarvellog.html", "StillShot.jpg", "ZarvelDebug.dat",
              "/START", "/DEBUG", "Telnet", "Sentorix.conf"})
            QVERIFY2(page.contains(QLatin1String(topic)), topic);
    }
};

QTEST_MAIN(tst_frmAbout)
#include "tst_frmabout.moc"
