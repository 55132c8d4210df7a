// tests/ImageTest.cpp
#include "Image.h"
#include "ImageReference.h"
#include "Region.h"
#include "Rows.h"
#include "TestImages.h"
#include "VectorLevel.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Pixels set by a drawing call on a black image, as (x, y) pairs in scan order.
std::vector<std::pair<int, int>> SetPixels(const GrayImage& image, int width, int height)
{
    std::vector<std::pair<int, int>> set;
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            if (image[x][y] != 0)
                set.emplace_back(x, y);
    return set;
}

using Points = std::vector<std::pair<int, int>>;

}  // namespace

TEST(NewGrayImage, ColumnsFollowEachOtherAndSizesMayBeZero)
{
    GrayImage image = NewGrayImage(3, 5);
    ASSERT_TRUE(image);
#if defined(GRAYBENCH_GUARD_COLUMNS)
    // Sanitizer builds: a poisoned gap lies between the columns, and touching
    // the element just past a column's end or before its start is reported.
    EXPECT_GT(image[1], image[0] + 5);
    EXPECT_EQ(image[2] - image[1], image[1] - image[0]);
    EXPECT_DEATH(image[1][5] = 1, "use-after-poison");
    EXPECT_DEATH(image[1][-1] = 1, "use-after-poison");
    EXPECT_DEATH(image[0][-1] = 1, "use-after-poison");
    IntImage ints = NewIntImage(2, 3);
    EXPECT_DEATH(ints[0][3] = 1, "use-after-poison");
#else
    EXPECT_EQ(image[1], image[0] + 5);
    EXPECT_EQ(image[2], image[0] + 10);
#endif
    EXPECT_TRUE(NewGrayImage(0, 0));  // exists, with no elements
    EXPECT_TRUE(NewGrayImage(4, 0));
    EXPECT_FALSE(NewGrayImage(-1, 4));
    EXPECT_FALSE(NewIntImage(4, -1));
}

TEST(TakeLargeBlock, ReusesOnlyTheSameSizeAndHoldsAtMostTheLimitOldestGoingFirst)
{
    constexpr std::size_t kMb = 1 << 20;
    KeepFreedLargeBlocks(20 * kMb);
    void* const a = TakeLargeBlock(8 * kMb);
    void* const b = TakeLargeBlock(6 * kMb);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a) % (2 << 20), 0u);  // a large page
    GiveBackLargeBlock(a, 8 * kMb);
    GiveBackLargeBlock(b, 6 * kMb);
    EXPECT_EQ(FreedLargeBlockBytes(), 14 * kMb);
    EXPECT_EQ(TakeLargeBlock(8 * kMb), a);  // b, of another size, stays
    EXPECT_EQ(FreedLargeBlockBytes(), 6 * kMb);
    void* const c = TakeLargeBlock(7 * kMb);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c, b);
    GiveBackLargeBlock(c, 7 * kMb);  // 6 + 7 = 13 MB, within 20
    GiveBackLargeBlock(a, 8 * kMb);  // 21 MB would pass 20: b, the oldest, goes
    EXPECT_EQ(FreedLargeBlockBytes(), 15 * kMb);
    GiveBackLargeBlock(TakeLargeBlock(21 * kMb), 21 * kMb);  // more than the limit: not kept
    EXPECT_EQ(FreedLargeBlockBytes(), 15 * kMb);
    KeepFreedLargeBlocks(9 * kMb);  // c goes, a stays
    EXPECT_EQ(FreedLargeBlockBytes(), 8 * kMb);
    EXPECT_EQ(TakeLargeBlock(8 * kMb), a);
    GiveBackLargeBlock(a, 8 * kMb);
    KeepFreedLargeBlocks(0);
    EXPECT_EQ(FreedLargeBlockBytes(), 0u);
}

TEST(NewGrayImage, AReusedBlockTakesAnyShapeOfItsSize)
{
    // Shapes of one block size (columns x rows + 1 bytes, 4 MB and more), so
    // each array takes the block the one before gave back.
    struct Shape { int columns, rows; };
    const Shape shapes[] = {{4096, 1025}, {1025, 4096}, {5, 839680}, {839680, 5}, {4096, 1025}};
    KeepFreedLargeBlocks(std::size_t{64} << 20);
    std::uint8_t value = 1;
    for (const Shape& s : shapes) {
        GrayImage image = NewGrayImage(s.columns, s.rows);
        ASSERT_TRUE(image);
        for (int x = 0; x < s.columns; ++x)
            std::memset(image[x], value, static_cast<std::size_t>(s.rows));
        for (int x = 0; x < s.columns; x += s.columns - 1)  // first and last column, both ends
            for (int y : {0, s.rows - 1})
                ASSERT_EQ(image[x][y], value) << s.columns << " x " << s.rows;
#if !defined(GRAYBENCH_GUARD_COLUMNS)
        EXPECT_EQ(image[s.columns - 1], image[0] + std::size_t{1} * (s.columns - 1) * s.rows);
#endif
        ++value;
    }
#if !defined(GRAYBENCH_GUARD_COLUMNS)  // guarded columns make the shapes' blocks differ
    EXPECT_EQ(FreedLargeBlockBytes(), GrayImage::BlockBytes(4096, 1025));
#endif
    KeepFreedLargeBlocks(0);
    GrayImage image = NewGrayImage(4096, 1025);
    FreeGrayImage(image, 4096);
    EXPECT_EQ(FreedLargeBlockBytes(), 0u);  // limit 0: straight back to the system
}

TEST(FreeGrayImage, LeavesNone)
{
    GrayImage image = NewGrayImage(4, 4);
    FreeGrayImage(image, 4);
    EXPECT_FALSE(image);
}

TEST(CopyGrayImage, CopiesOnlyTheGivenColumnsAndRows)
{
    const GrayImage src = FromRows({{1, 2, 3}, {4, 5, 6}});
    GrayImage dst = Filled(3, 2, 9);
    CopyGrayImage(src, dst, 2, 1);
    EXPECT_EQ(ToRows(dst, 3, 2), (std::vector<std::vector<int>>{{1, 2, 9}, {9, 9, 9}}));
    CopyGrayImage(src, dst, 3, 2);
    EXPECT_TRUE(SameImage(src, dst, 3, 2));
}

TEST(SortAscending, SortsInPlaceAndKeepsShortArrays)
{
    std::vector<double> a = {3, 1, 2, 1};
    SortAscending(a.data(), 4);
    EXPECT_EQ(a, (std::vector<double>{1, 1, 2, 3}));
    std::vector<double> one = {7};
    SortAscending(one.data(), 1);
    SortAscending(one.data(), 0);
    EXPECT_EQ(one, std::vector<double>{7});
}

TEST(LineThroughPoints, SolvesForSlopeAndInterceptOrMarksVertical)
{
    float a = 0, b = 0;
    LineThroughPoints(2, 3, 2, 9, a, b);
    EXPECT_EQ(a, 10000.0f);
    EXPECT_EQ(b, 2.0f);
    LineThroughPoints(1, 5, 3, 9, a, b);
    EXPECT_EQ(a, 2.0f);
    EXPECT_EQ(b, 3.0f);
    LineThroughPoints(0, 0, 10, 7, a, b);
    EXPECT_EQ(a, 0.7f);  // -7 / -10 in single precision
    EXPECT_EQ(b, 0.0f);
}

TEST(Determinant3, IdentityEqualColumnsAndWrapAround)
{
    IntMatrix m = NewIntMatrix(3, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = i == j ? 1 : 0;
    EXPECT_EQ(Determinant3(m), 1);
    const int rows[3][3] = {{2, 5, 2}, {7, 1, 7}, {3, 4, 3}};  // element 0 and 2 equal
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = rows[i][j];
    EXPECT_EQ(Determinant3(m), 0);
    // 2000 * 2000 * 2000 = 8e9 wraps to 8e9 - 2^33 = -589934592 in 32 bits.
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m[i][j] = i == j ? 2000 : 0;
    EXPECT_EQ(Determinant3(m), -589934592);
}

TEST(DrawLine, StopsBeforeTheEndPoint)
{
    GrayImage image = Filled(6, 6, 0);
    DrawLine(image, 255, 5, 5, 5, 5, 6, 6);
    EXPECT_TRUE(SetPixels(image, 6, 6).empty());
    DrawLine(image, 255, 0, 0, 3, 0, 6, 6);
    EXPECT_EQ(SetPixels(image, 6, 6), (Points{{0, 0}, {1, 0}, {2, 0}}));
}

TEST(DrawLine, SteepLineSetsOnePixelPerRow)
{
    GrayImage image = Filled(4, 7, 0);
    DrawLine(image, 200, 0, 0, 2, 5, 4, 7);
    const Points set = SetPixels(image, 4, 7);
    ASSERT_EQ(set.size(), 5u);
    std::vector<int> rows;
    for (auto [x, y] : set)
        rows.push_back(y);
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(image[0][0], 200);
}

TEST(DrawLine, LeavingAndReenteringTheImageSetsOnlyInsidePixels)
{
    GrayImage image = Filled(5, 3, 0);
    DrawLine(image, 9, -4, 1, 9, 1, 5, 3);
    EXPECT_EQ(SetPixels(image, 5, 3), (Points{{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1}}));
}

TEST(DrawLine, MatchesTheLiteralWalkOnRandomLines)
{
    std::mt19937 rng(2024);
    for (int round = 0; round < 3000; ++round) {
        const int width = 1 + static_cast<int>(rng() % 40), height = 1 + static_cast<int>(rng() % 40);
        const int spread = round % 3 == 0 ? 200 : 60;
        auto coordinate = [&] { return static_cast<int>(rng() % (2 * spread)) - spread / 2; };
        const int x1 = coordinate(), y1 = coordinate(), x2 = coordinate(), y2 = coordinate();
        GrayImage fast = Filled(width, height, 0), literal = Filled(width, height, 0);
        DrawLine(fast, 77, x1, y1, x2, y2, width, height);
        ReferenceDrawLine(literal, 77, x1, y1, x2, y2, width, height);
        ASSERT_EQ(FirstDifference(fast, literal, width, height), "")
            << "round " << round << ": (" << x1 << ", " << y1 << ") to (" << x2 << ", " << y2
            << ") on " << width << " x " << height;
    }
}

TEST(DrawLine, HugeCoordinatesAreSafeAndQuick)
{
    GrayImage image = Filled(8, 8, 0);
    DrawLine(image, 1, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 8, 8);
    // The diagonal from corner to corner of the int range crosses the image on its diagonal.
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(image[i][i], 1) << i;
    DrawLine(image, 2, INT_MAX, 3, INT_MIN, 3, 8, 8);
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(image[x][3], 2) << x;
}

TEST(DrawCircle, RadiusZeroSetsTheCentreAndNegativeNothing)
{
    GrayImage image = Filled(5, 5, 0);
    DrawCircle(image, -1, 255, 2, 2, 5, 5);
    EXPECT_TRUE(SetPixels(image, 5, 5).empty());
    DrawCircle(image, 0, 255, 2, 2, 5, 5);
    EXPECT_EQ(SetPixels(image, 5, 5), (Points{{2, 2}}));
}

TEST(DrawCircle, RadiusOneIsTheRingAroundTheCentre)
{
    GrayImage image = Filled(3, 3, 0);
    DrawCircle(image, 1, 255, 1, 1, 3, 3);
    EXPECT_EQ(ToRows(image, 3, 3),
              (std::vector<std::vector<int>>{{255, 255, 255}, {255, 0, 255}, {255, 255, 255}}));
}

TEST(DrawCircle, AroundACornerSetsOnlyTheQuarterInside)
{
    GrayImage fast = Filled(10, 10, 0), literal = Filled(10, 10, 0);
    DrawCircle(fast, 5, 255, 0, 0, 10, 10);
    ReferenceDrawCircle(literal, 5, 255, 0, 0, 10, 10);
    EXPECT_EQ(FirstDifference(fast, literal, 10, 10), "");
    EXPECT_EQ(fast[5][0], 255);
    EXPECT_EQ(fast[0][5], 255);
    EXPECT_EQ(fast[4][4], 255);  // the first point past the arc on row 4 is on the path
    EXPECT_EQ(fast[3][3], 0);    // 18 < 25: inside, and no path point
}

TEST(DrawCircle, MatchesTheLiteralWalkOnRandomCircles)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 3000; ++round) {
        const int width = 1 + static_cast<int>(rng() % 50), height = 1 + static_cast<int>(rng() % 50);
        const int radius = static_cast<int>(rng() % 60) - 2;
        const int cx = static_cast<int>(rng() % 120) - 35, cy = static_cast<int>(rng() % 120) - 35;
        GrayImage fast = Filled(width, height, 0), literal = Filled(width, height, 0);
        DrawCircle(fast, radius, 128, cx, cy, width, height);
        ReferenceDrawCircle(literal, radius, 128, cx, cy, width, height);
        ASSERT_EQ(FirstDifference(fast, literal, width, height), "")
            << "round " << round << ": r " << radius << " at (" << cx << ", " << cy << ") on "
            << width << " x " << height;
    }
}

TEST(DrawCircle, CirclesFarLargerThanTheImageMatchTheLiteralWalk)
{
    std::mt19937 rng(78);
    for (int round = 0; round < 1000; ++round) {
        const int width = 1 + static_cast<int>(rng() % 6), height = 1 + static_cast<int>(rng() % 6);
        const int radius = 25 + static_cast<int>(rng() % 60);
        const int cx = static_cast<int>(rng() % 180) - 90, cy = static_cast<int>(rng() % 180) - 90;
        GrayImage fast = Filled(width, height, 0), literal = Filled(width, height, 0);
        DrawCircle(fast, radius, 128, cx, cy, width, height);
        ReferenceDrawCircle(literal, radius, 128, cx, cy, width, height);
        ASSERT_EQ(FirstDifference(fast, literal, width, height), "")
            << "round " << round << ": r " << radius << " at (" << cx << ", " << cy << ")";
    }
}

TEST(DrawCircle, EnormousRadiusIsSafeAndQuick)
{
    GrayImage image = Filled(16, 16, 0);
    DrawCircle(image, INT_MAX, 255, 8, INT_MIN / 2, 16, 16);  // passes far below
    DrawCircle(image, INT_MAX - 1, 255, -2147483000, 8, 16, 16);
    // The right edge of the second circle is at x = 647 + ... well right of the image,
    // while its arc crosses the image rows nearly vertically; nothing may hang or crash.
    SUCCEED();
}

TEST(DrawRotatedRect, AtAngleZeroDrawsTheOutlineButTheLastCorner)
{
    GrayImage image = Filled(24, 20, 0);
    DrawRotatedRect(image, 100, 0.0f, 10, 10, 20, 16, 24, 20);
    for (int x = 10; x <= 20; ++x) {
        EXPECT_EQ(image[x][10], 100) << x;
        if (x < 20) {
            EXPECT_EQ(image[x][16], 100) << x;
        }
    }
    for (int y = 10; y < 16; ++y) {
        EXPECT_EQ(image[10][y], 100) << y;
        EXPECT_EQ(image[20][y], 100) << y;
    }
    EXPECT_EQ(image[20][16], 0);
    EXPECT_EQ(image[15][13], 0);
    EXPECT_EQ(SetPixels(image, 24, 20).size(), 31u);  // 6 + 9 + 6 + 10: shared corners once
}

TEST(RotatePoint, QuarterTurnsOnScreen)
{
    int x = 0, y = 0;
    RotatePoint(10, 0, x, y, 90.0f);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, -10);
    RotatePoint(10, 0, x, y, 0.0f);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 0);
    RotatePoint(10, 0, x, y, 180.0f);
    EXPECT_EQ(x, -10);
    EXPECT_EQ(y, 0);
    RotatePoint(3, 4, x, y, 360.0f);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 4);
}

TEST(RoundHalfAway, HalvesGoAwayFromZero)
{
    EXPECT_EQ(RoundHalfAway(0.5f), 1);
    EXPECT_EQ(RoundHalfAway(-0.5f), -1);
    EXPECT_EQ(RoundHalfAway(0.49f), 0);
    EXPECT_EQ(RoundHalfAway(-1.5f), -2);
    EXPECT_EQ(RoundHalfAway(2.5f), 3);
    EXPECT_EQ(RoundHalfAway(-2.5f), -3);
    EXPECT_EQ(RoundHalfAway(2.49f), 2);
    EXPECT_EQ(RoundHalfAway(7.0f), 7);
    EXPECT_EQ(RoundHalfAway(3e10f), INT_MAX);
    EXPECT_EQ(RoundHalfAway(-3e10f), INT_MIN);
}

TEST(OrderAndClampRegion, OrdersThenClampsEachSideOnce)
{
    // Dragged from (300, 200) up-left to (100, 50) on 512 x 512.
    EXPECT_EQ(OrderAndClampRegion(300, 200, 100, 50, 512, 512), (Region{100, 50, 300, 200}));
    EXPECT_EQ(OrderAndClampRegion(0, 0, 600, 10, 512, 480), (Region{0, 0, 511, 10}));
    EXPECT_EQ(OrderAndClampRegion(-5, 3, 20, 30, 512, 480), (Region{0, 3, 20, 30}));
    // A dropped frame past the picture: X1 = 400 stays, X2 is cut to 255, nothing is covered.
    EXPECT_EQ(OrderAndClampRegion(400, 400, 513, 513, 256, 256), (Region{400, 400, 255, 255}));
    // Before any picture the size is 0 x 0.
    EXPECT_EQ(OrderAndClampRegion(0, 0, 100, 100, 0, 0), (Region{0, 0, -1, -1}));
}

// Bands of rows into columns as a decoder writes them: in a large image
// (8 MB and more) whole 64-row lines of 64-byte aligned columns take the
// streaming path, the rest the plain one; at every vector level every byte of
// the band lands where the literal rule puts it, and the rows around the band
// keep their bytes.
TEST(RowsToColumns, WritesBandsAtAlignedAndUnalignedRowsLikeTheLiteralRule)
{
    std::mt19937 rng(64);
    struct Case {
        int width, height, firstRow, rowCount;
    };
    for (const Case c : {Case{48, 192, 64, 64}, {33, 192, 32, 64}, {50, 130, 64, 66},
                         {2048, 4096, 64, 128}, {2048, 4096, 32, 130}, {2050, 4100, 64, 64},
                         {2047, 4096, 0, 4096}}) {
        const std::ptrdiff_t stride = c.width + 3;
        std::vector<std::uint8_t> rows(static_cast<std::size_t>(stride * c.rowCount));
        for (std::uint8_t& b : rows)
            b = static_cast<std::uint8_t>(rng());
        for (const VectorLevel level : kVectorLevels) {
            if (level > ProcessorVectorLevel())
                continue;
            const ScopedVectorLimit limit(level);
            GrayImage image = Filled(c.width, c.height, 7);
            RowsToColumns(rows.data(), stride, c.width, c.rowCount, image, c.firstRow);
            const int from = std::max(0, c.firstRow - 2);
            const int to = std::min(c.height, c.firstRow + c.rowCount + 2);
            for (int x = 0; x < c.width; ++x)
                for (int y = from; y < to; ++y) {
                    const int r = y - c.firstRow;
                    const int expected =
                        r >= 0 && r < c.rowCount ? rows[static_cast<std::size_t>(r * stride + x)] : 7;
                    ASSERT_EQ(image[x][y], expected)
                        << c.width << " x " << c.height << " from row " << c.firstRow << " at " << x
                        << "," << y << ", " << VectorLevelName(level);
                }
        }
    }
}

TEST(ColumnsToRows, TurnsColumnsIntoRowsAndBackOnRaggedSizes)
{
    std::mt19937 rng(31);
    for (const auto& [width, height] : {std::pair{1, 1}, {15, 17}, {16, 16}, {33, 48}, {100, 7},
                                       {7, 100}, {64, 35}}) {
        const GrayImage image = RandomImage(rng, width, height);
        const std::ptrdiff_t stride = width + 5;  // rows wider than the image
        std::vector<std::uint8_t> rows(static_cast<std::size_t>(stride * height), 0);
        ColumnsToRows(image, width, height, rows.data(), stride);
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                ASSERT_EQ(rows[static_cast<std::size_t>(y * stride + x)], image[x][y])
                    << width << " x " << height << " at " << x << "," << y;
        GrayImage back = Filled(width, height + 3, 0);
        RowsToColumns(rows.data(), stride, width, height, back, 3);  // into rows 3 ..
        for (int x = 0; x < width; ++x) {
            ASSERT_EQ(back[x][0], 0);
            for (int y = 0; y < height; ++y)
                ASSERT_EQ(back[x][y + 3], image[x][y]) << width << " x " << height;
        }
    }
}
