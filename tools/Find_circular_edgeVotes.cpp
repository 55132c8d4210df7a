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
// From this many hits on (4,960 triples) the votes are counted by partition
// when most triples bring a new circle.
constexpr std::size_t kCountFromHits = 32;
constexpr int kRecentBits = 12;
constexpr std::size_t kRecentSlots = std::size_t{1} << kRecentBits;
constexpr int kRecentShift = 64 - kRecentBits;

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

// Votes of the triples i < j < k with i in [iLo, iHi), in triple order, for
// points all nearer than kNearHit to the centre.
void VoteNearTriples(VoteTable& table, const Centre& centre, const std::vector<RelativePoint>& p,
                     const PairTerms& t, std::size_t iLo, std::size_t iHi)
{
    const std::size_t m = t.m;
    // The circles of one row (i, j) are worked out first, then voted for: the
    // arithmetic runs without calls, and neighbouring triples, which often give
    // the same circle, are voted for without a lookup.
    std::vector<std::uint64_t> keys(m);
    if (!t.Cd.empty()) {
        // Packed keys are compared as they come from the row kernel; a run of
        // equal ones gathers its votes in a register.
        constexpr std::uint64_t kNone = ~std::uint64_t{0};  // equal to no key
        std::uint64_t lastKey = kNone;
        std::size_t lastEntry = 0;
        std::int32_t pending = 0;
        // The entries of recent keys, one slot a hash: on an edge a few circles
        // take most votes, and finding them here spares the hash of the whole
        // circle and a look at its entry. Entries are only ever appended, so a
        // remembered number stays right.
        struct Recent {
            std::uint64_t key;
            std::size_t entry;
        };
        std::vector<Recent> recent(kRecentSlots, Recent{kNone, 0});
        for (std::size_t i = iLo; i < iHi; ++i)
            for (std::size_t j = i + 1; j + 1 < m; ++j) {
                RowKeys(t, i, j, keys.data());
                for (std::size_t k = j + 1; k < m; ++k) {
                    const std::uint64_t key = keys[k - j - 1];
                    if (key == lastKey) {
                        ++pending;
                        continue;
                    }
                    std::size_t entry;
                    Circle c;
                    if (key < kNoCircle) {
                        Recent& known = recent[(key * 0x9E3779B97F4A7C15ull) >> kRecentShift];
                        if (known.key != key) {
                            c = UnpackKey(key);
                            known = {key, table.Vote(centre.x + c.x, centre.y + c.y, c.radius, 0)};
                        }
                        entry = known.entry;
                    } else if (key == kExactOnly && TripleCircle(centre, p, t, i, j, k, c)) {
                        entry = table.Vote(c.x, c.y, c.radius, 0);
                    } else {
                        continue;  // no circle: the run goes on past it
                    }
                    if (entry != lastEntry) {
                        if (pending != 0)
                            table.AddVotes(lastEntry, pending);
                        pending = 0;
                        lastEntry = entry;
                    }
                    ++pending;
                    lastKey = key < kNoCircle ? key : kNone;  // wide circles are looked up
                }
            }
        if (pending != 0)
            table.AddVotes(lastEntry, pending);
        return;
    }
    std::vector<Circle> row(m);
    std::vector<std::uint32_t> ks(m);
    Circle last{0, 0, -1};
    std::size_t lastEntry = 0;
    for (std::size_t i = iLo; i < iHi; ++i)
        for (std::size_t j = i + 1; j < m; ++j) {
            const std::size_t n = RowCircles(centre, p, t, i, j, row.data(), ks.data(), keys.data());
            for (std::size_t c = 0; c < n; ++c) {
                if (row[c] == last) {
                    table.AddVotes(lastEntry, 1);
                } else {
                    last = row[c];
                    lastEntry = table.Vote(last.x, last.y, last.radius, 1);
                }
            }
        }
}

}  // namespace

void VoteTable::Settle() const
{
    if (counted_.Empty())
        return;
    // The counted votes only ever fill an empty table.
    entries_ = counted_.Entries();
    counted_.Clear();
    std::size_t slots = kInitialSlots;
    while (entries_.size() * 2 > slots)
        slots *= 2;
    index_.assign(slots / 2, 0);
    Grow();  // to slots, indexing every entry
}

CircleVote VoteTable::Winner() const
{
    if (!counted_.Empty())
        return counted_.Winner();
    CircleVote chosen{0, 0, 0, 0};
    for (const CircleVote& e : entries_)
        if (e.votes >= chosen.votes)  // among equal votes the last entry wins
            chosen = e;
    return chosen;
}

void VoteCoefficients(VoteTable& table, int cx, int cy, i64 D, i64 E, i64 F)
{
    Vote(table, Centre{cx, cy}, D, E, F);
}

void VoteThree(VoteTable& table, int cx, int cy, i64 x0, i64 y0, i64 x1, i64 y1, i64 x2, i64 y2)
{
    CircleThroughThreeInto(table, Centre{cx, cy}, x0, y0, x1, y1, x2, y2);
}

namespace {

// The vote; true when it handed alongside on to the partitions, which run it
// when the caller's own range is done.
bool VoteTriplesAlong(VoteTable& accumulator, int cx, int cy, std::span<const SpokeHit> hits,
                      const std::function<void()>& alongside)
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
        return false;
    if (!near) {
        for (std::size_t i = 0; i < m; ++i)
            for (std::size_t j = i + 1; j < m; ++j)
                for (std::size_t k = j + 1; k < m; ++k)
                    CircleThroughThreeInto(accumulator, centre, p[i].x, p[i].y, p[j].x, p[j].y,
                                           p[k].x, p[k].y);
        return false;
    }
    PairTerms& terms = accumulator.Terms();
    MakePairTerms(p, terms);
    // Mostly distinct circles go to the partitions one a triple; an edge's
    // gather their repeats first, where the rows are in double precision.
    const bool counted = m >= kCountFromHits && CircleCount::Fits(m);
    const bool repeats = counted && !ManyDistinctCircles(p, terms);
    if (counted && (!repeats || !terms.Cd.empty())) {
        if (accumulator.Empty()) {
            accumulator.Counted().Count(centre, p, terms, repeats, alongside);
        } else {  // its new circles follow the ones already there
            VoteTable later;
            later.Counted().Count(centre, p, terms, repeats, alongside);
            accumulator.Append(later);
        }
        return true;
    }
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
    return false;
}

}  // namespace

void VoteTriples(VoteTable& accumulator, int cx, int cy, std::span<const SpokeHit> hits,
                 const std::function<void()>& alongside)
{
    if (!VoteTriplesAlong(accumulator, cx, cy, hits, alongside) && alongside)
        alongside();
}

}  // namespace circular_edge
