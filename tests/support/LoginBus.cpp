#include "LoginBus.h"

#include "WaitBound.h"

#include <QDBusConnection>
#include <QDBusError>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

LoginBus::~LoginBus() {
    if (m_registered)
        QDBusConnection::disconnectFromBus(QStringLiteral("login-stand-in"));
    for (int fd : m_readEnds)
        ::close(fd);
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(3000))
        m_daemon.kill();
    m_daemon.waitForFinished(1000);
}

bool LoginBus::start(bool withLoginManager) {
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--print-address=1")});
    while (m_daemon.waitForStarted(TestData::Bound) && !m_daemon.canReadLine())
        if (!m_daemon.waitForReadyRead(TestData::Bound))
            break;
    if (!m_daemon.canReadLine()) {
        m_error = QStringLiteral("dbus-daemon (Debian package dbus-daemon) did not start: ") +
                  m_daemon.errorString() + QString::fromLocal8Bit(m_daemon.readAllStandardError());
        return false;
    }
    m_address = QString::fromLatin1(m_daemon.readLine()).trimmed();
    if (!withLoginManager)
        return true;
    QDBusConnection bus =
        QDBusConnection::connectToBus(m_address, QStringLiteral("login-stand-in"));
    m_registered = true;
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), this,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        m_error = QStringLiteral("cannot register the login manager: ") + bus.lastError().message();
        return false;
    }
    return true;
}

QDBusUnixFileDescriptor LoginBus::Inhibit(const QString& what, const QString& who,
                                          const QString& why, const QString& mode) {
    m_calls.append({what, who, why, mode});
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    m_readEnds.append(fds[0]);
    // The descriptor object keeps a duplicate: only the caller's copies keep
    // the pipe open.
    QDBusUnixFileDescriptor writeEnd(fds[1]);
    ::close(fds[1]);
    return writeEnd;
}

int LoginBus::openInhibitors() const {
    int open = 0;
    for (int fd : m_readEnds) {
        pollfd p{fd, POLLIN, 0};
        // A pipe whose write ends are all closed reads as hang-up.
        if (::poll(&p, 1, 0) == 0 || !(p.revents & POLLHUP))
            ++open;
    }
    return open;
}
