#include "StandbyCountdown.h"

#include "PublicStuff.h"
#include "Surveillance.h"

#include <algorithm>

StandbyCountdown::StandbyCountdown(PublicStuff& stuff, Surveillance& surveillance, QObject* parent)
    : QObject(parent)
    , m_stuff(stuff)
    , m_surveillance(surveillance) {
    Timer1.setObjectName(QStringLiteral("Timer1"));
    connect(&Timer1, &QTimer::timeout, this, &StandbyCountdown::Timer1_Timer);
}

QString StandbyCountdown::countText(std::int16_t seconds) {
    return QString::number(seconds) + QStringLiteral(" seconds");
}

void StandbyCountdown::Form_Load() {
    m_loadedAt = m_stuff.now();
    CountdownSeconds = StartSeconds;
    Q_EMIT countChanged(CountdownSeconds);
    Timer1.setInterval(TickMs);
    Timer1.start();
}

void StandbyCountdown::Timer1_Timer() {
    if (!Timer1.isActive())
        return;
    // Whole seconds of both times, as the other countdowns count. A tick
    // delayed past the end still shows 0, never a negative count.
    const std::int64_t elapsed = m_stuff.now().toSecsSinceEpoch() - m_loadedAt.toSecsSinceEpoch();
    CountdownSeconds =
        std::int16_t(std::clamp<std::int64_t>(StartSeconds - elapsed, 0, StartSeconds));
    Q_EMIT countChanged(CountdownSeconds);
    if (CountdownSeconds >= 1)
        return;
    Timer1.stop();
    // Started meanwhile (remote console): it stays on.
    if (!m_surveillance.SurveillanceOn())
        m_surveillance.mnuStart_Click();
    Q_EMIT closeRequested(true);
}

void StandbyCountdown::Command1_Click() {
    Timer1.stop();
    Q_EMIT closeRequested(false);
}
