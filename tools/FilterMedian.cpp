// tools/FilterMedian.cpp: the median as a network of byte minimums and maximums,
// 32 rows at a time.
//
// Each source column is first sorted down y: plane r of column x holds, for every
// row, the r-th smallest of the m pixels y − h .. y + h. That work is shared by the
// m output columns whose window contains column x. An output then merges its m
// sorted columns (Batcher's odd-even merge, which works for any list lengths) and
// keeps the middle element; the compiler drops every comparison the middle
// element does not depend on.
//
// The border: a window that loses p of its m² pixels keeps index n / 2 of its
// n = m² − p values. Filling the missing places with a zeros and p − a values of
// 255, where a = (m² − 1) / 2 − n / 2, puts that value at the middle index of
// the full window, whatever the ties. Outside rows get 0 or 255 by a pattern that
// repeats every m columns, with z_d zeros per period in the d-th row out, so
// that any m neighbouring columns hold exactly the zeros the window needs; the
// columns outside the image get the same pattern down y. Only the corners, where
// both apply, and images narrower or lower than the window are done one pixel
// at a time.
#include "FilterKernels.h"

#include <vector>

// The vector helpers are always inlined, so no vector crosses a call boundary
// and the ABI note about 32-byte vectors without AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

using V = std::uint8_t __attribute__((vector_size(32)));
constexpr int kLanes = static_cast<int>(sizeof(V));
static_assert(kRowBlock % kLanes == 0);

template <int N>
struct Vs {
    V v[N > 0 ? N : 1];
};

[[gnu::always_inline]] inline V Lo(V a, V b)
{
    return a < b ? a : b;
}
[[gnu::always_inline]] inline V Hi(V a, V b)
{
    return a < b ? b : a;
}
[[gnu::always_inline]] inline V Med3(V a, V b, V c)
{
    return Hi(Lo(a, b), Lo(Hi(a, b), c));
}
[[gnu::always_inline]] inline V Load(const std::uint8_t* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
[[gnu::always_inline]] inline void Store(std::uint8_t* p, V v)
{
    std::memcpy(p, &v, sizeof v);
}

// Elements O, O + S, O + 2S, ... of a.
template <int S, int O, int N>
[[gnu::always_inline]] inline Vs<(N - O + S - 1) / S> Every(const Vs<N>& a)
{
    Vs<(N - O + S - 1) / S> r;
    for (int i = 0; O + i * S < N; ++i)
        r.v[i] = a.v[O + i * S];
    return r;
}

// Odd-even merge of two ascending lists: merge the even-indexed elements and the
// odd-indexed ones separately, then one row of comparisons between neighbours.
template <int A, int B>
[[gnu::always_inline]] inline Vs<A + B> Merge(const Vs<A>& a, const Vs<B>& b)
{
    Vs<A + B> out;
    if constexpr (A == 0 || B == 0) {
        for (int i = 0; i < A; ++i)
            out.v[i] = a.v[i];
        for (int i = 0; i < B; ++i)
            out.v[A + i] = b.v[i];
    } else if constexpr (A == 1 && B == 1) {
        out.v[0] = Lo(a.v[0], b.v[0]);
        out.v[1] = Hi(a.v[0], b.v[0]);
    } else {
        const auto even = Merge(Every<2, 0>(a), Every<2, 0>(b));
        const auto odd = Merge(Every<2, 1>(a), Every<2, 1>(b));
        constexpr int ne = (A + 1) / 2 + (B + 1) / 2, no = A / 2 + B / 2;
        out.v[0] = even.v[0];
        int k = 1, i = 0;
        for (; i < no && i + 1 < ne; ++i) {
            out.v[k++] = Lo(odd.v[i], even.v[i + 1]);
            out.v[k++] = Hi(odd.v[i], even.v[i + 1]);
        }
        for (int j = i; j < no; ++j)
            out.v[k++] = odd.v[j];
        for (int j = i + 1; j < ne; ++j)
            out.v[k++] = even.v[j];
    }
    return out;
}

template <int N>
[[gnu::always_inline]] inline Vs<N> Sort(const Vs<N>& a)
{
    if constexpr (N <= 1) {
        return a;
    } else {
        Vs<N / 2> first;
        Vs<N - N / 2> second;
        for (int i = 0; i < N / 2; ++i)
            first.v[i] = a.v[i];
        for (int i = N / 2; i < N; ++i)
            second.v[i - N / 2] = a.v[i];
        return Merge(Sort(first), Sort(second));
    }
}

// Value at index n / 2 of the window pixels that exist, for the pixels the
// network does not reach.
std::uint8_t WindowMedian(const FilterArea& a, int x, int y, int h)
{
    std::uint8_t values[49];
    int n = 0;
    for (int i = std::max(x - h, 0); i <= std::min(x + h, a.width - 1); ++i)
        for (int j = std::max(y - h, 0); j <= std::min(y + h, a.height - 1); ++j)
            values[n++] = a.src[i][j];
    std::nth_element(values, values + n / 2, values + n);
    return values[n / 2];
}

template <int M>
[[gnu::always_inline]] inline void MedianColumnsOf(const FilterArea& a, int x0, int x1)
{
    constexpr int h = (M - 1) / 2, middle = (M * M - 1) / 2;
    const int n = a.Y2 - a.Y1;
    if (a.width < M || a.height < M) {  // a window can lose places on both sides
        for (int x = x0; x < x1; ++x)
            for (int y = a.Y1; y < a.Y2; ++y)
                a.dst[x][y] = WindowMedian(a, x, y, h);
        return;
    }
    const int rows = PaddedRows(n), count = rows + 2 * h;
    // zeros[d]: zeros per M places in the d-th row (or column) outside the image.
    int zeros[h + 1] = {};
    for (int d = 1; d <= h; ++d)
        zeros[d] = M * (M - d + 1) / 2 - M * (M - d) / 2;
    std::vector<std::uint8_t> column(static_cast<std::size_t>(count));
    std::vector<std::uint8_t> planes(M * M * static_cast<std::size_t>(rows));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(rows));
    // Plane r of column x: planes of slot x mod M, rows [0, rows).
    auto plane = [&](int x, int r) {
        return planes.data() +
               static_cast<std::size_t>((x % M + M) % M * M + r) * static_cast<std::size_t>(rows);
    };
    auto prepare = [&](int x) {
        std::uint8_t* B = column.data();
        const int first = a.Y1 - h;  // row of B[0]
        if (0 <= x && x < a.width) {
            CopyColumn(a, x, h, count, B);
            for (int k = 0; k < std::min(-first, count); ++k)  // rows above the image
                B[k] = x % M < zeros[std::min(-(first + k), h)] ? 0 : 255;
            for (int k = std::max(a.height - first, 0); k < count; ++k)  // rows below it
                B[k] = x % M < zeros[std::min(first + k - a.height + 1, h)] ? 0 : 255;
        } else {
            const int d = x < 0 ? -x : x - a.width + 1;
            for (int k = 0; k < count; ++k) {
                const int y = first + k;
                B[k] = y < 0 || y >= a.height ? 0 : (y % M < zeros[d] ? 0 : 255);
            }
        }
        for (int k = 0; k < rows; k += kLanes) {
            Vs<M> window;
            for (int j = 0; j < M; ++j)
                window.v[j] = Load(B + k + j);
            const Vs<M> sorted = Sort(window);
            for (int r = 0; r < M; ++r)
                Store(plane(x, r) + k, sorted.v[r]);
        }
    };
    for (int x = x0 - h; x < x0 + h; ++x)
        prepare(x);
    std::uint8_t* T = out.data();
    for (int x = x0; x < x1; ++x) {
        prepare(x + h);
        const std::uint8_t* P[M][M];  // P[i][r]: plane r of column x − h + i
        for (int i = 0; i < M; ++i)
            for (int r = 0; r < M; ++r)
                P[i][r] = plane(x - h + i, r);
        for (int k = 0; k < rows; k += kLanes) {
            if constexpr (M == 3) {
                // Largest of the column minimums, median of the medians, smallest
                // of the maximums; their median is the median of the nine.
                const V low = Hi(Hi(Load(P[0][0] + k), Load(P[1][0] + k)), Load(P[2][0] + k));
                const V mid = Med3(Load(P[0][1] + k), Load(P[1][1] + k), Load(P[2][1] + k));
                const V high = Lo(Lo(Load(P[0][2] + k), Load(P[1][2] + k)), Load(P[2][2] + k));
                Store(T + k, Med3(low, mid, high));
            } else {
                Vs<M> c[M];
                for (int i = 0; i < M; ++i)
                    for (int r = 0; r < M; ++r)
                        c[i].v[r] = Load(P[i][r] + k);
                if constexpr (M == 5) {
                    const auto all = Merge(Merge(Merge(c[0], c[1]), Merge(c[2], c[3])), c[4]);
                    Store(T + k, all.v[middle]);
                } else {
                    const auto all = Merge(Merge(Merge(c[0], c[1]), Merge(c[2], c[3])),
                                           Merge(Merge(c[4], c[5]), c[6]));
                    Store(T + k, all.v[middle]);
                }
            }
        }
        if (x < h || x >= a.width - h)  // the corners
            for (int k = 0; k < n; ++k) {
                const int y = a.Y1 + k;
                if (y < h || y >= a.height - h)
                    T[k] = WindowMedian(a, x, y, h);
            }
        std::memcpy(a.dst[x] + a.Y1, T, static_cast<std::size_t>(n));
    }
}

[[gnu::always_inline]] inline void MedianColumnsOfAny(const FilterArea& a, int mask, int x0, int x1)
{
    if (mask == 3)
        MedianColumnsOf<3>(a, x0, x1);
    else if (mask == 5)
        MedianColumnsOf<5>(a, x0, x1);
    else
        MedianColumnsOf<7>(a, x0, x1);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void MedianColumnsAvx2(const FilterArea& a, int mask, int x0,
                                                       int x1)
{
    MedianColumnsOfAny(a, mask, x0, x1);
}
#endif

void MedianColumnsPortable(const FilterArea& a, int mask, int x0, int x1)
{
    MedianColumnsOfAny(a, mask, x0, x1);
}

}  // namespace

void MedianColumns(const FilterArea& a, int mask, int x0, int x1)
{
#if defined(__x86_64__)
    if (a.level >= VectorLevel::Avx2)
        return MedianColumnsAvx2(a, mask, x0, x1);
#endif
    MedianColumnsPortable(a, mask, x0, x1);
}
