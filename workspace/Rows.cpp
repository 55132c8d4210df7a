// workspace/Rows.cpp
#include "Rows.h"

#include "Parallel.h"
#include "VectorLevel.h"

#if defined(__x86_64__)
#include <immintrin.h>  // SSE2 everywhere; AVX-512 where the processor has it
#endif

#include <algorithm>
#include <cstdint>

namespace {

// dst[c · dstStride + r] = src[r · srcStride + c] for a 16 x 16 block of bytes:
// four rounds of interleaving (8, 16, 32 and 64 bits).
void Transpose16(const std::uint8_t* src, std::ptrdiff_t srcStride, std::uint8_t* dst,
                 std::ptrdiff_t dstStride)
{
#if !defined(__x86_64__)
    for (int c = 0; c < 16; ++c)
        for (int r = 0; r < 16; ++r)
            dst[c * dstStride + r] = src[r * srcStride + c];
#else
    __m128i x[16], a[16], b[16];
    for (int i = 0; i < 16; ++i)
        x[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * srcStride));
    for (int k = 0; k < 8; ++k) {
        a[k] = _mm_unpacklo_epi8(x[2 * k], x[2 * k + 1]);      // columns 0..7, rows 2k, 2k+1
        a[k + 8] = _mm_unpackhi_epi8(x[2 * k], x[2 * k + 1]);  // columns 8..15
    }
    for (int half = 0; half < 2; ++half)
        for (int k = 0; k < 4; ++k) {
            const __m128i lo = a[8 * half + 2 * k], hi = a[8 * half + 2 * k + 1];
            b[8 * half + k] = _mm_unpacklo_epi16(lo, hi);      // 4 columns x rows 4k..4k+3
            b[8 * half + k + 4] = _mm_unpackhi_epi16(lo, hi);  // the next 4 columns
        }
    for (int g = 0; g < 4; ++g) {  // columns 4g .. 4g + 3
        const __m128i top01 = _mm_unpacklo_epi32(b[4 * g], b[4 * g + 1]);
        const __m128i top23 = _mm_unpackhi_epi32(b[4 * g], b[4 * g + 1]);
        const __m128i low01 = _mm_unpacklo_epi32(b[4 * g + 2], b[4 * g + 3]);
        const __m128i low23 = _mm_unpackhi_epi32(b[4 * g + 2], b[4 * g + 3]);
        std::uint8_t* out = dst + 4 * g * dstStride;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi64(top01, low01));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + dstStride),
                         _mm_unpackhi_epi64(top01, low01));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * dstStride),
                         _mm_unpacklo_epi64(top23, low23));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * dstStride),
                         _mm_unpackhi_epi64(top23, low23));
    }
#endif
}

#if defined(__x86_64__)
#if !defined(__clang__)  // GCC 12's 512-bit unpacks pass an undefined vector as unused source
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
// Columns 0 .. 15 of 64 rows (src[r · srcStride + c]) as 16 lines of 64 bytes,
// line c (rows 0 .. 63 of column c) streamed to out + c · step, 64-byte
// aligned: Transpose16's interleaving in the four 128-bit lanes at once, lane q
// holding rows 16q .. 16q + 15, so that each result is a whole line.
__attribute__((target("avx512f,avx512bw"))) void StreamColumns64(const std::uint8_t* src,
                                                                 std::ptrdiff_t srcStride,
                                                                 std::uint8_t* out,
                                                                 std::ptrdiff_t step)
{
    const auto row = [&](int r) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + r * srcStride));
    };
    __m512i x[16], a[16], b[16];
    for (int i = 0; i < 16; ++i) {
        __m512i v = _mm512_zextsi128_si512(row(i));
        v = _mm512_inserti32x4(v, row(16 + i), 1);
        v = _mm512_inserti32x4(v, row(32 + i), 2);
        x[i] = _mm512_inserti32x4(v, row(48 + i), 3);
    }
    for (int k = 0; k < 8; ++k) {
        a[k] = _mm512_unpacklo_epi8(x[2 * k], x[2 * k + 1]);
        a[k + 8] = _mm512_unpackhi_epi8(x[2 * k], x[2 * k + 1]);
    }
    for (int half = 0; half < 2; ++half)
        for (int k = 0; k < 4; ++k) {
            const __m512i lo = a[8 * half + 2 * k], hi = a[8 * half + 2 * k + 1];
            b[8 * half + k] = _mm512_unpacklo_epi16(lo, hi);
            b[8 * half + k + 4] = _mm512_unpackhi_epi16(lo, hi);
        }
    for (int g = 0; g < 4; ++g) {
        const __m512i top01 = _mm512_unpacklo_epi32(b[4 * g], b[4 * g + 1]);
        const __m512i top23 = _mm512_unpackhi_epi32(b[4 * g], b[4 * g + 1]);
        const __m512i low01 = _mm512_unpacklo_epi32(b[4 * g + 2], b[4 * g + 3]);
        const __m512i low23 = _mm512_unpackhi_epi32(b[4 * g + 2], b[4 * g + 3]);
        std::uint8_t* line = out + 4 * g * step;
        _mm512_stream_si512(reinterpret_cast<__m512i*>(line), _mm512_unpacklo_epi64(top01, low01));
        _mm512_stream_si512(reinterpret_cast<__m512i*>(line + step),
                            _mm512_unpackhi_epi64(top01, low01));
        _mm512_stream_si512(reinterpret_cast<__m512i*>(line + 2 * step),
                            _mm512_unpacklo_epi64(top23, low23));
        _mm512_stream_si512(reinterpret_cast<__m512i*>(line + 3 * step),
                            _mm512_unpackhi_epi64(top23, low23));
    }
}
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

}  // namespace

void ColumnsToRows(const GrayImage& image, int width, int height, std::uint8_t* rows,
                   std::ptrdiff_t stride)
{
    if (width <= 0 || height <= 0)
        return;
    const int fullX = width & ~15, fullY = height & ~15;
    // Bands of 64 rows, each turned across the whole width: a band reads one
    // cache line of every column and writes a few hundred kilobytes of rows, so
    // on a tall picture neither side falls out of the caches and the address
    // translation buffer, as a walk down whole columns would. Bands own their
    // rows, so they may be turned on several threads.
    constexpr int kBand = 128;
    const int bands = (fullY + kBand - 1) / kBand;
    const int grain = std::max(1, (1 << 20) / std::max(1, width * kBand));
    ParallelFor(0, bands, grain, [&](int first, int last) {
        for (int band = first; band < last; ++band) {
            const int yBegin = band * kBand, yEnd = std::min(fullY, yBegin + kBand);
            for (int x0 = 0; x0 < fullX; x0 += 16) {
                // Columns from NewGrayImage lie at equal steps, so a block of 16
                // columns is one source whose stride is that step.
                const std::uint8_t* base = image[x0];
                const std::ptrdiff_t step = image[x0 + 1] - base;
                bool backToBack = true;
                for (int i = 1; i < 16; ++i)
                    backToBack = backToBack && image[x0 + i] == base + i * step;
                for (int y0 = yBegin; y0 < yEnd; y0 += 16) {
                    std::uint8_t* out = rows + y0 * stride + x0;
                    if (backToBack) {
                        Transpose16(base + y0, step, out, stride);
                    } else {
                        for (int i = 0; i < 16; ++i)
                            for (int r = 0; r < 16; ++r)
                                out[r * stride + i] = image[x0 + i][y0 + r];
                    }
                }
            }
        }
    });
    // The ragged right and bottom edges, byte by byte.
    for (int x = 0; x < width; ++x) {
        const std::uint8_t* column = image[x];
        for (int y = x < fullX ? fullY : 0; y < height; ++y)
            rows[y * stride + x] = column[y];
    }
}

void RowsToColumns(const std::uint8_t* rows, std::ptrdiff_t stride, int width, int rowCount,
                   GrayImage& image, int firstRow)
{
    if (width <= 0 || rowCount <= 0)
        return;
    const int fullX = width & ~15, fullY = rowCount & ~15;
    constexpr std::ptrdiff_t kLargeImage = 8 << 20;
    [[maybe_unused]] const bool large = width > 1 && (image[1] - image[0]) * width >= kLargeImage;
#if defined(__x86_64__)
    const bool wide = ActiveVectorLevel() >= VectorLevel::Avx512Vbmi;
#endif
    for (int x0 = 0; x0 < fullX; x0 += 16) {
        std::uint8_t* base = image[x0];
        const std::ptrdiff_t step = image[x0 + 1] - base;
        bool backToBack = true;
        for (int i = 1; i < 16; ++i)
            backToBack = backToBack && image[x0 + i] == base + i * step;
        int y0 = 0;
#if defined(__x86_64__)
        // In a large image whole cache lines of each column, 64 rows at a time,
        // go straight to memory: the lines are written once and read much
        // later, so fetching them first (as plain stores do) would only double
        // the traffic. A small image is better left in the caches.
        if (large && backToBack && step % 64 == 0)
            for (; y0 + 64 <= fullY; y0 += 64) {
                std::uint8_t* out = base + firstRow + y0;
                if (reinterpret_cast<std::uintptr_t>(out) % 64 != 0)
                    break;
                if (wide) {
                    StreamColumns64(rows + y0 * stride + x0, stride, out, step);
                    continue;
                }
                alignas(64) std::uint8_t block[16 * 64];
                for (int q = 0; q < 4; ++q)
                    Transpose16(rows + (y0 + 16 * q) * stride + x0, stride, block + 16 * q, 64);
                for (int i = 0; i < 16; ++i)
                    for (int q = 0; q < 4; ++q)
                        _mm_stream_si128(reinterpret_cast<__m128i*>(out + i * step + 16 * q),
                                         _mm_load_si128(reinterpret_cast<const __m128i*>(
                                             block + 64 * i + 16 * q)));
            }
#endif
        for (; y0 < fullY; y0 += 16) {
            const std::uint8_t* in = rows + y0 * stride + x0;
            if (backToBack) {
                Transpose16(in, stride, base + firstRow + y0, step);
            } else {
                for (int i = 0; i < 16; ++i)
                    for (int r = 0; r < 16; ++r)
                        image[x0 + i][firstRow + y0 + r] = in[r * stride + i];
            }
        }
    }
#if defined(__x86_64__)
    _mm_sfence();  // the streamed lines are in memory before anyone reads them
#endif
    for (int x = 0; x < width; ++x) {
        std::uint8_t* column = image[x] + firstRow;
        for (int r = x < fullX ? fullY : 0; r < rowCount; ++r)
            column[r] = rows[r * stride + x];
    }
}
