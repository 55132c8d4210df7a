// platform/RegionFrame.h
#pragma once
#include <QPoint>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <optional>

class PictureView;

// The region of interest drawn over the Before view: a green outline, no fill,
// at two corners given in picture pixels, in the order they were given (the
// first is where a drag began; the edge finder scans from it to the second).
// The frame follows its view's zoom and scroll.
//
// The frame takes the presses on it: inside, a drag moves it by the distance
// dragged; on the outline (kGrabWidth wide, the corners kCornerGrab long) a
// drag moves that edge or corner. A drag with Shift held draws a new region
// instead, as a press outside the frame does. The frame never leaves the
// picture by a drag, and reports every change (Edited).
//
// As a line, the frame shows the corners joined by an arrow from the first to
// the second; a drag near an end moves that end, elsewhere the whole line.
//
// The frame is a sibling laid over its view, so its geometry stays in the
// parent's coordinates; ClipTo keeps what it shows and what it takes to the
// view's picture area (not its scroll bars), however large it grows.
class RegionFrame : public QWidget {
    Q_OBJECT
public:
    static constexpr int kGrabWidth = 3;
    static constexpr int kCornerGrab = 8;
    enum class Shape { Frame, Line };

    explicit RegionFrame(QWidget* parent = nullptr);

    // The frame's corners are read from its place over the view at 100 %.
    void ClipTo(PictureView* view);
    void SetCorners(QPoint first, QPoint second);
    void MoveTo(QPoint first);  // the same size and direction, first corner at first
    QPoint First() const { return first_; }
    QPoint Second() const { return second_; }
    QRect PictureRect() const;  // from the smaller corner, |second - first| in size
    void SetShape(Shape shape);
    Shape CurrentShape() const { return shape_; }
    // The part of the frame that is drawn and takes presses, in frame pixels.
    QRegion GrabArea() const { return grabArea_; }

signals:
    void Edited(QPoint first, QPoint second);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum Edge { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8, kFirst = 16, kSecond = 32 };
    int EdgesAt(QPoint framePoint) const;  // 0: inside, the whole frame moves
    void Place();          // geometry from the corners and the view's mapping
    void UpdateGrabArea();
    QPointF ViewPointOf(QPoint pixel) const;  // a pixel's centre, in frame pixels
    QPoint PicturePixelAt(QPoint framePoint) const;
    void Drag(QPoint framePoint);
    void Forward(QMouseEvent* event);  // to the view below, as a press outside would go

    QPointer<PictureView> view_;
    // The view as the event filter sees it: compared by address only, since
    // the view still sends events while it is being destroyed, when it is no
    // longer a PictureView.
    const QObject* watched_ = nullptr;
    QPoint first_, second_;
    Shape shape_ = Shape::Frame;
    QRegion grabArea_;
    struct Grab {
        int edges = 0;
        QPoint from;  // the picture pixel pressed
        QPoint first, second;
        bool forwarded = false;
    };
    std::optional<Grab> grab_;
};
