#include "RecordingName.h"

#include "DateText.h"

#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <utility>

namespace {

// A field of a date-time format ("M", "yyyy", "AP") or the literal text
// between fields.
struct Token {
    QString text;
    bool field = false;
};

QList<Token> tokens(const QString& format) {
    static const QString letters = QStringLiteral("dMyhHmszAat");
    QList<Token> out;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        qsizetype j = i + 1;
        if (c == u'\'') {
            j = format.indexOf(u'\'', j);
            if (j < 0)
                j = format.size();
            out.append({format.mid(i + 1, j - i - 1), false});
            i = j + 1;
            continue;
        }
        if (letters.contains(c)) {
            if (c == u'A' || c == u'a') {
                if (j < format.size() && (format[j] == u'P' || format[j] == u'p'))
                    ++j;
            } else {
                while (j < format.size() && format[j] == c)
                    ++j;
            }
            out.append({format.mid(i, j - i), true});
        } else {
            while (j < format.size() && !letters.contains(format[j]) && format[j] != u'\'')
                ++j;
            out.append({format.mid(i, j - i), false});
        }
        i = j;
    }
    return out;
}

// The lengths a field can have in a text; none for a field of names.
QList<qsizetype> widths(const QString& field, const QLocale& locale) {
    if (field.startsWith(u'A') || field.startsWith(u'a')) {
        const qsizetype am = locale.amText().size(), pm = locale.pmText().size();
        return am == pm ? QList<qsizetype>{am} : QList<qsizetype>{am, pm};
    }
    static const QString variable = QStringLiteral("dMhHms");
    if (field.size() == 1 && variable.contains(field[0]))
        return {1, 2};
    if (field.size() == 2 && (variable + u'y').contains(field[0]))
        return {2};
    if (field == QStringLiteral("yyyy"))
        return {4};
    return {};
}

void split(const QList<Token>& format, qsizetype token, const QString& text, qsizetype at,
           const QLocale& locale, QStringList& pieces, QList<QStringList>& found) {
    if (token == format.size()) {
        if (at == text.size())
            found.append(pieces);
        return;
    }
    const Token& t = format[token];
    QList<qsizetype> lengths{t.text.size()};
    if (t.field)
        lengths = widths(t.text, locale);
    else if (text.mid(at, t.text.size()) != t.text)
        return;
    for (const qsizetype length : lengths) {
        if (at + length > text.size())
            continue;
        pieces.append(text.mid(at, length));
        split(format, token + 1, text, at + length, locale, pieces, found);
        pieces.removeLast();
    }
}

// A name drops the separators of its time text, so a field without a fixed
// width ("M", "d", "h") has no visible end: "1212026" may be 12/1/2026 or
// 1/21/2026. Every way of cutting the name into the format's fields is
// given with a separator between the fields, as a text and its format.
QList<std::pair<QString, QString>> separatedFields(const QString& name, const QString& format,
                                                   const QLocale& locale) {
    const QList<Token> parts = tokens(format);
    QList<std::pair<QString, QString>> out;
    for (const Token& t : parts)
        if (t.field && widths(t.text, locale).isEmpty())
            return {{name, format}}; // month or day names: the locale parses them
    QStringList pieces;
    QList<QStringList> found;
    split(parts, 0, name, 0, locale, pieces, found);
    QStringList separated;
    for (const Token& t : parts)
        separated << (t.field ? t.text : u'\'' + t.text + u'\'');
    for (const QStringList& cut : found)
        out.append({cut.join(u'|'), separated.join(u'|')});
    return out;
}

} // namespace

QString RecordingName::fromStartText(const QString& vidPath, const QString& startText) {
    QString name = startText;
    name.remove(u'.');
    name.remove(u'/');
    name.remove(u':');
    name.replace(u' ', u'-');
    return vidPath + name + QStringLiteral(".avi");
}

QString RecordingName::unused(const QString& path) {
    if (!QFileInfo::exists(path))
        return path;
    const QString extension = QStringLiteral(".avi");
    const QString stem = path.endsWith(extension) ? path.chopped(extension.size()) : path;
    for (int n = 2;; ++n) {
        const QString candidate = stem + u'-' + QString::number(n) + extension;
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

std::optional<QDateTime> RecordingName::startOf(const QString& fileName) {
    const QString extension = QStringLiteral(".avi");
    if (!fileName.endsWith(extension))
        return std::nullopt;
    const QString stem = fileName.chopped(extension.size());
    // The name as made, then without the counter unused() adds.
    QStringList stems{stem};
    static const QRegularExpression counter(QStringLiteral("-[1-9][0-9]*$"));
    if (const QRegularExpressionMatch m = counter.match(stem); m.hasMatch())
        stems << stem.left(m.capturedStart());
    // The start text's format as it is turned into a name; a start at
    // exactly midnight has the date alone.
    const auto asName = [&extension](const QString& format) {
        return fromStartText(QString(), format).chopped(extension.size());
    };
    const QString date = DateText::dateFormat();
    const QStringList formats{asName(date + u' ' + DateText::timeFormat()), asName(date)};
    const QLocale locale;
    for (const QString& s : stems) {
        std::optional<QDateTime> latest;
        for (const QString& format : formats)
            for (const auto& [text, separated] : separatedFields(s, format, locale)) {
                const QDateTime when = locale.toDateTime(text, separated);
                // Only a name made from that time exactly is one of ours.
                if (when.isValid() &&
                    fromStartText(QString(), DateText::general(when)) == s + extension &&
                    (!latest || when > *latest))
                    latest = when;
            }
        if (latest)
            return latest;
    }
    return std::nullopt;
}
