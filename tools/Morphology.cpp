// tools/Morphology.cpp
//
// A pass (one dilation or erosion) is computed without visiting a pixel's
// neighbours one by one. Outside its input the image is padded with the value
// that never wins (0 for a maximum, 255 for a minimum): that is exactly the
// element cut at the border, and a pixel with no element cell inside gets the
// pad value. Each row of the element is a few horizontal runs of cells; a run
// of length L starting at column offset dx contributes H_L[x + dx][y + dy],
// where H_L[c] is the extreme of the columns c .. c + L - 1. Every step is thus
// an extreme of whole columns, contiguous bytes handled 32 at a time. H_L is
// built in a ring of eight columns per length, column after column, straight
// from the input or from a shorter length (H_6 = max(H_3[c], H_3[c + 3])),
// whichever moves fewer bytes.
//
// The compound operators chain passes. Each pass is a stage that hands its
// output columns to the next stage through a small ring, so a chain of twelve
// passes streams through cache instead of writing and reading eleven images.
#include "Morphology.h"

#include "Parallel.h"
#include "VectorLevel.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

enum class Extreme { Max, Min };  // dilation, erosion

constexpr int kSlots = 8;         // ring of columns; a window spans at most 7
constexpr int kMaxRuns = 7 * 7;   // runs, or the pieces covering them: at most a cell each
constexpr int kMaxStages = 12;    // AutoMedian
constexpr int kOnePass = 10;      // columns the output step picks in one pass
constexpr int kMaxTiles = 16;     // column tiles shared among the threads
constexpr int kMinTileColumns = 256;

struct Run {
    int dx, dy, length;  // columns dx .. dx + length - 1 of row dy
};

// The element, cut to its window, as horizontal runs.
struct Plan {
    int s = 0;
    int count = 0;
    std::array<Run, kMaxRuns> runs{};
    int singles = 0;  // runs[0 .. singles - 1] are the pieces of one cell
    std::array<bool, 8> used{};   // lengths of the runs
    std::array<bool, 8> built{};  // lengths built in rings: those of the runs, and parts
    // H_L is the extreme of H_P at c, c + P, ... and c + L - P (the last one
    // overlaps the one before when P does not divide L, which an extreme does
    // not mind): ceil(L / P) columns. P = 1 picks straight from the input.
    std::array<int, 8> part{};
    // Steps between a stage and the next: s, or s + 1 so that every stage can
    // build its run columns in pairs (see PickPair), which needs one input
    // column past the window. The wider lag keeps one more column of each stage
    // in flight; it pays when a run of three or more is picked straight from
    // the input, where a pair saves at least one load a column.
    int lag = 0;
};

// The longest built length up to `length` (1, the input, when none is): a run
// of `length` cells is ceil(length / P) columns of H_P, the last one
// overlapping the one before where P does not divide it.
int PieceOf(int set, int length)
{
    while (length > 1 && (set >> length & 1) == 0)
        --length;
    return length;
}

// Chooses which lengths to build and from which parts, at the least cost in
// column loads and stores. A store costs about two loads, so one length alone
// is picked straight from the input (H_7 from seven columns beats H_2, H_4,
// H_7 by doubling), while lengths that share work (3 and 5, 3 and 6) build one
// from the other. A run whose length is not built is covered by pieces of a
// shorter one: with many different lengths (a random element) fewer rings
// cost less than the loads they save, and fewer rings stay in a nearer
// cache. The output step picks up to kOnePass columns in one pass, then eight
// at a time; past ten their pointers no longer fit the registers, and each
// group of eight more is weighed as a further pass once cost (a reload and a
// store, and more). Weighed as free up to 18, the 5 x 5 random element drops
// its one ring for 15 loads from the source and gets 20 % slower. (Picking up
// to 18 in one pass gained 2 % on the 7 x 7 random element, but its eight more
// kernels made this file take over three times as long to build with the
// sanitizers.) At most 2^6 subsets of the lengths 2 .. 7: cheap.
void ChooseParts(Plan& plan)
{
    constexpr int kStoreCost = 2;
    constexpr int kPassCost = 6;  // measured: a reload and a store are not all of it
    constexpr int kFreeColumns = 10;
    int wanted = 0;  // bit L for every used length L >= 2
    for (int i = 0; i < plan.count; ++i)
        if (plan.runs[static_cast<std::size_t>(i)].length >= 2)
            wanted |= 1 << plan.runs[static_cast<std::size_t>(i)].length;
    int bestCost = INT32_MAX, bestSet = wanted;
    std::array<int, 8> bestPart{};
    // The set of the runs' own lengths first, so that it stays on a tie.
    for (int next = 0; next <= 256; next += 4) {  // bits 2 .. 7
        const int set = next == 0 ? wanted : next - 4;
        if ((set >> (2 * plan.s + 2)) != 0 || (next != 0 && set == wanted))
            continue;
        int cost = 0;
        std::array<int, 8> part{};
        for (int length = 2; length <= 7; ++length) {
            if ((set >> length & 1) == 0)
                continue;
            int loads = length;  // straight from the input
            part[static_cast<std::size_t>(length)] = 1;
            for (int p = 2; p < length; ++p)
                if ((set >> p & 1) != 0 && (length + p - 1) / p < loads) {
                    loads = (length + p - 1) / p;
                    part[static_cast<std::size_t>(length)] = p;
                }
            cost += loads + kStoreCost;
        }
        int pieces = 0;
        for (int i = 0; i < plan.count; ++i) {
            const int length = plan.runs[static_cast<std::size_t>(i)].length;
            const int piece = PieceOf(set, length);
            pieces += (length + piece - 1) / piece;
        }
        cost += pieces + kPassCost * (pieces <= kFreeColumns ? 0 : (pieces - 1) / 8);
        if (cost < bestCost) {
            bestCost = cost;
            bestSet = set;
            bestPart = part;
        }
    }
    for (int length = 2; length <= 7; ++length)
        plan.built[static_cast<std::size_t>(length)] = (bestSet >> length & 1) != 0;
    plan.part = bestPart;
    // The runs as the pieces that cover them.
    const std::array<Run, kMaxRuns> runs = plan.runs;
    const int count = plan.count;
    plan.count = 0;
    plan.used = {};
    for (int i = 0; i < count; ++i) {
        const Run& run = runs[static_cast<std::size_t>(i)];
        const int piece = PieceOf(bestSet, run.length);
        const int m = (run.length + piece - 1) / piece;
        for (int j = 0; j < m; ++j) {
            const int dx = j + 1 < m ? run.dx + j * piece : run.dx + run.length - piece;
            plan.runs[static_cast<std::size_t>(plan.count++)] = {dx, run.dy, piece};
        }
        plan.used[static_cast<std::size_t>(piece)] = true;
    }
    // Single cells first: the output step reads them from the source in place
    // and the rest from rings, in two plain loops. An extreme does not mind the
    // order.
    const auto end = plan.runs.begin() + plan.count;
    plan.singles = static_cast<int>(
        std::stable_partition(plan.runs.begin(), end, [](const Run& r) { return r.length == 1; }) -
        plan.runs.begin());
}

Plan MakePlan(const StructuringElement& element, int a)
{
    Plan plan;
    plan.s = (std::clamp(a, 1, 7) - 1) / 2;  // a − 1 would overflow for the smallest int
    const int s = plan.s;
    auto in = [&](int dx, int dy) {
        return element[static_cast<std::size_t>(3 + dx)][static_cast<std::size_t>(3 + dy)] != 0;
    };
    for (int dy = -s; dy <= s; ++dy)
        for (int dx = -s; dx <= s; ++dx) {
            if (!in(dx, dy) || (dx > -s && in(dx - 1, dy)))
                continue;  // not the first cell of a run
            int length = 1;
            while (dx + length <= s && in(dx + length, dy))
                ++length;
            plan.runs[static_cast<std::size_t>(plan.count++)] = {dx, dy, length};
        }
    ChooseParts(plan);
    plan.lag = s;
    for (int length = 3; length <= 7; ++length)
        if (plan.built[static_cast<std::size_t>(length)] &&
            plan.part[static_cast<std::size_t>(length)] == 1)
            plan.lag = s + 1;
    return plan;
}

// ---- Column kernels --------------------------------------------------------

template <Extreme E>
constexpr std::uint8_t kPad = E == Extreme::Max ? 0 : 255;

template <Extreme E>
[[gnu::always_inline]] inline std::uint8_t PickByte(std::uint8_t a, std::uint8_t b)
{
    return E == Extreme::Max ? std::max(a, b) : std::min(a, b);
}

// 32 bytes at a time: one register in the AVX2 clone, two SSE2 registers in the
// portable one. The helpers are always inlined, so no vector ever crosses a call
// and the warning about the vector calling convention (given for this whole
// file, at its end) does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
using Bytes = std::uint8_t __attribute__((vector_size(32)));
constexpr int kVector = 32;

[[gnu::always_inline]] inline Bytes Load(const std::uint8_t* p)
{
    Bytes v;
    std::memcpy(&v, p, kVector);
    return v;
}

[[gnu::always_inline]] inline void Store(std::uint8_t* p, Bytes v) { std::memcpy(p, &v, kVector); }

template <Extreme E>
[[gnu::always_inline]] inline Bytes Pick(Bytes a, Bytes b)
{
    if constexpr (E == Extreme::Max)
        return a > b ? a : b;
    else
        return a < b ? a : b;
}

// out[i] = extreme of p[0][i] .. p[K - 1][i] (and of out[i] itself when
// Accumulate), for i < n. The pointers stay in registers; out is none of them.
template <Extreme E, int K, bool Accumulate>
[[gnu::always_inline]] inline void PickColumns(std::uint8_t* out, const std::uint8_t* const* p,
                                               int n)
{
    std::array<const std::uint8_t*, K> q;
    for (int k = 0; k < K; ++k)
        q[static_cast<std::size_t>(k)] = p[k];
    if (n < kVector) {
        for (int i = 0; i < n; ++i) {
            std::uint8_t v = Accumulate ? out[i] : q[0][i];
            for (int k = Accumulate ? 0 : 1; k < K; ++k)
                v = PickByte<E>(v, q[static_cast<std::size_t>(k)][i]);
            out[i] = v;
        }
        return;
    }
    // The last vector ends at n and overlaps the one before. Recomputing a few
    // bytes is harmless: an extreme taken twice over the same values is unchanged.
    auto step = [&](int i) __attribute__((always_inline)) {
        Bytes v = Accumulate ? Load(out + i) : Load(q[0] + i);
        for (int k = Accumulate ? 0 : 1; k < K; ++k)
            v = Pick<E>(v, Load(q[static_cast<std::size_t>(k)] + i));
        Store(out + i, v);
    };
    int i = 0;
    for (; i + 2 * kVector <= n; i += 2 * kVector) {  // two at a time: half the loop overhead
        step(i);
        step(i + kVector);
    }
    if (i + kVector <= n) {
        step(i);
        i += kVector;
    }
    if (i < n)
        step(n - kVector);
}

// out = extreme of count >= 1 columns, eight at a time.
template <Extreme E>
[[gnu::always_inline]] inline void PickAll(std::uint8_t* out, const std::uint8_t* const* p,
                                           int count, int n)
{
    // Nine or ten columns still fit the registers in one pass.
    for (int k = 0, m = count <= kOnePass ? count : 8; k < count; k += m, m = std::min(8, count - k)) {
        const std::uint8_t* const* q = p + k;
        if (k == 0) {
            switch (m) {
            case 9: PickColumns<E, 9, false>(out, q, n); break;
            case 10: PickColumns<E, 10, false>(out, q, n); break;
            case 1: PickColumns<E, 1, false>(out, q, n); break;
            case 2: PickColumns<E, 2, false>(out, q, n); break;
            case 3: PickColumns<E, 3, false>(out, q, n); break;
            case 4: PickColumns<E, 4, false>(out, q, n); break;
            case 5: PickColumns<E, 5, false>(out, q, n); break;
            case 6: PickColumns<E, 6, false>(out, q, n); break;
            case 7: PickColumns<E, 7, false>(out, q, n); break;
            default: PickColumns<E, 8, false>(out, q, n); break;
            }
        } else {
            switch (m) {
            case 1: PickColumns<E, 1, true>(out, q, n); break;
            case 2: PickColumns<E, 2, true>(out, q, n); break;
            case 3: PickColumns<E, 3, true>(out, q, n); break;
            case 4: PickColumns<E, 4, true>(out, q, n); break;
            case 5: PickColumns<E, 5, true>(out, q, n); break;
            case 6: PickColumns<E, 6, true>(out, q, n); break;
            case 7: PickColumns<E, 7, true>(out, q, n); break;
            default: PickColumns<E, 8, true>(out, q, n); break;
            }
        }
    }
}

// Two neighbouring columns of H_L straight from the input: out0 = extreme of
// p[0] .. p[L - 1], out1 = extreme of p[1] .. p[L]. The L - 1 columns they
// share are loaded once, so a pair costs L + 1 loads instead of 2L.
template <Extreme E, int L>
[[gnu::always_inline]] inline void PickPair(std::uint8_t* out0, std::uint8_t* out1,
                                            const std::uint8_t* const* p, int n)
{
    std::array<const std::uint8_t*, L + 1> q;
    for (int k = 0; k <= L; ++k)
        q[static_cast<std::size_t>(k)] = p[k];
    if (n < kVector) {
        for (int i = 0; i < n; ++i) {
            std::uint8_t v = q[1][i];
            for (int k = 2; k < L; ++k)
                v = PickByte<E>(v, q[static_cast<std::size_t>(k)][i]);
            out0[i] = PickByte<E>(v, q[0][i]);
            out1[i] = PickByte<E>(v, q[static_cast<std::size_t>(L)][i]);
        }
        return;
    }
    auto step = [&](int i) __attribute__((always_inline)) {
        Bytes v = Load(q[1] + i);
        for (int k = 2; k < L; ++k)
            v = Pick<E>(v, Load(q[static_cast<std::size_t>(k)] + i));
        Store(out0 + i, Pick<E>(v, Load(q[0] + i)));
        Store(out1 + i, Pick<E>(v, Load(q[static_cast<std::size_t>(L)] + i)));
    };
    int i = 0;
    for (; i + kVector <= n; i += kVector)
        step(i);
    if (i < n)
        step(n - kVector);  // overlaps the vector before: harmless, as in PickColumns
}

// H_2 at c and c + 1 and H_3 at c - 1 and c, from the columns before = c - 1
// and p[0 .. 2] = c .. c + 2, each loaded once.
template <Extreme E>
[[gnu::always_inline]] inline void PickLadder(std::uint8_t* two0, std::uint8_t* two1,
                                              std::uint8_t* three0, std::uint8_t* three1,
                                              const std::uint8_t* before,
                                              const std::uint8_t* const* p, int n)
{
    const std::uint8_t *q0 = p[0], *q1 = p[1], *q2 = p[2];
    if (n < kVector) {
        for (int i = 0; i < n; ++i) {
            const std::uint8_t v = PickByte<E>(q0[i], q1[i]), last = q2[i];
            two0[i] = v;
            two1[i] = PickByte<E>(q1[i], last);
            three0[i] = PickByte<E>(v, before[i]);
            three1[i] = PickByte<E>(v, last);
        }
        return;
    }
    auto step = [&](int i) __attribute__((always_inline)) {
        const Bytes middle = Load(q1 + i), last = Load(q2 + i);
        const Bytes v = Pick<E>(middle, Load(q0 + i));
        Store(two0 + i, v);
        Store(two1 + i, Pick<E>(middle, last));
        Store(three0 + i, Pick<E>(v, Load(before + i)));
        Store(three1 + i, Pick<E>(v, last));
    };
    int i = 0;
    for (; i + kVector <= n; i += kVector)
        step(i);
    if (i < n)
        step(n - kVector);  // overlaps the vector before: harmless, as in PickColumns
}

template <Extreme E>
[[gnu::always_inline]] inline void PickPairOf(std::uint8_t* out0, std::uint8_t* out1,
                                              const std::uint8_t* const* p, int length, int n)
{
    switch (length) {
    case 2: PickPair<E, 2>(out0, out1, p, n); break;
    case 3: PickPair<E, 3>(out0, out1, p, n); break;
    case 4: PickPair<E, 4>(out0, out1, p, n); break;
    case 5: PickPair<E, 5>(out0, out1, p, n); break;
    case 6: PickPair<E, 6>(out0, out1, p, n); break;
    default: PickPair<E, 7>(out0, out1, p, n); break;
    }
}

// ---- Pipeline of passes ----------------------------------------------------

constexpr int kNoExtra = -2, kSourceExtra = -1;

// One pass of a chain. Its output column x is the extreme of the runs and,
// when extra is set, of column x of the rectangle of the source (kSourceExtra)
// or of the output of stage `extra`: that is how ProperOpen's final minimum
// with the source costs no pass of its own.
struct Stage {
    Extreme extreme = Extreme::Max;
    int extra = kNoExtra;
};

// A chain of passes over the rectangle x0..x1 x y0..y1 of a width x height
// source, into dst. Stage 0 reads the source, cut at the source's border;
// stage k reads the output of stage k - 1, an image of the rectangle's size,
// cut at its border. Stage k produces its column x at time x + k lag, right
// after stage k - 1 has produced column x + lag, the newest one it needs.
//
// A long chain runs strip by strip of rows so that its rings stay in the
// second-level cache. For output rows ys .. ye - 1, stage k produces the rows
// ys - (last - k) s .. ye + (last - k) s - 1 that lie in the rectangle: the
// rows the later stages look at.
struct Pipeline {
    const GrayImage* src = nullptr;
    GrayImage* dst = nullptr;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0, width = 0, height = 0;
    Plan plan;
    std::array<Stage, kMaxStages> stages{};
    int count = 0;
    // Derived layout.
    int w = 0, h = 0;
    int stripRows = 0;                       // output rows of one strip
    int stride = 0;                          // bytes of a column buffer
    std::array<int, kMaxStages> outSlots{};  // ring of output columns of each stage
    std::size_t tileBytes = 0;               // working memory of one tile
};

constexpr std::size_t kCacheBudget = 512 * 1024;  // bytes of rings a strip may keep busy
constexpr int kMinStripRows = 256;
constexpr int kAhead = 8;  // source columns fetched ahead of their first use

void Layout(Pipeline& job)
{
    const int s = job.plan.s, last = job.count - 1;
    job.w = job.x1 - job.x0;
    job.h = job.y1 - job.y0;
    std::size_t columns = 2, busy = 2;  // all columns, and those in use; two pad columns
    int lengths = 0;  // rings in use: one per length of two or more
    for (int length = 2; length <= 7; ++length)
        lengths += job.plan.built[static_cast<std::size_t>(length)] ? 1 : 0;
    for (int k = 0; k <= last; ++k) {
        // The next stage reads up to 2s + 1 columns back; a stage taking this
        // one's output as its extra reads it (k' - k) lag columns after it is
        // made.
        int need = kSlots;
        for (int later = k + 1; later <= last; ++later)
            if (job.stages[static_cast<std::size_t>(later)].extra == k)
                need = std::max(need, (later - k) * job.plan.lag + 2);
        int slots = kSlots;
        while (slots < need)
            slots *= 2;
        job.outSlots[static_cast<std::size_t>(k)] = k < last ? slots : 0;
        columns += static_cast<std::size_t>(8 * kSlots + job.outSlots[static_cast<std::size_t>(k)]);
        busy += static_cast<std::size_t>(lengths * kSlots +
                                         job.outSlots[static_cast<std::size_t>(k)]);
    }
    const auto fit = static_cast<int>(std::min<std::size_t>(kCacheBudget / busy, INT32_MAX));
    job.stripRows = last == 0 ? job.h : std::min(job.h, std::max(kMinStripRows, fit));
    job.stride = (job.stripRows + 2 * (last + 1) * s + 63) / 64 * 64;
    job.tileBytes = columns * static_cast<std::size_t>(job.stride);
}

// What a stage keeps while it runs over a tile.
struct StageState {
    std::uint8_t* ring = nullptr;  // 8 lengths x kSlots columns of H_L, pad rows included
    std::uint8_t* out = nullptr;   // ring of output columns, laid out as the next input
    int outSlots = 0;
    int lo = 0, hi = 0;  // output columns of the tile
    // For the current strip: output rows first .. first + rows - 1; the input
    // column spans rows first - s .. first + rows + s - 1, of which `top` and
    // `bottom` are pad rows and `inside` lie inside the input image.
    int first = 0, rows = 0, top = 0, bottom = 0, inside = 0;
    int outTop = 0;  // where row `first` goes in an output column
    std::array<const std::uint8_t*, kSlots> rowsInside{};  // H_1 from its first inside row
    // Column c of H_L is column[L][c % kSlots], pad rows included. column[1]
    // points at the padded input of a later stage, or at the pad column (stage
    // 0 reads its inside columns through rowsInside); the others into the ring.
    std::array<std::array<const std::uint8_t*, kSlots>, 8> column{};
};

// The first and the last kEdgeBytes rows of stage 0's input columns, pad rows
// included, copied so that the output rows whose window crosses the source's
// top or bottom are done a vector at a time, like the rows between.
constexpr int kEdgeBytes = kVector + 2 * 3;
constexpr int kFewEdgePicks = 18;

struct TileState {
    std::array<StageState, kMaxStages> stages{};
    const std::uint8_t* pad[2] = {nullptr, nullptr};  // by Extreme: all 0, all 255
    std::array<std::array<std::uint8_t, kEdgeBytes>, kSlots> head{}, tail{};
    int edgesUpTo = 0;  // the last column whose edges are copied in this strip
};

// Rows q0 .. q0 + n - 1 of an input column counted with its `top` pad rows,
// of which `inside` rows from `rowsInside` on lie inside the image.
// It runs for every column of a pass, so the usual case (at most 8 pad rows at
// either end, 32 inside rows or more) takes fixed-size moves, not library calls:
// both pad ends are written 8 bytes wide, then the inside rows as two 32-byte
// copies that overlap where they meet and overwrite the pad bytes they cover.
[[gnu::always_inline]] inline void CopyPadded(std::uint8_t* to, const std::uint8_t* rowsInside,
                                              int q0, int n, int top, int inside, std::uint8_t pad)
{
    const int begin = std::clamp(top - q0, 0, n), end = std::clamp(top + inside - q0, begin, n);
    const std::uint8_t* from = rowsInside + (q0 + begin - top);
    if (end - begin >= kVector && begin <= 8 && n - end <= 8) {
        std::memset(to, pad, 8);
        std::memset(to + n - 8, pad, 8);
        std::memcpy(to + begin, from, kVector);
        std::memcpy(to + end - kVector, from + (end - begin - kVector), kVector);
        return;
    }
    std::fill_n(to, begin, pad);
    std::memcpy(to + begin, from, static_cast<std::size_t>(end - begin));
    std::fill_n(to + end, n - end, pad);
}

std::uint8_t* RingColumn(const Pipeline& job, const StageState& st, int length, int c)
{
    return st.ring +
           static_cast<std::ptrdiff_t>(length * kSlots + (c & (kSlots - 1))) * job.stride;
}

std::uint8_t* OutColumn(const Pipeline& job, const StageState& st, int x)
{
    return st.out + static_cast<std::ptrdiff_t>(x & (st.outSlots - 1)) * job.stride;
}

// Step x of stage k: takes the input column x + s, builds the newest column of
// each run length, and, from x = lo on, produces output column x.
template <Extreme E>
[[gnu::always_inline]] inline void StageStep(const Pipeline& job, TileState& tile, int k, int x)
{
    const Plan& plan = job.plan;
    const int s = plan.s;
    StageState& st = tile.stages[static_cast<std::size_t>(k)];
    const std::uint8_t* pad = tile.pad[static_cast<int>(E)];

    // Each step takes input column c and, when it builds pairs, also c + 1; its
    // slot held column c - 7, which no step reads any more. Stage 0 always
    // pairs: its input, the source, is all there.
    const int c = x + s;
    const bool pairs = k == 0 || plan.lag > s;
    // Stage 0 reads runs of one cell straight from the source, which has no pad
    // rows: output rows lo .. hi - 1 have every input row inside, and those
    // whose window crosses the source's top or bottom (at most s at each end)
    // are done from copies of the column's edges, or one by one where that is
    // cheaper: in a strip shorter than a vector, and where those rows take few
    // picks (any 3 x 3 element: at most 2 rows of 9), fewer than the copies and
    // the two extra vector passes cost.
    const bool direct = k == 0 && plan.used[1];
    const bool edges = direct && st.rows >= kVector && st.top + st.bottom > 0 &&
                       2 * s * plan.count > kFewEdgePicks;
    auto copyEdges = [&](int ci, std::size_t at) {
        if (!edges || ci <= tile.edgesUpTo)
            return;  // a column taken second in a pair is taken first in the next step
        tile.edgesUpTo = ci;
        const int n = kVector + 2 * s;
        CopyPadded(tile.head[at].data(), st.rowsInside[at], 0, n, st.top, st.inside, kPad<E>);
        CopyPadded(tile.tail[at].data(), st.rowsInside[at], st.rows - kVector, n, st.top,
                   st.inside, kPad<E>);
    };
    for (int ci = c; ci <= c + (pairs ? 1 : 0); ++ci) {
        const auto at = static_cast<std::size_t>(ci & (kSlots - 1));
        if (k > 0) {
            // Column c + 1 past what the stage before makes for this tile is
            // never needed: the pad stands in for it.
            const StageState& before = tile.stages[static_cast<std::size_t>(k - 1)];
            if (ci < 0 || ci >= before.hi) {
                st.rowsInside[at] = pad + st.top;
                st.column[1][at] = pad;
            } else {
                const std::uint8_t* from = OutColumn(job, before, ci);
                st.rowsInside[at] = from + st.top;
                st.column[1][at] = from;
            }
            continue;
        }
        const int column = job.x0 + ci;
        if (column < 0 || column >= job.width) {
            st.rowsInside[at] = pad + st.top;
            st.column[1][at] = pad;
            copyEdges(ci, at);
            continue;
        }
        const int row = job.y0 + st.first - s + st.top;
        st.rowsInside[at] = (*job.src)[column] + row;
        copyEdges(ci, at);
        // The source comes from memory once; the rings live in cache. A column
        // fetched kAhead steps early arrives before its first use.
        if (ci > c && column + kAhead < job.width)
            for (int r = 0; r < st.inside; r += 64)
                __builtin_prefetch((*job.src)[column + kAhead] + row + r);
    }

    // Where H_3 is built from H_2 and H_2 in pairs, the pair's pass also makes
    // H_3 at cl - 1 and cl from the H_2 column in hand: 4 source loads for the
    // four columns instead of 3 and then 2 + 2 ring loads.
    const bool ladder = pairs && plan.built[3] && plan.part[3] == 2;
    for (int length = 2; length <= 2 * s + 1; ++length) {
        const int cl = x + s + 1 - length;
        if (!plan.built[static_cast<std::size_t>(length)] || cl < st.lo - s ||
            (length == 3 && ladder))
            continue;
        const int part = plan.part[static_cast<std::size_t>(length)];
        if (part == 1 && pairs) {
            // Columns cl and cl + 1 together, from the first column of the tile on.
            if (((cl - (st.lo - s)) & 1) != 0)
                continue;  // built with the column before
            std::array<const std::uint8_t*, 8> inputs;
            for (int j = 0; j <= length; ++j)
                inputs[static_cast<std::size_t>(j)] =
                    st.rowsInside[static_cast<std::size_t>((cl + j) & (kSlots - 1))];
            if (length == 2 && ladder) {
                // H_3 at the tile's first column - 1 is never read, and its input
                // column was never taken: any column stands in for it.
                const std::uint8_t* before =
                    cl > st.lo - s ? st.rowsInside[static_cast<std::size_t>((cl - 1) & (kSlots - 1))]
                                   : inputs[0];
                PickLadder<E>(RingColumn(job, st, 2, cl) + st.top,
                              RingColumn(job, st, 2, cl + 1) + st.top,
                              RingColumn(job, st, 3, cl - 1) + st.top,
                              RingColumn(job, st, 3, cl) + st.top, before, inputs.data(),
                              st.inside);
                continue;
            }
            PickPairOf<E>(RingColumn(job, st, length, cl) + st.top,
                          RingColumn(job, st, length, cl + 1) + st.top, inputs.data(), length,
                          st.inside);
            continue;
        }
        const int m = (length + part - 1) / part;
        std::array<const std::uint8_t*, 10> parts;  // 7 at most; PickAll may take 10
        for (int j = 0; j < m; ++j) {
            const int from = j + 1 < m ? cl + j * part : cl + length - part;
            const auto slot = static_cast<std::size_t>(from & (kSlots - 1));
            parts[static_cast<std::size_t>(j)] =
                part == 1 ? st.rowsInside[slot]
                          : st.column[static_cast<std::size_t>(part)][slot] + st.top;
        }
        PickAll<E>(RingColumn(job, st, length, cl) + st.top, parts.data(), m, st.inside);
    }
    if (x < st.lo)
        return;

    // Later stages read their input with its pad rows.
    const int lo = direct ? std::min(st.top, st.rows) : 0;
    const int hi = direct ? std::max(lo, st.rows - st.bottom) : st.rows;
    const int extra = job.stages[static_cast<std::size_t>(k)].extra;
    const std::uint8_t* extraColumn = nullptr;  // its row `first`
    if (extra == kSourceExtra) {
        extraColumn = (*job.src)[job.x0 + x] + (job.y0 + st.first);
    } else if (extra >= 0) {
        const StageState& from = tile.stages[static_cast<std::size_t>(extra)];
        extraColumn = OutColumn(job, from, x) + (from.outTop + st.first - from.first);
    }
    std::uint8_t* out = k + 1 == job.count ? (*job.dst)[x] + st.first
                                           : OutColumn(job, st, x) + st.outTop;
    // Output rows r0 .. r0 + rows - 1, with runs of one cell read through
    // single(slot), which points at row r0 - s of the padded input column.
    auto pickRows = [&](int r0, int rows, auto single) __attribute__((always_inline)) {
        std::array<const std::uint8_t*, kMaxRuns + 2> p;  // runs, or the pad column; the extra
        int n = 0;
        const int firstInRing = direct ? plan.singles : 0;
        for (; n < firstInRing; ++n) {
            const Run& run = plan.runs[static_cast<std::size_t>(n)];
            p[static_cast<std::size_t>(n)] =
                single(static_cast<std::size_t>((x + run.dx) & (kSlots - 1))) + (run.dy + s);
        }
        for (; n < plan.count; ++n) {
            const Run& run = plan.runs[static_cast<std::size_t>(n)];
            const auto slot = static_cast<std::size_t>((x + run.dx) & (kSlots - 1));
            p[static_cast<std::size_t>(n)] =
                st.column[static_cast<std::size_t>(run.length)][slot] + (run.dy + s + r0);
        }
        if (n == 0)
            p[static_cast<std::size_t>(n++)] = pad;  // no cell: the pad value everywhere
        if (extraColumn != nullptr)
            p[static_cast<std::size_t>(n++)] = extraColumn + r0;
        PickAll<E>(out + r0, p.data(), n, rows);
    };
    if (hi > lo)
        pickRows(lo, hi - lo, [&](std::size_t slot) { return st.rowsInside[slot] + (lo - st.top); });
    if (edges) {
        // Both vectors overlap the rows between, which is harmless: the same
        // values come out twice.
        pickRows(0, kVector, [&](std::size_t slot) { return tile.head[slot].data(); });
        pickRows(st.rows - kVector, kVector,
                 [&](std::size_t slot) { return tile.tail[slot].data(); });
        return;
    }
    auto one = [&](int r) {
        std::uint8_t v = extraColumn != nullptr ? extraColumn[r] : kPad<E>;
        for (int i = 0; i < plan.count; ++i) {
            const Run& run = plan.runs[static_cast<std::size_t>(i)];
            const auto slot = static_cast<std::size_t>((x + run.dx) & (kSlots - 1));
            const int q = r + run.dy + s;  // row of the input column, pad rows counted
            if (run.length > 1)
                v = PickByte<E>(v, st.column[static_cast<std::size_t>(run.length)][slot][q]);
            else if (q >= st.top && q < st.top + st.inside)
                v = PickByte<E>(v, st.rowsInside[slot][q - st.top]);
        }
        out[r] = v;
    };
    for (int r = 0; r < lo; ++r)
        one(r);
    for (int r = hi; r < st.rows; ++r)
        one(r);
}

// Only the pad rows of a column need filling: every other row is written
// before it is read.
void FillPadRows(std::uint8_t* column, int top, int bottom, int span, std::uint8_t value)
{
    std::fill_n(column, top, value);
    std::fill_n(column + span - bottom, bottom, value);
}

std::uint8_t PadOf(Extreme e) { return e == Extreme::Max ? kPad<Extreme::Max> : kPad<Extreme::Min>; }

// Lays out the rows of strip ys .. ye - 1 for every stage and fills the pad rows.
void StartStrip(const Pipeline& job, TileState& tile, int ys, int ye)
{
    const int s = job.plan.s, last = job.count - 1;
    tile.edgesUpTo = INT32_MIN;
    for (int k = 0; k <= last; ++k) {
        StageState& st = tile.stages[static_cast<std::size_t>(k)];
        st.first = std::max(0, ys - (last - k) * s);
        st.rows = std::min(job.h, ye + (last - k) * s) - st.first;
        const int span = st.rows + 2 * s;
        // Input rows first - s .. first + rows + s - 1: of the source for stage 0,
        // of the rectangle-sized image before it for the others.
        const int from = k == 0 ? job.y0 + st.first - s : st.first - s;
        const int limit = k == 0 ? job.height : job.h;
        st.top = std::min(std::max(0, -from), span);
        st.bottom = std::min(std::max(0, from + span - limit), span - st.top);
        st.inside = span - st.top - st.bottom;
        const std::uint8_t pad = PadOf(job.stages[static_cast<std::size_t>(k)].extreme);
        for (int length = 1; length <= 2 * s + 1; ++length)
            for (int c = 0; c < kSlots; ++c)
                FillPadRows(RingColumn(job, st, length, c), st.top, st.bottom, span, pad);
    }
    // An output column is laid out as the input column of the next stage.
    for (int k = 0; k < last; ++k) {
        StageState& st = tile.stages[static_cast<std::size_t>(k)];
        const StageState& next = tile.stages[static_cast<std::size_t>(k + 1)];
        st.outTop = next.top;
        const std::uint8_t pad = PadOf(job.stages[static_cast<std::size_t>(k + 1)].extreme);
        for (int x = 0; x < st.outSlots; ++x)
            FillPadRows(OutColumn(job, st, x), next.top, next.bottom, next.rows + 2 * s, pad);
    }
}

// Output columns xs .. xe - 1 of the last stage, with the columns each earlier
// stage must produce for them. buffer holds job.tileBytes bytes.
[[gnu::always_inline]] inline void RunTile(const Pipeline& job, std::uint8_t* buffer, int xs,
                                           int xe)
{
    const int s = job.plan.s, last = job.count - 1;
    TileState tile;
    std::fill_n(buffer, job.stride, PadOf(Extreme::Max));
    std::fill_n(buffer + job.stride, job.stride, PadOf(Extreme::Min));
    tile.pad[static_cast<int>(Extreme::Max)] = buffer;
    tile.pad[static_cast<int>(Extreme::Min)] = buffer + job.stride;
    std::uint8_t* free = buffer + 2 * static_cast<std::ptrdiff_t>(job.stride);
    for (int k = 0; k <= last; ++k) {
        StageState& st = tile.stages[static_cast<std::size_t>(k)];
        st.ring = free;
        free += static_cast<std::ptrdiff_t>(8 * kSlots) * job.stride;
        for (int length = 2; length < 8; ++length)
            for (int c = 0; c < kSlots; ++c)
                st.column[static_cast<std::size_t>(length)][static_cast<std::size_t>(c)] =
                    RingColumn(job, st, length, c);
        st.outSlots = job.outSlots[static_cast<std::size_t>(k)];
        st.out = free;
        free += static_cast<std::ptrdiff_t>(st.outSlots) * job.stride;
        st.lo = std::max(0, xs - (last - k) * s);
        st.hi = std::min(job.w, xe + (last - k) * s);
    }

    for (int ys = 0; ys < job.h; ys += job.stripRows) {
        StartStrip(job, tile, ys, std::min(job.h, ys + job.stripRows));
        const int tEnd = tile.stages[static_cast<std::size_t>(last)].hi + last * job.plan.lag;
        for (int t = tile.stages[0].lo - 2 * s; t < tEnd; ++t)
            for (int k = 0; k <= last; ++k) {
                const StageState& st = tile.stages[static_cast<std::size_t>(k)];
                const int x = t - k * job.plan.lag;
                if (x < st.lo - 2 * s || x >= st.hi)
                    continue;
                if (job.stages[static_cast<std::size_t>(k)].extreme == Extreme::Max)
                    StageStep<Extreme::Max>(job, tile, k, x);
                else
                    StageStep<Extreme::Min>(job, tile, k, x);
            }
    }
}

// A single pass whose element is single cells only (the plan built no run
// length: every 3 x 3 element but the full one) needs no ring: each output
// column is the extreme of source columns picked in place, as in the stage
// step, but without its schedule. Output rows whose window lies inside the
// source are picked a vector at a time; the s rows at either end of the
// source one by one, a cell counted only where it lies inside.
bool SinglesOnly(const Pipeline& job)
{
    return job.count == 1 && job.plan.singles == job.plan.count;
}

template <Extreme E>
[[gnu::always_inline]] inline void PickSingles(const Pipeline& job, int xs, int xe)
{
    const Plan& plan = job.plan;
    const int s = plan.s;
    // Output rows lo .. hi - 1 see only rows inside the source.
    const int lo = std::clamp(s - job.y0, 0, job.h);
    const int hi = std::clamp(job.height - s - job.y0, lo, job.h);
    for (int x = xs; x < xe; ++x) {
        std::uint8_t* out = (*job.dst)[x];
        std::array<const std::uint8_t*, kMaxRuns + 1> p;  // each cell's source column
        std::array<int, kMaxRuns + 1> dy;
        int n = 0;
        for (int i = 0; i < plan.count; ++i) {
            const Run& run = plan.runs[static_cast<std::size_t>(i)];
            const int column = job.x0 + x + run.dx;
            if (column < 0 || column >= job.width)
                continue;  // the element is cut at the border
            dy[static_cast<std::size_t>(n)] = run.dy;
            p[static_cast<std::size_t>(n++)] = (*job.src)[column];
        }
        if (n == 0) {
            std::fill_n(out, job.h, kPad<E>);
            continue;
        }
        auto one = [&](int r) {
            std::uint8_t v = kPad<E>;
            for (int i = 0; i < n; ++i) {
                const int row = job.y0 + r + dy[static_cast<std::size_t>(i)];
                if (row >= 0 && row < job.height)
                    v = PickByte<E>(v, p[static_cast<std::size_t>(i)][row]);
            }
            out[r] = v;
        };
        for (int r = 0; r < lo; ++r)
            one(r);
        if (hi > lo) {
            // Three kernels only (PickAll's eighteen would double this file's
            // build time with the sanitizers): five columns, or eight at a
            // time. Short groups repeat their first column, which an extreme
            // does not mind.
            const int group = n <= 5 ? 5 : 8;
            std::array<const std::uint8_t*, kMaxRuns + 8> q;
            for (int i = 0; i < (n + group - 1) / group * group; ++i) {
                const auto from = static_cast<std::size_t>(i < n ? i : i / group * group);
                q[static_cast<std::size_t>(i)] = p[from] + (job.y0 + lo + dy[from]);
            }
            if (group == 5) {
                PickColumns<E, 5, false>(out + lo, q.data(), hi - lo);
            } else {
                PickColumns<E, 8, false>(out + lo, q.data(), hi - lo);
                for (int k = 8; k < n; k += 8)
                    PickColumns<E, 8, true>(out + lo, q.data() + k, hi - lo);
            }
        }
        for (int r = std::max(lo, hi); r < job.h; ++r)
            one(r);
    }
}

using SinglesPass = void (*)(const Pipeline& job, int xs, int xe);

[[gnu::always_inline]] inline void PickSinglesOf(const Pipeline& job, int xs, int xe)
{
    if (job.stages[0].extreme == Extreme::Max)
        PickSingles<Extreme::Max>(job, xs, xe);
    else
        PickSingles<Extreme::Min>(job, xs, xe);
}

[[gnu::always_inline]] inline void RunTilesOf(const Pipeline& job, GrayImage& buffers, int tiles,
                                               int lo, int hi, SinglesPass singles)
{
    for (int i = lo; i < hi; ++i) {
        const int xs = static_cast<int>(static_cast<long long>(job.w) * i / tiles);
        const int xe = static_cast<int>(static_cast<long long>(job.w) * (i + 1) / tiles);
        if (SinglesOnly(job))
            singles(job, xs, xe);
        else
            RunTile(job, buffers[i], xs, xe);
    }
}

// The same code compiled twice: the tile loop and what it inlines use 32-byte
// vectors natively with AVX2, and in halves (SSE2) or portable code otherwise.
#if defined(__x86_64__)
// Its own function, apart from the stage loop: inlined there, its pointers
// no longer stay in registers and the pass runs at half the speed.
__attribute__((target("avx2"), noinline)) void PickSinglesAvx2(const Pipeline& job, int xs,
                                                              int xe)
{
    PickSinglesOf(job, xs, xe);
}

__attribute__((target("avx2"))) void RunTilesAvx2(const Pipeline& job, GrayImage& buffers,
                                                  int tiles, int lo, int hi)
{
    RunTilesOf(job, buffers, tiles, lo, hi, PickSinglesAvx2);
}
#endif

[[gnu::noinline]] void PickSinglesPortable(const Pipeline& job, int xs, int xe)
{
    PickSinglesOf(job, xs, xe);
}

void RunTilesPortable(const Pipeline& job, GrayImage& buffers, int tiles, int lo, int hi)
{
    RunTilesOf(job, buffers, tiles, lo, hi, PickSinglesPortable);
}

void RunTiles(VectorLevel level, const Pipeline& job, GrayImage& buffers, int tiles, int lo,
              int hi)
{
#if defined(__x86_64__)
    if (level >= VectorLevel::Avx2)
        return RunTilesAvx2(job, buffers, tiles, lo, hi);
#endif
    (void)level;
    RunTilesPortable(job, buffers, tiles, lo, hi);
}

// Column tiles are independent: every output pixel is computed from the source
// alone, so the result does not depend on how many threads share them.
void RunPipeline(Pipeline job)
{
    if (job.x1 <= job.x0 || job.y1 <= job.y0 || job.count == 0)
        return;
    Layout(job);
    const int tiles = std::clamp(std::min(WorkerCount(), job.w / kMinTileColumns), 1, kMaxTiles);
    if (job.tileBytes > static_cast<std::size_t>(INT32_MAX))
        return;
    GrayImage buffers = NewGrayImage(tiles, static_cast<int>(job.tileBytes));
    if (!buffers)
        return;
    const VectorLevel level = ActiveVectorLevel();
    ParallelFor(0, tiles, 1,
                [&](int lo, int hi) { RunTiles(level, job, buffers, tiles, lo, hi); });
}

Pipeline MakePipeline(const GrayImage& src, GrayImage& dst, const StructuringElement& element,
                      int a, int x0, int y0, int x1, int y1, int width, int height,
                      std::initializer_list<Stage> stages)
{
    Pipeline job;
    job.src = &src;
    job.dst = &dst;
    job.x0 = x0;
    job.y0 = y0;
    job.x1 = x1;
    job.y1 = y1;
    job.width = width;
    job.height = height;
    job.plan = MakePlan(element, a);
    for (const Stage& stage : stages)
        job.stages[static_cast<std::size_t>(job.count++)] = stage;
    return job;
}

// ProperOpen: Close, Open, Close, then the minimum with the source.
// ProperClose: Open, Close, Open, then the maximum with the source.
constexpr std::array<Extreme, 6> ProperChain(Extreme first)
{
    const Extreme second = first == Extreme::Max ? Extreme::Min : Extreme::Max;
    return {first, second, second, first, first, second};
}

void ProperOperator(Extreme first, const GrayImage& src, GrayImage& dst,
                    const StructuringElement& element, int a, int x0, int y0, int x1, int y1,
                    int width, int height)
{
    const auto e = ProperChain(first);
    RunPipeline(MakePipeline(src, dst, element, a, x0, y0, x1, y1, width, height,
                             {{e[0]}, {e[1]}, {e[2]}, {e[3]}, {e[4]}, {e[5], kSourceExtra}}));
}

void OnePass(Extreme extreme, const GrayImage& src, GrayImage& dst,
             const StructuringElement& element, int a, int x0, int y0, int x1, int y1, int width,
             int height)
{
    RunPipeline(
        MakePipeline(src, dst, element, a, x0, y0, x1, y1, width, height, {{extreme}}));
}

bool SameImage(const GrayImage& a, const GrayImage& b, int width, int height)
{
    for (int x = 0; x < width; ++x)
        if (std::memcmp(a[x], b[x], static_cast<std::size_t>(height)) != 0)
            return false;
    return true;
}

// The rounds form a sequence f(k) = pass(f(k - 1)) over finitely many images,
// so it becomes periodic: once f(i) = f(j) with j < i, every later image
// repeats with period i - j. A round that changes nothing is period 1; an
// element without its centre can also cycle (a left and a right neighbour
// swap a two-pixel image every round). The image of round 2^k is kept, and
// each later image is compared with it and with its predecessor (Brent's
// cycle search): the repetition is found within about twice the rounds it
// takes to appear, and the rounds left are cut to their remainder.
void Rounds(Extreme extreme, const GrayImage& src, GrayImage& dst,
            const StructuringElement& element, int a, int rounds, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    if (rounds < 1) {
        CopyGrayImage(src, dst, width, height);
        return;
    }
    auto pass = [&](const GrayImage& from, GrayImage& to) {
        OnePass(extreme, from, to, element, a, 0, 0, width, height, width, height);
    };
    if (rounds == 1) {
        pass(src, dst);
        return;
    }
    GrayImage current = NewGrayImage(width, height), previous = NewGrayImage(width, height);
    GrayImage kept = NewGrayImage(width, height);
    if (!current || !previous || !kept)
        return;
    auto round = [&] {
        std::swap(current, previous);
        pass(previous, current);
    };
    pass(src, current);
    CopyGrayImage(current, kept, width, height);
    int done = 1, keptAt = 1;
    while (done < rounds) {
        round();
        ++done;
        if (SameImage(current, previous, width, height))
            break;  // a fixed point
        if (SameImage(current, kept, width, height)) {
            const int period = done - keptAt;
            for (int left = (rounds - done) % period; left > 0; --left)
                round();
            break;
        }
        if (done == 2 * static_cast<long long>(keptAt)) {
            CopyGrayImage(current, kept, width, height);
            keptAt = done;
        }
    }
    CopyGrayImage(current, dst, width, height);
}

}  // namespace

void Dilate(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
            int x0, int y0, int x1, int y1, int width, int height)
{
    OnePass(Extreme::Max, src, dst, element, a, x0, y0, x1, y1, width, height);
}

void Erode(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
           int x0, int y0, int x1, int y1, int width, int height)
{
    OnePass(Extreme::Min, src, dst, element, a, x0, y0, x1, y1, width, height);
}

void Open(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
          int x0, int y0, int x1, int y1, int width, int height)
{
    RunPipeline(MakePipeline(src, dst, element, a, x0, y0, x1, y1, width, height,
                             {{Extreme::Min}, {Extreme::Max}}));
}

void Close(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
           int x0, int y0, int x1, int y1, int width, int height)
{
    RunPipeline(MakePipeline(src, dst, element, a, x0, y0, x1, y1, width, height,
                             {{Extreme::Max}, {Extreme::Min}}));
}

void ProperOpen(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
                int x0, int y0, int x1, int y1, int width, int height)
{
    ProperOperator(Extreme::Max, src, dst, element, a, x0, y0, x1, y1, width, height);
}

void ProperClose(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
                 int x0, int y0, int x1, int y1, int width, int height)
{
    ProperOperator(Extreme::Min, src, dst, element, a, x0, y0, x1, y1, width, height);
}

// The ProperOpen chain ends in stage 5, whose output (taken with the source)
// is both the input of the ProperClose chain and the extra of its last stage.
void AutoMedian(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
                int x0, int y0, int x1, int y1, int width, int height)
{
    const auto o = ProperChain(Extreme::Max), c = ProperChain(Extreme::Min);
    RunPipeline(MakePipeline(src, dst, element, a, x0, y0, x1, y1, width, height,
                             {{o[0]}, {o[1]}, {o[2]}, {o[3]}, {o[4]}, {o[5], kSourceExtra},
                              {c[0]}, {c[1]}, {c[2]}, {c[3]}, {c[4]}, {c[5], 5}}));
}

void DilateRounds(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
                  int rounds, int width, int height)
{
    Rounds(Extreme::Max, src, dst, element, a, rounds, width, height);
}

void ErodeRounds(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
                 int rounds, int width, int height)
{
    Rounds(Extreme::Min, src, dst, element, a, rounds, width, height);
}

int MaxOf(const int* values, int count)
{
    int m = values[0];
    for (int i = 1; i < count; ++i)
        if (values[i] > m)
            m = values[i];
    return m;
}

int MinOf(const int* values, int count)
{
    int m = values[0];
    for (int i = 1; i < count; ++i)
        if (values[i] < m)
            m = values[i];
    return m;
}
