// tests/ui/CaptureTest.cpp: capture windows, drivers, preview and device contexts.
#include "Capture.h"
#include "SyntheticCamera.h"

#include <QCameraDevice>
#include <QMediaDevices>
#include <QWidget>
#include <memory>
#include <gtest/gtest.h>

namespace {

// A parent window with one 320 x 240 capture window at its top-left corner.
struct CaptureFixture {
    CaptureFixture()
    {
        parent.resize(400, 300);
        window = capCreateCaptureWindowA("test", WS_CHILD | WS_VISIBLE, 0, 0, 320, 240, &parent, 1);
    }
    QImage Shown()
    {
        HDC dc = GetDC(&parent);
        const QImage pixels = dc->Pixels(QRect(0, 0, 320, 240));
        ReleaseDC(&parent, dc);
        return pixels;
    }
    QWidget parent;
    QWidget* window = nullptr;
};

QImage Uniform(QSize size, QRgb colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

}  // namespace

TEST(capCreateCaptureWindowA, MakesAChildOfTheGivenPlaceThatStartsBlack)
{
    CaptureFixture f;
    ASSERT_NE(f.window, nullptr);
    EXPECT_EQ(f.window->parentWidget(), &f.parent);
    EXPECT_EQ(f.window->geometry(), QRect(0, 0, 320, 240));
    EXPECT_FALSE(f.window->isHidden());
    EXPECT_EQ(f.window->windowTitle(), QStringLiteral("test"));
    EXPECT_EQ(f.Shown(), Uniform({320, 240}, qRgb(0, 0, 0)));

    QWidget* hidden = capCreateCaptureWindowA("t", WS_CHILD, 10, 20, 32, 24, &f.parent, 2);
    ASSERT_NE(hidden, nullptr);
    EXPECT_TRUE(hidden->isHidden());
    EXPECT_EQ(hidden->geometry(), QRect(10, 20, 32, 24));

    EXPECT_EQ(capCreateCaptureWindowA("t", WS_CHILD, 0, 0, 320, 240, nullptr, 1), nullptr);
    EXPECT_EQ(capCreateCaptureWindowA("t", WS_CHILD, 0, 0, 0, 240, &f.parent, 1), nullptr);
}

TEST(IsWindow, IsTrueOnlyWhileTheWidgetExists)
{
    EXPECT_FALSE(IsWindow(nullptr));
    auto parent = std::make_unique<QWidget>();
    QWidget* window = capCreateCaptureWindowA("t", WS_CHILD, 0, 0, 320, 240, parent.get(), 1);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindow(parent.get()));
    parent.reset();  // the capture window goes with its parent
    EXPECT_FALSE(IsWindow(window));
    // A message to a window that is gone is not delivered and counts as 0.
    EXPECT_EQ(SendMessageA(window, WM_CAP_DRIVER_CONNECT, 0, 0), 0);
}

TEST(SendMessageA, ConnectsOnlyToADriverThatOpens)
{
    {
        SyntheticCamera camera;
        CaptureFixture f;
        EXPECT_EQ(SendMessageA(f.window, WM_CAP_DRIVER_CONNECT, 0, 0), 1);
        // Connecting the connected driver again keeps it: no second device is opened.
        EXPECT_EQ(SendMessageA(f.window, WM_CAP_DRIVER_CONNECT, 0, 0), 1);
        EXPECT_EQ(camera.Requests, QList<int>({0}));
        EXPECT_EQ(SendMessageA(f.window, WM_CAP_DRIVER_CONNECT, 3, 0), 0);  // no driver 3
        EXPECT_EQ(camera.Requests, QList<int>({0, 3}));
        EXPECT_EQ(SendMessageA(f.window, WM_CAP_SET_PREVIEW, 1, 0), 0);  // driver 0 was let go
    }
    {
        SyntheticCamera camera(false);
        CaptureFixture f;
        EXPECT_EQ(SendMessageA(f.window, WM_CAP_DRIVER_CONNECT, 0, 0), 0);
        EXPECT_EQ(SendMessageA(f.window, WM_CAP_DRIVER_CONNECT, 0, 0), 0);
        EXPECT_EQ(camera.Requests, QList<int>({0, 0}));  // each attempt tries the device anew
    }
}

TEST(SendMessageA, AnswersZeroToWhatIsNotACaptureWindowOrNotAMessageOfIt)
{
    SyntheticCamera camera;
    CaptureFixture f;
    EXPECT_EQ(SendMessageA(&f.parent, WM_CAP_DRIVER_CONNECT, 0, 0), 0);
    EXPECT_EQ(camera.Requests, QList<int>());
    EXPECT_EQ(SendMessageA(f.window, WM_CAP_START + 1, 0, 0), 0);
    EXPECT_EQ(SendMessageA(f.window, WM_CAP_SET_PREVIEWRATE, 0, 0), 0);
    EXPECT_EQ(SendMessageA(f.window, WM_CAP_SET_PREVIEWRATE, 10, 0), 1);
}

TEST(SendMessageA, PreviewShowsTheNewestFrameAndPreviewOffFreezesIt)
{
    SyntheticCamera camera;
    CaptureFixture f;
    ASSERT_EQ(SendMessageA(f.window, WM_CAP_DRIVER_CONNECT, 0, 0), 1);
    ASSERT_EQ(SendMessageA(f.window, WM_CAP_SET_PREVIEWRATE, 10, 0), 1);
    camera.Driver->Next();  // frame 0 arrives while the preview is off
    QCoreApplication::processEvents();
    EXPECT_EQ(f.Shown(), Uniform({320, 240}, qRgb(0, 0, 0)));

    EXPECT_EQ(SendMessageA(f.window, WM_CAP_SET_PREVIEW, 1, 0), 1);
    EXPECT_TRUE(WaitFor([&] { return f.Shown() == PatternDriver::Frame(0); }));
    camera.Driver->Next();
    camera.Driver->Next();  // frames 1 and 2 before the next tick: 2 is shown
    EXPECT_TRUE(WaitFor([&] { return f.Shown() == PatternDriver::Frame(2); }));

    EXPECT_EQ(SendMessageA(f.window, WM_CAP_SET_PREVIEW, 0, 0), 1);
    camera.Driver->Next();
    for (int k = 0; k < 5; ++k)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(30);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.Shown(), PatternDriver::Frame(2));
}

TEST(SendMessageA, FramesOfAnotherSizeCoverTheWindowCutToTheMiddle)
{
    SyntheticCamera camera;
    CaptureFixture f;
    ASSERT_EQ(SendMessageA(f.window, WM_CAP_DRIVER_CONNECT, 0, 0), 1);
    SendMessageA(f.window, WM_CAP_SET_PREVIEWRATE, 10, 0);
    SendMessageA(f.window, WM_CAP_SET_PREVIEW, 1, 0);
    // 640 x 360, red on the left third, green in the middle, blue on the right:
    // scaled to 427 x 240, its middle 320 columns keep a little red and blue.
    QImage wide(640, 360, QImage::Format_RGB32);
    for (int x = 0; x < 640; ++x)
        for (int y = 0; y < 360; ++y)
            wide.setPixel(x, y,
                          x < 213   ? qRgb(255, 0, 0)
                          : x < 427 ? qRgb(0, 255, 0)
                                    : qRgb(0, 0, 255));
    emit camera.Driver->FrameArrived(wide);
    ASSERT_TRUE(WaitFor([&] { return f.Shown().pixel(160, 120) == qRgb(0, 255, 0); }));
    const QImage shown = f.Shown();
    EXPECT_EQ(shown.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(shown.pixel(319, 239), qRgb(0, 0, 255));
    EXPECT_EQ(shown.pixel(100, 239), qRgb(0, 255, 0));
}

TEST(GetDC, ReadsWhatTheWindowShowsAndBlackOutsideIt)
{
    QWidget window;
    window.resize(40, 30);
    window.setAutoFillBackground(true);
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, QColor(10, 200, 30));
    window.setPalette(palette);

    HDC dc = GetDC(&window);
    ASSERT_NE(dc, nullptr);
    const QImage pixels = dc->Pixels(QRect(30, 20, 20, 20));
    ASSERT_EQ(pixels.size(), QSize(20, 20));
    EXPECT_EQ(pixels.pixel(9, 9), qRgb(10, 200, 30));  // window pixel (39, 29)
    EXPECT_EQ(pixels.pixel(10, 9), qRgb(0, 0, 0));     // x = 40 is past the window
    EXPECT_EQ(pixels.pixel(9, 10), qRgb(0, 0, 0));     // y = 30 likewise
    EXPECT_EQ(ReleaseDC(&window, dc), 1);
    EXPECT_EQ(ReleaseDC(&window, dc), 0);  // a second release finds nothing to free
    EXPECT_EQ(GetDC(nullptr), nullptr);
}

TEST(SetCaptureDrivers, WithoutAnInstalledDriverTheDefaultCameraIsDriverZero)
{
    CaptureFixture f;
    EXPECT_EQ(SendMessageA(f.window, WM_CAP_DRIVER_CONNECT, 1, 0), 0);  // only driver 0 exists
    if (!QMediaDevices::videoInputs().isEmpty())
        GTEST_SKIP() << "this machine has a camera";
    EXPECT_EQ(SendMessageA(f.window, WM_CAP_DRIVER_CONNECT, 0, 0), 0);
}
