#include "ModalDialog.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
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
