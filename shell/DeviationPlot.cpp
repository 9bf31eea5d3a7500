#include "DeviationPlot.h"

#include "DeviationHistory.h"
#include "SensitivityPresets.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr int MaxTicks = 8;
constexpr int TickLength = 3;
constexpr qint64 MinuteMs = 60000;

// A tick's text with as many decimals as its step needs.
QString tickText(double value, double step) {
    const int decimals = std::max(0, -int(std::floor(std::log10(step) + 1e-9)));
    return QString::number(value, 'f', decimals) + u'%';
}

int rowOf(const QRect& area, double top, double percent) {
    return area.bottom() - int(std::lround((area.height() - 1) * std::max(0.0, percent) / top));
}

} // namespace

DeviationPlot::DeviationPlot(const DeviationHistory& history, QWidget* parent)
    : QWidget(parent)
    , m_history(history) {
    setObjectName(QStringLiteral("DeviationPlot"));
    // Room for the presets' names between their lines.
    setMinimumSize(320, 160);
}

QList<double> DeviationPlot::valueTicks(double top) {
    if (!(top > 0.0))
        return {0.0};
    double power = std::pow(10.0, std::floor(std::log10(top / MaxTicks)));
    double step = 0.0;
    while (step == 0.0) {
        for (const double factor : {1.0, 2.0, 5.0}) {
            if (std::floor(top / (factor * power) + 1e-9) + 1 <= MaxTicks) {
                step = factor * power;
                break;
            }
        }
        power *= 10.0;
    }
    QList<double> ticks;
    for (int i = 0; i * step <= top * (1 + 1e-9); ++i)
        ticks.append(i * step);
    return ticks;
}

QRect DeviationPlot::area() const {
    const QList<double> ticks = valueTicks(topPercent());
    const double step = ticks.size() > 1 ? ticks[1] : 1.0;
    int textWidth = 0;
    for (const double t : ticks)
        textWidth = std::max(textWidth, fontMetrics().horizontalAdvance(tickText(t, step)));
    const int textHeight = fontMetrics().height();
    return rect().adjusted(textWidth + TickLength + 4, textHeight / 2 + 2, -4,
                           -textHeight - TickLength - 4);
}

double DeviationPlot::topPercent() const {
    double top = std::max(0.5, 2.0 * double(m_history.threshold()));
    for (const DeviationHistory::Sample& s : m_history.samples())
        top = std::max(top, double(s.deviation));
    return top;
}

int DeviationPlot::yOf(double percent) const {
    return rowOf(area(), topPercent(), percent);
}

void DeviationPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect a = area();
    p.fillRect(rect(), palette().window());
    p.fillRect(a, palette().base());
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(a.adjusted(0, 0, -1, -1));

    const qint64 end = m_history.latestMs();
    const double top = topPercent();
    const auto rowAt = [&](double percent) { return rowOf(a, top, percent); };
    const auto xOf = [&](qint64 ms) {
        return a.left() + int((a.width() - 1) * double(ms - end + DeviationHistory::SpanMs) /
                              double(DeviationHistory::SpanMs));
    };

    // The scales: percent at the left, minutes before the newest below.
    const int textHeight = fontMetrics().height();
    p.setPen(palette().color(QPalette::WindowText));
    const QList<double> ticks = valueTicks(top);
    const double step = ticks.size() > 1 ? ticks[1] : 1.0;
    for (const double t : ticks) {
        const int y = rowAt(t);
        p.drawLine(a.left() - TickLength, y, a.left() - 1, y);
        p.drawText(QRect(0, y - textHeight / 2, a.left() - TickLength - 2, textHeight),
                   Qt::AlignRight | Qt::AlignVCenter, tickText(t, step));
    }
    for (qint64 minutes = DeviationHistory::SpanMs / MinuteMs; minutes >= 0; --minutes) {
        const int x = xOf(end - minutes * MinuteMs);
        p.drawLine(x, a.bottom() + 1, x, a.bottom() + TickLength);
        const QString text =
            minutes == 0 ? QStringLiteral("now") : QStringLiteral("-%1 min").arg(minutes);
        const int w = fontMetrics().horizontalAdvance(text);
        const int left = std::clamp(x - w / 2, a.left(), a.right() + 1 - w);
        p.drawText(QRect(left, a.bottom() + TickLength + 1, w, textHeight),
                   Qt::AlignLeft | Qt::AlignTop, text);
    }

    // The presets, their names at alternate ends so that neighbours do
    // not cover each other; where a large deviation squeezes the lines
    // together, a name with no room is left out.
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    p.setFont(small);
    const int nameHeight = QFontMetrics(small).height();
    std::array<int, 2> lastNameY{a.bottom() + nameHeight, a.bottom() + nameHeight};
    for (std::size_t i = 0; i < SensitivityPresets::Thresholds.size(); ++i) {
        const int y = rowAt(SensitivityPresets::Thresholds[i]);
        if (y <= a.top() + 1)
            continue;
        p.setPen(QPen(PresetColor, 1, Qt::DashLine));
        p.drawLine(a.left() + 1, y, a.right() - 1, y);
        int& last = lastNameY[i % 2];
        if (last - y < nameHeight || y - nameHeight - 1 < a.top())
            continue;
        last = y;
        p.setPen(PresetColor);
        const QString name = QString::fromLatin1(SensitivityPresets::Captions[i]).remove(u'&');
        p.drawText(QRect(a.left() + 4, y - nameHeight - 1, a.width() - 8, nameHeight),
                   (i % 2 == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignBottom, name);
    }

    for (const DeviationHistory::Mark& m : m_history.marks()) {
        p.setPen(QPen(m.started ? StartColor : EndColor, 2));
        p.drawLine(xOf(m.ms), a.top() + 1, xOf(m.ms), a.bottom() - 1);
    }
    const int thresholdY = rowAt(m_history.threshold());
    p.setPen(QPen(ThresholdColor, 1));
    p.drawLine(a.left() + 1, thresholdY, a.right() - 1, thresholdY);

    QPainterPath line;
    for (const DeviationHistory::Sample& s : m_history.samples()) {
        const QPointF point(xOf(s.ms), rowAt(s.deviation));
        if (line.elementCount() == 0)
            line.moveTo(point);
        else
            line.lineTo(point);
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(DeviationColor, 1.5));
    p.drawPath(line);
}
