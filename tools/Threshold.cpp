// tools/Threshold.cpp
#include "Threshold.h"

#include "VectorLevel.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

using Byte = std::uint8_t;

// Walks the rectangle as spans of bytes. Columns of one array lie back to back,
// so when the rectangle covers whole columns (y0 = 0, y1 = height) the spans of
// neighbouring columns join into one long span and a picture one pixel high
// costs no more per pixel than a tall one. body(offset within the column, span,
// length) may be called with a span longer than one column only in that case.
template <class Body>
void ForEachSpan(const GrayImage& image, int x0, int y0, int x1, int y1, Body&& body)
{
    if (x0 >= x1 || y0 >= y1)
        return;  // never touches the image: it may be none
    const std::size_t rows = static_cast<std::size_t>(y1 - y0);
    int x = x0;
    while (x < x1) {
        const Byte* start = image[x] + y0;
        int next = x + 1;
        while (next < x1 && image[next] + y0 == start + rows * static_cast<std::size_t>(next - x))
            ++next;
        body(start, rows * static_cast<std::size_t>(next - x));
        x = next;
    }
}

// The same over a source and a destination rectangle at the same place.
template <class Body>
void ForEachSpanPair(const GrayImage& src, GrayImage& dst, int x0, int y0, int x1, int y1,
                     Body&& body)
{
    if (x0 >= x1 || y0 >= y1)
        return;
    const std::size_t rows = static_cast<std::size_t>(y1 - y0);
    int x = x0;
    while (x < x1) {
        const Byte* in = src[x] + y0;
        Byte* out = dst[x] + y0;
        int next = x + 1;
        while (next < x1) {
            const std::size_t offset = rows * static_cast<std::size_t>(next - x);
            if (src[next] + y0 != in + offset || dst[next] + y0 != out + offset)
                break;
            ++next;
        }
        body(in, out, rows * static_cast<std::size_t>(next - x));
        x = next;
    }
}

// The plain loops below are written so that the compiler turns them into byte
// vector code: an unsigned byte compared with an unsigned byte, 0 or 255 out.
// It writes v <= t as min(v, t) == v and loads v twice for that, so the two
// one-sided compares also have kernels that load each byte once.
void MarkAtOrBelowPlain(const Byte* in, Byte* out, std::size_t n, Byte t)
{
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<Byte>(-static_cast<Byte>(in[i] <= t));
}

void MarkAtOrAbovePlain(const Byte* in, Byte* out, std::size_t n, Byte t)
{
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<Byte>(-static_cast<Byte>(in[i] >= t));
}

#if defined(__x86_64__)
// v <= t exactly when v −sat t is 0, and v >= t when t −sat v is 0: one load,
// one saturating subtract and one compare with zero per vector.
template <bool Above>
void MarkSse2(const Byte* in, Byte* out, std::size_t n, Byte t)
{
    const __m128i tt = _mm_set1_epi8(static_cast<char>(t)), zero = _mm_setzero_si128();
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i excess = Above ? _mm_subs_epu8(tt, v) : _mm_subs_epu8(v, tt);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_cmpeq_epi8(excess, zero));
    }
    if (Above)
        MarkAtOrAbovePlain(in + i, out + i, n - i, t);
    else
        MarkAtOrBelowPlain(in + i, out + i, n - i, t);
}

template <bool Above>
__attribute__((target("avx2"))) void MarkAvx2(const Byte* in, Byte* out, std::size_t n, Byte t)
{
    const __m256i tt = _mm256_set1_epi8(static_cast<char>(t)), zero = _mm256_setzero_si256();
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) {  // two vectors a step: the loads overlap better
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 32));
        const __m256i ea = Above ? _mm256_subs_epu8(tt, a) : _mm256_subs_epu8(a, tt);
        const __m256i eb = Above ? _mm256_subs_epu8(tt, b) : _mm256_subs_epu8(b, tt);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_cmpeq_epi8(ea, zero));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i + 32), _mm256_cmpeq_epi8(eb, zero));
    }
    MarkSse2<Above>(in + i, out + i, n - i, t);
}
#endif

// 255 where v <= t (Above false) or v >= t (Above true), else 0.
template <bool Above>
void Mark(VectorLevel level, const Byte* in, Byte* out, std::size_t n, Byte t)
{
#if defined(__x86_64__)
    if (level >= VectorLevel::Avx2)
        return MarkAvx2<Above>(in, out, n, t);
    if (level >= VectorLevel::Baseline)
        return MarkSse2<Above>(in, out, n, t);
#endif
    (void)level;
    if (Above)
        MarkAtOrAbovePlain(in, out, n, t);
    else
        MarkAtOrBelowPlain(in, out, n, t);
}

// 0 inside lower <= v <= lower + span, 255 outside: v − lower wraps around below
// lower, so one unsigned compare tests both ends.
void MarkOutsideBand(const Byte* in, Byte* out, std::size_t n, Byte lower, Byte span)
{
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<Byte>(-static_cast<Byte>(static_cast<Byte>(in[i] - lower) > span));
}

// Counts into four tables in turn: a run of equal bytes then increments four
// different counters instead of waiting on one (a flat picture is common).
// A table holds at most 2^32 − 1; the caller hands over less than that.
using SubCounts = std::array<std::array<std::uint32_t, 256>, 4>;
void CountBytes(const Byte* p, std::size_t n, SubCounts& c)
{
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t eight;
        std::memcpy(&eight, p + i, 8);
        ++c[0][eight & 0xFF];
        ++c[1][(eight >> 8) & 0xFF];
        ++c[2][(eight >> 16) & 0xFF];
        ++c[3][(eight >> 24) & 0xFF];
        ++c[0][(eight >> 32) & 0xFF];
        ++c[1][(eight >> 40) & 0xFF];
        ++c[2][(eight >> 48) & 0xFF];
        ++c[3][eight >> 56];
    }
    for (; i < n; ++i)
        ++c[0][p[i]];
}

// Histogram of the rectangle in 64-bit counts.
std::array<std::int64_t, 256> CountLevels(const GrayImage& src, int x0, int y0, int x1, int y1)
{
    std::array<std::int64_t, 256> count{};
    SubCounts sub{};
    // Each sub-table gets at most half of a chunk: well below 2^32 per counter.
    constexpr std::size_t kChunk = std::size_t{1} << 30;
    std::size_t pending = 0;
    const auto flush = [&] {
        for (auto& table : sub)
            for (int i = 0; i < 256; ++i) {
                count[static_cast<std::size_t>(i)] += table[static_cast<std::size_t>(i)];
                table[static_cast<std::size_t>(i)] = 0;
            }
        pending = 0;
    };
    ForEachSpan(src, x0, y0, x1, y1, [&](const Byte* p, std::size_t n) {
        while (n > 0) {
            const std::size_t part = std::min(n, kChunk - pending);
            CountBytes(p, part, sub);
            p += part;
            n -= part;
            pending += part;
            if (pending == kChunk)
                flush();
        }
    });
    flush();
    return count;
}

// Gradient weights of one column (SumWeights): w = |right − v| + |below − v| for the rows
// [0, n) of column c with its right neighbour r, below = c[y + 1]. The caller
// passes at most kRowsPerSum rows, so the 32-bit lanes below cannot overflow.
constexpr int kRowsPerSum = 16384;
struct WeightSums {
    std::uint64_t weight = 0, weighted = 0;
};

// Rows [y, n) one at a time, added to sums.
void AddWeightsPlain(const Byte* c, const Byte* r, std::size_t y, std::size_t n, WeightSums& sums)
{
    for (; y < n; ++y) {
        const int v = c[y];
        const int w = std::abs(r[y] - v) + std::abs(c[y + 1] - v);
        sums.weight += static_cast<std::uint64_t>(w);
        sums.weighted += static_cast<std::uint64_t>(w * v);
    }
}

#if defined(__x86_64__)
WeightSums SumWeightsSse2(const Byte* c, const Byte* r, std::size_t n)
{
    // Sixteen rows at a time. |a − b| of bytes is (a −sat b) | (b −sat a); the
    // weights (at most 510) and values are widened to 16 bits, and pmaddwd adds
    // pairs of w · v (at most 2 · 510 · 255) into 32-bit lanes: 1024 steps of
    // two such pairs stay below 2^31. The weights alone are summed by psadbw.
    const __m128i zero = _mm_setzero_si128();
    __m128i weight = zero, weighted = zero;
    std::size_t y = 0;
    for (; y + 16 <= n; y += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + y));
        const __m128i right = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + y));
        const __m128i below = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + y + 1));
        const __m128i dr = _mm_or_si128(_mm_subs_epu8(right, v), _mm_subs_epu8(v, right));
        const __m128i db = _mm_or_si128(_mm_subs_epu8(below, v), _mm_subs_epu8(v, below));
        weight = _mm_add_epi64(weight, _mm_add_epi64(_mm_sad_epu8(dr, zero), _mm_sad_epu8(db, zero)));
        const __m128i wLow = _mm_add_epi16(_mm_unpacklo_epi8(dr, zero), _mm_unpacklo_epi8(db, zero));
        const __m128i wHigh = _mm_add_epi16(_mm_unpackhi_epi8(dr, zero), _mm_unpackhi_epi8(db, zero));
        weighted = _mm_add_epi32(weighted, _mm_madd_epi16(wLow, _mm_unpacklo_epi8(v, zero)));
        weighted = _mm_add_epi32(weighted, _mm_madd_epi16(wHigh, _mm_unpackhi_epi8(v, zero)));
    }
    alignas(16) std::uint64_t w64[2];
    alignas(16) std::uint32_t s32[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(w64), weight);
    _mm_store_si128(reinterpret_cast<__m128i*>(s32), weighted);
    WeightSums sums{w64[0] + w64[1],
                    std::uint64_t{s32[0]} + s32[1] + s32[2] + s32[3]};
    AddWeightsPlain(c, r, y, n, sums);
    return sums;
}
#endif

WeightSums SumWeights(VectorLevel level, const Byte* c, const Byte* r, std::size_t n)
{
#if defined(__x86_64__)
    if (level >= VectorLevel::Baseline)
        return SumWeightsSse2(c, r, n);
#endif
    (void)level;
    WeightSums sums;
    AddWeightsPlain(c, r, 0, n, sums);
    return sums;
}

}  // namespace

void HistogramImage(const GrayImage& src, GrayImage& hist, int x0, int y0, int x1, int y1)
{
    const std::array<std::int64_t, 256> count = CountLevels(src, x0, y0, x1, y1);
    std::int64_t peak = 1;  // an empty rectangle draws no bar and divides by nothing
    for (std::int64_t c : count)
        peak = std::max(peak, c);
    for (int i = 0; i < 256; ++i) {
        // 64-bit: on a very large picture count · 64 passes the 32-bit range. The
        // quotient truncates, so a level below 1/64 of the peak gets no bar at all.
        const int h = static_cast<int>(count[static_cast<std::size_t>(i)] * 64 / peak);
        std::memset(hist[i], 0, static_cast<std::size_t>(64 - h));
        std::memset(hist[i] + (64 - h), 255, static_cast<std::size_t>(h));
    }
}

void ThresholdImage(const GrayImage& src, GrayImage& dst, int mode, int t, int x0, int y0,
                    int x1, int y1)
{
    if (mode != 0 && mode != 1)
        return;
    const VectorLevel level = ActiveVectorLevel();
    // A threshold outside 0..255 passes every pixel or none: fold it into a
    // byte so that the compare stays a byte compare.
    if (mode == 0 && t >= 255) {
        ForEachSpanPair(src, dst, x0, y0, x1, y1,
                        [](const Byte*, Byte* out, std::size_t n) { std::memset(out, 255, n); });
    } else if (mode == 0) {
        const bool none = t < 0;
        const Byte tt = static_cast<Byte>(std::max(t, 0));
        ForEachSpanPair(src, dst, x0, y0, x1, y1, [&](const Byte* in, Byte* out, std::size_t n) {
            if (none)
                std::memset(out, 0, n);
            else
                Mark<false>(level, in, out, n, tt);
        });
    } else {
        const bool none = t > 255;
        const Byte tt = static_cast<Byte>(std::clamp(t, 0, 255));
        ForEachSpanPair(src, dst, x0, y0, x1, y1, [&](const Byte* in, Byte* out, std::size_t n) {
            if (none)
                std::memset(out, 0, n);
            else
                Mark<true>(level, in, out, n, tt);
        });
    }
}

void ThresholdBand(const GrayImage& src, GrayImage& dst, int lower, int upper, int x0, int y0,
                   int x1, int y1)
{
    // Only the part of the band inside 0..255 can hold a pixel.
    const int lo = std::max(lower, 0), hi = std::min(upper, 255);
    const bool empty = lo > hi;
    const Byte base = static_cast<Byte>(empty ? 0 : lo);
    const Byte span = static_cast<Byte>(empty ? 0 : hi - lo);
    ForEachSpanPair(src, dst, x0, y0, x1, y1, [&](const Byte* in, Byte* out, std::size_t n) {
        if (empty)
            std::memset(out, 255, n);
        else
            MarkOutsideBand(in, out, n, base, span);
    });
}

int AutoThreshold(const GrayImage& src, int x0, int y0, int x1, int y1, int width, int height)
{
    // The sums are 64-bit: a large textured picture passes 2^31 for S quickly.
    std::int64_t s = 0, sw = 0;
    // Only pixels with a right and a lower neighbour in the image carry a weight;
    // the rectangle is cut to the image on every side.
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    const int xEnd = std::min(x1, width - 1), yEnd = std::min(y1, height - 1);
    if (x0 >= xEnd || y0 >= yEnd)
        return 255;
    const VectorLevel level = ActiveVectorLevel();
    for (int x = x0; x < xEnd; ++x) {
        const Byte* column = src[x];
        const Byte* right = src[x + 1];
        for (int y = y0; y < yEnd; y += kRowsPerSum) {
            const int n = std::min(kRowsPerSum, yEnd - y);
            const WeightSums part = SumWeights(level, column + y, right + y, static_cast<std::size_t>(n));
            sw += static_cast<std::int64_t>(part.weight);
            s += static_cast<std::int64_t>(part.weighted);
        }
    }
    return sw == 0 ? 255 : static_cast<int>(s / sw);  // truncated: both sums are non-negative
}

int CountAtOrAbove(const GrayImage& image, int t, int x0, int y0, int x1, int y1)
{
    if (t > 255)
        return 0;
    const Byte tt = static_cast<Byte>(std::max(t, 0));
    std::int64_t count = 0;
    ForEachSpan(image, x0, y0, x1, y1, [&](const Byte* p, std::size_t n) {
        // Sums of at most 2^24 compares fit a 32-bit counter in the vector unit.
        while (n > 0) {
            const std::size_t part = std::min<std::size_t>(n, std::size_t{1} << 24);
            std::uint32_t c = 0;
            for (std::size_t i = 0; i < part; ++i)
                c += p[i] >= tt ? 1U : 0U;
            count += c;
            p += part;
            n -= part;
        }
    });
    return static_cast<int>(count);
}
