// platform/RegionFrame.h
#pragma once
#include <QWidget>

// The region frame drawn over the Before view: a green outline inside its bounds,
// no fill. Pressing anywhere inside it starts dragging it; the view it is dropped
// on receives the drop point (PictureView::FrameDropped).
class RegionFrame : public QWidget {
    Q_OBJECT
public:
    explicit RegionFrame(QWidget* parent = nullptr);

signals:
    void DragStarted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};
