// tests/MatchPatternTest.cpp
#include "Match_pattern.h"
#include "Match_patternSweep.h"
#include "MatchPatternReference.h"
#include "Parallel.h"
#include "TestImages.h"
#include "VectorLevel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <array>
#include <cstdio>
#include <tuple>
#include <string>

namespace {

int Uniform(std::mt19937& rng, int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

// Silences the score lines for the whole test run.
struct QuietTrace {
    QuietTrace() { SetMatchTrace(nullptr); }
};
const QuietTrace quiet;

// Runs the product and the reference on copies of the scene and compares the
// rows, the result table and the image with its outlines.
void ExpectSameSearch(const PatternScene& s, float angle, const std::string& label)
{
    GrayImage mine = Copy(s.image, s.width, s.height);
    GrayImage theirs = Copy(s.image, s.width, s.height);
    FloatImage results;
    const int n = MatchPattern(mine, s.mark, results, 0, 0, s.tw, s.th, angle, s.width, s.height);
    const std::vector<ReferenceCandidate> expected =
        ReferenceMatchPattern(theirs, s.mark, s.tw, s.th, angle, s.width, s.height);
    ASSERT_EQ(n, static_cast<int>(expected.size())) << label;
    const std::vector<Candidate>& table = CandidateTable();
    for (int i = 0; i < n; ++i) {
        const ReferenceCandidate& e = expected[static_cast<std::size_t>(i)];
        const Candidate& c = table[static_cast<std::size_t>(i)];
        ASSERT_TRUE(c.x == e.x && c.y == e.y && c.angle == e.angle && c.score == e.score)
            << label << " row " << i << ": (" << c.x << "," << c.y << "," << c.angle << ","
            << c.score << ") vs (" << e.x << "," << e.y << "," << e.angle << "," << e.score
            << ")";
        ASSERT_EQ(results[0][i], static_cast<float>(e.x));
        ASSERT_EQ(results[1][i], static_cast<float>(e.y));
        ASSERT_EQ(results[2][i], static_cast<float>(e.x + s.tw));
        ASSERT_EQ(results[3][i], static_cast<float>(e.y + s.th));
        ASSERT_EQ(results[4][i], e.angle);
        ASSERT_EQ(results[5][i], e.score);
    }
    ASSERT_EQ(FirstDifference(mine, theirs, s.width, s.height), "") << label;
}

}  // namespace

TEST(MatchPattern, EqualsTheLiteralSearchOnRandomScenes)
{
    std::mt19937 rng(5150);
    long long rescored = 0, outlined = 0;
    for (int round = 0; round < 240; ++round) {
        const float angle = std::array{0.0f, 0.0f, 1.0f, 5.0f}[static_cast<std::size_t>(round % 4)];
        // Marks of 5 to 22 pixels, and every third one of up to 44, so that columns of
        // 16 and of 32 placements are scored side by side too.
        const bool large = round % 3 == 2;
        const PatternScene s = RandomPatternScene(rng, large ? 70 : 30, large ? 120 : 90,
                                                  angle == 0.0f ? 5 : 8, large ? 44 : 22,
                                                  angle != 0.0f);
        SetWorkerCount(round % 3 == 0 ? 1 : 3);
        const ScopedVectorLimit limit(kVectorLevels[round / 4 % 4]);
        ExpectSameSearch(s, angle, "round " + std::to_string(round));
        rescored += LastFineStageCounts().rescored;
        for (const Candidate& c : CandidateTable())
            outlined += c.score > 0.9f;
    }
    SetWorkerCount(0);
    EXPECT_GT(outlined, 100);  // the scenes do hold matches whose outlines others read
    EXPECT_GT(rescored, 0);
}

TEST(MatchPattern, EqualsTheLiteralSearchAtWideAngles)
{
    std::mt19937 rng(777);
    for (int round = 0; round < 24; ++round) {
        const float angle = round % 2 == 0 ? 30.0f : 360.0f;
        const PatternScene s = RandomPatternScene(rng, 30, 60, 8, 16, true);
        SetWorkerCount(round % 3 == 0 ? 1 : 2);
        const ScopedVectorLimit limit(kVectorLevels[round / 2 % 4]);
        ExpectSameSearch(s, angle, "round " + std::to_string(round));
    }
    SetWorkerCount(0);
}

TEST(MatchPattern, EqualsTheLiteralSearchOnBinaryNoise)
{
    // Black and white noise puts the ring shares near 0.5, a few hundredths
    // apart: many placements pass or fail the ring test on their exact counts.
    std::mt19937 rng(99);
    auto binary = [&](int width, int height) {
        GrayImage image = NewGrayImage(width, height);
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                image[x][y] = (rng() & 1) != 0 ? 255 : 0;
        return image;
    };
    int passes = 0;
    for (int round = 0; round < 16; ++round) {
        PatternScene s;
        s.width = Uniform(rng, 90, 130);
        s.height = Uniform(rng, 90, 130);
        s.tw = Uniform(rng, 30, 40);
        s.th = Uniform(rng, 30, 40);
        s.image = binary(s.width, s.height);
        s.mark = binary(s.tw, s.th);
        SetWorkerCount(round % 2 == 0 ? 1 : 2);
        const ScopedVectorLimit limit(kVectorLevels[round % 4]);
        ExpectSameSearch(s, round % 3 == 0 ? 0.0f : static_cast<float>(round % 4), "round " + std::to_string(round));
        for (const Candidate& c : CandidateTable())
            passes += c.score > 0.0f;
    }
    SetWorkerCount(0);
    EXPECT_GT(passes, 50);
}

TEST(MatchPattern, EqualsTheLiteralSearchWhereEveryBlockMatches)
{
    // A flat scene and a flat template: every candidate is outlined and every
    // outline touches the candidates after it, so columns scored ahead would
    // nearly all be scored again; the search then goes one candidate at a time.
    std::mt19937 rng(64);
    for (int round = 0; round < 6; ++round) {
        PatternScene s;
        s.width = Uniform(rng, 150, 200);
        s.height = Uniform(rng, 150, 200);
        s.tw = Uniform(rng, 8, 12);
        s.th = Uniform(rng, 8, 12);
        s.image = Filled(s.width, s.height, 100);
        AddSceneNoise(rng, s.image, s.width, s.height, round % 2);
        s.mark = Filled(s.tw, s.th, 100);
        SetWorkerCount(round % 3 == 0 ? 1 : 2);
        ExpectSameSearch(s, round < 4 ? 0.0f : 2.0f, "round " + std::to_string(round));
        const FineStageCounts counts = LastFineStageCounts();
        EXPECT_LT(counts.rescored * 4, counts.columns) << round;
    }
    SetWorkerCount(0);
}

TEST(MeasureTemplate, CountsBlocksRoundingUpAndMeasuresAFlatTemplate)
{
    const GrayImage white = Filled(100, 100, 255);
    int nx = 0, ny = 0;
    MeasureTemplate(white, 0, 0, 100, 100, 512, 500, nx, ny);
    EXPECT_EQ(nx, 6);  // 512 / 100 = 5, plus one for the rest
    EXPECT_EQ(ny, 5);  // 500 / 100 exactly
    const TemplateModel& m = CurrentTemplateModel();
    EXPECT_EQ(m.threshold, 255);  // no gradient anywhere
    EXPECT_EQ(m.brightCount, 10000);
    EXPECT_EQ(m.darkCount, 0);
    const GrayImage gray = Filled(7, 9, 254);
    MeasureTemplate(gray, 0, 0, 7, 9, 70, 10, nx, ny);
    EXPECT_EQ(m.threshold, 255);
    EXPECT_EQ(m.brightCount, 0);
    EXPECT_EQ(m.darkCount, 63);
    EXPECT_EQ(nx, 10);
    EXPECT_EQ(ny, 2);
    MeasureTemplate(white, 0, 0, 100, 100, 512, 512, nx, ny);  // 5 whole blocks and a part each way
    EXPECT_EQ(nx, 6);
    EXPECT_EQ(ny, 6);
}

TEST(FindCandidateBlocks, LeavesOutTheLastColumnAndRowAndAddsTheNeighbours)
{
    const GrayImage white = Filled(5, 5, 255);
    int nx = 0, ny = 0;
    MeasureTemplate(white, 0, 0, 5, 5, 10, 10, nx, ny);  // 25 bright, 0 dark
    const GrayImage image = Filled(10, 10, 255);
    // Bright counts: block (0, 0) 25, (1, 0) and (0, 1) 20 (the last column or row
    // does not count), (1, 1) 16. Alone, (1, 1) holds 16 < 0.98 · 25.
    ASSERT_EQ(FindCandidateBlocks(image, nx, ny, 10, 10), 3);
    const std::vector<Candidate>& table = CandidateTable();
    EXPECT_TRUE(table[0].x == 0 && table[0].y == 0);
    EXPECT_TRUE(table[1].x == 0 && table[1].y == 5);  // block column outer, row inner
    EXPECT_TRUE(table[2].x == 5 && table[2].y == 0);
}

TEST(FindCandidateBlocks, KeepsEveryBlockOfALargeGrid)
{
    // 200 x 200 blocks, 39 999 of them candidates: once past 100 blocks a side and
    // 6000 candidates, a fixed table would have dropped matches.
    const GrayImage white = Filled(5, 5, 255);
    int nx = 0, ny = 0;
    MeasureTemplate(white, 0, 0, 5, 5, 1000, 1000, nx, ny);
    const GrayImage image = Filled(1000, 1000, 255);
    ASSERT_EQ(FindCandidateBlocks(image, nx, ny, 1000, 1000), 39999);
    EXPECT_EQ(CandidateTable().back().x, 995);  // block (199, 198); (199, 199) alone has 16
    EXPECT_EQ(CandidateTable().back().y, 990);
}

TEST(SampledDifference, SumsTheFivePixelLatticeAndDividesBy255InIntegers)
{
    // A 7 x 6 template is sampled at columns 0 and 5, rows 0 and 5.
    GrayImage templ = Filled(7, 6, 0);
    int nx = 0, ny = 0;
    MeasureTemplate(templ, 0, 0, 7, 6, 20, 12, nx, ny);
    GrayImage image = Filled(20, 12, 0);
    image[3 + 0][2 + 0] = 255;
    image[3 + 5][2 + 5] = 254;  // 509 in all: d = 1, not 1.996
    image[3 + 1][2 + 1] = 255;  // between lattice points: not read
    EXPECT_EQ(SampledDifference(image, templ, 3, 2, 20, 12), 1.0f);
    EXPECT_EQ(SampledDifference(image, templ, 15, 0, 20, 12), -1.0f);  // column 15 + 5 is outside
    EXPECT_EQ(SampledDifference(image, templ, 0, 7, 20, 12), -1.0f);   // row 7 + 5 is outside
    EXPECT_EQ(SampledDifference(image, templ, 14, 6, 20, 12), 0.0f);   // the last that fits
}

TEST(MatchPattern, FindsATemplateCutFromTheImageAtItsCornerWithScoreOne)
{
    // On noise no other placement comes near, so the corner is the only score 1
    // (on flat ground an earlier placement may score 1 too: d counts whole 255s,
    // and so may one on noise when the lattice has only a few samples).
    std::mt19937 rng(31);
    for (int round = 0; round < 20; ++round) {
        const int width = Uniform(rng, 60, 120), height = Uniform(rng, 60, 120);
        const GrayImage image = RandomImage(rng, width, height);
        const int tw = Uniform(rng, 16, 30), th = Uniform(rng, 16, 30);
        const int x0 = Uniform(rng, 0, width - tw - 1), y0 = Uniform(rng, 0, height - th - 1);
        GrayImage templ = NewGrayImage(tw, th);
        for (int x = 0; x < tw; ++x)
            for (int y = 0; y < th; ++y)
                templ[x][y] = image[x0 + x][y0 + y];
        for (float angle : {0.0f, 3.0f}) {
            GrayImage work = Copy(image, width, height);
            FloatImage results;
            const int n = MatchPattern(work, templ, results, 0, 0, tw, th, angle, width, height);
            if (angle != 0.0f && (x0 + tw / 2 + CurrentRotationModel().R >= width ||
                                  y0 + th / 2 + CurrentRotationModel().R >= height))
                continue;  // rings past the edge: the placement is never tried
            const auto& table = CandidateTable();
            const auto it = std::find_if(table.begin(), table.end(), [&](const Candidate& c) {
                return c.x == x0 && c.y == y0;
            });
            ASSERT_NE(it, table.end()) << "round " << round << " angle " << angle << " n " << n;
            EXPECT_EQ(it->angle, 0.0f);  // a later angle must score strictly more than 1
            EXPECT_EQ(it->score, 1.0f);
            EXPECT_EQ(work[x0][y0], 128);  // outlined
        }
    }
}

TEST(MatchPattern, ALaterCandidateReadsTheOutlineOfAnEarlierOne)
{
    // A 10 x 10 template: an L of 128 (left column, top row) on black, threshold
    // 128, 19 bright pixels. The scene holds one copy at (0, 0) and a bright patch
    // that makes the blocks to its right candidates.
    GrayImage templ = Filled(10, 10, 0);
    for (int k = 0; k < 10; ++k)
        templ[0][k] = templ[k][0] = 128;
    GrayImage image = Filled(40, 20, 0);
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 10; ++y)
            image[x][y] = templ[x][y];
    for (int x = 25; x < 30; ++x)
        for (int y = 14; y < 18; ++y)
            image[x][y] = 200;
    // Before any outline, placement (10, 0) samples 0, 0, 0, 0 against 128, 128,
    // 128, 0: 384 / 255 = 1, score 1 − 1/4.
    int nx = 0, ny = 0;
    MeasureTemplate(templ, 0, 0, 10, 10, 40, 20, nx, ny);
    EXPECT_EQ(CurrentTemplateModel().threshold, 128);
    EXPECT_EQ(CurrentTemplateModel().brightCount, 19);
    EXPECT_EQ(SampledDifference(image, templ, 10, 0, 40, 20), 1.0f);
    FloatImage results;
    ASSERT_EQ(MatchPattern(image, templ, results, 0, 0, 10, 10, 0.0f, 40, 20), 5);
    const std::vector<Candidate>& table = CandidateTable();
    EXPECT_TRUE(table[0].x == 0 && table[0].y == 0 && table[0].score == 1.0f);
    // The first outline's right side, column 10 rows 0..9, now matches the L's
    // column: 128 / 255 = 0, score 1 at the block's first placement.
    EXPECT_TRUE(table[1].x == 10 && table[1].y == 0 && table[1].score == 1.0f)
        << table[1].x << "," << table[1].y << " " << table[1].score;
    EXPECT_EQ(image[10][5], 128);
    EXPECT_EQ(image[20][5], 128);  // and so on: the second outline's right side
}

TEST(MatchPattern, ListsEveryCandidateAndOutlinesOnlyScoresAbove09)
{
    std::mt19937 rng(404);
    const PatternScene s = RandomPatternScene(rng, 120, 120, 16, 16, false);
    GrayImage work = Copy(s.image, s.width, s.height);
    FloatImage results;
    const int n = MatchPattern(work, s.mark, results, 0, 0, s.tw, s.th, 0.0f, s.width, s.height);
    ASSERT_GT(n, 3);
    int low = 0;
    for (int i = 0; i < n; ++i) {
        const float score = results[5][i];
        EXPECT_GE(score, 0.0f);
        EXPECT_EQ(results[4][i], 0.0f);
        // 16 x 16: N = 9, so scores are whole ninths.
        EXPECT_EQ(score, 1.0f - std::round((1.0f - score) * 9.0f) / 9.0f);
        low += score <= 0.9f;
    }
    EXPECT_GT(low, 0);
}

TEST(MatchPattern, RefusesTemplatesItCannotScoreAndChangesNothing)
{
    EXPECT_EQ(CheckTemplateSize(0, 9, 0.0f), TemplateFit::Empty);
    EXPECT_EQ(CheckTemplateSize(4, 9, 0.0f), TemplateFit::TooSmallForZeroAngle);
    EXPECT_EQ(CheckTemplateSize(5, 5, 0.0f), TemplateFit::Usable);
    EXPECT_EQ(CheckTemplateSize(7, 9, 1.0f), TemplateFit::TooSmallForRotation);
    EXPECT_EQ(CheckTemplateSize(8, 8, 360.0f), TemplateFit::Usable);

    const GrayImage templ = Filled(8, 8, 255);
    GrayImage image = Filled(40, 40, 255);
    FloatImage results;
    ASSERT_EQ(MatchPattern(image, templ, results, 0, 0, 8, 8, 0.0f, 40, 40), 24);  // 5 x 5 − 1
    for (const auto& [w, h, angle] : {std::tuple{4, 8, 0.0f}, std::tuple{8, 0, 0.0f},
                                      std::tuple{7, 8, 30.0f}}) {
        FloatImage none;
        EXPECT_EQ(MatchPattern(image, templ, none, 0, 0, w, h, angle, 40, 40), 0);
        EXPECT_FALSE(none);
        EXPECT_EQ(CandidateTable().size(), 24u);  // the last search stays
        EXPECT_EQ(CurrentTemplateModel().tw, 8);
    }
}

TEST(MatchPattern, CancelledByProgressReturnsMinusOneAndNoResults)
{
    std::mt19937 rng(8);
    const PatternScene s = RandomPatternScene(rng, 300, 300, 12, 12, false);
    GrayImage work = Copy(s.image, s.width, s.height);
    FloatImage results;
    int calls = 0;
    // Progress is reported after the first batch of columns, then every 20 ms.
    const int n = MatchPattern(work, s.mark, results, 0, 0, s.tw, s.th, 0.0f, s.width, s.height,
                               [&](double done) {
                                   EXPECT_TRUE(done > 0.0 && done < 1.0);
                                   ++calls;
                                   return false;
                               });
    EXPECT_EQ(n, -1);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(results);

    calls = 0;
    GrayImage again = Copy(s.image, s.width, s.height);
    const int all = MatchPattern(again, s.mark, results, 0, 0, s.tw, s.th, 0.0f, s.width,
                                 s.height, [&](double) { return ++calls > 0; });
    EXPECT_GE(calls, 1);
    EXPECT_GT(all, 0);
    EXPECT_TRUE(results);
}

TEST(MatchPattern, WritesOneScoreLinePerCandidateInZeroAngleMode)
{
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    SetMatchTrace(out);
    const GrayImage templ = Filled(8, 8, 255);
    GrayImage image = Filled(24, 16, 255);
    FloatImage results;
    const int n = MatchPattern(image, templ, results, 0, 0, 8, 8, 0.0f, 24, 16);
    MatchPattern(image, templ, results, 0, 0, 8, 8, 5.0f, 24, 16);  // rotated: no lines
    SetMatchTrace(nullptr);
    std::rewind(out);
    char text[256] = {};
    const std::size_t length = std::fread(text, 1, sizeof text - 1, out);
    std::fclose(out);
    std::string expected;
    for (int i = 0; i < n; ++i)
        expected += "=====> score = 1.000000\n";
    EXPECT_EQ(std::string(text, length), expected);
    EXPECT_EQ(n, 5);  // 3 x 2 blocks; the last alone holds 7 x 7 of 64
}

TEST(PrepareRotationModel, SetsStepsGridAndRingsOfA10By20Template)
{
    GrayImage templ = NewGrayImage(10, 20);
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 20; ++y)
            templ[x][y] = static_cast<std::uint8_t>(x * 20 + y);
    int nx = 0, ny = 0;
    MeasureTemplate(templ, 0, 0, 10, 20, 10, 20, nx, ny);
    PrepareRotationModel(templ, 10, 20);
    const RotationModel& m = CurrentRotationModel();
    EXPECT_EQ(m.cx, 5);
    EXPECT_EQ(m.cy, 10);
    EXPECT_EQ(m.R, 5);
    EXPECT_EQ(m.sx, 2);
    EXPECT_EQ(m.sy, 4);
    EXPECT_EQ(m.columns, 5);
    EXPECT_EQ(m.rows, 5);
    EXPECT_EQ(m.grid[3 * 5 + 4], templ[6][16]);
    EXPECT_EQ(m.step, 1);
    ASSERT_EQ(m.ringProfile.size(), 5u);  // radii 1, 2, 3, 4 after the unused entry 0
    for (int r = 1; r <= 4; ++r)
        EXPECT_EQ(m.ringProfile[static_cast<std::size_t>(r)], RingFraction(templ, r, 5, 10, 10, 20));

    // Radii by R: 4 gives 1, 2, 3; 7 gives 2, 4, 6; 6 and 8 or more give two.
    for (const auto& [side, rings] : {std::pair{8, 3}, std::pair{14, 3}, std::pair{12, 2},
                                      std::pair{16, 2}, std::pair{48, 2}, std::pair{10, 4}}) {
        const GrayImage square = Filled(side, side, 9);
        PrepareRotationModel(square, side, side);
        EXPECT_EQ(CurrentRotationModel().ringProfile.size(), static_cast<std::size_t>(rings + 1))
            << side;
    }
}

TEST(RingFraction, VisitsTheCirclePointsAndCountsTheAxisPointsTwice)
{
    const GrayImage flat = Filled(5, 5, 255);
    int nx = 0, ny = 0;
    MeasureTemplate(flat, 0, 0, 5, 5, 5, 5, nx, ny);  // threshold 255
    GrayImage image = Filled(9, 9, 0);
    for (int x = 5; x < 9; ++x)
        for (int y = 0; y < 9; ++y)
            image[x][y] = 255;
    // Radius 3 about (4, 4): 26 visits, 11 of them right of the centre column.
    EXPECT_EQ(RingFraction(image, 3, 4, 4, 9, 9), 11.0f / 26.0f);
    // About the corner only the quarter inside counts: (0, 3), (0, 3), (1, 2),
    // (2, 2), (3, 2), (3, 1), (1, 3), (3, 0) of which none is bright.
    EXPECT_EQ(RingFraction(image, 3, 0, 0, 9, 9), 0.0f);
    EXPECT_EQ(RingFraction(image, 3, 8, 4, 9, 9), 1.0f);  // the left half is outside
    EXPECT_EQ(RingFraction(image, 2, 40, 40, 9, 9), 0.0f);  // wholly outside: nothing shared
}

TEST(RingProfileDistance, IsMinusOneWhenTheRingsPassTheRightOrBottomEdge)
{
    std::mt19937 rng(12);
    const GrayImage templ = SceneMark(rng, 12, 16);
    int nx = 0, ny = 0;
    MeasureTemplate(templ, 0, 0, 12, 16, 30, 30, nx, ny);
    PrepareRotationModel(templ, 12, 16);  // cx 6, cy 8, R 6
    GrayImage image = Filled(30, 30, 0);
    for (int x = 0; x < 12; ++x)
        for (int y = 0; y < 16; ++y)
            image[10 + x][5 + y] = templ[x][y];
    EXPECT_EQ(RingProfileDistance(image, 10, 5, 30, 30), 0.0f);
    EXPECT_NE(RingProfileDistance(image, 17, 5, 30, 30), -1.0f);  // 17 + 6 + 6 = 29 fits
    EXPECT_EQ(RingProfileDistance(image, 18, 5, 30, 30), -1.0f);  // 18 + 6 + 6 = 30
    EXPECT_EQ(RingProfileDistance(image, 0, 16, 30, 30), -1.0f);  // 16 + 8 + 6 = 30
    EXPECT_NE(RingProfileDistance(image, 0, 15, 30, 30), -1.0f);
}

TEST(RotatedSampleDistance, ScoresTheTemplateTurnedAboutItsCentre)
{
    // An asymmetric 10 x 10 template, and the same turned by 90 degrees
    // counter-clockwise on screen: T'[y][9 − x] = T[x][y] about centre (5, 5)
    // maps offset (u, v) to (v, −u), which RotatePoint at 90 gives exactly.
    std::mt19937 rng(90);
    GrayImage templ = RandomImage(rng, 10, 10);
    int nx = 0, ny = 0;
    MeasureTemplate(templ, 0, 0, 10, 10, 40, 40, nx, ny);
    PrepareRotationModel(templ, 10, 10);
    GrayImage image = Filled(40, 40, 0);
    for (int u = -5; u <= 4; ++u)
        for (int v = -5; v <= 4; ++v)
            image[20 + v][20 - u] = templ[5 + u][5 + v];
    for (int u = -5; u <= 4; ++u)
        for (int v = -5; v <= 4; ++v)
            image[8 + u][8 + v] = templ[5 + u][5 + v];
    EXPECT_EQ(RotatedSampleDistance(image, 8, 8, 0.0f, 40, 40), 0.0f);
    EXPECT_EQ(RotatedSampleDistance(image, 20, 20, 90.0f, 40, 40), 0.0f);
    EXPECT_GT(RotatedSampleDistance(image, 20, 20, 0.0f, 40, 40), 0.0f);
    EXPECT_EQ(RotatedSampleDistance(image, 4, 8, 0.0f, 40, 40), -1.0f);  // 4 − 5 < 0
    // Against black: the mean of T / 255 over the 25 samples, summed in order.
    float sum = 0.0f;
    for (int i = 0; i < 10; i += 2)
        for (int j = 0; j < 10; j += 2)
            sum += static_cast<float>(templ[i][j]) / 255.0f;
    EXPECT_EQ(RotatedSampleDistance(image, 33, 33, 0.0f, 40, 40), sum / 25.0f);
}

TEST(MatchPattern, GivesTheSameResultWithOneOrSeveralThreads)
{
    std::mt19937 rng(2024);
    for (int round = 0; round < 6; ++round) {
        const bool turned = round % 2 == 1;
        const PatternScene s = RandomPatternScene(rng, 200, 260, turned ? 12 : 6, 20, turned);
        const float angle = turned ? 20.0f : 0.0f;
        std::vector<std::vector<Candidate>> tables;
        std::vector<GrayImage> images;
        for (int workers : {1, 2, 4}) {
            SetWorkerCount(workers);
            GrayImage work = Copy(s.image, s.width, s.height);
            FloatImage results;
            MatchPattern(work, s.mark, results, 0, 0, s.tw, s.th, angle, s.width, s.height);
            tables.push_back(CandidateTable());
            images.push_back(std::move(work));
        }
        SetWorkerCount(0);
        for (std::size_t k = 1; k < tables.size(); ++k) {
            ASSERT_EQ(tables[k].size(), tables[0].size());
            for (std::size_t i = 0; i < tables[0].size(); ++i) {
                const Candidate &a = tables[0][i], &b = tables[k][i];
                ASSERT_TRUE(a.x == b.x && a.y == b.y && a.angle == b.angle && a.score == b.score)
                    << "round " << round << " row " << i;
            }
            ASSERT_EQ(FirstDifference(images[0], images[k], s.width, s.height), "");
        }
    }
}

TEST(RefineByRotation, WithoutAModelOfTheMeasuredTemplateScoresNothing)
{
    const GrayImage small = Filled(10, 10, 40);
    const GrayImage large = Filled(30, 30, 40);
    GrayImage image = Filled(60, 60, 40);
    int nx = 0, ny = 0;
    MeasureTemplate(small, 0, 0, 10, 10, 60, 60, nx, ny);
    PrepareRotationModel(small, 10, 10);
    MeasureTemplate(large, 0, 0, 30, 30, 60, 60, nx, ny);  // the model is the small one's
    const int n = FindCandidateBlocks(image, nx, ny, 60, 60);
    ASSERT_EQ(n, 3);
    EXPECT_TRUE(RefineByRotation(image, large, n, 10.0f, 60, 60));
    for (const Candidate& c : CandidateTable())
        EXPECT_EQ(c.score, 0.0f);
    EXPECT_EQ(image[0][0], 40);  // nothing outlined
}

namespace {

// Broad shading as a camera sees a lit surface, with +-noise, and a template
// cut from it: nearly featureless, so most blocks are candidates, most
// placements pass the ring test and many placements and angles tie on the
// least whole-number distance. The shading crosses 255 where bright is set. A
// negative noise makes the picture flat instead, with one pixel in 1 − noise
// moved by up to 3 levels.
PatternScene SmoothScene(std::mt19937& rng, int width, int height, int side, int noise,
                         bool bright)
{
    PatternScene s;
    s.width = width;
    s.height = height;
    s.tw = side;
    s.th = side + 3;
    s.image = NewGrayImage(width, height);
    const double base = bright ? 235.0 : 120.0;
    const double fx = Uniform(rng, 60, 200), fy = Uniform(rng, 60, 200);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y) {
            const double v = base + (noise < 0 ? 0.0 : 6.0) * std::sin(x / fx) * std::cos(y / fy) +
                             3.0 * std::sin((x + y) / 37.0);
            s.image[x][y] = static_cast<std::uint8_t>(
                std::clamp(static_cast<int>(std::lround(v)) +
                               Uniform(rng, -std::abs(noise), std::abs(noise)), 0, 255));
        }
    if (noise < 0) {  // sums tie often
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y)
                s.image[x][y] = static_cast<std::uint8_t>(
                    Uniform(rng, 0, -noise) == 0 ? base + Uniform(rng, -3, 3) : base);
    }
    const int x0 = Uniform(rng, 0, width - s.tw), y0 = Uniform(rng, 0, height - s.th);
    s.mark = NewGrayImage(s.tw, s.th);
    for (int x = 0; x < s.tw; ++x)
        for (int y = 0; y < s.th; ++y)
            s.mark[x][y] = s.image[x0 + x][y0 + y];
    return s;
}

}  // namespace

TEST(MatchPattern, EqualsTheLiteralSearchOnSmoothPicturesWithFeaturelessTemplates)
{
    // Columns of 16, 32 and 64 placements side by side, with windows that fit
    // the image and windows at its bottom edge counted lane by lane; each case
    // at every vector level with 1, 2 and 3 threads.
    struct Case {
        int width, height, side, noise;
        float angle;
        bool bright;
    };
    const Case cases[] = {
        {150, 190, 20, 1, 360.0f, false}, {230, 170, 24, 2, 30.0f, false},
        {170, 210, 12, 0, 45.0f, true},   {260, 200, 16, 2, 0.0f, false},
        {300, 220, 40, 1, 0.0f, true},    {140, 260, 36, 2, 12.0f, false},
    };
    std::mt19937 rng(3072);
    int outlined = 0;
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const Case& c = cases[k];
        const PatternScene s = SmoothScene(rng, c.width, c.height, c.side, c.noise, c.bright);
        GrayImage theirs = Copy(s.image, s.width, s.height);
        const std::vector<ReferenceCandidate> expected =
            ReferenceMatchPattern(theirs, s.mark, s.tw, s.th, c.angle, s.width, s.height);
        for (int workers = 1; workers <= 3; ++workers)
            for (VectorLevel level : kVectorLevels) {
                const std::string label = "case " + std::to_string(k) + ", " +
                                          std::to_string(workers) + " threads, " +
                                          VectorLevelName(level);
                SetWorkerCount(workers);
                const ScopedVectorLimit limit(level);
                GrayImage mine = Copy(s.image, s.width, s.height);
                FloatImage results;
                const int n = MatchPattern(mine, s.mark, results, 0, 0, s.tw, s.th, c.angle,
                                           s.width, s.height);
                ASSERT_EQ(n, static_cast<int>(expected.size())) << label;
                for (int i = 0; i < n; ++i) {
                    const ReferenceCandidate& e = expected[static_cast<std::size_t>(i)];
                    ASSERT_TRUE(results[0][i] == static_cast<float>(e.x) &&
                                results[1][i] == static_cast<float>(e.y) &&
                                results[4][i] == e.angle && results[5][i] == e.score)
                        << label << " row " << i << ": (" << results[0][i] << ","
                        << results[1][i] << "," << results[4][i] << "," << results[5][i]
                        << ") vs (" << e.x << "," << e.y << "," << e.angle << "," << e.score << ")";
                }
                ASSERT_EQ(FirstDifference(mine, theirs, s.width, s.height), "") << label;
            }
        for (const ReferenceCandidate& e : expected)
            outlined += e.score > 0.9f;
    }
    SetWorkerCount(0);
    EXPECT_GT(outlined, 40);  // the search does outline, and later candidates read it
}

// The sweep's early stop: all lanes set to 255 only once every lane is above the
// bar. A lane that sums exactly to the bar is a tie at the least sum and must
// come back exact, so that its score is computed like the others'.
TEST(MatchPatternSweep, StopsOnlyOnceEveryLaneIsAboveTheBar)
{
    using namespace match_pattern;
    struct Kernel {
        int lanes;
        int (*sum)(const AngleWindow&, const std::uint8_t*, int, std::uint8_t*);
        VectorLevel needs;
    };
    std::vector<Kernel> kernels = {{16, SumLanes16, VectorLevel::Plain}};
#if defined(__x86_64__)
    kernels.push_back({32, SumLanes32, VectorLevel::Avx2});
    kernels.push_back({64, SumLanes64, VectorLevel::Avx512Vbmi});
#endif
    // Eight samples of the one pixel under each lane against a grid of zeros:
    // lane l sums to 8 * value[l]. The bar is 8k.
    const std::vector<SampleOffset> samples(8);
    const std::vector<std::uint8_t> grid(8, 0);
    for (const Kernel& kernel : kernels) {
        if (ProcessorVectorLevel() < kernel.needs)
            continue;
        for (const int k : {0, 1, 12, 31}) {
            const int bar = 8 * k;
            for (const int tie : {-1, 0, 5, kernel.lanes - 1}) {  // -1: no lane at the bar
                std::vector<std::uint8_t> column(static_cast<std::size_t>(kernel.lanes),
                                                 static_cast<std::uint8_t>(k + 1));
                if (tie >= 0)
                    column[static_cast<std::size_t>(tie)] = static_cast<std::uint8_t>(k);
                const std::uint8_t* columns[] = {column.data()};
                const AngleWindow window{columns, 0, 0, samples.data(), grid.data(), 8};
                const std::vector<std::uint8_t> start(static_cast<std::size_t>(kernel.lanes), 0);
                std::vector<std::uint8_t> out(static_cast<std::size_t>(kernel.lanes), 7);
                const int least = kernel.sum(window, start.data(), bar, out.data());
                SCOPED_TRACE(::testing::Message() << kernel.lanes << " lanes, bar " << bar << ", tie " << tie);
                if (tie < 0) {
                    EXPECT_EQ(least, 255);
                    EXPECT_EQ(std::count(out.begin(), out.end(), 255), kernel.lanes);
                } else {
                    EXPECT_EQ(least, bar);
                    for (int l = 0; l < kernel.lanes; ++l)
                        EXPECT_EQ(out[static_cast<std::size_t>(l)], l == tie ? bar : std::min(255, 8 * (k + 1)));
                }
            }
        }
    }
}
