#pragma once

#include <QObject>
#include <QString>

#include <array>

// The five status-bar panels, numbered as the status bar shows them.
enum class Panel { Deviation = 1, State = 2, BaseRefresh = 3, TimeToGo = 4, Timestamp = 5 };

// What the program can be doing; each has one name, shown in panel 2 (or,
// for the last two, in panel 5) and used by the remote console.
enum class SystemState { Off, Standby, Recording, Recorded, Mailing, LowDiskSpace, NoCamera };

// The five status-bar texts. They are state, not only display: the engine
// writes them, the status bar shows them and the remote console reads them.
class StatusPanels final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusPanels)

public:
    static constexpr int Count = 5;

    explicit StatusPanels(QObject* parent = nullptr);

    QString text(Panel panel) const;
    void setText(Panel panel, const QString& text);
    // Panel 2 shows the state's name.
    void setState(SystemState state) { setText(Panel::State, stateName(state)); }

    static QString stateName(SystemState state);
    static QString toolTip(Panel panel);

Q_SIGNALS:
    void textChanged(Panel panel, const QString& text);

private:
    std::array<QString, Count> m_texts;
};
