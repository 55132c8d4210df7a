// tools/Find_circular_edge.cpp
#include "Find_circular_edge.h"

#include "Find_edge.h"
#include "Parallel.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

using i64 = std::int64_t;
using i128 = __int128;

constexpr i64 kFarthestHit = i64{1} << 30;     // beyond, the determinants leave 128 bits
constexpr i64 kCoefficientLimit = i64{1} << 62;  // beyond, q leaves 128 bits
constexpr i64 kNearHit = i64{1} << 14;  // below, every determinant and quotient fits 64 bits
// Spoke k + 360 is turned by 360 · gap whole degrees from spoke k: it points the
// same way. A longer sweep adds no direction, only votes, and the vote is cubic
// in the spokes (a million spokes would take years), so the sweep stops there.
constexpr i64 kMaxSpokes = 360;

// The accumulator: entries in the order they were first voted for, found again
// through an open-addressing index, so a vote costs one lookup whatever the
// number of entries, and the order (which decides ties) is that of a plain list.
class VoteTable {
public:
    void Clear()
    {
        entries_.clear();
        index_.assign(kInitialSlots, 0);
    }

    // Adds votes to the circle, entering it at the end when it is new; returns
    // its entry number.
    std::size_t Vote(i64 x, i64 y, i64 r, std::int32_t votes)
    {
        const std::uint64_t h = Hash(x, y, r);
        const std::uint64_t tag = h >> 32;
        const std::size_t mask = index_.size() - 1;
        for (std::size_t slot = h & mask;; slot = (slot + 1) & mask) {
            const std::uint64_t s = index_[slot];
            if (s == 0)
                return Insert(slot, tag, x, y, r, votes);
            if (s >> 32 == tag) {
                const std::size_t entry = (s & 0xFFFFFFFF) - 1;
                CircleVote& e = entries_[entry];
                if (e.centreX == x && e.centreY == y && e.radius == r) {
                    e.votes += votes;
                    return entry;
                }
            }
        }
    }

    void AddVotes(std::size_t entry, std::int32_t votes) { entries_[entry].votes += votes; }

    // Takes in a table filled from later triples: its new circles follow ours in
    // its own order, which is where a single pass over all triples puts them.
    void Append(const VoteTable& later)
    {
        for (const CircleVote& e : later.entries_)
            Vote(e.centreX, e.centreY, e.radius, e.votes);
    }

    const std::vector<CircleVote>& Entries() const { return entries_; }

private:
    static constexpr std::size_t kInitialSlots = 1024;

    static std::uint64_t Hash(i64 x, i64 y, i64 r)
    {
        std::uint64_t h = static_cast<std::uint64_t>(x) * 0x9E3779B97F4A7C15ull +
                          static_cast<std::uint64_t>(y) * 0xC2B2AE3D27D4EB4Full +
                          static_cast<std::uint64_t>(r) * 0x165667B19E3779F9ull;
        h ^= h >> 31;
        h *= 0xBF58476D1CE4E5B9ull;
        h ^= h >> 29;
        return h;
    }

    [[gnu::noinline]] std::size_t Insert(std::size_t slot, std::uint64_t tag, i64 x, i64 y, i64 r,
                                         std::int32_t votes)
    {
        entries_.push_back({x, y, r, votes});
        index_[slot] = tag << 32 | entries_.size();
        if (entries_.size() * 2 > index_.size())
            Grow();
        return entries_.size() - 1;
    }

    void Grow()
    {
        index_.assign(index_.size() * 2, 0);
        const std::size_t mask = index_.size() - 1;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const CircleVote& e = entries_[i];
            const std::uint64_t h = Hash(e.centreX, e.centreY, e.radius);
            std::size_t slot = h & mask;
            while (index_[slot] != 0)
                slot = (slot + 1) & mask;
            index_[slot] = (h >> 32) << 32 | (i + 1);
        }
    }

    std::vector<CircleVote> entries_;
    std::vector<std::uint64_t> index_ = std::vector<std::uint64_t>(kInitialSlots, 0);  // tag, entry + 1
};

// Unit state: refilled by every run.
std::vector<Spoke> spokes;
std::vector<SpokeHit> spokeHits;
VoteTable accumulator;
int centreX = 0, centreY = 0;  // the search centre of the current run

int Saturate(long double v)
{
    if (!(v == v))
        return 0;
    return static_cast<int>(std::clamp<long double>(v, INT_MIN, INT_MAX));
}

bool FitsInt(i64 v) { return v >= INT_MIN && v <= INT_MAX; }

// q = D² + E² − 4F exactly, rounded to single precision, for |D|, |E|, |F| < 2^62.
// Values that fit 64 bits take the one-instruction conversion; both
// conversions round to nearest, so they agree.
[[gnu::noinline]] float WideQ(i64 D, i64 E, i64 F)
{
    const i128 q = static_cast<i128>(D) * D + static_cast<i128>(E) * E - 4 * static_cast<i128>(F);
    if (q >= INT64_MIN && q <= INT64_MAX)
        return static_cast<float>(static_cast<i64>(q));
    return static_cast<float>(q);
}

struct Circle {
    i64 x, y, radius;
    bool operator==(const Circle&) const = default;
};

// Centre and radius from the coefficients; false when there is no circle.
inline bool CircleOf(i64 D, i64 E, i64 F, Circle& c)
{
    if (D <= -kCoefficientLimit || D >= kCoefficientLimit || E <= -kCoefficientLimit ||
        E >= kCoefficientLimit || F <= -kCoefficientLimit || F >= kCoefficientLimit)
        return false;
    const float q = D > -kFarthestHit && D < kFarthestHit && E > -kFarthestHit &&
                            E < kFarthestHit && F > -kFarthestHit * kFarthestHit &&
                            F < kFarthestHit * kFarthestHit
                        ? static_cast<float>(D * D + E * E - 4 * F)  // |q| < 2^61 + 2^62
                        : WideQ(D, E, F);
    if (q <= 0.0f)
        return false;
    c.radius = static_cast<i64>(std::sqrt(q) * 0.5f);  // single precision, truncated
    // Halvings truncate toward zero.
    c.x = centreX + (-D) / 2;
    c.y = centreY + (-E) / 2;
    return true;
}

void Vote(VoteTable& table, i64 D, i64 E, i64 F)
{
    Circle c;
    if (CircleOf(D, E, F, c))
        table.Vote(c.x, c.y, c.radius, 1);
}

// Exact Cramer quotients for three points up to 2^30 from the centre.
void CircleThroughThreeInto(VoteTable& table, i64 x0, i64 y0, i64 x1, i64 y1, i64 x2, i64 y2)
{
    for (i64 v : {x0, y0, x1, y1, x2, y2})
        if (v <= -kFarthestHit || v >= kFarthestHit)
            return;
    const i128 r0 = -(static_cast<i128>(x0) * x0 + static_cast<i128>(y0) * y0);
    const i128 r1 = -(static_cast<i128>(x1) * x1 + static_cast<i128>(y1) * y1);
    const i128 r2 = -(static_cast<i128>(x2) * x2 + static_cast<i128>(y2) * y2);
    // det |a b c| over the rows (a_i, b_i, c_i) = a·(b c minor) expansion, for
    // the columns x, y, 1 with one of them replaced by r.
    auto det3 = [](i128 a0, i128 b0, i128 c0, i128 a1, i128 b1, i128 c1, i128 a2, i128 b2,
                   i128 c2) {
        return a0 * (b1 * c2 - c1 * b2) - b0 * (a1 * c2 - c1 * a2) + c0 * (a1 * b2 - b1 * a2);
    };
    const i128 det = det3(x0, y0, 1, x1, y1, 1, x2, y2, 1);
    if (det == 0)
        return;  // collinear or repeated points
    const i128 D = det3(r0, y0, 1, r1, y1, 1, r2, y2, 1) / det;  // truncation toward zero
    const i128 E = det3(x0, r0, 1, x1, r1, 1, x2, r2, 1) / det;
    const i128 F = det3(x0, y0, r0, x1, y1, r1, x2, y2, r2) / det;
    for (i128 v : {D, E, F})
        if (v <= -kCoefficientLimit || v >= kCoefficientLimit)
            return;
    Vote(table, static_cast<i64>(D), static_cast<i64>(E), static_cast<i64>(F));
}

struct RelativePoint {
    i64 x, y, r;  // r = −(x² + y²)
};

// Votes of the triples i < j < k with i in [iLo, iHi), in triple order, for
// points all nearer than 2^14 to the centre. Every determinant is a sum of
// cross terms of pairs, so the pair terms are shared by all triples:
//   det = C(i,j) + C(j,k) − C(i,k)      with C(a,b) = x_a·y_b − x_b·y_a
//   D·det = R(i,j) + R(j,k) − R(i,k)    with R(a,b) = r_a·y_b − r_b·y_a
//   E·det = X(i,j) + X(j,k) − X(i,k)    with X(a,b) = x_a·r_b − x_b·r_a
//   F·det = r_i·C(j,k) − r_j·C(i,k) + r_k·C(i,j)
// All of them stay below 2^60 here.
struct PairTerms {
    std::vector<i64> C, R, X;  // [a·m + b] for a < b
    std::size_t m = 0;
};

PairTerms MakePairTerms(const std::vector<RelativePoint>& p)
{
    PairTerms t;
    t.m = p.size();
    t.C.assign(t.m * t.m, 0);
    t.R.assign(t.m * t.m, 0);
    t.X.assign(t.m * t.m, 0);
    for (std::size_t a = 0; a < t.m; ++a)
        for (std::size_t b = a + 1; b < t.m; ++b) {
            const std::size_t ab = a * t.m + b;
            t.C[ab] = p[a].x * p[b].y - p[b].x * p[a].y;
            t.R[ab] = p[a].r * p[b].y - p[b].r * p[a].y;
            t.X[ab] = p[a].x * p[b].r - p[b].x * p[a].r;
        }
    return t;
}

void VoteNearTriples(VoteTable& table, const std::vector<RelativePoint>& p, const PairTerms& t,
                     std::size_t iLo, std::size_t iHi)
{
    const std::size_t m = t.m;
    // The circles of one row (i, j) are worked out first, then voted for: the
    // arithmetic runs without calls, and neighbouring triples, which often give
    // the same circle, are voted for without a lookup.
    std::vector<Circle> row(m);
    Circle last{0, 0, -1};
    std::size_t lastEntry = 0;
    for (std::size_t i = iLo; i < iHi; ++i)
        for (std::size_t j = i + 1; j < m; ++j) {
            const std::size_t ij = i * m + j;
            const i64 Cij = t.C[ij], Rij = t.R[ij], Xij = t.X[ij];
            const i64 ri = p[i].r, rj = p[j].r;
            const i64* Cj = &t.C[j * m];
            const i64* Ci = &t.C[i * m];
            const i64* Rj = &t.R[j * m];
            const i64* Ri = &t.R[i * m];
            const i64* Xj = &t.X[j * m];
            const i64* Xi = &t.X[i * m];
            Circle* out = row.data();
            std::size_t n = 0;
            for (std::size_t k = j + 1; k < m; ++k) {
                const i64 det = Cij + Cj[k] - Ci[k];
                if (det == 0)
                    continue;  // collinear or repeated points
                // Truncation toward zero.
                const i64 D = (Rij + Rj[k] - Ri[k]) / det;
                const i64 E = (Xij + Xj[k] - Xi[k]) / det;
                const i64 F = (ri * Cj[k] - rj * Ci[k] + p[k].r * Cij) / det;
                n += CircleOf(D, E, F, out[n]);
            }
            for (std::size_t c = 0; c < n; ++c) {
                if (out[c] == last) {
                    table.AddVotes(lastEntry, 1);
                } else {
                    last = out[c];
                    lastEntry = table.Vote(last.x, last.y, last.radius, 1);
                }
            }
        }
}

// Triples with first index in [begin[c], begin[c + 1]) form chunk c; the chunks
// hold about equal numbers of triples.
std::vector<std::size_t> ChunkStarts(std::size_t m, std::size_t chunks)
{
    auto triplesFrom = [&](std::size_t i) {  // triples whose first index is i
        const std::size_t rest = m - 1 - i;
        return rest * (rest - 1) / 2;
    };
    std::size_t total = 0;
    for (std::size_t i = 0; i + 2 < m; ++i)
        total += triplesFrom(i);
    std::vector<std::size_t> begin{0};
    std::size_t done = 0;
    for (std::size_t i = 0; i + 2 < m && begin.size() < chunks; ++i) {
        done += triplesFrom(i);
        if (done * chunks >= total * begin.size())
            begin.push_back(i + 1);
    }
    begin.push_back(m);
    return begin;
}

}  // namespace

int BuildSpokes(int gap, int direction, int startAngle, int endAngle, int cx, int cy,
                int insideRadius, int outsideRadius)
{
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
        const long double theta = static_cast<long double>(product) * (1.0L / 180);
        const long double c = std::cos(theta), s = std::sin(theta);
        const int innerX = Saturate(std::trunc(cx + insideRadius * c));
        const int innerY = Saturate(std::trunc(cy + insideRadius * s));
        const int outerX = Saturate(std::trunc(cx + outsideRadius * c));
        const int outerY = Saturate(std::trunc(cy + outsideRadius * s));
        if (direction == kInward)
            spokes.push_back({outerX, outerY, innerX, innerY});
        else
            spokes.push_back({innerX, innerY, outerX, outerY});
    }
    return n;
}

std::span<const Spoke> Spokes() { return spokes; }
std::span<const SpokeHit> SpokeHits() { return spokeHits; }

SpokeHit FirstEdgeOnSpoke(const GrayImage& image, std::uint8_t threshold, const Spoke& spoke,
                          int width, int height)
{
    SpokeHit hit{0, 0, 0};
    if (FirstStepAtLeast(image, threshold, spoke.startX, spoke.startY, spoke.endX, spoke.endY,
                         width, height, hit.x, hit.y))
        hit.found = 1;
    return hit;
}

void BeginCircleVote(int cx, int cy)
{
    centreX = cx;
    centreY = cy;
    accumulator.Clear();
}

void AddCircleVote(std::int64_t D, std::int64_t E, std::int64_t F)
{
    Vote(accumulator, D, E, F);
}

void CircleThroughThree(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                        std::int64_t x2, std::int64_t y2)
{
    CircleThroughThreeInto(accumulator, x0, y0, x1, y1, x2, y2);
}

void VoteCircles(std::span<const SpokeHit> hits)
{
    std::vector<RelativePoint> p;
    bool near = true;
    for (const SpokeHit& h : hits)
        if (h.found == 1) {
            const i64 x = static_cast<i64>(h.x) - centreX, y = static_cast<i64>(h.y) - centreY;
            near = near && x > -kNearHit && x < kNearHit && y > -kNearHit && y < kNearHit;
            p.push_back({x, y, near ? -(x * x + y * y) : 0});
        }
    const std::size_t m = p.size();
    if (m < 3)
        return;
    if (!near) {
        for (std::size_t i = 0; i < m; ++i)
            for (std::size_t j = i + 1; j < m; ++j)
                for (std::size_t k = j + 1; k < m; ++k)
                    CircleThroughThreeInto(accumulator, p[i].x, p[i].y, p[j].x, p[j].y, p[k].x,
                                           p[k].y);
        return;
    }
    const PairTerms terms = MakePairTerms(p);
    // Each chunk of triples fills its own table; appended in chunk order they
    // give the very table (order and votes) of one pass over all triples, so
    // the result does not depend on the number of threads.
    const std::vector<std::size_t> begin =
        ChunkStarts(m, m >= 24 ? static_cast<std::size_t>(WorkerCount()) : 1);
    const int chunks = static_cast<int>(begin.size()) - 1;
    std::vector<VoteTable> tables(static_cast<std::size_t>(chunks));
    ParallelFor(0, chunks, 1, [&](int lo, int hi) {
        for (int c = lo; c < hi; ++c) {
            const auto u = static_cast<std::size_t>(c);
            VoteNearTriples(c == 0 ? accumulator : tables[u], p, terms, begin[u], begin[u + 1]);
        }
    });
    for (int c = 1; c < chunks; ++c)
        accumulator.Append(tables[static_cast<std::size_t>(c)]);
}

std::vector<CircleVote> CircleVotes() { return accumulator.Entries(); }

CircleVote ChosenCircle()
{
    CircleVote chosen{0, 0, 0, 0};
    for (const CircleVote& e : accumulator.Entries())
        if (e.votes >= chosen.votes)  // among equal votes the last entry wins
            chosen = e;
    return chosen;
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
    BeginCircleVote(cx, cy);
    const int n = BuildSpokes(gap, direction, startAngle, endAngle, cx, cy, insideRadius,
                              outsideRadius);
    // Every spoke is searched before anything is drawn.
    spokeHits.resize(static_cast<std::size_t>(n));
    int m = 0;
    for (int k = 0; k < n; ++k) {
        spokeHits[static_cast<std::size_t>(k)] =
            FirstEdgeOnSpoke(image, threshold, spokes[static_cast<std::size_t>(k)], width, height);
        m += spokeHits[static_cast<std::size_t>(k)].found;
    }
    for (int k = 0; k < n; ++k) {  // in spoke order: each spoke covers its own hit's circle
        const SpokeHit& hit = spokeHits[static_cast<std::size_t>(k)];
        if (hit.found == 1)
            DrawCircle(image, 2, 255, hit.x, hit.y, width, height);
        const Spoke& spoke = spokes[static_cast<std::size_t>(k)];
        DrawLine(image, 128, spoke.startX, spoke.startY, spoke.endX, spoke.endY, width, height);
    }
    if (m < 3)
        return 0;
    VoteCircles(spokeHits);
    const CircleVote chosen = ChosenCircle();
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
