// bench/FilterBench.cpp: the neighbourhood filters against their literal
// versions and, where it is installed, OpenCV's nearest function. One thread.
//
// Names: BM_Filter/<filter>/<mask>/<side> (the product), BM_FilterLiteral/...,
// BM_FilterOpenCV/<function>/<mask>/<side>, on side x side images over the whole
// image; BM_FilterAtLevel/<filter>/<mask>/<level> at 2048 x 2048 with the active
// vector level limited to <level> (0 Plain, 1 Baseline, 2 Avx2, 3 Avx512Vbmi).
#include "Filter.h"
#include "FilterReference.h"
#include "Parallel.h"
#include "TestImages.h"
#include "VectorLevel.h"

#include <benchmark/benchmark.h>

#include <random>

#ifdef GRAYBENCH_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using FilterFunction = void (*)(const GrayImage&, GrayImage&, int, int, int, int, int, int, int);

GrayImage Texture(int side)
{
    std::mt19937 rng(1);
    GrayImage image = RandomImage(rng, side, side);
    // Smooth areas and edges as well as noise: a median or a threshold sees both.
    for (int x = 0; x < side; ++x)
        for (int y = 0; y < side; ++y)
            if ((x / 64 + y / 64) % 2 == 0)
                image[x][y] = static_cast<std::uint8_t>(((x ^ y) & 0x3F) + 96);
    return image;
}

void RunFilter(benchmark::State& state, FilterFunction filter)
{
    const int mask = static_cast<int>(state.range(0)), side = static_cast<int>(state.range(1));
    const GrayImage src = Texture(side);
    GrayImage dst = NewGrayImage(side, side);
    SetWorkerCount(1);
    for (auto _ : state) {
        filter(src, dst, mask, 0, 0, side, side, side, side);
        benchmark::DoNotOptimize(dst[0]);
        benchmark::ClobberMemory();
    }
    SetWorkerCount(0);
    state.SetItemsProcessed(state.iterations() * side * side);
}

// Levels above the processor's are skipped, not run narrower under their name.
void RunFilterAtLevel(benchmark::State& state, FilterFunction filter)
{
    const auto level = static_cast<VectorLevel>(state.range(1));
    if (level > ProcessorVectorLevel()) {
        state.SkipWithError("the processor lacks this vector level");
        return;
    }
    const ScopedVectorLimit limit(level);
    const int mask = static_cast<int>(state.range(0)), side = 2048;
    const GrayImage src = Texture(side);
    GrayImage dst = NewGrayImage(side, side);
    SetWorkerCount(1);
    for (auto _ : state) {
        filter(src, dst, mask, 0, 0, side, side, side, side);
        benchmark::DoNotOptimize(dst[0]);
        benchmark::ClobberMemory();
    }
    SetWorkerCount(0);
    state.SetLabel(VectorLevelName(level));
    state.SetItemsProcessed(state.iterations() * side * side);
}

void WindowArgs(benchmark::internal::Benchmark* b)
{
    b->ArgsProduct({{3, 5, 7}, {512, 2048}})->Unit(benchmark::kMillisecond);
}
void GradientArgs(benchmark::internal::Benchmark* b)
{
    b->ArgsProduct({{3}, {512, 2048}})->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(RunFilter, Lowpass, LowpassFilter)->Apply(WindowArgs)->Name("BM_Filter/Lowpass");
BENCHMARK_CAPTURE(RunFilter, LocalAverage, LocalAverageFilter)
    ->Apply(WindowArgs)
    ->Name("BM_Filter/LocalAverage");
BENCHMARK_CAPTURE(RunFilter, Median, MedianFilter)->Apply(WindowArgs)->Name("BM_Filter/Median");
BENCHMARK_CAPTURE(RunFilter, Gaussian, GaussianFilter)
    ->Apply(WindowArgs)
    ->Name("BM_Filter/Gaussian");
BENCHMARK_CAPTURE(RunFilter, Laplacian, LaplacianFilter)
    ->Apply(WindowArgs)
    ->Name("BM_Filter/Laplacian");
BENCHMARK_CAPTURE(RunFilter, Prewitt, PrewittFilter)
    ->Apply(GradientArgs)
    ->Name("BM_Filter/Prewitt");
BENCHMARK_CAPTURE(RunFilter, Sobel, SobelFilter)->Apply(GradientArgs)->Name("BM_Filter/Sobel");
BENCHMARK_CAPTURE(RunFilter, Roberts, RobertsFilter)
    ->Apply(GradientArgs)
    ->Name("BM_Filter/Roberts");

void LevelArgs(benchmark::internal::Benchmark* b)
{
    b->ArgsProduct({{3, 7}, {0, 1, 2, 3}})->Unit(benchmark::kMillisecond);
}
void GradientLevelArgs(benchmark::internal::Benchmark* b)
{
    b->ArgsProduct({{3}, {0, 1, 2, 3}})->Unit(benchmark::kMillisecond);
}
BENCHMARK_CAPTURE(RunFilterAtLevel, Lowpass, LowpassFilter)
    ->Apply(LevelArgs)
    ->Name("BM_FilterAtLevel/Lowpass");
BENCHMARK_CAPTURE(RunFilterAtLevel, Median, MedianFilter)
    ->Apply(LevelArgs)
    ->Name("BM_FilterAtLevel/Median");
BENCHMARK_CAPTURE(RunFilterAtLevel, Gaussian, GaussianFilter)
    ->Apply(LevelArgs)
    ->Name("BM_FilterAtLevel/Gaussian");
BENCHMARK_CAPTURE(RunFilterAtLevel, Sobel, SobelFilter)
    ->Apply(GradientLevelArgs)
    ->Name("BM_FilterAtLevel/Sobel");

BENCHMARK_CAPTURE(RunFilter, Lowpass, ReferenceLowpassFilter)
    ->Apply(WindowArgs)
    ->Name("BM_FilterLiteral/Lowpass");
BENCHMARK_CAPTURE(RunFilter, LocalAverage, ReferenceLocalAverageFilter)
    ->Apply(WindowArgs)
    ->Name("BM_FilterLiteral/LocalAverage");
BENCHMARK_CAPTURE(RunFilter, Median, ReferenceMedianFilter)
    ->Apply(WindowArgs)
    ->Name("BM_FilterLiteral/Median");
BENCHMARK_CAPTURE(RunFilter, Gaussian, ReferenceGaussianFilter)
    ->Apply(WindowArgs)
    ->Name("BM_FilterLiteral/Gaussian");
BENCHMARK_CAPTURE(RunFilter, Laplacian, ReferenceLaplacianFilter)
    ->Apply(WindowArgs)
    ->Name("BM_FilterLiteral/Laplacian");
BENCHMARK_CAPTURE(RunFilter, Prewitt, ReferencePrewittFilter)
    ->Apply(GradientArgs)
    ->Name("BM_FilterLiteral/Prewitt");
BENCHMARK_CAPTURE(RunFilter, Sobel, ReferenceSobelFilter)
    ->Apply(GradientArgs)
    ->Name("BM_FilterLiteral/Sobel");
BENCHMARK_CAPTURE(RunFilter, Roberts, ReferenceRobertsFilter)
    ->Apply(GradientArgs)
    ->Name("BM_FilterLiteral/Roberts");

#ifdef GRAYBENCH_HAVE_OPENCV

enum class Peer { Blur, GaussianBlur, MedianBlur, SobelMagnitude };

// The same bytes as the product's image, in OpenCV's row-major matrix; the
// filters are symmetric enough that the orientation does not change the work.
void RunOpenCV(benchmark::State& state, Peer peer)
{
    const int mask = static_cast<int>(state.range(0)), side = static_cast<int>(state.range(1));
    const GrayImage image = Texture(side);
    cv::Mat src(side, side, CV_8U);
    for (int x = 0; x < side; ++x)
        for (int y = 0; y < side; ++y)
            src.at<std::uint8_t>(x, y) = image[x][y];
    cv::Mat dst, gx, gy, fx, fy, magnitude;
    cv::setNumThreads(1);
    for (auto _ : state) {
        switch (peer) {
            case Peer::Blur:
                cv::blur(src, dst, cv::Size(mask, mask));
                break;
            case Peer::GaussianBlur:
                cv::GaussianBlur(src, dst, cv::Size(mask, mask), 0);
                break;
            case Peer::MedianBlur:
                cv::medianBlur(src, dst, mask);
                break;
            case Peer::SobelMagnitude:  // both derivatives, their magnitude, back to bytes
                cv::Sobel(src, gx, CV_16S, 1, 0);
                cv::Sobel(src, gy, CV_16S, 0, 1);
                gx.convertTo(fx, CV_32F);
                gy.convertTo(fy, CV_32F);
                cv::magnitude(fx, fy, magnitude);
                magnitude.convertTo(dst, CV_8U);
                break;
        }
        benchmark::DoNotOptimize(dst.data);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * side * side);
}

BENCHMARK_CAPTURE(RunOpenCV, blur, Peer::Blur)->Apply(WindowArgs)->Name("BM_FilterOpenCV/blur");
BENCHMARK_CAPTURE(RunOpenCV, GaussianBlur, Peer::GaussianBlur)
    ->Apply(WindowArgs)
    ->Name("BM_FilterOpenCV/GaussianBlur");
BENCHMARK_CAPTURE(RunOpenCV, medianBlur, Peer::MedianBlur)
    ->Apply(WindowArgs)
    ->Name("BM_FilterOpenCV/medianBlur");
BENCHMARK_CAPTURE(RunOpenCV, SobelMagnitude, Peer::SobelMagnitude)
    ->Apply(GradientArgs)
    ->Name("BM_FilterOpenCV/SobelMagnitude");

#endif

}  // namespace
