// tests/FindEdgeTest.cpp
#include "Find_edge.h"
#include "FindEdgeReference.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

namespace {

// A row image: gray 50 left of column 15, gray 150 from it on.
GrayImage StepAt15(int width = 30, int height = 20)
{
    GrayImage image = NewGrayImage(width, height);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            image[x][y] = x < 15 ? 50 : 150;
    return image;
}

}  // namespace

TEST(LineWalker, VisitsTheInsidePointsOfTheLiteralWalkInOrder)
{
    std::mt19937 rng(1);
    for (int round = 0; round < 2000; ++round) {
        const int width = 1 + static_cast<int>(rng() % 30), height = 1 + static_cast<int>(rng() % 30);
        auto coordinate = [&](int size) { return static_cast<int>(rng() % (size + 60)) - 30; };
        const int x1 = coordinate(width), y1 = coordinate(height);
        const int x2 = coordinate(width), y2 = coordinate(height);
        std::vector<ReferencePoint> want;
        for (const ReferencePoint p : ReferenceLinePoints(x1, y1, x2, y2))
            if (p.x >= 0 && p.x < width && p.y >= 0 && p.y < height)
                want.push_back(p);
        LineWalker walk(x1, y1, x2, y2, width, height);
        EXPECT_EQ(walk.Length(), std::max(std::abs(x2 - x1), std::abs(y2 - y1)));
        std::size_t i = 0;
        int x, y;
        while (walk.Next(x, y)) {
            ASSERT_LT(i, want.size()) << "round " << round;
            ASSERT_EQ(x, want[i].x) << "round " << round;
            ASSERT_EQ(y, want[i].y) << "round " << round;
            ++i;
        }
        ASSERT_EQ(i, want.size()) << "round " << round;
    }
}

TEST(SampleEdgeProfile, TakesTheTenPointsBeforeTheEnd)
{
    const GrayImage image = StepAt15();
    EXPECT_EQ(SampleEdgeProfile(image, 10, 10, 20, 10, 30, 20), 10);
    const std::span<const EdgeSample> p = EdgeProfile();
    ASSERT_EQ(p.size(), 10u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(p[static_cast<std::size_t>(i)].x, 10 + i);  // x = 10..19, never 20
    EXPECT_EQ(p[0].strength, 0);  // the start point against itself
    EXPECT_EQ(p[0].polarity, -1);
    EXPECT_EQ(p[5].strength, 100);  // 50 -> 150 at x = 15
    EXPECT_EQ(p[5].polarity, -1);
    EXPECT_EQ(SampleEdgeProfile(image, 5, 5, 5, 5, 30, 20), 0);  // ends coincide: no point
    EXPECT_TRUE(EdgeProfile().empty());
}

TEST(SampleEdgeProfile, PointsOutsideTheImageGiveNoSample)
{
    // Columns 0..5 inside; the line starts 5 to the left. The first point inside
    // is its own previous point: column 0 (gray 200) is no edge.
    const GrayImage image = FromRows({{200, 10, 10, 10, 10, 10}, {0, 0, 0, 0, 0, 0}});
    EXPECT_EQ(SampleEdgeProfile(image, -5, 0, 9, 0, 6, 2), 14);
    const std::span<const EdgeSample> p = EdgeProfile();
    ASSERT_EQ(p.size(), 6u);
    EXPECT_EQ(p[0].x, 0);
    EXPECT_EQ(p[0].strength, 0);
    EXPECT_EQ(p[1].strength, 190);
    EXPECT_EQ(p[1].polarity, +1);
}

TEST(FindEdgesOnLine, ThresholdZeroMakesEverySampleAnEdge)
{
    GrayImage image = Filled(40, 30, 90);
    EXPECT_EQ(FindEdgesOnLine(image, 0, kAnyPolarity, kAllEdges, 10, 10, 20, 10, 40, 30), 10);
    EXPECT_EQ(image[10][15], 128);  // the first mark (radius 5 about the start) is gray 128
    EXPECT_EQ(image[19][5], 128);   // the last one, about (19, 10)
    EXPECT_EQ(image[25][10], 90);   // nothing about the end point (20, 10)
}

TEST(FindEdgesOnLine, AUniformLineHasNoEdgeAboveZero)
{
    GrayImage image = Filled(40, 30, 90);
    EXPECT_EQ(FindEdgesOnLine(image, 1, kAnyPolarity, kAllEdges, 3, 4, 35, 25, 40, 30), 0);
    EXPECT_EQ(image[3][4], 128);  // the line itself is drawn
    EXPECT_EQ(image[35][25], 90);
}

TEST(FindEdgesOnLine, ADarkToBrightStepIsFoundOnTheBrighterPointEitherWay)
{
    GrayImage forward = StepAt15();
    EXPECT_EQ(FindEdgesOnLine(forward, 50, kAnyPolarity, kAllEdges, 10, 10, 20, 10, 30, 20), 1);
    EXPECT_EQ(forward[20][10], 128);  // dark to bright: gray 128 about (15, 10), out to x = 20
    EXPECT_EQ(forward[9][10], 50);    // a mark about (14, 10) would reach x = 9

    // Dragged the other way: the step falls, on the darker point (14, 10), gray 255.
    GrayImage backward = StepAt15();
    EXPECT_EQ(FindEdgesOnLine(backward, 50, kAnyPolarity, kAllEdges, 20, 10, 10, 10, 30, 20), 1);
    EXPECT_EQ(backward[9][10], 255);
    EXPECT_EQ(backward[20][10], 128);  // the line's start; no mark about (15, 10) reaches it
}

TEST(FindEdgesOnLine, PolarityFiltersAndLookForModes)
{
    // 50 | 150 | 50 along row 10: a rise at x = 15, a fall at x = 20.
    auto scene = [] {
        GrayImage image = StepAt15();
        for (int x = 20; x < 30; ++x)
            for (int y = 0; y < 20; ++y)
                image[x][y] = 50;
        return image;
    };
    GrayImage image = scene();
    EXPECT_EQ(FindEdgesOnLine(image, 50, kDarkToBrightOnly, kAllEdges, 5, 10, 28, 10, 30, 20), 1);
    image = scene();
    EXPECT_EQ(FindEdgesOnLine(image, 50, kBrightToDarkOnly, kAllEdges, 5, 10, 28, 10, 30, 20), 1);
    EXPECT_EQ(image[20][15], 255);
    image = scene();
    EXPECT_EQ(FindEdgesOnLine(image, 50, 7, kAllEdges, 5, 10, 28, 10, 30, 20), 0);  // unknown
    // First only: marked, but the count shown is 0.
    image = scene();
    EXPECT_EQ(FindEdgesOnLine(image, 50, kAnyPolarity, kFirstEdgeOnly, 5, 10, 28, 10, 30, 20), 0);
    EXPECT_EQ(image[15][15], 128);
    EXPECT_EQ(image[20][15], 50);
    image = scene();
    EXPECT_EQ(FindEdgesOnLine(image, 50, kAnyPolarity, kFirstAndLastEdge, 5, 10, 28, 10, 30, 20),
              0);
    EXPECT_EQ(image[15][15], 128);
    EXPECT_EQ(image[20][15], 255);
}

TEST(FindEdgesOnLine, AVerticalLineStepsAlongY)
{
    GrayImage image = FromRows({{9}, {9}, {9}, {200}, {200}, {9}});
    EXPECT_EQ(FindEdgesOnLine(image, 100, kAnyPolarity, kAllEdges, 0, 0, 0, 6, 1, 6), 2);
    EXPECT_EQ(SampleEdgeProfile(image, 0, 0, 0, 6, 1, 6), 6);
}

TEST(SampleEdgeProfile, ADiagonalLineStepsBothAxesAtEveryStep)
{
    // 45 degrees is a tie of the spans: x is the major axis, y steps every time.
    const GrayImage image = Filled(10, 10, 70);
    EXPECT_EQ(SampleEdgeProfile(image, 6, 1, 1, 6, 10, 10), 5);
    const std::span<const EdgeSample> p = EdgeProfile();
    ASSERT_EQ(p.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(p[static_cast<std::size_t>(i)].x, 6 - i);
        EXPECT_EQ(p[static_cast<std::size_t>(i)].y, 1 + i);
    }
}

TEST(FindEdgesOnLine, LongLinesAreSampledWhole)
{
    // 2000 points: twice what a 1000-entry profile could hold.
    GrayImage image = Filled(2100, 3, 40);
    EXPECT_EQ(FindEdgesOnLine(image, 0, kAnyPolarity, kAllEdges, 50, 1, 2050, 1, 2100, 3), 2000);
    // Ends far outside the image: only the inside part is walked.
    EXPECT_EQ(FindEdgesOnLine(image, 0, kAnyPolarity, kAllEdges, INT_MIN, 2, INT_MAX, 2, 2100, 3),
              2100);
    EXPECT_EQ(SampleEdgeProfile(image, INT_MIN, 2, INT_MAX, 2, 2100, 3), 4294967295LL);
    GrayImage none;
    EXPECT_EQ(FindEdgesOnLine(none, 0, kAnyPolarity, kAllEdges, 0, 0, 100, 100, 0, 0), 0);
}

TEST(FindEdgesOnLine, AgreesWithTheLiteralToolOnRandomScenes)
{
    std::mt19937 rng(4242);
    int withEdges = 0;
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 1200; ++round) {
        const int width = pick(1, 90), height = pick(1, 90);
        const GrayImage scene = RandomGaugingScene(rng, width, height);
        const int x1 = pick(-10, width + 10), y1 = pick(-10, height + 10);
        const int x2 = pick(-10, width + 10), y2 = pick(-10, height + 10);
        const int threshold = pick(0, 3) == 0 ? 0 : pick(1, 80);
        const int filter = pick(0, 2), mode = pick(0, 2);
        GrayImage got = Copy(scene, width, height), want = Copy(scene, width, height);
        const int count = FindEdgesOnLine(got, static_cast<std::uint8_t>(threshold), filter, mode,
                                          x1, y1, x2, y2, width, height);
        const int expected = ReferenceFindEdgesOnLine(want, threshold, filter, mode, x1, y1, x2,
                                                      y2, width, height);
        ASSERT_EQ(count, expected) << "round " << round;
        withEdges += count > 0;
        ASSERT_EQ(FirstDifference(got, want, width, height), "") << "round " << round;
        // The profile holds exactly the literal table's samples, in order.
        SampleEdgeProfile(scene, x1, y1, x2, y2, width, height);
        std::size_t i = 0;
        for (const ReferenceEdgeEntry& e :
             ReferenceEdgeProfile(scene, x1, y1, x2, y2, width, height)) {
            if (!e.sample)
                continue;
            ASSERT_LT(i, EdgeProfile().size());
            const EdgeSample& s = EdgeProfile()[i++];
            ASSERT_EQ(s.x, e.x);
            ASSERT_EQ(s.y, e.y);
            ASSERT_EQ(s.strength, e.strength);
            ASSERT_EQ(s.polarity, e.polarity);
        }
        ASSERT_EQ(i, EdgeProfile().size()) << "round " << round;
    }
    EXPECT_GT(withEdges, 80);  // only "All Edges" counts; the other modes show 0
}
