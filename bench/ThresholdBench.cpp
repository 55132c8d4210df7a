// bench/ThresholdBench.cpp: histogram, thresholds and the automatic threshold
// on a 2048 x 2048 picture, against one plain read-and-write pass and the
// literal versions.
#include "Threshold.h"
#include "ThresholdReference.h"
#include "VectorLevel.h"

#include <benchmark/benchmark.h>
#include <random>
#include <string>

#ifdef GRAYBENCH_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kSide = 2048;
constexpr long long kPixels = static_cast<long long>(kSide) * kSide;

// Smooth shading with noise on top: every level occurs, the gradient weights vary.
GrayImage Scene()
{
    std::mt19937 rng(7);
    GrayImage image = NewGrayImage(kSide, kSide);
    for (int x = 0; x < kSide; ++x)
        for (int y = 0; y < kSide; ++y)
            image[x][y] = static_cast<std::uint8_t>((x / 9 + y / 13 + (rng() & 31)) & 255);
    return image;
}

GrayImage Flat()
{
    GrayImage image = NewGrayImage(kSide, kSide);
    for (int x = 0; x < kSide; ++x)
        for (int y = 0; y < kSide; ++y)
            image[x][y] = 77;
    return image;
}

void Finish(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * kPixels); }

// The yardstick: one plain pass that reads every pixel and writes every pixel.
void BM_ReadWritePass2048(benchmark::State& state)
{
    const GrayImage src = Scene();
    GrayImage dst = NewGrayImage(kSide, kSide);
    for (auto _ : state) {
        CopyGrayImage(src, dst, kSide, kSide);
        benchmark::ClobberMemory();
    }
    Finish(state);
}
BENCHMARK(BM_ReadWritePass2048)->Unit(benchmark::kMicrosecond);

// Arguments: the mode (0 dark, 1 bright objects) and the widest vector level
// allowed (0 Plain: the loop the compiler vectorises, 1 Baseline, 2 Avx2).
void BM_ThresholdImage2048(benchmark::State& state)
{
    const int mode = static_cast<int>(state.range(0));
    const ScopedVectorLimit limit(kVectorLevels[state.range(1)]);
    const GrayImage src = Scene();
    GrayImage dst = NewGrayImage(kSide, kSide);
    for (auto _ : state) {
        ThresholdImage(src, dst, mode, 120, 0, 0, kSide, kSide);
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::string(mode == 0 ? "dark " : "bright ") +
                   VectorLevelName(ActiveVectorLevel()));
    Finish(state);
}
BENCHMARK(BM_ThresholdImage2048)
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->ArgNames({"mode", "level"})
    ->Unit(benchmark::kMicrosecond);

void BM_ThresholdBand2048(benchmark::State& state)
{
    const GrayImage src = Scene();
    GrayImage dst = NewGrayImage(kSide, kSide);
    for (auto _ : state) {
        ThresholdBand(src, dst, 60, 180, 0, 0, kSide, kSide);
        benchmark::ClobberMemory();
    }
    Finish(state);
}
BENCHMARK(BM_ThresholdBand2048)->Unit(benchmark::kMicrosecond);

void BM_ReferenceThresholdImage2048(benchmark::State& state)
{
    const GrayImage src = Scene();
    GrayImage dst = NewGrayImage(kSide, kSide);
    for (auto _ : state) {
        ReferenceThresholdImage(src, dst, 0, 120, 0, 0, kSide, kSide);
        benchmark::ClobberMemory();
    }
    Finish(state);
}
BENCHMARK(BM_ReferenceThresholdImage2048)->Unit(benchmark::kMicrosecond);

void BM_HistogramImage2048(benchmark::State& state)
{
    const GrayImage src = state.range(0) ? Flat() : Scene();
    GrayImage hist = NewGrayImage(256, 64);
    for (auto _ : state) {
        HistogramImage(src, hist, 0, 0, kSide, kSide);
        benchmark::ClobberMemory();
    }
    Finish(state);
}
// Argument 1: a flat picture, where every pixel increments the same counter.
BENCHMARK(BM_HistogramImage2048)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_ReferenceHistogramImage2048(benchmark::State& state)
{
    const GrayImage src = Scene();
    GrayImage hist = NewGrayImage(256, 64);
    for (auto _ : state) {
        ReferenceHistogramImage(src, hist, 0, 0, kSide, kSide);
        benchmark::ClobberMemory();
    }
    Finish(state);
}
BENCHMARK(BM_ReferenceHistogramImage2048)->Unit(benchmark::kMicrosecond);

void BM_AutoThreshold2048(benchmark::State& state)
{
    const GrayImage src = Scene();
    for (auto _ : state)
        benchmark::DoNotOptimize(AutoThreshold(src, 0, 0, kSide, kSide, kSide, kSide));
    Finish(state);
}
BENCHMARK(BM_AutoThreshold2048)->Unit(benchmark::kMicrosecond);

void BM_ReferenceAutoThreshold2048(benchmark::State& state)
{
    const GrayImage src = Scene();
    for (auto _ : state)
        benchmark::DoNotOptimize(ReferenceAutoThreshold(src, 0, 0, kSide, kSide, kSide, kSide));
    Finish(state);
}
BENCHMARK(BM_ReferenceAutoThreshold2048)->Unit(benchmark::kMicrosecond);

void BM_CountAtOrAbove2048(benchmark::State& state)
{
    const GrayImage src = Scene();
    for (auto _ : state)
        benchmark::DoNotOptimize(CountAtOrAbove(src, 120, 0, 0, kSide, kSide));
    Finish(state);
}
BENCHMARK(BM_CountAtOrAbove2048)->Unit(benchmark::kMicrosecond);

#ifdef GRAYBENCH_HAVE_OPENCV
// The same picture as one contiguous matrix (rows and columns swapped, which
// neither a threshold nor a histogram cares about).
cv::Mat SceneMat()
{
    const GrayImage src = Scene();
    cv::Mat mat(kSide, kSide, CV_8UC1);
    for (int x = 0; x < kSide; ++x)
        std::copy(src[x], src[x] + kSide, mat.ptr<std::uint8_t>(x));
    return mat;
}

void BM_OpenCvThreshold2048(benchmark::State& state)
{
    cv::setNumThreads(1);
    const cv::Mat src = SceneMat();
    cv::Mat dst(kSide, kSide, CV_8UC1);
    for (auto _ : state) {
        cv::threshold(src, dst, 120, 255, cv::THRESH_BINARY_INV);
        benchmark::ClobberMemory();
    }
    Finish(state);
}
BENCHMARK(BM_OpenCvThreshold2048)->Unit(benchmark::kMicrosecond);

void BM_OpenCvCalcHist2048(benchmark::State& state)
{
    cv::setNumThreads(1);
    const cv::Mat src = SceneMat();
    const int channels[] = {0}, sizes[] = {256};
    const float range[] = {0, 256};
    const float* ranges[] = {range};
    cv::Mat hist;
    for (auto _ : state) {
        cv::calcHist(&src, 1, channels, cv::Mat(), hist, 1, sizes, ranges);
        benchmark::ClobberMemory();
    }
    Finish(state);
}
BENCHMARK(BM_OpenCvCalcHist2048)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace
