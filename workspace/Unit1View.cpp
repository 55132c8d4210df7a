// workspace/Unit1View.cpp: the views' zoom and scroll, the region's frame and
// corner fields, and a window size that fits the screen.
#include "Unit1.h"

#include "Conversions.h"
#include "ResultsPane.h"
#include "ScreenFit.h"

#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>

#include <algorithm>

namespace {

// Runs f when watched is shown or hidden, with its new visibility.
class VisibilityWatch : public QObject {
public:
    static constexpr const char* kName = "VisibilityWatch";
    VisibilityWatch(QWidget* watched, std::function<void(bool)> f)
        : QObject(watched), f_(std::move(f))
    {
        setObjectName(QString::fromLatin1(kName));
        watched->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
            f_(event->type() == QEvent::Show);
        return false;
    }

private:
    std::function<void(bool)> f_;
};

int ClampTo(int v, int size) { return std::clamp(v, 0, std::max(size - 1, 0)); }

}  // namespace

namespace {
// The Results pane's width beside the client area: what a table of a few
// columns needs, and the least it is given.
constexpr int kPanePreferred = 340;
constexpr int kPaneMinimum = 200;
}  // namespace

void TForm1::DropViewerWatches()
{
    for (QWidget* panel : {Panel6, Panel8})
        qDeleteAll(panel->findChildren<QObject*>(QString::fromLatin1(VisibilityWatch::kName),
                                                 Qt::FindDirectChildrenOnly));
}

void TForm1::BuildViewer()
{
    PictureView::KeepInStep(Image1, Image2);
    connect(Image2, &PictureView::ViewChanged, this, [this, zoom = Image2->Zoom()]() mutable {
        if (zoom == Image2->Zoom())
            return;
        zoom = Image2->Zoom();
        statusBar()->showMessage(QStringLiteral("Zoom: %1 %").arg(zoom * 100, 0, 'g', 4), 3000);
    });

    // The frame follows the pointer while a new region is drawn, and the
    // corner labels follow the frame wherever the user takes it.
    connect(Image2, &PictureView::MouseDrag, this, [this](int x, int y) {
        const QPoint second(ClampTo(x, ImageWidth()), ClampTo(y, ImageHeight()));
        Shape3->SetCorners(Shape3->First(), second);
        Label13->setText(IntToText(second.x()));
        Label14->setText(IntToText(second.y()));
    });
    connect(Shape3, &RegionFrame::Edited, this, [this](QPoint first, QPoint second) {
        Label11->setText(IntToText(first.x()));
        Label12->setText(IntToText(first.y()));
        Label13->setText(IntToText(second.x()));
        Label14->setText(IntToText(second.y()));
    });
    // A typed corner moves the frame; the others stay as they stand.
    for (QLabel* label : {Label11, Label12, Label13, Label14})
        MakeLabelEditable(label, [this, label](int value) {
            RunGuarded([&] {
                label->setText(IntToText(value));
                SetCorners(ReadCorners());
            });
        });
    for (QLabel* label : {Label11, Label12, Label13, Label14})
        label->setToolTip(QStringLiteral("Click to type this corner in picture pixels; Enter applies"));
    // The edge finder scans along the line from the first corner to the second.
    new VisibilityWatch(Panel6, [this](bool shown) {
        Shape3->SetShape(shown ? RegionFrame::Shape::Line : RegionFrame::Shape::Frame);
    });
    new VisibilityWatch(Panel8, [this](bool shown) {
        if (!shown)
            Image2->SetMark(std::nullopt);
    });

    // One View menu: the Results pane's items, then the zoom.
    if (View1 == nullptr) {
        View1 = menuBar()->addMenu(QStringLiteral("View"));
        View1->setObjectName(QStringLiteral("View1"));
    } else {
        View1->addSeparator();
    }
    QMenu* view = View1;
    struct Item {
        const char* name;
        const char* text;
        QList<QKeySequence> keys;
        void (PictureView::*zoom)();
    };
    const Item items[] = {
        {"ActualSize1", "Actual Size (100 %)", {QKeySequence(Qt::CTRL | Qt::Key_1)},
         &PictureView::ZoomToActualSize},
        {"FitToView1", "Fit to View", {QKeySequence(Qt::CTRL | Qt::Key_0)}, &PictureView::ZoomToFit},
        {"ZoomIn1", "Zoom In",
         {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
         &PictureView::ZoomIn},
        {"ZoomOut1", "Zoom Out", {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, &PictureView::ZoomOut},
    };
    for (const Item& item : items) {
        QAction* action = view->addAction(QString::fromLatin1(item.text));
        action->setObjectName(QString::fromLatin1(item.name));
        action->setShortcuts(item.keys);
        connect(action, &QAction::triggered, Image2, item.zoom);
    }
    view->addSeparator();
    ShowBeforeAsGray1 = view->addAction(QStringLiteral("Show Before as Gray"));
    ShowBeforeAsGray1->setObjectName(QStringLiteral("ShowBeforeAsGray1"));
    ShowBeforeAsGray1->setCheckable(true);
    Bind(ShowBeforeAsGray1, &QAction::toggled, &TForm1::ShowBeforeAsGray1Click);
    // Fit for the smaller of the two views, or the other one would need a scroll bar.
    QAction* fit = view->findChild<QAction*>(QStringLiteral("FitToView1"));
    disconnect(fit, &QAction::triggered, Image2, nullptr);
    connect(fit, &QAction::triggered, this, [this] {
        const QSize picture(ImageWidth(), ImageHeight());
        Image2->SetZoomAndScroll(std::min(ViewGeometry::Fit(picture, Image1->size()),
                                          ViewGeometry::Fit(picture, Image2->size())),
                                 QPoint(0, 0));
    });

    // The Parts' layout where the screen holds it; a smaller window scrolls.
    adjustSize();
    const QSize preferred = size();
    auto* area = new QScrollArea(this);
    area->setObjectName(QStringLiteral("ClientArea"));
    area->setFrameShape(QFrame::NoFrame);
    area->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    area->setWidget(takeCentralWidget());
    setCentralWidget(area);
    // The layout fixed the window's minimum at the Parts' size; let it drop now.
    layout()->activate();
    // The Results pane beside the client area, as wide as the screen leaves
    // room for (within reason), so the client area keeps its whole width.
    QSize wanted = preferred;
    if (ResultsPane1 != nullptr && !ResultsPane1->isHidden()) {
        const int separator = style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this);
        const QSize free = screen() ? screen()->availableGeometry().size() : QSize(1600, 1000);
        // A screen lower than the window gives the client area a vertical scroll bar.
        const int scrollBar = free.height() < preferred.height()
                                  ? style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this)
                                  : 0;
        const int pane = std::clamp(free.width() - Client->width() - separator - scrollBar,
                                    kPaneMinimum, kPanePreferred);
        wanted = QSize(Client->width() + scrollBar + separator + pane, preferred.height());
        resizeDocks({ResultsPane1}, {pane}, Qt::Horizontal);
    }
    FitOnScreen(this, wanted);
}

// Either way the Before image itself is left alone: only the view changes.
void TForm1::ShowBeforeAsGray1Click()
{
    if (!BeforeImage)
        return;
    if (ShowBeforeAsGray1->isChecked() || BeforePicture.isNull()) {
        ShowGrayIn(Image2, BeforeImage);
    } else {
        Image2->SetPicture(BeforePicture);
        Image2->SetPixelFormat24();
    }
}
