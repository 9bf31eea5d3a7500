#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

// The live picture: the latest frame, stretched over the whole widget. A
// new frame only marks the picture stale; it is fetched (and so made) when
// the widget paints, which a hidden or minimised window never does, and
// paints that fall behind the frames are merged.
class CaptureView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptureView)

public:
    explicit CaptureView(QWidget* parent = nullptr);

    // Where the latest picture comes from, at most as large as asked.
    void setPictureSource(std::function<QImage(QSize most)> source);
    // A newer picture can be had from the source.
    void pictureChanged();
    // The picture drawn last.
    const QImage& picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<QImage(QSize most)> m_source;
    bool m_stale = false;
    QImage m_picture;
};
