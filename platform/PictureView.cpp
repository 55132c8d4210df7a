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

// The gray image's pixels under the view pixels of target (view coordinates),
// taken as SampleForView takes them from the image's picture: the picture pixel
// under each view pixel, 0 past the picture's edge. Sixteen target columns at a
// time, each read down its own image column, so that the columns stay in the
// cache while the rows are written.
QImage SampleGray(const GrayImage& image, QSize size, const ViewGeometry& view, const QRect& target)
{
    QImage out(target.size(), QImage::Format_Grayscale8);
    if (out.isNull())
        return out;
    out.fill(0);
    // Picture column of each target column and row of each target row; the
    // mapping is monotonic, so those inside the picture form one run each.
    std::vector<int> columns, rows;
    int from = 0, top = 0;
    for (int i = 0; i < target.width(); ++i) {
        const int x = view.PicturePixel(QPointF(target.x() + i, target.y())).x();
        if (x < 0)
            from = i + 1;
        else if (x < size.width())
            columns.push_back(x);
    }
    for (int j = 0; j < target.height(); ++j) {
        const int y = view.PicturePixel(QPointF(target.x(), target.y() + j)).y();
        if (y < 0)
            top = j + 1;
        else if (y < size.height())
            rows.push_back(y);
    }
    uchar* const bits = out.bits() + top * out.bytesPerLine() + from;
    const qsizetype stride = out.bytesPerLine();
    constexpr int kBlock = 16;
    const int width = static_cast<int>(columns.size()), height = static_cast<int>(rows.size());
    for (int i0 = 0; i0 < width; i0 += kBlock) {
        const int count = std::min(kBlock, width - i0);
        const std::uint8_t* source[kBlock];
        for (int k = 0; k < count; ++k)
            source[k] = image[columns[static_cast<std::size_t>(i0 + k)]];
        for (int j = 0; j < height; ++j) {
            const int y = rows[static_cast<std::size_t>(j)];
            uchar* line = bits + j * stride + i0;
            for (int k = 0; k < count; ++k)
                line[k] = source[k][y];
        }
    }
    return out;
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
    const bool resized = picture.size() != PictureSize();
    gray_ = nullptr;
    pictureStale_ = false;
    picture_ = std::move(picture);
    if (resized)
        SetZoomAndScroll(mapping_.zoom, mapping_.scroll);
    update();
}

const QImage& PictureView::Picture() const
{
    MakePicture();
    return picture_;
}

void PictureView::FollowGray(const GrayImage& image, int width, int height)
{
    if (!image)
        return;
    const QSize size(std::max(width, 0), std::max(height, 0));
    const bool resized = size != PictureSize();
    // A gray picture of the size is kept to be rewritten in place when asked for.
    if (picture_.size() != size || picture_.format() != QImage::Format_Grayscale8)
        picture_ = QImage();
    gray_ = &image;
    graySize_ = size;
    grayAs24_ = false;
    pictureStale_ = true;
    if (resized)
        SetZoomAndScroll(mapping_.zoom, mapping_.scroll);
    update();
}

void PictureView::MakePicture() const
{
    if (gray_ == nullptr || !pictureStale_)
        return;
    const int w = graySize_.width(), h = graySize_.height();
    if (!*gray_) {  // released under the view: nothing left to show
        picture_ = QImage();
    } else if (picture_.size() == graySize_ && picture_.format() == QImage::Format_Grayscale8 &&
               picture_.isDetached()) {
        ColumnsToRows(*gray_, w, h, picture_.bits(), picture_.bytesPerLine());
    } else {
        picture_ = PictureFromGray(*gray_, w, h);
    }
    if (grayAs24_ && !picture_.isNull())
        picture_ = picture_.convertToFormat(QImage::Format_RGB32);
    pictureStale_ = false;
}

void PictureView::StopFollowing()
{
    MakePicture();
    gray_ = nullptr;
}

// ---- Zoom and scroll ----------------------------------------------------------

QRect PictureView::Viewport() const
{
    return QRect(0, 0, vertical_->isHidden() ? width() : vertical_->x(),
                 horizontal_->isHidden() ? height() : horizontal_->y());
}

void PictureView::LayOutScrollBars()
{
    const QSize content = mapping_.ContentSize(PictureSize());
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
    SetZoomAndScroll(ViewGeometry::Fit(PictureSize(), size()), QPoint(0, 0));
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

void PictureView::SaveToFile(const QString& path) const { WritePictureFile(Picture(), path); }

void PictureView::SetPixelFormat24()
{
    if (gray_ != nullptr) {  // the gray image looks the same either way
        grayAs24_ = true;
        if (!pictureStale_ && !picture_.isNull())
            picture_ = picture_.convertToFormat(QImage::Format_RGB32);
        return;
    }
    if (picture_.format() != QImage::Format_RGB32)
        picture_ = picture_.convertToFormat(QImage::Format_RGB32);
    update();
}

QRgb PictureView::Pixel(int x, int y) const
{
    if (gray_ != nullptr) {
        if (!*gray_ || x < 0 || y < 0 || x >= graySize_.width() || y >= graySize_.height())
            return qRgb(0, 0, 0);
        const int v = (*gray_)[x][y];
        return qRgb(v, v, v);
    }
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
    StopFollowing();
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
    StopFollowing();
    MakePaintable();
    picture_.fill(QColor::fromRgb(colour));
    update();
}

void PictureView::DrawEllipse(int left, int top, int right, int bottom)
{
    StopFollowing();
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
    if (!image)
        return;
    StopFollowing();
    if (picture_.isNull())
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
    const QRect target = exposed & ViewRectOf(QRect(QPoint(0, 0), PictureSize()));
    if (target.isEmpty())
        return;
    if (gray_ == nullptr)
        painter.drawImage(target.topLeft(), SampleForView(picture_, mapping_, target));
    else if (*gray_)
        painter.drawImage(target.topLeft(), SampleGray(*gray_, graySize_, mapping_, target));
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
        if (delta.y() != 0 && !PictureSize().isEmpty()) {
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
