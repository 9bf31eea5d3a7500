#pragma once

#include <QDialog>

#include <cstdint>

class QCheckBox;
class QDialogButtonBox;
class QSpinBox;

// What may happen to old recordings: the oldest deleted where low disk
// space would stop surveillance, and an age after which they go. The
// dialog only edits the two values; the caller applies and stores them
// when it is accepted.
class StorageDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StorageDialog)

public:
    StorageDialog(bool deleteOldest, std::int32_t keepDays, QWidget* parent = nullptr);
    ~StorageDialog() override;

    bool deleteOldest() const;
    // 0 keeps every recording.
    std::int32_t keepDays() const;

    // A hundred years: any longer is the same as keeping them all.
    static constexpr int MaxKeepDays = 36500;

private:
    QCheckBox* const m_deleteOldest;
    QSpinBox* const m_keepDays;
    QDialogButtonBox* const m_buttons;
};
