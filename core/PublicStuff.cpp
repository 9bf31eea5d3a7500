#include "PublicStuff.h"

#include "FileSystem.h"

namespace {

constexpr QLatin1StringView PlainAlphabet{
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz1234567890"};
// A fixed permutation of the plain alphabet. Changing it makes every stored
// password unreadable.
constexpr QLatin1StringView ScrambledAlphabet{
    "MuK6z2eQATYLId03VoWwSfcrv8qmRBnh7yOHkxsjtP4abFCNg5lXGi1EDpZJ9U"};
static_assert(PlainAlphabet.size() == 62 && ScrambledAlphabet.size() == 62);

QString substitute(const QString& text, QLatin1StringView from, QLatin1StringView to) {
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const qsizetype k = from.indexOf(c, 0, Qt::CaseSensitive);
        if (k < 0)
            return {};
        result.append(QChar(to[k]));
    }
    return result;
}

} // namespace

PublicStuff::PublicStuff(Clock clock, FreeSpace freeSpace)
    : m_clock(std::move(clock))
    , m_freeSpace(std::move(freeSpace))
    , m_trace(m_clock) {}

void PublicStuff::WriteTrace(const QString& where, const QString& text) {
    if (DebugMode)
        m_trace.write(where, text);
}

QString PublicStuff::ScramblePassword(const QString& password) {
    return substitute(password, ScrambledAlphabet, PlainAlphabet);
}

QString PublicStuff::UnscramblePassword(const QString& scrambled) {
    return substitute(scrambled, PlainAlphabet, ScrambledAlphabet);
}

double PublicStuff::FreeDiskSpaceMB(const QString& path) {
    return megabytes(FileSystem::availableBytes(path));
}

double PublicStuff::megabytes(std::uint64_t bytes) {
    return double(bytes) / 1024.0 / 1024.0;
}
