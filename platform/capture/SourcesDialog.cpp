#include "SourcesDialog.h"

#include "CaptureControl.h"
#include "SourceList.h"
#include "SourceProcess.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QString caption(const SourceList::Source& s) {
    return s.name + QStringLiteral(" - ") + SourceList::masked(s.url);
}

// Videos by their usual extensions, in either case (cameras and phones
// often write them in capitals), then everything.
QStringList videoFilters() {
    QStringList patterns;
    for (const char* ext : {"avi", "mp4", "m4v", "mkv", "mov", "webm", "ogv", "ogg", "mpg", "mpeg",
                            "ts", "mts", "3gp", "mjpeg", "mjpg", "divx", "xvid", "wmv", "flv"}) {
        const QString e = QLatin1String(ext);
        patterns << QStringLiteral("*.") + e << QStringLiteral("*.") + e.toUpper();
    }
    return {QStringLiteral("Videos (%1)").arg(patterns.join(u' ')),
            QStringLiteral("All files (*)")};
}

} // namespace

void SourcesDialog::ShowSourcesDialog(CaptureControl& capture, QWidget* parent) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("SourcesDialog"));
    dialog.setWindowTitle(QStringLiteral("Network Cameras and Videos"));
    QList<SourceList::Source> sources = capture.storedSources();

    auto* list = new QListWidget(&dialog);
    for (const SourceList::Source& s : sources)
        list->addItem(caption(s));
    auto* name = new QLineEdit(&dialog);
    auto* address = new QLineEdit(&dialog);
    address->setPlaceholderText(QStringLiteral("rtsp://, http://, https:// or file://"));
    auto* user = new QLineEdit(&dialog);
    auto* password = new QLineEdit(&dialog);
    password->setEchoMode(QLineEdit::Password);
    for (QLineEdit* edit : {name, address, user, password})
        edit->setEnabled(false);
    auto* outcome = new QLabel(QStringLiteral("Changes appear in the Video Device menu when "
                                              "Sentorix starts again."),
                               &dialog);
    outcome->setObjectName(QStringLiteral("Outcome"));
    outcome->setWordWrap(true);
    // A reason names what to install; it can be copied from here.
    outcome->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* add = new QPushButton(QStringLiteral("&Add"), &dialog);
    auto* remove = new QPushButton(QStringLiteral("&Remove"), &dialog);
    auto* test = new QPushButton(QStringLiteral("&Test"), &dialog);
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), &dialog);
    browse->setObjectName(QStringLiteral("Browse"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Name:"), name);
    form->addRow(QStringLiteral("A&ddress:"), address);
    form->addRow(QStringLiteral("&User:"), user);
    form->addRow(QStringLiteral("&Password:"), password);
    auto* row = new QHBoxLayout;
    for (QPushButton* b : {add, remove, test, browse})
        row->addWidget(b);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(list);
    layout->addLayout(row);
    layout->addLayout(form);
    layout->addWidget(outcome);
    layout->addWidget(buttons);

    const auto select = [&](int i) {
        const bool on = i >= 0;
        const QUrl url(on ? sources.at(i).url : QString());
        name->setText(on ? sources.at(i).name : QString());
        address->setText(on ? SourceList::masked(sources.at(i).url) : QString());
        user->setText(url.userName());
        password->setText(url.password());
        for (QLineEdit* edit : {name, address, user, password})
            edit->setEnabled(on);
        for (QPushButton* b : {remove, test, browse})
            b->setEnabled(on);
    };
    QObject::connect(list, &QListWidget::currentRowChanged, &dialog, select);
    const auto edited = [&] {
        const int i = list->currentRow();
        if (i < 0)
            return;
        sources[i] = {name->text().trimmed(),
                      SourceList::withLogin(address->text(), user->text(), password->text())};
        list->item(i)->setText(caption(sources.at(i)));
    };
    for (QLineEdit* edit : {name, address, user, password})
        QObject::connect(edit, &QLineEdit::textEdited, &dialog, edited);
    QObject::connect(add, &QPushButton::clicked, &dialog, [&] {
        sources.append({QStringLiteral("Camera %1").arg(sources.size() + 1), QString()});
        list->addItem(caption(sources.last()));
        list->setCurrentRow(int(sources.size()) - 1);
        address->setFocus();
    });
    QObject::connect(remove, &QPushButton::clicked, &dialog, [&] {
        const int i = list->currentRow();
        sources.removeAt(i);
        {
            // The list would show its next row while it still counts the old one.
            const QSignalBlocker quiet(list);
            delete list->takeItem(i);
        }
        select(list->currentRow());
    });
    // The helper is asked without waiting for it: the window (and the
    // recording behind it) goes on while a source takes its time to answer.
    const auto showOutcome = [&](SourceProcess* helper, const QString& url, const QString& why) {
        helper->disconnect(&dialog);
        helper->deleteLater();
        test->setEnabled(list->currentRow() >= 0);
        const QSize size = helper->size();
        outcome->setText(
            why.isEmpty()
                ? QStringLiteral("Pictures of %1 x %2 arrive.").arg(size.width()).arg(size.height())
                : QStringLiteral("No picture: ") + SourceList::scrubbed(why, url));
        // A long reason takes more lines: the dialog grows to show it whole.
        dialog.layout()->activate();
        const int needed = dialog.heightForWidth(dialog.width());
        if (needed > dialog.height())
            dialog.resize(dialog.width(), needed);
    };
    QObject::connect(test, &QPushButton::clicked, &dialog, [&] {
        const QString url = sources.at(list->currentRow()).url;
        auto* helper = new SourceProcess(&dialog);
        SourceProcess::Settings settings;
        settings.url = url;
        settings.frames = false;
        if (!helper->begin(settings, SourceList::probeTimeout))
            return showOutcome(helper, url, helper->error());
        test->setEnabled(false);
        outcome->setText(QStringLiteral("Waiting for a picture..."));
        QObject::connect(helper, &SourceProcess::ready, &dialog,
                         [&, helper, url] { showOutcome(helper, url, QString()); });
        QObject::connect(helper, &SourceProcess::ended, &dialog,
                         [&, helper, url](const QString& why) { showOutcome(helper, url, why); });
    });
    QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
        QFileDialog files(&dialog, QStringLiteral("Choose a Recorded Video"));
        files.setObjectName(QStringLiteral("BrowseDialog"));
        // Qt's own dialog, the same on every desktop.
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.setFileMode(QFileDialog::ExistingFile);
        files.setNameFilters(videoFilters());
        const QUrl current(address->text().trimmed());
        files.setDirectory(current.isLocalFile()
                               ? QFileInfo(current.toLocalFile()).absolutePath()
                               : QStandardPaths::writableLocation(QStandardPaths::MoviesLocation));
        if (files.exec() != QDialog::Accepted || files.selectedFiles().isEmpty())
            return;
        address->setText(QUrl::fromLocalFile(files.selectedFiles().constFirst()).toString());
        edited();
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    list->setCurrentRow(sources.isEmpty() ? -1 : 0);
    for (QPushButton* b : {remove, test, browse})
        b->setEnabled(!sources.isEmpty());

    if (dialog.exec() != QDialog::Accepted)
        return;
    sources.removeIf([](const SourceList::Source& s) { return QUrl(s.url).scheme().isEmpty(); });
    capture.storeSources(sources);
}
