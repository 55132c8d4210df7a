// platform/Capture.cpp
#include "Capture.h"

#include <QApplication>
#include <QCamera>
#include <QCameraDevice>
#include <QCameraFormat>
#include <QMediaCaptureSession>
#include <QMediaDevices>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSink>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace {

// The system's default camera through Qt Multimedia. The camera runs from
// Connect until the driver is destroyed; frames come from the media framework's
// own threads and are passed on through the event loop.
class CameraDriver final : public CaptureDriver {
public:
    ~CameraDriver() override
    {
        session_.setCamera(nullptr);
        session_.setVideoSink(nullptr);
    }

    bool Connect() override
    {
        const QCameraDevice device = QMediaDevices::defaultVideoInput();
        if (device.isNull())
            return false;
        camera_ = std::make_unique<QCamera>(device);
        SelectSmallFormat(device);
        session_.setCamera(camera_.get());
        session_.setVideoSink(&sink_);
        connect(
            &sink_, &QVideoSink::videoFrameChanged, this,
            [this](const QVideoFrame& frame) {
                const QImage image = frame.toImage();
                if (!image.isNull())
                    emit FrameArrived(image);
            },
            Qt::QueuedConnection);
        camera_->start();
        return camera_->error() == QCamera::NoError;
    }

private:
    // The preview is small: the least format that still covers it spares the
    // user-interface thread, which converts every frame, the work of large ones.
    void SelectSmallFormat(const QCameraDevice& device)
    {
        QCameraFormat best;
        for (const QCameraFormat& format : device.videoFormats()) {
            const QSize size = format.resolution();
            if (size.width() < kPreviewWidth || size.height() < kPreviewHeight)
                continue;
            if (best.isNull() || size.width() * size.height() <
                                     best.resolution().width() * best.resolution().height())
                best = format;
        }
        if (!best.isNull())
            camera_->setCameraFormat(best);
    }

    static constexpr int kPreviewWidth = 320, kPreviewHeight = 240;
    QMediaCaptureSession session_;
    QVideoSink sink_;
    std::unique_ptr<QCamera> camera_;
};

std::unique_ptr<CaptureDriver> SystemCamera(int index)
{
    if (index != 0)
        return nullptr;
    return std::make_unique<CameraDriver>();
}

CaptureDriverFactory& InstalledDrivers()
{
    static CaptureDriverFactory factory;
    return factory;
}

// The frame as size pixels: scaled to cover the window, keeping its proportions,
// and cut to the middle; a frame of the window's size is taken as it is.
QImage FitFrame(const QImage& frame, QSize size)
{
    if (frame.size() == size)
        return frame.convertToFormat(QImage::Format_RGB32);
    const QImage scaled =
        frame.scaled(size, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    return scaled
        .copy((scaled.width() - size.width()) / 2, (scaled.height() - size.height()) / 2,
              size.width(), size.height())
        .convertToFormat(QImage::Format_RGB32);
}

// The capture window: black until a frame is shown; while the preview is on it
// shows the newest frame of its driver once per preview interval.
class CaptureWindow final : public QWidget {
public:
    CaptureWindow(QWidget* parent, int id) : QWidget(parent)
    {
        setObjectName(QStringLiteral("CaptureWindow%1").arg(id));
        setAttribute(Qt::WA_OpaquePaintEvent);
        timer_.setInterval(rate_);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { ShowNewestFrame(); });
    }

    std::intptr_t Message(std::uint32_t message, std::intptr_t wParam)
    {
        switch (message) {
            case WM_CAP_DRIVER_CONNECT:
                return ConnectDriver(static_cast<int>(wParam)) ? 1 : 0;
            case WM_CAP_SET_PREVIEW:
                if (wParam != 0)
                    timer_.start();
                else
                    timer_.stop();
                return driver_ ? 1 : 0;
            case WM_CAP_SET_PREVIEWRATE:
                if (wParam < 1 || wParam > 60 * 1000)
                    return 0;
                rate_ = static_cast<int>(wParam);
                timer_.setInterval(rate_);
                return 1;
            default:
                return 0;
        }
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        if (!shown_.isNull())
            painter.drawImage(0, 0, shown_);
    }

private:
    bool ConnectDriver(int index)
    {
        if (driver_ && driverIndex_ == index)
            return true;  // already connected to that driver
        driver_.reset();
        const CaptureDriverFactory& installed = InstalledDrivers();
        std::unique_ptr<CaptureDriver> driver = installed ? installed(index) : SystemCamera(index);
        if (!driver)
            return false;
        // Listen first: a driver may deliver its first frame while connecting.
        QObject::connect(driver.get(), &CaptureDriver::FrameArrived, this,
                         [this](const QImage& frame) {
                             newest_ = frame;
                             fresh_ = true;
                         });
        if (!driver->Connect())
            return false;
        driver_ = std::move(driver);
        driverIndex_ = index;
        return true;
    }

    void ShowNewestFrame()
    {
        if (!fresh_)
            return;
        fresh_ = false;
        shown_ = FitFrame(newest_, size());
        update();
    }

    std::unique_ptr<CaptureDriver> driver_;
    int driverIndex_ = -1;
    int rate_ = 66;  // milliseconds between shown frames
    QTimer timer_;
    QImage newest_;  // the driver's last frame, as delivered
    bool fresh_ = false;
    QImage shown_;  // what the window paints, of the window's size
};

std::vector<std::unique_ptr<DeviceContext>>& LiveContexts()
{
    static std::vector<std::unique_ptr<DeviceContext>> contexts;
    return contexts;
}

}  // namespace

void SetCaptureDrivers(CaptureDriverFactory factory)
{
    InstalledDrivers() = std::move(factory);
}

QWidget* capCreateCaptureWindowA(const char* title, std::uint32_t style, int x, int y, int width,
                                 int height, QWidget* parent, int id)
{
    if (parent == nullptr || width <= 0 || height <= 0)
        return nullptr;
    auto* window = new CaptureWindow(parent, id);  // owned by parent
    window->setWindowTitle(QString::fromUtf8(title));
    window->setGeometry(x, y, width, height);
    window->setVisible((style & WS_VISIBLE) != 0);
    return window;
}

bool IsWindow(const QWidget* window)
{
    // Only a comparison of addresses: a deleted widget's pointer is never followed.
    return window != nullptr && QApplication::allWidgets().contains(const_cast<QWidget*>(window));
}

std::intptr_t SendMessageA(QWidget* window, std::uint32_t message, std::intptr_t wParam,
                           std::intptr_t /*lParam*/)
{
    if (!IsWindow(window))
        return 0;
    auto* capture = dynamic_cast<CaptureWindow*>(window);
    return capture != nullptr ? capture->Message(message, wParam) : 0;
}

QImage DeviceContext::Pixels(const QRect& rect) const
{
    QImage pixels(rect.size(), QImage::Format_RGB32);
    pixels.fill(Qt::black);
    if (!IsWindow(window))
        return pixels;
    const QRect inside = rect & window->rect();
    if (inside.isEmpty())
        return pixels;
    // Renders the window and its children as they paint now, shown on screen or not.
    const QPixmap shown = window->grab(inside);
    QPainter painter(&pixels);
    painter.drawPixmap(inside.topLeft() - rect.topLeft(), shown);
    return pixels;
}

HDC GetDC(QWidget* window)
{
    if (!IsWindow(window))
        return nullptr;
    auto& contexts = LiveContexts();
    contexts.push_back(std::make_unique<DeviceContext>(DeviceContext{window}));
    return contexts.back().get();
}

int ReleaseDC(QWidget* window, HDC dc)
{
    auto& contexts = LiveContexts();
    const auto found = std::find_if(contexts.begin(), contexts.end(), [&](const auto& live) {
        return live.get() == dc && live->window == window;
    });
    if (found == contexts.end())
        return 0;
    contexts.erase(found);
    return 1;
}
