// bench/MorphologyBench.cpp: the morphology operators against their literal
// versions and, where it is installed, against OpenCV, one thread each.
//
// Arguments of every benchmark: operator (0 Dilate .. 6 AutoMedian), element
// size a, element (0 full, 1 random), image side.
#include "Morphology.h"
#include "MorphologyReference.h"
#include "Parallel.h"
#include "TestImages.h"
#include "VectorLevel.h"

#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <string>

#ifdef GRAYBENCH_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

using Operator = void (*)(const GrayImage&, GrayImage&, const StructuringElement&, int, int, int,
                          int, int, int, int);

constexpr std::array<const char*, 7> kNames = {"Dilate",     "Erode",       "Open",      "Close",
                                               "ProperOpen", "ProperClose", "AutoMedian"};
constexpr std::array<Operator, 7> kFast = {Dilate, Erode, Open, Close, ProperOpen, ProperClose,
                                           AutoMedian};
constexpr std::array<Operator, 7> kLiteral = {ReferenceDilate,     ReferenceErode,
                                              ReferenceOpen,       ReferenceClose,
                                              ReferenceProperOpen, ReferenceProperClose,
                                              ReferenceAutoMedian};

// Full, or half of the cells drawn at random (the same ones in every run).
StructuringElement Element(int kind)
{
    StructuringElement e;
    std::mt19937 rng(4711);
    for (auto& column : e)
        for (auto& cell : column)
            cell = kind == 0 || rng() % 2 == 0 ? 1 : 0;
    return e;
}

struct Case {
    explicit Case(const benchmark::State& state)
        : op(static_cast<int>(state.range(0))), a(static_cast<int>(state.range(1))),
          kind(static_cast<int>(state.range(2))), element(Element(kind)),
          side(static_cast<int>(state.range(3)))
    {
        std::mt19937 rng(1);
        src = RandomImage(rng, side, side);
        dst = NewGrayImage(side, side);
    }
    std::string Label(const char* who) const
    {
        return std::string(who) + " " + kNames[static_cast<std::size_t>(op)] + " " +
               std::to_string(a) + "x" + std::to_string(a) + (kind == 0 ? " full " : " random ") +
               std::to_string(side);
    }
    int op, a, kind;
    StructuringElement element;
    int side;
    GrayImage src, dst;
};

void Finish(benchmark::State& state, const Case& c, const char* who)
{
    state.SetLabel(c.Label(who));
    state.SetItemsProcessed(state.iterations() * c.side * c.side);
}

void BM_Morphology(benchmark::State& state)
{
    SetWorkerCount(1);
    Case c(state);
    for (auto _ : state) {
        kFast[static_cast<std::size_t>(c.op)](c.src, c.dst, c.element, c.a, 0, 0, c.side, c.side,
                                               c.side, c.side);
        benchmark::ClobberMemory();
    }
    Finish(state, c, "fast");
    SetWorkerCount(0);
}

void BM_MorphologyLiteral(benchmark::State& state)
{
    Case c(state);
    for (auto _ : state) {
        kLiteral[static_cast<std::size_t>(c.op)](c.src, c.dst, c.element, c.a, 0, 0, c.side,
                                                  c.side, c.side, c.side);
        benchmark::ClobberMemory();
    }
    Finish(state, c, "literal");
}

void AllCases(benchmark::internal::Benchmark* b)
{
    for (int side : {512, 2048})
        for (int op = 0; op < 7; ++op)
            for (int a : {3, 5, 7})
                for (int element : {0, 1})
                    b->Args({op, a, element, side});
}

BENCHMARK(BM_Morphology)->Apply(AllCases)->Unit(benchmark::kMillisecond);
// The literal versions take up to seconds a call: one call each is plenty.
BENCHMARK(BM_MorphologyLiteral)->Apply(AllCases)->Unit(benchmark::kMillisecond)->Iterations(1);

// One case at each vector level (the fifth argument: 0 Plain .. 3 Avx512Vbmi),
// one thread; levels above the processor's are skipped.
void BM_MorphologyAtLevel(benchmark::State& state)
{
    const auto level = static_cast<VectorLevel>(state.range(4));
    if (level > ProcessorVectorLevel()) {
        state.SkipWithError("the processor lacks this vector level");
        return;
    }
    const ScopedVectorLimit limit(level);
    SetWorkerCount(1);
    Case c(state);
    for (auto _ : state) {
        kFast[static_cast<std::size_t>(c.op)](c.src, c.dst, c.element, c.a, 0, 0, c.side, c.side,
                                               c.side, c.side);
        benchmark::ClobberMemory();
    }
    Finish(state, c, VectorLevelName(level));
    SetWorkerCount(0);
}
BENCHMARK(BM_MorphologyAtLevel)
    ->ArgsProduct({{0, 4}, {3, 7}, {1}, {2048}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond);

// Both threads of the pool, for the record (results are the same).
void BM_MorphologyThreads(benchmark::State& state)
{
    SetWorkerCount(2);
    Case c(state);
    for (auto _ : state) {
        kFast[static_cast<std::size_t>(c.op)](c.src, c.dst, c.element, c.a, 0, 0, c.side, c.side,
                                               c.side, c.side);
        benchmark::ClobberMemory();
    }
    Finish(state, c, "fast, 2 threads");
    SetWorkerCount(0);
}
BENCHMARK(BM_MorphologyThreads)
    ->Args({0, 7, 0, 2048})
    ->Args({0, 7, 1, 2048})
    ->Args({6, 7, 1, 2048})
    ->Unit(benchmark::kMillisecond);

#ifdef GRAYBENCH_HAVE_OPENCV

// Our images are column-first, one block: as a cv::Mat they are the transposed
// image, so the kernel is transposed as well (row dx, column dy).
cv::Mat Kernel(const StructuringElement& e, int a)
{
    const int s = (a - 1) / 2;
    cv::Mat k(a, a, CV_8U);
    for (int dx = -s; dx <= s; ++dx)
        for (int dy = -s; dy <= s; ++dy)
            k.at<std::uint8_t>(dx + s, dy + s) = e[static_cast<std::size_t>(3 + dx)]
                                                  [static_cast<std::size_t>(3 + dy)];
    return k;
}

// The same chain as ours, with OpenCV's functions; work matrices are kept
// between calls, as OpenCV's callers usually do.
struct OpenCvChain {
    cv::Mat kernel, t, u, v;
    void Run(int op, const cv::Mat& src, cv::Mat& dst)
    {
        switch (op) {
        case 0: cv::dilate(src, dst, kernel); break;
        case 1: cv::erode(src, dst, kernel); break;
        case 2: cv::morphologyEx(src, dst, cv::MORPH_OPEN, kernel); break;
        case 3: cv::morphologyEx(src, dst, cv::MORPH_CLOSE, kernel); break;
        case 4: Proper(src, dst, cv::MORPH_CLOSE, cv::MORPH_OPEN, true); break;
        case 5: Proper(src, dst, cv::MORPH_OPEN, cv::MORPH_CLOSE, false); break;
        default:
            Proper(src, v, cv::MORPH_CLOSE, cv::MORPH_OPEN, true);
            Proper(v, dst, cv::MORPH_OPEN, cv::MORPH_CLOSE, false);
            break;
        }
    }
    void Proper(const cv::Mat& src, cv::Mat& dst, int outer, int inner, bool darker)
    {
        cv::morphologyEx(src, t, outer, kernel);
        cv::morphologyEx(t, u, inner, kernel);
        cv::morphologyEx(u, t, outer, kernel);
        if (darker)
            cv::min(src, t, dst);
        else
            cv::max(src, t, dst);
    }
};

void BM_MorphologyOpenCv(benchmark::State& state)
{
    cv::setNumThreads(1);
    Case c(state);
    const cv::Mat src(c.side, c.side, CV_8U, c.src[0]);
    cv::Mat dst(c.side, c.side, CV_8U, c.dst[0]);
    OpenCvChain chain{Kernel(c.element, c.a), {}, {}, {}};
    // Same answer as ours, or the comparison means nothing.
    GrayImage ours = NewGrayImage(c.side, c.side);
    kFast[static_cast<std::size_t>(c.op)](c.src, ours, c.element, c.a, 0, 0, c.side, c.side,
                                           c.side, c.side);
    chain.Run(c.op, src, dst);
    if (FirstDifference(ours, c.dst, c.side, c.side) != "")
        state.SkipWithError("OpenCV's result differs from ours");
    for (auto _ : state) {
        chain.Run(c.op, src, dst);
        benchmark::ClobberMemory();
    }
    Finish(state, c, "OpenCV");
}
BENCHMARK(BM_MorphologyOpenCv)->Apply(AllCases)->Unit(benchmark::kMillisecond);

#endif

}  // namespace
