// tools/Find_circular_edgeVotes.cpp: the circle of every triple of hits and
// its vote, exact in integers.
#include "Find_circular_edgeVotes.h"

#include "Parallel.h"

#include <algorithm>
#include <cmath>

namespace circular_edge {
namespace {

using i128 = __int128;

constexpr i64 kFarthestHit = i64{1} << 30;     // beyond, the determinants leave 128 bits
constexpr i64 kCoefficientLimit = i64{1} << 62;  // beyond, q leaves 128 bits
constexpr i64 kNearHit = i64{1} << 14;  // below, every determinant and quotient fits 64 bits

struct Centre {
    int x, y;
};

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
inline bool CircleOf(const Centre& centre, i64 D, i64 E, i64 F, Circle& c)
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
    c.x = centre.x + (-D) / 2;
    c.y = centre.y + (-E) / 2;
    return true;
}

void Vote(VoteTable& table, const Centre& centre, i64 D, i64 E, i64 F)
{
    Circle c;
    if (CircleOf(centre, D, E, F, c))
        table.Vote(c.x, c.y, c.radius, 1);
}

// Exact Cramer quotients for three points up to 2^30 from the centre.
void CircleThroughThreeInto(VoteTable& table, const Centre& centre, i64 x0, i64 y0, i64 x1,
                            i64 y1, i64 x2, i64 y2)
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
    Vote(table, centre, static_cast<i64>(D), static_cast<i64>(E), static_cast<i64>(F));
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

void VoteNearTriples(VoteTable& table, const Centre& centre, const std::vector<RelativePoint>& p,
                     const PairTerms& t, std::size_t iLo, std::size_t iHi)
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
                n += CircleOf(centre, D, E, F, out[n]);
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

void VoteCoefficients(VoteTable& table, int cx, int cy, i64 D, i64 E, i64 F)
{
    Vote(table, Centre{cx, cy}, D, E, F);
}

void VoteThree(VoteTable& table, int cx, int cy, i64 x0, i64 y0, i64 x1, i64 y1, i64 x2, i64 y2)
{
    CircleThroughThreeInto(table, Centre{cx, cy}, x0, y0, x1, y1, x2, y2);
}

void VoteTriples(VoteTable& accumulator, int cx, int cy, std::span<const SpokeHit> hits)
{
    const Centre centre{cx, cy};
    std::vector<RelativePoint> p;
    bool near = true;
    for (const SpokeHit& h : hits)
        if (h.found == 1) {
            const i64 x = static_cast<i64>(h.x) - cx, y = static_cast<i64>(h.y) - cy;
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
                    CircleThroughThreeInto(accumulator, centre, p[i].x, p[i].y, p[j].x, p[j].y,
                                           p[k].x, p[k].y);
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
            VoteNearTriples(c == 0 ? accumulator : tables[u], centre, p, terms, begin[u],
                            begin[u + 1]);
        }
    });
    for (int c = 1; c < chunks; ++c)
        accumulator.Append(tables[static_cast<std::size_t>(c)]);
}

}  // namespace circular_edge
