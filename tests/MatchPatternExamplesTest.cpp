// tests/MatchPatternExamplesTest.cpp: the search's known answers at the edges
// of its rules: where a score crosses 0.9, a score below 0, the ring gate at
// 0.02, the last angle of the sweep.
#include "Match_pattern.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

namespace {

struct QuietTrace {
    QuietTrace() { SetMatchTrace(nullptr); }
};
const QuietTrace quiet;

const Candidate* At(int x, int y)
{
    for (const Candidate& c : CandidateTable())
        if (c.x == x && c.y == y)
            return &c;
    return nullptr;
}

// A 40 x 30 template of noise cut into a 45 x 35 image at (0, 0), its lattice
// samples (0, 0), (5, 0) .. (20, 0) raised from 0 to 254 and (25, 0) to last:
// 5 · 254 + last absolute differences in all.
struct FortyByThirty {
    GrayImage templ, image;
    explicit FortyByThirty(int last)
    {
        std::mt19937 rng(4030);
        templ = RandomImage(rng, 40, 30);
        image = RandomImage(rng, 45, 35);
        for (int i = 0; i <= 25; i += 5)
            templ[i][0] = 0;
        templ[0][1] = 7;
        for (int x = 0; x < 40; ++x)
            for (int y = 0; y < 30; ++y)
                image[x][y] = templ[x][y];
        for (int i = 0; i <= 20; i += 5)
            image[i][0] = 254;
        image[25][0] = static_cast<std::uint8_t>(last);
    }
};

}  // namespace

TEST(ZeroAngleScore, A40By30TemplateIsOutlinedExactlyWhenItsDifferencesStayBelow1275)
{
    // N = 8 · 6 = 48 samples; d = sum / 255 in integers. 1274 gives d = 4, score
    // 1 − 4/48 = 0.9167, outlined; 1275 gives d = 5, score 0.8958, listed only.
    for (const auto& [last, d] : {std::pair{4, 4}, std::pair{5, 5}}) {
        FortyByThirty s(last);
        int nx = 0, ny = 0;
        MeasureTemplate(s.templ, 0, 0, 40, 30, 45, 35, nx, ny);
        EXPECT_EQ(SampledDifference(s.image, s.templ, 0, 0, 45, 35), static_cast<float>(d));
        FloatImage results;
        const int n = MatchPattern(s.image, s.templ, results, 0, 0, 40, 30, 0.0f, 45, 35);
        ASSERT_GE(n, 1);
        EXPECT_EQ(results[0][0], 0.0f);
        EXPECT_EQ(results[1][0], 0.0f);
        EXPECT_EQ(results[2][0], 40.0f);
        EXPECT_EQ(results[3][0], 30.0f);
        EXPECT_EQ(results[4][0], 0.0f);
        EXPECT_EQ(results[5][0], 1.0f - static_cast<float>(d) / 48.0f);
        // Column 0 is the outline's left side; (0, 1) held 7.
        EXPECT_EQ(s.image[0][1], d == 4 ? 128 : 7) << "sum " << 1270 + last;
    }
}

TEST(ZeroAngleScore, ASevenPixelWideTemplateScoresBelowZeroAndKeepsTheBlockOrigin)
{
    // 7 x 5: N = (7 / 5) · (5 / 5) = 1, but the lattice samples columns 0 and 5.
    // A black template on white (255) rows 0..4 of columns 0..11: every placement
    // of block (0, 0) differs by 255 twice, d = 2, score 1 − 2 = −1, never kept.
    const GrayImage templ = Filled(7, 5, 0);
    GrayImage image = Filled(21, 10, 254);  // below the flat template's threshold 255
    for (int x = 0; x < 12; ++x)
        for (int y = 0; y < 5; ++y)
            image[x][y] = 255;
    int nx = 0, ny = 0;
    MeasureTemplate(templ, 0, 0, 7, 5, 21, 10, nx, ny);
    EXPECT_EQ(SampledDifference(image, templ, 0, 0, 21, 10), 2.0f);
    FloatImage results;
    ASSERT_GE(MatchPattern(image, templ, results, 0, 0, 7, 5, 0.0f, 21, 10), 1);
    const Candidate& first = CandidateTable().front();
    EXPECT_EQ(first.x, 0);
    EXPECT_EQ(first.y, 0);
    EXPECT_EQ(first.angle, 0.0f);
    EXPECT_EQ(first.score, 0.0f);
    EXPECT_EQ(image[0][1], 255);  // not outlined
}

TEST(ZeroAngleScore, ASearchAfterARotatedOneShowsAngleZeroInEveryRow)
{
    std::mt19937 rng(2718);
    bool turned = false;
    for (int round = 0; round < 20 && !turned; ++round) {
        GrayImage image = RandomImage(rng, 96, 96);
        const GrayImage mark = RandomImage(rng, 16, 16);
        // A quarter turn of the mark centred at (48, 48).
        for (int i = 0; i < 16; ++i)
            for (int j = 0; j < 16; ++j)
                image[48 + j - 8][48 - i + 8] = mark[i][j];
        GrayImage work = Copy(image, 96, 96);
        FloatImage results;
        const int turnedRows = MatchPattern(work, mark, results, 0, 0, 16, 16, 120.0f, 96, 96);
        for (int i = 0; i < turnedRows; ++i)
            turned |= results[4][i] != 0.0f;
        if (!turned)
            continue;
        GrayImage upright = Copy(image, 96, 96);
        const int n = MatchPattern(upright, mark, results, 0, 0, 16, 16, 0.0f, 96, 96);
        ASSERT_GE(n, 1);
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(results[4][i], 0.0f) << "row " << i;
    }
    EXPECT_TRUE(turned);
}

namespace {

// A 16 x 16 template of noise (R = 8, ring step 3: rings of radius 3 and 6,
// 26 and 50 visits) pasted into noise at (20, 24). Its pixels at (14, 8), on
// the horizontal axis of ring 6 (one visit), and (8, 14), on its vertical axis
// (two visits), are bright; neither is a point of the 3-pixel sample lattice.
struct RingScene {
    GrayImage templ, image;
    RingScene()
    {
        std::mt19937 rng(1606);
        templ = RandomImage(rng, 16, 16);
        image = RandomImage(rng, 64, 64);
        templ[14][8] = 255;
        templ[8][14] = 255;
        for (int x = 0; x < 16; ++x)
            for (int y = 0; y < 16; ++y)
                image[20 + x][24 + y] = templ[x][y];
    }
};

}  // namespace

TEST(RingGate, APlacementWhoseRingsDifferBy002IsNeverTried)
{
    {
        // One visit of 50 darkened: the mean ring difference is 0.01, the
        // placement is tried and, its samples untouched, scores 1 at angle 0.
        RingScene s;
        s.image[20 + 14][24 + 8] = 0;
        const GrayImage before = Copy(s.image, 64, 64);  // the search draws into s.image
        FloatImage results;
        MatchPattern(s.image, s.templ, results, 0, 0, 16, 16, 10.0f, 64, 64);
        ASSERT_GT(CurrentTemplateModel().threshold, 0);
        EXPECT_NEAR(RingProfileDistance(before, 20, 24, 64, 64), 0.01f, 1e-6f);
        const Candidate* c = At(20, 24);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->angle, 0.0f);
        EXPECT_EQ(c->score, 1.0f);
    }
    {
        // The axis pixel counts twice: 2 of 50, a mean of 0.02. The same
        // placement, samples still equal to the template's, is never scored.
        RingScene s;
        s.image[20 + 8][24 + 14] = 0;
        const GrayImage before = Copy(s.image, 64, 64);  // the search draws into s.image
        FloatImage results;
        MatchPattern(s.image, s.templ, results, 0, 0, 16, 16, 10.0f, 64, 64);
        EXPECT_NEAR(RingProfileDistance(before, 20, 24, 64, 64), 0.02f, 1e-6f);
        const Candidate* c = At(20, 24);
        EXPECT_TRUE(c == nullptr || c->score < 1.0f);
    }
}

TEST(AngleSweep, TheLastAngleOfTheBarIsTried)
{
    // A quarter turn of a 16 x 16 template centred at (32, 32), its ring points
    // (and their quarter turns) bright so the ring test passes. The turned copy
    // scores 1 first at some angle a below 90 where the rounded offsets of the
    // sample lattice already equal those of 90: Angle = a finds it there,
    // Angle = a − 1 does not.
    std::mt19937 rng(9090);
    GrayImage templ = RandomImage(rng, 16, 16);
    for (int r : {3, 6}) {
        int u = 0, v = r, e = 0;
        std::vector<std::pair<int, int>> points;
        while (v > 0) {
            for (int su : {-1, 1})
                for (int sv : {-1, 1})
                    points.push_back({su * u, sv * v});
            if (e > 0) {
                e -= 2 * v - 1;
                --v;
            } else {
                e += 2 * u + 1;
                ++u;
            }
        }
        points.push_back({u, 0});
        points.push_back({-u, 0});
        for (const auto& [a, b] : points)
            for (const auto& [p, q] : {std::pair{a, b}, std::pair{-b, a}, std::pair{-a, -b},
                                       std::pair{b, -a}})
                templ[8 + p][8 + q] = 255;
    }
    GrayImage image = RandomImage(rng, 64, 64);
    for (int i = 0; i < 16; ++i)
        for (int j = 0; j < 16; ++j)
            image[32 + j - 8][32 - i + 8] = templ[i][j];
    FloatImage results;
    GrayImage probe = Copy(image, 64, 64);
    MatchPattern(probe, templ, results, 0, 0, 16, 16, 90.0f, 64, 64);
    ASSERT_EQ(RingProfileDistance(image, 24, 24, 64, 64), 0.0f);
    int first = 0;
    while (first <= 90 && RotatedSampleDistance(image, 32, 32, static_cast<float>(first), 64, 64) != 0.0f)
        ++first;
    ASSERT_GT(first, 45);
    ASSERT_LE(first, 90);

    GrayImage work = Copy(image, 64, 64);
    MatchPattern(work, templ, results, 0, 0, 16, 16, static_cast<float>(first), 64, 64);
    const Candidate* found = At(24, 24);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->angle, static_cast<float>(first));
    EXPECT_EQ(found->score, 1.0f);

    GrayImage shorter = Copy(image, 64, 64);
    MatchPattern(shorter, templ, results, 0, 0, 16, 16, static_cast<float>(first - 1), 64, 64);
    const Candidate* missed = At(24, 24);
    EXPECT_TRUE(missed == nullptr || missed->score < 1.0f);
}

TEST(TemplateModel, AFlatTemplateHasRingSharesOfOneWhenWhiteAndZeroOtherwise)
{
    for (const auto& [gray, share] : {std::pair{255, 1.0f}, std::pair{100, 0.0f}}) {
        const GrayImage flat = Filled(16, 16, gray);
        int nx = 0, ny = 0;
        MeasureTemplate(flat, 0, 0, 16, 16, 512, 512, nx, ny);
        EXPECT_EQ(CurrentTemplateModel().threshold, 255);
        PrepareRotationModel(flat, 16, 16);
        const std::vector<float>& profile = CurrentRotationModel().ringProfile;
        ASSERT_EQ(profile.size(), 3u);  // radii 3 and 6
        EXPECT_EQ(profile[1], share);
        EXPECT_EQ(profile[2], share);
    }
    // 100 x 100 blocks on a 512 x 512 image: 5 whole ones and a part, both ways.
    const GrayImage square = Filled(100, 100, 0);
    int nx = 0, ny = 0;
    MeasureTemplate(square, 0, 0, 100, 100, 512, 512, nx, ny);
    EXPECT_EQ(nx, 6);
    EXPECT_EQ(ny, 6);
}
