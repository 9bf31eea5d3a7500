#pragma once

#include <QObject>
#include <QString>

#include <array>

// The five status-bar texts. They are state, not only display: the engine
// writes them, the status bar shows them and the remote console reads them.
class StatusPanels final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusPanels)

public:
    static constexpr int Count = 5;

    explicit StatusPanels(QObject* parent = nullptr);

    // Panels are numbered 1 to 5.
    QString text(int panel) const;
    void setText(int panel, const QString& text);

    static QString toolTip(int panel);

Q_SIGNALS:
    void textChanged(int panel, const QString& text);

private:
    std::array<QString, Count> m_texts;
};
