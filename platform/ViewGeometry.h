// platform/ViewGeometry.h
#pragma once
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

// How a zoomed and scrolled view maps to its picture. Zoom z and scroll s (in
// view pixels of the zoomed picture, s >= 0) put picture pixel (x, y) on the view
// pixels [x * z - s.x, (x + 1) * z - s.x) and likewise for y; view pixel (u, v)
// shows picture pixel floor((u + s.x) / z), floor((v + s.y) / z). At zoom 1 and
// scroll 0 view pixel = picture pixel.
struct ViewGeometry {
    double zoom = 1.0;
    QPoint scroll;

    static constexpr double kMinZoom = 1.0 / 64, kMaxZoom = 32;
    // The zoom steps, from kMinZoom to kMaxZoom: whole multiples above 100 %,
    // whole fractions below, so that pixels keep one size at every step.
    static double StepFrom(double zoom, int steps);  // steps > 0 zooms in
    // The largest zoom that shows all of picture in viewport, kept within
    // kMinZoom ... kMaxZoom; 1 for an empty picture or viewport.
    static double Fit(QSize picture, QSize viewport);

    // The zoomed picture's size in view pixels.
    QSize ContentSize(QSize picture) const;
    // Picture coordinates of a view point (fractional), and the pixel it is in.
    QPointF PicturePoint(QPointF view) const;
    QPoint PicturePixel(QPointF view) const;
    // The view pixels that picture rectangle r covers.
    QRect ViewRect(const QRect& r) const;
    // The scroll that keeps picture pixel p under view pixel v at zoom z, at the
    // same place inside it (fraction, 0 to 1, from its top-left corner) as near as
    // the zoom allows. Below 100 % a view pixel shows one of several picture
    // pixels and v may only come close.
    static QPoint ScrollKeeping(QPoint p, QPointF fraction, QPoint v, double z);
};

// Nearest-neighbour sample of picture for the view pixels in target (view
// coordinates): pixel (i, j) of the result is the picture pixel under view pixel
// target.topLeft() + (i, j), or transparent past the picture's edge. The result
// keeps the picture's format (colour table included), so painting it gives the
// very pixels painting the picture would; only target's pixels are touched,
// whatever the picture's size.
QImage SampleForView(const QImage& picture, const ViewGeometry& view, const QRect& target);
