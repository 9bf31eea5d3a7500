#include "TraceLog.h"

#include "DateText.h"

TraceLog::TraceLog(Clock clock)
    : m_clock(std::move(clock)) {}

TraceLog::~TraceLog() {
    close();
}

QString TraceLog::defaultPath() {
    QString dir = qEnvironmentVariable("TEMP");
    if (dir.isEmpty())
        dir = qEnvironmentVariable("TMPDIR");
    if (dir.isEmpty())
        dir = QStringLiteral("/tmp");
    return dir + QStringLiteral("/ZarvelDebug.dat");
}

bool TraceLog::open(const QString& path) {
    close();
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void TraceLog::close() {
    if (m_file.isOpen())
        m_file.close();
}

void TraceLog::write(const QString& where, const QString& text) {
    if (!m_file.isOpen())
        return;
    const QString line = DateText::general(m_clock()) + QStringLiteral(" - ") + where +
                         QStringLiteral(" - ") + text + QStringLiteral("\r\n");
    m_file.write(line.toUtf8());
    // Each line reaches the file at once, so a trace still tells what
    // happened when the program is killed.
    m_file.flush();
}
