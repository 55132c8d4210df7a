// bench/WorkspaceBench.cpp: loading pictures and painting the views.
#include "PictureFiles.h"
#include "Unit1.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <benchmark/benchmark.h>

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

void BM_ShowAfter2048(benchmark::State& state)
{
    TForm1 form;
    form.LoadPicture(PicturePath(2048, 2048));
    for (auto _ : state)
        form.ShowAfter();
    state.SetItemsProcessed(state.iterations() * 2048LL * 2048LL);
}
BENCHMARK(BM_ShowAfter2048)->Unit(benchmark::kMillisecond);

}  // namespace
