// tools/Detect_objectLabels.cpp: the labelling passes, a run of object pixels
// down a column at a time.
#include "Detect_objectColumns.h"

#include "VectorLevel.h"

#include <algorithm>
#include <climits>
#include <cstring>

#if defined(__x86_64__)
#include <emmintrin.h>  // SSE2, part of every x86-64 processor
#endif

namespace detect_columns {

PixelTest DarkTest(int t) { return {std::clamp(t, -1, 255), 256}; }
PixelTest BrightTest(int t) { return {-1, std::clamp(t, 0, 256)}; }
PixelTest BandTest(int lower, int upper)
{
    return {std::clamp(lower, -1, 255), std::clamp(upper, 0, 256)};
}

#if defined(__x86_64__)
// Both sides of the test for sixteen pixels: 0xFF where a pixel passes.
struct VectorTest {
    __m128i below, above, useBelow, useAbove;
    explicit VectorTest(const PixelTest& test)
        : below(_mm_set1_epi8(static_cast<char>(std::max(test.below, 0)))),
          above(_mm_set1_epi8(static_cast<char>(std::min(test.above, 255)))),
          useBelow(test.below >= 0 ? _mm_set1_epi8(-1) : _mm_setzero_si128()),
          useAbove(test.above <= 255 ? _mm_set1_epi8(-1) : _mm_setzero_si128())
    {
    }
    __m128i operator()(const std::uint8_t* g) const
    {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g));
        // Unsigned v <= below is min(v, below) == v; v >= above is max(v, above) == v.
        const __m128i low = _mm_and_si128(_mm_cmpeq_epi8(_mm_min_epu8(v, below), v), useBelow);
        const __m128i high = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v, above), v), useAbove);
        return _mm_or_si128(low, high);
    }
};
#endif

// One bit per pixel of a column segment: bit i of the bit string is set when
// pixel i passes the test. Bits past n stay clear, and one spare word follows,
// so the run search below may look one word past the end.
void ColumnBits(const std::uint8_t* g, int n, const PixelTest& test,
                std::vector<std::uint64_t>& bits)
{
    bits.assign(static_cast<std::size_t>(n / 64 + 2), 0);
    int i = 0;
#if defined(__x86_64__)
    if (ActiveVectorLevel() >= VectorLevel::Baseline) {
        const VectorTest passes(test);
        for (; i + 16 <= n; i += 16) {
            const auto word = static_cast<std::uint64_t>(
                static_cast<std::uint32_t>(_mm_movemask_epi8(passes(g + i))));
            bits[static_cast<std::size_t>(i >> 6)] |= word << (i & 63);
        }
    }
#endif
    for (; i < n; ++i)
        if (test(g[i]))
            bits[static_cast<std::size_t>(i >> 6)] |= std::uint64_t{1} << (i & 63);
}

namespace {

// First pixel at or after from whose bit is set; n if none.
inline int NextSet(const std::uint64_t* bits, int from, int n)
{
    if (from >= n)
        return n;
    std::size_t w = static_cast<std::size_t>(from >> 6);
    std::uint64_t word = bits[w] & (~std::uint64_t{0} << (from & 63));
    while (word == 0) {
        if (static_cast<int>(++w << 6) >= n)
            return n;
        word = bits[w];
    }
    return std::min(n, static_cast<int>(w << 6) + __builtin_ctzll(word));
}

// First pixel at or after from whose bit is clear; n at the latest, since the
// bits past n are clear.
inline int NextClear(const std::uint64_t* bits, int from, int n)
{
    std::size_t w = static_cast<std::size_t>(from >> 6);
    std::uint64_t word = ~bits[w] & (~std::uint64_t{0} << (from & 63));
    while (word == 0)
        word = ~bits[++w];
    return std::min(n, static_cast<int>(w << 6) + __builtin_ctzll(word));
}

// Counts count pixels of one column x, the last of them in row lastY, into the
// record of label: what GrowLabel does pixel by pixel, at once.
void GrowLabelBy(DetectWork& work, std::int32_t label, std::int32_t count, int x, int lastY)
{
    LabelRecord& r = work.Records()[label];
    r.area += count;
    r.maxX = std::max(r.maxX, x);
    r.maxY = std::max(r.maxY, lastY);
}

}  // namespace

std::int32_t RootOf(LabelRecord* records, std::int32_t a)
{
    while (records[a].parent != a) {
        LabelRecord& r = records[a];
        r.parent = records[r.parent].parent;
        a = r.parent;
    }
    return a;
}

namespace {

// RootOf for a table whose trees are mostly one step deep: a root or a child of
// one costs two loads and a branch that rarely fails.
inline std::int32_t ShallowRoot(LabelRecord* records, std::int32_t a)
{
    const std::int32_t p = records[a].parent;
    return records[p].parent == p ? p : RootOf(records, a);
}

}  // namespace

// Number of runs of set bits in the bit string of n pixels.
int CountRuns(const std::vector<std::uint64_t>& bits, int n)
{
    int runs = 0;
    std::uint64_t carry = 0;  // top bit of the word before
    for (std::size_t w = 0; w <= static_cast<std::size_t>(n >> 6); ++w) {
        const std::uint64_t word = bits[w];
        // Bits that start a run, counted without a library call (no popcnt in
        // the x86-64 baseline).
        std::uint64_t v = word & ~((word << 1) | carry);
        v = v - ((v >> 1) & 0x5555555555555555ULL);
        v = (v & 0x3333333333333333ULL) + ((v >> 2) & 0x3333333333333333ULL);
        v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
        runs += static_cast<int>((v * 0x0101010101010101ULL) >> 56);
        carry = word >> 63;
    }
    return runs;
}

// One column x > X1 object pixel by object pixel, for columns so broken up
// (noise) that the run-wise pass would mispredict at every run. Background
// costs nothing: the column is cleared to the marker at once and the set bits
// are visited in order. Each object pixel applies the rules of LabelInnerPixel
// (and of LabelEdgePixel on row Y1, where the upper neighbour is outside the
// region) with selects instead of branches on the neighbours: with the marker
// -1 read as unsigned, min(L, U) is the smaller label, or the only one, or the
// marker when neither neighbour is labelled. The upper neighbour is labelled
// only when it is the object pixel visited just before. Only opening a label
// stays a branch. The joins (a quarter of the object pixels on noise, half of
// them between labels already in one set) wait in a list and are made after
// the column: a join gives no pixel a label, and the roots do not depend on
// the order of the joins, each set's root being its smallest label. The label
// table must have room for n / 2 + 1 more records (two new labels are never
// adjacent in a column).
void LabelDenseColumn(DetectWork& work, const std::uint64_t* bits, int n, std::int32_t* column,
                      const std::int32_t* left, int x, int Y1)
{
    LabelRecord* const records = work.Records();
    std::int32_t count = work.count;
    std::int32_t* const out = column + Y1;
    const std::int32_t* const in = left + Y1;
    std::memset(out, 0xFF, static_cast<std::size_t>(n) * sizeof(std::int32_t));
    if (work.joins.size() < static_cast<std::size_t>(n))
        work.joins.resize(static_cast<std::size_t>(n));
    LabelPair* const pairs = work.joins.data();
    int joins = 0;
    std::uint32_t up = ~0U;  // label of the object pixel visited last
    int last = -2;           // its index; none yet
    for (int base = 0; base < n; base += 64) {  // the bits past n are clear
        for (std::uint64_t word = bits[base >> 6]; word != 0; word &= word - 1) {
            const int i = base + __builtin_ctzll(word);
            const int y = Y1 + i;
            const std::uint32_t U = last == i - 1 ? up : ~0U;
            const auto L = static_cast<std::uint32_t>(in[i]);
            const bool lower = L < U;
            const std::uint32_t below = lower ? L : U;  // min and max as unsigned
            const std::uint32_t above = lower ? U : L;
            last = i;
            if (below == ~0U) {
                // NewLabel.
                records[count] = {count, 1, x, y, x, y, count};
                up = static_cast<std::uint32_t>(count);
                out[i] = count++;
                continue;
            }
            // Both labelled (and then different): the pair waits in the list.
            // The join changes no label, only the sets.
            pairs[joins] = {static_cast<std::int32_t>(L), static_cast<std::int32_t>(U)};
            joins += above != ~0U ? 1 : 0;
            // GrowLabel. In scan order x is the largest column yet, so maxX = x
            // is GrowLabel's max(maxX, x).
            LabelRecord& grown = records[static_cast<std::int32_t>(below)];
            grown.area += 1;
            grown.maxX = x;
            grown.maxY = std::max(grown.maxY, y);
            out[i] = static_cast<std::int32_t>(below);
            up = below;
        }
    }
    work.count = count;
    // JoinLabels for each pair: the larger root hangs under the smaller.
    for (int k = 0; k < joins; ++k) {
        const std::int32_t a = ShallowRoot(records, pairs[k].a);
        const std::int32_t b = ShallowRoot(records, pairs[k].b);
        if (a != b) {
            LabelRecord& high = records[std::max(a, b)];
            high.parent = high.root = std::min(a, b);
        }
    }
}

// One column of the labelling pass by runs of object pixels (the rules are
// spelt out at LabelPixels). left is the label column to the left, or null for
// the region's first column, where only the upper neighbour counts. The label
// table must have room for n / 2 + 1 more records.
void LabelSparseColumn(DetectWork& work, const std::uint64_t* bits, int n, std::int32_t* column,
                       const std::int32_t* left, int x, int Y1)
{
    LabelRecord* const records = work.Records();
    // The slot still holds column x − 2.
    std::memset(column + Y1, 0xFF, static_cast<std::size_t>(n) * sizeof(std::int32_t));
    for (int i = NextSet(bits, 0, n); i < n;) {
        const int end = NextClear(bits, i, n);  // the run is rows i .. end - 1
        int y = Y1 + i;
        const int yEnd = Y1 + end;
        // NewLabel when the left neighbour is unlabelled, written without a
        // branch: on noise that test is a coin toss. The record is filled
        // either way and only kept when the count moves past it.
        const std::int32_t start = left == nullptr ? kUnlabelled : left[y];
        const std::int32_t fresh = work.count;
        const bool open = start == kUnlabelled;
        records[fresh] = {fresh, 1, x, y, x, y, fresh};
        work.count += open ? 1 : 0;
        std::int32_t u = open ? fresh : start;  // the label given to the pixels from here on
        std::int32_t pending = open ? 0 : 1;    // pixels given u and not yet counted into it
        std::int32_t root = open ? fresh : kUnlabelled;  // root of u once known
        column[y] = u;
        if (left != nullptr) {
            std::int32_t joined = kUnlabelled;  // last larger left label joined with u
            for (++y; y < yEnd; ++y) {
                const std::int32_t L = left[y];
                if (L != kUnlabelled && L != u && L != joined) {
                    if (root == kUnlabelled)
                        root = RootOf(records, u);
                    const std::int32_t rootL = RootOf(records, L);
                    if (rootL != root) {
                        // JoinLabels: the larger root hangs under the smaller.
                        LabelRecord& high = records[std::max(root, rootL)];
                        high.parent = high.root = std::min(root, rootL);
                        root = high.parent;
                    }
                    if (L < u) {
                        // The pixel takes the smaller label; the run goes on with it.
                        if (pending > 0)
                            GrowLabelBy(work, u, pending, x, y - 1);
                        pending = 0;
                        u = L;
                    } else {
                        joined = L;
                    }
                }
                column[y] = u;
                ++pending;
            }
        } else {
            for (++y; y < yEnd; ++y)
                column[y] = u;
            pending += end - i - 1;
        }
        if (pending > 0)
            GrowLabelBy(work, u, pending, x, yEnd - 1);
        i = NextSet(bits, end, n);
    }
}

}  // namespace detect_columns

namespace {

using namespace detect_columns;

// The labelling pass. It visits the pixels in the scan order, column by column
// and down each column, as the object order requires, and gives every pixel the
// label LabelEdgePixel or LabelInnerPixel would, but a run of object pixels down
// a column is handled at once:
// - its first pixel has no labelled upper neighbour (the pixel above is
//   background or outside the region), so it takes its left neighbour's label,
//   or opens a new one when that is unlabelled or outside the region;
// - every further pixel has its upper neighbour labelled u: it takes u unless
//   its left neighbour L is labelled differently, when it takes min(L, u) and
//   the two sets are joined.
// The pixels are counted into their labels' records a stretch at a time, and
// the root of u is kept while the run lasts, so a join costs one root walk.
// Background is skipped by the bit string. Columns so broken up that a run
// costs more than a pixel (noise) go pixel by pixel instead (LabelDenseColumn).
void LabelPixels(DetectWork& work, const GrayImage& image, IntImage& labels, const PixelTest& test,
                 int X1, int Y1, int X2, int Y2)
{
    if (X1 <= X2 && Y1 <= Y2) {
        const long long rows = static_cast<long long>(Y2) - Y1 + 1;
        // At most INT_MAX pixels are scanned: labels and areas stay within 32 bits.
        const long long columns =
            std::min(static_cast<long long>(X2) - X1 + 1, static_cast<long long>(INT_MAX) / rows);
        const int lastX = static_cast<int>(X1 + columns - 1);
        const int n = static_cast<int>(rows);
        if (LabelInStrips(work, image, labels, test, X1, Y1, lastX, n))
            return;  // resolved there
        std::vector<std::uint64_t> bits;
        for (int x = X1; x <= lastX; ++x) {
            ColumnBits(image[x] + Y1, n, test, bits);
            std::int32_t* column = LabelColumn(labels, x);
            // A column opens at most one label per run, and has at most n / 2 + 1 runs.
            work.Reserve(static_cast<std::size_t>(n / 2 + 1));
            if (x == X1) {
                LabelSparseColumn(work, bits.data(), n, column, nullptr, x, Y1);
            } else if (CountRuns(bits, n) * 8 > n) {
                LabelDenseColumn(work, bits.data(), n, column, LabelColumn(labels, x - 1), x, Y1);
            } else {
                LabelSparseColumn(work, bits.data(), n, column, LabelColumn(labels, x - 1), x, Y1);
            }
        }
    }
    ResolveLabels(work);
}

}  // namespace

void LabelDarkPixels(DetectWork& work, const GrayImage& image, IntImage& labels, int t, int X1,
                     int Y1, int X2, int Y2)
{
    LabelPixels(work, image, labels, DarkTest(t), X1, Y1, X2, Y2);
}

void LabelBrightPixels(DetectWork& work, const GrayImage& image, IntImage& labels, int t, int X1,
                       int Y1, int X2, int Y2)
{
    LabelPixels(work, image, labels, BrightTest(t), X1, Y1, X2, Y2);
}

void LabelBandPixels(DetectWork& work, const GrayImage& image, IntImage& labels, int lower,
                     int upper, int X1, int Y1, int X2, int Y2)
{
    LabelPixels(work, image, labels, BandTest(lower, upper), X1, Y1, X2, Y2);
}
