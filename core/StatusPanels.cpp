#include "StatusPanels.h"

StatusPanels::StatusPanels(QObject* parent)
    : QObject(parent) {}

QString StatusPanels::text(int panel) const {
    if (panel < 1 || panel > Count)
        return {};
    return m_texts[std::size_t(panel - 1)];
}

void StatusPanels::setText(int panel, const QString& text) {
    if (panel < 1 || panel > Count)
        return;
    QString& slot = m_texts[std::size_t(panel - 1)];
    if (slot == text)
        return;
    slot = text;
    Q_EMIT textChanged(panel, text);
}

QString StatusPanels::toolTip(int panel) {
    switch (panel) {
    case 1:
        return QStringLiteral("Current image deviation in %");
    case 2:
        return QStringLiteral("System status");
    case 3:
        return QStringLiteral("Time for next base image refresh");
    case 4:
        return QStringLiteral("Time to stop current recording");
    case 5:
        return QStringLiteral("Timestamp when recording started");
    default:
        return {};
    }
}
