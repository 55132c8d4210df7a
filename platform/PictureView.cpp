// platform/PictureView.cpp
#include "PictureView.h"

#include "PictureFiles.h"
#include "Rows.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <memory>

namespace {

// How far one notch of the wheel scrolls, in view pixels.
constexpr int kWheelStep = 48;

bool Acceptable(const QMimeData* mime)
{
    return mime != nullptr &&
           (mime->hasFormat(QString::fromLatin1(PictureView::kFrameMimeType)) || mime->hasUrls());
}

}  // namespace

PictureView::PictureView(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    horizontal_ = new QScrollBar(Qt::Horizontal, this);
    vertical_ = new QScrollBar(Qt::Vertical, this);
    for (QScrollBar* bar : {horizontal_, vertical_}) {
        bar->hide();
        bar->setCursor(Qt::ArrowCursor);
        connect(bar, &QScrollBar::valueChanged, this, &PictureView::ScrollBarMoved);
    }
    horizontal_->setObjectName(QStringLiteral("HorizontalScrollBar"));
    vertical_->setObjectName(QStringLiteral("VerticalScrollBar"));
}

void PictureView::SetPicture(QImage picture)
{
    const bool resized = picture.size() != picture_.size();
    picture_ = std::move(picture);
    if (resized)
        SetZoomAndScroll(mapping_.zoom, mapping_.scroll);
    update();
}

// ---- Zoom and scroll ----------------------------------------------------------

QRect PictureView::Viewport() const
{
    return QRect(0, 0, vertical_->isHidden() ? width() : vertical_->x(),
                 horizontal_->isHidden() ? height() : horizontal_->y());
}

void PictureView::LayOutScrollBars()
{
    const QSize content = mapping_.ContentSize(picture_.size());
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    // A bar takes room from the other direction, which may then need its own.
    bool across = content.width() > width(), down = content.height() > height();
    across = across || (down && content.width() > width() - extent);
    down = down || (across && content.height() > height() - extent);
    const int w = width() - (down ? extent : 0), h = height() - (across ? extent : 0);
    const QSignalBlocker blockH(horizontal_), blockV(vertical_);
    horizontal_->setVisible(across);
    vertical_->setVisible(down);
    horizontal_->setGeometry(0, h, w, extent);
    vertical_->setGeometry(w, 0, extent, h);
    horizontal_->setRange(0, std::max(0, content.width() - w));
    vertical_->setRange(0, std::max(0, content.height() - h));
    horizontal_->setPageStep(std::max(1, w));
    vertical_->setPageStep(std::max(1, h));
    horizontal_->setSingleStep(kWheelStep / 3);
    vertical_->setSingleStep(kWheelStep / 3);
}

void PictureView::SetZoomAndScroll(double zoom, QPoint scroll)
{
    const ViewGeometry old = mapping_;
    const QRect oldViewport = Viewport();
    mapping_.zoom = std::clamp(zoom, ViewGeometry::kMinZoom, ViewGeometry::kMaxZoom);
    LayOutScrollBars();
    mapping_.scroll = QPoint(std::clamp(scroll.x(), 0, horizontal_->maximum()),
                             std::clamp(scroll.y(), 0, vertical_->maximum()));
    {
        const QSignalBlocker blockH(horizontal_), blockV(vertical_);
        horizontal_->setValue(mapping_.scroll.x());
        vertical_->setValue(mapping_.scroll.y());
    }
    if (mapping_.zoom == old.zoom && mapping_.scroll == old.scroll && Viewport() == oldViewport)
        return;
    update();
    emit ViewChanged();
}

void PictureView::ScrollBarMoved()
{
    SetZoomAndScroll(mapping_.zoom, QPoint(horizontal_->value(), vertical_->value()));
}

void PictureView::ZoomAbout(double zoom, QPoint viewPixel)
{
    zoom = std::clamp(zoom, ViewGeometry::kMinZoom, ViewGeometry::kMaxZoom);
    const QPointF centre(viewPixel.x() + 0.5, viewPixel.y() + 0.5);
    const QPointF at = mapping_.PicturePoint(centre);
    const QPoint pixel(static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y())));
    const QPointF fraction(at.x() - pixel.x(), at.y() - pixel.y());
    SetZoomAndScroll(zoom, ViewGeometry::ScrollKeeping(pixel, fraction, viewPixel, zoom));
}

void PictureView::ZoomIn() { ZoomAbout(ViewGeometry::StepFrom(Zoom(), 1), Viewport().center()); }

void PictureView::ZoomOut() { ZoomAbout(ViewGeometry::StepFrom(Zoom(), -1), Viewport().center()); }

void PictureView::ZoomToActualSize() { ZoomAbout(1, Viewport().center()); }

void PictureView::ZoomToFit()
{
    SetZoomAndScroll(ViewGeometry::Fit(picture_.size(), size()), QPoint(0, 0));
}

void PictureView::KeepInStep(PictureView* a, PictureView* b)
{
    // The other view's own clamping (its size may differ by a pixel) must not
    // echo back and move the view the user moves.
    auto following = std::make_shared<bool>(false);
    auto follow = [following](PictureView* from, PictureView* to) {
        connect(from, &PictureView::ViewChanged, to, [following, from, to] {
            if (*following)
                return;
            *following = true;
            to->SetZoomAndScroll(from->Zoom(), from->ScrollPosition());
            *following = false;
        });
    };
    follow(a, b);
    follow(b, a);
}

void PictureView::SetMark(std::optional<QPoint> pixel)
{
    mark_ = pixel;
    update();
}

void PictureView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    SetZoomAndScroll(mapping_.zoom, mapping_.scroll);
}

void PictureView::LoadFromFile(const QString& path) { SetPicture(ReadPictureFile(path)); }

void PictureView::SaveToFile(const QString& path) const { WritePictureFile(picture_, path); }

void PictureView::SetPixelFormat24()
{
    if (picture_.format() != QImage::Format_RGB32)
        picture_ = picture_.convertToFormat(QImage::Format_RGB32);
    update();
}

QRgb PictureView::Pixel(int x, int y) const
{
    if (!picture_.valid(x, y))
        return qRgb(0, 0, 0);
    return picture_.pixel(x, y);
}

void PictureView::MakePaintable()
{
    const QImage::Format format = picture_.format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_ARGB32_Premultiplied)
        picture_ = picture_.convertToFormat(QImage::Format_RGB32);
}

void PictureView::SetPixel(int x, int y, QRgb colour)
{
    if (!picture_.valid(x, y))
        return;
    const bool gray = qRed(colour) == qGreen(colour) && qGreen(colour) == qBlue(colour);
    if (picture_.format() == QImage::Format_Grayscale8 && gray) {
        picture_.scanLine(y)[x] = static_cast<uchar>(qRed(colour));
    } else {
        MakePaintable();
        picture_.setPixel(x, y, colour);
    }
    update(ViewRectOf(QRect(x, y, 1, 1)));
}

void PictureView::Fill(QRgb colour)
{
    MakePaintable();
    picture_.fill(QColor::fromRgb(colour));
    update();
}

void PictureView::DrawEllipse(int left, int top, int right, int bottom)
{
    if (picture_.isNull())
        return;
    MakePaintable();
    QPainter painter(&picture_);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
    painter.end();
    update();
}

void PictureView::ShowGray(const GrayImage& image, int width, int height)
{
    if (!image || picture_.isNull())
        return;
    const int w = picture_.width(), h = picture_.height();
    if (width >= w && height >= h && picture_.format() == QImage::Format_Grayscale8) {
        // The same gray picture again: its rows are rewritten where they are,
        // sparing a fresh allocation (a quarter of a gigabyte at 16000 x 16000).
        ColumnsToRows(image, w, h, picture_.bits(), picture_.bytesPerLine());
    } else if (width >= w && height >= h) {
        picture_ = PictureFromGray(image, w, h);
    } else {
        const QImage part = PictureFromGray(image, std::min(width, w), std::min(height, h));
        MakePaintable();
        QPainter painter(&picture_);
        painter.drawImage(0, 0, part);
    }
    update();
}

void PictureView::Render(QPainter& painter, const QRect& exposed) const
{
    const QRect target = exposed & ViewRectOf(picture_.rect());
    if (!target.isEmpty())
        painter.drawImage(target.topLeft(), SampleForView(picture_, mapping_, target));
}

void PictureView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect visible = event->rect() & Viewport();
    painter.setClipRect(visible);
    Render(painter, visible);
    if (mark_) {
        // A white dot ringed black, the same size on screen at every zoom.
        const QRect cell = ViewRectOf(QRect(*mark_, QSize(1, 1)));
        const QPointF centre = QRectF(cell).center();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(Qt::white);
        painter.drawEllipse(centre, 2.5, 2.5);
    }
}

void PictureView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton) {
        panFrom_ = event->position().toPoint();
        panScroll_ = mapping_.scroll;
        setCursor(Qt::ClosedHandCursor);
        return;
    }
    const QPoint p = PicturePixelAt(event->position());
    emit MouseDown(event->button(), p.x(), p.y());
}

void PictureView::mouseMoveEvent(QMouseEvent* event)
{
    if (panFrom_) {
        SetZoomAndScroll(mapping_.zoom, panScroll_ + *panFrom_ - event->position().toPoint());
        return;
    }
    const QPoint p = PicturePixelAt(event->position());
    emit MouseMove(p.x(), p.y());
    if (event->buttons() & Qt::LeftButton)
        emit MouseDrag(p.x(), p.y());
}

void PictureView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton && panFrom_) {
        panFrom_.reset();
        setCursor(Qt::CrossCursor);
        return;
    }
    const QPoint p = PicturePixelAt(event->position());
    emit MouseUp(event->button(), p.x(), p.y());
}

void PictureView::wheelEvent(QWheelEvent* event)
{
    const QPoint delta = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        if (delta.y() != 0 && !picture_.isNull()) {
            const QPointF at = event->position();
            ZoomAbout(ViewGeometry::StepFrom(Zoom(), delta.y() > 0 ? 1 : -1),
                      QPoint(static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y()))));
        }
        event->accept();
        return;
    }
    const bool sideways = (event->modifiers() & Qt::ShiftModifier) || delta.x() != 0;
    QScrollBar* bar = sideways ? horizontal_ : vertical_;
    const int amount = sideways && delta.x() != 0 ? delta.x() : delta.y();
    // A view with nothing to scroll leaves the wheel to the window around it.
    if (bar->isHidden() || amount == 0) {
        event->ignore();
        return;
    }
    bar->setValue(bar->value() - amount * kWheelStep / 120);
    event->accept();
}

void PictureView::dragEnterEvent(QDragEnterEvent* event)
{
    if (Acceptable(event->mimeData()))
        event->acceptProposedAction();
}

void PictureView::dragMoveEvent(QDragMoveEvent* event)
{
    if (Acceptable(event->mimeData()))
        event->acceptProposedAction();
}

void PictureView::dropEvent(QDropEvent* event)
{
    if (HandleDrop(event->mimeData(), event->position()))
        event->acceptProposedAction();
}

bool PictureView::HandleDrop(const QMimeData* mime, QPointF position)
{
    if (mime == nullptr)
        return false;
    if (mime->hasFormat(QString::fromLatin1(kFrameMimeType))) {
        const QPoint p = PicturePixelAt(position);
        emit FrameDropped(p.x(), p.y());
        return true;
    }
    QStringList paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    if (paths.isEmpty())
        return false;
    emit FilesDropped(paths);
    return true;
}
