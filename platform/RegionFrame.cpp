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
}

void RegionFrame::paintEvent(QPaintEvent*)
{
    if (width() <= 0 || height() <= 0)
        return;
    QPainter painter(this);
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
