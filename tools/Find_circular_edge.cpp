// tools/Find_circular_edge.cpp
#include "Find_circular_edge.h"

#include "Extended.h"
#include "Find_circular_edgeVotes.h"
#include "Find_edge.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

using i64 = std::int64_t;
using i128 = __int128;

// Spoke k + 360 is turned by 360 · gap whole degrees from spoke k: it points the
// same way. A longer sweep adds no direction, only votes, and the vote is cubic
// in the spokes (a million spokes would take years), so the sweep stops there.
constexpr i64 kMaxSpokes = 360;

// The tables of every call that hands in no work: one for the whole process.
CircularWork& SharedWork()
{
    static CircularWork work;
    return work;
}

int Saturate(long double v)
{
    if (!(v == v))
        return 0;
    return static_cast<int>(std::clamp<long double>(v, INT_MIN, INT_MAX));
}

bool FitsInt(i64 v) { return v >= INT_MIN && v <= INT_MAX; }

}  // namespace

CircularWork& ProcessCircularWork() { return SharedWork(); }

CircularWork::CircularWork() : accumulator(std::make_unique<circular_edge::VoteTable>()) {}
CircularWork::~CircularWork() = default;
CircularWork::CircularWork(CircularWork&&) noexcept = default;
CircularWork& CircularWork::operator=(CircularWork&&) noexcept = default;

const std::vector<CircleVote>& CircularWork::Votes() const { return accumulator->Entries(); }
std::size_t CircularWork::DistinctCircles() const { return accumulator->Distinct(); }

int BuildSpokes(int gap, int direction, int startAngle, int endAngle, int cx, int cy,
                int insideRadius, int outsideRadius)
{
    return BuildSpokes(SharedWork(), gap, direction, startAngle, endAngle, cx, cy, insideRadius,
                       outsideRadius);
}

int BuildSpokes(CircularWork& work, int gap, int direction, int startAngle, int endAngle, int cx,
                int cy, int insideRadius, int outsideRadius)
{
    std::vector<Spoke>& spokes = work.spokes;
    spokes.clear();
    if (gap < 1)
        return 0;
    const i64 count = std::abs(static_cast<i64>(startAngle) - endAngle) / gap;
    const int n = static_cast<int>(std::min(count, kMaxSpokes));
    spokes.reserve(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        // Always increasing from the start angle, whichever end is larger.
        const i64 degrees = startAngle + static_cast<i64>(gap) * k;
        const double product = static_cast<double>(degrees) * 3.141592654;
        const long double theta = Ext(static_cast<long double>(product) * Ext(1.0L / 180));
        const long double c = Ext(std::cos(theta)), s = Ext(std::sin(theta));
        const int innerX = Saturate(std::trunc(Ext(cx + Ext(insideRadius * c))));
        const int innerY = Saturate(std::trunc(Ext(cy + Ext(insideRadius * s))));
        const int outerX = Saturate(std::trunc(Ext(cx + Ext(outsideRadius * c))));
        const int outerY = Saturate(std::trunc(Ext(cy + Ext(outsideRadius * s))));
        if (direction == kInward)
            spokes.push_back({outerX, outerY, innerX, innerY});
        else
            spokes.push_back({innerX, innerY, outerX, outerY});
    }
    return n;
}

std::span<const Spoke> Spokes() { return SharedWork().spokes; }
std::span<const SpokeHit> SpokeHits() { return SharedWork().hits; }

SpokeHit FirstEdgeOnSpoke(const GrayImage& image, std::uint8_t threshold, const Spoke& spoke,
                          int width, int height)
{
    SpokeHit hit{0, 0, 0};
    if (FirstStepAtLeast(image, threshold, spoke.startX, spoke.startY, spoke.endX, spoke.endY,
                         width, height, hit.x, hit.y))
        hit.found = 1;
    return hit;
}

void BeginCircleVote(int cx, int cy) { BeginCircleVote(SharedWork(), cx, cy); }

void BeginCircleVote(CircularWork& work, int cx, int cy)
{
    work.centreX = cx;
    work.centreY = cy;
    work.accumulator->Clear();
}

void AddCircleVote(std::int64_t D, std::int64_t E, std::int64_t F)
{
    AddCircleVote(SharedWork(), D, E, F);
}

void AddCircleVote(CircularWork& work, std::int64_t D, std::int64_t E, std::int64_t F)
{
    circular_edge::VoteCoefficients(*work.accumulator, work.centreX, work.centreY, D, E, F);
}

void CircleThroughThree(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                        std::int64_t x2, std::int64_t y2)
{
    CircleThroughThree(SharedWork(), x0, y0, x1, y1, x2, y2);
}

void CircleThroughThree(CircularWork& work, std::int64_t x0, std::int64_t y0, std::int64_t x1,
                        std::int64_t y1, std::int64_t x2, std::int64_t y2)
{
    circular_edge::VoteThree(*work.accumulator, work.centreX, work.centreY, x0, y0, x1, y1, x2, y2);
}

void VoteCircles(std::span<const SpokeHit> hits) { VoteCircles(SharedWork(), hits); }

void VoteCircles(CircularWork& work, std::span<const SpokeHit> hits)
{
    circular_edge::VoteTriples(*work.accumulator, work.centreX, work.centreY, hits);
}

void VoteCircles(CircularWork& work, std::span<const SpokeHit> hits,
                 const std::function<void()>& alongside)
{
    circular_edge::VoteTriples(*work.accumulator, work.centreX, work.centreY, hits, alongside);
}

std::vector<CircleVote> CircleVotes() { return SharedWork().Votes(); }

CircleVote ChosenCircle() { return ChosenCircle(SharedWork()); }

CircleVote ChosenCircle(const CircularWork& work)
{
    return work.accumulator->Winner();
}

void DrawWideCircle(GrayImage& image, std::int64_t radius, std::uint8_t value, std::int64_t cx,
                    std::int64_t cy, int width, int height)
{
    // As DrawCircle: row v (1 <= v <= r) of the quarter path covers u from
    // s(v + 1) to s(v), s(v) = floor(sqrt(r² − v²)) + 1, s(r + 1) = 0; row 0 gets
    // u = r only. Only rows and columns inside the image are walked.
    if (radius < 0 || width <= 0 || height <= 0)
        return;
    const i128 r = radius, r2 = r * r;
    auto set = [&](i128 x, i128 y) {
        if (x >= 0 && x < width && y >= 0 && y < height)
            image[static_cast<int>(x)][static_cast<int>(y)] = value;
    };
    if (r == 0) {
        set(cx, cy);
        return;
    }
    auto s = [&](i128 v) -> i128 {
        if (v > r)
            return 0;
        const i128 n = r2 - v * v;
        i128 root = static_cast<i128>(std::sqrt(static_cast<long double>(n)));
        while (root > 0 && root * root > n)
            --root;
        while ((root + 1) * (root + 1) <= n)
            ++root;
        return root + 1;
    };
    const i128 yFirst = std::max<i128>(0, static_cast<i128>(cy) - r);
    const i128 yLast = std::min<i128>(height - 1, static_cast<i128>(cy) + r);
    for (i128 y = yFirst; y <= yLast; ++y) {
        const i128 v = y > cy ? y - cy : cy - y;
        if (v == 0)
            continue;
        const i128 lo = s(v + 1), hi = s(v);
        for (int side = -1; side <= 1; side += 2) {  // x = cx − u and x = cx + u
            const i128 a = cx + side * (side > 0 ? lo : hi);
            const i128 b = cx + side * (side > 0 ? hi : lo);
            const i128 first = std::max<i128>(a, 0), last = std::min<i128>(b, width - 1);
            for (i128 x = first; x <= last; ++x)
                image[static_cast<int>(x)][static_cast<int>(y)] = value;
        }
    }
    set(static_cast<i128>(cx) + r, cy);
    set(static_cast<i128>(cx) - r, cy);
}

int FindCircularEdge(GrayImage& image, std::uint8_t threshold, int gap, int direction,
                     int startAngle, int endAngle, int cx, int cy, int insideRadius,
                     int outsideRadius, int width, int height)
{
    return FindCircularEdge(SharedWork(), image, threshold, gap, direction, startAngle, endAngle,
                            cx, cy, insideRadius, outsideRadius, width, height);
}

int FindCircularEdge(CircularWork& work, GrayImage& image, std::uint8_t threshold, int gap,
                     int direction, int startAngle, int endAngle, int cx, int cy, int insideRadius,
                     int outsideRadius, int width, int height)
{
    return FindCircularEdge(work, image, image, threshold, gap, direction, startAngle, endAngle, cx,
                            cy, insideRadius, outsideRadius, width, height);
}

int FindCircularEdge(CircularWork& work, const GrayImage& before, GrayImage& image,
                     std::uint8_t threshold, int gap, int direction, int startAngle, int endAngle,
                     int cx, int cy, int insideRadius, int outsideRadius, int width, int height)
{
    BeginCircleVote(work, cx, cy);
    work.chosen = {0, 0, 0, 0};
    const int n = BuildSpokes(work, gap, direction, startAngle, endAngle, cx, cy, insideRadius,
                              outsideRadius);
    const std::vector<Spoke>& spokes = work.spokes;
    std::vector<SpokeHit>& spokeHits = work.hits;
    // Every spoke is searched before anything is drawn.
    spokeHits.resize(static_cast<std::size_t>(n));
    int m = 0;
    for (int k = 0; k < n; ++k) {
        spokeHits[static_cast<std::size_t>(k)] =
            FirstEdgeOnSpoke(before, threshold, spokes[static_cast<std::size_t>(k)], width, height);
        m += spokeHits[static_cast<std::size_t>(k)].found;
    }
    // Neither needs the vote: made while the other threads are still voting.
    const auto copyAndDrawSpokes = [&] {
        if (&before != &image)
            CopyGrayImage(before, image, width, height);
        for (int k = 0; k < n; ++k) {  // in spoke order: each spoke covers its own hit's circle
            const SpokeHit& hit = spokeHits[static_cast<std::size_t>(k)];
            if (hit.found == 1)
                DrawCircle(image, 2, 255, hit.x, hit.y, width, height);
            const Spoke& spoke = spokes[static_cast<std::size_t>(k)];
            DrawLine(image, 128, spoke.startX, spoke.startY, spoke.endX, spoke.endY, width, height);
        }
    };
    if (m < 3) {
        copyAndDrawSpokes();
        return 0;
    }
    VoteCircles(work, spokeHits, copyAndDrawSpokes);
    work.chosen = ChosenCircle(work);
    const CircleVote chosen = work.chosen;
    if (chosen.votes > 0) {
        if (FitsInt(chosen.radius) && FitsInt(chosen.centreX) && FitsInt(chosen.centreY))
            DrawCircle(image, static_cast<int>(chosen.radius), 0, static_cast<int>(chosen.centreX),
                       static_cast<int>(chosen.centreY), width, height);
        else
            DrawWideCircle(image, chosen.radius, 0, chosen.centreX, chosen.centreY, width, height);
    }
    DrawCircle(image, insideRadius, 255, cx, cy, width, height);
    DrawCircle(image, outsideRadius, 128, cx, cy, width, height);
    return chosen.votes;
}
