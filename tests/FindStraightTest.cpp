// tests/FindStraightTest.cpp
#include "Find_straight.h"
#include "FindEdgeReference.h"
#include "FindStraightReference.h"
#include "Parallel.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <random>

namespace {

// Gray 40 above row 200, gray 180 from row 200 down.
GrayImage HorizontalBoundary(int width, int height)
{
    GrayImage image = NewGrayImage(width, height);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            image[x][y] = y < 200 ? 40 : 180;
    return image;
}

std::vector<int> HitColumns()
{
    std::vector<int> columns;
    for (const ScanHit& h : ScanHits())
        columns.push_back(h.found == 1 ? h.x : -1);
    return columns;
}

int CountValue(const GrayImage& image, int width, int height, int value)
{
    int count = 0;
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            count += image[x][y] == value;
    return count;
}

}  // namespace

TEST(SampleScanProfile, HoldsTheStepsOfThePointsInsideTheImage)
{
    // The scan line starts two rows above the picture; its first point inside
    // is its own previous point.
    const GrayImage image = FromRows({{90, 0}, {30, 0}, {30, 0}, {200, 0}});
    EXPECT_EQ(SampleScanProfile(image, 0, -2, 0, 4, 2, 4), 6);
    const std::span<const ScanSample> p = ScanProfile();
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].y, 0);
    EXPECT_EQ(p[0].strength, 0);
    EXPECT_EQ(p[1].strength, 60);
    EXPECT_EQ(p[2].strength, 0);
    EXPECT_EQ(p[3].strength, 170);
    EXPECT_EQ(p[3].y, 3);
}

TEST(FindStraightEdge, TheRakeCoversTheRegionFromSideToSide)
{
    // Threshold 0: each scan line's first sample is its hit, at (p, Y1).
    GrayImage image = Filled(300, 260, 90);
    FindStraightEdge(image, 0, 1, kScanUp, 0, 100, 50, 150, 90, 300, 260);
    ASSERT_EQ(ScanHits().size(), 51u);  // x = 100..150
    EXPECT_EQ(ScanHits()[50].x, 150);
    image = Filled(300, 260, 90);
    FindStraightEdge(image, 0, 20, kScanUp, 0, 100, 50, 150, 90, 300, 260);
    EXPECT_EQ(HitColumns(), (std::vector<int>{100, 120, 140, 150}));  // 50/20 + 1 + 1 lines
    image = Filled(300, 260, 90);
    FindStraightEdge(image, 0, 20, kScanUp, 0, 100, 50, 107, 90, 300, 260);
    EXPECT_EQ(HitColumns(), (std::vector<int>{100, 107}));  // narrower than the gap: two lines
}

TEST(FindStraightEdge, ThresholdZeroFitsTheStartSideOfTheRake)
{
    GrayImage image = Filled(300, 260, 90);
    FindStraightEdge(image, 0, 10, kScanUp, 0, 100, 50, 150, 90, 300, 260);
    EXPECT_EQ(image[0][50], 128);    // row Y1, across the whole image
    EXPECT_EQ(image[298][50], 128);
    EXPECT_EQ(image[299][50], 90);   // the last column is never drawn
    image = Filled(300, 260, 90);
    FindStraightEdge(image, 0, 10, kScanUp, 0, 100, 0, 150, 90, 300, 260);
    EXPECT_EQ(CountValue(image, 300, 260, 128), 0);  // row 0 is never drawn
}

TEST(FindStraightEdge, AHorizontalBoundaryAtGapTen)
{
    GrayImage image = HorizontalBoundary(320, 300);
    FindStraightEdge(image, 100, 10, kScanUp, 0, 100, 150, 150, 260, 320, 300);
    for (const ScanHit& h : ScanHits()) {
        EXPECT_EQ(h.found, 1);
        EXPECT_EQ(h.y, 200);
    }
    const std::vector<StepRun> runs = GroupStepRuns(ScanHits());
    ASSERT_EQ(runs.size(), 5u);
    EXPECT_EQ(runs[0].a, -10);
    EXPECT_EQ(runs[0].b, 0);
    EXPECT_EQ(runs[0].count, 5);  // the first run takes in the other four
    float a = -1, b = -1;
    ASSERT_TRUE(FitStraightEdge(ScanHits(), a, b));
    EXPECT_EQ(a, 0.0f);
    EXPECT_EQ(b, 200.0f);
    for (int x = 0; x <= 318; ++x)
        ASSERT_EQ(image[x][200], 128) << x;
    EXPECT_EQ(image[319][200], 180);
}

TEST(FindStraightEdge, AtGapTwentyTheShorterLastStepEndsTheRun)
{
    GrayImage image = HorizontalBoundary(320, 300);
    FindStraightEdge(image, 100, 20, kScanUp, 0, 100, 150, 150, 260, 320, 300);
    EXPECT_EQ(HitColumns(), (std::vector<int>{100, 120, 140, 150}));
    const std::vector<StepRun> runs = GroupStepRuns(ScanHits());
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].a, -20);
    EXPECT_EQ(runs[1].a, -20);
    EXPECT_EQ(runs[2].a, -10);
    for (const StepRun& r : runs)
        EXPECT_EQ(r.b, 0);
    EXPECT_EQ(runs[0].count, 2);  // (−20, 0) takes in (−20, 0), not (−10, 0)
    EXPECT_EQ(runs[0].firstX, 100);
    EXPECT_EQ(runs[0].lastX, 120);
    EXPECT_EQ(runs[1].count, 1);
    EXPECT_EQ(runs[2].count, 1);
    float a = -1, b = -1;
    ASSERT_TRUE(FitStraightEdge(ScanHits(), a, b));
    EXPECT_EQ(a, 0.0f);
    EXPECT_EQ(b, 200.0f);
    EXPECT_EQ(image[5][200], 128);
}

TEST(FindStraightEdge, AVerticalBoundaryGivesTheVerticalMarker)
{
    // Bright left of column 150; LEFT scans run from X1 to X2 along rows.
    GrayImage image = NewGrayImage(260, 240);
    for (int x = 0; x < 260; ++x)
        for (int y = 0; y < 240; ++y)
            image[x][y] = x < 150 ? 200 : 30;
    FindStraightEdge(image, 100, 10, kScanLeft, 0, 100, 60, 200, 160, 260, 240);
    for (const ScanHit& h : ScanHits())
        EXPECT_EQ(h.x, 150);
    float a = 0, b = 0;
    ASSERT_TRUE(FitStraightEdge(ScanHits(), a, b));
    EXPECT_EQ(a, 10000.0f);
    EXPECT_EQ(b, 150.0f);
    for (int y = 0; y <= 238; ++y)
        ASSERT_EQ(image[150][y], 128) << y;
    EXPECT_NE(image[150][239], 128);  // rows 0..height − 2
}

TEST(FindStraightEdge, ARegionDraggedFromAnyCornerGivesTheSameResult)
{
    std::mt19937 rng(12);
    const GrayImage scene = RandomGaugingScene(rng, 120, 90);
    GrayImage want = Copy(scene, 120, 90);
    FindStraightEdge(want, 40, 3, kScanDown, 30, 20, 10, 100, 80, 120, 90);
    for (auto [X1, Y1, X2, Y2] : {std::array{100, 80, 20, 10}, std::array{100, 10, 20, 80},
                                  std::array{20, 80, 100, 10}}) {
        GrayImage got = Copy(scene, 120, 90);
        FindStraightEdge(got, 40, 3, kScanDown, 30, X1, Y1, X2, Y2, 120, 90);
        EXPECT_EQ(FirstDifference(got, want, 120, 90), "");
    }
}

TEST(FindStraightEdge, MarksOfOneScanLineAreNeverReadByTheNext)
{
    // A uniform picture has no edge. At gap 2 the radius-5 circles (gray 200) of
    // one scan line cross the next: read from the marked image they would be hits.
    GrayImage image = Filled(100, 80, 100);
    FindStraightEdge(image, 10, 2, kScanUp, 0, 20, 10, 60, 70, 100, 80);
    for (const ScanHit& h : ScanHits())
        EXPECT_EQ(h.found, 0);
    EXPECT_EQ(CountValue(image, 100, 80, 128), 0);  // no run: no fitted line
    EXPECT_GT(CountValue(image, 100, 80, 200), 0);
}

TEST(FindStraightEdge, BadGapOrDirectionDoesNothing)
{
    GrayImage image = Filled(50, 40, 100);
    FindStraightEdge(image, 10, 0, kScanUp, 0, 0, 0, 40, 30, 50, 40);
    FindStraightEdge(image, 10, 5, 4, 0, 0, 0, 40, 30, 50, 40);
    FindStraightEdge(image, 10, 5, -1, 0, 0, 0, 40, 30, 50, 40);
    EXPECT_EQ(CountValue(image, 50, 40, 100), 50 * 40);
    FindStraightEdge(image, 10, 7, kScanRight, 90, INT_MIN, -5, INT_MIN + 20, 9, 50, 40);
    // A rake the fuzzer asked for: 1 431 655 766 scan lines, 23 GB of them. More
    // than a million (the hit table's capacity) do nothing.
    for (const auto& [X1, X2, gap] : {std::tuple{INT_MIN, INT_MAX, 3}, {0, 1'000'000, 1},
                                      {-500'000'000, 500'000'000, 999}}) {
        FindStraightEdge(image, 10, gap, kScanUp, 30, X1, 0, X2, 39, 50, 40);
        EXPECT_EQ(CountValue(image, 50, 40, 100), 50 * 40) << X1 << " to " << X2;
        EXPECT_TRUE(ScanHits().empty());
    }
}

TEST(DrawFittedLine, EvaluatesTheLineInSinglePrecision)
{
    // 0.7f · 10 rounds to 7 in single precision (6.9999999 in double).
    GrayImage image = Filled(20, 20, 0);
    DrawFittedLine(image, 0.7f, 0.0f, 20, 20);
    EXPECT_EQ(image[10][7], 128);
    EXPECT_EQ(image[10][6], 0);
    EXPECT_EQ(image[1][0], 0);   // 0.7 truncates to row 0, never drawn
    EXPECT_EQ(image[19][13], 0);  // the last column is never drawn
    image = Filled(20, 20, 0);
    DrawFittedLine(image, 10000.0f, 25.0f, 20, 20);  // a vertical line outside the image
    DrawFittedLine(image, 3e38f, 3e38f, 20, 20);
    DrawFittedLine(image, -2.0f, -1e30f, 20, 20);
    EXPECT_EQ(CountValue(image, 20, 20, 128), 0);
}

TEST(FitStraightEdge, NoNeighbouringHitsMeansNoLine)
{
    float a = 5, b = 6;
    const std::vector<ScanHit> hits = {{1, 1, 1}, {0, 0, 0}, {3, 4, 1}};
    EXPECT_FALSE(FitStraightEdge(hits, a, b));
    EXPECT_EQ(a, 5);
    EXPECT_FALSE(FitStraightEdge({}, a, b));
}

TEST(FitStraightEdge, TiesGoToTheRunFoundFirst)
{
    // Steps (−5, 0), (−5, 9), (−5, 0): three runs of count 1.
    const std::vector<ScanHit> hits = {{0, 0, 1}, {5, 0, 1}, {10, -9, 1}, {15, -9, 1}};
    float a = 0, b = 0;
    ASSERT_TRUE(FitStraightEdge(hits, a, b));
    EXPECT_EQ(a, 0.0f);  // the line through (0, 0) and (5, 0)
    EXPECT_EQ(b, 0.0f);
}

TEST(GroupStepRuns, AgreesWithThePairByPairWalk)
{
    std::mt19937 rng(99);
    for (int round = 0; round < 400; ++round) {
        const int n = static_cast<int>(rng() % 60);
        const int spread = 1 + static_cast<int>(rng() % 4);
        std::vector<ScanHit> hits;
        int x = 0, y = 0;
        for (int i = 0; i < n; ++i) {
            x += 5 + static_cast<int>(rng() % spread);
            y += static_cast<int>(rng() % spread) - spread / 2;
            hits.push_back({x, y, rng() % 8 == 0 ? 0 : 1});
        }
        const std::vector<StepRun> got = GroupStepRuns(hits);
        const std::vector<StepRun> want = ReferenceGroupStepRuns(hits);
        ASSERT_EQ(got.size(), want.size()) << "round " << round;
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i].count, want[i].count) << "round " << round << " run " << i;
            ASSERT_EQ(got[i].lastX, want[i].lastX) << "round " << round << " run " << i;
            ASSERT_EQ(got[i].lastY, want[i].lastY) << "round " << round << " run " << i;
            ASSERT_EQ(got[i].a, want[i].a);
            ASSERT_EQ(got[i].firstX, want[i].firstX);
        }
    }
}

TEST(FindStraightEdge, RegionsWiderThan512ScanLinesAreHandledWhole)
{
    GrayImage image = HorizontalBoundary(2048, 260);
    FindStraightEdge(image, 100, 1, kScanUp, 0, 0, 150, 2047, 250, 2048, 260);
    ASSERT_EQ(ScanHits().size(), 2048u);
    const std::vector<StepRun> runs = GroupStepRuns(ScanHits());
    ASSERT_EQ(runs.size(), 2047u);
    EXPECT_EQ(runs[0].count, 2047);
    EXPECT_EQ(runs[0].lastX, 2046);  // the first point of the last run taken in
    EXPECT_EQ(image[2046][200], 128);
}

TEST(FindStraightEdge, AgreesWithTheLiteralToolOnRandomScenes)
{
    std::mt19937 rng(2718);
    int fitted = 0;
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 400; ++round) {
        const int width = pick(1, 100), height = pick(1, 100);
        const GrayImage scene = RandomGaugingScene(rng, width, height);
        const int X1 = pick(-15, width + 15), Y1 = pick(-15, height + 15);
        const int X2 = pick(-15, width + 15), Y2 = pick(-15, height + 15);
        const int gap = pick(1, 30), direction = pick(0, 3);
        const float angle = static_cast<float>(pick(0, 360));
        const int threshold = pick(0, 4) == 0 ? 0 : pick(1, 80);
        SetWorkerCount(pick(1, 4));
        GrayImage got = Copy(scene, width, height), want = Copy(scene, width, height);
        FindStraightEdge(got, static_cast<std::uint8_t>(threshold), gap, direction, angle, X1, Y1,
                         X2, Y2, width, height);
        const ReferenceStraightResult r = ReferenceFindStraightEdge(
            want, threshold, gap, direction, angle, X1, Y1, X2, Y2, width, height);
        const std::string what = "round " + std::to_string(round);
        ASSERT_EQ(ScanHits().size(), r.hits.size()) << what;
        for (std::size_t s = 0; s < r.hits.size(); ++s) {
            ASSERT_EQ(ScanHits()[s].found, r.hits[s].found) << what << " line " << s;
            if (r.hits[s].found == 1) {
                ASSERT_EQ(ScanHits()[s].x, r.hits[s].x) << what;
                ASSERT_EQ(ScanHits()[s].y, r.hits[s].y) << what;
            }
        }
        float a = 0, b = 0;
        ASSERT_EQ(FitStraightEdge(ScanHits(), a, b), r.fitted) << what;
        if (r.fitted) {
            ++fitted;
            ASSERT_EQ(a, r.a) << what;
            ASSERT_EQ(b, r.b) << what;
        }
        ASSERT_EQ(FirstDifference(got, want, width, height), "") << what;
    }
    EXPECT_GT(fitted, 80);  // many rakes find a line
    SetWorkerCount(0);
}
