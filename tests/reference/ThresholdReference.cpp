// tests/reference/ThresholdReference.cpp
#include "ThresholdReference.h"

#include <cstdlib>

void ReferenceHistogramImage(const GrayImage& src, GrayImage& hist, int x0, int y0, int x1,
                             int y1)
{
    long long count[256];
    for (int i = 0; i < 256; ++i) {
        count[i] = 0;
        for (int y = 0; y < 64; ++y)
            hist[i][y] = 0;
    }
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            count[src[x][y]] = count[src[x][y]] + 1;
    long long peak = 1;
    for (int i = 0; i < 256; ++i)
        if (count[i] > peak)
            peak = count[i];
    for (int i = 0; i < 256; ++i) {
        const int h = RoundHalfAway(static_cast<float>(count[i] * 64 / peak));
        for (int s = 0; s < h; ++s)
            hist[i][63 - s] = 255;
    }
}

void ReferenceThresholdImage(const GrayImage& src, GrayImage& dst, int mode, int t, int x0,
                             int y0, int x1, int y1)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const int v = src[x][y];
            if (mode == 0)
                dst[x][y] = v <= t ? 255 : 0;
            else if (mode == 1)
                dst[x][y] = v >= t ? 255 : 0;
        }
}

void ReferenceThresholdBand(const GrayImage& src, GrayImage& dst, int lower, int upper, int x0,
                            int y0, int x1, int y1)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const int v = src[x][y];
            if (lower <= v && v <= upper)
                dst[x][y] = 0;
            else
                dst[x][y] = 255;
        }
}

int ReferenceAutoThreshold(const GrayImage& src, int x0, int y0, int x1, int y1, int width,
                           int height)
{
    long long s = 0, sw = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (x < width - 1 && y < height - 1) {
                const int v = src[x][y];
                const int w = std::abs(src[x + 1][y] - v) + std::abs(src[x][y + 1] - v);
                sw = sw + w;
                s = s + static_cast<long long>(w) * v;
            }
    if (sw == 0)
        return 255;
    return static_cast<int>(s / sw);
}

int ReferenceCountAtOrAbove(const GrayImage& image, int t, int x0, int y0, int x1, int y1)
{
    int count = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (image[x][y] >= t)
                count = count + 1;
    return count;
}
