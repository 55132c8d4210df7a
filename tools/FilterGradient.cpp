// tools/FilterGradient.cpp: Prewitt, Sobel and Roberts gradient magnitudes, 16
// rows at a time in 16-bit lanes.
//
// The magnitude is the square root of gx² + gy² truncated and limited to 255.
// The square root of an integer in double precision truncates to the integer
// square root, so an integer search gives the same bits: with the sum first
// limited to 65535 (255² = 65025 still fits), the largest r <= 255 with r² <= sum
// is found bit by bit, all in 16-bit lanes.
#include "FilterKernels.h"

#include <vector>

// The vector helpers are always inlined, so no vector crosses a call boundary
// and the ABI note about 32-byte vectors without AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

using I16 = std::int16_t __attribute__((vector_size(32)));
using U16 = std::uint16_t __attribute__((vector_size(32)));
using Bytes = std::uint8_t __attribute__((vector_size(16)));
using I32 = std::int32_t __attribute__((vector_size(64)));
using F32 = float __attribute__((vector_size(64)));
using Quarter = float __attribute__((vector_size(16)));
using Half = float __attribute__((vector_size(32)));
constexpr int kLanes = static_cast<int>(sizeof(I16) / sizeof(std::int16_t));
static_assert(kRowBlock % kLanes == 0);

// Division by 2^bits truncating toward zero: −7 / 4 is −1, not the −2 of a shift.
template <int Bits>
[[gnu::always_inline]] inline I16 DivideTruncating(I16 g)
{
    return (g + ((g >> 15) & static_cast<std::int16_t>((1 << Bits) - 1))) >> Bits;
}

[[gnu::always_inline]] inline I16 Load16(const std::int16_t* p)
{
    I16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Magnitude of differences of at most 255 each: the square root of gx² + gy²,
// truncated and limited to 255. The squares fit 16 bits; their sum is limited to
// 65535 first, which changes nothing that is not limited to 255 anyway. A sum
// below 2^24 is exact in single precision, and the rounded square root truncates
// to the integer root: the root of k² − 1 lies 1 / 2k below k, far more than one
// unit in the last place. The double-precision root truncates the same way.
[[gnu::always_inline]] inline void StoreMagnitude(std::uint8_t* out, I16 gx, I16 gy)
{
    const U16 ax = reinterpret_cast<U16>(gx < 0 ? -gx : gx);
    const U16 ay = reinterpret_cast<U16>(gy < 0 ? -gy : gy);
    const U16 sx = ax * ax;
    U16 sum = sx + ay * ay;
    sum = sum < sx ? U16{} + 0xFFFF : sum;
    const F32 f = __builtin_convertvector(__builtin_convertvector(sum, I32), F32);
    // Four lanes at a time: SSE square roots are part of every x86-64.
    const Quarter q0 = __builtin_ia32_sqrtps(__builtin_shufflevector(f, f, 0, 1, 2, 3));
    const Quarter q1 = __builtin_ia32_sqrtps(__builtin_shufflevector(f, f, 4, 5, 6, 7));
    const Quarter q2 = __builtin_ia32_sqrtps(__builtin_shufflevector(f, f, 8, 9, 10, 11));
    const Quarter q3 = __builtin_ia32_sqrtps(__builtin_shufflevector(f, f, 12, 13, 14, 15));
    const Half h0 = __builtin_shufflevector(q0, q1, 0, 1, 2, 3, 4, 5, 6, 7);
    const Half h1 = __builtin_shufflevector(q2, q3, 0, 1, 2, 3, 4, 5, 6, 7);
    const F32 root =
        __builtin_shufflevector(h0, h1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const U16 magnitude = __builtin_convertvector(__builtin_convertvector(root, I32), U16);
    const Bytes b = __builtin_convertvector(magnitude, Bytes);  // at most 255
    std::memcpy(out, &b, sizeof b);
}

// Across x, once per row for the three rows of the window: D = right − left and
// E = left + w · centre + right. The loop takes restrict pointers: a store may
// alias anything, and without them the compiler reloads every pointer per row.
template <int W>
[[gnu::always_inline]] inline void AcrossColumns(const std::uint8_t* __restrict L,
                                                 const std::uint8_t* __restrict C,
                                                 const std::uint8_t* __restrict R,
                                                 std::int16_t* __restrict D,
                                                 std::int16_t* __restrict E, int count)
{
    for (int k = 0; k < count; ++k) {
        D[k] = static_cast<std::int16_t>(R[k] - L[k]);
        E[k] = static_cast<std::int16_t>(L[k] + W * C[k] + R[k]);
    }
}

// The diagonal differences of Roberts: D[k] = C[k] − R[k + 1], E[k] = R[k] − C[k + 1].
[[gnu::always_inline]] inline void Diagonals(const std::uint8_t* __restrict C,
                                             const std::uint8_t* __restrict R,
                                             std::int16_t* __restrict D,
                                             std::int16_t* __restrict E, int count)
{
    for (int k = 0; k < count; ++k) {
        D[k] = static_cast<std::int16_t>(C[k] - R[k + 1]);
        E[k] = static_cast<std::int16_t>(R[k] - C[k + 1]);
    }
}

template <GradientKind Kind>
[[gnu::always_inline]] inline void GradientColumnsOf(const FilterArea& a, int x0, int x1)
{
    // Copies of columns x − 1, x, x + 1 with one row above: index k is row Y1 − 1 + k.
    const int n = a.Y2 - a.Y1, rows = PaddedRows(n), count = rows + kLanes + 2;
    std::vector<std::uint8_t> copies(static_cast<std::size_t>(3 * count));
    std::vector<std::int16_t> differences(static_cast<std::size_t>(2 * count));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(rows));
    std::int16_t* const D = differences.data();
    std::int16_t* const E = D + count;
    std::uint8_t* const T = out.data();
    std::uint8_t* window[3];  // columns x − 1, x, x + 1
    for (int i = 0; i < 3; ++i) {
        window[i] = copies.data() + i * count;
        CopyColumn(a, x0 - 1 + i, 1, count, window[i], 0);
    }
    for (int x = x0; x < x1; ++x) {
        if (x > x0) {
            std::uint8_t* const fresh = window[0];
            window[0] = window[1];
            window[1] = window[2];
            window[2] = fresh;
            CopyColumn(a, x + 1, 1, count, fresh, 0);
        }
        const std::uint8_t* const C = window[1];
        const std::uint8_t* const R = window[2];
        // Columns (and, below, rows) on the image's frame give 0.
        const bool frame = Kind == GradientKind::Roberts ? x == a.width - 1
                                                         : x == 0 || x == a.width - 1;
        if (frame) {
            std::memset(T, 0, static_cast<std::size_t>(rows));
        } else if constexpr (Kind == GradientKind::Roberts) {
            // d1 = s[x][y] − s[x+1][y+1], d2 = s[x+1][y] − s[x][y+1], each / 2;
            // row y is index k + 1.
            Diagonals(C, R, D, E, rows + 1);
            for (int k = 0; k < rows; k += kLanes) {
                const I16 d1 = DivideTruncating<1>(Load16(D + k + 1));
                const I16 d2 = DivideTruncating<1>(Load16(E + k + 1));
                StoreMagnitude(T + k, d1, d2);
            }
        } else {
            constexpr std::int16_t w = Kind == GradientKind::Sobel ? 2 : 1;  // middle weight
            AcrossColumns<w>(window[0], C, R, D, E, rows + 2);
            for (int k = 0; k < rows; k += kLanes) {
                const I16 gx = Load16(D + k) + w * Load16(D + k + 1) + Load16(D + k + 2);
                const I16 gy = Load16(E + k + 2) - Load16(E + k);
                StoreMagnitude(T + k, DivideTruncating<2>(gx), DivideTruncating<2>(gy));
            }
        }
        if (!frame) {
            if (a.Y1 == 0 && Kind != GradientKind::Roberts)
                T[0] = 0;
            if (a.Y2 == a.height)
                T[n - 1] = 0;
        }
        std::memcpy(a.dst[x] + a.Y1, T, static_cast<std::size_t>(n));
    }
}

[[gnu::always_inline]] inline void GradientColumnsOfAny(const FilterArea& a, GradientKind kind, int x0, int x1)
{
    if (kind == GradientKind::Prewitt)
        GradientColumnsOf<GradientKind::Prewitt>(a, x0, x1);
    else if (kind == GradientKind::Sobel)
        GradientColumnsOf<GradientKind::Sobel>(a, x0, x1);
    else
        GradientColumnsOf<GradientKind::Roberts>(a, x0, x1);
}

__attribute__((target("avx2"))) void GradientColumnsAvx2(const FilterArea& a, GradientKind kind, int x0, int x1)
{
    GradientColumnsOfAny(a, kind, x0, x1);
}

void GradientColumnsBaseline(const FilterArea& a, GradientKind kind, int x0, int x1) { GradientColumnsOfAny(a, kind, x0, x1); }

}  // namespace

void GradientColumns(const FilterArea& a, GradientKind kind, int x0, int x1)
{
    if (UseAvx2())
        GradientColumnsAvx2(a, kind, x0, x1);
    else
        GradientColumnsBaseline(a, kind, x0, x1);
}
