#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QWidget>

// The live picture with the areas left out of the examination drawn shaded
// over it. A drag on free ground draws a new area, a drag on an area moves
// it, and the Delete key or the context menu removes the selected one.
// Areas are held in percent of the picture (0 to 100), so they fit any
// frame size, and always lie inside it.
class MaskEditor final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MaskEditor)

public:
    static inline const QColor ShadeColor{20, 20, 40, 150};
    // A drag smaller than this either way is a slip of the hand, not an area.
    static constexpr double MinPixels = 6.0;

    explicit MaskEditor(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }
    void setMasks(const QList<QRectF>& masks);
    const QList<QRectF>& masks() const { return m_masks; }
    // The index of the selected area, -1 when none is.
    int selected() const { return m_selected; }
    void deleteSelected();
    // Where the picture is drawn: the widget less the bars that keep its
    // proportions.
    QRectF pictureRect() const;
    // An area in percent of the picture as widget coordinates, and back.
    QRectF toWidget(const QRectF& percent) const;
    QPointF toPercent(const QPointF& widgetPos) const;

    QSize sizeHint() const override;

Q_SIGNALS:
    void masksChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    enum class Drag { None, Drawing, Moving };

    // The topmost area under a widget position, -1 for none.
    int maskAt(const QPointF& pos) const;

    QImage m_picture;
    QList<QRectF> m_masks;
    int m_selected = -1;
    Drag m_drag = Drag::None;
    QPointF m_anchor; // in percent, where the drag began
    QRectF m_grabbed; // the moved area as the drag found it
};
