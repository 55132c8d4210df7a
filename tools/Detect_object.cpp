// tools/Detect_object.cpp
#include "Detect_object.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <emmintrin.h>  // SSE2, part of every x86-64 processor

namespace {

// The label table: one record per label, the label count being its size. It
// grows as a picture needs and keeps its capacity from run to run.
std::vector<LabelRecord> labelTable;

LabelRecord& Record(std::int32_t label) { return labelTable[static_cast<std::size_t>(label)]; }

// Object pixel test in one form for all three modes: v <= below or v >= above.
// below = -1 and above = 256 switch their side off; any threshold outside
// 0..255 folds into that range without changing which pixels pass.
struct PixelTest {
    int below = -1, above = 256;
    bool operator()(std::uint8_t v) const { return v <= below || v >= above; }
};

PixelTest DarkTest(int t) { return {std::clamp(t, -1, 255), 256}; }
PixelTest BrightTest(int t) { return {-1, std::clamp(t, 0, 256)}; }
PixelTest BandTest(int lower, int upper)
{
    return {std::clamp(lower, -1, 255), std::clamp(upper, 0, 256)};
}

// One bit per pixel of a column segment: bit i of the bit string is set when
// pixel i passes the test. Bits past n stay clear, and one spare word follows,
// so the run search below may look one word past the end.
void ColumnBits(const std::uint8_t* g, int n, const PixelTest& test,
                std::vector<std::uint64_t>& bits)
{
    bits.assign(static_cast<std::size_t>(n / 64 + 2), 0);
    const __m128i below = _mm_set1_epi8(static_cast<char>(std::max(test.below, 0)));
    const __m128i above = _mm_set1_epi8(static_cast<char>(std::min(test.above, 255)));
    const __m128i useBelow = test.below >= 0 ? _mm_set1_epi8(-1) : _mm_setzero_si128();
    const __m128i useAbove = test.above <= 255 ? _mm_set1_epi8(-1) : _mm_setzero_si128();
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(g + i));
        // Unsigned v <= below is min(v, below) == v; v >= above is max(v, above) == v.
        const __m128i low = _mm_and_si128(_mm_cmpeq_epi8(_mm_min_epu8(v, below), v), useBelow);
        const __m128i high = _mm_and_si128(_mm_cmpeq_epi8(_mm_max_epu8(v, above), v), useAbove);
        const auto mask = static_cast<std::uint64_t>(
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_or_si128(low, high))));
        bits[static_cast<std::size_t>(i >> 6)] |= mask << (i & 63);
    }
    for (; i < n; ++i)
        if (test(g[i]))
            bits[static_cast<std::size_t>(i >> 6)] |= std::uint64_t{1} << (i & 63);
}

// First pixel at or after from whose bit is set (or, with flip, clear); n if none.
int NextBit(const std::vector<std::uint64_t>& bits, int from, int n, bool flip)
{
    if (from >= n)
        return n;
    const std::uint64_t invert = flip ? ~std::uint64_t{0} : 0;
    std::size_t w = static_cast<std::size_t>(from >> 6);
    std::uint64_t word = (bits[w] ^ invert) & (~std::uint64_t{0} << (from & 63));
    while (word == 0) {
        ++w;
        if (static_cast<int>(w << 6) >= n)
            return n;
        word = bits[w] ^ invert;
    }
    return std::min(n, static_cast<int>(w << 6) + __builtin_ctzll(word));
}

// Counts count pixels of one column x, the last of them in row lastY, into the
// record of label: what GrowLabel does pixel by pixel, at once.
void GrowLabelBy(std::int32_t label, std::int32_t count, int x, int lastY)
{
    LabelRecord& r = Record(label);
    r.area += count;
    r.maxX = std::max(r.maxX, x);
    r.maxY = std::max(r.maxY, lastY);
}

// The labelling pass. It visits the pixels in the scan order, column by column
// and down each column, as the object order requires, but a run of object
// pixels down a column is handled at once: its first pixel by the full rules of
// LabelEdgePixel or LabelInnerPixel, the rest knowing that their upper
// neighbour is labelled. Background runs are skipped by the bit string.
void LabelPixels(const GrayImage& image, IntImage& labels, const PixelTest& test, int X1, int Y1,
                 int X2, int Y2)
{
    if (X1 <= X2 && Y1 <= Y2) {
        const long long rows = static_cast<long long>(Y2) - Y1 + 1;
        // At most INT_MAX pixels are scanned: labels and areas stay within 32 bits.
        const long long columns =
            std::min(static_cast<long long>(X2) - X1 + 1, static_cast<long long>(INT_MAX) / rows);
        const int lastX = static_cast<int>(X1 + columns - 1);
        const int n = static_cast<int>(rows);
        std::vector<std::uint64_t> bits;
        for (int x = X1; x <= lastX; ++x) {
            ColumnBits(image[x] + Y1, n, test, bits);
            std::int32_t* column = labels[x];
            const std::int32_t* left = x > X1 ? labels[x - 1] : nullptr;
            for (int i = NextBit(bits, 0, n, false); i < n;) {
                const int end = NextBit(bits, i, n, true);  // the run is rows i .. end - 1
                int y = Y1 + i;
                const int yEnd = Y1 + end;
                if (x == X1 || y == Y1)
                    LabelEdgePixel(labels, x, y, X1, Y1);
                else
                    LabelInnerPixel(labels, x, y);
                std::int32_t u = column[y];  // label of the upper neighbour from here on
                std::int32_t pending = 0;    // pixels given u and not yet counted into it
                if (left == nullptr) {
                    // First column: the upper neighbour is the only one; the run takes its label.
                    for (++y; y < yEnd; ++y)
                        column[y] = u;
                    pending = end - i - 1;
                } else {
                    std::int32_t joined = kUnlabelled;  // last left label joined with u
                    for (++y; y < yEnd; ++y) {
                        const std::int32_t L = left[y];
                        if (L != kUnlabelled && L != u && L != joined) {
                            if (L < u) {
                                // The pixel takes the smaller label; the run goes on with it.
                                if (pending > 0)
                                    GrowLabelBy(u, pending, x, y - 1);
                                pending = 0;
                                JoinLabels(L, u);
                                u = L;
                            } else {
                                JoinLabels(L, u);
                                joined = L;
                            }
                        }
                        column[y] = u;
                        ++pending;
                    }
                }
                if (pending > 0)
                    GrowLabelBy(u, pending, x, yEnd - 1);
                i = NextBit(bits, end, n, false);
            }
        }
    }
    ResolveLabels();
}

// Keeps the roots that touch no side of the region, boxes them in gray 128 in
// ascending root order, then draws the region's frame in gray 100 over them.
int SelectAndDraw(GrayImage& image, ObjectTable& objects, int X1, int Y1, int X2, int Y2,
                  int width, int height)
{
    objects.clear();
    const int count = LabelCount();
    for (std::int32_t j = 0; j < count; ++j) {
        const LabelRecord& r = Record(j);
        if (r.parent != j || r.minX == X1 || r.minY == Y1 || r.maxX == X2 || r.maxY == Y2)
            continue;
        DrawLine(image, 128, r.minX, r.minY, r.minX, r.maxY, width, height);
        DrawLine(image, 128, r.minX, r.minY, r.maxX, r.minY, width, height);
        DrawLine(image, 128, r.maxX, r.minY, r.maxX, r.maxY, width, height);
        DrawLine(image, 128, r.minX, r.maxY, r.maxX, r.maxY, width, height);
        objects.push_back({r.minX, r.minY, r.maxX, r.maxY, r.area});
    }
    // DrawLine leaves each end point unset: the bottom-right corners stay as they were.
    DrawLine(image, 100, X1, Y1, X1, Y2, width, height);
    DrawLine(image, 100, X1, Y1, X2, Y1, width, height);
    DrawLine(image, 100, X2, Y1, X2, Y2, width, height);
    DrawLine(image, 100, X1, Y2, X2, Y2, width, height);
    return static_cast<int>(objects.size());
}

}  // namespace

int DetectObjects(GrayImage& image, IntImage& labels, ObjectTable& objects, int mode, int t,
                  int X1, int Y1, int X2, int Y2, int width, int height)
{
    ClearLabels(labels, width, height);
    if (mode == 1)
        LabelBrightPixels(image, labels, t, X1, Y1, X2, Y2);
    else if (mode == 0)
        LabelDarkPixels(image, labels, t, X1, Y1, X2, Y2);
    return SelectAndDraw(image, objects, X1, Y1, X2, Y2, width, height);
}

int DetectBandObjects(GrayImage& image, IntImage& labels, ObjectTable& objects, int lower,
                      int upper, int X1, int Y1, int X2, int Y2, int width, int height)
{
    ClearLabels(labels, width, height);
    LabelBandPixels(image, labels, lower, upper, X1, Y1, X2, Y2);
    return SelectAndDraw(image, objects, X1, Y1, X2, Y2, width, height);
}

void ClearLabels(IntImage& labels, int width, int height)
{
    labelTable.clear();
    if (width <= 0 || height <= 0)
        return;
    // Every byte 0xFF is kUnlabelled (-1) in each element.
    const std::size_t column = static_cast<std::size_t>(height);
    const std::size_t span = column * static_cast<std::size_t>(width - 1);
    if (labels[width - 1] == labels[0] + span) {  // columns back to back: one block
        std::memset(labels[0], 0xFF, (span + column) * sizeof(std::int32_t));
        return;
    }
    for (int x = 0; x < width; ++x)
        std::memset(labels[x], 0xFF, column * sizeof(std::int32_t));
}

void LabelDarkPixels(const GrayImage& image, IntImage& labels, int t, int X1, int Y1, int X2,
                     int Y2)
{
    LabelPixels(image, labels, DarkTest(t), X1, Y1, X2, Y2);
}

void LabelBrightPixels(const GrayImage& image, IntImage& labels, int t, int X1, int Y1, int X2,
                       int Y2)
{
    LabelPixels(image, labels, BrightTest(t), X1, Y1, X2, Y2);
}

void LabelBandPixels(const GrayImage& image, IntImage& labels, int lower, int upper, int X1,
                     int Y1, int X2, int Y2)
{
    LabelPixels(image, labels, BandTest(lower, upper), X1, Y1, X2, Y2);
}

void LabelEdgePixel(IntImage& labels, int x, int y, int X1, int Y1)
{
    if (x == X1 && y == Y1) {
        NewLabel(labels, x, y);
        return;
    }
    // In the first column only the upper neighbour is inside the region, in the
    // first row only the left one.
    const std::int32_t neighbour = x == X1 ? labels[x][y - 1] : labels[x - 1][y];
    if (neighbour == kUnlabelled) {
        NewLabel(labels, x, y);
    } else {
        labels[x][y] = neighbour;
        GrowLabel(neighbour, x, y);
    }
}

void LabelInnerPixel(IntImage& labels, int x, int y)
{
    const std::int32_t L = labels[x - 1][y], U = labels[x][y - 1];
    if (L == kUnlabelled && U == kUnlabelled) {
        NewLabel(labels, x, y);
        return;
    }
    std::int32_t label;
    if (L == kUnlabelled)
        label = U;
    else if (U == kUnlabelled || U == L)
        label = L;
    else
        label = std::min(L, U);
    labels[x][y] = label;
    GrowLabel(label, x, y);
    if (L != kUnlabelled && U != kUnlabelled && L != U)
        JoinLabels(L, U);
}

std::int32_t NewLabel(IntImage& labels, int x, int y)
{
    const auto n = static_cast<std::int32_t>(labelTable.size());
    labelTable.push_back({n, 1, x, y, x, y, n});
    labels[x][y] = n;
    return n;
}

void GrowLabel(std::int32_t label, int x, int y)
{
    // The pixel that opened a label is its leftmost and topmost in scan order:
    // only the maxima can move.
    LabelRecord& r = Record(label);
    ++r.area;
    r.maxX = std::max(r.maxX, x);
    r.maxY = std::max(r.maxY, y);
}

void JoinLabels(std::int32_t a, std::int32_t b)
{
    const std::int32_t ra = FindRoot(a, a), rb = FindRoot(b, b);
    if (ra == rb)
        return;
    // The smaller root stays root: a root is always the first label of its set.
    const std::int32_t low = std::min(ra, rb), high = std::max(ra, rb);
    Record(high).parent = low;
    Record(high).root = low;
}

std::int32_t FindRoot(std::int32_t a, std::int32_t s)
{
    // Path halving: each label on the way is hung under its grandparent, which
    // is smaller still. Without it, noise builds chains thousands of links long.
    std::int32_t p = a;
    while (Record(p).parent != p) {
        LabelRecord& r = Record(p);
        r.parent = Record(r.parent).parent;
        p = r.parent;
    }
    Record(s).root = p;
    return p;
}

void ResolveLabels()
{
    const int count = LabelCount();
    for (std::int32_t i = 0; i < count; ++i) {
        LabelRecord& r = Record(i);
        // Ascending order: the parent is smaller and already knows its root.
        const std::int32_t root = r.parent == i ? i : Record(r.parent).root;
        r.parent = root;
        r.root = root;
        if (root == i)
            continue;
        LabelRecord& into = Record(root);
        into.area += r.area;
        into.minX = std::min(into.minX, r.minX);
        into.minY = std::min(into.minY, r.minY);
        into.maxX = std::max(into.maxX, r.maxX);
        into.maxY = std::max(into.maxY, r.maxY);
    }
}

int LabelCount() { return static_cast<int>(labelTable.size()); }

std::span<const LabelRecord> LabelTable() { return labelTable; }
