// tests/reference/FindEdgeReference.cpp
#include "FindEdgeReference.h"

#include "ImageReference.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

std::vector<ReferencePoint> ReferenceLinePoints(int x1, int y1, int x2, int y2)
{
    const int dx = x2 - x1, dy = y2 - y1;
    const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const bool steep = std::abs(dy) > std::abs(dx);
    const int L = std::max(std::abs(dx), std::abs(dy)), S = std::min(std::abs(dx), std::abs(dy));
    int e = 2 * S - L;
    int x = x1, y = y1;
    std::vector<ReferencePoint> points;
    for (int i = 1; i <= L; ++i) {
        points.push_back({x, y});
        if (e >= 0) {
            if (steep)
                x += sx;
            else
                y += sy;
            e -= 2 * L;
        }
        if (steep)
            y += sy;
        else
            x += sx;
        e += 2 * S;
    }
    return points;
}

std::vector<ReferenceEdgeEntry> ReferenceEdgeProfile(const GrayImage& image, int x1, int y1,
                                                     int x2, int y2, int width, int height)
{
    const std::vector<ReferencePoint> points = ReferenceLinePoints(x1, y1, x2, y2);
    std::vector<ReferenceEdgeEntry> table(points.size() + 1);
    table[0].x = x1;
    table[0].y = y1;
    bool havePrevious = false;
    int previous = 0;
    for (std::size_t i = 1; i <= points.size(); ++i) {
        const ReferencePoint p = points[i - 1];
        table[i].x = p.x;
        table[i].y = p.y;
        if (p.x < 0 || p.x >= width || p.y < 0 || p.y >= height)
            continue;  // no sample, and not the previous point of the next one
        const int g = image[p.x][p.y];
        if (!havePrevious) {
            previous = g;
            havePrevious = true;
        }
        table[i].strength = std::abs(g - previous);
        table[i].polarity = g - previous < 0 ? +1 : -1;
        table[i].sample = true;
        previous = g;
    }
    return table;
}

int ReferenceFindEdgesOnLine(GrayImage& image, int threshold, int polarityFilter, int lookFor,
                             int x1, int y1, int x2, int y2, int width, int height)
{
    const std::vector<ReferenceEdgeEntry> table =
        ReferenceEdgeProfile(image, x1, y1, x2, y2, width, height);
    const int L = static_cast<int>(table.size()) - 1;
    ReferenceDrawLine(image, 128, x1, y1, x2, y2, width, height);
    auto passes = [&](int i) {
        const ReferenceEdgeEntry& e = table[static_cast<std::size_t>(i)];
        if (!e.sample || e.strength < threshold)
            return false;
        return polarityFilter == 0 || (polarityFilter == 1 && e.polarity == -1) ||
               (polarityFilter == 2 && e.polarity == +1);
    };
    auto mark = [&](int i) {
        const ReferenceEdgeEntry& e = table[static_cast<std::size_t>(i)];
        ReferenceDrawCircle(image, 5, e.polarity == +1 ? 255 : 128, e.x, e.y, width, height);
    };
    int count = 0;
    if (lookFor == 0) {
        for (int i = 1; i <= L; ++i)
            if (passes(i)) {
                mark(i);
                ++count;
            }
    } else if (lookFor == 1) {
        for (int i = 1; i <= L; ++i)
            if (passes(i)) {
                mark(i);
                break;
            }
    } else if (lookFor == 2) {
        for (int i = 1; i <= L; ++i)
            if (passes(i)) {
                mark(i);
                break;
            }
        for (int i = L; i >= 1; --i)
            if (passes(i)) {
                mark(i);
                break;
            }
    }
    return count;
}

GrayImage DiscScene(int width, int height, int cx, int cy, int radius, int inside, int outside)
{
    GrayImage image = NewGrayImage(width, height);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y) {
            const long long u = x - cx, v = y - cy;
            image[x][y] = static_cast<std::uint8_t>(
                u * u + v * v <= static_cast<long long>(radius) * radius ? inside : outside);
        }
    return image;
}

GrayImage RandomGaugingScene(std::mt19937& rng, int width, int height)
{
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<int> level(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                           pick(40, 215));
    auto at = [&](int x, int y) -> int& {
        return level[static_cast<std::size_t>(x) * static_cast<std::size_t>(height) +
                     static_cast<std::size_t>(y)];
    };
    const int features = pick(2, 4);
    for (int f = 0; f < features; ++f) {
        switch (pick(0, 2)) {
        case 0: {  // a step across a line of any direction
            const double angle = pick(0, 359) * 3.14159265358979 / 180;
            const double ox = pick(0, width - 1), oy = pick(0, height - 1);
            const int delta = pick(40, 150) * (pick(0, 1) == 0 ? 1 : -1);
            for (int x = 0; x < width; ++x)
                for (int y = 0; y < height; ++y)
                    if ((x - ox) * std::cos(angle) + (y - oy) * std::sin(angle) > 0)
                        at(x, y) += delta;
            break;
        }
        case 1: {  // a ramp
            const int sx = pick(-8, 8), sy = pick(-8, 8);
            for (int x = 0; x < width; ++x)
                for (int y = 0; y < height; ++y)
                    at(x, y) += (sx * x + sy * y) / 8;
            break;
        }
        default: {  // a disc
            const int cx = pick(-10, width + 10), cy = pick(-10, height + 10);
            const int radius = pick(0, std::max(width, height));
            const int delta = pick(40, 150) * (pick(0, 1) == 0 ? 1 : -1);
            for (int x = 0; x < width; ++x)
                for (int y = 0; y < height; ++y)
                    if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius)
                        at(x, y) += delta;
            break;
        }
        }
    }
    const int noise = pick(0, 2) == 0 ? pick(1, 30) : 0;
    GrayImage image = NewGrayImage(width, height);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y) {
            const int n = noise > 0 ? pick(-noise, noise) : 0;
            image[x][y] = static_cast<std::uint8_t>(std::clamp(at(x, y) + n, 0, 255));
        }
    return image;
}
