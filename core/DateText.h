#pragma once

#include <QDateTime>
#include <QString>

// The general date-and-time text of the program: the locale's short date
// with a four-digit year, a blank, and the time with seconds, without a
// time-zone name; exactly midnight gives the date alone. Used for panel
// texts, trace lines, log rows and mails.
class DateText final {
public:
    static QString general(const QDateTime& when);
    // The formats general uses, for reading such a text back.
    static QString dateFormat();
    static QString timeFormat();
};
