// tests/reference/FindStraightReference.cpp
#include "FindStraightReference.h"

#include "FindEdgeReference.h"
#include "ImageReference.h"

#include <cstdlib>
#include <utility>

namespace {

struct ProfileEntry {
    int x = 0, y = 0, strength = 0;
    bool sample = false;
};

// Entries 0..L; entry 0 is never a sample.
std::vector<ProfileEntry> ScanProfileTable(const GrayImage& image, int x1, int y1, int x2, int y2,
                                           int width, int height)
{
    const std::vector<ReferencePoint> points = ReferenceLinePoints(x1, y1, x2, y2);
    std::vector<ProfileEntry> table(points.size() + 1);
    bool havePrevious = false;
    int previous = 0;
    for (std::size_t i = 1; i <= points.size(); ++i) {
        const ReferencePoint p = points[i - 1];
        if (p.x < 0 || p.x >= width || p.y < 0 || p.y >= height)
            continue;
        const int g = image[p.x][p.y];
        if (!havePrevious) {
            previous = g;
            havePrevious = true;
        }
        table[i] = {p.x, p.y, std::abs(g - previous), true};
        previous = g;
    }
    return table;
}

}  // namespace

std::vector<StepRun> ReferenceGroupStepRuns(const std::vector<ScanHit>& hits)
{
    std::vector<StepRun> table(1);  // entry 0: the end mark (count 0)
    const int N = static_cast<int>(hits.size());
    for (int q = 0; q <= N - 2; ++q)
        if (hits[static_cast<std::size_t>(q)].found == 1 &&
            hits[static_cast<std::size_t>(q + 1)].found == 1) {
            const ScanHit& h = hits[static_cast<std::size_t>(q)];
            const ScanHit& k = hits[static_cast<std::size_t>(q + 1)];
            table.back() = {h.x - k.x, h.y - k.y, h.x, h.y, k.x, k.y, 1};
            table.push_back(StepRun{0, 0, 0, 0, 0, 0, 0});
        }
    int n = 0;
    while (table[static_cast<std::size_t>(n)].count != 0)
        ++n;
    for (int i = 0; i <= n - 2; ++i) {
        StepRun& r = table[static_cast<std::size_t>(i)];
        for (int j = i + 1; j < n; ++j) {
            const StepRun& s = table[static_cast<std::size_t>(j)];
            if (std::abs(r.a - s.a) > 1 || std::abs(r.b - s.b) > 1)
                break;
            r.count += 1;
            r.lastX = s.firstX;
            r.lastY = s.firstY;
        }
    }
    table.pop_back();
    return table;
}

void ReferenceDrawFittedLine(GrayImage& image, float a, float b, int width, int height)
{
    if (a != 10000.0f) {
        for (int x = 0; x <= width - 2; ++x) {
            const float fy = a * static_cast<float>(x) + b;
            if (fy > -1e9f && fy < 1e9f) {
                const int y = static_cast<int>(fy);
                if (0 < y && y < height)
                    image[x][y] = 128;
            }
        }
    } else {
        const int c = static_cast<int>(b);
        if (0 <= c && c < width)
            for (int y = 0; y <= height - 2; ++y)
                image[c][y] = 128;
    }
}

ReferenceStraightResult ReferenceFindStraightEdge(GrayImage& image, int threshold, int gap,
                                                  int direction, float angle, int X1, int Y1,
                                                  int X2, int Y2, int width, int height)
{
    ReferenceStraightResult result;
    if (X1 > X2)
        std::swap(X1, X2);
    if (Y1 > Y2)
        std::swap(Y1, Y2);
    GrayImage unmarked = NewGrayImage(width, height);
    CopyGrayImage(image, unmarked, width, height);
    const int span = direction % 2 == 0 ? X2 - X1 : Y2 - Y1;
    int N = std::abs(span) / gap + 1;
    if (span % gap != 0)
        N += 1;
    const int cx = (X1 + X2) / 2, cy = (Y1 + Y2) / 2;
    for (int s = 0; s < N; ++s) {
        int p = (direction % 2 == 0 ? X1 : Y1) + gap * s;
        if (s == N - 1)
            p = direction % 2 == 0 ? X2 : Y2;
        int sx, sy, ex, ey;
        if (direction == 0) {
            sx = p, sy = Y1, ex = p, ey = Y2;
        } else if (direction == 1) {
            sx = X1, sy = p, ex = X2, ey = p;
        } else if (direction == 2) {
            sx = p, sy = Y2, ex = p, ey = Y1;
        } else {
            sx = X2, sy = p, ex = X1, ey = p;
        }
        int rx, ry;
        RotatePoint(sx - cx, sy - cy, rx, ry, angle);
        sx = cx + rx;
        sy = cy + ry;
        RotatePoint(ex - cx, ey - cy, rx, ry, angle);
        ex = cx + rx;
        ey = cy + ry;
        const std::vector<ProfileEntry> table =
            ScanProfileTable(unmarked, sx, sy, ex, ey, width, height);
        ScanHit hit{0, 0, 0};
        for (std::size_t i = 1; i < table.size(); ++i)
            if (table[i].sample && table[i].strength >= threshold) {
                hit = {table[i].x, table[i].y, 1};
                break;
            }
        result.hits.push_back(hit);
        ReferenceDrawLine(image, 200, sx, sy, ex, ey, width, height);
        ReferenceDrawCircle(image, 5, 200, ex, ey, width, height);
        if (hit.found == 1)
            ReferenceDrawCircle(image, 5, 200, hit.x, hit.y, width, height);
    }
    result.runs = ReferenceGroupStepRuns(result.hits);
    const int n = static_cast<int>(result.runs.size());
    if (n == 0)
        return result;
    int best = 0;
    for (int i = 1; i < n; ++i)
        if (result.runs[static_cast<std::size_t>(i)].count >
            result.runs[static_cast<std::size_t>(best)].count)
            best = i;
    const StepRun& r = result.runs[static_cast<std::size_t>(best)];
    LineThroughPoints(r.firstX, r.firstY, r.lastX, r.lastY, result.a, result.b);
    result.fitted = true;
    ReferenceDrawFittedLine(image, result.a, result.b, width, height);
    return result;
}
