#include "ModalDialog.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

void ModalDialog::whenOpen(std::function<void(QDialog*)> edit, bool accept) {
    QTimer::singleShot(50, qApp, [edit = std::move(edit), accept]() mutable {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            whenOpen(std::move(edit), accept);
            return;
        }
        edit(dialog);
        accept ? dialog->accept() : dialog->reject();
    });
}
