// tools/Match_patternSweep.cpp
#include "Match_patternSweep.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstring>

namespace match_pattern {
namespace {

// Plain vectors of the compiler: SSE2 on x86-64, the processor's own elsewhere.
using Bytes16 = std::uint8_t __attribute__((vector_size(16)));

Bytes16 Load16(const std::uint8_t* p)
{
    Bytes16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool AllAbove(Bytes16 v, int bar)
{
    const auto above = v > static_cast<std::uint8_t>(bar);  // -1 where true
    std::uint64_t half[2];
    std::memcpy(half, &above, sizeof half);
    return (half[0] & half[1]) == ~std::uint64_t{0};
}

}  // namespace

int SumLanes16(const AngleWindow& window, const std::uint8_t* start, int bar, std::uint8_t* out)
{
    Bytes16 acc = Load16(start);
    for (int s = 0; s < window.count; ++s) {
        const SampleOffset& o = window.samples[s];
        const Bytes16 v = Load16(window.columns[window.cx + o.dx] + window.row0 + o.dy);
        const std::uint8_t g = window.grid[s];
        const Bytes16 d = (v > g ? v : g) - (v < g ? v : g);
        const Bytes16 room = ~acc;  // 255 − acc: what the lane can still take
        acc += d < room ? d : room;
        if ((s & 7) == 7 && bar < 255 && AllAbove(acc, bar)) {
            std::memset(out, 255, 16);
            return 255;
        }
    }
    std::memcpy(out, &acc, 16);
    return *std::min_element(out, out + 16);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) int SumLanes32(const AngleWindow& window,
                                                const std::uint8_t* start, int bar,
                                                std::uint8_t* out)
{
    __m256i acc = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(start));
    // acc >= bar + 1 in every lane exactly where bar + 1 −sat acc is 0 throughout.
    const __m256i past = _mm256_set1_epi8(static_cast<char>(std::min(bar + 1, 255)));
    for (int s = 0; s < window.count; ++s) {
        const SampleOffset& o = window.samples[s];
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(
            window.columns[window.cx + o.dx] + window.row0 + o.dy));
        const __m256i g = _mm256_set1_epi8(static_cast<char>(window.grid[s]));
        acc = _mm256_adds_epu8(acc, _mm256_or_si256(_mm256_subs_epu8(v, g), _mm256_subs_epu8(g, v)));
        if ((s & 7) == 7 && bar < 255) {
            const __m256i short_ = _mm256_subs_epu8(past, acc);
            if (_mm256_testz_si256(short_, short_)) {
                std::memset(out, 255, 32);
                return 255;
            }
        }
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), acc);
    __m128i m = _mm_min_epu8(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
    m = _mm_min_epu8(m, _mm_srli_si128(m, 8));
    m = _mm_min_epu8(m, _mm_srli_si128(m, 4));
    m = _mm_min_epu8(m, _mm_srli_si128(m, 2));
    m = _mm_min_epu8(m, _mm_srli_si128(m, 1));
    return _mm_cvtsi128_si32(m) & 0xff;
}

__attribute__((target("avx512f,avx512bw"))) int SumLanes64(const AngleWindow& window,
                                                            const std::uint8_t* start, int bar,
                                                            std::uint8_t* out)
{
    __m512i acc = _mm512_loadu_si512(start);
    const __m512i past = _mm512_set1_epi8(static_cast<char>(std::min(bar + 1, 255)));
    for (int s = 0; s < window.count; ++s) {
        const SampleOffset& o = window.samples[s];
        const __m512i v = _mm512_loadu_si512(window.columns[window.cx + o.dx] + window.row0 + o.dy);
        const __m512i g = _mm512_set1_epi8(static_cast<char>(window.grid[s]));
        acc = _mm512_adds_epu8(acc, _mm512_or_si512(_mm512_subs_epu8(v, g), _mm512_subs_epu8(g, v)));
        if ((s & 7) == 7 && bar < 255 && _mm512_cmplt_epu8_mask(acc, past) == 0) {
            std::memset(out, 255, 64);
            return 255;
        }
    }
    _mm512_storeu_si512(out, acc);
    // From the bytes just stored: extracting the upper half trips a false
    // "uninitialized" warning of the compiler's own header.
    const __m256i half = _mm256_min_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(out)),
                                         _mm256_loadu_si256(reinterpret_cast<const __m256i*>(out + 32)));
    __m128i m = _mm_min_epu8(_mm256_castsi256_si128(half), _mm256_extracti128_si256(half, 1));
    m = _mm_min_epu8(m, _mm_srli_si128(m, 8));
    m = _mm_min_epu8(m, _mm_srli_si128(m, 4));
    m = _mm_min_epu8(m, _mm_srli_si128(m, 2));
    m = _mm_min_epu8(m, _mm_srli_si128(m, 1));
    return _mm_cvtsi128_si32(m) & 0xff;
}
#endif

}  // namespace match_pattern
