// tools/Find_circular_edgeCount.h: private to the Find_circular_edge unit. The
// circle of each triple of near hits, and the votes of millions of triples
// counted by partition instead of one table lookup a triple.
#pragma once
#include "Find_circular_edge.h"
#include "VectorLevel.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace circular_edge {

using i64 = std::int64_t;

struct Centre {
    int x, y;
};

struct Circle {
    i64 x, y, radius;
    bool operator==(const Circle&) const = default;
};

// Centre (centre + (−D)/2, halves truncated toward zero) and radius
// trunc(√q · 0.5), q = D² + E² − 4F rounded to single precision; false when
// q <= 0 or a coefficient reaches 2^62 in magnitude.
bool CircleOf(const Centre& centre, i64 D, i64 E, i64 F, Circle& c);

struct RelativePoint {
    i64 x, y, r;  // relative to the search centre; r = −(x² + y²)
};

// Points nearer than this to the centre in x and in y keep every determinant
// of their triples, and every numerator, below 2^60.
constexpr i64 kNearHit = i64{1} << 14;
// Nearer still, every pair term, determinant and numerator stays below 2^52:
// exact in double precision, and so is each truncated quotient (a quotient of
// integers below 2^52 never rounds across the next integer).
constexpr i64 kDoubleHit = i64{1} << 12;

// Every determinant of a triple is a sum of cross terms of pairs, so the pair
// terms are shared by all triples:
//   det = C(i,j) + C(j,k) − C(i,k)      with C(a,b) = x_a·y_b − x_b·y_a
//   D·det = R(i,j) + R(j,k) − R(i,k)    with R(a,b) = r_a·y_b − r_b·y_a
//   E·det = X(i,j) + X(j,k) − X(i,k)    with X(a,b) = x_a·r_b − x_b·r_a
//   F·det = r_i·C(j,k) − r_j·C(i,k) + r_k·C(i,j)
struct PairTerms {
    std::vector<i64> C, R, X;  // [a·m + b] for a < b; empty when the doubles below are kept
    std::size_t m = 0;
    // The same terms and r in double precision, when every point is nearer
    // than kDoubleHit; empty otherwise.
    std::vector<double> Cd, Rd, Xd, r;
    VectorLevel level = VectorLevel::Plain;  // of the row kernel
};
PairTerms MakePairTerms(const std::vector<RelativePoint>& p);
void MakePairTerms(const std::vector<RelativePoint>& p, PairTerms& t);  // in t's storage

// A row's circles as packed keys (see CircleCount): keys[k − j − 1] for each
// k in (j, m), kNoCircle when the triple gives none, kExactOnly when only the
// integer arithmetic of TripleCircle can tell (a wide or huge circle). Needs
// the terms in double precision.
constexpr std::uint64_t kNoCircle = std::uint64_t{1} << 51;
constexpr std::uint64_t kExactOnly = kNoCircle + 1;
void RowKeys(const PairTerms& t, std::size_t i, std::size_t j, std::uint64_t* keys);

// The circle of the triple (i, j, k) relative to centre, in exact integers.
bool TripleCircle(const Centre& centre, const std::vector<RelativePoint>& p, const PairTerms& t,
                  std::size_t i, std::size_t j, std::size_t k, Circle& c);

// A circle packs when its centre is within 2^16 of the search centre and its
// radius below 2^17: 17 bits each, x lowest.
constexpr int kFieldBits = 17, kKeyBits = 3 * kFieldBits;
constexpr i64 kFieldHalf = i64{1} << (kFieldBits - 1);
inline Circle UnpackKey(std::uint64_t key)
{
    const std::uint64_t field = (std::uint64_t{1} << kFieldBits) - 1;
    return {static_cast<i64>(key & field) - kFieldHalf,
            static_cast<i64>(key >> kFieldBits & field) - kFieldHalf,
            static_cast<i64>(key >> (2 * kFieldBits))};
}

// The circles of the triples (i, j, k), j < k < m, of near points, in k order:
// writes the circle and k of each triple that gives one (not collinear, not
// repeated) and returns how many. keys is scratch for m values.
std::size_t RowCircles(const Centre& centre, const std::vector<RelativePoint>& p,
                       const PairTerms& t, std::size_t i, std::size_t j, Circle* out,
                       std::uint32_t* ks, std::uint64_t* keys);

// Whether the triples' circles are mostly distinct (over a third of a sample of
// rows spread over the points). Only then does an element a triple pay: the
// few circles of a real edge repeat, and are gathered before they reach the
// partitions (or, where the rows are not in double precision, counted by the
// hash accumulator, for which a repeat of the previous circle costs no lookup).
bool ManyDistinctCircles(const std::vector<RelativePoint>& p, const PairTerms& t);

// Triples with first index in [begin[c], begin[c + 1]) form range c; the
// ranges hold about equal numbers of triples.
std::vector<std::size_t> ChunkStarts(std::size_t m, std::size_t chunks);

// The votes of every triple i < j < k of near points, counted without a table
// lookup a triple. Each triple gets its number in the single-pass order. A
// circle whose centre lies within 2^16 of the search centre and whose radius
// is below 2^17 (nearly all) packs into 51 bits; a bijective mix of those bits
// picks one of 1024 partitions, and the other 41 bits with the triple's number
// make one 64-bit element. Each thread computes the circles of its own range of
// triples into partitions of its own; each partition is then counted on one
// thread (its elements, taken range by range, are in triple order, so the
// first element of a circle is its first vote), in a small table that stays in
// the cache. Other circles are counted in a table of their own. A circle equal
// to the previous one adds to a run of that element instead of an element.
class CircleCount {
public:
    // True when the triples of m points can be numbered in an element.
    static bool Fits(std::size_t m);

    // Both passes: the circles into partitions, then the counts. With
    // repeats (the circles of an edge), the votes of recent circles are
    // gathered before they reach the partitions (in double precision only).
    // alongside, when given, runs on the calling thread once its own range is
    // done, before the counts.
    void Count(const Centre& centre, const std::vector<RelativePoint>& p, const PairTerms& t,
               bool repeats = false, const std::function<void()>& alongside = {});
    void Partition(const Centre& centre, const std::vector<RelativePoint>& p, const PairTerms& t,
                   bool repeats = false, const std::function<void()>& alongside = {});
    void Tally();

    void Clear();
    bool Empty() const { return distinct_ == 0; }
    std::size_t Distinct() const { return distinct_; }
    // The most votes; among equal votes the circle first voted for last.
    CircleVote Winner() const { return winner_; }
    // Every circle, in the order of first votes.
    std::vector<CircleVote> Entries() const;

    struct Run {
        std::uint32_t position, extra;  // element position in its list, votes beyond one
    };
    struct Wide {
        Circle circle;
        std::uint32_t triple;
    };

private:
    struct Best {
        std::int32_t votes = 0;
        std::uint32_t first = 0;
        Circle circle{0, 0, 0};
    };

public:
    // The elements of one range, partition by partition: the first `capacity`
    // of partition p in column p of one block (large pages), any further ones
    // in its overflow list. Positions count through both.
    struct Lists {
        ColumnArray<std::uint64_t> block;
        std::size_t capacity = 0;
        std::vector<std::uint32_t> count;                  // [partition], all elements
        std::vector<std::vector<std::uint64_t>> overflow;  // [partition]
        std::vector<std::vector<Run>> runs;                // [partition], in position order
    };

private:
    Centre centre_{0, 0};
    std::size_t ranges_ = 0;
    std::vector<Lists> lists_;  // [range]
    std::vector<std::vector<Wide>> wide_;               // [range], in triple order
    std::size_t distinct_ = 0;
    CircleVote winner_{0, 0, 0, 0};
};

}  // namespace circular_edge
