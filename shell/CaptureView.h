#pragma once

#include <QImage>
#include <QWidget>

// The live picture: the latest frame, stretched over the whole widget.
class CaptureView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptureView)

public:
    explicit CaptureView(QWidget* parent = nullptr);

    void showPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
};
