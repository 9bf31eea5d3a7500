#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QDialog;

// Drives the next modal dialog a test opens: waits (five seconds at most)
// until it is shown, runs `edit` on it, then accepts or rejects it.
class ModalDialog final {
public:
    static void whenOpen(std::function<void(QDialog*)> edit, bool accept = true);

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
    static void answerBox(Box& seen, QMessageBox::StandardButton press = QMessageBox::NoButton);
};
