// tools/Morphology.cpp
//
// One pass (a dilation or an erosion) is computed without looking at a pixel's
// neighbours one by one. Outside the source the image is padded with the value
// that never wins (0 for a maximum, 255 for a minimum): that gives exactly the
// cut element, and a pixel with no element cell inside gets the pad value.
// Each row of the element is a few horizontal runs of cells. A run of length L
// starting at column offset dx contributes H_L[x + dx][y + dy], where H_L[c] is
// the maximum of the columns c .. c + L - 1: a maximum of whole columns, so
// every step is a maximum of contiguous bytes that the compiler vectorises.
// H_L is built by doubling (H_7 = max(H_4[c], H_3[c + 4]), ...) in a ring of
// eight columns per length, strip by strip of rows so that the ring stays in
// the first-level cache.
#include "Morphology.h"

#include "Parallel.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

enum class Extreme { Max, Min };  // dilation, erosion

constexpr int kStripRows = 256;     // output rows of one tile
constexpr int kTileColumns = 512;   // output columns of one tile
constexpr int kSlots = 8;           // ring of columns; a window spans at most 7
constexpr int kMaxRuns = 7 * 4;     // a row of 7 cells holds at most 4 runs

// Run L is built from run kFirstPart[L] followed by run L - kFirstPart[L].
constexpr std::array<int, 8> kFirstPart = {0, 0, 1, 2, 2, 4, 4, 4};

struct Run {
    int dx, dy, length;  // columns dx .. dx + length - 1 of row dy
};

// The element, cut to its window, as horizontal runs.
struct Plan {
    int s = 0;
    int count = 0;
    std::array<Run, kMaxRuns> runs{};
    std::array<bool, 8> used{};  // run lengths to build, with the ones they are built from
};

void MarkLength(Plan& plan, int length)
{
    if (plan.used[static_cast<std::size_t>(length)])
        return;
    plan.used[static_cast<std::size_t>(length)] = true;
    if (length > 1) {
        const int first = kFirstPart[static_cast<std::size_t>(length)];
        MarkLength(plan, first);
        MarkLength(plan, length - first);
    }
}

Plan MakePlan(const StructuringElement& element, int a)
{
    Plan plan;
    plan.s = std::clamp((a - 1) / 2, 0, 3);
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
            MarkLength(plan, length);
        }
    return plan;
}

// One pass over the rectangle, the source padded beyond width x height.
struct Pass {
    const GrayImage* src;
    GrayImage* dst;
    int x0, y0, x1, y1, width, height;
    Plan plan;
};

template <Extreme E>
inline std::uint8_t Pick(std::uint8_t a, std::uint8_t b)
{
    return E == Extreme::Max ? std::max(a, b) : std::min(a, b);
}

template <Extreme E>
constexpr std::uint8_t kPad = E == Extreme::Max ? 0 : 255;

template <Extreme E>
inline void Pick2(std::uint8_t* __restrict out, const std::uint8_t* __restrict a,
                  const std::uint8_t* __restrict b, int n)
{
    for (int i = 0; i < n; ++i)
        out[i] = Pick<E>(a[i], b[i]);
}

// out = extreme of four columns; with accumulate, of out as well.
template <Extreme E>
inline void Pick4(std::uint8_t* __restrict out, const std::uint8_t* __restrict p0,
                  const std::uint8_t* __restrict p1, const std::uint8_t* __restrict p2,
                  const std::uint8_t* __restrict p3, int n, bool accumulate)
{
    if (accumulate)
        for (int i = 0; i < n; ++i)
            out[i] = Pick<E>(out[i], Pick<E>(Pick<E>(p0[i], p1[i]), Pick<E>(p2[i], p3[i])));
    else
        for (int i = 0; i < n; ++i)
            out[i] = Pick<E>(Pick<E>(p0[i], p1[i]), Pick<E>(p2[i], p3[i]));
}

// Tiles first .. last - 1 of the pass, numbered strip after strip.
template <Extreme E>
[[gnu::always_inline]] inline void RunTiles(const Pass& pass, int first, int last)
{
    const Plan& plan = pass.plan;
    const int s = plan.s;
    const int columnTiles = (pass.x1 - pass.x0 + kTileColumns - 1) / kTileColumns;
    const int stride = (kStripRows + 2 * s + 63) / 64 * 64;
    // ring[L] holds columns c of H_L in slot c % kSlots; H_1 may point into the source.
    std::vector<std::uint8_t> ring(static_cast<std::size_t>(8 * kSlots * stride));
    std::vector<std::uint8_t> padColumn(static_cast<std::size_t>(stride), kPad<E>);
    std::array<std::array<const std::uint8_t*, kSlots>, 8> column{};
    auto slotOf = [&](int length, int c) {
        return ring.data() + static_cast<std::ptrdiff_t>((length * kSlots + (c & (kSlots - 1))) * stride);
    };
    const GrayImage& src = *pass.src;

    for (int tile = first; tile < last; ++tile) {
        const int ys = pass.y0 + tile / columnTiles * kStripRows;
        const int ye = std::min(ys + kStripRows, pass.y1);
        const int xs = pass.x0 + tile % columnTiles * kTileColumns;
        const int xe = std::min(xs + kTileColumns, pass.x1);
        const int rows = ye - ys, span = rows + 2 * s;  // span: rows ys - s .. ye + s - 1
        const bool rowsInside = ys - s >= 0 && ye + s <= pass.height;
        const int top = std::min(std::max(0, s - ys), span);              // pad rows above
        const int bottom = std::min(std::max(0, ye + s - pass.height), span - top);

        // Step x makes the newest column each run length needs for output x.
        for (int x = xs - 2 * s; x < xe; ++x) {
            const int c = x + s;
            if (c < 0 || c >= pass.width) {
                column[1][static_cast<std::size_t>(c & (kSlots - 1))] = padColumn.data();
            } else if (rowsInside) {
                column[1][static_cast<std::size_t>(c & (kSlots - 1))] = src[c] + (ys - s);
            } else {
                std::uint8_t* out = slotOf(1, c);
                std::fill_n(out, top, kPad<E>);
                std::memcpy(out + top, src[c] + (ys - s + top),
                            static_cast<std::size_t>(span - top - bottom));
                std::fill_n(out + span - bottom, bottom, kPad<E>);
                column[1][static_cast<std::size_t>(c & (kSlots - 1))] = out;
            }
            for (int length = 2; length <= 2 * s + 1; ++length) {
                const int cl = x + s + 1 - length;
                if (!plan.used[static_cast<std::size_t>(length)] || cl < xs - s)
                    continue;
                const int a = kFirstPart[static_cast<std::size_t>(length)];
                std::uint8_t* out = slotOf(length, cl);
                Pick2<E>(out, column[static_cast<std::size_t>(a)][static_cast<std::size_t>(cl & (kSlots - 1))],
                         column[static_cast<std::size_t>(length - a)]
                               [static_cast<std::size_t>((cl + a) & (kSlots - 1))],
                         span);
                column[static_cast<std::size_t>(length)][static_cast<std::size_t>(cl & (kSlots - 1))] = out;
            }
            if (x < xs)
                continue;

            std::uint8_t* out = (*pass.dst)[x - pass.x0] + (ys - pass.y0);
            if (plan.count == 0) {
                std::fill_n(out, rows, kPad<E>);
                continue;
            }
            std::array<const std::uint8_t*, kMaxRuns + 3> p{};
            for (int k = 0; k < plan.count; ++k) {
                const Run& run = plan.runs[static_cast<std::size_t>(k)];
                p[static_cast<std::size_t>(k)] =
                    column[static_cast<std::size_t>(run.length)]
                          [static_cast<std::size_t>((x + run.dx) & (kSlots - 1))] +
                    (run.dy + s);
            }
            for (int k = plan.count; k % 4 != 0; ++k)  // a repeated column changes no extreme
                p[static_cast<std::size_t>(k)] = p[0];
            for (int k = 0; k < plan.count; k += 4)
                Pick4<E>(out, p[static_cast<std::size_t>(k)], p[static_cast<std::size_t>(k + 1)],
                         p[static_cast<std::size_t>(k + 2)], p[static_cast<std::size_t>(k + 3)],
                         rows, k > 0);
        }
    }
}

// Wider vectors where the processor has them, chosen when the program starts.
[[gnu::target_clones("avx2", "default")]] void DilateTiles(const Pass& pass, int first, int last)
{
    RunTiles<Extreme::Max>(pass, first, last);
}

[[gnu::target_clones("avx2", "default")]] void ErodeTiles(const Pass& pass, int first, int last)
{
    RunTiles<Extreme::Min>(pass, first, last);
}

// Tiles are independent: each output pixel depends on the source alone, so the
// result does not depend on how the tiles are shared among threads.
void RunPass(Extreme extreme, const GrayImage& src, GrayImage& dst,
             const StructuringElement& element, int a, int x0, int y0, int x1, int y1, int width,
             int height)
{
    if (x1 <= x0 || y1 <= y0)
        return;
    const Pass pass{&src, &dst, x0, y0, x1, y1, width, height, MakePlan(element, a)};
    const int strips = (y1 - y0 + kStripRows - 1) / kStripRows;
    const int columnTiles = (x1 - x0 + kTileColumns - 1) / kTileColumns;
    ParallelFor(0, strips * columnTiles, 1, [&](int lo, int hi) {
        if (extreme == Extreme::Max)
            DilateTiles(pass, lo, hi);
        else
            ErodeTiles(pass, lo, hi);
    });
}

Extreme Opposite(Extreme e) { return e == Extreme::Max ? Extreme::Min : Extreme::Max; }

// Two work images of the rectangle's size, for the compound operators.
struct WorkPair {
    WorkPair(int w, int h) : T(NewGrayImage(w, h)), A(NewGrayImage(w, h)) {}
    explicit operator bool() const { return T && A; }
    GrayImage T, A;
};

// The chain of ProperOpen (first = Max: Close, Open, Close) or ProperClose
// (first = Min: Open, Close, Open), leaving its result in work.A. The first
// pass reads the rectangle of src; the others work on images of its size.
void ProperChain(Extreme first, const GrayImage& src, const StructuringElement& element, int a,
                 int x0, int y0, int x1, int y1, int width, int height, WorkPair& work)
{
    const int w = x1 - x0, h = y1 - y0;
    const Extreme second = Opposite(first);
    RunPass(first, src, work.T, element, a, x0, y0, x1, y1, width, height);
    RunPass(second, work.T, work.A, element, a, 0, 0, w, h, w, h);
    RunPass(second, work.A, work.T, element, a, 0, 0, w, h, w, h);
    RunPass(first, work.T, work.A, element, a, 0, 0, w, h, w, h);
    RunPass(first, work.A, work.T, element, a, 0, 0, w, h, w, h);
    RunPass(second, work.T, work.A, element, a, 0, 0, w, h, w, h);
}

// dst[x][y] = extreme of src[x0 + x][y0 + y] and chain[x][y]; dst may be chain.
void Combine(Extreme extreme, const GrayImage& src, int x0, int y0, const GrayImage& chain,
             GrayImage& dst, int w, int h)
{
    for (int x = 0; x < w; ++x) {
        const std::uint8_t* in = src[x0 + x] + y0;
        const std::uint8_t* c = chain[x];
        std::uint8_t* out = dst[x];
        if (extreme == Extreme::Max)
            for (int y = 0; y < h; ++y)
                out[y] = std::max(in[y], c[y]);
        else
            for (int y = 0; y < h; ++y)
                out[y] = std::min(in[y], c[y]);
    }
}

void ProperOperator(Extreme first, const GrayImage& src, GrayImage& dst,
                    const StructuringElement& element, int a, int x0, int y0, int x1, int y1,
                    int width, int height)
{
    if (x1 <= x0 || y1 <= y0)
        return;
    WorkPair work(x1 - x0, y1 - y0);
    if (!work)
        return;
    ProperChain(first, src, element, a, x0, y0, x1, y1, width, height, work);
    // ProperOpen keeps the darker of source and chain, ProperClose the brighter.
    Combine(Opposite(first), src, x0, y0, work.A, dst, x1 - x0, y1 - y0);
}

void TwoPasses(Extreme first, const GrayImage& src, GrayImage& dst,
               const StructuringElement& element, int a, int x0, int y0, int x1, int y1,
               int width, int height)
{
    if (x1 <= x0 || y1 <= y0)
        return;
    const int w = x1 - x0, h = y1 - y0;
    GrayImage work = NewGrayImage(w, h);
    if (!work)
        return;
    RunPass(first, src, work, element, a, x0, y0, x1, y1, width, height);
    RunPass(Opposite(first), work, dst, element, a, 0, 0, w, h, w, h);
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
    if (rounds == 1) {
        RunPass(extreme, src, dst, element, a, 0, 0, width, height, width, height);
        return;
    }
    GrayImage current = NewGrayImage(width, height), previous = NewGrayImage(width, height);
    GrayImage kept = NewGrayImage(width, height);
    if (!current || !previous || !kept)
        return;
    auto round = [&] {
        std::swap(current, previous);
        RunPass(extreme, previous, current, element, a, 0, 0, width, height, width, height);
    };
    RunPass(extreme, src, current, element, a, 0, 0, width, height, width, height);
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
        if (done == 2 * keptAt) {
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
    RunPass(Extreme::Max, src, dst, element, a, x0, y0, x1, y1, width, height);
}

void Erode(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
           int x0, int y0, int x1, int y1, int width, int height)
{
    RunPass(Extreme::Min, src, dst, element, a, x0, y0, x1, y1, width, height);
}

void Open(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
          int x0, int y0, int x1, int y1, int width, int height)
{
    TwoPasses(Extreme::Min, src, dst, element, a, x0, y0, x1, y1, width, height);
}

void Close(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
           int x0, int y0, int x1, int y1, int width, int height)
{
    TwoPasses(Extreme::Max, src, dst, element, a, x0, y0, x1, y1, width, height);
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

void AutoMedian(const GrayImage& src, GrayImage& dst, const StructuringElement& element, int a,
                int x0, int y0, int x1, int y1, int width, int height)
{
    if (x1 <= x0 || y1 <= y0)
        return;
    const int w = x1 - x0, h = y1 - y0;
    WorkPair work(w, h);
    if (!work)
        return;
    // The ProperOpen result goes straight into dst, which then serves as the
    // source of ProperClose: its last step reads dst and chain pixel by pixel.
    ProperChain(Extreme::Max, src, element, a, x0, y0, x1, y1, width, height, work);
    Combine(Extreme::Min, src, x0, y0, work.A, dst, w, h);
    ProperChain(Extreme::Min, dst, element, a, 0, 0, w, h, w, h, work);
    Combine(Extreme::Max, dst, 0, 0, work.A, dst, w, h);
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
