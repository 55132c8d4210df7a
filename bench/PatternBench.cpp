// bench/PatternBench.cpp: the pattern search against its literal version.
//
// Scenes: a blob texture of side 512 or 2048 with 12 copies of a 32 x 32 or
// 96 x 96 mark pasted at random places, six of them turned by whole degrees,
// and noise of +-4. Arguments: scene side, mark side, Angle. And a smooth
// camera-sized picture with a nearly featureless template cut from it, where
// nearly every block is a candidate and nearly every placement is swept.
#include "Match_pattern.h"
#include "MatchPatternReference.h"
#include "PatternCommand.h"
#include "Parallel.h"
#include "VectorLevel.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
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


// ---- Camera-sized pictures --------------------------------------------------
//
// A smooth 4096 x 3072 picture (broad shading of a lit surface, noise of +-2)
// and a template of mark x mark cut from it: nearly featureless, so the block
// filter keeps most blocks and the ring test passes most placements.
struct CameraScene {
    int mark = 0;
    GrayImage image;
    SizedImage templ;
};
constexpr int kCameraW = 4096, kCameraH = 3072;

const CameraScene& CameraSceneOf(int mark)
{
    static std::vector<std::unique_ptr<CameraScene>> made;
    for (const auto& s : made)
        if (s->mark == mark)
            return *s;
    auto s = std::make_unique<CameraScene>();
    s->mark = mark;
    s->image = NewGrayImage(kCameraW, kCameraH);
    std::mt19937 rng(4096u + static_cast<unsigned>(mark));
    std::uniform_int_distribution<int> noise(-2, 2);
    constexpr double kTurn = 2.0 * 3.14159265358979;
    for (int x = 0; x < kCameraW; ++x)
        for (int y = 0; y < kCameraH; ++y) {
            const double v = 120.0 + 4.0 * std::sin(kTurn * x / 2900.0 + 0.7) *
                                         std::cos(kTurn * y / 2300.0) +
                             2.0 * std::sin(kTurn * (x + y) / 1700.0);
            s->image[x][y] = static_cast<std::uint8_t>(
                std::clamp(static_cast<int>(std::lround(v)) + noise(rng), 0, 255));
        }
    const int x0 = 1800, y0 = 1400;
    s->templ = {NewGrayImage(mark, mark), mark, mark};
    for (int x = 0; x < mark; ++x)
        std::copy_n(s->image[x0 + x] + y0, mark, s->templ.pixels[x]);
    made.push_back(std::move(s));
    return *made.back();
}

// The whole Find Pattern command as the window runs it (the copy of Before into
// After, the search, the rows), with a progress callback. Arguments: mark side,
// Angle, threads.
void BM_FindPatternCamera(benchmark::State& state)
{
    const int mark = static_cast<int>(state.range(0));
    SetWorkerCount(static_cast<int>(state.range(2)));
    SetMatchTrace(nullptr);
    const CameraScene& s = CameraSceneOf(mark);
    GrayImage after = NewGrayImage(kCameraW, kCameraH);
    PatternSettings settings;
    settings.angle = static_cast<int>(state.range(1));
    PatternWork work;
    std::size_t rows = 0;
    int calls = 0;
    const SearchProgress progress = [&](double) { return ++calls > 0; };
    for (auto _ : state) {
        const PatternResult r =
            RunFindPattern(s.image, after, kCameraW, kCameraH, s.templ, settings, progress, &work);
        rows = r.rows.size();
    }
    SetWorkerCount(0);
    Report(state, kCameraW, static_cast<int>(rows));
    state.counters["outlined"] = static_cast<double>(
        std::count_if(work.candidates.begin(), work.candidates.end(),
                      [](const Candidate& c) { return c.score > 0.9f; }));
    state.counters["columns"] = static_cast<double>(work.counts.columns);
    state.counters["rescored"] = static_cast<double>(work.counts.rescored);
}

// The same search stage by stage, each stage's share of the time in ms:
// template model and rotation model, block filter, fine stage, result rows.
void BM_FindPatternCameraSplit(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const int mark = static_cast<int>(state.range(0));
    const float angle = static_cast<float>(state.range(1));
    SetWorkerCount(static_cast<int>(state.range(2)));
    SetMatchTrace(nullptr);
    const CameraScene& s = CameraSceneOf(mark);
    GrayImage after = NewGrayImage(kCameraW, kCameraH);
    PatternWork work;
    double ms[5] = {};
    auto since = [](Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
    };
    for (auto _ : state) {
        auto t = Clock::now();
        CopyGrayImage(s.image, after, kCameraW, kCameraH);
        ms[0] += since(t);
        t = Clock::now();
        int nx = 0, ny = 0;
        MeasureTemplate(work, s.templ.pixels, 0, 0, mark, mark, kCameraW, kCameraH, nx, ny);
        if (angle != 0.0f)
            PrepareRotationModel(work, s.templ.pixels, mark, mark);
        ms[1] += since(t);
        t = Clock::now();
        const int n = FindCandidateBlocks(work, after, nx, ny, kCameraW, kCameraH);
        ms[2] += since(t);
        t = Clock::now();
        if (angle == 0.0f)
            RefineByDifference(work, after, s.templ.pixels, n, angle, kCameraW, kCameraH);
        else
            RefineByRotation(work, after, s.templ.pixels, n, angle, kCameraW, kCameraH);
        ms[3] += since(t);
        t = Clock::now();
        std::vector<MatchRow> rows;
        for (const Candidate& c : work.candidates)
            rows.push_back({static_cast<float>(c.x), static_cast<float>(c.y),
                            static_cast<float>(c.x + mark), static_cast<float>(c.y + mark),
                            c.angle, c.score});
        benchmark::DoNotOptimize(rows);
        ms[4] += since(t);
    }
    SetWorkerCount(0);
    const char* names[] = {"copy_ms", "models_ms", "blocks_ms", "fine_ms", "rows_ms"};
    for (int k = 0; k < 5; ++k)
        state.counters[names[k]] = ms[k] / static_cast<double>(state.iterations());
    state.counters["candidates"] = static_cast<double>(work.candidates.size());
}

BENCHMARK(BM_FindPatternCamera)
    ->ArgsProduct({{64, 128}, {30, 360}, {2}})
    ->ArgNames({"mark", "angle", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
// One thread: the split shows where the work goes, free of waits for a busy core.
BENCHMARK(BM_FindPatternCameraSplit)
    ->ArgsProduct({{64, 128}, {30, 360}, {1}})
    ->ArgNames({"mark", "angle", "threads"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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

// The peer on the camera picture: one upright squared-difference map, 2 threads.
// A turned search would need a map per angle (31 or 361 of them).
void BM_MatchTemplateOpenCVCamera(benchmark::State& state)
{
    const int mark = static_cast<int>(state.range(0));
    const CameraScene& s = CameraSceneOf(mark);
    cv::setNumThreads(2);
    cv::Mat scene(kCameraH, kCameraW, CV_8UC1), templ(mark, mark, CV_8UC1), map;
    for (int y = 0; y < kCameraH; ++y)
        for (int x = 0; x < kCameraW; ++x)
            scene.at<std::uint8_t>(y, x) = s.image[x][y];
    for (int y = 0; y < mark; ++y)
        for (int x = 0; x < mark; ++x)
            templ.at<std::uint8_t>(y, x) = s.templ.pixels[x][y];
    for (auto _ : state) {
        cv::matchTemplate(scene, templ, map, cv::TM_SQDIFF);
        double low = 0;
        cv::Point at;
        cv::minMaxLoc(map, &low, nullptr, &at, nullptr);
        benchmark::DoNotOptimize(at);
    }
    cv::setNumThreads(1);
}
BENCHMARK(BM_MatchTemplateOpenCVCamera)
    ->ArgsProduct({{64, 128}})
    ->ArgNames({"mark"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

}  // namespace
