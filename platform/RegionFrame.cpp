// platform/RegionFrame.cpp
#include "RegionFrame.h"

#include "PictureView.h"

#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

RegionFrame::RegionFrame(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setCursor(Qt::SizeAllCursor);
    UpdateGrabArea();
}

void RegionFrame::ClipTo(QWidget* view)
{
    if (view_ != nullptr)
        view_->removeEventFilter(this);
    view_ = view;
    if (view_ != nullptr)
        view_->installEventFilter(this);
    UpdateGrabArea();
}

void RegionFrame::UpdateGrabArea()
{
    const QRect bounds = rect();
    QRegion area = QRegion(bounds).subtracted(
        QRegion(bounds.adjusted(kGrabWidth, kGrabWidth, -kGrabWidth, -kGrabWidth)));
    if (view_ != nullptr && parentWidget() != nullptr) {
        const QPoint origin = view_->mapTo(parentWidget(), QPoint(0, 0));
        area &= QRegion(QRect(origin, view_->size()).translated(-pos()));
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
    painter.setPen(QPen(QColor(0, 128, 0), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, width() - 1, height() - 1);
}

void RegionFrame::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    emit DragStarted();
    auto* drag = new QDrag(this);
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(PictureView::kFrameMimeType), QByteArray("frame"));
    drag->setMimeData(mime);
    drag->setPixmap(grab());
    drag->setHotSpot(QPoint(0, 0));  // the frame lands with its corner at the drop point
    drag->exec(Qt::MoveAction);
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
    if (watched == view_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        UpdateGrabArea();
    return QWidget::eventFilter(watched, event);
}
