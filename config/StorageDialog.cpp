#include "StorageDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

StorageDialog::StorageDialog(bool deleteOldest, std::int32_t keepDays, QWidget* parent)
    : QDialog(parent)
    , m_deleteOldest(new QCheckBox(
          QStringLiteral("&Delete the oldest recordings when free space runs low"), this))
    , m_keepDays(new QSpinBox(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)) {
    setObjectName(QStringLiteral("StorageDialog"));
    setWindowTitle(QStringLiteral("Storage"));
    setModal(true);
    m_deleteOldest->setObjectName(QStringLiteral("DeleteOldest"));
    m_deleteOldest->setChecked(deleteOldest);
    m_keepDays->setObjectName(QStringLiteral("KeepDays"));
    m_keepDays->setRange(0, MaxKeepDays);
    m_keepDays->setSuffix(QStringLiteral(" days"));
    m_keepDays->setSpecialValueText(QStringLiteral("keep all"));
    m_keepDays->setValue(std::clamp<std::int32_t>(keepDays, 0, MaxKeepDays));
    m_buttons->setObjectName(QStringLiteral("Buttons"));
    m_buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OK"));
    m_buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("Cancel"));

    auto* form = new QFormLayout;
    form->addRow(m_deleteOldest);
    form->addRow(QStringLiteral("Delete recordings &older than"), m_keepDays);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

StorageDialog::~StorageDialog() = default;

bool StorageDialog::deleteOldest() const {
    return m_deleteOldest->isChecked();
}

std::int32_t StorageDialog::keepDays() const {
    return m_keepDays->value();
}
