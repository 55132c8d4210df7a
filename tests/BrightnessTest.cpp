// tests/BrightnessTest.cpp
#include "Brightness.h"
#include "BrightnessReference.h"
#include "Parallel.h"
#include "TestImages.h"
#include "VectorLevel.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

namespace {

BrightnessTable Table(int brightness, int contrast, float gamma)
{
    BrightnessTable table;
    BuildBrightnessTable(table, brightness, contrast, gamma);
    return table;
}

}  // namespace

TEST(BuildBrightnessTable, FormsTheGammaArgumentInExtendedPrecision)
{
    // Brightness 0 puts the line at c = i − 127, so input 193 gives c = 66 exactly.
    // 66 · (1/255) in double is 0.258823529411764(67), and times 255 that is
    // 65.99999999999999: the double constant would give 65.
    const BrightnessTable table = Table(0, 45, 1.0f);
    EXPECT_EQ(table[193], 66);
    EXPECT_EQ(table[201], 74);
    EXPECT_EQ(table[209], 82);
    EXPECT_EQ(static_cast<int>(std::pow(66.0f * (1.0 / 255), 1.0) * 255), 65);  // the trap
}

TEST(BuildBrightnessTable, MovesTheLineWithBrightness)
{
    const BrightnessTable dark = Table(0, 45, 1.0f);  // c = i − 127
    for (int i = 0; i <= 127; ++i)
        EXPECT_EQ(dark[static_cast<std::size_t>(i)], 0) << i;
    EXPECT_EQ(dark[128], 1);
    EXPECT_EQ(dark[255], 128);
    const BrightnessTable bright = Table(255, 45, 1.0f);  // c = i + 128
    for (int i = 128; i <= 255; ++i)
        EXPECT_EQ(bright[static_cast<std::size_t>(i)], 255) << i;
    EXPECT_EQ(bright[0], 128);
    EXPECT_EQ(bright[126], 254);
    // The start-up settings put the line one level above the diagonal.
    const BrightnessTable start = Table(128, 45, 1.0f);
    EXPECT_EQ(start[0], 1);
    EXPECT_EQ(start[127], 128);
    EXPECT_EQ(start[254], 255);
    EXPECT_EQ(start[255], 255);
}

TEST(BuildBrightnessTable, ASteepLineIsANearThreshold)
{
    // Brightness 127, contrast 89 (slope about 57) and gamma 1.
    const BrightnessTable table = Table(127, 89, 1.0f);
    for (int i = 0; i <= 125; ++i)
        EXPECT_EQ(table[static_cast<std::size_t>(i)], 0) << i;
    EXPECT_EQ(table[126], 41);
    EXPECT_EQ(table[127], 98);
    EXPECT_EQ(table[128], 156);
    EXPECT_EQ(table[129], 213);
    for (int i = 130; i <= 255; ++i)
        EXPECT_EQ(table[static_cast<std::size_t>(i)], 255) << i;
}

TEST(BuildBrightnessTable, AFlatLineStaysNearTheBrightness)
{
    for (int brightness : {0, 100, 255}) {
        const BrightnessTable table = Table(brightness, 1, 1.0f);
        for (int i = 0; i < 256; ++i)
            EXPECT_NEAR(table[static_cast<std::size_t>(i)], brightness + 0.5, 2.6)
                << brightness << " at " << i;
    }
}

TEST(BuildBrightnessTable, GammaBendsOnlyTheMiddleAndKeepsTheEnds)
{
    const BrightnessTable darker = Table(127, 45, 2.0f);
    const BrightnessTable lighter = Table(127, 45, 0.5f);
    const BrightnessTable straight = Table(127, 45, 1.0f);
    for (int i = 1; i < 255; ++i) {
        const auto k = static_cast<std::size_t>(i);
        EXPECT_LE(darker[k], straight[k]) << i;
        EXPECT_GE(lighter[k], straight[k]) << i;
    }
    for (float gamma : {0.1f, 0.5f, 2.0f, 10.0f}) {
        const BrightnessTable table = Table(127, 45, gamma);
        EXPECT_EQ(table[0], 0) << gamma;  // maps linearly to 0
        EXPECT_EQ(table[255], 255) << gamma;
    }
}

TEST(BuildBrightnessTable, KeepsAGammaOutsideThePanelsRangeInsideTheGrayLevels)
{
    // The panel offers 0.1 .. 10 only; other values must still give gray levels,
    // not an out-of-range conversion. Input 100 lies on the line at c = 101.
    EXPECT_EQ(Table(128, 45, 0.0f)[100], 255);    // x^0 = 1
    EXPECT_EQ(Table(128, 45, -1.0f)[100], 255);   // 255 / 101 · 255, limited
    EXPECT_EQ(Table(128, 45, INFINITY)[100], 0);  // x^inf = 0 below 1
    EXPECT_EQ(Table(128, 45, NAN)[100], 0);
    EXPECT_EQ(Table(128, 45, NAN)[0], 0);
}

// Settings no scroll bar gives, as the fuzzer passed them: brightness − 127
// overflowed an int at the bottom of its range.
TEST(BuildBrightnessTable, TakesAnyIntegerBrightnessAndContrast)
{
    struct Case {
        int brightness, contrast;
        int everyEntry;  // the line lies far below or far above 0 .. 255
    };
    for (const Case& c : {Case{INT_MIN, 45, 0}, Case{INT_MIN + 126, 45, 0}, Case{INT_MAX, 45, 255},
                          Case{-100000, 89, 0}, Case{100000, 1, 255}}) {
        const BrightnessTable table = Table(c.brightness, c.contrast, 1.0f);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(table[static_cast<std::size_t>(i)], c.everyEntry)
                << c.brightness << " " << c.contrast << " at " << i;
    }
    for (int contrast : {INT_MIN, -45, 0, 90, 180, INT_MAX})  // any angle, any slope: a table
        Table(128, contrast, 1.0f);
}

TEST(BuildBrightnessTable, MatchesTheLiteralStepsForEverySetting)
{
    std::mt19937 rng(31);
    for (int round = 0; round < 400; ++round) {
        const int brightness = static_cast<int>(rng() % 256);
        const int contrast = 1 + static_cast<int>(rng() % 89);
        const float gamma = GammaFromPosition(1 + static_cast<int>(rng() % 100));
        std::uint8_t expected[256];
        ReferenceBuildBrightnessTable(expected, brightness, contrast, gamma);
        const BrightnessTable table = Table(brightness, contrast, gamma);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(table[static_cast<std::size_t>(i)], expected[i])
                << brightness << ", " << contrast << ", " << gamma << " at " << i;
    }
}

TEST(ApplyBrightnessTable, MapsEveryPixelLikeTheLiteralVersion)
{
    std::mt19937 rng(8);
    for (int round = 0; round < 200; ++round) {
        const int width = 1 + static_cast<int>(rng() % (round % 10 == 0 ? 300 : 70));
        const int height = 1 + static_cast<int>(rng() % (round % 10 == 0 ? 200 : 140));
        const int brightness = static_cast<int>(rng() % 256);
        const int contrast = 1 + static_cast<int>(rng() % 89);
        const float gamma = GammaFromPosition(1 + static_cast<int>(rng() % 100));
        const GrayImage src = RandomImage(rng, width, height);
        GrayImage expected = RandomImage(rng, width, height);
        GrayImage actual = Copy(expected, width, height);
        ReferenceApplyBrightnessTable(src, expected, brightness, contrast, gamma, width, height);
        SetWorkerCount(round % 2 == 0 ? 1 : 3);
        ApplyBrightnessTable(src, actual, brightness, contrast, gamma, width, height);
        ASSERT_EQ(FirstDifference(actual, expected, width, height), "")
            << "round " << round << ": " << width << "x" << height;
    }
    SetWorkerCount(0);
}

TEST(MapThroughTable, GivesTheSameImageAtEveryVectorLevel)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 60; ++round) {
        BrightnessTable table;
        for (auto& entry : table)
            entry = static_cast<std::uint8_t>(rng());
        const int width = 1 + static_cast<int>(rng() % 90);
        const int height = 1 + static_cast<int>(rng() % 300);  // tails of every length
        const GrayImage src = RandomImage(rng, width, height);
        for (VectorLevel level : kVectorLevels) {  // levels the processor lacks run narrower
            const ScopedVectorLimit limit(level);
            GrayImage mapped = Filled(width, height, 0);
            MapThroughTable(table, src, mapped, width, height);
            for (int x = 0; x < width; ++x)
                for (int y = 0; y < height; ++y)
                    ASSERT_EQ(mapped[x][y], table[src[x][y]])
                        << VectorLevelName(level) << " " << width << "x" << height;
        }
    }
}

TEST(ApplyBrightnessTable, WritesOnlyWidthByHeightAndLeavesTheSource)
{
    const GrayImage src = Filled(1, 10, 200);
    GrayImage dst = Filled(2, 10, 7);
    ApplyBrightnessTable(src, dst, 0, 45, 1.0f, 1, 5);  // c = 200 − 127
    EXPECT_EQ(dst[0][4], 73);
    EXPECT_EQ(dst[0][5], 7);  // past the height
    EXPECT_EQ(dst[1][0], 7);  // past the width
    EXPECT_EQ(src[0][0], 200);
}

TEST(GammaFromPosition, HasTwoStepsMeetingAtOne)
{
    EXPECT_EQ(GammaFromPosition(1), 0.1f);
    EXPECT_EQ(GammaFromPosition(50), 1.0f);
    EXPECT_EQ(GammaFromPosition(51), 1.18f);
    EXPECT_EQ(GammaFromPosition(75), 5.5f);
    EXPECT_EQ(GammaFromPosition(100), 10.0f);
    EXPECT_EQ(static_cast<double>(GammaFromPosition(51)), 1.1799999475479126);  // single precision
    EXPECT_NEAR(GammaFromPosition(2) - GammaFromPosition(1), 0.9 / 49, 1e-6);
    // Positions no bar gives: position − 1 overflowed at the bottom of the range.
    EXPECT_EQ(GammaFromPosition(INT_MIN), static_cast<float>(-2147483649.0 * 0.018367346938775512 + 0.1));
    EXPECT_EQ(GammaFromPosition(INT_MAX), static_cast<float>(2147483597.0 * 0.18 + 1));
}
