// tests/ThresholdTest.cpp
#include "TestImages.h"
#include "Threshold.h"
#include "ThresholdReference.h"
#include "VectorLevel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <utility>

namespace {

// Height of the bar of each level, read back from the histogram picture.
int BarHeight(const GrayImage& hist, int level)
{
    int h = 0;
    while (h < 64 && hist[level][63 - h] == 255)
        ++h;
    return h;
}

}  // namespace

TEST(HistogramImage, AUniformImageGivesOneFullBar)
{
    const GrayImage src = Filled(7, 5, 77);
    GrayImage hist = Filled(256, 64, 9);
    HistogramImage(src, hist, 0, 0, 7, 5);
    for (int level = 0; level < 256; ++level)
        ASSERT_EQ(BarHeight(hist, level), level == 77 ? 64 : 0) << level;
    EXPECT_EQ(hist[76][63], 0);  // the ground is black
}

TEST(HistogramImage, ABarBelowOneRowIsDropped)
{
    // Level 10 on 100 000 pixels, level 20 on 1 000: 1000 · 64 / 100000 = 0.64 rows.
    GrayImage src = Filled(1010, 100, 10);
    for (int x = 1000; x < 1010; ++x)
        for (int y = 0; y < 100; ++y)
            src[x][y] = 20;
    GrayImage hist = NewGrayImage(256, 64);
    HistogramImage(src, hist, 0, 0, 1010, 100);
    EXPECT_EQ(BarHeight(hist, 10), 64);
    EXPECT_EQ(BarHeight(hist, 20), 0);
    HistogramImage(src, hist, 0, 0, 0, 0);  // an empty rectangle draws nothing
    EXPECT_EQ(BarHeight(hist, 10), 0);
}

TEST(ThresholdImage, DarkAndBrightModesAndTheirExtremes)
{
    const GrayImage src = FromRows({{0, 1, 128, 254, 255}});
    GrayImage dst = Filled(5, 1, 9);
    ThresholdImage(src, dst, 0, 0, 0, 0, 5, 1);
    EXPECT_EQ(ToRows(dst, 5, 1), (std::vector<std::vector<int>>{{255, 0, 0, 0, 0}}));
    ThresholdImage(src, dst, 1, 0, 0, 0, 5, 1);
    EXPECT_EQ(ToRows(dst, 5, 1), (std::vector<std::vector<int>>{{255, 255, 255, 255, 255}}));
    ThresholdImage(src, dst, 1, 255, 0, 0, 5, 1);
    EXPECT_EQ(ToRows(dst, 5, 1), (std::vector<std::vector<int>>{{0, 0, 0, 0, 255}}));
    GrayImage untouched = Filled(5, 1, 9);
    ThresholdImage(src, untouched, 2, 100, 0, 0, 5, 1);
    ThresholdImage(src, untouched, -1, 100, 0, 0, 5, 1);
    EXPECT_EQ(ToRows(untouched, 5, 1), (std::vector<std::vector<int>>{{9, 9, 9, 9, 9}}));
}

TEST(ThresholdBand, TheBandIsBlackAndAnEmptyBandAllWhite)
{
    const GrayImage src = FromRows({{127, 128, 129}});
    GrayImage dst = NewGrayImage(3, 1);
    ThresholdBand(src, dst, 128, 128, 0, 0, 3, 1);
    EXPECT_EQ(ToRows(dst, 3, 1), (std::vector<std::vector<int>>{{255, 0, 255}}));
    ThresholdBand(src, dst, 129, 127, 0, 0, 3, 1);
    EXPECT_EQ(ToRows(dst, 3, 1), (std::vector<std::vector<int>>{{255, 255, 255}}));
}

TEST(AutoThreshold, TheEdgeWeightGoesToTheLeftOrUpperPixel)
{
    EXPECT_EQ(AutoThreshold(FromRows({{0, 0, 200, 200}, {0, 0, 200, 200}}), 0, 0, 4, 2, 4, 2), 0);
    EXPECT_EQ(AutoThreshold(FromRows({{200, 200, 0, 0}, {200, 200, 0, 0}}), 0, 0, 4, 2, 4, 2), 200);
}

TEST(AutoThreshold, IsWhiteWithoutAnyGradient)
{
    EXPECT_EQ(AutoThreshold(Filled(6, 6, 40), 0, 0, 6, 6, 6, 6), 255);
    EXPECT_EQ(AutoThreshold(FromRows({{0, 255, 0, 255}}), 0, 0, 4, 1, 4, 1), 255);  // one row
    EXPECT_EQ(AutoThreshold(FromRows({{0}, {255}, {0}}), 0, 0, 1, 3, 1, 3), 255);   // one column
    EXPECT_EQ(AutoThreshold(Filled(6, 6, 40), 2, 2, 2, 2, 6, 6), 255);              // empty
}

// Rectangles the fuzzer passed: one starting left of or above the image read
// column -1. Any rectangle is cut to the image.
TEST(AutoThreshold, CutsAnyRectangleToTheImage)
{
    const GrayImage src = FromRows({{0, 0, 200, 200}, {0, 0, 200, 200}, {9, 9, 9, 9}});
    // Weighted pixels x 0..2, y 0..1: (1, 0) 200 at 0, (0, 1) 9 at 0, (1, 1)
    // 200 + 9 at 0, (2, 1) 191 at 200: 38200 / 609 = 62.
    const int whole = AutoThreshold(src, 0, 0, 4, 3, 4, 3);
    EXPECT_EQ(whole, 62);
    struct Case {
        int x0, y0, x1, y1, expected;
    };
    for (const Case& c : {Case{-5, -5, 4, 3, whole}, Case{INT_MIN, INT_MIN, INT_MAX, INT_MAX, whole},
                          Case{-1, 0, 1, 3, 0}, Case{4, 0, INT_MAX, 3, 255},
                          Case{INT_MIN, 0, -1, 3, 255}, Case{0, INT_MIN, 4, 0, 255}})
        EXPECT_EQ(AutoThreshold(src, c.x0, c.y0, c.x1, c.y1, 4, 3), c.expected)
            << c.x0 << ", " << c.y0 << " to " << c.x1 << ", " << c.y1;
}

TEST(AutoThreshold, SumsDoNotOverflowOnALargeTexturedImage)
{
    // A checkerboard of 0 and 255, 3000 x 3000: every weight is 510 and S far passes 2^31.
    GrayImage src = NewGrayImage(3000, 3000);
    for (int x = 0; x < 3000; ++x)
        for (int y = 0; y < 3000; ++y)
            src[x][y] = (x + y) % 2 ? 255 : 0;
    // Half of the weighted pixels are 255: the mean is 127 (127.5 truncated).
    EXPECT_EQ(AutoThreshold(src, 0, 0, 3000, 3000, 3000, 3000), 127);
}

TEST(CountAtOrAbove, CountsTheRectangleOnly)
{
    const GrayImage src = FromRows({{10, 20, 30}, {40, 50, 60}});
    EXPECT_EQ(CountAtOrAbove(src, 30, 0, 0, 3, 2), 4);
    EXPECT_EQ(CountAtOrAbove(src, 30, 0, 0, 2, 2), 2);
    EXPECT_EQ(CountAtOrAbove(src, 0, 1, 1, 1, 2), 0);
}

// ---- The fast versions against the literal ones ---------------------------

namespace {

// A rectangle inside the image, sometimes empty, sometimes whole columns (the
// case where neighbouring columns are walked as one span).
struct Rect {
    int x0, y0, x1, y1;
};
Rect RandomRect(std::mt19937& rng, int width, int height)
{
    if (rng() % 3 == 0)
        return {0, 0, width, height};
    int x0 = static_cast<int>(rng() % static_cast<unsigned>(width + 1));
    int x1 = static_cast<int>(rng() % static_cast<unsigned>(width + 1));
    int y0 = static_cast<int>(rng() % static_cast<unsigned>(height + 1));
    int y1 = static_cast<int>(rng() % static_cast<unsigned>(height + 1));
    if (rng() % 4 == 0) {
        y0 = 0;
        y1 = height;
    }
    return {std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)};
}

// Few distinct levels or all of them: thresholds then fall on, and next to, pixel values.
GrayImage RandomScene(std::mt19937& rng, int width, int height)
{
    GrayImage image = RandomImage(rng, width, height);
    if (rng() % 2 == 0)
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                image[x][y] = static_cast<std::uint8_t>((image[x][y] % 5) * 60);
    return image;
}

int RandomThreshold(std::mt19937& rng)
{
    constexpr int kEdges[] = {-300, -1, 0, 1, 59, 60, 61, 120, 254, 255, 256, 1000};
    return rng() % 2 ? kEdges[rng() % std::size(kEdges)] : static_cast<int>(rng() % 256);
}

}  // namespace

TEST(ThresholdKernels, MatchTheLiteralVersionsOnRandomImages)
{
    std::mt19937 rng(4242);
    for (int round = 0; round < 400; ++round) {
        const int width = 1 + static_cast<int>(rng() % 40), height = 1 + static_cast<int>(rng() % 40);
        const GrayImage src = RandomScene(rng, width, height);
        const Rect r = RandomRect(rng, width, height);
        const int t = RandomThreshold(rng), upper = RandomThreshold(rng);
        const int mode = static_cast<int>(rng() % 4) - 1;
        SCOPED_TRACE(::testing::Message() << "round " << round << " " << width << "x" << height
                                          << " rect " << r.x0 << "," << r.y0 << "," << r.x1
                                          << "," << r.y1 << " t " << t << " upper " << upper);

        GrayImage fast = Filled(width, height, 7), literal = Filled(width, height, 7);
        ThresholdImage(src, fast, mode, t, r.x0, r.y0, r.x1, r.y1);
        ReferenceThresholdImage(src, literal, mode, t, r.x0, r.y0, r.x1, r.y1);
        ASSERT_EQ(FirstDifference(fast, literal, width, height), "") << "mode " << mode;

        ThresholdBand(src, fast, t, upper, r.x0, r.y0, r.x1, r.y1);
        ReferenceThresholdBand(src, literal, t, upper, r.x0, r.y0, r.x1, r.y1);
        ASSERT_EQ(FirstDifference(fast, literal, width, height), "") << "band";

        GrayImage histFast = Filled(256, 64, 3), histLiteral = Filled(256, 64, 3);
        HistogramImage(src, histFast, r.x0, r.y0, r.x1, r.y1);
        ReferenceHistogramImage(src, histLiteral, r.x0, r.y0, r.x1, r.y1);
        ASSERT_EQ(FirstDifference(histFast, histLiteral, 256, 64), "") << "histogram";

        ASSERT_EQ(AutoThreshold(src, r.x0, r.y0, r.x1, r.y1, width, height),
                  ReferenceAutoThreshold(src, r.x0, r.y0, r.x1, r.y1, width, height));
        ASSERT_EQ(CountAtOrAbove(src, t, r.x0, r.y0, r.x1, r.y1),
                  ReferenceCountAtOrAbove(src, t, r.x0, r.y0, r.x1, r.y1));
    }
}

TEST(ThresholdKernels, MatchTheLiteralVersionsOnTallAndWideImages)
{
    // Columns longer than one sum chunk of the automatic threshold, and one-row
    // pictures where every column joins the span of its neighbour.
    std::mt19937 rng(99);
    for (const auto& [width, height] :
         {std::pair{3, 40000}, std::pair{70000, 1}, std::pair{2, 16385}}) {
        const GrayImage src = RandomScene(rng, width, height);
        EXPECT_EQ(AutoThreshold(src, 0, 0, width, height, width, height),
                  ReferenceAutoThreshold(src, 0, 0, width, height, width, height));
        EXPECT_EQ(CountAtOrAbove(src, 128, 0, 0, width, height),
                  ReferenceCountAtOrAbove(src, 128, 0, 0, width, height));
        GrayImage fast = NewGrayImage(width, height), literal = NewGrayImage(width, height);
        ThresholdImage(src, fast, 1, 120, 0, 0, width, height);
        ReferenceThresholdImage(src, literal, 1, 120, 0, 0, width, height);
        EXPECT_TRUE(SameImage(fast, literal, width, height));
        GrayImage histFast = NewGrayImage(256, 64), histLiteral = NewGrayImage(256, 64);
        HistogramImage(src, histFast, 0, 0, width, height);
        ReferenceHistogramImage(src, histLiteral, 0, 0, width, height);
        EXPECT_TRUE(SameImage(histFast, histLiteral, 256, 64));
    }
}

TEST(ThresholdKernels, AnEmptyRectangleNeverReadsTheImage)
{
    // Before any picture is loaded the workspace images are none and the size is 0 x 0.
    const GrayImage none;
    GrayImage out;
    ThresholdImage(none, out, 0, 10, 0, 0, 0, 0);
    ThresholdBand(none, out, 10, 20, 0, 0, 0, 0);
    EXPECT_EQ(AutoThreshold(none, 0, 0, 0, 0, 0, 0), 255);
    EXPECT_EQ(CountAtOrAbove(none, 0, 0, 0, 0, 0), 0);
    GrayImage hist = Filled(256, 64, 9);
    HistogramImage(none, hist, 0, 0, 0, 0);
    EXPECT_EQ(BarHeight(hist, 0), 0);
    EXPECT_EQ(hist[0][0], 0);
}

TEST(ThresholdImage, EveryVectorLevelGivesTheLiteralResult)
{
    // Column lengths around the 16- and 64-byte steps, whole columns joined into
    // one span or a window of rows; thresholds at the ends of the byte range.
    std::mt19937 rng(31337);
    for (const VectorLevel level : kVectorLevels) {
        const ScopedVectorLimit limit(level);
        for (int round = 0; round < 120; ++round) {
            const int width = 1 + static_cast<int>(rng() % 5);
            const int height = 1 + static_cast<int>(rng() % 200);
            const GrayImage src = RandomScene(rng, width, height);
            const Rect r = RandomRect(rng, width, height);
            const int mode = static_cast<int>(rng() % 2), t = RandomThreshold(rng);
            GrayImage fast = Filled(width, height, 7), literal = Filled(width, height, 7);
            ThresholdImage(src, fast, mode, t, r.x0, r.y0, r.x1, r.y1);
            ReferenceThresholdImage(src, literal, mode, t, r.x0, r.y0, r.x1, r.y1);
            ASSERT_EQ(FirstDifference(fast, literal, width, height), "")
                << VectorLevelName(level) << " round " << round << " mode " << mode << " t " << t;
        }
    }
}
