// tests/reference/FilterReference.cpp
#include "FilterReference.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kGauss3[3][3] = {{1, 2, 1}, {2, 4, 2}, {1, 2, 1}};
constexpr int kGauss5[5][5] = {{1, 2, 4, 2, 1},
                               {2, 4, 8, 4, 2},
                               {4, 8, 16, 8, 4},
                               {2, 4, 8, 4, 2},
                               {1, 2, 4, 2, 1}};
constexpr int kGauss7[7][7] = {{1, 1, 2, 2, 2, 1, 1},   {1, 2, 2, 4, 2, 2, 1},
                               {2, 2, 4, 8, 4, 2, 2},   {2, 4, 8, 16, 8, 4, 2},
                               {2, 2, 4, 8, 4, 2, 2},   {1, 2, 2, 4, 2, 2, 1},
                               {1, 1, 2, 2, 2, 1, 1}};

int GaussWeight(int mask, int i, int j)  // i, j from -h to h
{
    const int h = (mask - 1) / 2;
    if (mask == 3)
        return kGauss3[i + h][j + h];
    if (mask == 5)
        return kGauss5[i + h][j + h];
    return kGauss7[i + h][j + h];
}

struct Area {
    int x0, y0, x1, y1;  // x in [x0, x1), y in [y0, y1)
};

Area Processed(int X1, int Y1, int X2, int Y2, int width, int height)
{
    return {std::max(X1, 0), std::max(Y1, 0), std::min(X2, width), std::min(Y2, height)};
}

bool WindowMask(int mask) { return mask == 3 || mask == 5 || mask == 7; }

bool Inside(int x, int y, int width, int height)
{
    return 0 <= x && x < width && 0 <= y && y < height;
}

// Calls pixel(x, y) for the rows y = y0 .. y1 - 1 and, inside each, x = x0 .. x1 - 1.
template <class Pixel>
void ForEachPixel(const Area& a, Pixel pixel)
{
    for (int y = a.y0; y < a.y1; ++y)
        for (int x = a.x0; x < a.x1; ++x)
            pixel(x, y);
}

std::uint8_t Gradient(int gx, int gy)
{
    const int magnitude = static_cast<int>(std::sqrt(static_cast<double>(gx * gx + gy * gy)));
    return static_cast<std::uint8_t>(magnitude > 255 ? 255 : magnitude);
}

}  // namespace

void ReferenceLowpassFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1,
                            int X2, int Y2, int width, int height)
{
    if (!WindowMask(mask))
        return;
    const int h = (mask - 1) / 2;
    ForEachPixel(Processed(X1, Y1, X2, Y2, width, height), [&](int x, int y) {
        int sum = 0, count = 0;
        for (int i = -h; i <= h; ++i)
            for (int j = -h; j <= h; ++j)
                if (Inside(x + i, y + j, width, height)) {
                    sum += src[x + i][y + j];
                    ++count;
                }
        dst[x][y] = static_cast<std::uint8_t>(sum / count);
    });
}

void ReferenceLocalAverageFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1,
                                 int X2, int Y2, int width, int height)
{
    if (!WindowMask(mask))
        return;
    const int h = (mask - 1) / 2;
    ForEachPixel(Processed(X1, Y1, X2, Y2, width, height), [&](int x, int y) {
        int sum = 0, count = 0;
        for (int i = -h; i <= h; ++i)
            for (int j = -h; j <= h; ++j)
                if (Inside(x + i, y + j, width, height)) {
                    sum += src[x + i][y + j];
                    ++count;
                }
        // A one-pixel image has no neighbours: the pixel keeps its value.
        if (count > 1)
            dst[x][y] = static_cast<std::uint8_t>((sum - src[x][y]) / (count - 1));
        else
            dst[x][y] = src[x][y];
    });
}

void ReferenceMedianFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1,
                           int X2, int Y2, int width, int height)
{
    if (!WindowMask(mask))
        return;
    const int h = (mask - 1) / 2;
    std::vector<double> values;
    ForEachPixel(Processed(X1, Y1, X2, Y2, width, height), [&](int x, int y) {
        values.clear();
        for (int j = -h; j <= h; ++j)  // row by row
            for (int i = -h; i <= h; ++i)
                if (Inside(x + i, y + j, width, height))
                    values.push_back(src[x + i][y + j]);
        const int n = static_cast<int>(values.size());
        SortAscending(values.data(), n);
        dst[x][y] = static_cast<std::uint8_t>(values[static_cast<std::size_t>(n / 2)]);
    });
}

void ReferenceGaussianFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1,
                             int X2, int Y2, int width, int height)
{
    if (!WindowMask(mask))
        return;
    const int h = (mask - 1) / 2;
    ForEachPixel(Processed(X1, Y1, X2, Y2, width, height), [&](int x, int y) {
        int s = 0, w = 0;
        for (int i = -h; i <= h; ++i)
            for (int j = -h; j <= h; ++j)
                if (Inside(x + i, y + j, width, height)) {
                    s += GaussWeight(mask, i, j) * src[x + i][y + j];
                    w += GaussWeight(mask, i, j);
                }
        dst[x][y] = static_cast<std::uint8_t>(s / w);
    });
}

void ReferenceLaplacianFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1,
                              int X2, int Y2, int width, int height)
{
    if (!WindowMask(mask))
        return;
    const int h = (mask - 1) / 2;
    ForEachPixel(Processed(X1, Y1, X2, Y2, width, height), [&](int x, int y) {
        int s = 0;
        for (int i = -h; i <= h; ++i)
            for (int j = -h; j <= h; ++j)
                if (Inside(x + i, y + j, width, height))
                    s += (i == 0 && j == 0 ? mask * mask - 1 : -1) * src[x + i][y + j];
        dst[x][y] = static_cast<std::uint8_t>(s < 0 ? 0 : s > 255 ? 255 : s);
    });
}

void ReferencePrewittFilter(const GrayImage& src, GrayImage& dst, int, int X1, int Y1, int X2,
                            int Y2, int width, int height)
{
    const GrayImage& s = src;
    ForEachPixel(Processed(X1, Y1, X2, Y2, width, height), [&](int x, int y) {
        int gx = 0, gy = 0;
        if (0 < x && x < width - 1 && 0 < y && y < height - 1) {
            gy = (s[x - 1][y + 1] + s[x][y + 1] + s[x + 1][y + 1]) -
                 (s[x - 1][y - 1] + s[x][y - 1] + s[x + 1][y - 1]);
            gx = (s[x + 1][y - 1] + s[x + 1][y] + s[x + 1][y + 1]) -
                 (s[x - 1][y - 1] + s[x - 1][y] + s[x - 1][y + 1]);
            gy /= 4;
            gx /= 4;
        }
        dst[x][y] = Gradient(gx, gy);
    });
}

void ReferenceSobelFilter(const GrayImage& src, GrayImage& dst, int, int X1, int Y1, int X2,
                          int Y2, int width, int height)
{
    const GrayImage& s = src;
    ForEachPixel(Processed(X1, Y1, X2, Y2, width, height), [&](int x, int y) {
        int gx = 0, gy = 0;
        if (0 < x && x < width - 1 && 0 < y && y < height - 1) {
            gy = (s[x - 1][y + 1] + 2 * s[x][y + 1] + s[x + 1][y + 1]) -
                 (s[x - 1][y - 1] + 2 * s[x][y - 1] + s[x + 1][y - 1]);
            gx = (s[x + 1][y - 1] + 2 * s[x + 1][y] + s[x + 1][y + 1]) -
                 (s[x - 1][y - 1] + 2 * s[x - 1][y] + s[x - 1][y + 1]);
            gy /= 4;
            gx /= 4;
        }
        dst[x][y] = Gradient(gx, gy);
    });
}

void ReferenceRobertsFilter(const GrayImage& src, GrayImage& dst, int, int X1, int Y1, int X2,
                            int Y2, int width, int height)
{
    const GrayImage& s = src;
    ForEachPixel(Processed(X1, Y1, X2, Y2, width, height), [&](int x, int y) {
        int d1 = 0, d2 = 0;
        if (x < width - 1 && y < height - 1) {
            d1 = (s[x][y] - s[x + 1][y + 1]) / 2;
            d2 = (s[x + 1][y] - s[x][y + 1]) / 2;
        }
        dst[x][y] = Gradient(d1, d2);
    });
}
