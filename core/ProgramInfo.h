#pragma once

#include <QString>

// The program's name, version and maker, as the about box and the help
// menu show them.
struct ProgramInfo final {
    static constexpr int Major = 1;
    static constexpr int Minor = 0;
    static constexpr int Revision = 18;

    static QString displayName() { return QStringLiteral("Sentorix"); }
    // "1.0": what the title, the mail and the console call the version.
    static QString version() { return QString::number(Major) + u'.' + QString::number(Minor); }
    static QString rightsNotice() {
        return QStringLiteral("Copyright (C) 2026 The Sentorix developers. All rights reserved.");
    }
    static QString webAddress() { return QStringLiteral("https://sentorix.example.org/"); }
    static QString contactAddress() { return QStringLiteral("contact@sentorix.example.org"); }
};
