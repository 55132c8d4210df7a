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

    const QImage& Picture() const { return picture_; }
    void SetPicture(QImage picture);
    int PictureWidth() const { return picture_.width(); }
    int PictureHeight() const { return picture_.height(); }

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
    void LayOutScrollBars();  // shows the bars the zoomed picture needs, sets their ranges
    void ScrollBarMoved();
    QImage picture_;
    ViewGeometry mapping_;
    QScrollBar* horizontal_ = nullptr;
    QScrollBar* vertical_ = nullptr;
    std::optional<QPoint> mark_;
    std::optional<QPoint> panFrom_;  // the middle button's press, while it pans
    QPoint panScroll_;
};
