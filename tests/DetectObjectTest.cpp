// tests/DetectObjectTest.cpp
#include "DetectObjectReference.h"
#include "Detect_object.h"
#include "Parallel.h"
#include "Region.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <sstream>

namespace {

using Rows = std::vector<std::vector<int>>;

// A detection over rows as they appear on screen, with the region given.
struct Detection {
    int count = 0;
    ObjectTable objects;
    GrayImage image;
    int width = 0, height = 0;
};

Detection Detect(const Rows& rows, int mode, int t, Region r, int upper = 255)
{
    Detection d;
    d.image = FromRows(rows);
    d.height = static_cast<int>(rows.size());
    d.width = static_cast<int>(rows[0].size());
    IntImage labels = NewIntImage(2, d.height);
    d.count = mode == 2 ? DetectBandObjects(d.image, labels, d.objects, t, upper, r.X1, r.Y1, r.X2,
                                            r.Y2, d.width, d.height)
                        : DetectObjects(d.image, labels, d.objects, mode, t, r.X1, r.Y1, r.X2,
                                        r.Y2, d.width, d.height);
    return d;
}

// 0 = object (dark), 9 = background; the region is the whole 8 x 6 picture.
const Rows kUShape = {{9, 9, 9, 9, 9, 9, 9, 9},
                      {9, 0, 9, 9, 9, 0, 9, 9},
                      {9, 0, 9, 9, 9, 0, 9, 9},
                      {9, 0, 0, 0, 0, 0, 9, 9},
                      {9, 9, 9, 9, 9, 9, 9, 9},
                      {9, 9, 9, 9, 9, 9, 9, 9}};

}  // namespace

TEST(DetectObjects, ASinglePixelIsAnObjectAndDiagonalNeighboursAreTwo)
{
    const Detection d = Detect({{9, 9, 9, 9, 9, 9},
                                {9, 0, 9, 9, 9, 9},
                                {9, 9, 0, 9, 0, 9},
                                {9, 9, 9, 9, 9, 9}},
                               0, 0, {0, 0, 5, 3});
    ASSERT_EQ(d.count, 3);
    EXPECT_EQ(d.objects[0], (DetectedObject{1, 1, 1, 1, 1}));
    EXPECT_EQ(d.objects[1], (DetectedObject{2, 2, 2, 2, 1}));
    EXPECT_EQ(d.objects[2], (DetectedObject{4, 2, 4, 2, 1}));
    EXPECT_EQ(d.image[4][2], 0);  // every side of a one-pixel box has equal ends
}

TEST(DetectObjects, AUShapeIsOneObjectJoinedAtTheBottomOfItsArm)
{
    const Detection d = Detect(kUShape, 0, 0, {0, 0, 7, 5});
    // The right arm's top pixel has no labelled neighbour: it opens label 1.
    EXPECT_EQ(LabelCount(), 2);
    EXPECT_EQ(LabelTable()[1].parent, 0);
    ASSERT_EQ(d.count, 1);
    EXPECT_EQ(d.objects[0], (DetectedObject{1, 1, 5, 3, 9}));  // 2 + 2 arms + 5 along the bottom
    // Box in gray 128 along the outermost pixels; its bottom-right corner stays.
    EXPECT_EQ(d.image[1][1], 128);
    EXPECT_EQ(d.image[3][1], 128);
    EXPECT_EQ(d.image[5][2], 128);
    EXPECT_EQ(d.image[1][3], 128);
    EXPECT_EQ(d.image[5][3], 0);
    EXPECT_EQ(d.image[3][2], 9);  // inside the box: untouched
}

TEST(DetectObjects, ObjectsTouchingAnySideOfTheRegionAreDropped)
{
    // A solid block 3..6 x 2..4 in a 10 x 8 picture; the region walks onto each side.
    Rows rows(8, std::vector<int>(10, 200));
    for (int y = 2; y <= 4; ++y)
        for (int x = 3; x <= 6; ++x)
            rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = 30;
    EXPECT_EQ(Detect(rows, 0, 30, {2, 1, 7, 5}).count, 1);
    EXPECT_EQ(Detect(rows, 0, 30, {3, 1, 7, 5}).count, 0);  // X1 on its first column
    EXPECT_EQ(Detect(rows, 0, 30, {2, 2, 7, 5}).count, 0);  // Y1 on its first row
    EXPECT_EQ(Detect(rows, 0, 30, {2, 1, 6, 5}).count, 0);  // X2 on its last column
    EXPECT_EQ(Detect(rows, 0, 30, {2, 1, 7, 4}).count, 0);  // Y2 on its last row
    EXPECT_EQ(Detect(rows, 0, 255, {2, 1, 7, 5}).count, 0);  // every pixel is an object pixel
}

TEST(DetectObjects, TheWorkedExampleOfATwelveByEightRectangle)
{
    // A dark 12 x 8 rectangle at 20..31 x 10..17 in a 60 x 40 picture, region 5..50 x 4..30.
    Rows rows(40, std::vector<int>(60, 180));
    for (int y = 10; y <= 17; ++y)
        for (int x = 20; x <= 31; ++x)
            rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)] = 40;
    const Detection d = Detect(rows, 0, 100, {5, 4, 50, 30});
    ASSERT_EQ(d.count, 1);
    EXPECT_EQ(d.objects[0], (DetectedObject{20, 10, 31, 17, 96}));
    EXPECT_EQ(d.image[20][10], 128);
    EXPECT_EQ(d.image[31][16], 128);
    EXPECT_EQ(d.image[30][17], 128);
    EXPECT_EQ(d.image[31][17], 40);   // the box's bottom-right corner is left alone
    EXPECT_EQ(d.image[21][11], 40);   // the inside too
    EXPECT_EQ(d.image[5][4], 100);    // frame
    EXPECT_EQ(d.image[50][29], 100);
    EXPECT_EQ(d.image[49][30], 100);
    EXPECT_EQ(d.image[50][30], 180);  // the frame's bottom-right corner too
    EXPECT_EQ(d.image[51][4], 180);
}

TEST(DetectObjects, ObjectsComeInTheOrderOfTheirFirstPixelColumnByColumn)
{
    // B starts a column left of A although it lies lower; C shares B's first column below it.
    const Detection d = Detect({{9, 9, 9, 9, 9, 9, 9},
                                {9, 9, 9, 0, 0, 9, 9},
                                {9, 9, 9, 9, 9, 9, 9},
                                {9, 9, 0, 0, 0, 0, 9},
                                {9, 9, 9, 9, 9, 9, 9},
                                {9, 9, 0, 9, 9, 9, 9},
                                {9, 9, 9, 9, 9, 9, 9}},
                               0, 0, {0, 0, 6, 6});
    ASSERT_EQ(d.count, 3);
    EXPECT_EQ(d.objects[0], (DetectedObject{2, 3, 5, 3, 4}));
    EXPECT_EQ(d.objects[1], (DetectedObject{2, 5, 2, 5, 1}));
    EXPECT_EQ(d.objects[2], (DetectedObject{3, 1, 4, 1, 2}));
}

TEST(DetectObjects, ModesAndTheirThresholds)
{
    const Rows rows = {{99, 99, 99, 99, 99},
                       {99, 50, 99, 51, 99},
                       {99, 99, 99, 99, 99},
                       {99, 199, 99, 200, 99},
                       {99, 99, 99, 99, 99}};
    const Region all{0, 0, 4, 4};
    // Band: lower and upper themselves are object pixels, 51..199 are not.
    const Detection band = Detect(rows, 2, 50, all, 200);
    ASSERT_EQ(band.count, 2);
    EXPECT_EQ(band.objects[0], (DetectedObject{1, 1, 1, 1, 1}));
    EXPECT_EQ(band.objects[1], (DetectedObject{3, 3, 3, 3, 1}));
    EXPECT_EQ(Detect(rows, 0, 51, all).count, 2);   // 50 and 51
    EXPECT_EQ(Detect(rows, 1, 199, all).count, 2);  // 199 and 200
    EXPECT_EQ(Detect(rows, 1, 200, all).count, 1);
    // lower >= upper: every pixel passes, one object touching the frame.
    EXPECT_EQ(Detect(rows, 2, 150, all, 150).count, 0);
    EXPECT_EQ(Detect(rows, 2, 200, all, 50).count, 0);
}

TEST(DetectObjects, AnotherModeOrAnEmptyRegionFindsNothingButTheFrameIsDrawn)
{
    for (int mode : {-1, 3}) {
        const Detection d = Detect(kUShape, mode, 0, {0, 0, 7, 5});
        EXPECT_EQ(d.count, 0);
        EXPECT_EQ(LabelCount(), 0);
        EXPECT_EQ(d.image[7][4], 100);
        EXPECT_EQ(d.image[7][5], 9);  // the frame's bottom-right corner
        EXPECT_EQ(d.image[1][1], 0);
    }
    // A region that starts past the right edge, as the region rule leaves it.
    const Region past = OrderAndClampRegion(10, 1, 12, 3, 8, 6);
    ASSERT_GT(past.X1, past.X2);
    EXPECT_EQ(Detect(kUShape, 0, 0, past).count, 0);
    // No picture: the size is 0 x 0 and the images are none.
    GrayImage none;
    IntImage noLabels;
    ObjectTable objects{{1, 2, 3, 4, 5}};
    const Region r = OrderAndClampRegion(0, 0, 100, 100, 0, 0);
    EXPECT_EQ(DetectObjects(none, noLabels, objects, 0, 128, r.X1, r.Y1, r.X2, r.Y2, 0, 0), 0);
    EXPECT_TRUE(objects.empty());
}

// Corners the fuzzer passed straight to the entry points, without the region
// rule: the labelling read columns outside the image. Any corners now act as
// the corners cut to the image (X1, Y1 up to 0; X2, Y2 down to 5, 3), as the
// region rule would leave them unexchanged.
TEST(DetectObjects, CutsAnyCornersToTheImage)
{
    const Rows dots = {{9, 9, 9, 9, 9, 9},  //
                       {9, 0, 9, 9, 0, 9},
                       {9, 9, 9, 9, 9, 9},
                       {0, 9, 9, 0, 9, 9}};
    struct Case {
        Region corners, cut;
        int count;
    };
    const Case cases[] = {
        {{-5, -5, 9, 9}, {0, 0, 5, 3}, 2},  // (0, 3) and (3, 3) touch the bottom side
        {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {0, 0, 5, 3}, 2},
        {{-1, 0, 2, 2}, {0, 0, 2, 2}, 1},
        {{6, 0, INT_MAX, 3}, {6, 0, 5, 3}, 0},  // wholly right of the image
        {{INT_MIN, 0, -1, 3}, {0, 0, -1, 3}, 0},
        {{0, 4, 5, 400}, {0, 4, 5, 3}, 0},
        {{INT_MAX, INT_MAX, INT_MIN, INT_MIN}, {INT_MAX, INT_MAX, -1, -1}, 0},
    };
    for (int mode : {0, 2})
        for (const Case& c : cases) {
            const Detection d = Detect(dots, mode, 0, c.corners, 5);
            const Detection expected = Detect(dots, mode, 0, c.cut, 5);
            // Dark dots; in the band mode the 9s join every dot into one object.
            EXPECT_EQ(d.count, mode == 0 ? c.count : 0) << c.corners.X1 << ", " << c.corners.Y1;
            EXPECT_EQ(d.objects, expected.objects);
            EXPECT_EQ(ToRows(d.image, 6, 4), ToRows(expected.image, 6, 4));
        }
}

TEST(DetectObjects, ALabelTableOfAnySizeGivesTheExactObjects)
{
    // A 402 x 402 checkerboard needs 80 802 labels, past the 60 000 a
    // fixed table would hold; every dark square is its own one-pixel object.
    const int side = 402;
    GrayImage image = NewGrayImage(side, side);
    for (int x = 0; x < side; ++x)
        for (int y = 0; y < side; ++y)
            image[x][y] = (x + y) % 2 ? 200 : 0;
    IntImage labels = NewIntImage(2, side);
    ObjectTable objects;
    const int count = DetectObjects(image, labels, objects, 0, 0, 0, 0, side - 1, side - 1, side, side);
    EXPECT_EQ(LabelCount(), side * side / 2);
    EXPECT_EQ(count, 400 * 400 / 2);
    EXPECT_EQ(objects.back(), (DetectedObject{400, 400, 400, 400, 1}));
    EXPECT_EQ(LabelColumn(labels, 401)[401], side * side / 2 - 1);
    EXPECT_EQ(LabelColumn(labels, 400)[401], kUnlabelled);
}

TEST(LabelTable, JoiningKeepsTheSmallestLabelAsRootAndResolvingFoldsTheRecords)
{
    IntImage labels = NewIntImage(2, 1);
    ClearLabels(labels, 1);
    for (int x = 0; x < 4; ++x)
        NewLabel(labels, x, 0);
    GrowLabel(3, 3, 5);
    JoinLabels(3, 2);
    JoinLabels(1, 3);  // roots 1 and 2: 2 goes under 1
    JoinLabels(0, 3);
    EXPECT_EQ(FindRoot(3, 2), 0);
    EXPECT_EQ(LabelTable()[2].root, 0);  // the root is stored in the start label's record
    for (const LabelRecord& r : LabelTable())
        EXPECT_LE(r.parent, &r - LabelTable().data());
    ResolveLabels();
    EXPECT_EQ(LabelTable()[0].area, 5);
    EXPECT_EQ(LabelTable()[0].maxX, 3);
    EXPECT_EQ(LabelTable()[0].maxY, 5);
    EXPECT_EQ(LabelTable()[3].root, 0);
    ClearLabels(labels, 1);
    EXPECT_EQ(LabelCount(), 0);
    EXPECT_EQ(labels[0][0], kUnlabelled);
    EXPECT_EQ(labels[1][0], kUnlabelled);
}

TEST(LabelTable, ThePixelRulesAppliedOneByOneGiveTheTableOfThePass)
{
    // LabelEdgePixel and LabelInnerPixel are the rules; the pass applies them run
    // by run and, on broken-up columns, without branches. Both give the same table.
    std::mt19937 rng(5);
    for (int round = 0; round < 40; ++round) {
        const int width = 2 + static_cast<int>(rng() % 30), height = 2 + static_cast<int>(rng() % 30);
        GrayImage image = NewGrayImage(width, height);
        const unsigned density = 20 + rng() % 70;
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                image[x][y] = rng() % 100 < density ? 10 : 200;
        const int X1 = static_cast<int>(rng() % 2), Y1 = static_cast<int>(rng() % 2);
        const int X2 = width - 1, Y2 = height - 1;

        IntImage labels = NewIntImage(2, height);
        ClearLabels(labels, height);
        LabelDarkPixels(image, labels, 10, X1, Y1, X2, Y2);
        const std::vector<LabelRecord> pass(LabelTable().begin(), LabelTable().end());

        ClearLabels(labels, height);
        for (int x = X1; x <= X2; ++x) {
            std::fill_n(LabelColumn(labels, x), height, kUnlabelled);
            for (int y = Y1; y <= Y2; ++y)
                if (image[x][y] <= 10) {
                    if (x == X1 || y == Y1)
                        LabelEdgePixel(labels, x, y, X1, Y1);
                    else
                        LabelInnerPixel(labels, x, y);
                }
        }
        ResolveLabels();
        ASSERT_EQ(LabelCount(), static_cast<int>(pass.size())) << "round " << round;
        for (int j = 0; j < LabelCount(); ++j) {
            const LabelRecord& a = LabelTable()[static_cast<std::size_t>(j)];
            const LabelRecord& b = pass[static_cast<std::size_t>(j)];
            ASSERT_EQ((std::vector{a.parent, a.area, a.minX, a.minY, a.maxX, a.maxY, a.root}),
                      (std::vector{b.parent, b.area, b.minX, b.minY, b.maxX, b.maxY, b.root}))
                << "round " << round << " label " << j;
        }
    }
}

// ---- The fast detection against the literal one ---------------------------

namespace {

// Scenes of a few gray levels: blobs of many shapes (filled boxes, discs, rings,
// U shapes in four turns, lines), diagonal touches, single pixels and noise.
constexpr int kLevels[] = {0, 20, 50, 51, 100, 128, 199, 200, 201, 255};

int RandomLevel(std::mt19937& rng) { return kLevels[rng() % std::size(kLevels)]; }

GrayImage RandomScene(std::mt19937& rng, int width, int height)
{
    GrayImage image = Filled(width, height, RandomLevel(rng));
    auto set = [&](int x, int y, int v) {
        if (x >= 0 && x < width && y >= 0 && y < height)
            image[x][y] = static_cast<std::uint8_t>(v);
    };
    auto coordinate = [&](int size) { return static_cast<int>(rng() % static_cast<unsigned>(size + 4)) - 2; };
    const int shapes = static_cast<int>(rng() % 12);
    for (int s = 0; s < shapes; ++s) {
        const int v = RandomLevel(rng);
        const int cx = coordinate(width), cy = coordinate(height);
        const int a = 1 + static_cast<int>(rng() % 8), b = 1 + static_cast<int>(rng() % 8);
        switch (rng() % 7) {
        case 0:  // filled box
            for (int x = cx; x < cx + a; ++x)
                for (int y = cy; y < cy + b; ++y)
                    set(x, y, v);
            break;
        case 1:  // disc or ring
        {
            const bool ring = rng() % 2;
            for (int x = cx - a; x <= cx + a; ++x)
                for (int y = cy - a; y <= cy + a; ++y) {
                    const int d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                    if (d <= a * a && (!ring || d >= (a - 1) * (a - 1)))
                        set(x, y, v);
                }
            break;
        }
        case 2:  // U shape, opening up, down, left or right
        {
            const int turn = static_cast<int>(rng() % 4);
            for (int i = 0; i <= a + 1; ++i)
                for (int j = 0; j <= b + 1; ++j) {
                    const bool arm = i == 0 || i == a + 1 || j == b + 1;
                    if (!arm)
                        continue;
                    const int u = turn % 2 ? j : i, w = turn % 2 ? i : j;
                    set(cx + (turn >= 2 ? -u : u), cy + (turn >= 2 ? -w : w), v);
                }
            break;
        }
        case 3:  // a diagonal staircase of pixels touching at corners
            for (int i = 0; i < a + 2; ++i)
                set(cx + i, cy + (rng() % 2 ? i : -i), v);
            break;
        case 4:  // a single pixel
            set(cx, cy, v);
            break;
        case 5:  // a line across
            for (int i = 0; i < width; ++i)
                set(i, cy, v);
            break;
        default:  // a comb: runs down many columns that join at the bottom
            for (int i = 0; i < 2 * a; i += 2)
                for (int j = 0; j <= b; ++j)
                    set(cx + i, cy + j, v);
            for (int i = 0; i < 2 * a; ++i)
                set(cx + i, cy + b, v);
            break;
        }
    }
    const int noise = static_cast<int>(rng() % 4);  // 0 %, some, half, most of the pixels
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            if (noise > 0 && static_cast<int>(rng() % 6) < noise * 2 - 1)
                set(x, y, rng() % 2 ? RandomLevel(rng) : static_cast<int>(rng() & 255));
    return image;
}

// A threshold on, or next to, a level of the scene, or anywhere, or out of range.
int RandomThreshold(std::mt19937& rng)
{
    switch (rng() % 4) {
    case 0: return RandomLevel(rng);
    case 1: return RandomLevel(rng) + (rng() % 2 ? 1 : -1);
    case 2: return static_cast<int>(rng() % 256);
    default: return rng() % 2 ? -1 - static_cast<int>(rng() % 5) : 256 + static_cast<int>(rng() % 5);
    }
}

// A region as the window reads it: corners anywhere near the picture, ordered
// and clamped; sometimes the whole picture, a single pixel, or nothing.
Region RandomRegion(std::mt19937& rng, int width, int height)
{
    switch (rng() % 5) {
    case 0: return {0, 0, width - 1, height - 1};
    case 1: {
        const int x = static_cast<int>(rng() % static_cast<unsigned>(width));
        const int y = static_cast<int>(rng() % static_cast<unsigned>(height));
        return {x, y, x, y};
    }
    default: {
        auto near = [&](int size) { return static_cast<int>(rng() % static_cast<unsigned>(size + 6)) - 3; };
        return OrderAndClampRegion(near(width), near(height), near(width), near(height), width, height);
    }
    }
}

std::string Describe(const ObjectTable& objects)
{
    std::ostringstream s;
    for (const DetectedObject& o : objects)
        s << "(" << o.minX << "," << o.minY << "," << o.maxX << "," << o.maxY << " a" << o.area << ") ";
    return s.str();
}

// The two columns the label image keeps at the end are the region's last two.
void ExpectSameLastColumns(IntImage& window, const IntImage& full, const Region& r)
{
    for (int x = std::max(r.X1, r.X2 - 1); x <= r.X2; ++x)
        for (int y = r.Y1; y <= r.Y2; ++y)
            ASSERT_EQ(LabelColumn(window, x)[y], full[x][y]) << "label at " << x << "," << y;
}

}  // namespace

TEST(LabelTable, DenseColumnsAcrossWordsGiveTheTableOfThePixelRules)
{
    // Columns taller than one 64-pixel word of the bit string, some starting
    // below row 0: the upper neighbour must carry over from one word to the
    // next, and the joins made after each column must leave every record as
    // joining pixel by pixel does. Densities from broken up (the dense pass)
    // to nearly full (runs, the sparse pass), in the same picture's columns.
    struct Case {
        int width, height, Y1, density;
    };
    const Case cases[] = {{9, 63, 0, 50}, {7, 64, 0, 45}, {8, 65, 1, 55}, {12, 130, 3, 50},
                          {6, 200, 64, 35}, {10, 129, 63, 70}, {5, 300, 0, 90}, {11, 66, 2, 25}};
    std::mt19937 rng(4711);
    for (const Case& c : cases) {
        for (int round = 0; round < 4; ++round) {
            GrayImage image = NewGrayImage(c.width, c.height);
            for (int x = 0; x < c.width; ++x) {
                // Every third column much sparser: dense and sparse passes meet.
                const int density = x % 3 == 2 ? c.density / 4 : c.density;
                for (int y = 0; y < c.height; ++y)
                    image[x][y] = static_cast<int>(rng() % 100) < density ? 10 : 200;
            }
            const int X1 = round % 2, X2 = c.width - 1, Y2 = c.height - 1;
            SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " Y1 " << c.Y1
                                              << " density " << c.density << " round " << round);

            IntImage labels = NewIntImage(2, c.height);
            ClearLabels(labels, c.height);
            LabelDarkPixels(image, labels, 10, X1, c.Y1, X2, Y2);
            const std::vector<LabelRecord> pass(LabelTable().begin(), LabelTable().end());
            const std::vector<std::int32_t> lastColumn(LabelColumn(labels, X2) + c.Y1,
                                                       LabelColumn(labels, X2) + c.height);

            ClearLabels(labels, c.height);
            for (int x = X1; x <= X2; ++x) {
                std::fill_n(LabelColumn(labels, x), c.height, kUnlabelled);
                for (int y = c.Y1; y <= Y2; ++y)
                    if (image[x][y] <= 10) {
                        if (x == X1 || y == c.Y1)
                            LabelEdgePixel(labels, x, y, X1, c.Y1);
                        else
                            LabelInnerPixel(labels, x, y);
                    }
            }
            ResolveLabels();
            ASSERT_EQ(LabelCount(), static_cast<int>(pass.size()));
            EXPECT_GT(LabelCount(), c.width);  // the columns do hold many objects
            for (int j = 0; j < LabelCount(); ++j) {
                const LabelRecord& a = LabelTable()[static_cast<std::size_t>(j)];
                const LabelRecord& b = pass[static_cast<std::size_t>(j)];
                ASSERT_EQ((std::vector{a.parent, a.area, a.minX, a.minY, a.maxX, a.maxY, a.root}),
                          (std::vector{b.parent, b.area, b.minX, b.minY, b.maxX, b.maxY, b.root}))
                    << "label " << j;
            }
            EXPECT_EQ(std::vector<std::int32_t>(LabelColumn(labels, X2) + c.Y1,
                                                LabelColumn(labels, X2) + c.height),
                      lastColumn);
        }
    }
}

TEST(DetectObjects, MatchesTheLiteralVersionOnRandomScenes)
{
    std::mt19937 rng(20240611);
    int found = 0;
    for (int round = 0; round < 1500; ++round) {
        const int width = 1 + static_cast<int>(rng() % (round % 10 == 0 ? 90 : 30));
        const int height = 1 + static_cast<int>(rng() % (round % 10 == 5 ? 90 : 30));
        const GrayImage scene = RandomScene(rng, width, height);
        const Region r = RandomRegion(rng, width, height);
        const int mode = rng() % 10 == 0 ? (rng() % 2 ? -1 : 3) : static_cast<int>(rng() % 3);
        const int t = RandomThreshold(rng), upper = RandomThreshold(rng);
        SCOPED_TRACE(::testing::Message() << "round " << round << " " << width << "x" << height
                                          << " region " << r.X1 << "," << r.Y1 << "," << r.X2
                                          << "," << r.Y2 << " mode " << mode << " t " << t
                                          << " upper " << upper);

        GrayImage fast = Copy(scene, width, height), literal = Copy(scene, width, height);
        IntImage fastLabels = NewIntImage(2, height), literalLabels = NewIntImage(width, height);
        ObjectTable fastObjects{{9, 9, 9, 9, 9}}, literalObjects;
        int fastCount, literalCount;
        if (mode == 2) {
            fastCount = DetectBandObjects(fast, fastLabels, fastObjects, t, upper, r.X1, r.Y1,
                                          r.X2, r.Y2, width, height);
            literalCount = ReferenceDetectBandObjects(literal, literalLabels, literalObjects, t,
                                                      upper, r.X1, r.Y1, r.X2, r.Y2, width, height);
        } else {
            fastCount = DetectObjects(fast, fastLabels, fastObjects, mode, t, r.X1, r.Y1, r.X2,
                                      r.Y2, width, height);
            literalCount = ReferenceDetectObjects(literal, literalLabels, literalObjects, mode, t,
                                                  r.X1, r.Y1, r.X2, r.Y2, width, height);
        }
        ASSERT_EQ(fastCount, literalCount);
        ASSERT_EQ(fastObjects, literalObjects) << Describe(fastObjects) << "\n vs "
                                               << Describe(literalObjects);
        ASSERT_EQ(FirstDifference(fast, literal, width, height), "");
        if (mode >= 0 && mode <= 2)
            ExpectSameLastColumns(fastLabels, literalLabels, r);
        // The table: the same labels, the same root for each, the same measures.
        ASSERT_EQ(LabelCount(), ReferenceLabelCount());
        for (int j = 0; j < LabelCount(); ++j) {
            const LabelRecord a = LabelTable()[static_cast<std::size_t>(j)];
            const LabelRecord b = ReferenceLabelRecord(j);
            ASSERT_EQ(a.root, b.root) << "label " << j;
            ASSERT_EQ((std::vector{a.area, a.minX, a.minY, a.maxX, a.maxY}),
                      (std::vector{b.area, b.minX, b.minY, b.maxX, b.maxY}))
                << "label " << j;
        }
        found += fastCount;
    }
    EXPECT_GT(found, 1000);  // the scenes do hold objects inside their regions
}

TEST(DetectObjects, MatchesTheLiteralVersionOnDenseNoise)
{
    // Half the pixels dark at random: long chains of joins and roots deep in the table.
    std::mt19937 rng(77);
    for (int round = 0; round < 6; ++round) {
        const int width = 150 + round * 31, height = 170 - round * 13;
        GrayImage scene = NewGrayImage(width, height);
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                scene[x][y] = static_cast<int>(rng() % 100) < 45 + round * 3 ? 0 : 255;
        GrayImage fast = Copy(scene, width, height), literal = Copy(scene, width, height);
        IntImage fastLabels = NewIntImage(2, height), literalLabels = NewIntImage(width, height);
        ObjectTable fastObjects, literalObjects;
        const int X2 = width - 1 - round, Y2 = height - 1;
        DetectObjects(fast, fastLabels, fastObjects, 0, 0, round, 1, X2, Y2, width, height);
        ReferenceDetectObjects(literal, literalLabels, literalObjects, 0, 0, round, 1, X2, Y2,
                               width, height);
        EXPECT_EQ(fastObjects, literalObjects) << "round " << round;
        EXPECT_TRUE(SameImage(fast, literal, width, height)) << "round " << round;
    }
}

TEST(DetectObjects, FillsACallersFiveColumnObjectTable)
{
    // Two dark squares inside a 10 x 8 region of a bright picture.
    GrayImage image = Filled(12, 10, 200);
    for (int x = 2; x <= 3; ++x)
        for (int y = 2; y <= 4; ++y)
            image[x][y] = 10;
    image[6][5] = 10;
    IntImage labels = NewIntImage(12, 10);
    IntImage objects = NewIntImage(5, kObjectRows);
    const int count = DetectObjects(image, labels, objects, 0, 50, 0, 0, 11, 9, 12, 10);
    ASSERT_EQ(count, 2);
    EXPECT_EQ((std::vector<int>{objects[0][0], objects[1][0], objects[2][0], objects[3][0],
                                objects[4][0]}),
              (std::vector<int>{2, 2, 3, 4, 6}));
    EXPECT_EQ((std::vector<int>{objects[0][1], objects[1][1], objects[2][1], objects[3][1],
                                objects[4][1]}),
              (std::vector<int>{6, 5, 6, 5, 1}));
}

// ---- The labelling in strips against the scan in one strip ----------------

namespace {

// Everything a detection leaves: the count, the objects, the drawn picture,
// the last two label columns over the region's rows and the whole label table.
struct Outcome {
    int count = 0;
    ObjectTable objects;
    std::vector<std::vector<int>> picture;
    std::vector<std::int32_t> lastColumns;
    std::vector<std::vector<std::int32_t>> table;
    friend bool operator==(const Outcome&, const Outcome&) = default;
};

Outcome DetectWith(DetectWork& work, const GrayImage& scene, int width, int height, int mode,
                   int t, Region r)
{
    Outcome o;
    GrayImage image = Copy(scene, width, height);
    IntImage labels = NewIntImage(2, height);
    o.count = DetectObjects(work, image, labels, o.objects, mode, t, r.X1, r.Y1, r.X2, r.Y2,
                            width, height);
    o.picture = ToRows(image, width, height);
    for (int x = std::max(r.X1, r.X2 - 1); x <= r.X2; ++x)
        for (int y = r.Y1; y <= r.Y2; ++y)
            o.lastColumns.push_back(LabelColumn(labels, x)[y]);
    for (const LabelRecord& l : work.LabelTable())
        o.table.push_back({l.parent, l.area, l.minX, l.minY, l.maxX, l.maxY, l.root});
    return o;
}

// Scenes that cross the seams of any strip count: noise of any density,
// snakes winding right and back left over the whole width, staircases whose
// steps touch only at corners, the empty and the full picture, and bars of
// every length, whose boxes start in one piece of columns and end many
// pieces further right.
GrayImage StripScene(std::mt19937& rng, int kind, int width, int height)
{
    GrayImage image = Filled(width, height, 200);
    auto dark = [&](int x, int y) {
        if (x >= 0 && x < width && y >= 0 && y < height)
            image[x][y] = 0;
    };
    switch (kind) {
    case 0: {  // noise
        const unsigned density = 10 + rng() % 85;
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                if (rng() % 100 < density)
                    image[x][y] = 0;
        break;
    }
    case 1:  // snakes: a row across, a step down at alternating ends, and noise
        for (int s = 0; s < 3; ++s) {
            const int step = 2 + static_cast<int>(rng() % 4);
            for (int y = static_cast<int>(rng() % 5) + s; y < height; y += 2 * step) {
                for (int x = 1; x < width - 1; ++x)
                    dark(x, y);
                for (int j = 0; j <= step; ++j)
                    dark((y / (2 * step)) % 2 ? 1 : width - 2, y + j);
            }
        }
        for (int i = 0; i < width * height / 10; ++i)
            dark(static_cast<int>(rng() % static_cast<unsigned>(width)),
                 static_cast<int>(rng() % static_cast<unsigned>(height)));
        break;
    case 2:  // staircases touching at corners only
        for (int start = -height; start < width; start += 3 + static_cast<int>(rng() % 4))
            for (int i = 0; i < height; ++i)
                dark(start + i, i);
        break;
    case 3:  // empty
        break;
    case 5:  // bars across and down, and dots
        for (int i = 0; i < 2 + width * height / 60; ++i) {
            const int x = static_cast<int>(rng() % static_cast<unsigned>(width));
            const int y = static_cast<int>(rng() % static_cast<unsigned>(height));
            const int length = static_cast<int>(rng() % static_cast<unsigned>(width));
            for (int j = 0; j < length; ++j)
                rng() % 2 ? dark(x + j, y) : dark(x, y + j % height);
        }
        break;
    default:  // full
        image = Filled(width, height, 0);
    }
    return image;
}

}  // namespace

TEST(DetectObjects, TheSameInAnyNumberOfStripsOnAnyNumberOfThreads)
{
    std::mt19937 rng(8642);
    DetectWork one, strips;
    one.strips = 1;
    for (int round = 0; round < 180; ++round) {
        const int kind = round % 6;
        // Every tenth picture taller than two words of the bit string.
        const int width = 4 + static_cast<int>(rng() % 70);
        const int height = round % 10 == 9 ? 129 + static_cast<int>(rng() % 80)
                                           : 1 + static_cast<int>(rng() % 60);
        const GrayImage scene = StripScene(rng, kind, width, height);
        const Region r = rng() % 3 ? Region{0, 0, width - 1, height - 1}
                                   : RandomRegion(rng, width, height);
        const int mode = static_cast<int>(rng() % 2), t = mode == 0 ? 100 : 150;
        // Background dark, objects bright in mode 1: the same shapes, inverted.
        const Outcome expected = DetectWith(one, scene, width, height, mode, t, r);
        for (const int count : {2, 3, 7})
            for (const int threads : {1, 2, 3}) {
                SetWorkerCount(threads);
                strips.strips = count;
                ASSERT_EQ(DetectWith(strips, scene, width, height, mode, t, r), expected)
                    << "round " << round << " kind " << kind << " " << width << "x" << height
                    << " strips " << count << " threads " << threads;
            }
    }
    SetWorkerCount(0);
}

TEST(DetectObjects, SharesALargeRegionAmongAnyNumberOfThreadsWithTheLiteralResult)
{
    // Large enough for the strip and piece counts the size picks (a few per
    // worker); noise of three densities, a region off every side.
    std::mt19937 rng(4711);
    constexpr int width = 700, height = 420;
    for (int round = 0; round < 3; ++round) {
        const int density = 35 + round * 7;  // percent of dark pixels
        GrayImage scene = NewGrayImage(width, height);
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                scene[x][y] = static_cast<int>(rng() % 100) < density ? 0 : 255;
        const Region r{3 * round, 1, width - 1 - round, height - 2};
        GrayImage literal = Copy(scene, width, height);
        IntImage literalLabels = NewIntImage(width, height);
        ObjectTable expected;
        ReferenceDetectObjects(literal, literalLabels, expected, 0, 100, r.X1, r.Y1, r.X2, r.Y2,
                               width, height);
        ASSERT_GT(ReferenceLabelCount(), 1 << 15) << "round " << round;  // the pieces are shared
        for (const int threads : {1, 2, 3}) {
            SetWorkerCount(threads);
            DetectWork work;
            GrayImage fast = Copy(scene, width, height);
            IntImage labels = NewIntImage(2, height);
            ObjectTable objects;
            DetectObjects(work, fast, labels, objects, 0, 100, r.X1, r.Y1, r.X2, r.Y2, width,
                          height);
            ASSERT_EQ(objects, expected) << "round " << round << " threads " << threads;
            ASSERT_EQ(FirstDifference(fast, literal, width, height), "")
                << "round " << round << " threads " << threads;
            ASSERT_EQ(work.LabelCount(), ReferenceLabelCount());
            ExpectSameLastColumns(labels, literalLabels, r);
        }
    }
    SetWorkerCount(0);
}
