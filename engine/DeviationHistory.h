#pragma once

#include <QObject>

#include <deque>

class PublicStuff;
class StatusPanels;
class Surveillance;

// The deviations of the last two minutes and where recordings started and
// ended in them, for the statistics window's plot. It follows the engine's
// signals and the state panel, so it needs no window.
class DeviationHistory final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviationHistory)

public:
    static constexpr qint64 SpanMs = 120000;

    struct Sample {
        qint64 ms;
        float deviation;
    };
    struct Mark {
        qint64 ms;
        bool started; // else a recording ended
    };

    DeviationHistory(Surveillance& engine, StatusPanels& panels, const PublicStuff& stuff,
                     QObject* parent = nullptr);

    const std::deque<Sample>& samples() const { return m_samples; }
    const std::deque<Mark>& marks() const { return m_marks; }
    float threshold() const;
    // The newest moment the history knows; the plot ends there.
    qint64 latestMs() const { return m_latestMs; }

private:
    void add(float deviation);
    void mark(bool started);
    void forgetBefore(qint64 ms);

    const PublicStuff& m_stuff;
    std::deque<Sample> m_samples;
    std::deque<Mark> m_marks;
    qint64 m_latestMs = 0;
    bool m_recording = false;
};
