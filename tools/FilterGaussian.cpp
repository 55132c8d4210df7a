// tools/FilterGaussian.cpp: the Gaussian filter in two passes over each column.
//
// The tables are symmetric, so for an output column x the columns x − i and
// x + i carry the same weights: P_i = src[x − i] + src[x + i]. The first pass
// weighs them across x into one sum per row offset j, Q_j = Σ_i G[i][j] · P_i;
// the second adds Q_|j| over the rows y − h .. y + h. The 7 x 7 table is not
// separable (rank 4), which this form does not need. Rows and columns outside the
// image are zero, so the sum is exact at the border; only the divisor, the sum of
// the weights that remain, changes there.
#include "FilterKernels.h"

#include <vector>

namespace {

template <int M>
struct GaussTable;
template <>
struct GaussTable<3> {
    static constexpr int G[3][3] = {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}};
};
template <>
struct GaussTable<5> {
    static constexpr int G[5][5] = {{1, 2, 4, 2, 1},
                                    {2, 4, 8, 4, 2},
                                    {4, 8, 16, 8, 4},
                                    {2, 4, 8, 4, 2},
                                    {1, 2, 4, 2, 1}};
};
template <>
struct GaussTable<7> {
    static constexpr int G[7][7] = {{1, 1, 2, 2, 2, 1, 1},   {1, 2, 2, 4, 2, 2, 1},
                                    {2, 2, 4, 8, 4, 2, 2},   {2, 4, 8, 16, 8, 4, 2},
                                    {2, 2, 4, 8, 4, 2, 2},   {1, 2, 2, 4, 2, 2, 1},
                                    {1, 1, 2, 2, 2, 1, 1}};
};

// Across x: Q_j = Σ_i G[i][j] · P_i for j = 0 .. h, at most 44 · 255 each. The
// loops take restrict pointers: a byte store may alias anything, and without
// them the compiler reloads every pointer per row.
template <int M>
[[gnu::always_inline]] inline void AcrossColumns(const std::uint8_t* const* column,
                                                 std::uint16_t* __restrict sums, int count)
{
    constexpr int h = (M - 1) / 2;
    constexpr auto& G = GaussTable<M>::G;
    const std::uint8_t* __restrict c[M];
    for (int i = 0; i < M; ++i)
        c[i] = column[i];
    for (int k = 0; k < count; ++k) {
        std::uint16_t P[h + 1];
        P[0] = c[h][k];
        for (int i = 1; i <= h; ++i)
            P[i] = static_cast<std::uint16_t>(c[h - i][k] + c[h + i][k]);
        for (int j = 0; j <= h; ++j) {
            std::uint16_t q = 0;
            for (int i = 0; i <= h; ++i)
                q = static_cast<std::uint16_t>(q + G[h + i][h + j] * P[i]);
            sums[j * count + k] = q;
        }
    }
}

// Down y, divided: rows whose window is whole in y (and the padding rows).
template <int M>
[[gnu::always_inline]] inline void DownRows(const std::uint16_t* __restrict sums,
                                            std::uint8_t* __restrict T, int rows, int count,
                                            std::uint16_t multiplier, int shift)
{
    shift &= 15;  // it always is below 16; saying so lets the loop shift 16-bit lanes
    constexpr int h = (M - 1) / 2;
    for (int k = 0; k < rows; ++k) {
        std::uint16_t s = sums[k + h];  // at most 140 · 255
        for (int j = 1; j <= h; ++j)
            s = static_cast<std::uint16_t>(s + sums[j * count + k + h - j] +
                                           sums[j * count + k + h + j]);
        const auto q = static_cast<std::uint16_t>((std::uint32_t{s} * multiplier) >> 16);
        T[k] = static_cast<std::uint8_t>(q >> shift);
    }
}

template <int M>
[[gnu::always_inline]] inline void GaussianColumnsOf(const FilterArea& a, int x0, int x1)
{
    constexpr int h = (M - 1) / 2;
    constexpr auto& G = GaussTable<M>::G;  // G[h + i][h + j]: x offset i, y offset j
    const int n = a.Y2 - a.Y1, rows = PaddedRows(n), count = rows + 2 * h;
    std::vector<std::uint8_t> copies(static_cast<std::size_t>(M * count));
    std::vector<std::uint16_t> sumBuffer(static_cast<std::size_t>((h + 1) * count));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(rows));
    std::uint16_t* const Q = sumBuffer.data();  // Q_j is Q[j · count ..]
    std::uint8_t* const T = out.data();
    const std::uint8_t* window[M];  // window[i]: column x − h + i
    for (int i = 0; i < M; ++i) {
        std::uint8_t* copy = copies.data() + i * count;
        CopyColumn(a, x0 - h + i, h, count, copy, 0);
        window[i] = copy;
    }
    const FullRows full = FullWindowRows(a, h);
    for (int x = x0; x < x1; ++x) {
        if (x > x0) {  // column x + h takes the place of x − h − 1
            std::uint8_t* const fresh = const_cast<std::uint8_t*>(window[0]);
            CopyColumn(a, x + h, h, count, fresh, 0);
            for (int i = 0; i < M - 1; ++i)
                window[i] = window[i + 1];
            window[M - 1] = fresh;
        }
        AcrossColumns<M>(window, Q, count);
        // Weights of the columns that exist, per row offset: R[h + j].
        int R[M] = {};
        for (int i = -h; i <= h; ++i)
            if (0 <= x + i && x + i < a.width)
                for (int j = -h; j <= h; ++j)
                    R[h + j] += G[h + i][h + j];
        int whole = 0;
        for (int j = 0; j < M; ++j)
            whole += R[j];
        const DivisionMagic magic = MagicFor(whole, 255 * whole);
        DownRows<M>(Q, T, rows, count, magic.multiplier, magic.shift);
        ForOtherRows(n, full, !magic.valid, [&](int k) {
            const int y = a.Y1 + k;
            int s = Q[k + h], w = 0;
            for (int j = 1; j <= h; ++j)
                s += Q[j * count + k + h - j] + Q[j * count + k + h + j];
            for (int j = -h; j <= h; ++j)
                if (0 <= y + j && y + j < a.height)
                    w += R[h + j];
            T[k] = static_cast<std::uint8_t>(s / w);
        });
        std::memcpy(a.dst[x] + a.Y1, T, static_cast<std::size_t>(n));
    }
}

[[gnu::always_inline]] inline void GaussianColumnsOfAny(const FilterArea& a, int mask, int x0, int x1)
{
    if (mask == 3)
        GaussianColumnsOf<3>(a, x0, x1);
    else if (mask == 5)
        GaussianColumnsOf<5>(a, x0, x1);
    else
        GaussianColumnsOf<7>(a, x0, x1);
}

__attribute__((target("avx2"))) void GaussianColumnsAvx2(const FilterArea& a, int mask, int x0, int x1)
{
    GaussianColumnsOfAny(a, mask, x0, x1);
}

void GaussianColumnsBaseline(const FilterArea& a, int mask, int x0, int x1) { GaussianColumnsOfAny(a, mask, x0, x1); }

}  // namespace

void GaussianColumns(const FilterArea& a, int mask, int x0, int x1)
{
    if (UseAvx2())
        GaussianColumnsAvx2(a, mask, x0, x1);
    else
        GaussianColumnsBaseline(a, mask, x0, x1);
}
