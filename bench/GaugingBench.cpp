// bench/GaugingBench.cpp: edges along a line, the straight edge and the circular
// edge, each against its literal version.
#include "Find_circular_edge.h"
#include "Find_edge.h"
#include "Find_straight.h"
#include "FindCircularEdgeReference.h"
#include "FindEdgeReference.h"
#include "FindStraightReference.h"
#include "Parallel.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

// The straight edge finder writes a trace line per run; while it is measured the
// trace goes to /dev/null, so that the report stays readable.
class QuietStandardOutput {
public:
    QuietStandardOutput()
    {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~QuietStandardOutput()
    {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }

private:
    int saved_ = -1;
};

// A dark disc of radius 150 on a noisy bright background, 512 x 512; spokes of
// up to 250 pixels from its centre stay inside the picture.
constexpr int kDiscSize = 512, kDiscCentre = 256;
GrayImage NoisyDisc()
{
    GrayImage image = DiscScene(kDiscSize, kDiscSize, kDiscCentre, kDiscCentre, 150, 60, 190);
    std::mt19937 rng(3);
    for (int x = 0; x < kDiscSize; ++x)
        for (int y = 0; y < kDiscSize; ++y)
            image[x][y] = static_cast<std::uint8_t>(image[x][y] + static_cast<int>(rng() % 9) - 4);
    return image;
}

void RunCircular(benchmark::State& state, int gap, bool literal)
{
    SetWorkerCount(static_cast<int>(state.range(0)));
    const GrayImage scene = NoisyDisc();
    GrayImage work = NewGrayImage(kDiscSize, kDiscSize);
    int votes = 0;
    std::size_t entries = 0;
    for (auto _ : state) {
        CopyGrayImage(scene, work, kDiscSize, kDiscSize);
        if (literal) {
            const ReferenceCircularResult r = ReferenceFindCircularEdge(
                work, 50, gap, kInward, 0, 360, kDiscCentre, kDiscCentre, 0, 250, kDiscSize, kDiscSize);
            votes = r.result;
            entries = r.votes.size();
        } else {
            votes = FindCircularEdge(work, 50, gap, kInward, 0, 360, kDiscCentre, kDiscCentre, 0, 250,
                                     kDiscSize, kDiscSize);
            entries = ProcessCircularWork().DistinctCircles();
        }
        benchmark::DoNotOptimize(work[0]);
    }
    SetWorkerCount(0);
    state.counters["votes"] = votes;
    state.counters["circles"] = static_cast<double>(entries);
    const long long hits = 360 / gap;
    state.SetItemsProcessed(state.iterations() * hits * (hits - 1) * (hits - 2) / 6);  // triples
}

// Gap 1 over a full turn: 360 spokes, all hit, 7,711,320 triples. The literal
// version searches its accumulator entry by entry for every vote: at this size
// one run takes minutes, so it is also compared at gap 3 (120 hits, 280,840
// triples).
void BM_FindCircular360(benchmark::State& state) { RunCircular(state, 1, false); }
BENCHMARK(BM_FindCircular360)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FindCircular360Literal(benchmark::State& state) { RunCircular(state, 1, true); }
BENCHMARK(BM_FindCircular360Literal)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_FindCircular120(benchmark::State& state) { RunCircular(state, 3, false); }
BENCHMARK(BM_FindCircular120)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FindCircular120Literal(benchmark::State& state) { RunCircular(state, 3, true); }
BENCHMARK(BM_FindCircular120Literal)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// A slanted boundary (one row down every five columns) across a 2048 x 600
// picture, with noise: every scan line hits it and all steps form one run.
constexpr int kRakeWidth = 2048, kRakeHeight = 600;
GrayImage SlantedBoundary()
{
    GrayImage image = NewGrayImage(kRakeWidth, kRakeHeight);
    std::mt19937 rng(5);
    for (int x = 0; x < kRakeWidth; ++x)
        for (int y = 0; y < kRakeHeight; ++y)
            image[x][y] = static_cast<std::uint8_t>((y < 100 + x / 5 ? 50 : 170) + rng() % 7);
    return image;
}

void RunStraight(benchmark::State& state, bool literal)
{
    SetWorkerCount(static_cast<int>(state.range(0)));
    const GrayImage scene = SlantedBoundary();
    GrayImage work = NewGrayImage(kRakeWidth, kRakeHeight);
    QuietStandardOutput quiet;
    for (auto _ : state) {
        CopyGrayImage(scene, work, kRakeWidth, kRakeHeight);
        if (literal)
            ReferenceFindStraightEdge(work, 60, 1, kScanDown, 0, 0, 0, kRakeWidth - 1,
                                      kRakeHeight - 1, kRakeWidth, kRakeHeight);
        else
            FindStraightEdge(work, 60, 1, kScanDown, 0, 0, 0, kRakeWidth - 1, kRakeHeight - 1,
                             kRakeWidth, kRakeHeight);
        benchmark::DoNotOptimize(work[0]);
    }
    SetWorkerCount(0);
    state.SetItemsProcessed(state.iterations() * kRakeWidth);  // scan lines
}

// Gap 1 across a 2048-wide region: 2048 scan lines of 600 points.
void BM_FindStraight2048(benchmark::State& state) { RunStraight(state, false); }
BENCHMARK(BM_FindStraight2048)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FindStraight2048Literal(benchmark::State& state) { RunStraight(state, true); }
BENCHMARK(BM_FindStraight2048Literal)->Arg(1)->Unit(benchmark::kMillisecond);

void RunEdge(benchmark::State& state, bool literal)
{
    const int threshold = static_cast<int>(state.range(0));
    // A 2000-point line across noise, where about a fifth of the samples are edges.
    constexpr int width = 2100, height = 64;
    std::mt19937 rng(8);
    GrayImage scene = NewGrayImage(width, height);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            scene[x][y] = static_cast<std::uint8_t>(100 + rng() % 60);
    GrayImage work = NewGrayImage(width, height);
    int count = 0;
    for (auto _ : state) {
        CopyGrayImage(scene, work, width, height);
        count = literal ? ReferenceFindEdgesOnLine(work, threshold, 0, 0, 50, 10, 2050, 50, width, height)
                        : FindEdgesOnLine(work, static_cast<std::uint8_t>(threshold), kAnyPolarity, kAllEdges, 50, 10, 2050, 50,
                                          width, height);
        benchmark::DoNotOptimize(work[0]);
    }
    state.counters["edges"] = count;
    state.SetItemsProcessed(state.iterations() * 2000);
}

// Threshold 35 marks 368 edges with radius-5 circles; threshold 255 none.
void BM_FindEdge2000(benchmark::State& state) { RunEdge(state, false); }
BENCHMARK(BM_FindEdge2000)->Arg(35)->Arg(255)->Unit(benchmark::kMicrosecond);

void BM_FindEdge2000Literal(benchmark::State& state) { RunEdge(state, true); }
BENCHMARK(BM_FindEdge2000Literal)->Arg(35)->Arg(255)->Unit(benchmark::kMicrosecond);

}  // namespace
