#include "SourceList.h"

#include "SettingsStore.h"
#include "SourceProcess.h"

#include <QUrl>

#include <algorithm>

namespace {
const QString section = QStringLiteral("SOURCES");
} // namespace

QList<SourceList::Source> SourceList::read(const SettingsStore& store) {
    QList<Source> sources;
    for (int n = 1;; ++n) {
        const QString url = store.read(section, QStringLiteral("Source%1").arg(n), {}).trimmed();
        if (url.isEmpty())
            return sources;
        sources.append({store.read(section, QStringLiteral("Name%1").arg(n), masked(url)), url});
    }
}

bool SourceList::write(SettingsStore& store, const QList<Source>& sources) {
    const int stored = int(read(store).size());
    bool ok = true;
    // Entries past the new end are emptied, which ends the list there.
    for (int n = 1; n <= std::max(stored, int(sources.size())); ++n) {
        const Source s = n <= sources.size() ? sources.at(n - 1) : Source{};
        ok = store.write(section, QStringLiteral("Source%1").arg(n), s.url) && ok;
        ok = store.write(section, QStringLiteral("Name%1").arg(n), s.name) && ok;
    }
    return ok;
}

QString SourceList::masked(const QString& url) {
    const QUrl parsed(url.trimmed());
    if (!parsed.isValid() && !parsed.isEmpty())
        return QStringLiteral("(invalid address)");
    return parsed.adjusted(QUrl::RemoveUserInfo).toString();
}

QString SourceList::withLogin(const QString& address, const QString& user,
                              const QString& password) {
    QUrl url(address.trimmed());
    if (!user.isEmpty()) {
        url.setUserName(user);
        url.setPassword(password);
    }
    return url.toString();
}

QString SourceList::scrubbed(QString text, const QString& url) {
    const QUrl parsed(url.trimmed());
    text.replace(url.trimmed(), masked(url));
    text.replace(parsed.toString(), masked(url));
    const QString password = parsed.password();
    if (!password.isEmpty()) {
        text.replace(password, QStringLiteral("***"));
        text.replace(parsed.password(QUrl::FullyEncoded), QStringLiteral("***"));
    }
    return text;
}

QString SourceList::probe(const QString& url, QSize* size) {
    SourceProcess helper;
    SourceProcess::Settings settings;
    settings.url = url;
    settings.frames = false;
    if (!helper.start(settings, probeTimeout))
        return scrubbed(helper.error(), url);
    *size = helper.size();
    return {};
}
