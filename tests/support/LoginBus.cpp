#include "LoginBus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusUnixFileDescriptor>
#include <QStandardPaths>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

// The Manager interface of org.freedesktop.login1, as far as Inhibit goes.
class LoginManagerStandIn final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~LoginManagerStandIn() override {
        for (int fd : readEnds)
            ::close(fd);
    }

    QList<LoginBus::InhibitCall> calls;
    QList<int> readEnds;

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        calls.append({what, who, why, mode});
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return {};
        readEnds.append(fds[0]);
        // The descriptor object keeps a duplicate; ours goes at once, so
        // only the caller's copies keep the pipe open.
        QDBusUnixFileDescriptor writeEnd(fds[1]);
        ::close(fds[1]);
        return writeEnd;
    }
};

LoginBus::LoginBus() = default;

LoginBus::~LoginBus() {
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
    m_manager.reset();
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000))
            m_daemon.kill();
        m_daemon.waitForFinished(1000);
    }
}

bool LoginBus::start(bool withLoginManager) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (program.isEmpty()) {
        m_error = QStringLiteral("dbus-daemon not found (Debian package dbus-daemon)");
        return false;
    }
    m_daemon.setProgram(program);
    m_daemon.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1")});
    m_daemon.start();
    if (!m_daemon.waitForStarted(5000)) {
        m_error = QStringLiteral("dbus-daemon did not start");
        return false;
    }
    while (!m_daemon.canReadLine()) {
        if (!m_daemon.waitForReadyRead(5000)) {
            m_error = QStringLiteral("dbus-daemon printed no address: ") +
                      QString::fromLocal8Bit(m_daemon.readAllStandardError());
            return false;
        }
    }
    m_address = QString::fromLatin1(m_daemon.readLine()).trimmed();
    if (!withLoginManager)
        return true;

    m_connectionName = QStringLiteral("login-stand-in");
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, m_connectionName);
    if (!bus.isConnected()) {
        m_error = QStringLiteral("cannot connect to ") + m_address;
        return false;
    }
    m_manager = std::make_unique<LoginManagerStandIn>();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), m_manager.get(),
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        m_error = QStringLiteral("cannot register the login manager: ") + bus.lastError().message();
        return false;
    }
    return true;
}

QList<LoginBus::InhibitCall> LoginBus::calls() const {
    return m_manager ? m_manager->calls : QList<InhibitCall>();
}

int LoginBus::openInhibitors() const {
    if (!m_manager)
        return 0;
    int open = 0;
    for (int fd : m_manager->readEnds) {
        pollfd p{fd, POLLIN, 0};
        // A pipe whose write ends are all closed reads as hang-up.
        if (::poll(&p, 1, 0) == 0 || !(p.revents & POLLHUP))
            ++open;
    }
    return open;
}

#include "LoginBus.moc"
