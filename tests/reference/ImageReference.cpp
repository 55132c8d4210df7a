// tests/reference/ImageReference.cpp
#include "ImageReference.h"

#include <cstdlib>
#include <utility>

void ReferenceDrawLine(GrayImage& image, std::uint8_t value, int x1, int y1, int x2, int y2,
                       int width, int height)
{
    int dx = std::abs(x2 - x1), dy = std::abs(y2 - y1);
    const int sx = x2 - x1 < 0 ? -1 : 1, sy = y2 - y1 < 0 ? -1 : 1;
    bool steep = false;
    if (dy > dx) {
        std::swap(dx, dy);
        steep = true;
    }
    int e = 2 * dy - dx;
    int x = x1, y = y1;
    for (int i = 1; i <= dx; ++i) {
        if (0 <= x && x < width && 0 <= y && y < height)
            image[x][y] = value;
        if (e >= 0) {
            if (steep)
                x += sx;
            else
                y += sy;
            e -= 2 * dx;
        }
        if (steep)
            y += sy;
        else
            x += sx;
        e += 2 * dy;
    }
}

void ReferenceDrawCircle(GrayImage& image, int radius, std::uint8_t value, int cx, int cy,
                         int width, int height)
{
    auto set = [&](int x, int y) {
        if (0 <= x && x < width && 0 <= y && y < height)
            image[x][y] = value;
    };
    int x = cx, y = cy + radius, d = 0;
    while (y > cy) {
        set(x, y);
        set(x, 2 * cy - y);
        set(2 * cx - x, y);
        set(2 * cx - x, 2 * cy - y);
        if (d > 0) {
            d = d - 2 * (y - cy) + 1;
            y = y - 1;
        } else {
            d = d + 2 * (x - cx) + 1;
            x = x + 1;
        }
    }
    if (y == cy) {
        set(x, cy);
        set(x - 2 * radius, cy);
    }
}
