// bench/BrightnessBench.cpp: the brightness mapping against its literal version
// and, where it is installed, cv::LUT. One thread.
#include "Brightness.h"
#include "BrightnessReference.h"
#include "Parallel.h"
#include "TestImages.h"
#include "VectorLevel.h"

#include <benchmark/benchmark.h>

#include <random>

#ifdef GRAYBENCH_HAVE_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

GrayImage Noise(int side)
{
    std::mt19937 rng(3);
    return RandomImage(rng, side, side);
}

template <class Map>
void RunMapping(benchmark::State& state, Map map)
{
    const int side = static_cast<int>(state.range(0));
    const GrayImage src = Noise(side);
    GrayImage dst = NewGrayImage(side, side);
    SetWorkerCount(1);
    for (auto _ : state) {
        map(src, dst, side);
        benchmark::DoNotOptimize(dst[0]);
        benchmark::ClobberMemory();
    }
    SetWorkerCount(0);
    state.SetItemsProcessed(state.iterations() * side * side);
}

// Table and mapping, as the Run button does it.
void BM_Brightness(benchmark::State& state)
{
    RunMapping(state, [](const GrayImage& src, GrayImage& dst, int side) {
        ApplyBrightnessTable(src, dst, 100, 60, 1.5f, side, side);
    });
}
BENCHMARK(BM_Brightness)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);

// The mapping as on processors without AVX-512 VBMI: with AVX2 (Avx2), and
// with no wide vectors at all (Baseline).
void RunMappingWith(benchmark::State& state, VectorLevel level)
{
    const ScopedVectorLimit limit(level);
    BrightnessTable table;
    BuildBrightnessTable(table, 100, 60, 1.5f);
    RunMapping(state, [&](const GrayImage& src, GrayImage& dst, int side) {
        MapThroughTable(table, src, dst, side, side);
    });
}
void BM_BrightnessAvx2(benchmark::State& state) { RunMappingWith(state, VectorLevel::Avx2); }
BENCHMARK(BM_BrightnessAvx2)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);
void BM_BrightnessBaseline(benchmark::State& state)
{
    RunMappingWith(state, VectorLevel::Baseline);
}
BENCHMARK(BM_BrightnessBaseline)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);

// The mapping at 2048 x 2048 at each vector level (the argument: 0 Plain .. 3
// Avx512Vbmi); levels above the processor's are skipped.
void BM_BrightnessAtLevel(benchmark::State& state)
{
    const auto level = static_cast<VectorLevel>(state.range(0));
    if (level > ProcessorVectorLevel()) {
        state.SkipWithError("the processor lacks this vector level");
        return;
    }
    const ScopedVectorLimit limit(level);
    BrightnessTable table;
    BuildBrightnessTable(table, 100, 60, 1.5f);
    const int side = 2048;
    const GrayImage src = Noise(side);
    GrayImage dst = NewGrayImage(side, side);
    SetWorkerCount(1);
    for (auto _ : state) {
        MapThroughTable(table, src, dst, side, side);
        benchmark::DoNotOptimize(dst[0]);
        benchmark::ClobberMemory();
    }
    SetWorkerCount(0);
    state.SetLabel(VectorLevelName(level));
    state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_BrightnessAtLevel)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_BrightnessLiteral(benchmark::State& state)
{
    RunMapping(state, [](const GrayImage& src, GrayImage& dst, int side) {
        ReferenceApplyBrightnessTable(src, dst, 100, 60, 1.5f, side, side);
    });
}
BENCHMARK(BM_BrightnessLiteral)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);

#ifdef GRAYBENCH_HAVE_OPENCV
void BM_BrightnessOpenCV_LUT(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    BrightnessTable table;
    BuildBrightnessTable(table, 100, 60, 1.5f);
    const cv::Mat lut(1, 256, CV_8U, table.data());
    cv::Mat src(side, side, CV_8U), dst;
    cv::randu(src, 0, 256);
    cv::setNumThreads(1);
    for (auto _ : state) {
        cv::LUT(src, lut, dst);
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_BrightnessOpenCV_LUT)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
