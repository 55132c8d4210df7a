// tools/FilterGradient.cpp: Prewitt, Sobel and Roberts gradient magnitudes, 16
// rows at a time in 16-bit lanes.
//
// The magnitude is the square root of gx² + gy² truncated and limited to 255,
// with the differences already divided, so at most 255 each. The squares fit 16
// bits; their sum is limited to 65535 first, which changes nothing that is not
// limited to 255 anyway. A sum below 2^24 is exact in single precision, and the
// rounded single-precision root truncates to the integer root, as the
// double-precision one does: the root of k² − 1 lies 1 / 2k below k, far more
// than one unit in the last place.
#include "FilterKernels.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <cmath>
#include <vector>

// The vector helpers are always inlined, so no vector crosses a call boundary
// and the ABI note about 32-byte vectors without AVX does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

using I16 = std::int16_t __attribute__((vector_size(32)));
using U16 = std::uint16_t __attribute__((vector_size(32)));
using Bytes = std::uint8_t __attribute__((vector_size(16)));
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

// gx² + gy², limited to 65535.
[[gnu::always_inline]] inline void StoreSumOfSquares(std::uint16_t* out, I16 gx, I16 gy)
{
    const U16 ax = reinterpret_cast<U16>(gx < 0 ? -gx : gx);
    const U16 ay = reinterpret_cast<U16>(gy < 0 ? -gy : gy);
    const U16 sx = ax * ax;
    U16 sum = sx + ay * ay;
    sum = sum < sx ? U16{} + 0xFFFF : sum;
    std::memcpy(out, &sum, sizeof sum);
}

// Each Roots* writes out[k] = the integer square root of sum[k], for k in
// [0, count), count a multiple of 16. The roots of 16-bit sums are at most 255.
enum class Roots { Plain, Sse2, Avx2 };

// The correctly rounded single-precision root, as the vector instructions take it.
void RootsPlain(const std::uint16_t* sum, std::uint8_t* out, int count)
{
    for (int k = 0; k < count; ++k)
        out[k] = static_cast<std::uint8_t>(std::sqrt(static_cast<float>(sum[k])));
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void RootsAvx2(const std::uint16_t* sum, std::uint8_t* out,
                                               int count)
{
    for (int k = 0; k < count; k += 16) {
        const __m128i* in = reinterpret_cast<const __m128i*>(sum + k);
        const __m256i low = _mm256_cvtepu16_epi32(_mm_loadu_si128(in));
        const __m256i high = _mm256_cvtepu16_epi32(_mm_loadu_si128(in + 1));
        const __m256i r0 = _mm256_cvttps_epi32(_mm256_sqrt_ps(_mm256_cvtepi32_ps(low)));
        const __m256i r1 = _mm256_cvttps_epi32(_mm256_sqrt_ps(_mm256_cvtepi32_ps(high)));
        // The packs work within 128-bit halves: 0 1 | 2 3 becomes 0 2 | 1 3, put back.
        const __m256i words = _mm256_permute4x64_epi64(_mm256_packus_epi32(r0, r1), 0xD8);
        const __m128i bytes =
            _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), bytes);
    }
}

void RootsSse2(const std::uint16_t* sum, std::uint8_t* out, int count)
{
    const __m128i zero = _mm_setzero_si128();
    for (int k = 0; k < count; k += 16) {
        const __m128i* in = reinterpret_cast<const __m128i*>(sum + k);
        __m128i words[2];
        for (int half = 0; half < 2; ++half) {
            const __m128i v = _mm_loadu_si128(in + half);
            const __m128i r0 =
                _mm_cvttps_epi32(_mm_sqrt_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(v, zero))));
            const __m128i r1 =
                _mm_cvttps_epi32(_mm_sqrt_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(v, zero))));
            words[half] = _mm_packs_epi32(r0, r1);  // at most 255: no saturation
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(words[0], words[1]));
    }
}

#endif  // __x86_64__

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
                                             std::int16_t* __restrict D, std::int16_t* __restrict E,
                                             int count)
{
    for (int k = 0; k < count; ++k) {
        D[k] = static_cast<std::int16_t>(C[k] - R[k + 1]);
        E[k] = static_cast<std::int16_t>(R[k] - C[k + 1]);
    }
}

template <GradientKind Kind, Roots Root>
[[gnu::always_inline]] inline void GradientColumnsOf(const FilterArea& a, int x0, int x1)
{
    // Copies of columns x − 1, x, x + 1 with one row above: index k is row Y1 − 1 + k.
    const int n = a.Y2 - a.Y1, rows = PaddedRows(n), count = rows + kLanes + 2;
    std::vector<std::uint8_t> copies(3 * static_cast<std::size_t>(count));
    std::vector<std::int16_t> differences(2 * static_cast<std::size_t>(count));
    std::vector<std::uint16_t> squares(static_cast<std::size_t>(rows));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(rows));
    std::int16_t* const D = differences.data();
    std::int16_t* const E = D + count;
    std::uint16_t* const S = squares.data();
    std::uint8_t* const T = out.data();
    std::uint8_t* window[3];  // columns x − 1, x, x + 1
    for (int i = 0; i < 3; ++i) {
        window[i] = copies.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(count);
        CopyColumn(a, x0 - 1 + i, 1, count, window[i]);
    }
    for (int x = x0; x < x1; ++x) {
        if (x > x0) {
            std::uint8_t* const fresh = window[0];
            window[0] = window[1];
            window[1] = window[2];
            window[2] = fresh;
            CopyColumn(a, x + 1, 1, count, fresh);
        }
        const std::uint8_t* const C = window[1];
        const std::uint8_t* const R = window[2];
        // Columns (and, below, rows) on the image's frame give 0.
        const bool frame =
            Kind == GradientKind::Roberts ? x == a.width - 1 : x == 0 || x == a.width - 1;
        if (frame) {
            std::memset(T, 0, static_cast<std::size_t>(rows));
        } else if constexpr (Kind == GradientKind::Roberts) {
            // d1 = s[x][y] − s[x+1][y+1], d2 = s[x+1][y] − s[x][y+1], each / 2;
            // row y is index k + 1.
            Diagonals(C, R, D, E, rows + 1);
            for (int k = 0; k < rows; k += kLanes) {
                const I16 d1 = DivideTruncating<1>(Load16(D + k + 1));
                const I16 d2 = DivideTruncating<1>(Load16(E + k + 1));
                StoreSumOfSquares(S + k, d1, d2);
            }
        } else {
            constexpr std::int16_t w = Kind == GradientKind::Sobel ? 2 : 1;  // middle weight
            AcrossColumns<w>(window[0], C, R, D, E, rows + 2);
            for (int k = 0; k < rows; k += kLanes) {
                const I16 gx = Load16(D + k) + w * Load16(D + k + 1) + Load16(D + k + 2);
                const I16 gy = Load16(E + k + 2) - Load16(E + k);
                StoreSumOfSquares(S + k, DivideTruncating<2>(gx), DivideTruncating<2>(gy));
            }
        }
        if (!frame) {
#if defined(__x86_64__)
            if constexpr (Root == Roots::Avx2)
                RootsAvx2(S, T, rows);
            else if constexpr (Root == Roots::Sse2)
                RootsSse2(S, T, rows);
            else
#endif
                RootsPlain(S, T, rows);
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

template <Roots Root>
[[gnu::always_inline]] inline void GradientColumnsOfAny(const FilterArea& a, GradientKind kind,
                                                        int x0, int x1)
{
    if (kind == GradientKind::Prewitt)
        GradientColumnsOf<GradientKind::Prewitt, Root>(a, x0, x1);
    else if (kind == GradientKind::Sobel)
        GradientColumnsOf<GradientKind::Sobel, Root>(a, x0, x1);
    else
        GradientColumnsOf<GradientKind::Roberts, Root>(a, x0, x1);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void GradientColumnsAvx2(const FilterArea& a, GradientKind kind,
                                                         int x0, int x1)
{
    GradientColumnsOfAny<Roots::Avx2>(a, kind, x0, x1);
}
#endif

void GradientColumnsPortable(const FilterArea& a, GradientKind kind, int x0, int x1)
{
#if defined(__x86_64__)
    if (a.level >= VectorLevel::Baseline)
        return GradientColumnsOfAny<Roots::Sse2>(a, kind, x0, x1);
#endif
    GradientColumnsOfAny<Roots::Plain>(a, kind, x0, x1);
}

}  // namespace

void GradientColumns(const FilterArea& a, GradientKind kind, int x0, int x1)
{
#if defined(__x86_64__)
    if (a.level >= VectorLevel::Avx2)
        return GradientColumnsAvx2(a, kind, x0, x1);
#endif
    GradientColumnsPortable(a, kind, x0, x1);
}
