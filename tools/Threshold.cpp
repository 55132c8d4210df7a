// tools/Threshold.cpp
#include "Threshold.h"

#include <algorithm>
#include <array>
#include <cstdlib>

void HistogramImage(const GrayImage& src, GrayImage& hist, int x0, int y0, int x1, int y1)
{
    std::array<std::int64_t, 256> count{};
    for (int i = 0; i < 256; ++i)
        std::fill_n(hist[i], 64, std::uint8_t{0});
    for (int x = x0; x < x1; ++x) {
        const std::uint8_t* column = src[x];
        for (int y = y0; y < y1; ++y)
            ++count[column[y]];
    }
    std::int64_t peak = 1;  // an empty rectangle draws no bar and divides by nothing
    for (std::int64_t c : count)
        peak = std::max(peak, c);
    for (int i = 0; i < 256; ++i) {
        // 64-bit: on a very large picture count · 64 passes the 32-bit range.
        const int h = static_cast<int>(count[static_cast<std::size_t>(i)] * 64 / peak);
        for (int s = 0; s < h; ++s)
            hist[i][63 - s] = 255;
    }
}

void ThresholdImage(const GrayImage& src, GrayImage& dst, int mode, int t, int x0, int y0,
                    int x1, int y1)
{
    if (mode != 0 && mode != 1)
        return;
    for (int x = x0; x < x1; ++x) {
        const std::uint8_t* in = src[x];
        std::uint8_t* out = dst[x];
        if (mode == 0)
            for (int y = y0; y < y1; ++y)
                out[y] = in[y] <= t ? 255 : 0;
        else
            for (int y = y0; y < y1; ++y)
                out[y] = in[y] >= t ? 255 : 0;
    }
}

void ThresholdBand(const GrayImage& src, GrayImage& dst, int lower, int upper, int x0, int y0,
                   int x1, int y1)
{
    for (int x = x0; x < x1; ++x) {
        const std::uint8_t* in = src[x];
        std::uint8_t* out = dst[x];
        for (int y = y0; y < y1; ++y)
            out[y] = lower <= in[y] && in[y] <= upper ? 0 : 255;
    }
}

int AutoThreshold(const GrayImage& src, int x0, int y0, int x1, int y1, int width, int height)
{
    // The sums are 64-bit: a large textured picture passes 2^31 for S quickly.
    std::int64_t s = 0, sw = 0;
    const int xEnd = std::min(x1, width - 1), yEnd = std::min(y1, height - 1);
    for (int x = x0; x < xEnd; ++x) {
        const std::uint8_t* column = src[x];
        const std::uint8_t* right = src[x + 1];
        for (int y = y0; y < yEnd; ++y) {
            const int v = column[y];
            const int w = std::abs(right[y] - v) + std::abs(column[y + 1] - v);
            sw += w;
            s += static_cast<std::int64_t>(w) * v;
        }
    }
    return sw == 0 ? 255 : static_cast<int>(s / sw);
}

int CountAtOrAbove(const GrayImage& image, int t, int x0, int y0, int x1, int y1)
{
    int count = 0;
    for (int x = x0; x < x1; ++x) {
        const std::uint8_t* column = image[x];
        for (int y = y0; y < y1; ++y)
            count += column[y] >= t ? 1 : 0;
    }
    return count;
}
