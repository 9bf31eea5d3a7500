#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>

#include <functional>

// The diagnosis trace: one file in the temporary directory, opened once for
// appending and held open for the whole run. Lines are
// "date time - where - text" with CR LF endings.
class TraceLog final {
    Q_DISABLE_COPY_MOVE(TraceLog)

public:
    using Clock = std::function<QDateTime()>;

    explicit TraceLog(Clock clock);
    ~TraceLog();

    // TEMP, else TMPDIR, else /tmp, followed by "/ZarvelDebug.dat".
    static QString defaultPath();

    // Returns false when the file cannot be opened; the run then goes on
    // without a trace.
    bool open(const QString& path);
    void close();
    bool isOpen() const { return m_file.isOpen(); }

    void write(const QString& where, const QString& text);

private:
    Clock m_clock;
    QFile m_file;
};
