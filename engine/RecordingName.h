#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// Where a recording goes: the output directory and the start time's text
// with ".", "/" and ":" removed and blanks turned into "-", then ".avi".
class RecordingName final {
public:
    static QString fromStartText(const QString& vidPath, const QString& startText);

    // path itself when no file of that name exists, otherwise the first of
    // "name-2.avi", "name-3.avi" ... that is free. A second recording that
    // starts within the same second must not overwrite the first.
    static QString unused(const QString& path);

    // The start time of a recording from its file name (without folder);
    // nothing for a name the program does not make in the current locale.
    static std::optional<QDateTime> startOf(const QString& fileName);
};
