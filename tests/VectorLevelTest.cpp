// tests/VectorLevelTest.cpp: every kernel family at every vector level this
// processor runs, against the literal versions, on seeded random inputs.
#include "Brightness.h"
#include "BrightnessReference.h"
#include "DetectObjectReference.h"
#include "Filter.h"
#include "FilterReference.h"
#include "Match_pattern.h"
#include "MatchPatternReference.h"
#include "Morphology.h"
#include "MorphologyReference.h"
#include "Parallel.h"
#include "TestImages.h"
#include "Threshold.h"
#include "ThresholdReference.h"
#include "VectorLevel.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

namespace {

int Uniform(std::mt19937& rng, int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

// Runs the test body with the active level limited to the parameter, or skips
// it when the processor lacks that level.
class AtVectorLevel : public ::testing::TestWithParam<VectorLevel> {
protected:
    void SetUp() override
    {
        if (GetParam() > ProcessorVectorLevel())
            GTEST_SKIP() << "this processor runs " << VectorLevelName(ProcessorVectorLevel())
                         << " at most, not " << VectorLevelName(GetParam());
        limit_.emplace(GetParam());
    }
    void TearDown() override { SetWorkerCount(0); }

private:
    std::optional<ScopedVectorLimit> limit_;
};

// Sizes across the kernels' block boundaries (16, 32, 64 rows; 32-column
// thread grains), 1 x N and N x 1 included.
struct Size {
    int width, height;
};
Size RandomSize(std::mt19937& rng, int round)
{
    if (round % 10 == 0)
        return {1, Uniform(rng, 1, 150)};
    if (round % 10 == 1)
        return {Uniform(rng, 1, 80), 1};
    return {Uniform(rng, 1, 80), Uniform(rng, 1, 150)};
}

using FilterFunction = void (*)(const GrayImage&, GrayImage&, int, int, int, int, int, int, int);
struct FilterPair {
    const char* name;
    FilterFunction fast, literal;
};
constexpr FilterPair kFilters[] = {
    {"Lowpass", LowpassFilter, ReferenceLowpassFilter},
    {"LocalAverage", LocalAverageFilter, ReferenceLocalAverageFilter},
    {"Median", MedianFilter, ReferenceMedianFilter},
    {"Gaussian", GaussianFilter, ReferenceGaussianFilter},
    {"Laplacian", LaplacianFilter, ReferenceLaplacianFilter},
    {"Prewitt", PrewittFilter, ReferencePrewittFilter},
    {"Sobel", SobelFilter, ReferenceSobelFilter},
    {"Roberts", RobertsFilter, ReferenceRobertsFilter},
};

TEST_P(AtVectorLevel, IsTheActiveLevelWhileLimited)
{
    EXPECT_EQ(ActiveVectorLevel(), GetParam());
    {
        const ScopedVectorLimit inner(VectorLevel::Plain);
        EXPECT_EQ(ActiveVectorLevel(), VectorLevel::Plain);
    }
    EXPECT_EQ(ActiveVectorLevel(), GetParam());  // the outer limit comes back
}

TEST_P(AtVectorLevel, FiltersEqualTheLiteralOnes)
{
    std::mt19937 rng(4100);
    for (int round = 0; round < 48; ++round) {
        const auto [width, height] = RandomSize(rng, round);
        const int mask = 3 + 2 * Uniform(rng, 0, 2);
        // Regions that reach past the image on any side, or stay inside it.
        const int X1 = Uniform(rng, -3, width), X2 = Uniform(rng, X1, width + 3);
        const int Y1 = Uniform(rng, -3, height), Y2 = Uniform(rng, Y1, height + 3);
        const GrayImage src = RandomImage(rng, width, height);
        const GrayImage before = RandomImage(rng, width, height);
        SetWorkerCount(round % 2 == 0 ? 1 : 3);
        for (const FilterPair& f : kFilters) {
            GrayImage fast = Copy(before, width, height), literal = Copy(before, width, height);
            f.fast(src, fast, mask, X1, Y1, X2, Y2, width, height);
            f.literal(src, literal, mask, X1, Y1, X2, Y2, width, height);
            ASSERT_EQ(FirstDifference(fast, literal, width, height), "")
                << f.name << " round " << round << " " << width << "x" << height << " mask "
                << mask << " region " << X1 << "," << Y1 << "," << X2 << "," << Y2;
        }
    }
}

TEST_P(AtVectorLevel, BrightnessEqualsTheLiteralMapping)
{
    std::mt19937 rng(4200);
    for (int round = 0; round < 40; ++round) {
        const auto [width, height] = RandomSize(rng, round);
        const int brightness = Uniform(rng, 0, 255), contrast = Uniform(rng, 1, 89);
        const float gamma = GammaFromPosition(Uniform(rng, 1, 100));
        const GrayImage src = RandomImage(rng, width, height);
        GrayImage fast = Filled(width, height, 7), literal = Filled(width, height, 7);
        SetWorkerCount(round % 2 == 0 ? 1 : 3);
        ApplyBrightnessTable(src, fast, brightness, contrast, gamma, width, height);
        ReferenceApplyBrightnessTable(src, literal, brightness, contrast, gamma, width, height);
        ASSERT_EQ(FirstDifference(fast, literal, width, height), "")
            << "round " << round << " " << brightness << "/" << contrast << "/" << gamma;
    }
}

using MorphologyFunction = void (*)(const GrayImage&, GrayImage&, const StructuringElement&, int,
                                    int, int, int, int, int, int);
struct MorphologyPair {
    const char* name;
    MorphologyFunction fast, literal;
};
constexpr MorphologyPair kOperators[] = {
    {"Dilate", Dilate, ReferenceDilate},
    {"Erode", Erode, ReferenceErode},
    {"Open", Open, ReferenceOpen},
    {"Close", Close, ReferenceClose},
    {"ProperOpen", ProperOpen, ReferenceProperOpen},
    {"ProperClose", ProperClose, ReferenceProperClose},
    {"AutoMedian", AutoMedian, ReferenceAutoMedian},
};

TEST_P(AtVectorLevel, MorphologyEqualsTheLiteralOperators)
{
    std::mt19937 rng(4300);
    for (int round = 0; round < 24; ++round) {
        const auto [width, height] = RandomSize(rng, round);
        StructuringElement element{};
        for (auto& column : element)
            for (auto& cell : column)
                cell = rng() % 3 != 0 ? 1 : 0;
        const int a = 3 + 2 * Uniform(rng, 0, 2);
        const int x0 = Uniform(rng, 0, width - 1), x1 = Uniform(rng, x0 + 1, width);
        const int y0 = Uniform(rng, 0, height - 1), y1 = Uniform(rng, y0 + 1, height);
        const int w = x1 - x0, h = y1 - y0;
        const GrayImage src = RandomImage(rng, width, height);
        SetWorkerCount(round % 2 == 0 ? 1 : 3);
        for (const MorphologyPair& op : kOperators) {
            GrayImage fast = Filled(w, h, 9), literal = Filled(w, h, 9);
            op.fast(src, fast, element, a, x0, y0, x1, y1, width, height);
            op.literal(src, literal, element, a, x0, y0, x1, y1, width, height);
            ASSERT_EQ(FirstDifference(fast, literal, w, h), "")
                << op.name << " round " << round << " " << width << "x" << height << " a " << a;
        }
        const int rounds = Uniform(rng, 1, 3);
        GrayImage fast = Copy(src, width, height), literal = Copy(src, width, height);
        DilateRounds(src, fast, element, a, rounds, width, height);
        ReferenceDilateRounds(src, literal, element, a, rounds, width, height);
        ASSERT_EQ(FirstDifference(fast, literal, width, height), "") << "DilateRounds " << round;
        ErodeRounds(src, fast, element, a, rounds, width, height);
        ReferenceErodeRounds(src, literal, element, a, rounds, width, height);
        ASSERT_EQ(FirstDifference(fast, literal, width, height), "") << "ErodeRounds " << round;
    }
}

TEST_P(AtVectorLevel, PatternSearchEqualsTheLiteralSearch)
{
    std::mt19937 rng(4400);
    SetMatchTrace(nullptr);
    for (int round = 0; round < 12; ++round) {
        // Zero-angle and turned searches; the larger scenes give columns of 16
        // and 32 placements side by side.
        const float angle = std::array{0.0f, 3.0f, 0.0f, 30.0f}[round % 4];
        const bool large = round % 3 == 2;
        const PatternScene s = RandomPatternScene(rng, large ? 70 : 30, large ? 110 : 80,
                                                  angle == 0.0f ? 5 : 8, large ? 40 : 20,
                                                  angle != 0.0f);
        GrayImage mine = Copy(s.image, s.width, s.height);
        GrayImage theirs = Copy(s.image, s.width, s.height);
        FloatImage results;
        SetWorkerCount(round % 2 == 0 ? 1 : 2);
        const int n =
            MatchPattern(mine, s.mark, results, 0, 0, s.tw, s.th, angle, s.width, s.height);
        const std::vector<ReferenceCandidate> expected =
            ReferenceMatchPattern(theirs, s.mark, s.tw, s.th, angle, s.width, s.height);
        ASSERT_EQ(n, static_cast<int>(expected.size())) << "round " << round;
        for (int i = 0; i < n; ++i) {
            const Candidate& c = CandidateTable()[static_cast<std::size_t>(i)];
            const ReferenceCandidate& e = expected[static_cast<std::size_t>(i)];
            ASSERT_TRUE(c.x == e.x && c.y == e.y && c.angle == e.angle && c.score == e.score)
                << "round " << round << " row " << i;
        }
        ASSERT_EQ(FirstDifference(mine, theirs, s.width, s.height), "") << "round " << round;
    }
}

TEST_P(AtVectorLevel, AutomaticThresholdEqualsTheLiteralOne)
{
    std::mt19937 rng(4500);
    for (int round = 0; round < 60; ++round) {
        // One column longer than a 32-bit lane's run of rows now and then.
        const auto [width, height] =
            round == 0 ? Size{2, 40000} : RandomSize(rng, round);
        const GrayImage src = RandomImage(rng, width, height);
        // The literal version needs the near corner inside; the far one may lie past.
        const int x0 = Uniform(rng, 0, width), x1 = Uniform(rng, x0, width + 2);
        const int y0 = Uniform(rng, 0, height), y1 = Uniform(rng, y0, height + 2);
        ASSERT_EQ(AutoThreshold(src, x0, y0, x1, y1, width, height),
                  ReferenceAutoThreshold(src, x0, y0, x1, y1, width, height))
            << "round " << round << " " << width << "x" << height;
    }
}

TEST_P(AtVectorLevel, DetectionEqualsTheLiteralOne)
{
    std::mt19937 rng(4600);
    for (int round = 0; round < 60; ++round) {
        const auto [width, height] = RandomSize(rng, round);
        GrayImage fast = RandomImage(rng, width, height);
        for (int x = 0; x < width; ++x)  // runs of a few levels, so objects span pixels
            for (int y = 0; y < height; ++y)
                fast[x][y] = static_cast<std::uint8_t>(fast[x][y] / 64 * 64);
        GrayImage literal = Copy(fast, width, height);
        // A closed region inside the image, as the window hands it over.
        const int X1 = Uniform(rng, 0, width - 1), X2 = Uniform(rng, X1, width - 1);
        const int Y1 = Uniform(rng, 0, height - 1), Y2 = Uniform(rng, Y1, height - 1);
        const int t = Uniform(rng, 0, 255), upper = Uniform(rng, t, 255);
        IntImage fastLabels = NewIntImage(2, height), literalLabels = NewIntImage(width, height);
        ObjectTable fastObjects, literalObjects;
        int fastCount = 0, literalCount = 0;
        if (round % 3 == 2) {
            fastCount = DetectBandObjects(fast, fastLabels, fastObjects, t, upper, X1, Y1, X2, Y2,
                                          width, height);
            literalCount = ReferenceDetectBandObjects(literal, literalLabels, literalObjects, t,
                                                      upper, X1, Y1, X2, Y2, width, height);
        } else {
            fastCount = DetectObjects(fast, fastLabels, fastObjects, round % 3, t, X1, Y1, X2,
                                      Y2, width, height);
            literalCount = ReferenceDetectObjects(literal, literalLabels, literalObjects,
                                                  round % 3, t, X1, Y1, X2, Y2, width, height);
        }
        ASSERT_EQ(fastCount, literalCount) << "round " << round;
        ASSERT_TRUE(fastObjects == literalObjects) << "round " << round;
        ASSERT_EQ(FirstDifference(fast, literal, width, height), "") << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, AtVectorLevel, ::testing::ValuesIn(kVectorLevels),
                         [](const auto& info) { return std::string(VectorLevelName(info.param)); });

}  // namespace
