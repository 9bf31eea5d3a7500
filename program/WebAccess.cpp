#include "WebAccess.h"

#include "PublicStuff.h"

#include <QNetworkInterface>

bool WebAccess::storable(const QString& password) {
    return password.isEmpty() || !PublicStuff::ScramblePassword(password).isEmpty();
}

QStringList WebAccess::addresses(int port) {
    QStringList result;
    const auto wanted = QNetworkInterface::IsUp | QNetworkInterface::IsRunning;
    for (const QNetworkInterface& network : QNetworkInterface::allInterfaces()) {
        if ((network.flags() & wanted) != wanted ||
            network.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : network.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLoopback())
                result << QStringLiteral("https://%1:%2/").arg(ip.toString()).arg(port);
        }
    }
    return result;
}
