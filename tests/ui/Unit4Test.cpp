// tests/ui/Unit4Test.cpp: the video window, its start-up and the grab.
#include "FakeDialogs.h"
#include "PictureFiles.h"
#include "SyntheticCamera.h"
#include "TestImages.h"
#include "Unit1.h"
#include "Unit4.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The gray image the grab must give for a picture: (R + G + B) / 3, rounded down.
GrayImage ExpectedGray(const QImage& picture)
{
    GrayImage gray = NewGrayImage(picture.width(), picture.height());
    for (int x = 0; x < picture.width(); ++x)
        for (int y = 0; y < picture.height(); ++y) {
            const QRgb c = picture.pixel(x, y);
            gray[x][y] = static_cast<std::uint8_t>((qRed(c) + qGreen(c) + qBlue(c)) / 3);
        }
    return gray;
}

// Main window, video window and a synthetic camera that has shown frame `frames - 1`.
struct VideoFixture {
    explicit VideoFixture(int frames = 1) : video(form)
    {
        form.Form4 = &video;
        for (int k = 0; k < frames; ++k)
            camera.Driver->Next();
        const QImage last = PatternDriver::Frame(frames - 1);
        EXPECT_TRUE(WaitFor([&] { return Panel() == last; }));
    }
    QImage Panel()
    {
        HDC dc = GetDC(video.Panel1);
        const QImage pixels = dc->Pixels(QRect(0, 0, 320, 240));
        ReleaseDC(video.Panel1, dc);
        return pixels;
    }
    void Load(const QImage& picture)
    {
        const QString path = dir.filePath(QStringLiteral("picture.png"));
        ASSERT_TRUE(picture.save(path));
        form.LoadPicture(path);
    }
    FakeDialogs dialogs;
    SyntheticCamera camera;
    QTemporaryDir dir;
    TForm1 form;
    TForm4 video;
};

}  // namespace

TEST(TForm4, HasTheCaptureButtonAndPanelInPlace)
{
    FakeDialogs dialogs;
    SyntheticCamera camera;
    TForm1 form;
    TForm4 video(form);
    EXPECT_EQ(video.windowTitle(), QStringLiteral("Form4"));
    EXPECT_EQ(video.size(), QSize(366, 354));
    EXPECT_EQ(video.Button1->text(), QStringLiteral("擷取"));
    EXPECT_EQ(video.Button1->geometry(), QRect(16, 16, 73, 25));
    EXPECT_EQ(video.Panel1->geometry(), QRect(16, 56, 320, 240));
    ASSERT_TRUE(IsWindow(video.hWndC));
    EXPECT_EQ(video.hWndC->parentWidget(), video.Panel1);
    EXPECT_EQ(video.hWndC->geometry(), QRect(0, 0, 320, 240));
    EXPECT_TRUE(video.isHidden());  // "Viedo" shows it
    form.Form4 = &video;
    form.Button16->click();
    EXPECT_TRUE(video.isVisible());
}

TEST(TForm4, StartsThePreviewWhenTheDriverConnects)
{
    {
        FakeDialogs dialogs;
        SyntheticCamera camera;
        TForm1 form;
        TForm4 video(form);
        EXPECT_EQ(camera.Requests, QList<int>({0}));  // the second connect finds it connected
        EXPECT_TRUE(dialogs.Messages.isEmpty());
        camera.Driver->Next();
        HDC dc = GetDC(video.Panel1);
        EXPECT_TRUE(
            WaitFor([&] { return dc->Pixels(QRect(0, 0, 320, 240)) == PatternDriver::Frame(0); }));
        ReleaseDC(video.Panel1, dc);
    }
    {
        // A device that fails the first attempt: the second one decides.
        FakeDialogs dialogs;
        SyntheticCamera camera(true, true);
        TForm1 form;
        TForm4 video(form);
        EXPECT_EQ(camera.Requests, QList<int>({0, 0}));
        EXPECT_TRUE(dialogs.Messages.isEmpty());
        EXPECT_EQ(SendMessageA(video.hWndC, WM_CAP_SET_PREVIEW, 1, 0), 1);
    }
}

TEST(TForm4, SaysVideoIsUnavailableOnceWhenNoDriverConnects)
{
    FakeDialogs dialogs;
    SyntheticCamera camera(false);
    TForm1 form;
    TForm4 video(form);
    EXPECT_EQ(camera.Requests, QList<int>({0, 0}));  // tried twice, no more
    EXPECT_EQ(dialogs.Messages, QStringList({QStringLiteral("視訊無法")}));
    // The window still works: the grab takes the black panel.
    video.Button1->click();
    EXPECT_TRUE(dialogs.Errors.isEmpty());
    EXPECT_EQ(form.ImageWidth(), 320);
    EXPECT_EQ(form.ImageHeight(), 240);
    EXPECT_TRUE(SameImage(form.BeforeImage, Filled(320, 240, 0), 320, 240));
    EXPECT_EQ(dialogs.Messages.size(), 1);
    // The black picture is not passed off as a file or as a camera's frame.
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Camera grab (no video)"));
}

TEST(TForm4, GrabReplacesA512PictureWith320By240ImagesOfTheFrame)
{
    VideoFixture f(3);
    QImage big(512, 512, QImage::Format_RGB32);
    big.fill(qRgb(200, 100, 50));
    f.Load(big);
    f.form.Label11->setText(QStringLiteral("300"));
    f.form.Label12->setText(QStringLiteral("200"));
    f.form.Label13->setText(QStringLiteral("400"));
    f.form.Label14->setText(QStringLiteral("300"));
    ASSERT_EQ(f.form.windowTitle(), QStringLiteral("picture.png"));

    f.video.Button1->click();
    ASSERT_TRUE(f.dialogs.Errors.isEmpty()) << f.dialogs.Errors.join(u'\n').toStdString();

    const QImage frame = PatternDriver::Frame(2);
    const GrayImage expected = ExpectedGray(frame);
    EXPECT_EQ(f.form.ImageWidth(), 320);
    EXPECT_EQ(f.form.ImageHeight(), 240);
    EXPECT_EQ(f.form.Image2->PictureWidth(), 320);
    EXPECT_EQ(FirstDifference(f.form.BeforeImage, expected, 320, 240), "");
    EXPECT_EQ(FirstDifference(f.form.AfterImage(), expected, 320, 240), "");
    // After view: the frame in colour; Before view: red = green = blue = Before[x][y].
    EXPECT_EQ(f.form.Image1->Picture().convertToFormat(QImage::Format_RGB32), frame);
    bool gray = true;
    for (int x = 0; x < 320 && gray; ++x)
        for (int y = 0; y < 240 && gray; ++y) {
            const int g = f.form.BeforeImage[x][y];
            gray = f.form.Image2->Pixel(x, y) == qRgb(g, g, g);
            EXPECT_TRUE(gray) << x << "," << y;
        }
    EXPECT_NE(expected[0][0], expected[0][239]);  // the frame is not flat
    // The title no longer names the file; region and other controls stay as they were.
    EXPECT_EQ(f.form.windowTitle(), QStringLiteral("Camera grab"));
    EXPECT_EQ(f.form.Label11->text(), QStringLiteral("300"));
    EXPECT_EQ(f.form.Label14->text(), QStringLiteral("300"));
    EXPECT_TRUE(f.form.Button14->isEnabled());

    // Later commands work on 320 x 240: the region is clamped to it.
    const Region r = f.form.ReadRegionOfInterest();
    EXPECT_EQ(r, (Region{300, 200, 319, 239}));
    f.form.Button6Click();  // Copy After to Before repaints the Before view from the images
    EXPECT_EQ(FirstDifference(f.form.BeforeImage, expected, 320, 240), "");
    EXPECT_EQ(f.form.Image2->Pixel(319, 239),
              qRgb(expected[319][239], expected[319][239], expected[319][239]));
}

TEST(TForm4, TwoGrabsInARowEachTakeTheFrameShownThen)
{
    VideoFixture f(1);
    f.video.Button1->click();
    const GrayImage first = Copy(f.form.BeforeImage, 320, 240);
    EXPECT_EQ(FirstDifference(first, ExpectedGray(PatternDriver::Frame(0)), 320, 240), "");

    f.camera.Driver->Next();
    f.camera.Driver->Next();
    ASSERT_TRUE(WaitFor([&] { return f.Panel() == PatternDriver::Frame(2); }));
    f.video.Button1->click();
    const GrayImage expected = ExpectedGray(PatternDriver::Frame(2));
    EXPECT_EQ(FirstDifference(f.form.BeforeImage, expected, 320, 240), "");
    EXPECT_EQ(FirstDifference(f.form.AfterImage(), expected, 320, 240), "");
    EXPECT_FALSE(SameImage(first, expected, 320, 240));
    EXPECT_EQ(f.form.Image1->Picture().convertToFormat(QImage::Format_RGB32),
              PatternDriver::Frame(2));
}

TEST(TForm4, GrabBeforeAnyPictureMakesTheImagesAndLeavesToolButtonAlone)
{
    VideoFixture f(5);
    ASSERT_FALSE(f.form.BeforeImage);
    f.video.Button1->click();
    ASSERT_TRUE(f.form.BeforeImage);
    ASSERT_TRUE(f.form.AfterImage());
    EXPECT_EQ(f.form.ImageWidth(), 320);
    EXPECT_EQ(FirstDifference(f.form.AfterImage(), ExpectedGray(PatternDriver::Frame(4)), 320, 240),
              "");
    EXPECT_EQ(f.form.windowTitle(), QStringLiteral("Camera grab"));
    EXPECT_FALSE(f.form.Button14->isEnabled());  // only Load enables "Tool Button"
}

TEST(TForm4, GrabsFromAShownWindowToo)
{
    VideoFixture f(2);
    f.form.Button16->click();
    ASSERT_TRUE(f.video.isVisible());
    f.video.Button1->click();
    EXPECT_EQ(FirstDifference(f.form.BeforeImage, ExpectedGray(PatternDriver::Frame(1)), 320, 240),
              "");
    // For the documentation: GRAYBENCH_SCREENSHOTS=<folder> keeps pictures of both windows.
    const QString folder = qEnvironmentVariable("GRAYBENCH_SCREENSHOTS");
    if (!folder.isEmpty()) {
        EXPECT_TRUE(f.video.grab().save(QDir(folder).filePath(QStringLiteral("video-window.png"))));
        EXPECT_TRUE(f.form.grab().save(QDir(folder).filePath(QStringLiteral("video-grab.png"))));
    }
}
