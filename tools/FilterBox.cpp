// tools/FilterBox.cpp: Lowpass, Local Average and Laplacian from one running
// window sum.
//
// For an output column x, C[k] is the sum of the source columns x − h .. x + h
// on one row, with zero for rows and columns outside the image: zero adds
// nothing, so the window sum S = C[k] + .. + C[k + 2h] is exact at the border.
// Moving to column x + 1 adds one column and takes one away. Only the divisor
// (the number of pixels that exist) needs the border, and it is cx · cy: a
// constant per column on the rows where the window is whole in y, which the
// vector loop divides by a multiply-high; the few rows near the top and bottom
// are divided one by one.
#include "FilterKernels.h"

#include <vector>

namespace {

// C[k] += add[k] − remove[k]. The loops take restrict pointers: a byte store may
// alias anything, and without them the compiler reloads every pointer per row.
[[gnu::always_inline]] inline void Slide(std::uint16_t* __restrict C,
                                         const std::uint8_t* __restrict add,
                                         const std::uint8_t* __restrict remove, int count)
{
    for (int k = 0; k < count; ++k)
        C[k] = static_cast<std::uint16_t>(C[k] + add[k] - remove[k]);
}

// Rows whose window is whole in y (and the padding rows, thrown away later).
template <int M, BoxKind Kind>
[[gnu::always_inline]] inline void WholeRows(const std::uint16_t* __restrict C,
                                             const std::uint8_t* __restrict centre,
                                             std::uint8_t* __restrict T, int rows,
                                             std::uint16_t multiplier, int shift)
{
    shift &= 15;  // it always is below 16; saying so lets the loop shift 16-bit lanes
    for (int k = 0; k < rows; ++k) {
        std::uint16_t s = 0;  // at most 49 · 255
        for (int j = 0; j < M; ++j)
            s = static_cast<std::uint16_t>(s + C[k + j]);
        if constexpr (Kind == BoxKind::Laplacian) {
            // m² · centre − S is the centre weight m² − 1 minus every other pixel.
            const int v = M * M * centre[k] - s;  // −12495 .. 12495
            T[k] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        } else {
            if constexpr (Kind == BoxKind::LocalAverage)
                s = static_cast<std::uint16_t>(s - centre[k]);
            const auto q = static_cast<std::uint16_t>((std::uint32_t{s} * multiplier) >> 16);
            T[k] = static_cast<std::uint8_t>(q >> shift);
        }
    }
}

template <int M, BoxKind Kind>
[[gnu::always_inline]] inline void BoxColumnsOf(const FilterArea& a, int x0, int x1)
{
    constexpr int h = (M - 1) / 2;
    const int n = a.Y2 - a.Y1, rows = PaddedRows(n), count = rows + 2 * h;
    // M + 1 column copies: the window's M and the one coming in.
    std::vector<std::uint8_t> copies((M + 1) * static_cast<std::size_t>(count));
    std::vector<std::uint16_t> columnSum(static_cast<std::size_t>(count), 0);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(rows));
    std::uint16_t* const C = columnSum.data();
    std::uint8_t* const T = out.data();
    std::uint8_t* window[M + 1];  // window[i]: column x − h + i; window[M] is spare
    for (int i = 0; i <= M; ++i)
        window[i] = copies.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(count);
    for (int i = 0; i < M; ++i) {
        CopyColumn(a, x0 - h + i, h, count, window[i]);
        for (int k = 0; k < count; ++k)
            C[k] = static_cast<std::uint16_t>(C[k] + window[i][k]);
    }
    const FullRows full = FullWindowRows(a, h);
    for (int x = x0; x < x1; ++x) {
        if (x > x0) {
            std::uint8_t* const fresh = window[M];
            CopyColumn(a, x + h, h, count, fresh);
            Slide(C, fresh, window[0], count);
            std::uint8_t* const old = window[0];
            for (int i = 0; i < M; ++i)
                window[i] = window[i + 1];
            window[M - 1] = fresh;
            window[M] = old;
        }
        const std::uint8_t* const centre = window[h] + h;  // centre[k] is row Y1 + k
        const int cx = Span(x, h, a.width);
        // Whole rows divide by cx · M (Local Average: one less, the centre left out).
        const int d = Kind == BoxKind::Lowpass ? cx * M : cx * M - 1;
        const DivisionMagic magic =
            Kind == BoxKind::Laplacian ? DivisionMagic{} : MagicFor(d, 255 * d);
        WholeRows<M, Kind>(C, centre, T, rows, magic.multiplier, magic.shift);
        if constexpr (Kind != BoxKind::Laplacian)  // the Laplacian needs no divisor
            ForOtherRows(n, full, !magic.valid, [&](int k) {
                int s = 0;
                for (int j = 0; j < M; ++j)
                    s += C[k + j];
                const int c = Span(a.Y1 + k, h, a.height) * cx;
                if constexpr (Kind == BoxKind::Lowpass)
                    T[k] = static_cast<std::uint8_t>(s / c);
                else  // a one-pixel image has no neighbours: the pixel keeps its value
                    T[k] = c > 1 ? static_cast<std::uint8_t>((s - centre[k]) / (c - 1)) : centre[k];
            });
        std::memcpy(a.dst[x] + a.Y1, T, static_cast<std::size_t>(n));
    }
}

template <BoxKind Kind>
[[gnu::always_inline]] inline void BoxColumnsFor(const FilterArea& a, int mask, int x0, int x1)
{
    if (mask == 3)
        BoxColumnsOf<3, Kind>(a, x0, x1);
    else if (mask == 5)
        BoxColumnsOf<5, Kind>(a, x0, x1);
    else
        BoxColumnsOf<7, Kind>(a, x0, x1);
}

[[gnu::always_inline]] inline void BoxColumnsOfAny(const FilterArea& a, BoxKind kind, int mask,
                                                   int x0, int x1)
{
    if (kind == BoxKind::Lowpass)
        BoxColumnsFor<BoxKind::Lowpass>(a, mask, x0, x1);
    else if (kind == BoxKind::LocalAverage)
        BoxColumnsFor<BoxKind::LocalAverage>(a, mask, x0, x1);
    else
        BoxColumnsFor<BoxKind::Laplacian>(a, mask, x0, x1);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void BoxColumnsAvx2(const FilterArea& a, BoxKind kind, int mask,
                                                    int x0, int x1)
{
    BoxColumnsOfAny(a, kind, mask, x0, x1);
}
#endif

void BoxColumnsPortable(const FilterArea& a, BoxKind kind, int mask, int x0, int x1)
{
    BoxColumnsOfAny(a, kind, mask, x0, x1);
}

}  // namespace

void BoxColumns(const FilterArea& a, BoxKind kind, int mask, int x0, int x1)
{
#if defined(__x86_64__)
    if (a.level >= VectorLevel::Avx2)
        return BoxColumnsAvx2(a, kind, mask, x0, x1);
#endif
    BoxColumnsPortable(a, kind, mask, x0, x1);
}
