// platform/PixelRows.cpp
#include "PixelRows.h"

#include "VectorLevel.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

void PackedRowPlain(const std::uint8_t* in, bool bgr, std::uint32_t* out, std::uint8_t* gray,
                    int from, int width)
{
    const int r = bgr ? 2 : 0, b = bgr ? 0 : 2;
    for (int x = from; x < width; ++x) {
        const std::uint8_t* p = in + 3 * x;
        out[x] = 0xFF000000u | std::uint32_t{p[r]} << 16 | std::uint32_t{p[1]} << 8 | p[b];
        if (gray != nullptr)
            gray[x] = static_cast<std::uint8_t>((p[0] + p[1] + p[2]) / 3);
    }
}

#if defined(__x86_64__)
// 16 pixels from 48 bytes: each group of 4 pixels is shuffled into B, G, R, 0
// bytes; the gray value is the byte sum (one multiply-add and one horizontal
// add) times 43691 >> 17, which is sum / 3 for every sum up to 765.
// Stream: out is 16-byte aligned and its stores bypass the caches.
template <bool Stream>
__attribute__((target("avx2"))) int PackedRowAvx2(const std::uint8_t* in, bool bgr,
                                                  std::uint32_t* out, std::uint8_t* gray, int width)
{
    const __m128i order = bgr ? _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1)
                              : _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i ones = _mm_set1_epi32(0x00010101);
    const __m128i third = _mm_set1_epi16(static_cast<short>(43691));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const std::uint8_t* p = in + 3 * x;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
        const __m128i q0 = _mm_shuffle_epi8(a, order);
        const __m128i q1 = _mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), order);
        const __m128i q2 = _mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), order);
        const __m128i q3 = _mm_shuffle_epi8(_mm_srli_si128(c, 4), order);
        auto* o = reinterpret_cast<__m128i*>(out + x);
        const __m128i p0 = _mm_or_si128(q0, alpha), p1 = _mm_or_si128(q1, alpha);
        const __m128i p2 = _mm_or_si128(q2, alpha), p3 = _mm_or_si128(q3, alpha);
        if constexpr (Stream) {
            _mm_stream_si128(o, p0);
            _mm_stream_si128(o + 1, p1);
            _mm_stream_si128(o + 2, p2);
            _mm_stream_si128(o + 3, p3);
        } else {
            _mm_storeu_si128(o, p0);
            _mm_storeu_si128(o + 1, p1);
            _mm_storeu_si128(o + 2, p2);
            _mm_storeu_si128(o + 3, p3);
        }
        if (gray != nullptr) {
            const __m128i s01 = _mm_hadd_epi16(_mm_maddubs_epi16(q0, ones), _mm_maddubs_epi16(q1, ones));
            const __m128i s23 = _mm_hadd_epi16(_mm_maddubs_epi16(q2, ones), _mm_maddubs_epi16(q3, ones));
            const __m128i g01 = _mm_srli_epi16(_mm_mulhi_epu16(s01, third), 1);
            const __m128i g23 = _mm_srli_epi16(_mm_mulhi_epu16(s23, third), 1);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(gray + x), _mm_packus_epi16(g01, g23));
        }
    }
    return x;
}

// 16 pixels from 48 bytes a step: one byte permutation makes them B, G, R, _;
// the gray value is the byte sum (two multiply-adds) times 43691 >> 17. The
// load is masked to the 48 bytes, so it never reads past the row. Stream: out
// is 64-byte aligned and its stores bypass the caches.
template <bool Stream>
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) int PackedRowAvx512(
    const std::uint8_t* in, bool bgr, std::uint32_t* out, std::uint8_t* gray, int width)
{
    alignas(64) std::uint8_t order[64];
    for (int i = 0; i < 16; ++i)
        for (int c = 0; c < 4; ++c)
            order[4 * i + c] = static_cast<std::uint8_t>(3 * i + (c == 3 ? 0 : bgr ? c : 2 - c));
    const __m512i permute = _mm512_load_si512(order);
    const __m512i alpha = _mm512_set1_epi32(static_cast<int>(0xFF000000u));
    const __m512i ones = _mm512_set1_epi32(0x00010101);
    const __m512i pairs = _mm512_set1_epi16(1);
    const __m512i third = _mm512_set1_epi32(43691);
    // The masked forms throughout: the unmasked ones start from an undefined
    // register, which the compiler warns of.
    constexpr __mmask64 k48 = (__mmask64{1} << 48) - 1, all64 = ~__mmask64{0};
    constexpr __mmask16 all16 = 0xFFFF;
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m512i bytes = _mm512_maskz_loadu_epi8(k48, in + 3 * x);
        const __m512i pixels =
            _mm512_or_si512(_mm512_maskz_permutexvar_epi8(all64, permute, bytes), alpha);
        if constexpr (Stream)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(out + x), pixels);
        else
            _mm512_storeu_si512(out + x, pixels);
        if (gray != nullptr) {
            const __m512i sums = _mm512_madd_epi16(_mm512_maddubs_epi16(pixels, ones), pairs);
            const __m512i g = _mm512_maskz_srli_epi32(all16, _mm512_mullo_epi32(sums, third), 17);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(gray + x),
                             _mm512_maskz_cvtepi32_epi8(all16, g));
        }
    }
    return x;
}
#endif

}  // namespace

void PackedRowToPixels(const std::uint8_t* in, bool bgr, std::uint32_t* out, std::uint8_t* gray,
                       int width)
{
    int done = 0;
#if defined(__x86_64__)
    const VectorLevel level = ActiveVectorLevel();
    if (level >= VectorLevel::Avx512Vbmi)
        done = reinterpret_cast<std::uintptr_t>(out) % 64 == 0
                   ? PackedRowAvx512<true>(in, bgr, out, gray, width)
                   : PackedRowAvx512<false>(in, bgr, out, gray, width);
    else if (level >= VectorLevel::Avx2)
        done = reinterpret_cast<std::uintptr_t>(out) % 16 == 0
                   ? PackedRowAvx2<true>(in, bgr, out, gray, width)
                   : PackedRowAvx2<false>(in, bgr, out, gray, width);
#endif
    PackedRowPlain(in, bgr, out, gray, done, width);
}

void PixelRowsWritten()
{
#if defined(__x86_64__)
    _mm_sfence();
#endif
}
