// bench/PatternBench.cpp: the pattern search against its literal version.
//
// Scenes: a blob texture of side 512 or 2048 with 12 copies of a 32 x 32 or
// 96 x 96 mark pasted at random places, six of them turned by whole degrees,
// and noise of +-4. Arguments: scene side, mark side, Angle.
#include "Match_pattern.h"
#include "MatchPatternReference.h"
#include "Parallel.h"
#include "VectorLevel.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>

#ifdef GRAYBENCH_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

struct BenchScene {
    int side = 0, mark = 0;
    GrayImage image, templ;
};

const BenchScene& SceneOf(int side, int mark)
{
    static std::vector<std::unique_ptr<BenchScene>> made;
    for (const auto& s : made)
        if (s->side == side && s->mark == mark)
            return *s;
    auto s = std::make_unique<BenchScene>();
    std::mt19937 rng(static_cast<unsigned>(side * 1000 + mark));
    s->side = side;
    s->mark = mark;
    s->image = SceneTexture(rng, side, side);
    s->templ = SceneMark(rng, mark, mark);
    std::uniform_int_distribution<int> place(mark, side - mark), turn(1, 359);
    for (int k = 0; k < 12; ++k)
        PasteTurned(s->image, side, side, s->templ, mark, mark, place(rng), place(rng),
                    k % 2 == 0 ? 0 : turn(rng));
    AddSceneNoise(rng, s->image, side, side, 4);
    made.push_back(std::move(s));
    return *made.back();
}

void Report(benchmark::State& state, int side, int candidates)
{
    state.counters["candidates"] = candidates;
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(side) * side);
}

// The product: all cores unless the fourth argument asks for one thread; a
// fifth argument of 0 keeps it to SSE2.
void BM_FindPattern(benchmark::State& state)
{
    const ScopedVectorLimit limit(state.range(4) != 0 ? VectorLevel::Avx512Vbmi
                                                      : VectorLevel::Baseline);
    const int side = static_cast<int>(state.range(0)), mark = static_cast<int>(state.range(1));
    const float angle = static_cast<float>(state.range(2));
    SetWorkerCount(static_cast<int>(state.range(3)));
    SetMatchTrace(nullptr);
    const BenchScene& s = SceneOf(side, mark);
    GrayImage work = NewGrayImage(side, side);
    int n = 0;
    for (auto _ : state) {
        CopyGrayImage(s.image, work, side, side);
        FloatImage results;
        n = MatchPattern(work, s.templ, results, 0, 0, mark, mark, angle, side, side);
        benchmark::DoNotOptimize(results);
    }
    SetWorkerCount(0);
    Report(state, side, n);
    state.counters["rescored"] = static_cast<double>(LastFineStageCounts().rescored);
}

// The literal version, one thread.
void BM_FindPatternLiteral(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0)), mark = static_cast<int>(state.range(1));
    const float angle = static_cast<float>(state.range(2));
    const BenchScene& s = SceneOf(side, mark);
    GrayImage work = NewGrayImage(side, side);
    std::size_t n = 0;
    for (auto _ : state) {
        CopyGrayImage(s.image, work, side, side);
        n = ReferenceMatchPattern(work, s.templ, mark, mark, angle, side, side).size();
    }
    Report(state, side, static_cast<int>(n));
}

void ProductSizes(benchmark::internal::Benchmark* b)
{
    for (int side : {512, 2048})
        for (int mark : {32, 96})
            for (int angle : {0, 360}) {
                b->Args({side, mark, angle, 0, 1});
                b->Args({side, mark, angle, 1, 1});
                b->Args({side, mark, angle, 1, 0});
            }
}

BENCHMARK(BM_FindPattern)
    ->Apply(ProductSizes)
    ->ArgNames({"side", "mark", "angle", "threads", "avx2"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_FindPatternLiteral)
    ->ArgsProduct({{512, 2048}, {32, 96}, {0}})
    ->ArgNames({"side", "mark", "angle"})
    ->Unit(benchmark::kMillisecond);
// One iteration each: the literal rotated search of a 2048 scene takes minutes.
BENCHMARK(BM_FindPatternLiteral)
    ->ArgsProduct({{512, 2048}, {32, 96}, {360}})
    ->ArgNames({"side", "mark", "angle"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

#ifdef GRAYBENCH_HAVE_OPENCV
// A peer figure: the full squared-difference map of the template over the same
// scene (every placement, every template pixel), one thread.
void BM_MatchTemplateOpenCV(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0)), mark = static_cast<int>(state.range(1));
    const BenchScene& s = SceneOf(side, mark);
    cv::setNumThreads(1);
    cv::Mat scene(side, side, CV_8UC1), templ(mark, mark, CV_8UC1), map;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            scene.at<std::uint8_t>(y, x) = s.image[x][y];
    for (int y = 0; y < mark; ++y)
        for (int x = 0; x < mark; ++x)
            templ.at<std::uint8_t>(y, x) = s.templ[x][y];
    for (auto _ : state) {
        cv::matchTemplate(scene, templ, map, cv::TM_SQDIFF);
        double low = 0;
        cv::Point at;
        cv::minMaxLoc(map, &low, nullptr, &at, nullptr);
        benchmark::DoNotOptimize(at);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(side) * side);
}
BENCHMARK(BM_MatchTemplateOpenCV)
    ->ArgsProduct({{512, 2048}, {32, 96}})
    ->ArgNames({"side", "mark"})
    ->Unit(benchmark::kMillisecond);
#endif

}  // namespace
