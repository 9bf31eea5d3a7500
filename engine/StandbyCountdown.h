#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>

class PublicStuff;
class Surveillance;

// The count of the standby countdown window: 30 seconds from its opening,
// then surveillance is armed unless it already runs. The count is the whole
// seconds left since the opening by the program's clock, so late ticks
// never stretch the wait.
class StandbyCountdown final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StandbyCountdown)

public:
    static constexpr std::int16_t StartSeconds = 30;
    static constexpr int TickMs = 1000;

    StandbyCountdown(PublicStuff& stuff, Surveillance& surveillance, QObject* parent = nullptr);

    // The window's load: the count starts again at 30 and the tick runs.
    void Form_Load();
    void Timer1_Timer();
    // "&Cancel": the window closes and nothing is started.
    void Command1_Click();

    // "30 seconds": the count as decimal text.
    static QString countText(std::int16_t seconds);

    std::int16_t CountdownSeconds = 0;
    QTimer Timer1;

Q_SIGNALS:
    void countChanged(std::int16_t seconds);
    // The window is to close; `started` tells whether the end of the count
    // (not a cancel) closed it.
    void closeRequested(bool started);

private:
    PublicStuff& m_stuff;
    Surveillance& m_surveillance;
    QDateTime m_loadedAt;
};
