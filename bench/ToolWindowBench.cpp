// bench/ToolWindowBench.cpp: filling the tool window's gray-value table.
#include "Unit3.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <memory>
#include <random>

namespace {

QImage NoisyPicture(int width, int height)
{
    std::mt19937 rng(7);
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(static_cast<int>(rng() & 255), static_cast<int>(rng() & 255),
                           static_cast<int>(rng() & 255));
    }
    return picture;
}

// ToolButton1 on a picture of side x side: 512 fills the largest table, 512 x 512
// cells plus the headings.
void BM_ToolTableFill(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    TForm3 tool;
    tool.Image1->SetPicture(NoisyPicture(side, side));
    for (auto _ : state) {
        tool.ToolButton1Click();
        benchmark::DoNotOptimize(tool.GrayTable[0][0]);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(side) * side);
}
BENCHMARK(BM_ToolTableFill)->Arg(100)->Arg(512)->Unit(benchmark::kMillisecond);

// The first fill of a fresh window, when the grid's cell storage grows from nothing.
void BM_ToolTableFirstFill512(benchmark::State& state)
{
    const QImage picture = NoisyPicture(512, 512);
    for (auto _ : state) {
        state.PauseTiming();
        auto tool = std::make_unique<TForm3>();
        tool->Image1->SetPicture(picture);
        state.ResumeTiming();
        tool->ToolButton1Click();
        state.PauseTiming();
        tool.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 512LL * 512LL);
}
BENCHMARK(BM_ToolTableFirstFill512)->Unit(benchmark::kMillisecond);

// What the user waits for: the fill, then the shown window painting its grid.
void BM_ToolTableFillAndPaint512(benchmark::State& state)
{
    TForm3 tool;
    tool.Image1->SetPicture(NoisyPicture(512, 512));
    tool.show();
    QApplication::processEvents();
    for (auto _ : state) {
        tool.ToolButton1Click();
        const QPixmap shown = tool.StringGrid1->grab();
        benchmark::DoNotOptimize(shown.cacheKey());
    }
    state.SetItemsProcessed(state.iterations() * 512LL * 512LL);
}
BENCHMARK(BM_ToolTableFillAndPaint512)->Unit(benchmark::kMillisecond);

}  // namespace
