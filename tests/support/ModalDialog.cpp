#include "ModalDialog.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QTimer>

namespace {

// Looks for the dialog every 50 ms, for at most five seconds.
void whenOpenWithin(std::function<void(QDialog*)> edit, bool accept, int tries) {
    QTimer::singleShot(50, qApp, [edit = std::move(edit), accept, tries]() mutable {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog) {
            edit(dialog);
            accept ? dialog->accept() : dialog->reject();
        } else if (tries > 1) {
            whenOpenWithin(std::move(edit), accept, tries - 1);
        } else {
            qWarning("no modal dialog opened within five seconds");
        }
    });
}

} // namespace

void ModalDialog::whenOpen(std::function<void(QDialog*)> edit, bool accept) {
    whenOpenWithin(std::move(edit), accept, 100);
}

void ModalDialog::answerBox(Box& seen, QMessageBox::StandardButton press) {
    QTimer::singleShot(20, qApp, [&seen, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            answerBox(seen, press);
            return;
        }
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
        if (QAbstractButton* button = box->button(press))
            button->click();
        else
            box->accept();
    });
}
