#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QTimer>

#include <functional>

// Drives the next modal dialog a test opens.
class ModalDialog final {
public:
    // Waits (five seconds at most) until it is shown, runs `edit` on it, then
    // accepts or rejects it.
    static void whenOpen(std::function<void(QDialog*)> edit, bool accept = true, int tries = 100) {
        QTimer::singleShot(50, qApp, [edit = std::move(edit), accept, tries]() mutable {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog && tries > 1)
                return whenOpen(std::move(edit), accept, tries - 1);
            if (!dialog)
                return qWarning("no modal dialog opened within five seconds");
            edit(dialog);
            accept ? dialog->accept() : dialog->reject();
        });
    }

    // What a message box showed.
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        // "title|text|icon|buttons", icon and buttons as Qt numbers them.
        QString line() const {
            return QStringLiteral("%1|%2|%3|%4").arg(title, text).arg(int(icon)).arg(int(buttons));
        }
    };
    // Answers the next message box with `press` (none: accepts it) and
    // keeps what it showed in `seen`, which must outlive the box.
    static void answerBox(Box& seen, QMessageBox::StandardButton press = QMessageBox::NoButton) {
        QTimer::singleShot(20, qApp, [&seen, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return answerBox(seen, press);
            seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
            box->button(press) ? box->button(press)->click() : box->accept();
        });
    }
};
