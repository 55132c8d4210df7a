// tools/FilterGaussian.cpp: the Gaussian filter in two passes over each column.
//
// The tables are symmetric, so for an output column x the columns x − i and
// x + i carry the same weights: P_i = src[x − i] + src[x + i]. The first pass
// weighs them across x into one sum per row offset j, Q_j = Σ_i G[i][j] · P_i;
// the second adds Q_|j| over the rows y − h .. y + h. The 7 x 7 table is not
// separable (rank 4), which this form does not need; the smaller two are, and
// take a shorter path. Rows and columns outside the image are zero, so the sum is
// exact at the border; only the divisor, the sum of the weights that remain,
// changes there.
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
    static constexpr int G[7][7] = {{1, 1, 2, 2, 2, 1, 1},
                                    {1, 2, 2, 4, 2, 2, 1},
                                    {2, 2, 4, 8, 4, 2, 2},
                                    {2, 4, 8, 16, 8, 4, 2},
                                    {2, 2, 4, 8, 4, 2, 2},
                                    {1, 2, 2, 4, 2, 2, 1},
                                    {1, 1, 2, 2, 2, 1, 1}};
};

// The 3 x 3 and 5 x 5 tables are the outer product of their first row with
// itself: then the weights across x and down y are that row, and one sum per row
// (Q_0 = Σ_i G[0][i] · src[x + i]) carries all the work across x.
template <int M>
constexpr bool Separable()
{
    constexpr auto& G = GaussTable<M>::G;
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < M; ++j)
            if (G[i][j] != G[0][i] * G[0][j])
                return false;
    return true;
}
static_assert(Separable<3>() && Separable<5>() && !Separable<7>());

// Sums across x kept per row offset: one when the table is separable, else h + 1.
template <int M>
constexpr int kAcrossSums = Separable<M>() ? 1 : (M + 1) / 2;

// Across x: Q_j = Σ_i G[i][j] · P_i for j = 0 .. h, at most 44 · 255 each, or the
// single separable sum. The loops take restrict pointers: a store may alias
// anything, and without them the compiler reloads every pointer per row.
template <int M>
[[gnu::always_inline]] inline void AcrossColumns(std::uint8_t* const* column,
                                                 std::uint16_t* __restrict sums,
                                                 std::ptrdiff_t count)
{
    constexpr int h = (M - 1) / 2;
    constexpr auto& G = GaussTable<M>::G;
    const std::uint8_t* __restrict c[M];
    for (int i = 0; i < M; ++i)
        c[i] = column[i];
    for (std::ptrdiff_t k = 0; k < count; ++k) {
        std::uint16_t P[h + 1];
        P[0] = c[h][k];
        for (int i = 1; i <= h; ++i)
            P[i] = static_cast<std::uint16_t>(c[h - i][k] + c[h + i][k]);
        if constexpr (Separable<M>()) {
            std::uint16_t q = 0;
            for (int i = 0; i <= h; ++i)
                q = static_cast<std::uint16_t>(q + G[0][h + i] * P[i]);
            sums[k] = q;
        } else {
            for (int j = 0; j <= h; ++j) {
                std::uint16_t q = 0;
                for (int i = 0; i <= h; ++i)
                    q = static_cast<std::uint16_t>(q + G[h + i][h + j] * P[i]);
                sums[j * count + k] = q;
            }
        }
    }
}

// The weighted sum down y at index k (output row Y1 + k), at most 140 · 255.
template <int M>
[[gnu::always_inline]] inline std::uint16_t Down(const std::uint16_t* __restrict sums,
                                                 std::ptrdiff_t k, std::ptrdiff_t count)
{
    constexpr int h = (M - 1) / 2;
    constexpr auto& G = GaussTable<M>::G;
    if constexpr (Separable<M>()) {
        std::uint16_t s = 0;
        for (int j = 0; j < M; ++j)
            s = static_cast<std::uint16_t>(s + G[0][j] * sums[k + j]);
        return s;
    } else {
        std::uint16_t s = sums[k + h];
        for (int j = 1; j <= h; ++j)
            s = static_cast<std::uint16_t>(s + sums[j * count + k + h - j] +
                                           sums[j * count + k + h + j]);
        return s;
    }
}

// Down y, divided: rows whose window is whole in y (and the padding rows).
template <int M>
[[gnu::always_inline]] inline void DownRows(const std::uint16_t* __restrict sums,
                                            std::uint8_t* __restrict T, int rows,
                                            std::ptrdiff_t count, std::uint16_t multiplier,
                                            int shift)
{
    shift &= 15;  // it always is below 16; saying so lets the loop shift 16-bit lanes
    for (int k = 0; k < rows; ++k) {
        const std::uint16_t s = Down<M>(sums, k, count);
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
    std::vector<std::uint8_t> copies(M * static_cast<std::size_t>(count));
    std::vector<std::uint16_t> sumBuffer(kAcrossSums<M> * static_cast<std::size_t>(count));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(rows));
    std::uint16_t* const Q = sumBuffer.data();  // Q_j from Q[j · count]
    std::uint8_t* const T = out.data();
    std::uint8_t* window[M];  // window[i]: column x − h + i
    for (int i = 0; i < M; ++i) {
        window[i] = copies.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(count);
        CopyColumn(a, x0 - h + i, h, count, window[i]);
    }
    const FullRows full = FullWindowRows(a, h);
    for (int x = x0; x < x1; ++x) {
        if (x > x0) {  // column x + h takes the place of x − h − 1
            std::uint8_t* const fresh = window[0];
            CopyColumn(a, x + h, h, count, fresh);
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
            const int s = Down<M>(Q, k, count);
            int w = 0;
            for (int j = -h; j <= h; ++j)
                if (0 <= y + j && y + j < a.height)
                    w += R[h + j];
            T[k] = static_cast<std::uint8_t>(s / w);
        });
        std::memcpy(a.dst[x] + a.Y1, T, static_cast<std::size_t>(n));
    }
}

[[gnu::always_inline]] inline void GaussianColumnsOfAny(const FilterArea& a, int mask, int x0,
                                                        int x1)
{
    if (mask == 3)
        GaussianColumnsOf<3>(a, x0, x1);
    else if (mask == 5)
        GaussianColumnsOf<5>(a, x0, x1);
    else
        GaussianColumnsOf<7>(a, x0, x1);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void GaussianColumnsAvx2(const FilterArea& a, int mask, int x0,
                                                         int x1)
{
    GaussianColumnsOfAny(a, mask, x0, x1);
}
#endif

void GaussianColumnsPortable(const FilterArea& a, int mask, int x0, int x1)
{
    GaussianColumnsOfAny(a, mask, x0, x1);
}

}  // namespace

void GaussianColumns(const FilterArea& a, int mask, int x0, int x1)
{
#if defined(__x86_64__)
    if (a.level >= VectorLevel::Avx2)
        return GaussianColumnsAvx2(a, mask, x0, x1);
#endif
    GaussianColumnsPortable(a, mask, x0, x1);
}
