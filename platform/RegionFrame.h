// platform/RegionFrame.h
#pragma once
#include <QPointer>
#include <QRegion>
#include <QWidget>

// The region frame drawn over the Before view: a green outline inside its bounds,
// no fill. Only the outline takes presses: pressing on it starts dragging the
// frame, and the view it is dropped on receives the drop point
// (PictureView::FrameDropped). Presses inside the outline reach the widgets below.
//
// The frame is a sibling laid over its view, so its geometry stays in the
// parent's coordinates; ClipTo keeps what it shows and what it takes to the
// view's area, wherever the frame is moved or however large it grows.
class RegionFrame : public QWidget {
    Q_OBJECT
public:
    // How far into the frame, from its edge, a press still grabs the outline.
    static constexpr int kGrabWidth = 3;

    explicit RegionFrame(QWidget* parent = nullptr);

    void ClipTo(QWidget* view);
    // The part of the frame that is drawn and takes presses, in frame pixels.
    QRegion GrabArea() const { return grabArea_; }

signals:
    void DragStarted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateGrabArea();
    QPointer<QWidget> view_;
    QRegion grabArea_;
};
