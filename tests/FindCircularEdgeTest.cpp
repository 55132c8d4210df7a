// tests/FindCircularEdgeTest.cpp
#include "Find_circular_edge.h"
#include "Find_circular_edgeCount.h"
#include "FindCircularEdgeReference.h"
#include "FindEdgeReference.h"
#include "ImageReference.h"
#include "Parallel.h"
#include "TestImages.h"
#include "VectorLevel.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

namespace {

// The disc scene: gray 50 within radius 40 of (150, 140) on gray 200, the
// centre more than 100 pixels from every border.
constexpr int kDiscWidth = 301, kDiscHeight = 262, kDiscX = 150, kDiscY = 140;

int CountValue(const GrayImage& image, int width, int height, int value)
{
    int count = 0;
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            count += image[x][y] == value;
    return count;
}

std::vector<SpokeHit> Hits(std::initializer_list<std::pair<int, int>> points)
{
    std::vector<SpokeHit> hits;
    for (auto [x, y] : points)
        hits.push_back({x, y, 1});
    return hits;
}

void ExpectSameVotes(const std::vector<CircleVote>& got, const std::vector<CircleVote>& want,
                     const std::string& what)
{
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].centreX, want[i].centreX) << what << " entry " << i;
        ASSERT_EQ(got[i].centreY, want[i].centreY) << what << " entry " << i;
        ASSERT_EQ(got[i].radius, want[i].radius) << what << " entry " << i;
        ASSERT_EQ(got[i].votes, want[i].votes) << what << " entry " << i;
    }
}

// The vote's winner is the literal vote's: votes, centre and radius.
void ExpectSameWinner(const CircleVote& got, const CircleVote& want, const std::string& what)
{
    ASSERT_EQ(got.votes, want.votes) << what;
    ASSERT_EQ(got.centreX, want.centreX) << what;
    ASSERT_EQ(got.centreY, want.centreY) << what;
    ASSERT_EQ(got.radius, want.radius) << what;
}

}  // namespace

TEST(BuildSpokes, DefaultsGiveThirtySixSpokesWithoutOneAtTheEndAngle)
{
    EXPECT_EQ(BuildSpokes(10, kInward, 0, 360, 200, 150, 0, 100), 36);
    const std::span<const Spoke> s = Spokes();
    ASSERT_EQ(s.size(), 36u);
    // 0 degrees points right; inward spokes run from the outer point to the centre.
    EXPECT_EQ(s[0].startX, 300);
    EXPECT_EQ(s[0].startY, 150);
    EXPECT_EQ(s[0].endX, 200);
    EXPECT_EQ(s[0].endY, 150);
    // 350 degrees: (200 + 100·cos, 150 + 100·sin) = (298.48.., 132.63..), truncated.
    EXPECT_EQ(s[35].startX, 298);
    EXPECT_EQ(s[35].startY, 132);
}

TEST(BuildSpokes, TheSweepAlwaysIncreasesFromTheStartAngle)
{
    // Start 90, end 0, gap 30: spokes at 90, 120 and 150 degrees, outward.
    ASSERT_EQ(BuildSpokes(30, kOutward, 90, 0, 100, 100, 10, 50), 3);
    const std::span<const Spoke> s = Spokes();
    // 90 degrees with this value of pi: cos θ = −2.05e-10, so x = trunc(100 − 1e-8) = 99;
    // the spoke points down the screen (y grows), as angles turn clockwise.
    EXPECT_EQ(s[0].startX, 99);
    EXPECT_EQ(s[0].startY, 110);
    EXPECT_EQ(s[0].endX, 99);
    EXPECT_EQ(s[0].endY, 150);
    // This pi is a little large, so each angle is a little past its mark:
    // cos 120° is just below −0.5 and sin 150° just below 0.5.
    EXPECT_EQ(s[1].endX, 74);   // trunc(100 − 25.0000001)
    EXPECT_EQ(s[1].endY, 143);  // 100 + 43.30
    EXPECT_EQ(s[2].endX, 56);   // 150 degrees: 100 − 43.30
    EXPECT_EQ(s[2].endY, 124);  // trunc(124.9999999)
    EXPECT_EQ(BuildSpokes(0, kOutward, 0, 360, 100, 100, 10, 50), 0);  // no gap, no spoke
}

// Sweeps the fuzzer asked for (214 748 364 spokes: 3.4 GB of spokes, and a
// vote over their triples without end). Spoke k + 360 points where spoke k
// does, so a sweep casts at most 360 spokes: its first 360.
TEST(BuildSpokes, ASweepOfMoreThan360SpokesCastsItsFirst360)
{
    struct Case {
        int gap, start, end;
    };
    for (const Case& c : {Case{10, 0, INT_MAX}, Case{1, INT_MIN, INT_MAX}, Case{7, -1000, INT_MIN},
                          Case{1, 0, 361}}) {
        ASSERT_EQ(BuildSpokes(c.gap, kInward, c.start, c.end, 50, 40, 3, 30), 360) << c.start;
        const std::vector<Spoke> first(Spokes().begin(), Spokes().end());
        // The same spokes as the sweep that ends after exactly 360 of them.
        BuildSpokes(c.gap, kInward, c.start, static_cast<int>(c.start + 360LL * c.gap), 50, 40, 3, 30);
        ASSERT_EQ(Spokes().size(), first.size());
        for (std::size_t k = 0; k < first.size(); ++k) {
            const Spoke& s = Spokes()[k];
            ASSERT_TRUE(s.startX == first[k].startX && s.startY == first[k].startY &&
                        s.endX == first[k].endX && s.endY == first[k].endY)
                << c.start << " spoke " << k;
        }
    }
    EXPECT_EQ(BuildSpokes(1, kInward, 0, 360, 50, 40, 3, 30), 360);  // the panel's most
    GrayImage flat = Filled(60, 50, 80);  // and the whole tool: no hit, "NG", quickly
    EXPECT_EQ(FindCircularEdge(flat, 20, 1, kOutward, INT_MIN, INT_MAX, 30, 25, 0, 20, 60, 50), 0);
    EXPECT_EQ(SpokeHits().size(), 360u);
}

TEST(BuildSpokes, AnglesAndPointsAreInExtendedPrecision)
{
    // cos(180·3.141592654/180) is −1 + 8e-20 in extended precision (exactly −1 in
    // double): the outer point 100 to the left of x = 20 is trunc(−79.99..) = −79.
    // 360 and 270 degrees likewise stop one short of a whole 100.
    ASSERT_EQ(BuildSpokes(90, kOutward, 90, 450, 20, 20, 0, 100), 4);
    const std::span<const Spoke> s = Spokes();
    EXPECT_EQ(s[1].endX, -79);  // 180 degrees
    EXPECT_EQ(s[1].endY, 19);   // sin θ = −4.1e-10: 20 − 4e-8 truncates to 19
    EXPECT_EQ(s[2].endX, 20);   // 270 degrees
    EXPECT_EQ(s[2].endY, -79);
    EXPECT_EQ(s[3].endX, 119);  // 360 degrees: 20 + 99.99..
    EXPECT_EQ(s[3].endY, 20);
}

TEST(FirstEdgeOnSpoke, SkipsPointsOutsideTheImage)
{
    // The spoke starts left of the image; the first point inside is its own
    // previous point, so the bright column 0 is no edge.
    GrayImage image = FromRows({{200, 200, 50, 50, 50, 50}});
    const SpokeHit hit = FirstEdgeOnSpoke(image, 100, Spoke{-4, 0, 6, 0}, 6, 1);
    EXPECT_EQ(hit.found, 1);
    EXPECT_EQ(hit.x, 2);
    EXPECT_EQ(FirstEdgeOnSpoke(image, 151, Spoke{-4, 0, 6, 0}, 6, 1).found, 0);
    EXPECT_EQ(FirstEdgeOnSpoke(image, 0, Spoke{-4, 0, -1, 0}, 6, 1).found, 0);  // all outside
}

TEST(CircleThroughThree, GivesCentreAndRadiusRelativeToTheSearchCentre)
{
    BeginCircleVote(100, 50);
    CircleThroughThree(10, 0, 0, 10, -10, 0);  // D = E = 0, F = −100, q = 400
    CircleThroughThree(0, 0, 5, 5, 10, 10);    // collinear: nothing
    CircleThroughThree(3, 4, 3, 4, 7, 1);      // a repeated point: nothing
    const std::vector<CircleVote> votes = CircleVotes();
    ASSERT_EQ(votes.size(), 1u);
    EXPECT_EQ(votes[0].centreX, 100);
    EXPECT_EQ(votes[0].centreY, 50);
    EXPECT_EQ(votes[0].radius, 10);
    EXPECT_EQ(votes[0].votes, 1);
}

TEST(AddCircleVote, TruncatesHalvesAndRadiusTowardZero)
{
    BeginCircleVote(0, 0);
    AddCircleVote(-7, 7, -1);  // centre (3, −3); q = 49 + 49 + 4 = 102, √102·0.5 = 5.04
    AddCircleVote(2, 2, 2);    // q = 0: no circle
    AddCircleVote(-7, 7, -1);
    const std::vector<CircleVote> votes = CircleVotes();
    ASSERT_EQ(votes.size(), 1u);
    EXPECT_EQ(votes[0].centreX, 3);
    EXPECT_EQ(votes[0].centreY, -3);
    EXPECT_EQ(votes[0].radius, 5);
    EXPECT_EQ(votes[0].votes, 2);
}

TEST(ChosenCircle, AmongEqualVotesTheEntryEnteredLastWins)
{
    BeginCircleVote(0, 0);
    AddCircleVote(0, 0, -100);  // entry 0
    AddCircleVote(0, 0, -400);  // entry 1
    AddCircleVote(0, 0, -400);
    AddCircleVote(0, 0, -100);  // entry 0 is voted last, but entry 1 was entered last
    const CircleVote c = ChosenCircle();
    EXPECT_EQ(c.votes, 2);
    EXPECT_EQ(c.radius, 20);
    BeginCircleVote(0, 0);
    EXPECT_EQ(ChosenCircle().votes, 0);
}

TEST(FindCircularEdge, ADarkDiscWinsWithRadius39InwardAnd40Outward)
{
    for (int direction : {kInward, kOutward}) {
        GrayImage image = DiscScene(kDiscWidth, kDiscHeight, kDiscX, kDiscY, 40, 50, 200);
        const int votes = FindCircularEdge(image, 50, 10, direction, 0, 360, kDiscX, kDiscY, 0,
                                           100, kDiscWidth, kDiscHeight);
        const CircleVote c = ChosenCircle();
        EXPECT_EQ(c.centreX, kDiscX) << direction;
        EXPECT_EQ(c.centreY, kDiscY) << direction;
        EXPECT_EQ(c.radius, direction == kInward ? 39 : 40);
        EXPECT_GT(votes, 7140 / 2) << direction;
        EXPECT_EQ(votes, c.votes);
        // Inward every spoke hits the disc's outermost dark pixel: the hit is
        // dark and the point before it on the spoke is not.
        if (direction == kInward)
            for (std::size_t k = 0; k < SpokeHits().size(); ++k) {
                const SpokeHit& h = SpokeHits()[k];
                ASSERT_EQ(h.found, 1);
                const int u = h.x - kDiscX, v = h.y - kDiscY;
                EXPECT_LE(u * u + v * v, 1600);
                const Spoke& s = Spokes()[k];
                const std::vector<ReferencePoint> points =
                    ReferenceLinePoints(s.startX, s.startY, s.endX, s.endY);
                std::size_t at = 0;
                while (at < points.size() && (points[at].x != h.x || points[at].y != h.y))
                    ++at;
                ASSERT_TRUE(at > 0 && at < points.size()) << "spoke " << k;
                const int pu = points[at - 1].x - kDiscX, pv = points[at - 1].y - kDiscY;
                EXPECT_GT(pu * pu + pv * pv, 1600) << "spoke " << k;
            }
        // The found circle is drawn black; the outside radius gray 128 at (250, 140).
        EXPECT_EQ(image[kDiscX + c.radius][kDiscY], 0);
        EXPECT_EQ(image[kDiscX + 100][kDiscY], 128);
    }
}

TEST(FindCircularEdge, AGapWiderThanTheSweepGivesNoSpokeAndNothingDrawn)
{
    GrayImage image = DiscScene(kDiscWidth, kDiscHeight, kDiscX, kDiscY, 40, 50, 200);
    const GrayImage before = Copy(image, kDiscWidth, kDiscHeight);
    EXPECT_EQ(FindCircularEdge(image, 50, 100, kInward, 0, 90, kDiscX, kDiscY, 0, 100, kDiscWidth,
                               kDiscHeight),
              0);
    EXPECT_TRUE(SameImage(image, before, kDiscWidth, kDiscHeight));
}

TEST(FindCircularEdge, ThreeCollinearHitsGiveNoCircleAndNoFoundCircleIsDrawn)
{
    // A vertical boundary 50 to the right of the centre; spokes at 0, 10 and 20
    // degrees all cross it in column 150.
    GrayImage image = NewGrayImage(300, 200);
    for (int x = 0; x < 300; ++x)
        for (int y = 0; y < 200; ++y)
            image[x][y] = x < 150 ? 60 : 180;
    EXPECT_EQ(FindCircularEdge(image, 50, 10, kOutward, 0, 30, 100, 60, 0, 100, 300, 200), 0);
    int found = 0;
    for (const SpokeHit& h : SpokeHits()) {
        found += h.found;
        EXPECT_EQ(h.x, 150);
    }
    EXPECT_EQ(found, 3);
    EXPECT_TRUE(CircleVotes().empty());
    EXPECT_EQ(CountValue(image, 300, 200, 0), 0);  // no black circle anywhere
    EXPECT_EQ(image[100 + 100][60], 128);          // the outside radius is still drawn
}

TEST(FindCircularEdge, ThreeHitsOnACircleGiveOneVote)
{
    GrayImage image = DiscScene(kDiscWidth, kDiscHeight, kDiscX, kDiscY, 40, 50, 200);
    EXPECT_EQ(FindCircularEdge(image, 50, 120, kInward, 0, 360, kDiscX, kDiscY, 0, 100,
                               kDiscWidth, kDiscHeight),
              1);
    EXPECT_EQ(CircleVotes().size(), 1u);
}

TEST(FindCircularEdge, LargeCirclesAreExact)
{
    // Radius 230 about the search centre: x·y·(x² + y²) leaves 32 bits, and
    // wrapped determinants would scatter the votes.
    const int width = 600, height = 560, cx = 290, cy = 280;
    GrayImage image = DiscScene(width, height, cx, cy, 230, 40, 220);
    const int votes = FindCircularEdge(image, 50, 10, kInward, 0, 360, cx, cy, 0, 250, width,
                                       height);
    const CircleVote c = ChosenCircle();
    EXPECT_EQ(c.centreX, cx);
    EXPECT_EQ(c.centreY, cy);
    EXPECT_EQ(c.radius, 229);
    EXPECT_GT(votes, 7140 / 4);
}

TEST(VoteCircles, AgreesWithTheLiteralVoteAndDoesNotDependOnThreads)
{
    std::mt19937 rng(6031);
    for (int round = 0; round < 60; ++round) {
        // Hits scattered around a circle, some missing, some far out.
        const int cx = static_cast<int>(rng() % 400), cy = static_cast<int>(rng() % 400);
        const int radius = 1 + static_cast<int>(rng() % 150);
        const int m = 3 + static_cast<int>(rng() % 40);
        std::vector<SpokeHit> hits;
        for (int k = 0; k < m; ++k) {
            const double t = 6.2831853 * k / m;
            const int jitter = static_cast<int>(rng() % 5) - 2;
            hits.push_back({cx + static_cast<int>((radius + jitter) * std::cos(t)),
                            cy + static_cast<int>((radius + jitter) * std::sin(t)),
                            rng() % 6 == 0 ? 0 : 1});
        }
        const std::vector<CircleVote> want = ReferenceVoteCircles(hits, cx, cy);
        for (int workers : {1, 2, 5}) {
            SetWorkerCount(workers);
            BeginCircleVote(cx, cy);
            VoteCircles(hits);
            ExpectSameVotes(CircleVotes(), want, "round " + std::to_string(round));
        }
    }
    SetWorkerCount(0);
}

TEST(VoteCircles, TheAccumulatorHoldsMoreThan64982Circles)
{
    // 80 scattered hits: 82,160 triples, nearly all different circles. The
    // shared pair terms must agree with the triple-by-triple arithmetic.
    std::mt19937 rng(64982);
    std::vector<SpokeHit> hits;
    for (int k = 0; k < 80; ++k)
        hits.push_back({static_cast<int>(rng() % 500), static_cast<int>(rng() % 500), 1});
    BeginCircleVote(250, 250);
    VoteCircles(hits);
    const std::vector<CircleVote> fast = CircleVotes();
    EXPECT_GT(fast.size(), 64982u);
    BeginCircleVote(250, 250);
    for (std::size_t i = 0; i < hits.size(); ++i)
        for (std::size_t j = i + 1; j < hits.size(); ++j)
            for (std::size_t k = j + 1; k < hits.size(); ++k)
                CircleThroughThree(hits[i].x - 250, hits[i].y - 250, hits[j].x - 250,
                                   hits[j].y - 250, hits[k].x - 250, hits[k].y - 250);
    ExpectSameVotes(fast, CircleVotes(), "triple by triple");
}

TEST(VoteCircles, HitsFarFromTheCentreAreStillExact)
{
    // 20000 pixels from the centre the products need more than 64 bits.
    const std::vector<SpokeHit> hits =
        Hits({{10, 10}, {400, 30}, {800, 5}, {300, 700}, {5, 600}, {790, 650}, {420, 420}});
    for (auto [cx, cy] : {std::pair{-20000, 5}, std::pair{7, 30000}, std::pair{-900000, -900000}}) {
        BeginCircleVote(cx, cy);
        VoteCircles(hits);
        ExpectSameVotes(CircleVotes(), ReferenceVoteCircles(hits, cx, cy), "far centre");
        EXPECT_FALSE(CircleVotes().empty());
    }
    // Beyond 2^30 pixels a triple gives nothing (and nothing overflows).
    BeginCircleVote(INT_MIN, INT_MAX);
    VoteCircles(hits);
    EXPECT_TRUE(CircleVotes().empty());
}

TEST(FindCircularEdge, ANearlyStraightTripleGivesAHugeCircleDrawnQuickly)
{
    // A dark lower half whose boundary dips one row at column 200, where the
    // 90-degree spoke crosses it: three hits almost on a line, whose circle has a
    // radius in the thousands and its centre far outside the image.
    GrayImage image = Filled(400, 300, 200);
    for (int x = 0; x < 400; ++x)
        for (int y = 0; y < 300; ++y)
            if (y >= 150 + (x == 200 ? 1 : 0))
                image[x][y] = 40;
    const int votes = FindCircularEdge(image, 50, 45, kOutward, 45, 180, 200, 60, 0, 250, 400, 300);
    EXPECT_EQ(votes, 1);
    const CircleVote c = ChosenCircle();
    EXPECT_GT(c.radius, 1000);
    EXPECT_GT(CountValue(image, 400, 300, 0), 0);  // part of it crosses the image
}

TEST(DrawWideCircle, DrawsTheSamePixelsAsDrawCircle)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 300; ++round) {
        const int width = 1 + static_cast<int>(rng() % 40), height = 1 + static_cast<int>(rng() % 40);
        const int radius = static_cast<int>(rng() % 60) - 2;
        const int cx = static_cast<int>(rng() % 120) - 40, cy = static_cast<int>(rng() % 120) - 40;
        GrayImage want = Filled(width, height, 7), got = Filled(width, height, 7);
        DrawCircle(want, radius, 99, cx, cy, width, height);
        DrawWideCircle(got, radius, 99, cx, cy, width, height);
        ASSERT_EQ(FirstDifference(got, want, width, height), "") << "round " << round;
    }
    // A circle of radius 2^40 whose top is (30, 10): the top row holds u = 0..1,
    // the next one u = 1 to √(2r − 1) + 1, about 1.48 million, far wider than the image.
    GrayImage image = Filled(64, 32, 7);
    const std::int64_t r = std::int64_t{1} << 40;
    DrawWideCircle(image, r, 99, 30, 10 + r, 64, 32);
    EXPECT_EQ(image[29][10], 99);
    EXPECT_EQ(image[31][10], 99);
    EXPECT_EQ(image[32][10], 7);
    EXPECT_EQ(image[0][11], 99);
    EXPECT_EQ(image[63][11], 99);
    EXPECT_EQ(image[30][11], 7);
    EXPECT_EQ(image[30][12], 7);
}

TEST(FindCircularEdge, AgreesWithTheLiteralToolOnRandomScenes)
{
    std::mt19937 rng(808);
    int withVotes = 0;
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int round = 0; round < 400; ++round) {
        const int width = pick(1, 160), height = pick(1, 160);
        GrayImage scene;
        int cx, cy, inside, outside, threshold;
        if (pick(0, 3) != 0) {  // a disc, searched from near its centre
            const int dx = pick(0, width - 1), dy = pick(0, height - 1);
            const int radius = pick(2, std::min(width, height) / 2 + 20);
            const int dark = pick(0, 120), bright = pick(dark + 60, 255);
            scene = pick(0, 1) == 0 ? DiscScene(width, height, dx, dy, radius, dark, bright)
                                    : DiscScene(width, height, dx, dy, radius, bright, dark);
            cx = dx + pick(-5, 5);
            cy = dy + pick(-5, 5);
            inside = pick(0, radius / 2);
            outside = std::min(radius + pick(2, 80), 250);
            threshold = pick(10, bright - dark);
        } else {
            scene = RandomGaugingScene(rng, width, height);
            cx = pick(-20, width + 20);
            cy = pick(-20, height + 20);
            inside = pick(0, 100);
            outside = pick(0, 250);
            threshold = pick(0, 120);
        }
        const int gap = pick(1, 30);
        // The literal accumulator is searched entry by entry: at most 30 spokes.
        const int sweep = std::min(gap * pick(0, 30) + pick(0, gap - 1), 360);
        const bool upward = pick(0, 1) == 0;
        const int start = upward ? pick(0, 360 - sweep) : pick(sweep, 360);
        const int end = upward ? start + sweep : start - sweep;
        const int direction = pick(0, 1);
        GrayImage got = Copy(scene, width, height), want = Copy(scene, width, height);
        SetWorkerCount(pick(1, 4));
        // Every other round searches a Before and draws into an After that
        // holds other pixels until the tool copies Before into it.
        const GrayImage before = Copy(scene, width, height);
        if (round % 2 == 1)
            for (int x = 0; x < width; ++x)
                std::fill(got[x], got[x] + height, static_cast<std::uint8_t>(round));
        const int votes =
            round % 2 == 0
                ? FindCircularEdge(got, static_cast<std::uint8_t>(threshold), gap, direction,
                                   start, end, cx, cy, inside, outside, width, height)
                : FindCircularEdge(ProcessCircularWork(), before, got,
                                   static_cast<std::uint8_t>(threshold), gap, direction, start,
                                   end, cx, cy, inside, outside, width, height);
        ASSERT_EQ(FirstDifference(before, scene, width, height), "") << round;
        const ReferenceCircularResult r = ReferenceFindCircularEdge(
            want, threshold, gap, direction, start, end, cx, cy, inside, outside, width, height);
        const std::string what = "round " + std::to_string(round);
        ASSERT_EQ(votes, r.result) << what;
        withVotes += votes > 0;
        ASSERT_EQ(Spokes().size(), r.spokes.size()) << what;
        for (std::size_t k = 0; k < r.spokes.size(); ++k) {
            ASSERT_EQ(Spokes()[k].startX, r.spokes[k].startX) << what;
            ASSERT_EQ(Spokes()[k].startY, r.spokes[k].startY) << what;
            ASSERT_EQ(Spokes()[k].endX, r.spokes[k].endX) << what;
            ASSERT_EQ(Spokes()[k].endY, r.spokes[k].endY) << what;
            ASSERT_EQ(SpokeHits()[k].found, r.hits[k].found) << what;
            if (r.hits[k].found == 1) {
                ASSERT_EQ(SpokeHits()[k].x, r.hits[k].x) << what;
                ASSERT_EQ(SpokeHits()[k].y, r.hits[k].y) << what;
            }
        }
        ExpectSameVotes(CircleVotes(), r.votes, what);
        ASSERT_EQ(FirstDifference(got, want, width, height), "") << what;
    }
    EXPECT_GT(withVotes, 150);  // most scenes reach the vote
    SetWorkerCount(0);
}

namespace {

// The accumulator of one CircleThroughThree a triple, in triple order: the
// table the counted vote must equal, entry for entry.
std::vector<CircleVote> TripleByTriple(const std::vector<SpokeHit>& hits, int cx, int cy,
                                       CircleVote& chosen)
{
    std::vector<SpokeHit> found;
    for (const SpokeHit& h : hits)
        if (h.found == 1)
            found.push_back(h);
    CircularWork work;
    BeginCircleVote(work, cx, cy);
    for (std::size_t i = 0; i < found.size(); ++i)
        for (std::size_t j = i + 1; j < found.size(); ++j)
            for (std::size_t k = j + 1; k < found.size(); ++k)
                CircleThroughThree(work, found[i].x - cx, found[i].y - cy, found[j].x - cx,
                                   found[j].y - cy, found[k].x - cx, found[k].y - cy);
    chosen = ChosenCircle(work);
    return work.Votes();
}

// Hits of the kinds a search meets: one a spoke about (cx, cy), some missing.
std::vector<SpokeHit> SceneHits(std::mt19937& rng, int kind, int m, int cx, int cy)
{
    std::vector<SpokeHit> hits;
    const int radius = 5 + static_cast<int>(rng() % 240);
    for (int k = 0; k < m; ++k) {
        const double t = 6.2831853 * k / m;
        double r = radius;
        if (kind == 0)
            r = 1 + static_cast<int>(rng() % 250);  // noise: nearly every circle its own
        else if (kind == 1)
            r += static_cast<int>(rng() % 3) - 1;  // an edge: a few circles win
        int x = cx + static_cast<int>(r * std::cos(t)), y = cy + static_cast<int>(r * std::sin(t));
        if (kind == 2) {  // nearly a line: circles far beyond the packed range
            x = cx - 200 + 7 * k;
            y = cy + 40 + static_cast<int>(rng() % 2) + (k % 5 == 0 ? 1 : 0);
        }
        if (kind == 3 && k % 3 != 0) {  // repeated and collinear points
            x = hits.back().x;
            y = hits.back().y + (k % 3 == 2 ? 1 : 0);
        }
        hits.push_back({x, y, rng() % 9 == 0 ? 0 : 1});
    }
    return hits;
}

std::vector<circular_edge::RelativePoint> RelativeHits(const std::vector<SpokeHit>& hits, int cx,
                                                       int cy)
{
    std::vector<circular_edge::RelativePoint> p;
    for (const SpokeHit& h : hits)
        if (h.found == 1) {
            const std::int64_t x = h.x - cx, y = h.y - cy;
            p.push_back({x, y, -(x * x + y * y)});
        }
    return p;
}

// The counted vote on its own, whichever way VoteCircles would take.
void ExpectCountedAsLiteral(const std::vector<SpokeHit>& hits, int cx, int cy,
                            const std::vector<CircleVote>& table, const CircleVote& want,
                            const std::string& what, bool repeats = false)
{
    const std::vector<circular_edge::RelativePoint> p = RelativeHits(hits, cx, cy);
    circular_edge::CircleCount count;
    count.Count(circular_edge::Centre{cx, cy}, p, circular_edge::MakePairTerms(p), repeats);
    const CircleVote got = count.Winner();
    ASSERT_EQ(count.Distinct(), table.size()) << what;
    ASSERT_EQ(got.votes, want.votes) << what;
    ASSERT_EQ(got.centreX, want.centreX) << what;
    ASSERT_EQ(got.centreY, want.centreY) << what;
    ASSERT_EQ(got.radius, want.radius) << what;
    ExpectSameVotes(count.Entries(), table, what + ", counted");
}

}  // namespace

TEST(VoteCircles, CountedVotesEqualOneVoteATripleWithAnyThreads)
{
    std::mt19937 rng(3607);
    for (int round = 0; round < 16; ++round) {
        const int kind = round % 4, m = 34 + static_cast<int>(rng() % 90);
        const int cx = static_cast<int>(rng() % 3000) - 500, cy = static_cast<int>(rng() % 3000) - 500;
        const std::vector<SpokeHit> hits = SceneHits(rng, kind, m, cx, cy);
        CircleVote want{};
        const std::vector<CircleVote> table = TripleByTriple(hits, cx, cy, want);
        const std::string what = "round " + std::to_string(round) + " kind " + std::to_string(kind);
        for (int workers : {1, 2, 3}) {
            SetWorkerCount(workers);
            CircularWork work;
            BeginCircleVote(work, cx, cy);
            VoteCircles(work, hits);
            // The winner and the count come from the partitions, before the
            // entries are made; then the entries themselves.
            const CircleVote got = ChosenCircle(work);
            ASSERT_EQ(work.DistinctCircles(), table.size()) << what;
            ExpectSameWinner(got, want, what);
            ExpectSameVotes(work.Votes(), table, what);
            ASSERT_EQ(ChosenCircle(work).votes, want.votes) << what;
            ExpectCountedAsLiteral(hits, cx, cy, table, want, what);
        }
    }
    SetWorkerCount(0);
}

TEST(CircleCount, GatheringRepeatsKeepsTheLiteralTableAtEveryVectorLevel)
{
    // Repeats are gathered for any hits asked to: noise churns the recent
    // slots and takes the lead from one circle to the next, an edge keeps one
    // lead, a near line gives wide circles, repeated points give none. Short
    // rows are gone through together: wide circles then lie in any row of a
    // run, and a run ends inside the rows of one first point or past several.
    // 130 noisy points bring ten times as many circles as there are slots.
    struct Case {
        int kind, m;
    };
    std::mt19937 rng(8191);
    for (const Case& c : {Case{0, 70}, Case{1, 90}, Case{1, 33}, Case{2, 60}, Case{3, 75},
                          Case{2, 140}, Case{0, 130}}) {
        const int cx = 700 + static_cast<int>(rng() % 50), cy = 650;
        const std::vector<SpokeHit> hits = SceneHits(rng, c.kind, c.m, cx, cy);
        CircleVote want{};
        const std::vector<CircleVote> table = TripleByTriple(hits, cx, cy, want);
        for (VectorLevel level : kVectorLevels) {
            if (level > ProcessorVectorLevel())
                continue;
            ScopedVectorLimit limit(level);
            for (int workers : {1, 2, 3}) {
                SetWorkerCount(workers);
                ExpectCountedAsLiteral(hits, cx, cy, table, want,
                                       "kind " + std::to_string(c.kind) + " m " +
                                           std::to_string(c.m) + " " + VectorLevelName(level) +
                                           " threads " + std::to_string(workers),
                                       true);
            }
        }
    }
    SetWorkerCount(0);
}

TEST(VoteCircles, NoisyHitsOnAFullTurnPickTheLiteralWinner)
{
    // 150 noisy spokes, about 133 hits: some 380,000 triples, most of them
    // circles of their own, so many tie at the top and the latest first vote
    // decides.
    std::mt19937 rng(150);
    const std::vector<SpokeHit> hits = SceneHits(rng, 0, 150, 1024, 1024);
    CircleVote want{};
    const std::vector<CircleVote> table = TripleByTriple(hits, 1024, 1024, want);
    CircularWork work;
    BeginCircleVote(work, 1024, 1024);
    VoteCircles(work, hits);
    const CircleVote got = ChosenCircle(work);
    EXPECT_EQ(work.DistinctCircles(), table.size());
    EXPECT_GT(table.size(), 300000u);
    EXPECT_EQ(got.votes, want.votes);
    EXPECT_EQ(got.centreX, want.centreX);
    EXPECT_EQ(got.centreY, want.centreY);
    EXPECT_EQ(got.radius, want.radius);
}

TEST(VoteCircles, AgreesWithTheLiteralVoteWhereVotesAreCounted)
{
    std::mt19937 rng(4242);
    for (int round = 0; round < 8; ++round) {
        const int cx = 300 + static_cast<int>(rng() % 100), cy = 200;
        const std::vector<SpokeHit> hits =
            SceneHits(rng, round % 4, 32 + static_cast<int>(rng() % 12), cx, cy);
        SetWorkerCount(1 + round % 3);
        BeginCircleVote(cx, cy);
        VoteCircles(hits);
        ExpectSameVotes(CircleVotes(), ReferenceVoteCircles(hits, cx, cy),
                        "round " + std::to_string(round));
    }
    SetWorkerCount(0);
}

TEST(VoteCircles, VotesAfterACountedVoteFollowItsEntries)
{
    std::mt19937 rng(77);
    const std::vector<SpokeHit> first = SceneHits(rng, 1, 40, 500, 400);
    const std::vector<SpokeHit> second = SceneHits(rng, 0, 36, 500, 400);
    CircleVote unused{};
    std::vector<CircleVote> want = TripleByTriple(first, 500, 400, unused);
    CircularWork work;
    BeginCircleVote(work, 500, 400);
    VoteCircles(work, first);
    VoteCircles(work, second);          // counted apart, then appended
    AddCircleVote(work, 0, 0, -10000);  // a radius-50 circle about the centre
    // Expected: a table fed both votes one triple at a time, then the one vote.
    CircularWork literal;
    BeginCircleVote(literal, 500, 400);
    for (const auto* hits : {&first, &second}) {
        std::vector<SpokeHit> found;
        for (const SpokeHit& h : *hits)
            if (h.found == 1)
                found.push_back(h);
        for (std::size_t i = 0; i < found.size(); ++i)
            for (std::size_t j = i + 1; j < found.size(); ++j)
                for (std::size_t k = j + 1; k < found.size(); ++k)
                    CircleThroughThree(literal, found[i].x - 500, found[i].y - 400,
                                       found[j].x - 500, found[j].y - 400, found[k].x - 500,
                                       found[k].y - 400);
    }
    AddCircleVote(literal, 0, 0, -10000);
    ExpectSameVotes(work.Votes(), literal.Votes(), "appended");
    EXPECT_GT(literal.Votes().size(), want.size());
}

TEST(VoteCircles, ADiscGathersItsRepeatsNoiseIsCountedAndBothAgreeWithTheLiteral)
{
    // 120 spokes (gap 3) into a disc with noisy pixels, and into a flat region
    // speckled with bright pixels: each spoke stops at its first speckle.
    struct Case {
        const char* what;
        bool disc, counted;
    };
    for (const Case& c : {Case{"disc", true, false}, Case{"speckles", false, true}}) {
        GrayImage image = c.disc ? DiscScene(512, 512, 256, 256, 150, 60, 190) : NewGrayImage(512, 512);
        std::mt19937 rng(11);
        for (int x = 0; x < 512; ++x)
            for (int y = 0; y < 512; ++y)
                image[x][y] = c.disc ? static_cast<std::uint8_t>(image[x][y] + rng() % 9 - 4)
                                     : rng() % 60 == 0 ? 250 : 100;
        CircularWork search;
        FindCircularEdge(search, image, 50, 3, kInward, 0, 360, 256, 256, 0, 250, 512, 512);
        const std::vector<SpokeHit> hits = search.hits;
        const std::vector<circular_edge::RelativePoint> p = RelativeHits(hits, 256, 256);
        ASSERT_GE(p.size(), 100u) << c.what;
        EXPECT_EQ(circular_edge::ManyDistinctCircles(p, circular_edge::MakePairTerms(p)), c.counted)
            << c.what;
        CircleVote want{};
        const std::vector<CircleVote> table = TripleByTriple(hits, 256, 256, want);
        for (int workers : {1, 2, 3}) {
            SetWorkerCount(workers);
            // The plain path, as on a processor without vector registers, then
            // the widest one.
            ScopedVectorLimit limit(workers == 3 ? VectorLevel::Plain : ProcessorVectorLevel());
            CircularWork work;
            BeginCircleVote(work, 256, 256);
            VoteCircles(work, hits);
            const CircleVote got = ChosenCircle(work);
            const std::string what = std::string(c.what) + ", threads " + std::to_string(workers);
            EXPECT_EQ(work.DistinctCircles(), table.size()) << what;
            EXPECT_EQ(got.votes, want.votes) << what;
            EXPECT_EQ(got.centreX, want.centreX) << what;
            EXPECT_EQ(got.centreY, want.centreY) << what;
            EXPECT_EQ(got.radius, want.radius) << what;
            ExpectSameVotes(work.Votes(), table, what);
            ExpectCountedAsLiteral(hits, 256, 256, table, want, what);
        }
    }
    SetWorkerCount(0);
}

namespace {

// Points about the centre of the kinds that reach the row kernel's limits.
std::vector<circular_edge::RelativePoint> Cloud(std::mt19937& rng, int kind, int m)
{
    std::vector<circular_edge::RelativePoint> p;
    const auto any = [&](int half) { return static_cast<std::int64_t>(rng() % (2 * half + 1)) - half; };
    for (int k = 0; k < m; ++k) {
        // Kind 0: out to the last pixel of the double-precision rows.
        std::int64_t x = any(kind == 3 ? 4000 : 4095), y = any(kind == 3 ? 4000 : 4095);
        if (kind == 1) {  // a small cloud: circles repeat
            x = any(6);
            y = any(6);
        } else if (kind == 2) {  // nearly a line: huge circles, q beyond 2^52
            x = -4000 + 97 * k;
            y = 3000 + static_cast<std::int64_t>(rng() % 2);
        } else if (kind == 3 && k % 3 != 0) {  // repeated and collinear points
            x = p.back().x + (k % 3 == 2 ? 5 : 0);
            y = p.back().y + (k % 3 == 2 ? 5 : 0);
        } else if (kind == 4) {
            // An arc of a circle whose centre lies at the packed fields' edges,
            // (−2^16, 2^16): the rounding of the points moves the triples'
            // centres by hundreds of pixels across both edges.
            do {
                const double t = -0.785398 + (static_cast<double>(rng() % 2001) - 1000) * 4e-5;
                x = std::llround(-65536.0 + 92682.0 * std::cos(t));
                y = std::llround(65536.0 + 92682.0 * std::sin(t));
            } while (x <= -4096 || x >= 4096 || y <= -4096 || y >= 4096);
        }
        p.push_back({x, y, -(x * x + y * y)});
    }
    return p;
}

}  // namespace

TEST(RowKeys, EveryVectorLevelGivesTheExactCircleOfEachTriple)
{
    using namespace circular_edge;
    std::mt19937 rng(4095);
    for (int kind = 0; kind < 5; ++kind) {
        const std::vector<RelativePoint> p = Cloud(rng, kind, 41);
        const std::size_t m = p.size();
        std::vector<std::uint64_t> plain;  // every row's keys at the plain level, row after row
        for (VectorLevel level : kVectorLevels) {
            if (level > ProcessorVectorLevel())
                continue;
            ScopedVectorLimit limit(level);
            const PairTerms t = MakePairTerms(p);
            const std::string what = std::string(VectorLevelName(level)) + " kind " +
                                     std::to_string(kind);
            ASSERT_FALSE(t.Cd.empty()) << what;
            int exactOnly = 0, none = 0, edges = 0;
            std::size_t at = 0;
            std::vector<std::uint64_t> keys(m);
            for (std::size_t i = 0; i < m; ++i)
                for (std::size_t j = i + 1; j + 1 < m; ++j) {
                    RowKeys(t, i, j, keys.data());
                    for (std::size_t k = j + 1; k < m; ++k, ++at) {
                        const std::uint64_t key = keys[k - j - 1];
                        if (level == VectorLevel::Plain)
                            plain.push_back(key);
                        ASSERT_EQ(key, plain[at]) << what << " " << i << " " << j << " " << k;
                        if (level != VectorLevel::Plain)
                            continue;  // the same keys: checked once
                        Circle want{};
                        const bool circle = TripleCircle(Centre{0, 0}, p, t, i, j, k, want);
                        if (key == kExactOnly || (i + j + k) % 7 == 0) {
                            // The triple's circle from its points alone, in 128 bits.
                            CircularWork one;
                            BeginCircleVote(one, 0, 0);
                            CircleThroughThree(one, p[i].x, p[i].y, p[j].x, p[j].y, p[k].x, p[k].y);
                            const std::vector<CircleVote> literal = one.Votes();
                            ASSERT_EQ(literal.size(), circle ? 1u : 0u) << what;
                            ASSERT_TRUE(!circle || (literal[0].centreX == want.x &&
                                                    literal[0].centreY == want.y &&
                                                    literal[0].radius == want.radius))
                                << what;
                        }
                        if (key < kNoCircle) {
                            ASSERT_TRUE(circle && UnpackKey(key) == want) << what << " " << k;
                            edges += want.x == -(1 << 16) || want.y == (1 << 16) - 1;
                        } else if (key == kNoCircle) {
                            ASSERT_FALSE(circle) << what;
                            ++none;
                        } else {  // only circles that never pack are left to the integers
                            ASSERT_EQ(key, kExactOnly) << what;
                            ASSERT_TRUE(!circle || want.radius >= 1 << 17 || want.x >= 1 << 16 ||
                                        want.x < -(1 << 16) || want.y >= 1 << 16 ||
                                        want.y < -(1 << 16))
                                << what;
                            ++exactOnly;
                        }
                    }
                }
            if (level != VectorLevel::Plain)
                continue;
            EXPECT_TRUE(kind != 2 || exactOnly > 0) << what;
            EXPECT_TRUE(kind != 3 || none > 0) << what;
            // Circles on the last pixel inside both fields, and beyond them.
            EXPECT_TRUE(kind != 4 || (edges > 0 && exactOnly > 0)) << what << " " << edges;
        }
    }
}

TEST(VoteCircles, HitsOnBothSidesOfTheDoublePrecisionLimitAgreeWithTheLiteral)
{
    // Hits up to 4095 pixels from the centre take the double-precision rows;
    // one pixel farther, every row is worked out in integers.
    struct Case {
        int reach, kind;  // kind as in SceneHits: 0 noise (counted), 1 an edge (hash)
        bool doubles;
    };
    std::mt19937 rng(4096);
    for (const Case& c : {Case{4095, 0, true}, Case{4096, 0, false}, Case{4095, 1, true},
                          Case{4096, 1, false}}) {
        const int cx = 5000, cy = 4500;
        std::vector<SpokeHit> hits = SceneHits(rng, c.kind, 36, cx, cy);
        hits[0] = {cx - c.reach, cy + 3, 1};  // the farthest hit
        const std::vector<circular_edge::RelativePoint> p = RelativeHits(hits, cx, cy);
        EXPECT_EQ(circular_edge::MakePairTerms(p).Cd.empty(), !c.doubles) << c.reach;
        CircleVote want{};
        const std::vector<CircleVote> table = TripleByTriple(hits, cx, cy, want);
        for (int workers : {1, 2, 3}) {
            SetWorkerCount(workers);
            CircularWork work;
            BeginCircleVote(work, cx, cy);
            VoteCircles(work, hits);
            const std::string what = "reach " + std::to_string(c.reach) + " kind " +
                                     std::to_string(c.kind) + " threads " + std::to_string(workers);
            const CircleVote got = ChosenCircle(work);
            ExpectSameWinner(got, want, what);
            ExpectSameVotes(work.Votes(), table, what);
        }
    }
    SetWorkerCount(0);
}

TEST(VoteCircles, OneCircleFarBeyondItsPartitionsShareIsCountedExactly)
{
    // The 36 lattice points of x² + y² = 65² (16² + 63², 25² + 60², ...) taken
    // alternately with 36 noisy hits: the 7,140 triples of circle points all
    // give the circle (cx, cy, 65), mostly apart from one another, so its
    // partition gets about a hundred times its share of the elements.
    const int cx = 700, cy = 500;
    std::vector<std::pair<int, int>> lattice;
    for (int x = -65; x <= 65; ++x)
        for (int y = -65; y <= 65; ++y)
            if (x * x + y * y == 65 * 65)
                lattice.push_back({x, y});
    ASSERT_EQ(lattice.size(), 36u);
    std::mt19937 rng(65);
    std::vector<SpokeHit> hits;
    for (const auto& [x, y] : lattice) {
        hits.push_back({cx + x, cy + y, 1});
        hits.push_back({cx + static_cast<int>(rng() % 400) - 200,
                        cy + static_cast<int>(rng() % 400) - 200, 1});
    }
    CircleVote want{};
    const std::vector<CircleVote> table = TripleByTriple(hits, cx, cy, want);
    ASSERT_EQ(want.centreX, cx);
    ASSERT_EQ(want.centreY, cy);
    ASSERT_EQ(want.radius, 65);
    ASSERT_GE(want.votes, 7140);
    for (int workers : {1, 2, 3}) {
        SetWorkerCount(workers);
        ExpectCountedAsLiteral(hits, cx, cy, table, want, "threads " + std::to_string(workers));
    }
    SetWorkerCount(0);
}

TEST(VoteCircles, OneWorkKeepsItsTablesThroughSearchesOfEveryKind)
{
    // One caller's tables keep their storage from one search to the next:
    // counted noise, an edge in the hash vote, hits beyond the double-precision
    // reach, and a handful of hits, in an order where each one follows a
    // larger or a different one.
    struct Case {
        int kind, m, reach, workers;  // kind as in SceneHits; reach 0: none added
    };
    std::mt19937 rng(2718);
    CircularWork work;
    for (const Case& c : {Case{0, 110, 0, 2}, Case{1, 90, 0, 3}, Case{1, 40, 4096, 1},
                          Case{0, 20, 0, 2}, Case{1, 70, 0, 1}, Case{0, 60, 0, 3}}) {
        const int cx = 600 + static_cast<int>(rng() % 50), cy = 400;
        std::vector<SpokeHit> hits = SceneHits(rng, c.kind, c.m, cx, cy);
        if (c.reach > 0)
            hits[1] = {cx + 5, cy - c.reach, 1};
        CircleVote want{};
        const std::vector<CircleVote> table = TripleByTriple(hits, cx, cy, want);
        SetWorkerCount(c.workers);
        BeginCircleVote(work, cx, cy);
        VoteCircles(work, hits);
        const std::string what = "kind " + std::to_string(c.kind) + " m " + std::to_string(c.m);
        const CircleVote got = ChosenCircle(work);
        ASSERT_EQ(work.DistinctCircles(), table.size()) << what;
        ExpectSameWinner(got, want, what);
        ExpectSameVotes(work.Votes(), table, what);
    }
    SetWorkerCount(0);
}

TEST(FindCircularEdge, DrawingIntoAnotherImageWhileTheVoteRunsGivesTheSamePixels)
{
    // A disc's 360 hits gather their repeats, a speckled ground's are counted
    // one a triple, 20 hits take the hash accumulator: the copy of Before and
    // the spokes are drawn by the calling thread within each way of voting.
    const int side = 512;
    std::mt19937 rng(512);
    GrayImage disc = DiscScene(side, side, 256, 256, 150, 60, 190);
    GrayImage speckles = DiscScene(side, side, 256, 256, 0, 100, 100);
    for (int x = 0; x < side; ++x)
        for (int y = 0; y < side; ++y) {
            disc[x][y] = static_cast<std::uint8_t>(disc[x][y] + static_cast<int>(rng() % 9) - 4);
            speckles[x][y] = rng() % 60 == 0 ? 250 : 100;
        }
    struct Case {
        const GrayImage* scene;
        int gap;
    };
    for (const Case& c : {Case{&disc, 1}, Case{&speckles, 1}, Case{&disc, 18}})
        for (int workers : {1, 2}) {
            SetWorkerCount(workers);
            GrayImage inPlace = Copy(*c.scene, side, side), after = NewGrayImage(side, side);
            CircularWork one, two;
            const int want = FindCircularEdge(one, inPlace, 50, c.gap, kInward, 0, 360, 256, 256,
                                              0, 250, side, side);
            const int got = FindCircularEdge(two, *c.scene, after, 50, c.gap, kInward, 0, 360, 256,
                                             256, 0, 250, side, side);
            const std::string what = "gap " + std::to_string(c.gap) + ", threads " +
                                     std::to_string(workers);
            EXPECT_GT(want, 0) << what;
            EXPECT_EQ(got, want) << what;
            EXPECT_EQ(two.DistinctCircles(), one.DistinctCircles()) << what;
            EXPECT_EQ(FirstDifference(after, inPlace, side, side), "") << what;
        }
    SetWorkerCount(0);
}
