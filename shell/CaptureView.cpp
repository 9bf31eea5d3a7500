#include "CaptureView.h"

#include <QPainter>

CaptureView::CaptureView(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CaptureView::showPicture(const QImage& picture) {
    m_picture = picture;
    update();
}

void CaptureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_picture.isNull() || width() <= 0 || height() <= 0) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.drawImage(rect(), m_picture);
}
