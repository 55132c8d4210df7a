// platform/PictureView.h
#pragma once
#include "Image.h"

#include <QImage>
#include <QMimeData>
#include <QPointF>
#include <QStringList>
#include <QWidget>

// A view that holds a picture and shows it unscaled from its top-left corner, so
// view pixel (x, y) is picture pixel (x, y); a larger picture is cut off at the
// right and bottom. Mouse and drop positions are reported in view pixels.
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

    // What a drop onto the view does: the region frame reports the drop point,
    // picture files are passed on to be loaded. False when nothing was taken.
    bool HandleDrop(const QMimeData* mime, QPointF position);

signals:
    void MouseDown(Qt::MouseButton button, int x, int y);
    void MouseMove(int x, int y);
    void MouseUp(Qt::MouseButton button, int x, int y);
    void FrameDropped(int x, int y);
    void FilesDropped(const QStringList& paths);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void MakePaintable();
    QImage picture_;
};
