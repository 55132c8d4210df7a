// platform/RegionFrame.cpp
#include "RegionFrame.h"

#include "PictureView.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <algorithm>
#include <cmath>

namespace {

constexpr QColor kGreen(0, 128, 0);
constexpr int kArrow = 6;  // the arrowhead's length, and the room a line keeps around it

int Clamp(int v, int size) { return std::clamp(v, 0, std::max(size - 1, 0)); }

// The shift along one axis that keeps [low, high] inside [0, size - 1] when it
// fits there; a frame larger than the picture stays at 0.
int KeepInside(int d, int low, int high, int size)
{
    d = std::min(d, size - 1 - high);
    return std::max(d, -low);
}

}  // namespace

RegionFrame::RegionFrame(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::SizeAllCursor);
    setMouseTracking(true);
    UpdateGrabArea();
}

void RegionFrame::ClipTo(PictureView* view)
{
    if (view_ != nullptr) {
        view_->removeEventFilter(this);
        disconnect(view_, nullptr, this, nullptr);
    }
    view_ = view;
    watched_ = view;
    if (view_ != nullptr && parentWidget() != nullptr) {
        view_->installEventFilter(this);
        connect(view_, &PictureView::ViewChanged, this, &RegionFrame::Place);
        first_ = pos() - view_->mapTo(parentWidget(), QPoint(0, 0));
        second_ = first_ + QPoint(width(), height());
    }
    Place();
}

QRect RegionFrame::PictureRect() const
{
    return {std::min(first_.x(), second_.x()), std::min(first_.y(), second_.y()),
            std::abs(second_.x() - first_.x()), std::abs(second_.y() - first_.y())};
}

void RegionFrame::SetCorners(QPoint first, QPoint second)
{
    first_ = first;
    second_ = second;
    Place();
}

void RegionFrame::MoveTo(QPoint first)
{
    const QRect r = PictureRect();
    SetCorners(first, first + QPoint(r.width(), r.height()));
}

void RegionFrame::SetShape(Shape shape)
{
    if (shape_ == shape)
        return;
    shape_ = shape;
    Place();
}

void RegionFrame::Place()
{
    if (view_ == nullptr || parentWidget() == nullptr) {
        UpdateGrabArea();
        return;
    }
    const QPoint origin = view_->mapTo(parentWidget(), QPoint(0, 0));
    QRect bounds = view_->ViewRectOf(PictureRect());
    if (shape_ == Shape::Line) {
        const QRect a = view_->ViewRectOf(QRect(first_, QSize(1, 1)));
        const QRect b = view_->ViewRectOf(QRect(second_, QSize(1, 1)));
        bounds = (a | b).adjusted(-kArrow, -kArrow, kArrow, kArrow);
    }
    const QRect before = geometry();
    setGeometry(bounds.translated(origin));
    if (geometry() == before)  // no move or resize event to follow
        UpdateGrabArea();
}

QPointF RegionFrame::ViewPointOf(QPoint pixel) const
{
    if (view_ == nullptr || parentWidget() == nullptr)
        return {};
    const QPoint origin = view_->mapTo(parentWidget(), QPoint(0, 0)) - pos();
    return QRectF(view_->ViewRectOf(QRect(pixel, QSize(1, 1)))).center() + origin;
}

QPoint RegionFrame::PicturePixelAt(QPoint framePoint) const
{
    return view_->PicturePixelAt(view_->mapFrom(parentWidget(), mapToParent(framePoint)));
}

void RegionFrame::UpdateGrabArea()
{
    QRegion area;
    if (shape_ == Shape::Frame) {
        area = QRegion(rect());
    } else {
        QPainterPath path(ViewPointOf(first_));
        path.lineTo(ViewPointOf(second_));
        QPainterPathStroker stroker;
        stroker.setWidth(2 * kGrabWidth + 1);
        area = QRegion(stroker.createStroke(path).toFillPolygon().toPolygon());
        for (const QPoint end : {first_, second_}) {
            const QPoint c = ViewPointOf(end).toPoint();
            area += QRegion(QRect(c - QPoint(kCornerGrab, kCornerGrab),
                                  QSize(2 * kCornerGrab + 1, 2 * kCornerGrab + 1)),
                            QRegion::Ellipse);
        }
    }
    if (view_ != nullptr && parentWidget() != nullptr) {
        const QPoint origin = view_->mapTo(parentWidget(), QPoint(0, 0));
        area &= QRegion(view_->Viewport().translated(origin - pos()));
    }
    grabArea_ = area;
    // An empty mask means no mask at all to Qt: a frame wholly off its view
    // lets every press through instead, and paints nothing.
    setAttribute(Qt::WA_TransparentForMouseEvents, area.isEmpty());
    if (area.isEmpty())
        clearMask();
    else
        setMask(area);
    update();
}

void RegionFrame::paintEvent(QPaintEvent*)
{
    if (width() <= 0 || height() <= 0 || grabArea_.isEmpty())
        return;
    QPainter painter(this);
    painter.setClipRegion(grabArea_);
    painter.setPen(QPen(kGreen, 1));
    painter.setBrush(Qt::NoBrush);
    if (shape_ == Shape::Frame) {
        painter.drawRect(0, 0, width() - 1, height() - 1);
        return;
    }
    // The line, and an arrowhead at the second corner: the way the edges are scanned.
    const QPointF a = ViewPointOf(first_), b = ViewPointOf(second_);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawLine(a, b);
    const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
    if (length < 1)
        return;
    const QPointF along = (b - a) / length * kArrow, across(-along.y() / 2, along.x() / 2);
    painter.setBrush(kGreen);
    painter.drawPolygon(QPolygonF{b, b - along + across, b - along - across});
}

int RegionFrame::EdgesAt(QPoint p) const
{
    if (shape_ == Shape::Line) {
        auto near = [&](QPoint end) {
            const QPointF d = ViewPointOf(end) - QPointF(p);
            return std::hypot(d.x(), d.y()) <= kCornerGrab;
        };
        return near(second_) ? kSecond : near(first_) ? kFirst : 0;
    }
    const int w = width(), h = height();
    // A frame too small for its outline and an inside moves as a whole.
    const int band = std::min(w, h) >= 3 * kGrabWidth ? kGrabWidth : 0;
    const int corner = std::min(kCornerGrab, std::min(w, h) / 3);
    bool left = p.x() < band, right = p.x() >= w - band, top = p.y() < band,
         bottom = p.y() >= h - band;
    if (left || right) {
        top = top || p.y() < corner;
        bottom = bottom || p.y() >= h - corner;
    }
    if (top || bottom) {
        left = left || p.x() < corner;
        right = right || p.x() >= w - corner;
    }
    return (left ? kLeft : 0) | (top ? kTop : 0) | (right ? kRight : 0) | (bottom ? kBottom : 0);
}

void RegionFrame::mousePressEvent(QMouseEvent* event)
{
    if (view_ == nullptr)
        return;
    if (event->button() != Qt::LeftButton || (event->modifiers() & Qt::ShiftModifier)) {
        grab_ = Grab{0, {}, {}, {}, true};
        Forward(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    grab_ = Grab{EdgesAt(at), PicturePixelAt(at), first_, second_, false};
}

void RegionFrame::mouseMoveEvent(QMouseEvent* event)
{
    if (view_ == nullptr)
        return;
    if (grab_ && !grab_->forwarded) {
        Drag(event->position().toPoint());
        // The view still reports the pointer (its position labels), not a drag.
        QMouseEvent hover(QEvent::MouseMove, event->position(), event->globalPosition(),
                          Qt::NoButton, Qt::NoButton, event->modifiers());
        Forward(&hover);
        return;
    }
    Forward(event);
    if (!grab_) {
        const int edges = EdgesAt(event->position().toPoint());
        const bool falling = edges == (kLeft | kTop) || edges == (kRight | kBottom);
        const bool rising = edges == (kRight | kTop) || edges == (kLeft | kBottom);
        setCursor(edges == 0                       ? Qt::SizeAllCursor
                  : edges & (kFirst | kSecond)     ? Qt::PointingHandCursor
                  : falling                        ? Qt::SizeFDiagCursor
                  : rising                         ? Qt::SizeBDiagCursor
                  : edges & (kLeft | kRight)       ? Qt::SizeHorCursor
                                                   : Qt::SizeVerCursor);
    }
}

void RegionFrame::mouseReleaseEvent(QMouseEvent* event)
{
    const bool forwarded = grab_ && grab_->forwarded;
    if (grab_ && !grab_->forwarded)
        Drag(event->position().toPoint());
    grab_.reset();
    if (forwarded)
        Forward(event);
}

void RegionFrame::Drag(QPoint framePoint)
{
    const int w = view_->PictureWidth(), h = view_->PictureHeight();
    if (w <= 0 || h <= 0)
        return;
    const Grab& g = *grab_;
    const QPoint d = PicturePixelAt(framePoint) - g.from;
    QPoint first = g.first, second = g.second;
    auto clamp = [&](QPoint p) { return QPoint(Clamp(p.x(), w), Clamp(p.y(), h)); };
    if (g.edges & kFirst) {
        first = clamp(g.first + d);
    } else if (g.edges & kSecond) {
        second = clamp(g.second + d);
    } else if (g.edges == 0) {
        const int left = std::min(g.first.x(), g.second.x()), top = std::min(g.first.y(), g.second.y());
        const int right = std::max(g.first.x(), g.second.x()),
                  bottom = std::max(g.first.y(), g.second.y());
        const QPoint shift(KeepInside(d.x(), left, right, w), KeepInside(d.y(), top, bottom, h));
        first += shift;
        second += shift;
    } else {
        // An edge keeps its corner's place in the order: the first corner stays
        // the first, whichever side it is on.
        auto edge = [](int& a, int& b, int delta, bool low, bool high, int size) {
            int& lowCorner = a <= b ? a : b;
            int& highCorner = a <= b ? b : a;
            const int lowValue = lowCorner, highValue = highCorner;
            if (low)
                lowCorner = Clamp(lowValue + delta, size);
            if (high)
                highCorner = Clamp(highValue + delta, size);
        };
        int x1 = first.x(), x2 = second.x(), y1 = first.y(), y2 = second.y();
        edge(x1, x2, d.x(), g.edges & kLeft, g.edges & kRight, w);
        edge(y1, y2, d.y(), g.edges & kTop, g.edges & kBottom, h);
        first = {x1, y1};
        second = {x2, y2};
    }
    if (first == first_ && second == second_)
        return;
    SetCorners(first, second);
    emit Edited(first_, second_);
}

void RegionFrame::Forward(QMouseEvent* event)
{
    if (view_ == nullptr || parentWidget() == nullptr)
        return;
    const QPointF at = view_->mapFrom(parentWidget(), mapToParent(event->position()));
    QMouseEvent forwarded(event->type(), at, event->globalPosition(), event->button(),
                          event->buttons(), event->modifiers());
    QCoreApplication::sendEvent(view_, &forwarded);
}

void RegionFrame::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    UpdateGrabArea();
}

void RegionFrame::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    UpdateGrabArea();
}

bool RegionFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == watched_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        Place();
    return QWidget::eventFilter(watched, event);
}
