// bench/CircleVoteBench.cpp: the circle vote over 360 spokes on a noisy region,
// and Find Circular at 2048 x 2048 as the window runs it.
#include "CircularCommand.h"
#include "FindEdgeReference.h"
#include "Find_circular_edge.h"
#include "Find_circular_edgeCount.h"
#include "Parallel.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <memory>
#include <random>

namespace {

constexpr int kSide = 2048, kCentre = 1024;

// One hit on each of 360 spokes about (kCentre, kCentre), at a random distance
// from 20 to 250: the first edge found in noise. Nearly every triple gives a
// circle of its own.
std::vector<SpokeHit> NoisyHits()
{
    std::mt19937 rng(360);
    std::vector<SpokeHit> hits;
    for (int k = 0; k < 360; ++k) {
        const double t = k * 3.141592654 / 180, r = 20 + rng() % 231;
        hits.push_back({kCentre + static_cast<int>(r * std::cos(t)),
                        kCentre + static_cast<int>(r * std::sin(t)), 1});
    }
    return hits;
}

// 360 spokes, 7,711,320 triples. The argument is the number of threads.
void BM_CircleVoteNoisy(benchmark::State& state)
{
    SetWorkerCount(static_cast<int>(state.range(0)));
    const std::vector<SpokeHit> hits = NoisyHits();
    CircularWork work;
    CircleVote chosen{};
    // One vote untimed first: the window's tables keep their storage from one
    // search to the next, so only a session's first search grows them.
    BeginCircleVote(work, kCentre, kCentre);
    VoteCircles(work, hits);
    for (auto _ : state) {
        BeginCircleVote(work, kCentre, kCentre);
        VoteCircles(work, hits);
        chosen = ChosenCircle(work);
        benchmark::DoNotOptimize(chosen);
    }
    SetWorkerCount(0);
    state.counters["circles"] = static_cast<double>(work.DistinctCircles());
    state.counters["votes"] = chosen.votes;
    state.SetItemsProcessed(state.iterations() * 7711320);
}
BENCHMARK(BM_CircleVoteNoisy)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same vote as a session's first search: fresh tables each time, so the
// partition storage is grown (and its pages touched) within the timing.
void BM_CircleVoteNoisyFirst(benchmark::State& state)
{
    SetWorkerCount(static_cast<int>(state.range(0)));
    const std::vector<SpokeHit> hits = NoisyHits();
    CircleVote chosen{};
    for (auto _ : state) {
        auto work = std::make_unique<CircularWork>();
        BeginCircleVote(*work, kCentre, kCentre);
        VoteCircles(*work, hits);
        chosen = ChosenCircle(*work);
        benchmark::DoNotOptimize(chosen);
        state.PauseTiming();
        work.reset();
        state.ResumeTiming();
    }
    SetWorkerCount(0);
    state.counters["votes"] = chosen.votes;
}
BENCHMARK(BM_CircleVoteNoisyFirst)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The hits of a dark disc of radius 150 with noise, searched inward from 250
// about its centre (gap 1): 162,472 circles, the winner has 4,021,712 votes.
std::vector<SpokeHit> DiscHits()
{
    GrayImage image = DiscScene(512, 512, 256, 256, 150, 60, 190);
    std::mt19937 rng(3);
    for (int x = 0; x < 512; ++x)
        for (int y = 0; y < 512; ++y)
            image[x][y] = static_cast<std::uint8_t>(image[x][y] + static_cast<int>(rng() % 9) - 4);
    CircularWork work;
    FindCircularEdge(work, image, 50, 1, kInward, 0, 360, 256, 256, 0, 250, 512, 512);
    std::vector<SpokeHit> hits = work.hits;
    for (SpokeHit& h : hits) {  // about (kCentre, kCentre) like the noisy hits
        h.x += kCentre - 256;
        h.y += kCentre - 256;
    }
    return hits;
}

// The vote's time split: {phase, hits, threads}. Phase 0 works out the circles
// of all triples and drops them; 1 also packs them into partitions; 2 counts
// the partitions and picks the winner; 3 is the sample that chooses between the
// partitions and the hash accumulator; 4 packs as an edge does, its repeated
// circles gathered first; 5 is the row kernel alone; 6 counts what 4 packed.
// Hits 0 are the noisy ones, 1 the disc's.
void BM_CircleVoteSplit(benchmark::State& state)
{
    using namespace circular_edge;
    const int phase = static_cast<int>(state.range(0));
    SetWorkerCount(static_cast<int>(state.range(2)));
    const std::vector<SpokeHit> hits = state.range(1) == 0 ? NoisyHits() : DiscHits();
    std::vector<RelativePoint> p;
    for (const SpokeHit& h : hits) {
        const i64 x = h.x - kCentre, y = h.y - kCentre;
        p.push_back({x, y, -(x * x + y * y)});
    }
    const PairTerms terms = MakePairTerms(p);
    const std::size_t m = p.size();
    CircleCount count;
    count.Partition(Centre{kCentre, kCentre}, p, terms, phase == 6);  // grown storage, as above
    std::vector<Circle> row(m);
    std::vector<std::uint32_t> ks(m);
    std::vector<std::uint64_t> keys(m);
    for (auto _ : state) {
        if (phase == 0) {
            std::size_t circles = 0;
            for (std::size_t i = 0; i < m; ++i)
                for (std::size_t j = i + 1; j + 1 < m; ++j)
                    circles += RowCircles(Centre{0, 0}, p, terms, i, j, row.data(), ks.data(),
                                          keys.data());
            benchmark::DoNotOptimize(circles);
        } else if (phase == 1) {
            count.Partition(Centre{kCentre, kCentre}, p, terms);
        } else if (phase == 2 || phase == 6) {
            count.Tally();
        } else if (phase == 4) {
            count.Partition(Centre{kCentre, kCentre}, p, terms, true);
        } else if (phase == 5) {
            for (std::size_t i = 0; i < m; ++i)
                for (std::size_t j = i + 1; j + 1 < m; ++j)
                    RowKeys(terms, i, j, keys.data());
            benchmark::DoNotOptimize(keys.data());
        } else {
            benchmark::DoNotOptimize(ManyDistinctCircles(p, terms));
        }
    }
    SetWorkerCount(0);
    if (phase == 2 || phase == 6) {
        state.counters["circles"] = static_cast<double>(count.Distinct());
        state.counters["votes"] = count.Winner().votes;
    }
}
BENCHMARK(BM_CircleVoteSplit)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}, {1}})
    ->ArgsProduct({{1, 2}, {0, 1}, {2}})
    ->ArgsProduct({{4, 6}, {1}, {1, 2}})
    ->ArgsProduct({{5}, {1}, {1}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Scene 0: a dark disc of radius 150 on a noisy bright ground, searched inward
// from 250 about its centre: all 360 spokes hit it. Scene 1: a flat gray region
// speckled with bright pixels (one in 60): each spoke stops at its first
// speckle, at a random distance.
GrayImage CommandScene(int scene)
{
    GrayImage image = scene == 0 ? DiscScene(kSide, kSide, kCentre, kCentre, 150, 60, 190)
                                 : NewGrayImage(kSide, kSide);
    std::mt19937 rng(11);
    for (int x = 0; x < kSide; ++x)
        for (int y = 0; y < kSide; ++y)
            image[x][y] = scene == 0 ? static_cast<std::uint8_t>(image[x][y] + rng() % 9 - 4)
                                     : rng() % 60 == 0 ? 250 : 100;
    return image;
}

// CPU time so far of the calling thread (CLOCK_THREAD_CPUTIME_ID) or of the
// whole process (CLOCK_PROCESS_CPUTIME_ID).
double CpuMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// RunFindCircular, gap 1, a full turn, on the process-wide tables, the copy of
// Before into After included: what the window's Find Circular button waits for.
// "others_ms" is the CPU time of the other threads a search: on idle cores the
// search takes about the larger of it and the main thread's, so the main
// thread's time alone understates a search whose workers are the busier.
void BM_FindCircularCommand2048(benchmark::State& state)
{
    const GrayImage before = CommandScene(static_cast<int>(state.range(0)));
    GrayImage after = NewGrayImage(kSide, kSide);
    const CircularSettings settings{kInward, 1, 50, 0, 360, 0, 250, kCentre, kCentre};
    CircularResult r;
    double others = 0;
    for (auto _ : state) {
        const double all0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID), main0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
        r = RunFindCircular(before, after, kSide, kSide, settings);
        benchmark::DoNotOptimize(after[0]);
        const double main1 = CpuMs(CLOCK_THREAD_CPUTIME_ID), all1 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
        others += (all1 - all0) - (main1 - main0);
    }
    state.counters["others_ms"] = others / static_cast<double>(state.iterations());
    state.counters["hits"] = r.hits;
    state.counters["circles"] = static_cast<double>(r.circles);
    state.counters["votes"] = r.votes;
    state.counters["radius"] = static_cast<double>(r.radius);
}
BENCHMARK(BM_FindCircularCommand2048)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The command's part before the vote: the copy of Before into After, the 360
// spokes and the first edge on each.
void BM_FindCircularSpokes2048(benchmark::State& state)
{
    const GrayImage before = CommandScene(static_cast<int>(state.range(0)));
    GrayImage after = NewGrayImage(kSide, kSide);
    CircularWork work;
    int found = 0;
    for (auto _ : state) {
        CopyGrayImage(before, after, kSide, kSide);
        const int n = BuildSpokes(work, 1, kInward, 0, 360, kCentre, kCentre, 0, 250);
        found = 0;
        for (int k = 0; k < n; ++k)
            found += FirstEdgeOnSpoke(after, 50, work.spokes[static_cast<std::size_t>(k)], kSide,
                                      kSide).found;
        benchmark::DoNotOptimize(found);
    }
    state.counters["hits"] = found;
}
BENCHMARK(BM_FindCircularSpokes2048)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
