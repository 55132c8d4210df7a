// tools/Find_circular_edgeCount.cpp: the circles of the triples of near hits,
// and their votes counted by partition.
#include "Find_circular_edgeCount.h"

#include "Parallel.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace circular_edge {
namespace {

using i128 = __int128;
using u64 = std::uint64_t;

constexpr i64 kFarthestHit = i64{1} << 30;
constexpr i64 kCoefficientLimit = i64{1} << 62;  // beyond, q leaves 128 bits

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

constexpr int kPartitionBits = 10, kRestBits = kKeyBits - kPartitionBits;
constexpr int kTripleBits = 64 - kRestBits;  // 23: C(370, 3) triples
constexpr std::size_t kPartitions = std::size_t{1} << kPartitionBits;
constexpr u64 kKeyMask = (u64{1} << kKeyBits) - 1, kRestMask = (u64{1} << kRestBits) - 1;
constexpr u64 kTripleMask = (u64{1} << kTripleBits) - 1;

// Multiplying by an odd number is a bijection modulo 2^51; its top bits depend
// on every bit of the key, so they spread the circles over the partitions.
constexpr u64 kMix = 0x9E3779B97F4A7C15ull;
constexpr u64 Inverse(u64 odd)
{
    u64 x = odd;  // right in 3 bits; each step doubles that
    for (int i = 0; i < 5; ++i)
        x *= 2 - odd * x;
    return x;
}
constexpr u64 kUnmix = Inverse(kMix);
static_assert(kMix * kUnmix == 1);

bool Pack(const Circle& c, u64& key)
{
    const u64 a = static_cast<u64>(c.x + kFieldHalf), b = static_cast<u64>(c.y + kFieldHalf);
    const u64 r = static_cast<u64>(c.radius);
    if ((a | b | r) >> kFieldBits != 0)  // negative values wrap far above
        return false;
    key = a | b << kFieldBits | r << (2 * kFieldBits);
    return true;
}

Circle Unpack(u64 mixed) { return UnpackKey((mixed * kUnmix) & kKeyMask); }

std::size_t TriplesFrom(std::size_t m, std::size_t i)  // triples whose first index is i
{
    const std::size_t rest = m - 1 - i;
    return rest * (rest - 1) / 2;
}

// A table that stays in the cache: one partition at a time. A slot holds a
// circle's key bits above its votes (fewer than 2^kTripleBits, as the
// triples are), 0 when free (a used slot has a vote); the circles are also
// listed in the order they came in, with their first triple, so a partition
// is read and cleared without walking the free slots.
class PartitionTable {
public:
    // At most `elements` circles come in.
    void Reset(std::size_t elements)
    {
        std::size_t size = 64;
        while (size < 2 * elements && size < (std::size_t{1} << 15))
            size *= 2;
        if (size > slots_.size())
            slots_.assign(size, 0);  // it never shrinks: the slots are cleared as they are read
        mask_ = slots_.size() - 1;
        if (order_.size() < elements) {
            order_.resize(elements);
            first_.resize(elements);
        }
        used_ = 0;
    }

    // One vote for each element of [e, end), elements as the partition lists
    // hold them (key bits above the triple). The loop keeps its state in
    // registers: through the vectors' own fields every store would reload it.
    void AddEach(const u64* e, const u64* end)
    {
        u64* slots = slots_.data();
        std::size_t mask = mask_, used = used_;
        std::uint32_t* order = order_.data();
        std::uint32_t* first = first_.data();
        for (; e != end; ++e) {
            const u64 rest = *e >> kTripleBits;
            std::size_t s = SlotOf(rest, mask);
            u64 slot = slots[s];
            // Free or this circle's: one test, as two it would be a branch
            // taken at random.
            while (std::min(slot, (slot >> kVoteBits) ^ rest) != 0) {
                s = (s + 1) & mask;
                slot = slots[s];
            }
            // New or not, half the circles are: the vote and the listing are
            // made without a branch on it. A free slot is 0, so the sum is the
            // first vote or one more.
            slots[s] = (rest << kVoteBits) + (slot & kVoteMask) + 1;
            order[used] = static_cast<std::uint32_t>(s);
            first[used] = static_cast<std::uint32_t>(*e & kTripleMask);
            used += slot == 0;  // elements come in triple order: a free slot is the first vote
            if (used * 2 > mask + 1) {
                used_ = used;
                Grow();
                slots = slots_.data();
                mask = mask_;
            }
        }
        used_ = used;
    }

    void Add(u64 element, std::uint32_t votes)
    {
        AddEach(&element, &element + 1);
        if (votes > 1) {
            const u64 rest = element >> kTripleBits;
            std::size_t s = SlotOf(rest, mask_);
            while (slots_[s] >> kVoteBits != rest)
                s = (s + 1) & mask_;
            slots_[s] += votes - 1;
        }
    }

    // Visits each circle as (key bits, votes, first triple) and frees its slot.
    template <class Visit>
    void Drain(Visit&& visit)
    {
        for (std::size_t n = 0; n < used_; ++n) {
            u64& slot = slots_[order_[n]];
            visit(slot >> kVoteBits, static_cast<std::int32_t>(slot & kVoteMask), first_[n]);
            slot = 0;
        }
        used_ = 0;
    }
    std::size_t Used() const { return used_; }

private:
    static constexpr int kVoteBits = kTripleBits;
    static_assert(kRestBits + kVoteBits <= 64);
    static constexpr u64 kVoteMask = (u64{1} << kVoteBits) - 1;

    static std::size_t SlotOf(u64 rest, std::size_t mask)
    {
        return static_cast<std::size_t>((rest * 0xC2B2AE3D27D4EB4Full) >> 32) & mask;
    }

    void Grow()
    {
        std::vector<u64> old(slots_.size() * 2, 0);
        old.swap(slots_);
        mask_ = slots_.size() - 1;
        for (std::size_t n = 0; n < used_; ++n) {  // every used slot is listed
            std::uint32_t& at = order_[n];
            std::size_t s = SlotOf(old[at] >> kVoteBits, mask_);
            while (slots_[s] != 0)
                s = (s + 1) & mask_;
            slots_[s] = old[at];
            at = static_cast<std::uint32_t>(s);
        }
    }

    std::vector<u64> slots_;
    std::size_t mask_ = 0, used_ = 0;
    std::vector<std::uint32_t> order_, first_;
};

// The circles of an edge, gathered before they reach the partitions. Recent
// circles sit in slots, one a hash of the packed key, with the votes of their
// stay so far: a vote found there is one increment, with no branch taken at
// random. One circle of an edge takes about half the votes: its triples are
// counted a row (or a run of short rows) at a time by comparing every key with
// it, and only the rest are looked up. A circle comes out as an element at the triple that brings
// it into a slot, and the rest of its stay's votes as one more element (with
// a run) at the triple that takes the slot from it; so each partition still
// gets its elements in triple order, a circle's first one at its first vote.
class RecentCircles {
public:
    // Rows of up to `longest` keys.
    RecentCircles(std::size_t longest, VectorLevel level)
        : keys_(kRecentSlots, kNone), votes_(kRecentSlots, 0), rest_(longest + kSplitSpill),
          split_(SplitOffFor(level))
    {
    }

    // The row whose triple `first` gives keys[0]: emit(key, number, votes) for
    // packed circles, other(e, key) for the rest.
    template <class Emit, class Other>
    void Row(const u64* keys, std::size_t n, std::uint32_t first, Emit&& emit, Other&& other)
    {
        const std::uint32_t leadVotes = split_(keys, n, lead_, rest_.data());
        const std::size_t r = n - leadVotes;
        votes_[leadSlot_] += leadVotes;  // before any slot changes hands
        for (std::size_t e = CountFound(keys, r, 0); e < r; e += 1 + CountFound(keys, r, e + 1)) {
            const std::uint32_t at = rest_[e];
            const u64 key = keys[at];
            const std::uint32_t number = first + at;
            if (key >= kNoCircle) {
                other(at, key);
                continue;
            }
            const std::size_t s = SlotOf(key);
            if (votes_[s] > 1)
                emit(keys_[s], number, votes_[s] - 1);
            keys_[s] = key;
            votes_[s] = 1;
            emit(key, number, 1u);
            if (s == leadSlot_)
                lead_ = kNone;  // its slot holds it no more
        }
        // A weak lead is looked for again less and less often while no row
        // finds a better one: rows of outlying points have no leader at all.
        if (leadVotes * 2 < n && --untilChoice_ == 0) {
            const u64 lead = lead_;
            ChooseLead(keys, r);
            wait_ = lead_ != lead ? 1 : std::min(2 * wait_, kLongestWait);
            untilChoice_ = wait_;
        }
    }

    // The votes still in the slots, at triple `number` (after every triple seen).
    template <class Emit>
    void Flush(std::uint32_t number, Emit&& emit)
    {
        for (std::size_t s = 0; s < kRecentSlots; ++s)
            if (votes_[s] > 1)
                emit(keys_[s], number, votes_[s] - 1);
    }

private:
    static constexpr int kRecentBits = 15;
    static constexpr std::size_t kRecentSlots = std::size_t{1} << kRecentBits;
    static constexpr u64 kNone = ~u64{0};  // equal to no key

    static std::size_t SlotOf(u64 key)
    {
        return static_cast<std::size_t>((key * kMix) >> (64 - kRecentBits));
    }

    // The number of keys equal to lead; the positions of the others go to
    // rest in order, without a branch on which is which. rest has room for
    // kSplitSpill values past n, which the vector version writes.
    using SplitOff = std::uint32_t (*)(const u64* keys, std::size_t n, u64 lead,
                                       std::uint32_t* rest);
    static constexpr std::size_t kSplitSpill = 16;

    static std::uint32_t SplitOffPlain(const u64* keys, std::size_t n, u64 lead,
                                       std::uint32_t* rest)
    {
        std::size_t r = 0;
        for (std::size_t e = 0; e < n; ++e) {
            rest[r] = static_cast<std::uint32_t>(e);
            r += keys[e] != lead;
        }
        return static_cast<std::uint32_t>(n - r);
    }

#if defined(__x86_64__)
    // 16 keys a step: the positions of those unequal to lead are packed
    // together in a register and stored whole (the lanes past them are
    // overwritten by the next step or lie in the spill room).
    __attribute__((target("avx512f"))) static std::uint32_t SplitOffAvx512(
        const u64* keys, std::size_t n, u64 lead, std::uint32_t* rest)
    {
        const __m512i leads = _mm512_set1_epi64(static_cast<long long>(lead));
        const __m512i step = _mm512_set1_epi32(16);
        __m512i at = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        std::size_t r = 0, e = 0;
        for (; e + 16 <= n; e += 16) {
            const __mmask8 low = _mm512_cmpneq_epu64_mask(_mm512_loadu_si512(keys + e), leads);
            const __mmask8 high =
                _mm512_cmpneq_epu64_mask(_mm512_loadu_si512(keys + e + 8), leads);
            const auto others = static_cast<__mmask16>(low | high << 8);
            _mm512_storeu_si512(rest + r, _mm512_maskz_compress_epi32(others, at));
            r += static_cast<std::size_t>(std::popcount(static_cast<unsigned>(others)));
            at = _mm512_add_epi32(at, step);
        }
        for (; e < n; ++e) {
            rest[r] = static_cast<std::uint32_t>(e);
            r += keys[e] != lead;
        }
        return static_cast<std::uint32_t>(n - r);
    }
#endif

    static SplitOff SplitOffFor(VectorLevel level)
    {
#if defined(__x86_64__)
        if (level >= VectorLevel::Avx512Vbmi)
            return SplitOffAvx512;
#endif
        (void)level;
        return SplitOffPlain;
    }

    // Votes for the keys at rest[from], rest[from + 1], ... up to the first
    // one not in its slot (kNoCircle and kExactOnly never are); returns how
    // many were counted.
    [[gnu::noinline]] std::size_t CountFound(const u64* keys, std::size_t r, std::size_t from)
    {
        const std::uint32_t* rest = rest_.data();
        const u64* slotKeys = keys_.data();
        std::uint32_t* votes = votes_.data();
        std::size_t e = from;
        for (; e < r; ++e) {
            const u64 key = keys[rest[e]];
            const std::size_t s = SlotOf(key);
            if (slotKeys[s] != key)
                break;
            ++votes[s];
        }
        return e - from;
    }

    // When the leading circle took under half a row, the circle of that row
    // with the most votes in its stay leads if it has more than the leading
    // one. Any circle in a slot may lead: its votes go to its slot.
    [[gnu::noinline]] void ChooseLead(const u64* keys, std::size_t r)
    {
        std::uint32_t best = keys_[leadSlot_] == lead_ ? votes_[leadSlot_] : 0;
        for (std::size_t e = 0; e < r; ++e) {
            const u64 key = keys[rest_[e]];
            const std::size_t s = SlotOf(key);
            if (keys_[s] == key && votes_[s] > best) {
                best = votes_[s];
                lead_ = key;
                leadSlot_ = s;
            }
        }
    }

    std::vector<u64> keys_;
    std::vector<std::uint32_t> votes_;  // of the stay so far
    std::vector<std::uint32_t> rest_;
    SplitOff split_;
    u64 lead_ = kNone;
    std::size_t leadSlot_ = 0;
    static constexpr std::uint32_t kLongestWait = 64;
    std::uint32_t wait_ = 1, untilChoice_ = 1;  // rows with a weak lead between looks
};

// Keys gone through at a time by RecentCircles, gathered over short rows.
constexpr std::size_t kGathered = 512;

// Asks for the first cache lines of a partition's elements in each range, and
// for its lists' heads, ahead of counting it: its elements were written long
// before, and otherwise each of those misses would wait for the one before.
void PrefetchPartition(const std::vector<CircleCount::Lists>& lists, std::size_t ranges,
                       std::size_t partition)
{
    for (std::size_t c = 0; c < ranges; ++c) {
        const CircleCount::Lists& l = lists[c];
        __builtin_prefetch(&l.count[partition]);
        __builtin_prefetch(l.runs[partition].data());
        __builtin_prefetch(&l.overflow[partition]);
        if (l.capacity == 0)
            continue;
        // Up to 24 lines: all of an edge's few, the start of a long list
        // (the processor's own prefetching follows that).
        const auto* column = reinterpret_cast<const char*>(l.block[static_cast<int>(partition)]);
        const std::size_t lines = std::min<std::size_t>(
            (std::min<std::size_t>(l.count[partition], l.capacity) + 7) / 8, 24);
        for (std::size_t line = 0; line < lines; ++line)
            __builtin_prefetch(column + 64 * line);
    }
}

// Counts one partition over the ranges in order; returns the distinct circles.
// visit gets each circle's mixed key, votes and first triple.
template <class Visit>
std::size_t CountPartition(const std::vector<CircleCount::Lists>& lists, std::size_t ranges,
                           std::size_t partition, PartitionTable& table, Visit&& visit)
{
    std::size_t total = 0;
    for (std::size_t c = 0; c < ranges; ++c)
        total += lists[c].count[partition];
    table.Reset(total);
    for (std::size_t c = 0; c < ranges; ++c) {
        const CircleCount::Lists& l = lists[c];
        const std::size_t n = l.count[partition];
        const std::size_t inBlock = std::min(n, l.capacity);
        const u64* block = inBlock > 0 ? l.block[static_cast<int>(partition)] : nullptr;
        const u64* over = l.overflow[partition].data();
        auto addEach = [&](std::size_t from, std::size_t to) {  // positions [from, to)
            if (from < inBlock)
                table.AddEach(block + from, block + std::min(to, inBlock));
            if (to > inBlock)
                table.AddEach(over + (std::max(from, inBlock) - inBlock), over + (to - inBlock));
        };
        std::size_t done = 0;  // elements before a run's one vote each
        for (const CircleCount::Run& run : l.runs[partition]) {
            addEach(done, run.position);
            const std::size_t e = run.position;
            table.Add(e < inBlock ? block[e] : over[e - inBlock], 1 + run.extra);
            done = e + 1;
        }
        addEach(done, n);
    }
    const std::size_t distinct = table.Used();
    table.Drain([&](u64 rest, std::int32_t votes, std::uint32_t first) {
        visit(static_cast<u64>(partition) << kRestBits | rest, votes, first);
    });
    return distinct;
}

// Counts the circles that do not pack: equal circles side by side, each run
// still in triple order, so its first element is the first vote.
template <class Visit>
std::size_t CountWide(const std::vector<std::vector<CircleCount::Wide>>& wide, Visit&& visit)
{
    std::vector<CircleCount::Wide> all;
    for (const auto& list : wide)
        all.insert(all.end(), list.begin(), list.end());
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
        const Circle &p = a.circle, &q = b.circle;
        return p.x != q.x ? p.x < q.x : p.y != q.y ? p.y < q.y : p.radius < q.radius;
    });
    std::size_t distinct = 0;
    for (std::size_t e = 0; e < all.size();) {
        std::size_t end = e + 1;
        while (end < all.size() && all[end].circle == all[e].circle)
            ++end;
        visit(all[e].circle, static_cast<std::int32_t>(end - e), all[e].triple);
        ++distinct;
        e = end;
    }
    return distinct;
}

}  // namespace

bool CircleOf(const Centre& centre, i64 D, i64 E, i64 F, Circle& c)
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

PairTerms MakePairTerms(const std::vector<RelativePoint>& p)
{
    PairTerms t;
    MakePairTerms(p, t);
    return t;
}

void MakePairTerms(const std::vector<RelativePoint>& p, PairTerms& t)
{
    t.m = p.size();
    const std::size_t m = t.m;
    const bool near = std::all_of(p.begin(), p.end(), [](const RelativePoint& q) {
        return q.x > -kDoubleHit && q.x < kDoubleHit && q.y > -kDoubleHit && q.y < kDoubleHit;
    });
    // Only the terms of a < b are ever read, and only one kind: the double
    // ones where they are exact (TripleCircle then works its few integer terms
    // out from the points). The storage of the last search is kept: fresh,
    // its megabytes of pages cost more than the terms.
    t.C.resize(near ? 0 : m * m);
    t.R.resize(near ? 0 : m * m);
    t.X.resize(near ? 0 : m * m);
    t.Cd.resize(near ? m * m : 0);
    t.Rd.resize(near ? m * m : 0);
    t.Xd.resize(near ? m * m : 0);
    t.r.resize(near ? m : 0);
    // One thread: waking a second one costs more than it would share.
    if (near) {
        // Every product of near coordinates (below 2^37) and every difference
        // of two is exact in double precision: the terms are made there, a
        // vector of them at a time.
        std::vector<double> x(m), y(m);
        for (std::size_t a = 0; a < m; ++a) {
            x[a] = static_cast<double>(p[a].x);
            y[a] = static_cast<double>(p[a].y);
            t.r[a] = static_cast<double>(p[a].r);
        }
        const double *xs = x.data(), *ys = y.data(), *rs = t.r.data();
        for (std::size_t a = 0; a < m; ++a) {
            const double xa = xs[a], ya = ys[a], ra = rs[a];
            double *C = &t.Cd[a * m], *R = &t.Rd[a * m], *X = &t.Xd[a * m];
            for (std::size_t b = a + 1; b < m; ++b) {
                C[b] = xa * ys[b] - xs[b] * ya;
                R[b] = ra * ys[b] - rs[b] * ya;
                X[b] = xa * rs[b] - xs[b] * ra;
            }
        }
    } else {
        for (std::size_t a = 0; a < m; ++a) {
            const i64 xa = p[a].x, ya = p[a].y, ra = p[a].r;
            const std::size_t row = a * m;
            for (std::size_t b = a + 1; b < m; ++b) {
                t.C[row + b] = xa * p[b].y - p[b].x * ya;
                t.R[row + b] = ra * p[b].y - p[b].r * ya;
                t.X[row + b] = xa * p[b].r - p[b].x * ra;
            }
        }
    }
    t.level = near ? ActiveVectorLevel() : VectorLevel::Plain;
}

bool ManyDistinctCircles(const std::vector<RelativePoint>& p, const PairTerms& t)
{
    // Rows (i, j) with i over the first half and j a quarter turn further: about
    // 3,000 triples of 360 points (0.04 %). Their distinct circles: 6 % on a disc
    // of noisy edge, 80 % in noise.
    constexpr std::size_t kRows = 16;
    const std::size_t m = t.m;
    std::vector<Circle> row(m), sample;
    std::vector<std::uint32_t> ks(m);
    std::vector<u64> keys(m);
    for (std::size_t s = 0; s < kRows; ++s) {
        const std::size_t i = s * m / (2 * kRows), j = std::min(i + 1 + m / 4, m - 2);
        const std::size_t n =
            RowCircles(Centre{0, 0}, p, t, i, j, row.data(), ks.data(), keys.data());
        sample.insert(sample.end(), row.begin(), row.begin() + static_cast<std::ptrdiff_t>(n));
    }
    std::sort(sample.begin(), sample.end(), [](const Circle& a, const Circle& b) {
        return a.x != b.x ? a.x < b.x : a.y != b.y ? a.y < b.y : a.radius < b.radius;
    });
    const auto distinct = std::unique(sample.begin(), sample.end()) - sample.begin();
    return static_cast<std::size_t>(distinct) * 3 > sample.size();
}

std::vector<std::size_t> ChunkStarts(std::size_t m, std::size_t chunks)
{
    std::size_t total = 0;
    for (std::size_t i = 0; i + 2 < m; ++i)
        total += TriplesFrom(m, i);
    std::vector<std::size_t> begin{0};
    std::size_t done = 0;
    for (std::size_t i = 0; i + 2 < m && begin.size() < chunks; ++i) {
        done += TriplesFrom(m, i);
        if (done * chunks >= total * begin.size())
            begin.push_back(i + 1);
    }
    begin.push_back(m);
    return begin;
}

bool CircleCount::Fits(std::size_t m)
{
    return m >= 3 && m * (m - 1) * (m - 2) / 6 <= kTripleMask;  // votes stay below 2^kTripleBits
}

void CircleCount::Clear()
{
    for (Lists& l : lists_) {
        std::fill(l.count.begin(), l.count.end(), 0);
        for (auto& list : l.overflow)
            list.clear();
        for (auto& list : l.runs)
            list.clear();
    }
    for (auto& list : wide_)
        list.clear();
    ranges_ = 0;
    distinct_ = 0;
    winner_ = {0, 0, 0, 0};
}

void CircleCount::Count(const Centre& centre, const std::vector<RelativePoint>& p,
                        const PairTerms& t, bool repeats, const std::function<void()>& alongside)
{
    Partition(centre, p, t, repeats, alongside);
    Tally();
}

void CircleCount::Partition(const Centre& centre, const std::vector<RelativePoint>& p,
                            const PairTerms& t, bool repeats,
                            const std::function<void()>& alongside)
{
    Clear();
    centre_ = centre;
    const std::size_t m = t.m;
    const std::vector<std::size_t> begin = ChunkStarts(m, static_cast<std::size_t>(WorkerCount()));
    ranges_ = begin.size() - 1;
    if (lists_.size() < ranges_)
        lists_.resize(ranges_);
    if (wide_.size() < ranges_)
        wide_.resize(ranges_);
    std::vector<std::uint32_t> firstTriple{0};
    for (std::size_t c = 0; c < ranges_; ++c) {
        std::size_t n = 0;
        for (std::size_t i = begin[c]; i < begin[c + 1]; ++i)
            n += TriplesFrom(m, i);
        // A session's first search makes each block once, with room for about
        // each partition's share of the range's triples (whole cache lines);
        // a partition that gets more keeps the rest in its overflow list.
        Lists& l = lists_[c];
        // An edge's gathered repeats bring far fewer elements than triples.
        const std::size_t expected = repeats ? n / 8 : n;
        const std::size_t share =
            (expected / kPartitions + expected / kPartitions / 8 + 16) / 8 * 8;
        if (l.capacity < share) {
            l.block = ColumnArray<u64>::Allocate(static_cast<int>(kPartitions),
                                                 static_cast<int>(share));
            l.capacity = l.block ? share : 0;
        }
        l.count.resize(kPartitions, 0);
        l.overflow.resize(kPartitions);
        l.runs.resize(kPartitions);
        firstTriple.push_back(static_cast<std::uint32_t>(firstTriple.back() + n));
    }
    ParallelFor(0, static_cast<int>(ranges_), 1, [&](int lo, int hi) {
        std::vector<Circle> row(m);
        std::vector<std::uint32_t> ks(m);
        std::vector<u64> keys(m);
        for (int range = lo; range < hi; ++range) {
            const auto c = static_cast<std::size_t>(range);
            Lists& l = lists_[c];
            std::uint32_t* count = l.count.data();
            const std::size_t capacity = l.capacity;
            std::vector<Wide>& wide = wide_[c];
            // The run of equal circles in progress: a packed one adds to its
            // element; a wide one is simply listed again (lastKey kNoCircle).
            u64 lastKey = kNoCircle;
            std::size_t lastPartition = 0;
            std::uint32_t lastExtra = 0;
            auto endRun = [&] {
                if (lastExtra != 0)
                    l.runs[lastPartition].push_back({count[lastPartition] - 1, lastExtra});
                lastExtra = 0;
            };
            auto votePacked = [&](u64 key, std::uint32_t number) {
                if (key == lastKey) {
                    ++lastExtra;
                    return;
                }
                endRun();
                lastKey = key;
                const u64 mixed = (key * kMix) & kKeyMask;
                const std::size_t part = static_cast<std::size_t>(mixed >> kRestBits);
                const u64 element = (mixed & kRestMask) << kTripleBits | number;
                const std::uint32_t n = count[part];
                if (n < capacity) {
                    u64* at = l.block[static_cast<int>(part)] + n;
                    *at = element;
                    // This column's line after next is written some thousand
                    // triples from now: fetching it for writing now hides the
                    // miss. (A prefetch past the block never faults.)
                    __builtin_prefetch(
                        reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(at) + 128),
                        1);
                } else {
                    l.overflow[part].push_back(element);
                }
                count[part] = n + 1;
                lastPartition = part;
            };
            auto vote = [&](const Circle& circle, std::uint32_t number) {
                u64 key;
                if (Pack(circle, key))
                    return votePacked(key, number);
                endRun();
                lastKey = kNoCircle;
                wide.push_back({circle, number});
            };
            std::uint32_t triple = firstTriple[c];  // of (i, j, j + 1)
            if (repeats && !t.Cd.empty()) {
                // Rows (i, j) are short where i is late: their keys are
                // gathered into one run of consecutive triples of about
                // kGathered keys, which is gone through as one row.
                RecentCircles recent(kGathered + m, t.level);
                std::vector<u64> gathered(kGathered + m);
                struct RowStart {
                    std::uint32_t at, i, j;
                };
                std::vector<RowStart> starts;
                std::size_t i = begin[c], j = i + 1;
                while (i < begin[c + 1]) {
                    std::size_t n = 0;
                    starts.clear();
                    while (i < begin[c + 1] && n < kGathered) {
                        if (j + 1 >= m) {
                            j = ++i + 1;
                            continue;
                        }
                        starts.push_back({static_cast<std::uint32_t>(n),
                                          static_cast<std::uint32_t>(i),
                                          static_cast<std::uint32_t>(j)});
                        RowKeys(t, i, j, gathered.data() + n);
                        n += m - 1 - j;
                        ++j;
                    }
                    if (n == 0)
                        break;
                    recent.Row(
                        gathered.data(), n, triple,
                        [&](u64 key, std::uint32_t number, std::uint32_t votes) {
                            votePacked(key, number);
                            lastExtra += votes - 1;
                        },
                        [&](std::uint32_t e, u64 key) {
                            if (key != kExactOnly)
                                return;
                            // The row of position e: the last one to start at or before it.
                            const RowStart& s = *(std::partition_point(
                                                      starts.begin(), starts.end(),
                                                      [e](const RowStart& r) { return r.at <= e; }) -
                                                  1);
                            const std::size_t k = s.j + 1 + (e - s.at);
                            if (TripleCircle(Centre{0, 0}, p, t, s.i, s.j, k, row[0]))
                                vote(row[0], triple + e);
                        });
                    triple += static_cast<std::uint32_t>(n);
                }
                recent.Flush(triple - 1, [&](u64 key, std::uint32_t number, std::uint32_t votes) {
                    votePacked(key, number);
                    lastExtra += votes - 1;
                });
                endRun();
                continue;
            }
            for (std::size_t i = begin[c]; i < begin[c + 1]; ++i)
                for (std::size_t j = i + 1; j + 1 < m; ++j) {
                    const std::uint32_t base = triple - static_cast<std::uint32_t>(j + 1);
                    if (!t.Cd.empty()) {
                        RowKeys(t, i, j, keys.data());
                        for (std::size_t k = j + 1; k < m; ++k) {
                            const u64 key = keys[k - j - 1];
                            const auto number = base + static_cast<std::uint32_t>(k);
                            if (key < kNoCircle)
                                votePacked(key, number);
                            else if (key == kExactOnly &&
                                     TripleCircle(Centre{0, 0}, p, t, i, j, k, row[0]))
                                vote(row[0], number);
                        }
                    } else {
                        const std::size_t n = RowCircles(Centre{0, 0}, p, t, i, j, row.data(),
                                                         ks.data(), keys.data());
                        for (std::size_t e = 0; e < n; ++e)
                            vote(row[e], base + ks[e]);
                    }
                    triple += static_cast<std::uint32_t>(m - 1 - j);
                }
            endRun();
        }
        // The caller's own ranges come first (and, inside another parallel
        // loop, are all of them).
        if (lo == 0 && alongside)
            alongside();
    });
}

void CircleCount::Tally()
{
    // Partitions are taken one at a time by whichever thread is free: one may
    // hold most of the votes.
    const int threads = std::min(WorkerCount(), static_cast<int>(ranges_) * 4);
    std::vector<Best> best(static_cast<std::size_t>(std::max(threads, 1)));
    std::vector<std::size_t> distinct(best.size(), 0);
    std::atomic<std::size_t> next{0};
    ParallelFor(0, static_cast<int>(best.size()), 1, [&](int lo, int hi) {
        PartitionTable table;
        for (int w = lo; w < hi; ++w) {
            // Kept here and written once: the threads' entries share a line.
            Best b;
            std::size_t found = 0;
            for (std::size_t part; (part = next.fetch_add(1)) < kPartitions;) {
                // The partitions taken next, by this thread or the other: their
                // first elements and lists are fetched while this one is counted.
                for (std::size_t ahead = part + 1; ahead < std::min(part + 3, kPartitions); ++ahead)
                    PrefetchPartition(lists_, ranges_, ahead);
                found += CountPartition(
                    lists_, ranges_, part, table,
                    [&](u64 mixed, std::int32_t votes, std::uint32_t first) {
                        if (votes > b.votes || (votes == b.votes && first >= b.first))
                            b = {votes, first, Unpack(mixed)};
                    });
            }
            best[static_cast<std::size_t>(w)] = b;
            distinct[static_cast<std::size_t>(w)] = found;
        }
    });
    Best winner;
    distinct_ = CountWide(wide_, [&](const Circle& c, std::int32_t votes, std::uint32_t first) {
        if (votes > winner.votes || (votes == winner.votes && first >= winner.first))
            winner = {votes, first, c};
    });
    for (std::size_t w = 0; w < best.size(); ++w) {
        distinct_ += distinct[w];
        const Best& b = best[w];
        if (b.votes > winner.votes || (b.votes == winner.votes && b.first >= winner.first))
            winner = b;
    }
    winner_ = {0, 0, 0, 0};
    if (winner.votes > 0)
        winner_ = {centre_.x + winner.circle.x, centre_.y + winner.circle.y,
                   winner.circle.radius, winner.votes};
}

std::vector<CircleVote> CircleCount::Entries() const
{
    struct Entry {
        std::uint32_t first;
        CircleVote vote;
    };
    std::vector<Entry> all;
    all.reserve(distinct_);
    auto keep = [&](const Circle& c, std::int32_t votes, std::uint32_t first) {
        all.push_back({first, {centre_.x + c.x, centre_.y + c.y, c.radius, votes}});
    };
    PartitionTable table;
    if (ranges_ > 0)
        for (std::size_t part = 0; part < kPartitions; ++part)
            CountPartition(lists_, ranges_, part, table,
                           [&](u64 mixed, std::int32_t votes, std::uint32_t first) {
                               keep(Unpack(mixed), votes, first);
                           });
    CountWide(wide_, keep);
    std::sort(all.begin(), all.end(),
              [](const Entry& a, const Entry& b) { return a.first < b.first; });
    std::vector<CircleVote> entries;
    entries.reserve(all.size());
    for (const Entry& e : all)
        entries.push_back(e.vote);
    return entries;
}

}  // namespace circular_edge
