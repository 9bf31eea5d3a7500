#include "DeviationPlot.h"

#include "DeviationHistory.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

DeviationPlot::DeviationPlot(const DeviationHistory& history, QWidget* parent)
    : QWidget(parent)
    , m_history(history) {
    setObjectName(QStringLiteral("DeviationPlot"));
    setMinimumSize(320, 120);
}

QRect DeviationPlot::area() const {
    const int textWidth = fontMetrics().horizontalAdvance(QStringLiteral("100%")) + 6;
    const int textHeight = fontMetrics().height();
    return rect().adjusted(textWidth, textHeight / 2 + 2, -4, -textHeight - 4);
}

double DeviationPlot::topPercent() const {
    double top = std::max(0.5, 2.0 * double(m_history.threshold()));
    for (const DeviationHistory::Sample& s : m_history.samples())
        top = std::max(top, double(s.deviation));
    return top;
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
    const auto xOf = [&](qint64 ms) {
        return a.left() + int((a.width() - 1) * double(ms - end + DeviationHistory::SpanMs) /
                              double(DeviationHistory::SpanMs));
    };
    const auto yOf = [&](double percent) {
        return a.bottom() - int(std::lround((a.height() - 1) * std::max(0.0, percent) / top));
    };

    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(QRect(0, a.top() - 8, a.left() - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("%1%").arg(top, 0, 'f', top < 10 ? 1 : 0));
    p.drawText(QRect(0, a.bottom() - 8, a.left() - 4, 16), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("0%"));
    p.drawText(QRect(a.left(), a.bottom() + 2, a.width(), fontMetrics().height() + 2),
               Qt::AlignLeft | Qt::AlignTop, QStringLiteral("-2 min"));
    p.drawText(QRect(a.left(), a.bottom() + 2, a.width(), fontMetrics().height() + 2),
               Qt::AlignRight | Qt::AlignTop, QStringLiteral("now"));

    for (const DeviationHistory::Mark& m : m_history.marks()) {
        p.setPen(QPen(m.started ? StartColor : EndColor, 2));
        p.drawLine(xOf(m.ms), a.top() + 1, xOf(m.ms), a.bottom() - 1);
    }
    const int thresholdY = yOf(m_history.threshold());
    p.setPen(QPen(ThresholdColor, 1));
    p.drawLine(a.left() + 1, thresholdY, a.right() - 1, thresholdY);

    QPainterPath line;
    for (const DeviationHistory::Sample& s : m_history.samples()) {
        const QPointF point(xOf(s.ms), yOf(s.deviation));
        if (line.elementCount() == 0)
            line.moveTo(point);
        else
            line.lineTo(point);
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(DeviationColor, 1.5));
    p.drawPath(line);
}
