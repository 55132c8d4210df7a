// tests/ui/SessionViewTest.cpp: views that follow the gray images show the
// pixels the images hold, at every zoom and after every change; the Before
// view in gray on request.
#include "FakeDialogs.h"
#include "PictureFiles.h"
#include "TestImages.h"
#include "TestPictures.h"
#include "Unit1.h"

#include <QCoreApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>

namespace {

// The view as painted: its viewport rendered into a blank frame.
QImage Painted(const PictureView& view)
{
    QImage frame(view.Viewport().size(), QImage::Format_RGB32);
    frame.fill(qRgb(1, 2, 3));
    QPainter painter(&frame);
    view.Render(painter, view.Viewport());
    return frame;
}

// Every view pixel that shows the picture shows gray image[x][y] of the pixel
// under it; the rest of the frame is left as it was.
void ExpectShows(const PictureView& view, const GrayImage& image, const char* what)
{
    const QImage frame = Painted(view);
    const QRect shown = view.ViewRectOf(QRect(0, 0, view.PictureWidth(), view.PictureHeight()));
    for (int v = 0; v < frame.height(); ++v)
        for (int u = 0; u < frame.width(); ++u) {
            QRgb expected = qRgb(1, 2, 3);
            if (shown.contains(u, v)) {
                const QPoint p = view.PicturePixelAt(QPointF(u, v));
                const int g = image[p.x()][p.y()];
                expected = qRgb(g, g, g);
            }
            ASSERT_EQ(frame.pixel(u, v), expected) << what << " at view " << u << "," << v
                                                   << " zoom " << view.Zoom();
        }
}

struct Window {
    explicit Window(const QImage& picture)
    {
        path = dir.filePath(QStringLiteral("p.png"));
        picture.save(path);
        form.LoadPicture(path);
        form.show();
        QCoreApplication::processEvents();
    }
    void Filter(int kind, const Corners& region)
    {
        form.SetCorners(region);
        emit form.Fiter1->aboutToShow();
        form.ChooseFilter(kind);
        form.Button1->click();
    }
    QTemporaryDir dir;
    QString path;
    FakeDialogs dialogs;
    TForm1 form;
};

}  // namespace

// The view that follows an image paints exactly what the view of its picture
// paints, over seeded random images of assorted sizes (1 x N and N x 1, smaller
// and larger than the view), zooms from 1/64 to 32 and scrolls; and its picture,
// pixels and saved file are the picture's.
TEST(PictureView, FollowingAGrayImagePaintsWhatItsPictureWould)
{
    std::mt19937 rng(4711);  // fixed seed: a failure reproduces
    const QSize sizes[] = {{1, 57}, {63, 1}, {37, 21}, {150, 97}, {301, 230}};
    for (int round = 0; round < 120; ++round) {
        const QSize size = sizes[round % std::size(sizes)];
        const GrayImage image = RandomImage(rng, size.width(), size.height());
        PictureView following, literal;
        for (PictureView* view : {&following, &literal})
            view->resize(120 + round % 7, 90 + round % 5);
        following.SetPicture(QImage(5, 5, QImage::Format_RGB32));
        following.FollowGray(image, size.width(), size.height());
        literal.SetPicture(PictureFromGray(image, size.width(), size.height()));
        const double zoom = ViewGeometry::StepFrom(1, static_cast<int>(rng() % 23) - 12);
        const QSize content = literal.Mapping().ContentSize(size);
        const QPoint scroll(static_cast<int>(rng() % (content.width() + 1)),
                            static_cast<int>(rng() % (content.height() + 1)));
        for (PictureView* view : {&following, &literal})
            view->SetZoomAndScroll(zoom, scroll);
        ASSERT_EQ(following.ScrollPosition(), literal.ScrollPosition()) << "round " << round;
        ASSERT_EQ(following.Viewport(), literal.Viewport()) << "round " << round;
        ASSERT_EQ(Painted(following), Painted(literal)) << "round " << round << " zoom " << zoom;
        ASSERT_EQ(following.Picture(), literal.Picture()) << "round " << round;
        const int x = static_cast<int>(rng() % size.width()), y = static_cast<int>(rng() % size.height());
        ASSERT_EQ(following.Pixel(x, y), literal.Pixel(x, y)) << "round " << round;
        ASSERT_EQ(following.Pixel(size.width(), 0), qRgb(0, 0, 0));
    }
}

// The picture made on request is the image as it stands when the view was
// last told: a copy taken earlier keeps its pixels, drawing stops the following,
// and the 24-bit request holds for the picture made later.
TEST(PictureView, ThePictureIsMadeAgainAfterEveryChangeAndCopiesKeepTheirs)
{
    GrayImage image = FromRows({{10, 20, 30}, {40, 50, 60}});
    PictureView view;
    view.FollowGray(image, 3, 2);
    const QImage first = view.Picture();
    EXPECT_EQ(first.format(), QImage::Format_Grayscale8);
    EXPECT_EQ(first.pixel(2, 1), qRgb(60, 60, 60));
    image[2][1] = 99;
    view.FollowGray(image, 3, 2);
    EXPECT_EQ(view.Picture().pixel(2, 1), qRgb(99, 99, 99));
    EXPECT_EQ(first.pixel(2, 1), qRgb(60, 60, 60));  // the copy was not written through

    view.SetPixelFormat24();
    EXPECT_TRUE(view.FollowsGray());
    EXPECT_EQ(view.Picture().format(), QImage::Format_RGB32);
    EXPECT_EQ(view.Picture().pixel(0, 1), qRgb(40, 40, 40));

    view.SetPixel(1, 0, qRgb(255, 0, 0));
    EXPECT_FALSE(view.FollowsGray());
    image[0][0] = 7;  // no longer followed: the view keeps what it had
    EXPECT_EQ(view.Pixel(0, 0), qRgb(10, 10, 10));
    EXPECT_EQ(view.Pixel(1, 0), qRgb(255, 0, 0));
    EXPECT_EQ(view.PictureWidth(), 3);
}

// After a command, undo and redo, the After view shows the After image at the
// zoom and scroll it is then moved to: below 100 %, at 100 % scrolled, above;
// and a picture smaller than the view shows whole, the rest untouched.
TEST(SessionView, TheAfterViewShowsTheNewPixelsAfterEveryChangeAtEveryZoom)
{
    for (const QSize size : {QSize(900, 700), QSize(200, 150)}) {
        Window w(ColourPicture(size.width(), size.height()));
        TForm1& form = w.form;
        struct Place { double zoom; QPoint scroll; };
        const Place places[] = {{1, {0, 0}}, {0.25, {10, 20}}, {1, {300, 150}}, {3, {500, 700}}};
        auto check = [&](const char* what) {
            for (const Place& p : places) {
                form.Image1->SetZoomAndScroll(p.zoom, p.scroll);
                ExpectShows(*form.Image1, form.AfterImage(), what);
            }
            form.Image1->SetZoomAndScroll(1, {0, 0});
        };
        w.Filter(kSobel, {20, 30, 180, 140});
        const std::vector<std::vector<int>> sobel =
            ToRows(form.AfterImage(), size.width(), size.height());
        check("Sobel");
        w.Filter(kLaplacian, {0, 0, 120, 100});
        check("Laplacian");
        form.Undo1->trigger();
        EXPECT_EQ(ToRows(form.AfterImage(), size.width(), size.height()), sobel);
        check("undo");
        form.Redo1->trigger();
        check("redo");
        form.Button6->click();  // Copy After to Before: the Before view follows too
        ExpectShows(*form.Image2, form.BeforeImage, "copy to Before");
        EXPECT_EQ(form.Image1->Picture(),
                  PictureFromGray(form.AfterImage(), size.width(), size.height()));
    }
}

// View > Show Before as Gray: off at start; on, the Before view shows the gray
// image the tools use; off, the loaded colour picture again. It holds across a
// Load and an Undo, and the Before image itself never changes.
TEST(SessionView, ShowBeforeAsGraySwapsOnlyTheBeforeView)
{
    Window w(ColourPicture(160, 120));
    TForm1& form = w.form;
    QAction* gray = form.View1->findChild<QAction*>(QStringLiteral("ShowBeforeAsGray1"));
    ASSERT_EQ(gray, form.ShowBeforeAsGray1);
    ASSERT_TRUE(gray->isCheckable());
    EXPECT_FALSE(gray->isChecked());
    const QImage colour = ColourPicture(160, 120);
    auto showsColour = [&](const QImage& picture) {
        EXPECT_EQ(form.Image2->Picture().convertToFormat(QImage::Format_RGB32), picture);
        EXPECT_EQ(Painted(*form.Image2).copy(picture.rect()), picture);
    };
    auto showsGray = [&](const char* what) {
        const int w2 = form.ImageWidth(), h2 = form.ImageHeight();
        EXPECT_EQ(form.Image2->Picture(), PictureFromGray(form.BeforeImage, w2, h2)) << what;
        ExpectShows(*form.Image2, form.BeforeImage, what);
        EXPECT_EQ(form.Image2->Pixel(7, 5), qRgb(form.BeforeImage[7][5], form.BeforeImage[7][5],
                                                 form.BeforeImage[7][5]));
    };
    showsColour(colour);
    const std::vector<std::vector<int>> before = ToRows(form.BeforeImage, 160, 120);
    gray->trigger();
    ASSERT_TRUE(gray->isChecked());
    showsGray("on");
    EXPECT_EQ(ToRows(form.BeforeImage, 160, 120), before);
    gray->trigger();
    showsColour(colour);

    gray->trigger();  // on again, then a second picture of another size
    const QImage second = ColourPicture(90, 70).mirrored(true, false);
    const QString path = w.dir.filePath(QStringLiteral("second.png"));
    second.save(path);
    w.dialogs.OpenAnswers << path;
    form.Load1->trigger();
    ASSERT_EQ(form.ImageWidth(), 90);
    showsGray("after Load");
    form.Undo1->trigger();  // back to the first picture, still in gray
    ASSERT_EQ(form.ImageWidth(), 160);
    showsGray("after Undo");
    gray->trigger();
    showsColour(colour);

    form.Button15->click();  // Clear Before: the view is gray whatever the menu says
    gray->trigger();
    gray->trigger();
    showsGray("cleared");
}
