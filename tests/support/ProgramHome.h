#pragma once

#include "SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>

// A throw-away home for the programs of one test: settings, trace, videos,
// the event log and its template live in it, the console gets a free port,
// and the test scene camera is the only device. It is also the working
// directory, where the program finds its event log.
class ProgramHome final {
public:
    ProgramHome() {
        QDir(m_dir.path()).mkpath(QStringLiteral("temp"));
        QDir(m_dir.path()).mkpath(QStringLiteral("videos"));
        QDir::setCurrent(m_dir.path());
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        telnetPort = probe.serverPort();
    }
    bool isValid() const { return m_dir.isValid() && telnetPort > 0; }

    QString root() const { return m_dir.path(); }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString configPath() const { return path(QStringLiteral("config/Norvane/Sentorix.conf")); }
    QString tracePath() const { return path(QStringLiteral("temp/ZarvelDebug.dat")); }
    QString videos() const { return path(QStringLiteral("videos")) + u'/'; }

    // Settings as "key=value" lines.
    bool store(const QStringList& lines) const {
        SettingsStore settings(configPath());
        bool written = true;
        for (const QString& line : lines)
            written &= settings.write(QStringLiteral("CONFIG"), line.section(u'=', 0, 0),
                                      line.section(u'=', 1));
        return written;
    }
    // Stored settings by key; several keys "a|b" give "value of a|value of b".
    QString stored(const char* keys) const {
        SettingsStore settings(configPath());
        QStringList values;
        for (const QString& key : QString::fromLatin1(keys).split(u'|'))
            values << settings.read(QStringLiteral("CONFIG"), key, QStringLiteral("<missing>"));
        return values.join(u'|');
    }
    // A file of the home as it is now.
    QByteArray read(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QByteArray trace() const { return read(QStringLiteral("temp/ZarvelDebug.dat")); }
    // Settings, trace and event log of the last run go.
    void clear() const {
        for (const char* name : {"config/Norvane/Sentorix.conf", "temp/ZarvelDebug.dat",
                                 "zarvellog.html", "zarveldft.html"})
            QFile::remove(path(QLatin1String(name)));
    }
    // The surroundings of the real program started as a process.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        env.insert(QStringLiteral("TEMP"), path(QStringLiteral("temp")));
        return env;
    }

    int telnetPort = 0;

private:
    QTemporaryDir m_dir;
};
