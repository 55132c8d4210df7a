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
constexpr int kLanes = static_cast<int>(sizeof(I16) / sizeof(std::int16_t));
static_assert(kRowBlock % kLanes == 0);

[[gnu::always_inline]] inline I16 Wide(const std::uint8_t* p)
{
    Bytes b;
    std::memcpy(&b, p, sizeof b);
    return __builtin_convertvector(b, I16);
}

// Division by 2^bits truncating toward zero: −7 / 4 is −1, not the −2 of a shift.
template <int Bits>
[[gnu::always_inline]] inline I16 DivideTruncating(I16 g)
{
    return (g + ((g >> 15) & static_cast<std::int16_t>((1 << Bits) - 1))) >> Bits;
}

[[gnu::always_inline]] inline void StoreMagnitude(std::uint8_t* out, I16 gx, I16 gy)
{
    const U16 ax = reinterpret_cast<U16>(gx < 0 ? -gx : gx);  // at most 255
    const U16 ay = reinterpret_cast<U16>(gy < 0 ? -gy : gy);
    const U16 sx = ax * ax, sy = ay * ay;
    U16 sum = sx + sy;
    sum = sum < sx ? U16{} + 0xFFFF : sum;  // saturate: anything above 255² gives 255
    U16 root = U16{};
    for (int bit = 128; bit > 0; bit >>= 1) {
        const U16 trial = root + static_cast<std::uint16_t>(bit);
        root = trial * trial <= sum ? trial : root;
    }
    const Bytes b = __builtin_convertvector(root, Bytes);
    std::memcpy(out, &b, sizeof b);
}

template <GradientKind Kind>
[[gnu::always_inline]] inline void GradientColumnsOf(const FilterArea& a, int x0, int x1)
{
    // Copies of columns x − 1, x, x + 1 with one row above: index k is row Y1 − 1 + k.
    const int n = a.Y2 - a.Y1, rows = PaddedRows(n), count = rows + 2;
    std::vector<std::uint8_t> ring(static_cast<std::size_t>(3 * count));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(rows));
    std::uint8_t* T = out.data();
    auto slot = [&](int x) { return ring.data() + ((x % 3 + 3) % 3) * count; };
    CopyColumn(a, x0 - 1, 1, count, slot(x0 - 1), 0);
    CopyColumn(a, x0, 1, count, slot(x0), 0);
    for (int x = x0; x < x1; ++x) {
        CopyColumn(a, x + 1, 1, count, slot(x + 1), 0);
        const std::uint8_t* L = slot(x - 1);
        const std::uint8_t* C = slot(x);
        const std::uint8_t* R = slot(x + 1);
        // Columns (and, below, rows) on the image's frame give 0.
        const bool frame = Kind == GradientKind::Roberts ? x == a.width - 1
                                                         : x == 0 || x == a.width - 1;
        if (frame) {
            std::memset(T, 0, static_cast<std::size_t>(rows));
        } else {
            for (int k = 0; k < rows; k += kLanes) {
                if constexpr (Kind == GradientKind::Roberts) {
                    // d1 = s[x][y] − s[x+1][y+1], d2 = s[x+1][y] − s[x][y+1], each / 2.
                    const I16 d1 = DivideTruncating<1>(Wide(C + k + 1) - Wide(R + k + 2));
                    const I16 d2 = DivideTruncating<1>(Wide(R + k + 1) - Wide(C + k + 2));
                    StoreMagnitude(T + k, d1, d2);
                } else {
                    constexpr std::int16_t w = Kind == GradientKind::Sobel ? 2 : 1;  // middle weight
                    const I16 l0 = Wide(L + k), l1 = Wide(L + k + 1), l2 = Wide(L + k + 2);
                    const I16 r0 = Wide(R + k), r1 = Wide(R + k + 1), r2 = Wide(R + k + 2);
                    const I16 c0 = Wide(C + k), c2 = Wide(C + k + 2);
                    const I16 gx = (r0 + w * r1 + r2) - (l0 + w * l1 + l2);
                    const I16 gy = (l2 + w * c2 + r2) - (l0 + w * c0 + r0);
                    StoreMagnitude(T + k, DivideTruncating<2>(gx), DivideTruncating<2>(gy));
                }
            }
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
