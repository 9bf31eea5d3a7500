#pragma once

#include <functional>

class QDialog;

// Drives the next modal dialog a test opens: waits (five seconds at most)
// until it is shown, runs `edit` on it, then accepts or rejects it.
class ModalDialog final {
public:
    static void whenOpen(std::function<void(QDialog*)> edit, bool accept = true);
};
