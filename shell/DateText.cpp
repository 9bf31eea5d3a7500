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

QString DateText::general(const QDateTime& when) {
    const QLocale locale; // the default locale, which is the system's unless a test fixes it
    return locale.toString(when.date(), shortDateFormat(locale)) + u' ' +
           locale.toString(when.time(), timeWithSecondsFormat(locale));
}
