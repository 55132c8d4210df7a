// tests/FilterTest.cpp
#include "Filter.h"
#include "FilterKernels.h"
#include "FilterReference.h"
#include "Parallel.h"
#include "TestImages.h"
#include "VectorLevel.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>
#include <vector>

namespace {

using FilterFunction = void (*)(const GrayImage&, GrayImage&, int, int, int, int, int, int, int);

struct FilterPair {
    const char* name;
    FilterFunction fast, literal;
};

void PrintTo(const FilterPair& filter, std::ostream* os) { *os << filter.name; }

const FilterPair kFilters[] = {
    {"Lowpass", LowpassFilter, ReferenceLowpassFilter},
    {"LocalAverage", LocalAverageFilter, ReferenceLocalAverageFilter},
    {"Median", MedianFilter, ReferenceMedianFilter},
    {"Gaussian", GaussianFilter, ReferenceGaussianFilter},
    {"Laplacian", LaplacianFilter, ReferenceLaplacianFilter},
    {"Prewitt", PrewittFilter, ReferencePrewittFilter},
    {"Sobel", SobelFilter, ReferenceSobelFilter},
    {"Roberts", RobertsFilter, ReferenceRobertsFilter},
};

struct Case {
    int width, height, mask, X1, Y1, X2, Y2;
    std::string Describe() const
    {
        return std::to_string(width) + "x" + std::to_string(height) + " mask " +
               std::to_string(mask) + " region (" + std::to_string(X1) + ", " +
               std::to_string(Y1) + ")-(" + std::to_string(X2) + ", " + std::to_string(Y2) + ")";
    }
};

int Uniform(std::mt19937& rng, int lo, int hi)  // lo .. hi inclusive
{
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

// Mostly small images (every border case within reach of a 7 x 7 window), some
// mid-sized, a few up to 300 x 200; one-pixel-wide and one-pixel-high included.
Case RandomCase(std::mt19937& rng, int round)
{
    Case c{};
    const int size = round % 10;
    if (size < 6) {
        c.width = Uniform(rng, 1, 12);
        c.height = Uniform(rng, 1, 12);
    } else if (size < 9) {
        c.width = Uniform(rng, 1, 80);
        c.height = Uniform(rng, 1, 80);
    } else {
        c.width = Uniform(rng, 100, 300);
        c.height = Uniform(rng, 60, 200);
    }
    const int masks[] = {3, 5, 7};
    c.mask = masks[round % 3];
    const int W = c.width, H = c.height;
    switch (round / 3 % 7) {
    case 0:  // the whole image
        c.X1 = 0, c.Y1 = 0, c.X2 = W, c.Y2 = H;
        break;
    case 1:  // empty: a zero-width or inverted region
        c.X1 = Uniform(rng, 0, W), c.Y1 = 0, c.X2 = c.X1 - Uniform(rng, 0, 2), c.Y2 = H;
        if (rng() % 2)
            std::swap(c.X1, c.Y1), std::swap(c.X2, c.Y2);
        break;
    case 2:  // one pixel
        c.X1 = Uniform(rng, 0, W - 1), c.Y1 = Uniform(rng, 0, H - 1);
        c.X2 = c.X1 + 1, c.Y2 = c.Y1 + 1;
        break;
    case 3: {  // touching one border, chosen at random
        c.X1 = Uniform(rng, 0, W - 1), c.Y1 = Uniform(rng, 0, H - 1);
        c.X2 = Uniform(rng, c.X1 + 1, W), c.Y2 = Uniform(rng, c.Y1 + 1, H);
        const int side = static_cast<int>(rng() % 4);
        if (side == 0)
            c.X1 = 0;
        else if (side == 1)
            c.X2 = W;
        else if (side == 2)
            c.Y1 = 0;
        else
            c.Y2 = H;
        break;
    }
    case 4:  // as the command passes it: the last column and row left out
        c.X1 = 0, c.Y1 = 0, c.X2 = W - 1, c.Y2 = H - 1;
        break;
    case 5:  // reaching outside the image
        c.X1 = -Uniform(rng, 0, 20), c.Y1 = -Uniform(rng, 0, 20);
        c.X2 = W + Uniform(rng, 0, 20), c.Y2 = H + Uniform(rng, 0, 20);
        break;
    default:  // anywhere inside
        c.X1 = Uniform(rng, 0, W - 1), c.Y1 = Uniform(rng, 0, H - 1);
        c.X2 = Uniform(rng, c.X1, W), c.Y2 = Uniform(rng, c.Y1, H);
        break;
    }
    return c;
}

// Sources with large flat areas and steps as well as noise, so that ties,
// saturation and the clamps all occur.
GrayImage RandomSource(std::mt19937& rng, int width, int height)
{
    GrayImage image = RandomImage(rng, width, height);
    const int style = static_cast<int>(rng() % 3);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y) {
            if (style == 1)
                image[x][y] = image[x][y] & 0x81 ? 255 : 0;  // black and white
            else if (style == 2)
                image[x][y] = static_cast<std::uint8_t>(image[x][y] % 4 * 60);  // four levels
        }
    return image;
}

// Runs every filter on seeded random cases and compares the whole destination
// with the literal version's (so pixels outside the region are checked too).
void CompareWithLiteral(const FilterPair& filter, unsigned seed, int rounds)
{
    std::mt19937 rng(seed);  // fixed seed: a failure reproduces
    for (int round = 0; round < rounds; ++round) {
        const Case c = RandomCase(rng, round);
        const GrayImage src = RandomSource(rng, c.width, c.height);
        GrayImage expected = RandomImage(rng, c.width, c.height);
        GrayImage actual = Copy(expected, c.width, c.height);
        filter.literal(src, expected, c.mask, c.X1, c.Y1, c.X2, c.Y2, c.width, c.height);
        SetWorkerCount(round % 2 == 0 ? 1 : 3);
        filter.fast(src, actual, c.mask, c.X1, c.Y1, c.X2, c.Y2, c.width, c.height);
        ASSERT_EQ(FirstDifference(actual, expected, c.width, c.height), "")
            << filter.name << " round " << round << ": " << c.Describe();
    }
    SetWorkerCount(0);
}

class FilterMatchesLiteral : public ::testing::TestWithParam<FilterPair> {};

TEST_P(FilterMatchesLiteral, OnRandomImagesAndRegions)
{
    CompareWithLiteral(GetParam(), 2024, 240);
}

TEST_P(FilterMatchesLiteral, OnRandomImagesAndRegionsWithTheBaselineKernels)
{
    const ScopedVectorLimit limit(VectorLevel::Baseline);
    CompareWithLiteral(GetParam(), 7, 240);
}

INSTANTIATE_TEST_SUITE_P(AllFilters, FilterMatchesLiteral, ::testing::ValuesIn(kFilters),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Filters, GiveTheSameImageWithOneAndWithSeveralWorkers)
{
    std::mt19937 rng(99);
    const int width = 517, height = 301;
    const GrayImage src = RandomSource(rng, width, height);
    for (const FilterPair& filter : kFilters)
        for (int mask : {3, 7}) {
            GrayImage one = Filled(width, height, 0), several = Filled(width, height, 0);
            SetWorkerCount(1);
            filter.fast(src, one, mask, 0, 0, width, height, width, height);
            SetWorkerCount(4);
            filter.fast(src, several, mask, 0, 0, width, height, width, height);
            EXPECT_EQ(FirstDifference(one, several, width, height), "") << filter.name << mask;
        }
    SetWorkerCount(0);
}

TEST(Filters, CutAnyRegionToTheImage)
{
    std::mt19937 rng(12);
    const int width = 23, height = 17;
    const GrayImage src = RandomSource(rng, width, height);
    for (const FilterPair& filter : kFilters) {
        GrayImage whole = Filled(width, height, 0), huge = Filled(width, height, 0);
        filter.literal(src, whole, 5, 0, 0, width, height, width, height);
        filter.fast(src, huge, 5, INT_MIN, INT_MIN, INT_MAX, INT_MAX, width, height);
        EXPECT_EQ(FirstDifference(huge, whole, width, height), "") << filter.name;
        GrayImage outside = Filled(width, height, 3);
        filter.fast(src, outside, 5, width, -40, width + 40, height + 40, width, height);
        filter.fast(src, outside, 5, INT_MAX, INT_MAX, INT_MIN, INT_MIN, width, height);
        EXPECT_TRUE(SameImage(outside, Filled(width, height, 3), width, height)) << filter.name;
    }
}

TEST(Filters, AMaskOtherThanThreeFiveOrSevenWritesNothing)
{
    const GrayImage src = FromRows({{10, 200, 30}, {40, 50, 60}, {70, 80, 255}});
    for (const FilterPair& filter : kFilters) {
        if (std::string(filter.name) == "Prewitt" || std::string(filter.name) == "Sobel" ||
            std::string(filter.name) == "Roberts")
            continue;
        for (int mask : {-1, 0, 1, 4, 9}) {
            GrayImage dst = Filled(3, 3, 9);
            filter.fast(src, dst, mask, 0, 0, 3, 3, 3, 3);
            EXPECT_TRUE(SameImage(dst, Filled(3, 3, 9), 3, 3)) << filter.name << " mask " << mask;
        }
    }
}

TEST(DivisionMagic, DividesEveryWindowSumExactly)
{
    for (int d = 2; d <= 140; ++d) {
        const DivisionMagic magic = MagicFor(d, 255 * d);
        ASSERT_TRUE(magic.valid) << d;
        for (std::uint32_t n = 0; n <= 255u * static_cast<std::uint32_t>(d); ++n)
            ASSERT_EQ((n * magic.multiplier) >> 16 >> magic.shift,
                      n / static_cast<std::uint32_t>(d))
                << n << " / " << d;
    }
}

// ---- Worked examples --------------------------------------------------------

TEST(LowpassFilter, ShrinksTheWindowAtTheCorner)
{
    const GrayImage src = FromRows({{40, 80, 0}, {120, 200, 0}, {0, 0, 0}});
    GrayImage dst = Filled(3, 3, 9);
    LowpassFilter(src, dst, 3, 0, 0, 1, 1, 3, 3);
    EXPECT_EQ(dst[0][0], 110);  // four pixels exist: 440 / 4 (zero padding would give 48)
    EXPECT_EQ(dst[1][0], 9);    // outside the region: untouched
    EXPECT_EQ(dst[0][1], 9);
}

TEST(LowpassFilter, RoundsDown)
{
    // 90 + 8 · 10 = 170; 170 / 9 = 18.9 gives 18. Local Average leaves the centre
    // out: 80 / 8 = 10.
    const GrayImage src = FromRows({{10, 10, 10}, {10, 90, 10}, {10, 10, 10}});
    GrayImage dst = Filled(3, 3, 0);
    LowpassFilter(src, dst, 3, 1, 1, 2, 2, 3, 3);
    EXPECT_EQ(dst[1][1], 18);
    LocalAverageFilter(src, dst, 3, 1, 1, 2, 2, 3, 3);
    EXPECT_EQ(dst[1][1], 10);
}

TEST(LocalAverageFilter, KeepsThePixelOfAOnePixelImage)
{
    // The window of a 1 x 1 image holds no neighbour to average.
    const GrayImage src = Filled(1, 1, 77);
    GrayImage dst = Filled(1, 1, 0);
    LocalAverageFilter(src, dst, 3, 0, 0, 1, 1, 1, 1);
    EXPECT_EQ(dst[0][0], 77);
    // 1 x 2: each pixel has one neighbour.
    const GrayImage pair = FromRows({{20}, {60}});
    GrayImage out = Filled(1, 2, 0);
    LocalAverageFilter(pair, out, 5, 0, 0, 1, 2, 1, 2);
    EXPECT_EQ(ToRows(out, 1, 2), (std::vector<std::vector<int>>{{60}, {20}}));
}

TEST(Filters, LeaveTheLastColumnAndRowOfTheRegionAlone)
{
    std::mt19937 rng(5);
    const GrayImage src = RandomImage(rng, 120, 110);
    for (const FilterPair& filter : kFilters) {
        GrayImage dst = Filled(120, 110, 1);
        filter.fast(src, dst, 5, 0, 0, 100, 100, 120, 110);
        for (int i = 0; i <= 100; ++i) {
            ASSERT_EQ(dst[100][i], 1) << filter.name << " column 100, row " << i;
            ASSERT_EQ(dst[i][100], 1) << filter.name << " row 100, column " << i;
        }
    }
}

TEST(Filters, AWholeImageRegionEndingOnTheLastPixelLeavesTheLastColumnAndRow)
{
    // The region the command reads for the whole picture is (0, 0) to (W - 1, H - 1).
    // On a flat image every filter would write something other than the mark there
    // (the Laplacian even 255 on the border), so a written edge would show.
    const int width = 31, height = 26;
    const GrayImage src = Filled(width, height, 100);
    for (const FilterPair& filter : kFilters) {
        GrayImage dst = Filled(width, height, 1);
        filter.fast(src, dst, 3, 0, 0, width - 1, height - 1, width, height);
        for (int y = 0; y < height; ++y)
            ASSERT_EQ(dst[width - 1][y], 1) << filter.name << " last column, row " << y;
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(dst[x][height - 1], 1) << filter.name << " last row, column " << x;
        EXPECT_NE(dst[width - 2][height - 2], 1) << filter.name;
        EXPECT_NE(dst[0][0], 1) << filter.name;
    }
}

TEST(Filters, OnAFlatImageGiveTheFlatValueOrNoGradient)
{
    const int width = 40, height = 37;
    const GrayImage src = Filled(width, height, 100);
    for (int mask : {3, 5, 7}) {
        for (FilterFunction f : {LowpassFilter, LocalAverageFilter, MedianFilter, GaussianFilter}) {
            GrayImage dst = Filled(width, height, 0);
            f(src, dst, mask, 0, 0, width, height, width, height);
            EXPECT_TRUE(SameImage(dst, src, width, height)) << "mask " << mask;
        }
        GrayImage lap = Filled(width, height, 7);
        LaplacianFilter(src, lap, mask, 0, 0, width, height, width, height);
        const int h = (mask - 1) / 2;
        EXPECT_EQ(lap[h][h], 0);
        EXPECT_EQ(lap[width / 2][height / 2], 0);
        // Corner: (h + 1)² pixels, the centre weighted mask² − 1: 100 · (mask² − (h + 1)²) > 255.
        EXPECT_EQ(lap[0][0], 255);
        EXPECT_EQ(lap[width - 1][height / 2], 255);
    }
    for (FilterFunction f : {PrewittFilter, SobelFilter, RobertsFilter}) {
        GrayImage dst = Filled(width, height, 7);
        f(src, dst, 3, 0, 0, width, height, width, height);
        EXPECT_TRUE(SameImage(dst, Filled(width, height, 0), width, height));
    }
}

TEST(LaplacianFilter, CountsOnlyTheNeighboursThatExistAtTheBorder)
{
    // Top edge, 3 x 3: five neighbours of 10 and a centre of 10: 8 · 10 − 50 = 30.
    const GrayImage src = Filled(5, 4, 10);
    GrayImage dst = Filled(5, 4, 0);
    LaplacianFilter(src, dst, 3, 0, 0, 5, 4, 5, 4);
    EXPECT_EQ(dst[2][0], 30);
    EXPECT_EQ(dst[0][0], 50);  // corner: three neighbours, 80 − 30
    EXPECT_EQ(dst[2][2], 0);
}

TEST(MedianFilter, PicksTheUpperMiddleValueOfAnEvenWindow)
{
    // At the corner the 3 x 3 window holds 4 pixels; index 4 / 2 of 10 20 30 40 is 30.
    const GrayImage src = FromRows({{40, 10, 90, 90},
                                    {30, 20, 90, 90},
                                    {90, 90, 90, 90}});
    GrayImage dst = Filled(4, 3, 0);
    MedianFilter(src, dst, 3, 0, 0, 1, 1, 4, 3);
    EXPECT_EQ(dst[0][0], 30);
    // On the top edge 6 pixels: 10 20 30 40 90 90, index 3 gives 40.
    MedianFilter(src, dst, 3, 1, 0, 2, 1, 4, 3);
    EXPECT_EQ(dst[1][0], 40);
}

TEST(GaussianFilter, DividesByTheWeightsThatRemainAtTheBorder)
{
    // Corner of 3 x 3: weights 4 2 2 1 remain, w = 9;
    // s = 4·90 + 2·9 + 2·9 + 1·9 = 405, and 405 / 9 = 45.
    const GrayImage src = FromRows({{90, 9, 0}, {9, 9, 0}, {0, 0, 0}});
    GrayImage dst = Filled(3, 3, 0);
    GaussianFilter(src, dst, 3, 0, 0, 1, 1, 3, 3);
    EXPECT_EQ(dst[0][0], 45);
    // Centre: 4·9 + 2·(9 + 9 + 0 + 0) + 90 + 0 + 0 + 0 = 162; 162 / 16 = 10.
    GaussianFilter(src, dst, 3, 1, 1, 2, 2, 3, 3);
    EXPECT_EQ(dst[1][1], 10);
}

TEST(SobelFilter, GivesTheStepItsFullHeight)
{
    // Left column 0, right column 255: gx = 1020 / 4 = 255, gy = 0.
    const GrayImage src = FromRows({{0, 0, 255}, {0, 0, 255}, {0, 0, 255}});
    GrayImage dst = Filled(3, 3, 9);
    SobelFilter(src, dst, 3, 0, 0, 3, 3, 3, 3);
    EXPECT_EQ(dst[1][1], 255);
    EXPECT_EQ(dst[0][1], 0);  // the outer frame gives 0
    EXPECT_EQ(dst[1][0], 0);
    EXPECT_EQ(dst[2][2], 0);
}

TEST(SobelFilter, LimitsTheMagnitudeTo255)
{
    // s[x+1][y−1], s[x+1][y], s[x+1][y+1] and s[x][y+1] at 255: gx = 255,
    // gy = 510 / 4 = 127, magnitude 284, limited to 255. Prewitt of the same
    // window is its largest possible: gx = 765 / 4 = 191, gy = 255 / 4 = 63,
    // sqrt(40450) = 201.1.
    const GrayImage src = FromRows({{0, 0, 255}, {0, 0, 255}, {0, 255, 255}});
    GrayImage dst = Filled(3, 3, 0);
    SobelFilter(src, dst, 3, 1, 1, 2, 2, 3, 3);
    EXPECT_EQ(dst[1][1], 255);
    PrewittFilter(src, dst, 3, 1, 1, 2, 2, 3, 3);
    EXPECT_EQ(dst[1][1], 201);
}

TEST(PrewittFilter, TruncatesEachDifferenceTowardZero)
{
    // gx = gy = −7 / 4 = −1: sqrt(2) gives 1 (a floor, −2 each, would give 2).
    const GrayImage src = FromRows({{7, 0, 0}, {0, 0, 0}, {0, 0, 0}});
    GrayImage dst = Filled(3, 3, 9);
    PrewittFilter(src, dst, 3, 1, 1, 2, 2, 3, 3);
    EXPECT_EQ(dst[1][1], 1);
}

TEST(PrewittFilter, GivesZeroInTheFirstColumnWhateverTheStep)
{
    // Column 0 lies on the image's outer frame: no gradient there, even beside a
    // step that gives the full 191 one column further in.
    const GrayImage src = FromRows({{0, 255, 255}, {0, 255, 255}, {0, 255, 255}});
    GrayImage dst = Filled(3, 3, 9);
    PrewittFilter(src, dst, 3, 0, 0, 2, 3, 3, 3);
    EXPECT_EQ(dst[0][1], 0);
    EXPECT_EQ(dst[1][1], 191);  // gx = 765 / 4
    EXPECT_EQ(dst[2][1], 9);    // column X2 is not written
}

TEST(RobertsFilter, UsesTheDiagonalsAndGivesZeroOnTheLastRowAndColumn)
{
    // d1 = (200 − 0) / 2 = 100, d2 = (0 − 51) / 2 = −25: sqrt(10625) = 103.
    const GrayImage src = FromRows({{200, 0, 5}, {51, 0, 5}, {5, 5, 5}});
    GrayImage dst = Filled(3, 3, 9);
    RobertsFilter(src, dst, 3, 0, 0, 3, 3, 3, 3);
    EXPECT_EQ(dst[0][0], 103);
    EXPECT_EQ(dst[2][0], 0);
    EXPECT_EQ(dst[0][2], 0);
    EXPECT_EQ(dst[2][2], 0);
}

}  // namespace
