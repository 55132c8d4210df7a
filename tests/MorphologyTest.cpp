// tests/MorphologyTest.cpp
#include "Morphology.h"
#include "MorphologyReference.h"
#include "Parallel.h"
#include "TestImages.h"
#include "VectorLevel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <map>
#include <utility>
#include <vector>

namespace {

using Rows = std::vector<std::vector<int>>;
using Operator = void (*)(const GrayImage&, GrayImage&, const StructuringElement&, int, int, int,
                          int, int, int, int);

// Every operator with its literal version.
constexpr std::array<std::pair<Operator, Operator>, 7> kOperators = {{
    {Dilate, ReferenceDilate},
    {Erode, ReferenceErode},
    {Open, ReferenceOpen},
    {Close, ReferenceClose},
    {ProperOpen, ReferenceProperOpen},
    {ProperClose, ReferenceProperClose},
    {AutoMedian, ReferenceAutoMedian},
}};

StructuringElement Uniform(std::uint8_t value)
{
    StructuringElement e;
    for (auto& column : e)
        column.fill(value);
    return e;
}

StructuringElement EmptyElement() { return Uniform(0); }
StructuringElement FullElement() { return Uniform(1); }

// The element of the panel's boxes: box k is cell [(k - 1) % 7][(k - 1) / 7].
StructuringElement Boxes(std::initializer_list<int> checked)
{
    StructuringElement e = EmptyElement();
    for (int k : checked)
        e[static_cast<std::size_t>((k - 1) % 7)][static_cast<std::size_t>((k - 1) / 7)] = 1;
    return e;
}

// Empty, centre only, one off-centre cell, full, or random with a random density.
StructuringElement RandomElement(std::mt19937& rng)
{
    switch (rng() % 6) {
    case 0:
        return EmptyElement();
    case 1:
        return Boxes({25});
    case 2:
        return Boxes({1 + static_cast<int>(rng() % 49)});
    case 3:
        return FullElement();
    default: {
        StructuringElement e;
        const unsigned density = rng() % 100;
        for (auto& column : e)
            for (auto& cell : column)
                cell = rng() % 100 < density ? 1 : 0;
        return e;
    }
    }
}

// Symmetric through the centre: (dx, dy) is in it when (-dx, -dy) is.
StructuringElement RandomSymmetricElement(std::mt19937& rng)
{
    StructuringElement e = RandomElement(rng);
    for (std::size_t i = 0; i < 7; ++i)
        for (std::size_t j = 0; j < 7; ++j)
            e[6 - i][6 - j] = e[i][j];
    return e;
}

// Every size of the panel, and now and then the centre alone.
int RandomSize(std::mt19937& rng)
{
    constexpr int sizes[] = {3, 5, 7, 3, 5, 7, 1};
    return sizes[rng() % 7];
}

struct Rect {
    int x0, y0, x1, y1;
};

// Empty, one pixel, touching one border, the whole image, or anywhere.
Rect RandomRect(std::mt19937& rng, int width, int height)
{
    auto span = [&](int n, int& lo, int& hi) {
        lo = static_cast<int>(rng() % static_cast<unsigned>(n));
        hi = lo + 1 + static_cast<int>(rng() % static_cast<unsigned>(n - lo));
    };
    Rect r{0, 0, width, height};
    switch (rng() % 8) {
    case 0:
        return r;
    case 1: {
        const int x = static_cast<int>(rng() % static_cast<unsigned>(width));
        const int y = static_cast<int>(rng() % static_cast<unsigned>(height));
        return {x, y, x, rng() % 2 ? y : y + 1};  // empty in x
    }
    case 2: {
        const int x = static_cast<int>(rng() % static_cast<unsigned>(width));
        const int y = static_cast<int>(rng() % static_cast<unsigned>(height));
        return {x, y, x + 1, y + 1};
    }
    default:
        span(width, r.x0, r.x1);
        span(height, r.y0, r.y1);
        switch (rng() % 5) {  // pull it to one border
        case 0: r.x0 = 0; break;
        case 1: r.y0 = 0; break;
        case 2: r.x1 = width; break;
        case 3: r.y1 = height; break;
        default: break;
        }
        return r;
    }
}

// Mostly small images, with a few up to 300 x 200; 1 x N and N x 1 included.
void RandomImageSize(std::mt19937& rng, int round, int& width, int& height)
{
    const bool large = round % 16 == 0;
    width = 1 + static_cast<int>(rng() % (large ? 300u : 24u));
    height = 1 + static_cast<int>(rng() % (large ? 200u : 24u));
    if (round % 9 == 1)
        width = 1;
    if (round % 9 == 2)
        height = 1;
}

// Runs fast and reference on the same case. The destination has one spare
// column filled with a mark, and its rows are exact, so a write outside the
// rectangle shows as a changed mark or a changed next column.
std::string Compare(Operator fast, Operator reference, const GrayImage& src,
                    const StructuringElement& element, int a, Rect r, int width, int height)
{
    const int w = std::max(0, r.x1 - r.x0), h = std::max(0, r.y1 - r.y0);
    GrayImage expected = Filled(w + 1, h, 77), actual = Filled(w + 1, h, 77);
    reference(src, expected, element, a, r.x0, r.y0, r.x1, r.y1, width, height);
    fast(src, actual, element, a, r.x0, r.y0, r.x1, r.y1, width, height);
    return FirstDifference(expected, actual, w + 1, h);
}

void CompareOnRandomCases(Operator fast, Operator reference, unsigned seed, int cases)
{
    std::mt19937 rng(seed);  // fixed seed: a failure reproduces
    for (int round = 0; round < cases; ++round) {
        int width, height;
        RandomImageSize(rng, round, width, height);
        const GrayImage src = RandomImage(rng, width, height);
        const StructuringElement element = RandomElement(rng);
        const int a = RandomSize(rng);
        const Rect r = RandomRect(rng, width, height);
        ASSERT_EQ(Compare(fast, reference, src, element, a, r, width, height), "")
            << "round " << round << ": " << width << " x " << height << ", a " << a << ", rect "
            << r.x0 << "," << r.y0 << " .. " << r.x1 << "," << r.y1;
    }
}

// One white pixel at (x, y) on black.
GrayImage Dot(int width, int height, int x, int y)
{
    GrayImage image = Filled(width, height, 0);
    image[x][y] = 255;
    return image;
}

Rows Square(int width, int height, int x0, int y0, int x1, int y1)
{
    Rows rows(static_cast<std::size_t>(height), std::vector<int>(static_cast<std::size_t>(width)));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = 255;
    return rows;
}

}  // namespace

TEST(MaxOf, KeepsTheFirstOfEqualValues)
{
    const int values[] = {3, -7, 9, 9, 0};
    EXPECT_EQ(MaxOf(values, 5), 9);
    EXPECT_EQ(MinOf(values, 5), -7);
    EXPECT_EQ(MaxOf(values, 1), 3);
    EXPECT_EQ(MinOf(values + 2, 2), 9);
}

TEST(Dilate, ACornerPixelWithTheFullSevenBySevenMakesTheFourByFourBlock)
{
    const GrayImage src = Dot(9, 6, 0, 0);
    GrayImage dst = Filled(9, 6, 9);
    Dilate(src, dst, FullElement(), 7, 0, 0, 9, 6, 9, 6);
    EXPECT_EQ(ToRows(dst, 9, 6), Square(9, 6, 0, 0, 3, 3));  // nothing outside the image counts
}

TEST(Dilate, TheRightNeighbourAloneShiftsLeftAndBlanksTheLastColumn)
{
    const GrayImage src = FromRows({{10, 20, 30, 40},  //
                                    {50, 60, 70, 80},
                                    {90, 15, 25, 35}});
    GrayImage dst = NewGrayImage(4, 3);
    Dilate(src, dst, Boxes({26}), 3, 0, 0, 4, 3, 4, 3);
    // The last column's right neighbour lies outside: the other in-window
    // neighbours are not in the element and give 0.
    EXPECT_EQ(ToRows(dst, 4, 3), (Rows{{20, 30, 40, 0}, {60, 70, 80, 0}, {15, 25, 35, 0}}));
    Erode(src, dst, Boxes({26}), 3, 0, 0, 4, 3, 4, 3);
    EXPECT_EQ(ToRows(dst, 4, 3), (Rows{{20, 30, 40, 255}, {60, 70, 80, 255}, {15, 25, 35, 255}}));
}

TEST(Dilate, NoCheckedBoxGivesBlackAndWhite)
{
    std::mt19937 rng(7);
    const GrayImage src = RandomImage(rng, 5, 4);
    GrayImage dst = NewGrayImage(5, 4);
    Dilate(src, dst, EmptyElement(), 7, 0, 0, 5, 4, 5, 4);
    EXPECT_EQ(ToRows(dst, 5, 4), ToRows(Filled(5, 4, 0), 5, 4));
    Erode(src, dst, EmptyElement(), 3, 0, 0, 5, 4, 5, 4);
    EXPECT_EQ(ToRows(dst, 5, 4), ToRows(Filled(5, 4, 255), 5, 4));
}

TEST(Dilate, CellsOutsideTheWindowAreIgnored)
{
    const GrayImage src = Dot(7, 7, 0, 0);
    GrayImage dst = NewGrayImage(7, 7);
    // Box 1 is the top-left cell (-3, -3): inside a 7 x 7 window only.
    const StructuringElement corner = Boxes({1, 25});
    Dilate(src, dst, corner, 5, 0, 0, 7, 7, 7, 7);
    EXPECT_EQ(dst[3][3], 0);
    Dilate(src, dst, corner, 7, 0, 0, 7, 7, 7, 7);
    EXPECT_EQ(dst[3][3], 255);
}

// Sizes no radio button gives, as the fuzzer passed them: a − 1 overflowed for
// the smallest int. Any size acts as the nearest of 1 (the centre) .. 7.
TEST(Dilate, AnyElementSizeActsAsTheNearestOfOneToSeven)
{
    std::mt19937 rng(23);
    const GrayImage src = RandomImage(rng, 9, 7);
    for (const auto& [a, nearest] : {std::pair{INT_MIN, 1}, {-7, 1}, {0, 1}, {2, 1}, {4, 3},
                                     {8, 7}, {INT_MAX, 7}}) {
        GrayImage dst = Filled(9, 7, 1), expected = Filled(9, 7, 2);
        Dilate(src, dst, FullElement(), a, 0, 0, 9, 7, 9, 7);
        Dilate(src, expected, FullElement(), nearest, 0, 0, 9, 7, 9, 7);
        EXPECT_EQ(FirstDifference(dst, expected, 9, 7), "") << "a = " << a;
        DilateRounds(src, dst, FullElement(), a, 3, 9, 7);
        DilateRounds(src, expected, FullElement(), nearest, 3, 9, 7);
        EXPECT_EQ(FirstDifference(dst, expected, 9, 7), "") << "a = " << a << ", 3 rounds";
    }
}

TEST(Dilate, WritesTheRectangleToTheOriginOfTheDestination)
{
    const GrayImage src = FromRows({{1, 2, 3, 4, 5},  //
                                    {6, 7, 8, 9, 10},
                                    {11, 12, 13, 14, 15}});
    GrayImage dst = Filled(3, 2, 0);
    Dilate(src, dst, FullElement(), 3, 1, 1, 4, 3, 5, 3);
    // (1, 1) sees columns 0..2 of rows 0..2: 13; the border cut is the image's.
    EXPECT_EQ(ToRows(dst, 3, 2), (Rows{{13, 14, 15}, {13, 14, 15}}));
}

TEST(Morphology, TheCentreAloneLeavesEveryOperatorsResultAsTheSource)
{
    std::mt19937 rng(11);
    const GrayImage src = RandomImage(rng, 13, 8);
    for (Operator op : {Dilate, Erode, Open, Close, ProperOpen, ProperClose, AutoMedian}) {
        GrayImage dst = NewGrayImage(13, 8);
        op(src, dst, Boxes({25}), 7, 0, 0, 13, 8, 13, 8);
        EXPECT_EQ(FirstDifference(src, dst, 13, 8), "");
    }
}

TEST(DilateRounds, OneWhitePixelGrowsBySquares)
{
    const GrayImage src = Dot(11, 9, 5, 4);
    GrayImage dst = NewGrayImage(11, 9);
    DilateRounds(src, dst, FullElement(), 3, 1, 11, 9);
    EXPECT_EQ(ToRows(dst, 11, 9), Square(11, 9, 4, 3, 6, 5));
    DilateRounds(src, dst, FullElement(), 3, 2, 11, 9);
    EXPECT_EQ(ToRows(dst, 11, 9), Square(11, 9, 3, 2, 7, 6));
}

TEST(DilateRounds, ABillionRoundsEndAtTheFixedPoint)
{
    std::mt19937 rng(5);
    const GrayImage src = RandomImage(rng, 64, 48);
    GrayImage dst = NewGrayImage(64, 48), expected = NewGrayImage(64, 48);
    DilateRounds(src, dst, FullElement(), 3, 1000000000, 64, 48);
    // The full 3 x 3 spreads the maximum one pixel a round: 63 rounds reach every pixel.
    ReferenceDilateRounds(src, expected, FullElement(), 3, 64, 64, 48);
    EXPECT_EQ(FirstDifference(expected, dst, 64, 48), "");
    ErodeRounds(src, dst, Boxes({25, 26, 32}), 5, 2000000000, 64, 48);
    ReferenceErodeRounds(src, expected, Boxes({25, 26, 32}), 5, 120, 64, 48);
    EXPECT_EQ(FirstDifference(expected, dst, 64, 48), "");
}

TEST(DilateRounds, AnElementWithoutItsCentreCyclesAndAHugeCountStillEndsRight)
{
    // Left and right neighbours only: a two-pixel image swaps every round.
    const GrayImage src = FromRows({{40, 200}});
    GrayImage dst = NewGrayImage(2, 1);
    DilateRounds(src, dst, Boxes({24, 26}), 3, 1000000000, 2, 1);
    EXPECT_EQ(ToRows(dst, 2, 1), (Rows{{40, 200}}));
    DilateRounds(src, dst, Boxes({24, 26}), 3, 1000000001, 2, 1);
    EXPECT_EQ(ToRows(dst, 2, 1), (Rows{{200, 40}}));
}

TEST(DilateRounds, AHugeCountGivesWhatEveryRoundWouldGive)
{
    // Sparse elements without their centre cycle with assorted periods. The
    // expected image of a huge count comes from the literal rounds: the first
    // image seen twice fixes the period.
    std::mt19937 rng(99);
    for (int round = 0; round < 60; ++round) {
        const int width = 1 + static_cast<int>(rng() % 9), height = 1 + static_cast<int>(rng() % 7);
        const GrayImage src = RandomImage(rng, width, height);
        StructuringElement element = EmptyElement();
        for (int cells = 1 + static_cast<int>(rng() % 3); cells > 0; --cells)
            element[rng() % 7][rng() % 7] = 1;
        element[3][3] = 0;
        const bool dilate = rng() % 2 == 0;
        const int a = 7;
        std::map<std::vector<std::vector<int>>, int> seen;
        std::vector<Rows> images;
        GrayImage image = Copy(src, width, height), next = NewGrayImage(width, height);
        while (seen.emplace(ToRows(image, width, height), static_cast<int>(images.size())).second) {
            images.push_back(ToRows(image, width, height));
            (dilate ? ReferenceDilate : ReferenceErode)(image, next, element, a, 0, 0, width,
                                                        height, width, height);
            std::swap(image, next);
        }
        const int start = seen[ToRows(image, width, height)];
        const int period = static_cast<int>(images.size()) - start;
        for (int rounds : {1, 2, 3, 17, 1000000000, 2147483647}) {
            const int index = rounds < start ? rounds : start + (rounds - start) % period;
            GrayImage dst = NewGrayImage(width, height);
            (dilate ? DilateRounds : ErodeRounds)(src, dst, element, a, rounds, width, height);
            ASSERT_EQ(ToRows(dst, width, height), images[static_cast<std::size_t>(index)])
                << "round " << round << ", " << rounds << " rounds, period " << period;
        }
    }
}

TEST(DilateRounds, MatchesEveryRoundRunLiterally)
{
    std::mt19937 rng(2024);
    for (int round = 0; round < 200; ++round) {
        int width, height;
        RandomImageSize(rng, round, width, height);
        if (round % 16 == 0) {  // the literal rounds are slow: keep big ones rare and smaller
            width = std::min(width, 120);
            height = std::min(height, 90);
        }
        const GrayImage src = RandomImage(rng, width, height);
        const StructuringElement element = RandomElement(rng);
        const int a = RandomSize(rng), rounds = 1 + static_cast<int>(rng() % 5);
        const bool dilate = round % 2 == 0;
        GrayImage expected = NewGrayImage(width, height), actual = NewGrayImage(width, height);
        (dilate ? ReferenceDilateRounds : ReferenceErodeRounds)(src, expected, element, a, rounds,
                                                                 width, height);
        (dilate ? DilateRounds : ErodeRounds)(src, actual, element, a, rounds, width, height);
        ASSERT_EQ(FirstDifference(expected, actual, width, height), "")
            << "round " << round << ": " << width << " x " << height << ", a " << a << ", "
            << rounds << " rounds";
    }
}

TEST(DilateRounds, FewerThanOneRoundCopies)
{
    std::mt19937 rng(3);
    const GrayImage src = RandomImage(rng, 6, 5);
    GrayImage dst = Filled(6, 5, 1);
    DilateRounds(src, dst, FullElement(), 7, 0, 6, 5);
    EXPECT_EQ(FirstDifference(src, dst, 6, 5), "");
}

TEST(Dilate, MatchesTheLiteralVersion) { CompareOnRandomCases(Dilate, ReferenceDilate, 101, 400); }
TEST(Erode, MatchesTheLiteralVersion) { CompareOnRandomCases(Erode, ReferenceErode, 102, 400); }
TEST(Open, MatchesTheLiteralVersion) { CompareOnRandomCases(Open, ReferenceOpen, 103, 250); }
TEST(Close, MatchesTheLiteralVersion) { CompareOnRandomCases(Close, ReferenceClose, 104, 250); }
TEST(ProperOpen, MatchesTheLiteralVersion)
{
    CompareOnRandomCases(ProperOpen, ReferenceProperOpen, 105, 220);
}
TEST(ProperClose, MatchesTheLiteralVersion)
{
    CompareOnRandomCases(ProperClose, ReferenceProperClose, 106, 220);
}
TEST(AutoMedian, MatchesTheLiteralVersion)
{
    CompareOnRandomCases(AutoMedian, ReferenceAutoMedian, 107, 210);
}

TEST(Morphology, MatchesTheLiteralVersionAcrossStripsTilesAndThreadCounts)
{
    // Wide images are shared among threads by blocks of columns; tall ones make
    // a chain of passes run strip by strip of rows. Rectangle edges fall inside.
    std::mt19937 rng(108);
    for (const auto& [fast, reference] : kOperators)
        for (bool tall : {false, true}) {
            const int width = tall ? 20 + static_cast<int>(rng() % 100) : 600 + static_cast<int>(rng() % 500);
            const int height = tall ? 1300 + static_cast<int>(rng() % 400) : 20 + static_cast<int>(rng() % 100);
            const GrayImage src = RandomImage(rng, width, height);
            const StructuringElement element = rng() % 2 ? FullElement() : RandomElement(rng);
            const int a = 3 + 2 * static_cast<int>(rng() % 3);
            const Rect r = rng() % 2 ? Rect{0, 0, width, height} : RandomRect(rng, width, height);
            const int w = std::max(0, r.x1 - r.x0), h = std::max(0, r.y1 - r.y0);
            GrayImage expected = NewGrayImage(w, h);
            reference(src, expected, element, a, r.x0, r.y0, r.x1, r.y1, width, height);
            for (int workers : {1, 3}) {
                SetWorkerCount(workers);
                GrayImage actual = NewGrayImage(w, h);
                fast(src, actual, element, a, r.x0, r.y0, r.x1, r.y1, width, height);
                EXPECT_EQ(FirstDifference(expected, actual, w, h), "")
                    << width << " x " << height << ", a " << a << ", " << workers << " workers";
            }
        }
    SetWorkerCount(0);
}

TEST(Morphology, EveryMixOfRunLengthsMatchesTheLiteralVersion)
{
    // Each set of run lengths 1 .. 7, one run a row at a random place: the
    // lengths are built straight from the input or from one another, and
    // single cells are read from the source in place, so every mix and every
    // border (the rectangle pulled to each edge, or the image a single row or
    // column) must agree with the literal operators.
    const std::array<std::pair<Operator, Operator>, 3> operators = {{
        {Dilate, ReferenceDilate}, {Erode, ReferenceErode}, {Close, ReferenceClose}}};
    std::mt19937 rng(109);
    for (int lengths = 1; lengths < 128; ++lengths) {
        StructuringElement element = EmptyElement();
        std::array<std::size_t, 7> rows = {0, 1, 2, 3, 4, 5, 6};
        std::shuffle(rows.begin(), rows.end(), rng);
        for (std::size_t length = 1; length <= 7; ++length)
            if ((lengths >> (length - 1) & 1) != 0) {
                const std::size_t start = rng() % (8 - length), row = rows[length - 1] % 7;
                for (std::size_t i = 0; i < 7; ++i)
                    element[i][row] = i >= start && i < start + length ? 1 : 0;
            }
        const int width = lengths % 9 == 0 ? 1 : 5 + static_cast<int>(rng() % 30);
        const int height = lengths % 11 == 0 ? 1 : 5 + static_cast<int>(rng() % 40);
        const GrayImage src = RandomImage(rng, width, height);
        const Rect r = lengths % 2 ? Rect{0, 0, width, height} : RandomRect(rng, width, height);
        for (const auto& [fast, reference] : operators)
            for (int a : {5, 7})
                ASSERT_EQ(Compare(fast, reference, src, element, a, r, width, height), "")
                    << "lengths " << lengths << ", " << width << " x " << height << ", a " << a;
    }
}

TEST(Morphology, OutputStepsOfAnyNumberOfColumnsMatchTheLiteralVersion)
{
    // Cells of a 7 x 7 checkerboard have no neighbour in their row, so each is
    // a column of its own for the output step: one pass takes up to 18 of
    // them, more go eight at a time on top. Tall columns take the vector path,
    // the rectangle its edge rows.
    std::mt19937 rng(112);
    const GrayImage src = RandomImage(rng, 23, 75);
    for (int cells : {1, 10, 11, 17, 18, 19, 25}) {
        StructuringElement element = EmptyElement();
        for (std::size_t i = 0; i < 2 * static_cast<std::size_t>(cells); i += 2)
            element[i % 7][i / 7] = 1;  // i even and 7 odd: i % 7 + i / 7 is even
        for (const auto& [fast, reference] : kOperators)
            for (const Rect& r : {Rect{0, 0, 23, 75}, Rect{2, 1, 21, 73}})
                ASSERT_EQ(Compare(fast, reference, src, element, 7, r, 23, 75), "")
                    << cells << " cells, from row " << r.y0;
    }
}

TEST(ProperOpen, NeverBrightensAndProperCloseNeverDarkens)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; ++round) {
        const int width = 1 + static_cast<int>(rng() % 12), height = 1 + static_cast<int>(rng() % 12);
        const GrayImage src = RandomImage(rng, width, height);
        const StructuringElement element = RandomElement(rng);
        GrayImage opened = NewGrayImage(width, height), closed = NewGrayImage(width, height);
        ProperOpen(src, opened, element, 7, 0, 0, width, height, width, height);
        ProperClose(src, closed, element, 7, 0, 0, width, height, width, height);
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y) {
                ASSERT_LE(opened[x][y], src[x][y]) << "round " << round << " at " << x << "," << y;
                ASSERT_GE(closed[x][y], src[x][y]) << "round " << round << " at " << x << "," << y;
            }
    }
}

TEST(Open, NeverBrightensWithASymmetricElement)
{
    std::mt19937 rng(54321);
    for (int round = 0; round < 200; ++round) {
        const int width = 1 + static_cast<int>(rng() % 12), height = 1 + static_cast<int>(rng() % 12);
        const GrayImage src = RandomImage(rng, width, height);
        const StructuringElement element = RandomSymmetricElement(rng);
        const int a = RandomSize(rng);
        GrayImage opened = NewGrayImage(width, height), closed = NewGrayImage(width, height);
        Open(src, opened, element, a, 0, 0, width, height, width, height);
        Close(src, closed, element, a, 0, 0, width, height, width, height);
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y) {
                ASSERT_LE(opened[x][y], src[x][y]) << "round " << round << " at " << x << "," << y;
                ASSERT_GE(closed[x][y], src[x][y]) << "round " << round << " at " << x << "," << y;
            }
    }
}

TEST(Morphology, RunColumnsBuiltInPairsMatchTheLiteralVersionAtEveryTileEdge)
{
    // A run picked straight from its input is built two columns at a time from
    // the first column of each tile on, reading one column past the window: the
    // rectangle starts at an odd and an even column, ends at the image's last
    // column or before it, and the tiles of 2 and 3 threads start anywhere.
    StructuringElement runs = EmptyElement();  // one run of 3 .. 7 a row, and a lone cell
    for (std::size_t row = 0; row < 7; ++row)
        for (std::size_t i = 0; i < 3 + row % 5; ++i)
            runs[i + row % 2][row] = 1;
    runs[6][0] = 1;
    const struct {
        StructuringElement element;
        int a;
    } elements[] = {{FullElement(), 3}, {FullElement(), 5}, {FullElement(), 7}, {runs, 7},
                    {runs, 5}};
    const Rect rects[] = {{0, 0, 700, 23}, {1, 2, 700, 23}, {3, 0, 611, 21}, {0, 1, 698, 23}};
    std::mt19937 rng(110);
    const GrayImage src = RandomImage(rng, 700, 23);
    for (const auto& [fast, reference] : kOperators)
        for (const auto& e : elements)
            for (const Rect& r : rects) {
                const int w = r.x1 - r.x0, h = r.y1 - r.y0;
                GrayImage expected = NewGrayImage(w, h);
                reference(src, expected, e.element, e.a, r.x0, r.y0, r.x1, r.y1, 700, 23);
                for (int workers : {1, 2, 3}) {
                    SetWorkerCount(workers);
                    GrayImage actual = NewGrayImage(w, h);
                    fast(src, actual, e.element, e.a, r.x0, r.y0, r.x1, r.y1, 700, 23);
                    ASSERT_EQ(FirstDifference(expected, actual, w, h), "")
                        << "a " << e.a << ", from column " << r.x0 << " to " << r.x1 << ", "
                        << workers << " workers";
                }
            }
    SetWorkerCount(0);
}

TEST(Morphology, RowsAtTheTopAndBottomOfTallColumnsMatchTheLiteralVersion)
{
    // In columns of a vector's height (32 rows) or more, the rows whose window
    // crosses the source's top or bottom are picked a vector at a time from
    // copies of the column's edges, which overlap the rows between: the
    // rectangle starts at the top or up to s rows below it, ends at the bottom
    // or above it, and is exactly 32 rows, one more, or many. The elements mix
    // single cells with runs covered by shorter pieces; the sparse ones take so
    // few picks in those rows that they are done one by one instead (three
    // cells at a = 7, none left at a = 5; four at a = 5, five at a = 7).
    StructuringElement corners = EmptyElement(), few = EmptyElement();
    corners[0][0] = corners[6][3] = corners[2][6] = 1;
    few[1][1] = few[5][2] = few[3][5] = few[4][4] = few[0][6] = 1;
    StructuringElement mixed = EmptyElement();  // rows as on screen: ##.#### / #.#.#.# / ...
    const char* const rows[] = {"##.####", "#.#.#.#", ".#####.", "###.##.",
                                "#......", "..##.##", "#.#####"};
    for (std::size_t y = 0; y < 7; ++y)
        for (std::size_t x = 0; x < 7; ++x)
            mixed[x][y] = rows[y][x] == '#' ? 1 : 0;
    std::mt19937 rng(111);
    const struct {
        int height, y0, y1;
    } cases[] = {{32, 0, 32}, {33, 0, 33}, {34, 1, 34}, {35, 0, 32}, {38, 3, 35},
                 {40, 2, 39}, {37, 1, 36}, {70, 0, 70}, {90, 2, 88}};
    for (const auto& c : cases) {
        const GrayImage src = RandomImage(rng, 9, c.height);
        const Rect r{1, c.y0, 8, c.y1};
        for (const auto& [fast, reference] : kOperators)
            for (int a : {3, 5, 7})
                for (const StructuringElement& element :
                     {mixed, RandomElement(rng), corners, few})
                    ASSERT_EQ(Compare(fast, reference, src, element, a, r, 9, c.height), "")
                        << "height " << c.height << ", rows " << c.y0 << " to " << c.y1
                        << ", a " << a;
    }
}

TEST(Morphology, SingleCellElementsMatchTheLiteralVersionAtEveryRowOffset)
{
    // An element of single cells only (no two side by side) in one pass is
    // picked from the source columns in place, a vector at a time for the rows
    // whose window lies inside the source and one by one for the rest: the
    // rectangle starts at the top or up to 3 rows below it, columns are shorter
    // than a vector, exactly one or a few, and the checkerboard at a = 5 and 7
    // takes more columns (13, 25) than one step picks. A cell alone outside the
    // image gives the pad value in the image's first or last column. Every
    // vector level has its own copy of this pass.
    StructuringElement checker = EmptyElement(), sparse = EmptyElement(), edge = EmptyElement();
    for (std::size_t x = 0; x < 7; ++x)
        for (std::size_t y = 0; y < 7; ++y)
            checker[x][y] = (x + y) % 2 == 0 ? 1 : 0;
    sparse[2][4] = sparse[4][2] = sparse[3][6] = 1;  // none at dy = -3 .. -2 for a = 3
    edge[4][3] = 1;                                  // the right neighbour alone
    std::mt19937 rng(112);
    const struct {
        int width, height, x0, y0, x1, y1;
    } cases[] = {{9, 31, 0, 0, 9, 31}, {9, 32, 1, 1, 9, 32}, {9, 33, 0, 2, 8, 31},
                 {9, 64, 2, 3, 9, 64}, {9, 97, 0, 1, 6, 95}, {1, 70, 0, 0, 1, 70}};
    for (const auto& c : cases) {
        const GrayImage src = RandomImage(rng, c.width, c.height);
        const Rect r{c.x0, c.y0, c.x1, c.y1};
        for (Operator fast : {Dilate, Erode})
            for (int a : {3, 5, 7})
                for (const StructuringElement& element : {checker, sparse, edge})
                    for (VectorLevel level : kVectorLevels) {  // each clone has this pass
                        const int workers = level == VectorLevel::Plain ? 2 : 1;
                        SetWorkerCount(workers);
                        const ScopedVectorLimit limit(level);
                        const Operator reference = fast == Dilate ? ReferenceDilate : ReferenceErode;
                        ASSERT_EQ(Compare(fast, reference, src, element, a, r, c.width, c.height),
                                  "")
                            << c.width << " x " << c.height << ", rows " << c.y0 << " to "
                            << c.y1 << ", a " << a << ", " << workers << " workers, "
                            << VectorLevelName(level);
                    }
    }
    SetWorkerCount(0);
}
