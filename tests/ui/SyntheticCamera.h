// tests/ui/SyntheticCamera.h: a capture driver that shows a moving test pattern,
// installed in place of the system's cameras for as long as it lives.
#pragma once
#include "Capture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QSize>
#include <QThread>

class PatternDriver : public CaptureDriver {
public:
    explicit PatternDriver(bool connects) : connects_(connects) {}
    bool Connect() override { return connects_; }

    // Frame n: colour bars on top that move n pixels to the right, and below them
    // a colour ramp that moves with n; no two channels are equal for long.
    static QImage Frame(int n, QSize size = {320, 240})
    {
        static constexpr QRgb bars[] = {qRgb(235, 235, 235), qRgb(235, 235, 16), qRgb(16, 235, 235),
                                        qRgb(16, 235, 16),   qRgb(235, 16, 235), qRgb(235, 16, 16),
                                        qRgb(16, 16, 235),   qRgb(16, 16, 16)};
        QImage frame(size, QImage::Format_RGB32);
        const int barRows = size.height() * 2 / 3;
        for (int y = 0; y < size.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(frame.scanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                if (y < barRows)
                    line[x] = bars[((x - n) % size.width() + size.width()) % size.width() * 8 /
                                   size.width()];
                else
                    line[x] = qRgb((x + 4 * n) & 255, (2 * y + n) & 255, ((x ^ y) + 7 * n) & 255);
            }
        }
        return frame;
    }

    // Delivers the next frame of the given size.
    void Next(QSize size = {320, 240}) { emit FrameArrived(Frame(frame_++, size)); }
    int FramesSent() const { return frame_; }

private:
    bool connects_;
    int frame_ = 0;
};

// Installs pattern drivers for as long as it lives. Each connect request makes a
// new driver; Driver is the last one made.
class SyntheticCamera {
public:
    // connects: whether the drivers' Connect succeeds. failFirst: the first
    // request of all fails, as a device that is slow to wake may do.
    explicit SyntheticCamera(bool connects = true, bool failFirst = false)
    {
        SetCaptureDrivers([this, connects, failFirst](int index) -> std::unique_ptr<CaptureDriver> {
            Requests << index;
            if (index != 0)
                return nullptr;
            auto driver =
                std::make_unique<PatternDriver>(connects && !(failFirst && Requests.size() == 1));
            Driver = driver.get();
            return driver;
        });
    }
    ~SyntheticCamera() { SetCaptureDrivers({}); }
    SyntheticCamera(const SyntheticCamera&) = delete;
    SyntheticCamera& operator=(const SyntheticCamera&) = delete;

    QList<int> Requests;  // driver index of every connect request, in order
    PatternDriver* Driver = nullptr;
};

// Runs the event loop until done() holds or two seconds have passed.
template <class Done>
bool WaitFor(Done done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 2000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}
