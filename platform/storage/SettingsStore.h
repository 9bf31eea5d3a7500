#pragma once

#include <QString>

// The per-user settings store: one INI file, sections of "key=value" lines.
// Section and key names match without regard to case; values are kept as
// text. Every read looks at the file as it is now and every write rewrites
// it atomically, so a crash never leaves a half-written file.
class SettingsStore final {
public:
    explicit SettingsStore(QString filePath);

    // ${XDG_CONFIG_HOME:-~/.config}/<application>/Sentorix.conf
    static QString defaultPath(const QString& application);

    QString filePath() const { return m_filePath; }

    // The stored text, or defaultText when the key is missing.
    QString read(const QString& section, const QString& key, const QString& defaultText) const;
    // Stores text under key, creating the file and section as needed.
    // Returns false when the file cannot be written.
    bool write(const QString& section, const QString& key, const QString& text);

private:
    QString m_filePath;
};
