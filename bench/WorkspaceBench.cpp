// bench/WorkspaceBench.cpp: loading pictures and painting the views.
#include "PictureFiles.h"
#include "Rows.h"
#include "Unit1.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// A colour picture with texture, so that PNG has real work to do.
QImage TexturedPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x * 7 + y) & 255, (x ^ y) & 255, (x * y >> 4) & 255);
    }
    return picture;
}

// Written once and kept in the temporary folder: encoding 64 million pixels takes a while.
QString PicturePath(int width, int height)
{
    const QString path = QDir(QDir::tempPath())
                             .filePath(QStringLiteral("graybench-bench-%1x%2.png").arg(width).arg(height));
    if (!QFileInfo::exists(path))
        TexturedPicture(width, height).save(path, "PNG", 10);
    return path;
}

void BM_LoadPicture8000(benchmark::State& state)
{
    const QString path = PicturePath(8000, 8000);
    TForm1 form;
    for (auto _ : state)
        form.LoadPicture(path);
    state.SetItemsProcessed(state.iterations() * 8000LL * 8000LL);
}
BENCHMARK(BM_LoadPicture8000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_GrayFromPicture8000(benchmark::State& state)
{
    const QImage picture = TexturedPicture(8000, 8000);
    for (auto _ : state) {
        GrayImage gray = GrayFromPicture(picture);
        benchmark::DoNotOptimize(gray[0]);
    }
    state.SetItemsProcessed(state.iterations() * 8000LL * 8000LL);
}
BENCHMARK(BM_GrayFromPicture8000)->Unit(benchmark::kMillisecond);

// Gray rows into the columns of an 8000 x 8000 image, a band of range(0) rows
// at a time from one strip that stays in the cache, as a decoder's finishing
// thread writes them; range(0) 0 is the plain copy of an image's columns (the
// Load's After) for comparison.
void BM_RowsToColumns8000(benchmark::State& state)
{
    constexpr int kSide = 8000;
    const int band = static_cast<int>(state.range(0));
    GrayImage image = NewGrayImage(kSide, kSide), source = NewGrayImage(kSide, kSide);
    std::vector<std::uint8_t> strip(static_cast<std::size_t>(kSide) * std::max(band, 1));
    for (std::size_t i = 0; i < strip.size(); ++i)
        strip[i] = static_cast<std::uint8_t>(i * 7);
    for (int x = 0; x < kSide; ++x)
        std::memset(source[x], x & 255, kSide);
    for (auto _ : state) {
        if (band == 0)
            for (int x = 0; x < kSide; ++x)
                std::memcpy(image[x], source[x], kSide);
        else
            for (int y0 = 0; y0 < kSide; y0 += band)
                RowsToColumns(strip.data(), kSide, kSide, std::min(band, kSide - y0), image, y0);
        benchmark::DoNotOptimize(image[0]);
    }
}
BENCHMARK(BM_RowsToColumns8000)->Arg(0)->Arg(32)->Arg(64)->Arg(128)->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond);

// Paints the After view of a side x side picture, as every command does last.
void BM_ShowAfter(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    const QString path =
        QDir(QDir::tempPath()).filePath(QStringLiteral("graybench-bench-gray-%1.bmp").arg(side));
    if (!QFileInfo::exists(path)) {  // a flat-coded BMP: quick to write at any size
        QImage picture(side, side, QImage::Format_Grayscale8);
        for (int y = 0; y < side; ++y)
            std::memset(picture.scanLine(y), (y * 3) & 255, static_cast<std::size_t>(side));
        picture.save(path, "BMP");
    }
    TForm1 form;
    form.LoadPicture(path);
    for (auto _ : state)
        form.ShowAfter();
    state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_ShowAfter)->Arg(2048)->Arg(8000)->Arg(16000)->Unit(benchmark::kMillisecond);

}  // namespace
