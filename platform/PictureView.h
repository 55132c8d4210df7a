// platform/PictureView.h
#pragma once
#include "Image.h"
#include "ViewGeometry.h"

#include <QImage>
#include <QMimeData>
#include <QPointF>
#include <QStringList>
#include <QWidget>

#include <optional>

class QScrollBar;

// A view that holds a picture and shows it zoomed and scrolled (ViewGeometry):
// 100 % from the top-left corner at first, so view pixel (x, y) is picture pixel
// (x, y). Scroll bars appear when the zoomed picture is larger than the view;
// Ctrl + wheel zooms about the pointer, the wheel scrolls, the middle button
// drags the picture. Mouse and drop positions are reported in picture pixels at
// every zoom and scroll. Only the part of the picture in sight is painted.
class PictureView : public QWidget {
    Q_OBJECT
public:
    // Mime type of the region frame while it is being dragged.
    static constexpr const char* kFrameMimeType = "application/x-graybench-region-frame";

    explicit PictureView(QWidget* parent = nullptr);

    // The picture as shown; made from the gray image first while one is followed.
    const QImage& Picture() const;
    void SetPicture(QImage picture);
    QSize PictureSize() const { return gray_ != nullptr ? graySize_ : picture_.size(); }
    int PictureWidth() const { return PictureSize().width(); }
    int PictureHeight() const { return PictureSize().height(); }

    void LoadFromFile(const QString& path);        // throws PictureError
    void SaveToFile(const QString& path) const;    // throws PictureError
    void SetPixelFormat24();                       // 8 bits for each of red, green, blue

    // Canvas pixels; points outside the picture read black and write nothing.
    QRgb Pixel(int x, int y) const;
    void SetPixel(int x, int y, QRgb colour);
    void Fill(QRgb colour);
    // Ellipse in the bounding box (left, top) to (right, bottom), right and bottom
    // excluded, black outline filled white.
    void DrawEllipse(int left, int top, int right, int bottom);

    // Paints image[x][y] as gray over the picture's own width and height (the
    // part that the image covers, when it is smaller); replaces every overlay.
    void ShowGray(const GrayImage& image, int width, int height);
    // Shows image as gray, width x height pixels, without making a picture of
    // it: painting reads the pixels in sight straight from image, and the whole
    // picture is made only when asked for (Picture, SaveToFile, drawing into
    // it). The view follows image until it is given another picture; the caller
    // keeps image alive and at that size meanwhile, and calls again after
    // changing its pixels. An empty image leaves the view as it is.
    void FollowGray(const GrayImage& image, int width, int height);
    bool FollowsGray() const { return gray_ != nullptr; }

    // ---- Zoom and scroll -----------------------------------------------------
    const ViewGeometry& Mapping() const { return mapping_; }
    double Zoom() const { return mapping_.zoom; }
    QPoint ScrollPosition() const { return mapping_.scroll; }
    // Zoom is kept within the steps' range and the scroll within the picture;
    // ViewChanged follows when either, or the area the bars leave, changes.
    void SetZoomAndScroll(double zoom, QPoint scroll);
    void ZoomAbout(double zoom, QPoint viewPixel);  // that pixel keeps its picture pixel
    void ZoomIn();     // one step, about the middle of the view
    void ZoomOut();
    void ZoomToFit();  // the whole picture in sight
    void ZoomToActualSize();  // 100 %, about the middle of the view
    QRect Viewport() const;   // the view less its scroll bars
    QPoint PicturePixelAt(QPointF viewPoint) const { return mapping_.PicturePixel(viewPoint); }
    QRect ViewRectOf(const QRect& pictureRect) const { return mapping_.ViewRect(pictureRect); }
    // Two views that move together: zooming or scrolling one does the same to the other.
    static void KeepInStep(PictureView* a, PictureView* b);

    // A mark over the centre of a picture pixel, drawn over the picture and never
    // into it; none by default.
    void SetMark(std::optional<QPoint> pixel);
    std::optional<QPoint> Mark() const { return mark_; }

    // Paints the picture's part of exposed (view pixels) as the view shows it.
    void Render(QPainter& painter, const QRect& exposed) const;

    // What a drop onto the view does: the region frame reports the drop point,
    // picture files are passed on to be loaded. False when nothing was taken.
    bool HandleDrop(const QMimeData* mime, QPointF position);

signals:
    void ViewChanged();
    // Presses, moves and releases at picture pixels; the middle button pans
    // the view instead. MouseDrag follows MouseMove while the left button is down.
    void MouseDown(Qt::MouseButton button, int x, int y);
    void MouseMove(int x, int y);
    void MouseUp(Qt::MouseButton button, int x, int y);
    void MouseDrag(int x, int y);
    void FrameDropped(int x, int y);
    void FilesDropped(const QStringList& paths);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void MakePaintable();
    void MakePicture() const;  // the followed image's picture, when out of date
    void StopFollowing();      // the picture becomes what is shown and drawn into
    void LayOutScrollBars();  // shows the bars the zoomed picture needs, sets their ranges
    void ScrollBarMoved();
    // While gray_ is followed, picture_ is only a cache of its picture, out of
    // date when pictureStale_; gray_'s pixels are what the view shows.
    mutable QImage picture_;
    mutable bool pictureStale_ = false;
    const GrayImage* gray_ = nullptr;
    QSize graySize_;
    bool grayAs24_ = false;  // SetPixelFormat24 while following: the picture is made RGB32
    ViewGeometry mapping_;
    QScrollBar* horizontal_ = nullptr;
    QScrollBar* vertical_ = nullptr;
    std::optional<QPoint> mark_;
    std::optional<QPoint> panFrom_;  // the middle button's press, while it pans
    QPoint panScroll_;
};
