#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

// One running instance per settings file. The first instance listens on a
// local socket named after the file; a later one finds it there, asks it
// to bring its window forward and is refused. A socket left behind by a
// crash or kill -9 answers no one and is taken over, so the claim never
// goes stale. A short lock file keeps two starts at the same moment from
// both taking it.
class InstanceGuard final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstanceGuard)

public:
    enum class Claim {
        Claimed,        // this is the only instance
        AlreadyRunning, // another instance has the settings file
        Unguarded       // the socket cannot be had; the instance runs unguarded
    };

    explicit InstanceGuard(const QString& settingsPath, QObject* parent = nullptr);
    ~InstanceGuard() override;

    // The socket of a settings file: in $XDG_RUNTIME_DIR, else the temp folder.
    static QString socketPath(const QString& settingsPath);

    // With AlreadyRunning, the other instance has been asked to come
    // forward and has answered, or has not within answerMs.
    Claim claim(int answerMs = 10000);
    // Why the claim came out Unguarded.
    QString lastError() const { return m_lastError; }

Q_SIGNALS:
    // A later start asked for this instance's window.
    void raiseRequested();

private:
    bool askRunningInstance(int answerMs);
    void serve();

    QString m_socketPath;
    QLocalServer m_server;
    QString m_lastError;
};
