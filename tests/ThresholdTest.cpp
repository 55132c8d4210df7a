// tests/ThresholdTest.cpp
#include "TestImages.h"
#include "Threshold.h"

#include <gtest/gtest.h>

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
