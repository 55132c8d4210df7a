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

template <int M>
[[gnu::always_inline]] inline void GaussianColumnsOf(const FilterArea& a, int x0, int x1)
{
    constexpr int h = (M - 1) / 2;
    constexpr auto& G = GaussTable<M>::G;  // G[h + i][h + j]: x offset i, y offset j
    const int n = a.Y2 - a.Y1, rows = PaddedRows(n), count = rows + 2 * h;
    std::vector<std::uint8_t> ring(static_cast<std::size_t>(M * count));
    std::vector<std::uint16_t> sums(static_cast<std::size_t>((h + 1) * count));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(rows));
    std::uint8_t* T = out.data();
    auto slot = [&](int x) { return ring.data() + ((x % M + M) % M) * count; };
    for (int x = x0 - h; x < x0 + h; ++x)
        CopyColumn(a, x, h, count, slot(x), 0);
    const FullRows full = FullWindowRows(a, h);
    for (int x = x0; x < x1; ++x) {
        CopyColumn(a, x + h, h, count, slot(x + h), 0);
        const std::uint8_t* column[M];  // column[h + i] is source column x + i
        for (int i = -h; i <= h; ++i)
            column[h + i] = slot(x + i);
        std::uint16_t* Q[h + 1];
        for (int j = 0; j <= h; ++j)
            Q[j] = sums.data() + j * count;
        // Across x: at most 44 · 255 per sum, well inside 16 bits.
        for (int k = 0; k < count; ++k) {
            std::uint16_t P[h + 1];
            P[0] = column[h][k];
            for (int i = 1; i <= h; ++i)
                P[i] = static_cast<std::uint16_t>(column[h - i][k] + column[h + i][k]);
            for (int j = 0; j <= h; ++j) {
                std::uint16_t q = 0;
                for (int i = 0; i <= h; ++i)
                    q = static_cast<std::uint16_t>(q + G[h + i][h + j] * P[i]);
                Q[j][k] = q;
            }
        }
        // Weights of the columns that exist, per row offset: R[h + j].
        int R[M] = {};
        for (int i = -h; i <= h; ++i)
            if (0 <= x + i && x + i < a.width)
                for (int j = -h; j <= h; ++j)
                    R[h + j] += G[h + i][h + j];
        int whole = 0;
        for (int j = 0; j < M; ++j)
            whole += R[j];
        // Down y: at most 140 · 255.
        const DivisionMagic magic = MagicFor(whole, 255 * whole);
        const std::uint32_t multiplier = magic.multiplier;
        const int shift = magic.shift;
        for (int k = 0; k < rows; ++k) {
            std::uint16_t s = Q[0][k + h];
            for (int j = 1; j <= h; ++j)
                s = static_cast<std::uint16_t>(s + Q[j][k + h - j] + Q[j][k + h + j]);
            T[k] = static_cast<std::uint8_t>((s * multiplier) >> 16 >> shift);
        }
        for (int k = 0; k < n; ++k) {
            if (magic.valid && k >= full.first && k <= full.last)
                continue;
            const int y = a.Y1 + k;
            int s = Q[0][k + h], w = 0;
            for (int j = 1; j <= h; ++j)
                s += Q[j][k + h - j] + Q[j][k + h + j];
            for (int j = -h; j <= h; ++j)
                if (0 <= y + j && y + j < a.height)
                    w += R[h + j];
            T[k] = static_cast<std::uint8_t>(s / w);
        }
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
