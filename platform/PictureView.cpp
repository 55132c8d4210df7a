// platform/PictureView.cpp
#include "PictureView.h"

#include "PictureFiles.h"
#include "Rows.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <cmath>

namespace {

int ViewCoordinate(double v) { return static_cast<int>(std::floor(v)); }

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
}

void PictureView::SetPicture(QImage picture)
{
    picture_ = std::move(picture);
    update();
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
    update(x, y, 1, 1);
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

void PictureView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect visible = event->rect() & rect();
    if (!picture_.isNull())
        painter.drawImage(visible.topLeft(), picture_, visible);
}

void PictureView::mousePressEvent(QMouseEvent* event)
{
    emit MouseDown(event->button(), ViewCoordinate(event->position().x()),
                   ViewCoordinate(event->position().y()));
}

void PictureView::mouseMoveEvent(QMouseEvent* event)
{
    emit MouseMove(ViewCoordinate(event->position().x()), ViewCoordinate(event->position().y()));
}

void PictureView::mouseReleaseEvent(QMouseEvent* event)
{
    emit MouseUp(event->button(), ViewCoordinate(event->position().x()),
                 ViewCoordinate(event->position().y()));
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
        emit FrameDropped(ViewCoordinate(position.x()), ViewCoordinate(position.y()));
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
