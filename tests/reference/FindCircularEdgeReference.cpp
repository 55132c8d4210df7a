// tests/reference/FindCircularEdgeReference.cpp
#include "FindCircularEdgeReference.h"
#include "Extended.h"

#include "FindEdgeReference.h"
#include "ImageReference.h"

#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

using i128 = __int128;

// m[i][j]: element j of entry i; the six triple products summed in order.
i128 Determinant(const i128 m[3][3])
{
    i128 d = m[0][0] * m[1][1] * m[2][2];
    d -= m[0][0] * m[1][2] * m[2][1];
    d -= m[0][1] * m[1][0] * m[2][2];
    d += m[0][1] * m[1][2] * m[2][0];
    d += m[0][2] * m[1][0] * m[2][1];
    d -= m[0][2] * m[1][1] * m[2][0];
    return d;
}

struct Accumulator {
    // The used entries, then one entry with the end marker.
    struct Entry {
        long long x = 0, y = 0, radius = 0;
        int votes = 0;
        int endMarker = 1;
    };
    std::vector<Entry> table = std::vector<Entry>(1);
    int cx = 0, cy = 0;

    void Add(i128 D, i128 E, i128 F)
    {
        const i128 limit = static_cast<i128>(1) << 62;
        if (D <= -limit || D >= limit || E <= -limit || E >= limit || F <= -limit || F >= limit)
            return;
        const long long x = cx + static_cast<long long>(-D / 2);
        const long long y = cy + static_cast<long long>(-E / 2);
        const float q = static_cast<float>(D * D + E * E - 4 * F);
        if (q <= 0)
            return;
        const long long radius = static_cast<long long>(std::sqrt(q) * 0.5f);
        for (std::size_t i = 0;; ++i) {
            Entry& e = table[i];
            if (e.endMarker == 1) {
                e = {x, y, radius, 1, 0};
                table.push_back(Entry{});
                return;
            }
            if (e.x == x && e.y == y && e.radius == radius) {
                e.votes += 1;
                return;
            }
        }
    }

    void Circle(long long x0, long long y0, long long x1, long long y1, long long x2,
                long long y2)
    {
        const long long far = 1LL << 30;
        for (long long v : {x0, y0, x1, y1, x2, y2})
            if (v <= -far || v >= far)
                return;
        const i128 x[3] = {x0, x1, x2}, y[3] = {y0, y1, y2};
        i128 r[3], M[3][3], N[3][3];
        for (int i = 0; i < 3; ++i) {
            r[i] = -(x[i] * x[i] + y[i] * y[i]);
            M[i][0] = x[i];
            M[i][1] = y[i];
            M[i][2] = 1;
        }
        const i128 det = Determinant(M);
        if (det == 0)
            return;
        i128 coefficient[3];
        for (int c = 0; c < 3; ++c) {
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    N[i][j] = j == c ? r[i] : M[i][j];
            coefficient[c] = Determinant(N) / det;
        }
        Add(coefficient[0], coefficient[1], coefficient[2]);
    }

    std::vector<CircleVote> Votes() const
    {
        std::vector<CircleVote> votes;
        for (std::size_t i = 0; table[i].endMarker == 0; ++i)
            votes.push_back({table[i].x, table[i].y, table[i].radius, table[i].votes});
        return votes;
    }
};

void DrawAnyCircle(GrayImage& image, long long radius, std::uint8_t value, long long cx,
                   long long cy, int width, int height)
{
    // The literal walk takes about 2r steps; beyond a few million the fast
    // versions draw (they match it wherever both can run).
    if (radius < (1 << 22) && std::llabs(cx) < (1 << 28) && std::llabs(cy) < (1 << 28))
        ReferenceDrawCircle(image, static_cast<int>(radius), value, static_cast<int>(cx),
                            static_cast<int>(cy), width, height);
    else if (radius <= INT_MAX && cx >= INT_MIN && cx <= INT_MAX && cy >= INT_MIN && cy <= INT_MAX)
        DrawCircle(image, static_cast<int>(radius), value, static_cast<int>(cx),
                   static_cast<int>(cy), width, height);
    else
        DrawWideCircle(image, radius, value, cx, cy, width, height);
}

}  // namespace

std::vector<Spoke> ReferenceBuildSpokes(int gap, int direction, int startAngle, int endAngle,
                                        int cx, int cy, int insideRadius, int outsideRadius)
{
    std::vector<Spoke> spokes;
    const int n = std::abs(startAngle - endAngle) / gap;
    for (int k = 0; k < n; ++k) {
        // Ext: each step in x87 extended precision, whatever long double is here.
        const long double theta = Ext((startAngle + gap * k) * 3.141592654 * Ext(1.0L / 180));
        const long double c = Ext(std::cos(theta)), s = Ext(std::sin(theta));
        const int innerX = static_cast<int>(std::trunc(Ext(cx + Ext(insideRadius * c))));
        const int innerY = static_cast<int>(std::trunc(Ext(cy + Ext(insideRadius * s))));
        const int outerX = static_cast<int>(std::trunc(Ext(cx + Ext(outsideRadius * c))));
        const int outerY = static_cast<int>(std::trunc(Ext(cy + Ext(outsideRadius * s))));
        if (direction == 0)
            spokes.push_back({outerX, outerY, innerX, innerY});
        else
            spokes.push_back({innerX, innerY, outerX, outerY});
    }
    return spokes;
}

std::vector<CircleVote> ReferenceVoteCircles(const std::vector<SpokeHit>& hits, int cx, int cy)
{
    Accumulator accumulator;
    accumulator.cx = cx;
    accumulator.cy = cy;
    const int n = static_cast<int>(hits.size());
    for (int i = 0; i <= n - 3; ++i)
        for (int j = i + 1; j <= n - 2; ++j)
            for (int k = j + 1; k <= n - 1; ++k) {
                const SpokeHit& a = hits[static_cast<std::size_t>(i)];
                const SpokeHit& b = hits[static_cast<std::size_t>(j)];
                const SpokeHit& c = hits[static_cast<std::size_t>(k)];
                if (a.found == 1 && b.found == 1 && c.found == 1)
                    accumulator.Circle(static_cast<long long>(a.x) - cx,
                                       static_cast<long long>(a.y) - cy,
                                       static_cast<long long>(b.x) - cx,
                                       static_cast<long long>(b.y) - cy,
                                       static_cast<long long>(c.x) - cx,
                                       static_cast<long long>(c.y) - cy);
            }
    return accumulator.Votes();
}

ReferenceCircularResult ReferenceFindCircularEdge(GrayImage& image, int threshold, int gap,
                                                  int direction, int startAngle, int endAngle,
                                                  int cx, int cy, int insideRadius,
                                                  int outsideRadius, int width, int height)
{
    ReferenceCircularResult result;
    result.spokes = ReferenceBuildSpokes(gap, direction, startAngle, endAngle, cx, cy,
                                         insideRadius, outsideRadius);
    int m = 0;
    for (const Spoke& s : result.spokes) {
        SpokeHit hit{0, 0, 0};
        bool havePrevious = false;
        int previous = 0;
        for (const ReferencePoint p : ReferenceLinePoints(s.startX, s.startY, s.endX, s.endY)) {
            if (p.x < 0 || p.x >= width || p.y < 0 || p.y >= height)
                continue;
            const int g = image[p.x][p.y];
            if (!havePrevious) {
                previous = g;
                havePrevious = true;
            }
            if (std::abs(g - previous) >= threshold) {
                hit = {p.x, p.y, 1};
                break;
            }
            previous = g;
        }
        result.hits.push_back(hit);
        m += hit.found;
    }
    for (std::size_t k = 0; k < result.spokes.size(); ++k) {
        if (result.hits[k].found == 1)
            ReferenceDrawCircle(image, 2, 255, result.hits[k].x, result.hits[k].y, width, height);
        const Spoke& s = result.spokes[k];
        ReferenceDrawLine(image, 128, s.startX, s.startY, s.endX, s.endY, width, height);
    }
    if (m < 3)
        return result;
    result.votes = ReferenceVoteCircles(result.hits, cx, cy);
    for (const CircleVote& v : result.votes)
        if (v.votes >= result.chosen.votes)
            result.chosen = v;
    if (result.chosen.votes > 0)
        DrawAnyCircle(image, result.chosen.radius, 0, result.chosen.centreX,
                      result.chosen.centreY, width, height);
    ReferenceDrawCircle(image, insideRadius, 255, cx, cy, width, height);
    ReferenceDrawCircle(image, outsideRadius, 128, cx, cy, width, height);
    result.result = result.chosen.votes;
    return result;
}
