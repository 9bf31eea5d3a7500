// The about box and the two help commands.
#include "HelpCommands.h"
#include "frmAbout.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
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
    explicit UrlCatcher(const char* scheme)
        : m_scheme(QLatin1String(scheme)) {
        QDesktopServices::setUrlHandler(m_scheme, this, "open");
    }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(m_scheme); }
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl& url) { urls << url; }

private:
    QString m_scheme;
};

class tst_frmAbout final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsItsTextsAndOkCloses() {
        QCOMPARE(frmAbout::versionText(2, 10, 305), QStringLiteral("Revision 2.10.305"));
        frmAbout about;
        // The disclaimer's lines end with CR LF.
        const QString disclaimer = about.lblDisclaimer->text();
        QVERIFY(disclaimer.startsWith(QStringLiteral("Copyright")));
        QCOMPARE(
            QStringList({about.windowTitle(), about.lblTitle->text(), about.lblVersion->text(),
                         disclaimer.section(QStringLiteral("\r\n"), 1), about.cmdOK->text()}),
            QStringList({"About", "Sentorix", "Revision 1.0.18",
                         "https://sentorix.example.org/\r\ncontact@sentorix.example.org", "OK"}));
        QVERIFY(!about.picIcon->pixmap().isNull() && !about.picLogo->pixmap().isNull());
        bool wasModal = false;
        QTimer::singleShot(0, &about, [&] {
            wasModal = QApplication::activeModalWidget() == &about;
            QTest::mouseClick(about.cmdOK, Qt::LeftButton);
        });
        QCOMPARE(about.exec(), int(QDialog::Accepted));
        QVERIFY(wasModal && !about.isVisible());
    }

    void helpOpensThePages() {
        UrlCatcher web("https");
        HelpCommands::mnuOnline_Click();
        QCOMPARE(web.urls, QList<QUrl>{QUrl(QStringLiteral("https://sentorix.example.org/"))});
        // The shipped page in the working directory; none there, nothing opens.
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        UrlCatcher files("file");
        HelpCommands::mnuDoc_Click();
        QVERIFY(files.urls.isEmpty());
        QVERIFY(QFile::copy(QStringLiteral(SENTORIX_DOCUMENTATION), dir.filePath("zarvel.html")));
        HelpCommands::mnuDoc_Click();
        QDir::setCurrent(before);
        QCOMPARE(files.urls.size(), 1);
        QCOMPARE(QFileInfo(files.urls.front().toLocalFile()).canonicalFilePath(),
                 QFileInfo(dir.filePath("zarvel.html")).canonicalFilePath());
    }
};

QTEST_MAIN(tst_frmAbout)
#include "tst_frmabout.moc"
