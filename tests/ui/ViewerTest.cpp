// tests/ui/ViewerTest.cpp: zooming views, the region at any zoom, the window at any size.
#include "FakeDialogs.h"
#include "Unit1.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace {

// FNV-1a over the grab's pixels from row top down: one pixel changed anywhere changes it.
std::uint64_t PixelHash(const QImage& grab, int top = 0)
{
    const QImage image = grab.convertToFormat(QImage::Format_RGB32);
    std::uint64_t hash = 14695981039346656037ULL;
    for (int y = top; y < image.height(); ++y) {
        const uchar* line = image.constScanLine(y);
        for (int i = 0; i < image.width() * 4; ++i) {
            hash ^= line[i];
            hash *= 1099511628211ULL;
        }
    }
    return hash;
}

QString SavePicture(const QTemporaryDir& dir, int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
    const QString path = dir.filePath(QStringLiteral("p%1x%2.png").arg(width).arg(height));
    picture.save(path);
    return path;
}

// A press, moves and a release of the left button on widget, at points given
// in its coordinates before the drag: a widget that moves under the pointer
// receives them where they then are on it, as on screen.
void Drag(QWidget* widget, const std::vector<QPoint>& points, Qt::KeyboardModifiers keys = {})
{
    std::vector<QPoint> inWindow;
    for (const QPoint& p : points)
        inWindow.push_back(widget->mapTo(widget->window(), p));
    for (std::size_t i = 0; i < points.size(); ++i) {
        const QEvent::Type type = i == 0                     ? QEvent::MouseButtonPress
                                  : i + 1 == points.size()   ? QEvent::MouseButtonRelease
                                                             : QEvent::MouseMove;
        const QPointF at(widget->mapFrom(widget->window(), inWindow[i]));
        QMouseEvent event(type, at, widget->mapToGlobal(at),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, keys);
        QApplication::sendEvent(widget, &event);
    }
}

QStringList CornerTexts(const TForm1& form)
{
    return {form.Label11->text(), form.Label12->text(), form.Label13->text(),
            form.Label14->text()};
}

struct ShownForm {
    explicit ShownForm(int width, int height)
    {
        form.LoadPicture(SavePicture(dir, width, height));
        form.resize(1123, 882);
        form.show();
        QCoreApplication::processEvents();
    }
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
};

}  // namespace

TEST(ViewGeometry, StepsFitAndMappingAgree)
{
    struct Step { double from; int steps; double to; };
    const Step steps[] = {{1, 1, 2}, {1, -1, 2.0 / 3}, {0.3, 1, 1.0 / 3}, {0.3, -1, 0.25},
                          {32, 1, 32}, {1.0 / 64, -1, 1.0 / 64}, {1, 3, 4}, {1, -12, 1.0 / 64}};
    for (const Step& s : steps)
        EXPECT_DOUBLE_EQ(ViewGeometry::StepFrom(s.from, s.steps), s.to) << s.from << " " << s.steps;
    EXPECT_DOUBLE_EQ(ViewGeometry::Fit(QSize(4096, 3072), QSize(512, 512)), 0.125);
    EXPECT_DOUBLE_EQ(ViewGeometry::Fit(QSize(16000, 10), QSize(100, 100)), 1.0 / 64);  // floor

    // Every view pixel of a zoomed, scrolled sample shows the picture pixel the
    // mapping names, and ViewRect puts that pixel back under it.
    std::mt19937 rng(2024);
    QImage picture(37, 23, QImage::Format_Grayscale8);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.scanLine(y)[x] = static_cast<uchar>(rng());
    for (int round = 0; round < 300; ++round) {
        ViewGeometry view;
        view.zoom = ViewGeometry::StepFrom(1, static_cast<int>(rng() % 23) - 12);
        const QSize content = view.ContentSize(picture.size());
        view.scroll = QPoint(static_cast<int>(rng() % (content.width() + 1)),
                             static_cast<int>(rng() % (content.height() + 1)));
        const QRect target(static_cast<int>(rng() % 5), static_cast<int>(rng() % 5),
                           1 + static_cast<int>(rng() % 40), 1 + static_cast<int>(rng() % 40));
        const QImage sample = SampleForView(picture, view, target & view.ViewRect(picture.rect()));
        const QRect shown = target & view.ViewRect(picture.rect());
        for (int j = 0; j < shown.height(); ++j)
            for (int i = 0; i < shown.width(); ++i) {
                const QPoint p = view.PicturePixel(shown.topLeft() + QPoint(i, j));
                ASSERT_TRUE(picture.rect().contains(p)) << "round " << round;
                ASSERT_EQ(sample.pixel(i, j), picture.pixel(p)) << "round " << round;
                ASSERT_TRUE(view.ViewRect(QRect(p, QSize(1, 1))).contains(shown.topLeft() + QPoint(i, j)))
                    << "round " << round << " zoom " << view.zoom;
            }
    }
}

// The window at the size it has always had looks as it always has, pixel for
// pixel below the menu bar and in the menu bar's titles: empty, and with a
// picture, a region and the widest panel open. The View menu is the one new title,
// after the others.
TEST(WindowLayout, At1123x882NothingMoves)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    form.show();
    QCoreApplication::processEvents();
    // The Results pane docks beside the client area; without it the window is
    // the Parts' own size.
    form.Results1->trigger();
    QCoreApplication::processEvents();
    form.resize(1123, 882);
    QCoreApplication::processEvents();
    const QImage empty = form.grab().toImage();
    form.LoadPicture(SavePicture(dir, 512, 512));
    form.Image2MouseDown(100, 120);
    form.Image2MouseUp(400, 380);
    emit form.DetectObject1->aboutToShow();
    form.DetectObjectSetup1->trigger();
    QCoreApplication::processEvents();
    const QImage loaded = form.grab().toImage();
    // Hashes of the grabs the window gave before it could zoom or scroll: the
    // client area between the menu bar and the status bar, and the menu titles.
    // The status bar is where it was; its size grip now sits in the corner, as a
    // window that can be resized shows it.
    const int top = form.menuBar()->height();
    EXPECT_EQ(empty.size(), QSize(1123, 882));
    EXPECT_EQ(top, 18);
    EXPECT_EQ(form.statusBar()->geometry(), QRect(0, 860, 1123, 22));
    EXPECT_EQ(PixelHash(empty.copy(0, top, 1123, 860 - top)), 0x32ebd09a67a430a6u);
    EXPECT_EQ(PixelHash(loaded.copy(0, top, 1123, 860 - top)), 0x1a8ff89082257bb2u);
    EXPECT_EQ(PixelHash(empty.copy(0, 0, 744, top)), 0x6882e31510e3e2c7u);
}

TEST(PictureView, WheelZoomKeepsThePixelUnderThePointerAndBothViewsKeepInStep)
{
    ShownForm f(4096, 3072);
    PictureView* view = f.form.Image2;
    const QPoint pointer(301, 207);
    const QPoint pixel = view->PicturePixelAt(pointer);
    for (int notch = 0; notch < 5; ++notch) {  // 200 %, 300 %, 400 %, 600 %, 800 %
        QWheelEvent wheel(QPointF(pointer), view->mapToGlobal(QPointF(pointer)), QPoint(),
                          QPoint(0, 120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(view, &wheel);
        EXPECT_EQ(view->PicturePixelAt(pointer), pixel) << "zoom " << view->Zoom();
        EXPECT_EQ(f.form.Image1->Zoom(), view->Zoom());
        EXPECT_EQ(f.form.Image1->ScrollPosition(), view->ScrollPosition());
    }
    EXPECT_EQ(view->Zoom(), 8);
    // Scrolling the After view scrolls the Before view.
    f.form.Image1->SetZoomAndScroll(0.25, QPoint(200, 150));
    EXPECT_EQ(view->Zoom(), 0.25);
    EXPECT_EQ(view->ScrollPosition(), QPoint(200, 150));
    // The menu's keys: fit shows the whole picture, 100 % is a picture pixel a view pixel.
    f.form.findChild<QAction*>(QStringLiteral("FitToView1"))->trigger();
    for (PictureView* v : {f.form.Image1, f.form.Image2})
        EXPECT_TRUE(v->Viewport().contains(v->ViewRectOf(QRect(0, 0, 4096, 3072))));
    f.form.findChild<QAction*>(QStringLiteral("ActualSize1"))->trigger();
    EXPECT_EQ(f.form.Image1->Zoom(), 1);
}

// The region is drawn with the mouse on the view at any zoom and scroll; the
// corners are picture pixels, the frame covers them on screen.
TEST(RegionOfInterest, IsDrawnInPicturePixelsAtEveryZoomAndScroll)
{
    struct Case {
        double zoom;
        QPoint scroll;
        QPoint press, release;  // view pixels
        QStringList corners;
    };
    const Case cases[] = {
        {4, QPoint(8000, 6000), {40, 20}, {121, 83}, {"2010", "1505", "2030", "1520"}},
        {0.25, QPoint(400, 200), {10, 30}, {200, 150}, {"1640", "920", "2400", "1400"}},
        {0.125, QPoint(0, 0), {500, 380}, {10, 10}, {"4000", "3040", "80", "80"}},
    };
    for (const Case& c : cases) {
        ShownForm f(4096, 3072);
        f.form.Image2->SetZoomAndScroll(c.zoom, c.scroll);
        ASSERT_EQ(f.form.Image2->ScrollPosition(), c.scroll);
        Drag(f.form.Image2, {c.press, (c.press + c.release) / 2, c.release});
        EXPECT_EQ(CornerTexts(f.form), c.corners) << c.zoom;
        const QRect onView = f.form.Image2->ViewRectOf(f.form.Shape3->PictureRect());
        EXPECT_EQ(f.form.Shape3->geometry(), onView.translated(f.form.Image2->pos())) << c.zoom;
    }
}

TEST(RegionOfInterest, TheFrameMovesByTheDragAndItsEdgesResizeIt)
{
    ShownForm f(4096, 3072);
    TForm1& form = f.form;
    form.SetCorners({300, 200, 100, 50});  // drawn up and left
    form.Image2->SetZoomAndScroll(2, QPoint(100, 40));
    RegionFrame* frame = form.Shape3;
    ASSERT_EQ(frame->geometry(), QRect(16 + 100, 48 + 60, 400, 300));
    // Inside: the frame moves by the drag (20, 30 view pixels = 10, 15 picture
    // pixels), not corner to pointer; the first corner stays the first.
    Drag(frame, {{200, 150}, {210, 160}, {220, 180}});
    EXPECT_EQ(CornerTexts(form), (QStringList{"310", "215", "110", "65"}));
    EXPECT_EQ(frame->geometry(), QRect(16 + 120, 48 + 90, 400, 300));
    // The right edge (inside the outline, mid-height) widens it; the left stays.
    Drag(frame, {{398, 150}, {438, 150}});
    EXPECT_EQ(CornerTexts(form), (QStringList{"330", "215", "110", "65"}));
    // The bottom-left corner.
    Drag(frame, {{1, 298}, {-19, 318}});
    EXPECT_EQ(CornerTexts(form), (QStringList{"330", "225", "100", "65"}));
    // A move never takes the frame off the picture.
    Drag(frame, {{200, 150}, {-5000, -5000}});
    EXPECT_EQ(CornerTexts(form), (QStringList{"230", "160", "0", "0"}));
    // With Shift, a press inside draws a new region from there.
    Drag(frame, {{100, 100}, {140, 120}}, Qt::ShiftModifier);
    EXPECT_EQ(CornerTexts(form), (QStringList{"50", "50", "70", "60"}));  // frame at view (-100, -40)
}

TEST(RegionOfInterest, TypedCornersMoveTheFrame)
{
    ShownForm f(640, 480);
    TForm1& form = f.form;
    struct Case { QLabel* label; const char* typed; QStringList corners; };
    const Case cases[] = {
        {form.Label13, "250", {"0", "0", "250", "100"}},
        {form.Label12, "40", {"0", "40", "250", "100"}},
        {form.Label11, "-7", {"-7", "40", "250", "100"}},
    };
    for (const Case& c : cases) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), c.label->mapToGlobal(QPointF(2, 2)),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(c.label, &press);
        auto* field = form.findChild<QLineEdit*>(c.label->objectName() + QStringLiteral("Field"));
        ASSERT_NE(field, nullptr);
        ASSERT_TRUE(field->isVisible());
        field->setText(QString::fromLatin1(c.typed));
        emit field->returnPressed();
        EXPECT_FALSE(field->isVisible());
        EXPECT_EQ(CornerTexts(form), c.corners);
    }
    EXPECT_EQ(form.Shape3->geometry(), QRect(16 - 7, 48 + 40, 257, 60));
}

TEST(RegionOfInterest, TheEdgeLineIsALineAndTheCircularCentreStaysOutOfThePicture)
{
    ShownForm f(64, 64);
    TForm1& form = f.form;
    emit form.FindEdge1->aboutToShow();
    EXPECT_EQ(form.Shape3->CurrentShape(), RegionFrame::Shape::Line);
    emit form.FindCircular1->aboutToShow();
    EXPECT_EQ(form.Shape3->CurrentShape(), RegionFrame::Shape::Frame);
    const QImage before = form.Image2->Picture();
    form.Image2MouseDown(30, 30);
    EXPECT_EQ(form.Image2->Picture(), before);
    EXPECT_EQ(form.Image2->Mark(), QPoint(30, 30));
    emit form.EXIT1->aboutToShow();
    EXPECT_FALSE(form.Image2->Mark());
}

// At 1024 x 600 the client area scrolls: every control of every panel, the
// buttons and the status bar can be brought into sight.
TEST(WindowLayout, At1024x600EveryControlCanBeReached)
{
    {
        FakeDialogs dialogs;
        TForm1 fresh;  // the offscreen screen is 800 x 600: it opens to fit
        const QRect free = fresh.screen()->availableGeometry();
        EXPECT_LE(fresh.width(), free.width());
        EXPECT_LE(fresh.height(), free.height());
    }
    ShownForm f(640, 480);
    TForm1& form = f.form;
    form.resize(1024, 600);
    QCoreApplication::processEvents();
    ASSERT_EQ(form.size(), QSize(1024, 600));
    auto* area = form.findChild<QScrollArea*>(QStringLiteral("ClientArea"));
    ASSERT_NE(area, nullptr);
    EXPECT_TRUE(form.rect().contains(form.statusBar()->geometry()));
    struct Panel { QMenu* menu; QFrame* panel; };
    const Panel panels[] = {{form.Fiter1, form.Panel1}, {form.Mophology1, form.Panel2},
                            {form.Brightness1, form.Panel3}, {form.Threshold1, form.Panel4},
                            {form.DetectObject1, form.Panel4}, {form.MatchPattern1, form.Panel5},
                            {form.FindEdge1, form.Panel6}, {form.FindStraight1, form.Panel7},
                            {form.FindCircular1, form.Panel8}};
    for (const Panel& p : panels) {
        emit p.menu->aboutToShow();
        QCoreApplication::processEvents();
        QList<QWidget*> controls = p.panel->findChildren<QWidget*>();
        controls << form.Button6 << form.Button15 << form.Button14 << form.Button16 << form.Label14;
        int checked = 0;
        for (QWidget* w : controls) {
            const bool control = qobject_cast<QAbstractButton*>(w) != nullptr ||
                                 qobject_cast<QAbstractSlider*>(w) != nullptr ||
                                 qobject_cast<QLineEdit*>(w) != nullptr ||
                                 qobject_cast<QComboBox*>(w) != nullptr;
            if (!control || !w->isVisibleTo(&form))
                continue;
            area->ensureWidgetVisible(w, 0, 0);
            const QRect onScreen(w->mapTo(area->viewport(), QPoint(0, 0)), w->size());
            EXPECT_TRUE(area->viewport()->rect().contains(onScreen))
                << p.panel->objectName().toStdString() << " " << w->objectName().toStdString();
            ++checked;
        }
        EXPECT_GT(checked, 5) << p.panel->objectName().toStdString();
    }
}
