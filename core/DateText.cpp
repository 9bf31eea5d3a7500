#include "DateText.h"

#include <QLocale>
#include <QRegularExpression>

namespace {

QString shortDateFormat(const QLocale& locale) {
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

QString timeWithSecondsFormat(const QLocale& locale) {
    QString format = locale.timeFormat(QLocale::LongFormat);
    // Drop the time-zone field and the blank before it.
    static const QRegularExpression zone(QStringLiteral("\\s*t+\\s*"));
    format.replace(zone, QString());
    return format.trimmed();
}

} // namespace

QString DateText::dateFormat() {
    return shortDateFormat(QLocale());
}

QString DateText::timeFormat() {
    return timeWithSecondsFormat(QLocale());
}

QString DateText::general(const QDateTime& when) {
    const QLocale locale; // the default locale, which is the system's unless a test fixes it
    const QString date = locale.toString(when.date(), shortDateFormat(locale));
    // The general form leaves out a time of exactly midnight.
    const QTime time = when.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return date;
    return date + u' ' + locale.toString(time, timeWithSecondsFormat(locale));
}
