#include "DeviationHistory.h"

#include "PublicStuff.h"
#include "StatusPanels.h"
#include "Surveillance.h"

DeviationHistory::DeviationHistory(Surveillance& engine, StatusPanels& panels,
                                   const PublicStuff& stuff, QObject* parent)
    : QObject(parent)
    , m_stuff(stuff) {
    connect(&engine, &Surveillance::deviationMeasured, this, &DeviationHistory::add);
    // A recording runs while panel 2 says so, from its decision to its end.
    connect(&panels, &StatusPanels::textChanged, this, [this](Panel panel, const QString& text) {
        const bool recording = text == StatusPanels::stateName(SystemState::Recording);
        if (panel == Panel::State && recording != m_recording)
            mark(recording);
    });
}

float DeviationHistory::threshold() const {
    return m_stuff.Threshold;
}

void DeviationHistory::add(float deviation) {
    m_latestMs = m_stuff.now().toMSecsSinceEpoch();
    m_samples.push_back({m_latestMs, deviation});
    forgetBefore(m_latestMs - SpanMs);
}

void DeviationHistory::mark(bool started) {
    m_recording = started;
    m_latestMs = m_stuff.now().toMSecsSinceEpoch();
    m_marks.push_back({m_latestMs, started});
    forgetBefore(m_latestMs - SpanMs);
}

void DeviationHistory::forgetBefore(qint64 ms) {
    while (!m_samples.empty() && m_samples.front().ms < ms)
        m_samples.pop_front();
    while (!m_marks.empty() && m_marks.front().ms < ms)
        m_marks.pop_front();
}
