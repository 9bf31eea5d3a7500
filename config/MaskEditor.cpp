#include "MaskEditor.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

constexpr double Full = 100.0;
// Proportions assumed until the first picture comes.
constexpr QSize DefaultPicture{640, 480};

} // namespace

MaskEditor::MaskEditor(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("MaskEditor"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setMinimumSize(240, 180);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void MaskEditor::setPicture(const QImage& picture) {
    m_picture = picture;
    update();
}

void MaskEditor::setMasks(const QList<QRectF>& masks) {
    m_masks.clear();
    const QRectF whole(0, 0, Full, Full);
    for (const QRectF& m : masks)
        if (const QRectF inside = m.normalized() & whole; !inside.isEmpty())
            m_masks.append(inside);
    m_selected = -1;
    update();
    Q_EMIT masksChanged();
}

void MaskEditor::deleteSelected() {
    if (m_selected < 0)
        return;
    m_masks.removeAt(m_selected);
    m_selected = -1;
    m_drag = Drag::None;
    update();
    Q_EMIT masksChanged();
}

QRectF MaskEditor::pictureRect() const {
    const QSize source = m_picture.isNull() ? DefaultPicture : m_picture.size();
    const QSizeF fitted = QSizeF(source).scaled(QSizeF(size()), Qt::KeepAspectRatio);
    return QRectF(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2),
                  fitted);
}

QRectF MaskEditor::toWidget(const QRectF& percent) const {
    const QRectF p = pictureRect();
    return QRectF(p.left() + percent.left() * p.width() / Full,
                  p.top() + percent.top() * p.height() / Full, percent.width() * p.width() / Full,
                  percent.height() * p.height() / Full);
}

QPointF MaskEditor::toPercent(const QPointF& widgetPos) const {
    const QRectF p = pictureRect();
    return {std::clamp((widgetPos.x() - p.left()) * Full / p.width(), 0.0, Full),
            std::clamp((widgetPos.y() - p.top()) * Full / p.height(), 0.0, Full)};
}

QSize MaskEditor::sizeHint() const {
    const QSize source = m_picture.isNull() ? DefaultPicture : m_picture.size();
    return source.scaled(DefaultPicture, Qt::KeepAspectRatio);
}

int MaskEditor::maskAt(const QPointF& pos) const {
    for (qsizetype i = m_masks.size() - 1; i >= 0; --i)
        if (toWidget(m_masks[i]).contains(pos))
            return int(i);
    return -1;
}

void MaskEditor::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    const QRectF picture = pictureRect();
    if (m_picture.isNull()) {
        p.setPen(Qt::gray);
        p.drawText(picture, Qt::AlignCenter, QStringLiteral("No picture yet"));
    } else {
        p.drawImage(picture, m_picture);
    }
    for (qsizetype i = 0; i < m_masks.size(); ++i) {
        const QRectF r = toWidget(m_masks[i]);
        p.fillRect(r, ShadeColor);
        p.fillRect(r, QBrush(QColor(255, 255, 255, 60), Qt::BDiagPattern));
        const bool selected = i == m_selected;
        p.setPen(QPen(selected ? QColor(255, 210, 0) : QColor(230, 230, 230), selected ? 2 : 1));
        p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

void MaskEditor::mousePressEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    m_selected = maskAt(pos);
    m_drag = Drag::None;
    if (event->button() == Qt::LeftButton) {
        m_anchor = toPercent(pos);
        if (m_selected >= 0) {
            m_drag = Drag::Moving;
            m_grabbed = m_masks[m_selected];
        } else {
            // Also from the bars beside the picture, so an area can begin
            // right at its edge.
            m_drag = Drag::Drawing;
            m_masks.append(QRectF(m_anchor, m_anchor));
            m_selected = int(m_masks.size() - 1);
        }
    }
    update();
}

void MaskEditor::mouseMoveEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    if (m_drag == Drag::None) {
        setCursor(maskAt(pos) >= 0 ? Qt::SizeAllCursor : Qt::CrossCursor);
        return;
    }
    QRectF& area = m_masks[m_selected];
    if (m_drag == Drag::Drawing) {
        area = QRectF(m_anchor, toPercent(pos)).normalized();
    } else {
        // Moved by the pointer's way, but never out of the picture.
        const QRectF p = pictureRect();
        const QPointF by((pos.x() - p.left()) * Full / p.width() - m_anchor.x(),
                         (pos.y() - p.top()) * Full / p.height() - m_anchor.y());
        area = m_grabbed.translated(by);
        area.moveTo(std::clamp(area.left(), 0.0, Full - area.width()),
                    std::clamp(area.top(), 0.0, Full - area.height()));
    }
    update();
}

void MaskEditor::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_drag == Drag::None)
        return;
    mouseMoveEvent(event);
    if (m_drag == Drag::Drawing) {
        const QRectF drawn = toWidget(m_masks[m_selected]);
        if (drawn.width() < MinPixels || drawn.height() < MinPixels) {
            m_masks.removeAt(m_selected);
            m_selected = -1;
        }
    }
    m_drag = Drag::None;
    update();
    Q_EMIT masksChanged();
}

void MaskEditor::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) && m_selected >= 0)
        deleteSelected();
    else
        QWidget::keyPressEvent(event);
}

void MaskEditor::contextMenuEvent(QContextMenuEvent* event) {
    m_selected = maskAt(event->pos());
    update();
    if (m_selected < 0)
        return;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("MaskMenu"));
    connect(menu.addAction(QStringLiteral("&Delete")), &QAction::triggered, this,
            &MaskEditor::deleteSelected);
    menu.exec(event->globalPos());
}
