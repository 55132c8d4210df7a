// bench/ViewerBench.cpp: painting a zoomed, scrolled view of a very large picture.
#include "PictureView.h"

#include <QPainter>
#include <benchmark/benchmark.h>

namespace {

// A 16,000 x 16,000 gray picture (a quarter of a gigabyte), made once.
const QImage& HugePicture()
{
    static const QImage picture = [] {
        QImage p(16000, 16000, QImage::Format_Grayscale8);
        for (int y = 0; y < p.height(); ++y) {
            uchar* line = p.scanLine(y);
            for (int x = 0; x < p.width(); ++x)
                line[x] = static_cast<uchar>((x ^ y) + (x >> 5));
        }
        return p;
    }();
    return picture;
}

// One frame of a 1600 x 1000 view, zoomed to range(0) / 64 and scrolled to the
// middle of the picture, painted into an offscreen image.
void BM_PaintZoomedView16000(benchmark::State& state)
{
    const double zoom = static_cast<double>(state.range(0)) / 64;
    PictureView view;
    view.resize(1600, 1000);
    view.SetPicture(HugePicture());
    const QSize content = view.Mapping().ContentSize(HugePicture().size());
    view.SetZoomAndScroll(zoom, QPoint(content.width() / 2, content.height() / 2));
    QImage frame(view.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&frame);
        view.Render(painter, view.Viewport());
    }
    state.SetLabel("zoom " + std::to_string(zoom * 100) + " %");
}
BENCHMARK(BM_PaintZoomedView16000)
    ->Arg(1)->Arg(8)->Arg(32)->Arg(64)->Arg(256)->Arg(2048)
    ->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// The same frames of a view that follows a 16,000 x 16,000 gray image, as the
// After view does after every command: the pixels in sight are read from the
// image's columns at paint time.
void BM_PaintZoomedGrayView16000(benchmark::State& state)
{
    constexpr int kSide = 16000;
    static const GrayImage image = [] {
        GrayImage gray = NewGrayImage(kSide, kSide);
        for (int x = 0; x < kSide; ++x)
            for (int y = 0; y < kSide; ++y)
                gray[x][y] = static_cast<std::uint8_t>((x ^ y) + (x >> 5));
        return gray;
    }();
    const double zoom = static_cast<double>(state.range(0)) / 64;
    PictureView view;
    view.resize(1600, 1000);
    view.FollowGray(image, kSide, kSide);
    const QSize content = view.Mapping().ContentSize(QSize(kSide, kSide));
    view.SetZoomAndScroll(zoom, QPoint(content.width() / 2, content.height() / 2));
    QImage frame(view.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&frame);
        view.Render(painter, view.Viewport());
    }
    state.SetLabel("zoom " + std::to_string(zoom * 100) + " %");
}
BENCHMARK(BM_PaintZoomedGrayView16000)
    ->Arg(1)->Arg(8)->Arg(32)->Arg(64)->Arg(256)->Arg(2048)
    ->Unit(benchmark::kMillisecond);

}  // namespace
