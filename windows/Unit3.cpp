// windows/Unit3.cpp
#include "Unit3.h"

#include "Application.h"
#include "ScreenFit.h"

#include <QHeaderView>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

namespace {

// The window's size where the screen holds it: everything in sight.
constexpr QSize kClientSize(1083, 676);

// Three small toolbar pictures: a table, a magnifier and a page.
QList<QIcon> ToolIcons()
{
    QList<QIcon> icons;
    for (int k = 0; k < 3; ++k) {
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setPen(QPen(QColor(40, 40, 40), 1));
        if (k == 0) {
            painter.fillRect(1, 1, 14, 14, Qt::white);
            painter.fillRect(1, 1, 14, 3, QColor(150, 170, 210));
            painter.fillRect(1, 1, 3, 14, QColor(150, 170, 210));
            painter.drawRect(1, 1, 14, 14);
            for (int v = 4; v < 15; v += 4) {
                painter.drawLine(v, 1, v, 15);
                painter.drawLine(1, v, 15, v);
            }
        } else if (k == 1) {
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(QColor(40, 40, 40), 2));
            painter.drawEllipse(2, 2, 8, 8);
            painter.drawLine(9, 9, 14, 14);
        } else {
            painter.fillRect(3, 1, 10, 14, Qt::white);
            painter.drawRect(3, 1, 10, 14);
            for (int y = 4; y < 13; y += 3)
                painter.drawLine(5, y, 11, y);
        }
        icons << QIcon(pixmap);
    }
    return icons;
}

}  // namespace

TForm3::TForm3(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Form3"));
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setWidgetResizable(true);
    Client = new QWidget;
    Client->setObjectName(QStringLiteral("Client"));
    Client->setMinimumSize(kClientSize);
    Client->resize(kClientSize);
    ScrollBox1->setWidget(Client);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(ScrollBox1);
    Client->installEventFilter(this);

    CoolBar1 = new QFrame(Client);
    CoolBar1->setObjectName(QStringLiteral("CoolBar1"));
    CoolBar1->setFrameShape(QFrame::StyledPanel);
    ToolBar1 = new QToolBar(CoolBar1);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setMovable(false);
    ImageList1 = ToolIcons();
    QToolButton** buttons[] = {&ToolButton1, &ToolButton2, &ToolButton3};
    for (int k = 0; k < 3; ++k) {
        auto* button = new QToolButton(ToolBar1);
        button->setObjectName(QStringLiteral("ToolButton%1").arg(k + 1));
        button->setIcon(ImageList1[k]);
        ToolBar1->addWidget(button);
        *buttons[k] = button;
    }
    ToolButton1->setToolTip(QStringLiteral("Gray values of the picture"));
    connect(ToolButton1, &QToolButton::clicked, this,
            [this] { RunGuarded([this] { ToolButton1Click(); }); });

    Shape1 = new QFrame(Client);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(16, 80, 529, 529);
    Shape1->setAutoFillBackground(true);
    QPalette gray = Shape1->palette();
    gray.setColor(QPalette::Window, QColor(128, 128, 128));
    Shape1->setPalette(gray);

    Image1 = new PictureView(Client);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(24, 88, 512, 512);
    Image1->setAcceptDrops(false);

    Panel1 = new QFrame(Client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setGeometry(568, 80, 489, 529);
    StringGrid1 = new StringGrid(Panel1);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setGeometry(8, 16, 473, 505);
    StringGrid1->SetFixedCols(1);
    StringGrid1->SetFixedRows(1);
    StringGrid1->SetDefaultColWidth(25);
    StringGrid1->SetDefaultRowHeight(20);
    // "255" must fit a cell of 25 pixels with the view's margins: a 10-pixel font,
    // and clipping rather than "1..." when a wider font is all there is.
    QFont digits = StringGrid1->font();
    digits.setPixelSize(10);
    StringGrid1->setFont(digits);
    StringGrid1->setTextElideMode(Qt::ElideNone);
    StringGrid1->horizontalHeader()->setTextElideMode(Qt::ElideNone);
    StringGrid1->verticalHeader()->setTextElideMode(Qt::ElideNone);

    FitOnScreen(this, kClientSize);
    PlaceToolbar();  // a hidden window gets its first resize event only when shown
}

void TForm3::PlaceToolbar()
{
    CoolBar1->setGeometry(0, 0, Client->width(), 29);
    ToolBar1->setGeometry(1, 1, Client->width() - 2, 27);
}

bool TForm3::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Client && event->type() == QEvent::Resize)
        PlaceToolbar();
    return QWidget::eventFilter(watched, event);
}

void TForm3::ToolButton1Click()
{
    const QImage picture = Image1->Picture().convertToFormat(QImage::Format_RGB32);
    const int rows = std::min(picture.height(), kTableSize);
    const int cols = std::min(picture.width(), kTableSize);

    // One text per value, shared by every cell that shows it: no number is
    // formatted twice, and the grid repaints once at the end.
    static const std::array<QString, kTableSize> numbers = [] {
        std::array<QString, kTableSize> texts;
        for (int k = 0; k < kTableSize; ++k)
            texts[static_cast<std::size_t>(k)] = QString::number(k);
        return texts;
    }();

    StringGrid1->BeginUpdate();
    StringGrid1->SetColCount(cols + 1);
    StringGrid1->SetRowCount(rows + 1);
    for (int k = 0; k < rows; ++k)
        StringGrid1->SetCell(0, k + 1, numbers[static_cast<std::size_t>(k)]);
    for (int k = 0; k < cols; ++k)
        StringGrid1->SetCell(k + 1, 0, numbers[static_cast<std::size_t>(k)]);
    for (int y = 0; y < rows; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = 0; x < cols; ++x) {
            const int g = (qRed(line[x]) + qGreen(line[x]) + qBlue(line[x])) / 3;  // rounds down
            GrayTable[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)] =
                static_cast<std::uint8_t>(g);
            StringGrid1->SetCell(x + 1, y + 1, numbers[static_cast<std::size_t>(g)]);
        }
    }
    StringGrid1->EndUpdate();
}
