#pragma once

#include <QString>
#include <QUrl>

// The two commands of the "&?" menu. Neither checks its result: a missing
// file or browser is the desktop's to report.
class HelpCommands final {
public:
    // The documentation page, by bare name in the working directory.
    static QString documentationFile() { return QStringLiteral("zarvel.html"); }
    static QUrl onlineAddress();

    static void mnuDoc_Click();
    static void mnuOnline_Click();
};
