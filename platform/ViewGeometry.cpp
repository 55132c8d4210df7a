// platform/ViewGeometry.cpp
#include "ViewGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Whole fractions below 100 %, whole multiples above.
constexpr double kSteps[] = {1.0 / 64, 1.0 / 48, 1.0 / 32, 1.0 / 24, 1.0 / 16, 1.0 / 12,
                             1.0 / 8,  1.0 / 6,  1.0 / 4,  1.0 / 3,  1.0 / 2,  2.0 / 3,
                             1,        2,        3,        4,        6,        8,
                             12,       16,       24,       32};

// A little slack for steps such as 1/48 that have no exact binary value, so that
// view pixel 48 shows picture pixel 1 and not 0. Far below a view pixel.
constexpr double kSlack = 1e-7;

// The picture pixel shown on view pixel v (scroll included): floor(v / z).
int PictureIndex(int v, double zoom) { return static_cast<int>(std::floor(v / zoom + kSlack)); }

// The first view pixel (scroll included) of picture pixel x: ceil(x * z).
int ViewEdge(int x, double zoom) { return static_cast<int>(std::ceil(x * zoom - kSlack)); }

}  // namespace

double ViewGeometry::StepFrom(double zoom, int steps)
{
    // A zoom between two steps (after Fit) goes to the neighbour in the asked direction.
    const auto first = std::begin(kSteps), last = std::end(kSteps);
    const std::ptrdiff_t index =
        steps > 0 ? (std::upper_bound(first, last, zoom * (1 + 1e-9)) - first) + steps - 1
                  : (std::lower_bound(first, last, zoom * (1 - 1e-9)) - first) + steps;
    return kSteps[std::clamp<std::ptrdiff_t>(index, 0, std::ssize(kSteps) - 1)];
}

double ViewGeometry::Fit(QSize picture, QSize viewport)
{
    if (picture.isEmpty() || viewport.isEmpty())
        return 1;
    const double z = std::min(static_cast<double>(viewport.width()) / picture.width(),
                              static_cast<double>(viewport.height()) / picture.height());
    return std::clamp(z, kMinZoom, kMaxZoom);
}

QSize ViewGeometry::ContentSize(QSize picture) const
{
    return {ViewEdge(picture.width(), zoom), ViewEdge(picture.height(), zoom)};
}

QPointF ViewGeometry::PicturePoint(QPointF view) const
{
    return {(view.x() + scroll.x()) / zoom, (view.y() + scroll.y()) / zoom};
}

QPoint ViewGeometry::PicturePixel(QPointF view) const
{
    // Through the view pixel the point is in, so that the pixel reported is the
    // one painted there at every zoom.
    const int u = static_cast<int>(std::floor(view.x())), v = static_cast<int>(std::floor(view.y()));
    return {PictureIndex(u + scroll.x(), zoom), PictureIndex(v + scroll.y(), zoom)};
}

QRect ViewGeometry::ViewRect(const QRect& r) const
{
    auto edge = [&](int v, int s) { return ViewEdge(v, zoom) - s; };
    const int left = edge(r.x(), scroll.x()), top = edge(r.y(), scroll.y());
    return {left, top, edge(r.x() + r.width(), scroll.x()) - left,
            edge(r.y() + r.height(), scroll.y()) - top};
}

QPoint ViewGeometry::ScrollKeeping(QPoint p, QPointF fraction, QPoint v, double z)
{
    auto axis = [z](int pixel, double f, int at) {
        int s = static_cast<int>(std::lround((pixel + f) * z - at - 0.5));
        // The view pixels (scroll included) that show the picture pixel.
        const int first = ViewEdge(pixel, z), last = ViewEdge(pixel + 1, z) - 1;
        if (first <= last)
            s = std::clamp(at + s, first, last) - at;
        return s;
    };
    return {axis(p.x(), fraction.x(), v.x()), axis(p.y(), fraction.y(), v.y())};
}

QImage SampleForView(const QImage& picture, const ViewGeometry& view, const QRect& target)
{
    if (picture.isNull() || target.isEmpty())
        return {};
    const bool wholeBytes = picture.depth() >= 8;
    const QImage::Format format =
        wholeBytes ? picture.format()
                   : (picture.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QImage out(target.size(), format);
    if (out.isNull())
        return {};
    if (wholeBytes)
        out.setColorTable(picture.colorTable());
    out.fill(Qt::transparent);
    const int w = picture.width(), h = picture.height();
    // Picture column of each target column; -1 past the picture.
    std::vector<int> columns(static_cast<std::size_t>(target.width()));
    int from = target.width(), to = 0;  // the target columns that show the picture
    for (int i = 0; i < target.width(); ++i) {
        const int x = PictureIndex(target.x() + i + view.scroll.x(), view.zoom);
        columns[static_cast<std::size_t>(i)] = x >= 0 && x < w ? x : -1;
        if (x >= 0 && x < w) {
            from = std::min(from, i);
            to = i + 1;
        }
    }
    const int bytes = wholeBytes ? picture.depth() / 8 : 0;
    for (int j = 0; j < target.height(); ++j) {
        const int y = PictureIndex(target.y() + j + view.scroll.y(), view.zoom);
        if (y < 0 || y >= h)
            continue;
        uchar* dst = out.scanLine(j);
        if (!wholeBytes) {  // one- and two-bit pictures: rare, small, read pixel by pixel
            auto* line = reinterpret_cast<QRgb*>(dst);
            for (int i = from; i < to; ++i)
                line[i] = picture.pixel(columns[static_cast<std::size_t>(i)], y);
            continue;
        }
        const uchar* src = picture.constScanLine(y);
        if (bytes == 1) {
            for (int i = from; i < to; ++i)
                dst[i] = src[columns[static_cast<std::size_t>(i)]];
        } else if (bytes == 4) {
            auto* d = reinterpret_cast<quint32*>(dst);
            const auto* s = reinterpret_cast<const quint32*>(src);
            for (int i = from; i < to; ++i)
                d[i] = s[columns[static_cast<std::size_t>(i)]];
        } else {
            for (int i = from; i < to; ++i)
                std::memcpy(dst + i * bytes, src + columns[static_cast<std::size_t>(i)] * bytes,
                            static_cast<std::size_t>(bytes));
        }
    }
    return out;
}
