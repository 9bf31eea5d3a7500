#include "CaptureView.h"

#include <QPainter>

#include <utility>

CaptureView::CaptureView(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CaptureView::setPictureSource(std::function<QImage(QSize most)> source) {
    m_source = std::move(source);
    m_stale = true;
    update();
}

void CaptureView::pictureChanged() {
    m_stale = true;
    // A visible widget is painted anew; a hidden or minimised one fetches
    // the picture when it is shown again.
    if (isVisible() && !window()->isMinimized())
        update();
}

void CaptureView::paintEvent(QPaintEvent*) {
    // Only the pixels the widget shows are made.
    if (std::exchange(m_stale, false) && m_source)
        m_picture = m_source(size() * devicePixelRatio());
    QPainter painter(this);
    if (m_picture.isNull() || width() <= 0 || height() <= 0) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.drawImage(rect(), m_picture);
}
