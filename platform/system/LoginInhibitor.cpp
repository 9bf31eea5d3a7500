#include "LoginInhibitor.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

#include <atomic>
#include <optional>

namespace {

const QString Service = QStringLiteral("org.freedesktop.login1");
const QString Path = QStringLiteral("/org/freedesktop/login1");
const QString Interface = QStringLiteral("org.freedesktop.login1.Manager");

QString nextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("sentorix-login-%1").arg(++counter);
}

} // namespace

struct LoginInhibitor::Private {
    QString address;
    QString name = nextConnectionName();
    std::optional<QDBusConnection> bus;
    // Closing the last copy of this descriptor ends the inhibitor.
    QDBusUnixFileDescriptor descriptor;

    ~Private() {
        if (bus && !address.isEmpty())
            QDBusConnection::disconnectFromBus(name);
    }

    // The bus, connected on first use; a failed connection is dropped so
    // the next request tries again.
    std::optional<QDBusConnection> connection(QString& error) {
        if (bus && bus->isConnected())
            return bus;
        if (bus && !address.isEmpty())
            QDBusConnection::disconnectFromBus(name);
        bus = address.isEmpty() ? QDBusConnection::systemBus()
                                : QDBusConnection::connectToBus(address, name);
        if (bus->isConnected())
            return bus;
        const QDBusError lastError = bus->lastError();
        error = address.isEmpty() ? QStringLiteral("no system bus")
                                  : QStringLiteral("no bus at ") + address;
        if (lastError.isValid())
            error += QStringLiteral(" (") + lastError.message() + u')';
        if (!address.isEmpty())
            QDBusConnection::disconnectFromBus(name);
        bus.reset();
        return std::nullopt;
    }
};

LoginInhibitor::LoginInhibitor(const QString& busAddress, QObject* parent)
    : QObject(parent)
    , d(std::make_unique<Private>()) {
    d->address = busAddress;
}

LoginInhibitor::~LoginInhibitor() = default;

bool LoginInhibitor::isHeld() const {
    return d->descriptor.isValid();
}

void LoginInhibitor::setWanted(bool wanted) {
    if (wanted == m_wanted)
        return;
    m_wanted = wanted;
    if (wanted) {
        request();
        return;
    }
    m_refused = false;
    // A reply still on its way is dropped when it arrives.
    if (isHeld()) {
        d->descriptor = QDBusUnixFileDescriptor();
        Q_EMIT inhibitorReleased();
    }
}

void LoginInhibitor::request() {
    if (m_pending || m_refused || isHeld())
        return;
    QString error;
    const std::optional<QDBusConnection> bus = d->connection(error);
    if (!bus) {
        fail(error);
        return;
    }
    if (!(bus->connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) {
        fail(QStringLiteral("the bus cannot pass file descriptors"));
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Sentorix")
         << QStringLiteral("Surveillance is running; standby would stop it")
         << QStringLiteral("block");
    m_pending = true;
    auto* watcher = new QDBusPendingCallWatcher(bus->asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &LoginInhibitor::onReply);
}

void LoginInhibitor::onReply(QDBusPendingCallWatcher* watcher) {
    watcher->deleteLater();
    m_pending = false;
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
    if (reply.isError()) {
        if (m_wanted)
            fail(reply.error().name() + QStringLiteral(": ") + reply.error().message());
        return;
    }
    if (!m_wanted)
        return; // dropped on arrival: the descriptor closes with the reply
    const QDBusUnixFileDescriptor descriptor = reply.value();
    if (!descriptor.isValid()) {
        fail(QStringLiteral("the login manager returned no descriptor"));
        return;
    }
    d->descriptor = descriptor;
    Q_EMIT inhibitorTaken();
}

void LoginInhibitor::fail(const QString& reason) {
    m_refused = true;
    Q_EMIT inhibitorFailed(reason);
}
