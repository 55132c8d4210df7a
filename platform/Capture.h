// platform/Capture.h: the video-capture service, a capture window that previews
// the frames of a capture driver, and device contexts for reading back the pixels
// a window shows.
//
// Windows are plain QWidget pointers. A capture window is a child widget that
// paints the newest frame of its driver, unscaled from its top-left corner, at
// most once per preview interval while the preview is on. Driver 0 is the
// system's default camera, reached through Qt Multimedia; tests install their own
// drivers with SetCaptureDrivers.
#pragma once
#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QWidget;

// Window styles capCreateCaptureWindowA understands. The capture window is always
// a child of its parent; WS_VISIBLE shows it at once.
constexpr std::uint32_t WS_CHILD = 0x40000000u;
constexpr std::uint32_t WS_VISIBLE = 0x10000000u;

// Messages of the capture window, sent with SendMessageA.
constexpr std::uint32_t WM_CAP_START = 0x0400u;
// wParam = driver index; non-zero when the driver is connected.
constexpr std::uint32_t WM_CAP_DRIVER_CONNECT = WM_CAP_START + 10;
// wParam = 1 shows the driver's frames, 0 freezes the window; non-zero when frames
// can be shown (a driver is connected).
constexpr std::uint32_t WM_CAP_SET_PREVIEW = WM_CAP_START + 50;
// wParam = the preview interval in milliseconds (at least 1); non-zero on success.
constexpr std::uint32_t WM_CAP_SET_PREVIEWRATE = WM_CAP_START + 52;

// A source of frames. Connect opens the device; from then on the driver emits
// FrameArrived with each new frame, on the user-interface thread, until it is
// destroyed.
class CaptureDriver : public QObject {
    Q_OBJECT
public:
    ~CaptureDriver() override = default;
    // True when the device is open and frames will come.
    virtual bool Connect() = 0;

signals:
    void FrameArrived(const QImage& frame);
};

// Makes the driver with the given index, or nullptr when there is none.
using CaptureDriverFactory = std::function<std::unique_ptr<CaptureDriver>(int index)>;
// Installs the drivers that WM_CAP_DRIVER_CONNECT connects to from now on; an empty
// factory restores the system's cameras (index 0: the default camera, no other).
void SetCaptureDrivers(CaptureDriverFactory factory);

// Creates a capture window of width x height at (x, y) inside parent, with no
// driver and the preview off; nullptr when parent is missing or the size is empty.
// The window belongs to its parent and goes away with it.
QWidget* capCreateCaptureWindowA(const char* title, std::uint32_t style, int x, int y, int width,
                                 int height, QWidget* parent, int id);

// Whether window is a widget that still exists. Safe for any pointer value.
bool IsWindow(const QWidget* window);

// Sends a capture message; 0 when window is not a live capture window or the
// message is not understood.
std::intptr_t SendMessageA(QWidget* window, std::uint32_t message, std::intptr_t wParam,
                           std::intptr_t lParam);

// A device context: the pixels a window shows, its children included.
struct DeviceContext {
    QWidget* window = nullptr;
    // The rectangle of the window as it is painted now, in window pixels; the
    // part outside the window reads black.
    QImage Pixels(const QRect& rect) const;
};
using HDC = DeviceContext*;

// A device context of window, to be handed back with ReleaseDC; nullptr when the
// window does not exist.
HDC GetDC(QWidget* window);
// Releases a device context got from GetDC for the same window; 1 when released.
int ReleaseDC(QWidget* window, HDC dc);
