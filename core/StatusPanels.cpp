#include "StatusPanels.h"

StatusPanels::StatusPanels(QObject* parent)
    : QObject(parent) {}

QString StatusPanels::text(Panel panel) const {
    return m_texts[std::size_t(panel) - 1];
}

void StatusPanels::setText(Panel panel, const QString& text) {
    QString& slot = m_texts[std::size_t(panel) - 1];
    if (slot == text)
        return;
    slot = text;
    Q_EMIT textChanged(panel, text);
}

QString StatusPanels::stateName(SystemState state) {
    switch (state) {
    case SystemState::Off:
        return QStringLiteral("OFF");
    case SystemState::Standby:
        return QStringLiteral("STANDBY");
    case SystemState::Recording:
        return QStringLiteral("RECORDING");
    case SystemState::Recorded:
        return QStringLiteral("RECORDED");
    case SystemState::Mailing:
        return QStringLiteral("MAILING");
    case SystemState::LowDiskSpace:
        return QStringLiteral("LOW DISK SPACE");
    case SystemState::NoCamera:
        return QStringLiteral("NO CAMERA");
    }
    return {};
}

QString StatusPanels::toolTip(Panel panel) {
    switch (panel) {
    case Panel::Deviation:
        return QStringLiteral("Current image deviation in %");
    case Panel::State:
        return QStringLiteral("System status");
    case Panel::BaseRefresh:
        return QStringLiteral("Time for next base image refresh");
    case Panel::TimeToGo:
        return QStringLiteral("Time to stop current recording");
    case Panel::Timestamp:
        return QStringLiteral("Timestamp when recording started");
    }
    return {};
}
