#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The HTML event log: a page made from a template that holds a marker
// line; every entry becomes a table row written directly above each
// marker, so the page is complete and viewable after every entry.
//
// Both files are given by bare name and so lie in the working directory.
// The log has no state in memory: every entry reads and rewrites the file.
class EventLog final {
public:
    static constexpr const char* LogFile = "zarvellog.html";
    static constexpr const char* TemplateFile = "zarveldft.html";
    static constexpr const char* Marker = "<!--DATA-->";

    explicit EventLog(QString directory = QString());

    QString logPath() const;
    QString templatePath() const;

    // A recording row when `recording` holds more than blanks, else a
    // message row spanning the middle columns. The camera name is needed
    // for a recording row only; without one no entry is written. Returns
    // false when no entry was written (no log, unreadable, no camera, or the
    // rewrite failed, which leaves the previous log whole).
    bool AddLogEntry(const QString& first, const QString& second, const QString& recording,
                     const std::optional<QString>& camera, float threshold) const;

    // Start-up: the template becomes the log when there is none yet.
    void createIfMissing() const;
    // Back to the template's content; without a template no log is left.
    void clear() const;

    static QByteArray recordingRow(const QString& first, const QString& second,
                                   const QString& camera, float threshold,
                                   const QString& recording);
    static QByteArray messageRow(const QString& first, const QString& second);
    // " 1.2", " 8": the general number form with a blank for the sign.
    static QString thresholdText(float threshold);
    // The log's content with `row` above every marker line; every line,
    // the last one included, ends in CR LF. A line ends at CR or CR LF; a
    // lone LF belongs to the line's text.
    static QByteArray withRow(const QByteArray& content, const QByteArray& row);

private:
    // The log's whole new content, replacing the old in one step where the
    // folder allows it; false when it could not be written.
    bool rewrite(const QByteArray& content) const;

    QString m_directory;
};
