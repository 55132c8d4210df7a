// tools/FilterKernels.h: what the filter entry points share with the column
// kernels (FilterBox.cpp, FilterGaussian.cpp, FilterMedian.cpp, FilterGradient.cpp).
#pragma once
#include "Image.h"
#include "VectorLevel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

// The processed area, already cut to the image and never empty:
// 0 <= X1 < X2 <= width, 0 <= Y1 < Y2 <= height.
struct FilterArea {
    const GrayImage& src;
    GrayImage& dst;
    int width, height;
    int X1, Y1, X2, Y2;
    VectorLevel level;  // asked once per call, so every column runs the same path
};

enum class BoxKind { Lowpass, LocalAverage, Laplacian };
enum class GradientKind { Prewitt, Sobel, Roberts };

// Each kernel writes rows Y1 .. Y2 − 1 of the output columns x0 .. x1 − 1, with
// X1 <= x0 < x1 <= X2, reading any source pixel it needs. mask is 3, 5 or 7.
void BoxColumns(const FilterArea& area, BoxKind kind, int mask, int x0, int x1);
void GaussianColumns(const FilterArea& area, int mask, int x0, int x1);
void MedianColumns(const FilterArea& area, int mask, int x0, int x1);
void GradientColumns(const FilterArea& area, GradientKind kind, int x0, int x1);

// Each kernel is compiled twice: portable (SSE2 at most on x86-64, no intrinsics
// elsewhere) and, on x86-64, for AVX2; area.level picks one, so tests reach every
// path through a ScopedVectorLimit.

// Kernels work on copies of source columns: rows Y1 − pad .. Y1 + PaddedRows(n) + pad − 1,
// index k holding row Y1 − pad + k. Rounding the row count up to whole vectors
// lets the vector loops run without a tail; what lies past row Y2 − 1 is computed
// and thrown away.
constexpr int kRowBlock = 64;
inline int PaddedRows(int rows)
{
    return (rows + kRowBlock - 1) / kRowBlock * kRowBlock;
}

// Copies column x (any x, inside the image or not) into out[0 .. count): source
// rows inside the image, zero for rows and columns outside it.
inline void CopyColumn(const FilterArea& a, int x, int pad, int count, std::uint8_t* out)
{
    const int first = a.Y1 - pad;  // row of out[0]
    if (x < 0 || x >= a.width) {
        std::memset(out, 0, static_cast<std::size_t>(count));
        return;
    }
    const int lo = std::clamp(-first, 0, count);             // first index inside the image
    const int hi = std::clamp(a.height - first, lo, count);  // one past the last
    std::memset(out, 0, static_cast<std::size_t>(lo));
    std::memcpy(out + lo, a.src[x] + first + lo, static_cast<std::size_t>(hi - lo));
    std::memset(out + hi, 0, static_cast<std::size_t>(count - hi));
}

// Number of window positions d − h .. d + h that lie in 0 .. size − 1.
inline int Span(int d, int h, int size)
{
    return std::min(d + h, size - 1) - std::max(d - h, 0) + 1;
}

// Exact division of n by d for 0 <= n <= limit (< 2^16) as a high multiply and a
// shift: n / d == ((n · multiplier) >> 16) >> shift. valid is false when no pair
// fits 16 bits; every d from 2 to 140 with limit 255 · d has one.
struct DivisionMagic {
    std::uint16_t multiplier = 0;
    int shift = 0;
    bool valid = false;
};

inline DivisionMagic MagicFor(int d, int limit)
{
    for (int k = 16; k < 32; ++k) {
        const std::uint64_t power = std::uint64_t{1} << k;
        const std::uint64_t m =
            (power + static_cast<std::uint64_t>(d) - 1) / static_cast<std::uint64_t>(d);
        if (m > 0xFFFF)
            break;
        // n · m / 2^k = n / d + n · e / (d · 2^k): the extra term stays below 1 / d
        // for every n <= limit exactly when limit · e < 2^k.
        const std::uint64_t e = m * static_cast<std::uint64_t>(d) - power;
        if (static_cast<std::uint64_t>(limit) * e < power)
            return {static_cast<std::uint16_t>(m), k - 16, true};
    }
    return {};
}

// Inclusive row range of rows Y1 .. Y2 − 1 whose window of half size h lies inside
// the image, as indexes k = y − Y1; empty (first > last) when there is none.
struct FullRows {
    int first, last;
};
inline FullRows FullWindowRows(const FilterArea& a, int h)
{
    return {std::max(a.Y1, h) - a.Y1, std::min(a.Y2, a.height - h) - 1 - a.Y1};
}

// Calls row(k) for the rows k of 0 .. n − 1 outside full, or for all of them.
template <class Row>
void ForOtherRows(int n, FullRows full, bool all, Row row)
{
    if (all || full.first > full.last) {
        for (int k = 0; k < n; ++k)
            row(k);
        return;
    }
    for (int k = 0; k < full.first; ++k)
        row(k);
    for (int k = full.last + 1; k < n; ++k)
        row(k);
}
