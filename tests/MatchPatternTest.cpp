// tests/MatchPatternTest.cpp
#include "Match_pattern.h"
#include "MatchPatternReference.h"
#include "Parallel.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <array>
#include <string>

namespace {

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
        const PatternScene s = RandomPatternScene(rng, 30, 90, angle == 0.0f ? 5 : 8, 22, angle != 0.0f);
        SetWorkerCount(round % 3 == 0 ? 1 : 3);
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
        ExpectSameSearch(s, angle, "round " + std::to_string(round));
    }
    SetWorkerCount(0);
}
