// tools/Brightness.cpp
#include "Brightness.h"
#include "Extended.h"

#include "Parallel.h"
#include "VectorLevel.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cmath>

namespace {

const long double kOneOver255 = Ext(1.0L / 255);  // in extended precision
constexpr double kPi = 3.141592654;

// Gray levels per thread at least: the mapping is a fraction of a nanosecond a
// pixel, so smaller pieces would cost more to hand out than to map.
constexpr int kPixelGrain = 1 << 18;

void MapColumnsPlain(const BrightnessTable& table, const GrayImage& src, GrayImage& dst, int x0,
                     int x1, int height)
{
    for (int x = x0; x < x1; ++x) {
        const std::uint8_t* in = src[x];
        std::uint8_t* out = dst[x];
        for (int y = 0; y < height; ++y)
            out[y] = table[in[y]];
    }
}

#if defined(__x86_64__)
// 64 pixels per step: two 128-entry byte permutes look up the low and the high
// half of the table, and each pixel's top bit picks between them.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void MapColumnsVbmi(
    const BrightnessTable& table, const GrayImage& src, GrayImage& dst, int x0, int x1, int height)
{
    const __m512i t0 = _mm512_loadu_si512(table.data());
    const __m512i t1 = _mm512_loadu_si512(table.data() + 64);
    const __m512i t2 = _mm512_loadu_si512(table.data() + 128);
    const __m512i t3 = _mm512_loadu_si512(table.data() + 192);
    const int whole = height / 64 * 64;
    const __mmask64 tail = height % 64 == 0 ? 0 : (~__mmask64{0} >> (64 - height % 64));
    for (int x = x0; x < x1; ++x) {
        const std::uint8_t* in = src[x];
        std::uint8_t* out = dst[x];
        for (int y = 0; y < height; y += 64) {
            const __mmask64 part = y < whole ? ~__mmask64{0} : tail;
            const __m512i v = _mm512_maskz_loadu_epi8(part, in + y);
            const __m512i low = _mm512_permutex2var_epi8(t0, v, t1);
            const __m512i high = _mm512_permutex2var_epi8(t2, v, t3);
            _mm512_mask_storeu_epi8(out + y, part,
                                    _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high));
        }
    }
}

// 32 pixels per step for processors with AVX2 but not VBMI: sixteen 16-entry
// byte shuffles, one per block of 16 gray levels. Shifted by 16k and biased by
// 0x70 with unsigned saturation, a pixel of block k becomes 0x70..0x7F (its low
// nibble picks the entry) and every other pixel 0x80 or more, which the shuffle
// turns into 0; the sixteen results are or-ed together.
__attribute__((target("avx2"))) void MapColumnsAvx2(const BrightnessTable& table,
                                                    const GrayImage& src, GrayImage& dst, int x0,
                                                    int x1, int height)
{
    __m256i blocks[16];
    for (int k = 0; k < 16; ++k)
        blocks[k] = _mm256_broadcastsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.data() + 16 * k)));
    const __m256i step = _mm256_set1_epi8(16), bias = _mm256_set1_epi8(0x70);
    const int whole = height / 32 * 32;
    for (int x = x0; x < x1; ++x) {
        const std::uint8_t* in = src[x];
        std::uint8_t* out = dst[x];
        for (int y = 0; y < whole; y += 32) {
            __m256i shifted = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + y));
            __m256i mapped = _mm256_setzero_si256();
            for (int k = 0; k < 16; ++k) {
                const __m256i index = _mm256_adds_epu8(shifted, bias);
                mapped = _mm256_or_si256(mapped, _mm256_shuffle_epi8(blocks[k], index));
                shifted = _mm256_sub_epi8(shifted, step);
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + y), mapped);
        }
        for (int y = whole; y < height; ++y)
            out[y] = table[in[y]];
    }
}

#endif  // __x86_64__

void MapInPieces(const BrightnessTable& table, const GrayImage& src, GrayImage& dst, int width,
                 int height)
{
    if (!src || !dst || width <= 0 || height <= 0)
        return;
    [[maybe_unused]] const VectorLevel level = ActiveVectorLevel();
    ParallelFor(0, width, std::max(1, kPixelGrain / height), [&](int x0, int x1) {
#if defined(__x86_64__)
        if (level >= VectorLevel::Avx512Vbmi)
            return MapColumnsVbmi(table, src, dst, x0, x1, height);
        if (level >= VectorLevel::Avx2)
            return MapColumnsAvx2(table, src, dst, x0, x1, height);
#endif
        MapColumnsPlain(table, src, dst, x0, x1, height);
    });
}

}  // namespace

void BuildBrightnessTable(BrightnessTable& table, int brightness, int contrast, float gamma)
{
    // Formed in extended precision, where every int minus 127 is exact: the int
    // difference overflows for a brightness near the bottom of the range.
    const float offset =
        static_cast<float>(Ext((static_cast<long double>(brightness) - 127) * kOneOver255));
    const double slope = std::tan(contrast * kPi / 180);  // 45 degrees: a slope of 1
    for (int i = 0; i < 256; ++i) {
        const float u = static_cast<float>(Ext(i * kOneOver255));
        const float c = static_cast<float>((slope * (u - 0.5) + 0.5 + offset) * 255);
        std::uint8_t& v = table[static_cast<std::size_t>(i)];
        if (!(c >= 0)) {  // negative, or not a number
            v = 0;
        } else if (c > 255) {
            v = 255;
        } else {  // c · (1/255) formed in extended precision, then narrowed for pow
            const double r =
                std::pow(static_cast<double>(Ext(c * kOneOver255)), static_cast<double>(gamma)) * 255;
            // 0 .. 255 for any gamma from 0.1 to 10; a gamma outside (not a number,
            // 0 or below) must not turn into an out-of-range conversion.
            v = !(r >= 0) ? 0 : r >= 255 ? 255 : static_cast<std::uint8_t>(r);
        }
    }
}

void ApplyBrightnessTable(const GrayImage& src, GrayImage& dst, int brightness, int contrast,
                          float gamma, int width, int height)
{
    BrightnessTable table;
    BuildBrightnessTable(table, brightness, contrast, gamma);
    MapThroughTable(table, src, dst, width, height);
}

void MapThroughTable(const BrightnessTable& table, const GrayImage& src, GrayImage& dst, int width,
                     int height)
{
    MapInPieces(table, src, dst, width, height);
}

float GammaFromPosition(int position)
{
    // The differences in double, exact for every int: position − 1 overflows at
    // the bottom of the int range.
    const double p = position;
    if (position > 50)
        return static_cast<float>((p - 50) * 0.18 + 1);
    return static_cast<float>((p - 1) * 0.018367346938775512 + 0.1);
}
