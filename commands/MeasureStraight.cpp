// commands/MeasureStraight.cpp: Find Straight.
#include "MeasureFit.h"
#include "MeasureTools.h"

#include "Find_edge.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

using i64 = std::int64_t;

constexpr i64 kMaxScanLines = 1'000'000;  // the tool's hit table: a longer rake does nothing

int Saturate(i64 v) { return static_cast<int>(std::clamp<i64>(v, INT_MIN, INT_MAX)); }

bool SameRun(const StepRun& a, const StepRun& b)
{
    return a.a == b.a && a.b == b.b && a.firstX == b.firstX && a.firstY == b.firstY &&
           a.lastX == b.lastX && a.lastY == b.lastY && a.count == b.count;
}

}  // namespace

std::vector<RakeLine> CastRake(const GrayImage& image, int width, int height,
                               const StraightSettings& settings)
{
    std::vector<RakeLine> rake;
    const int gap = settings.gap, direction = settings.direction;
    if (gap < 1 || direction < kScanUp || direction > kScanRight)
        return rake;
    const Corners& c = settings.roi;
    // The tool's geometry, step for step: the same rounding gives the same lines.
    const i64 left = std::min(c.X1, c.X2), right = std::max(c.X1, c.X2);
    const i64 top = std::min(c.Y1, c.Y2), bottom = std::max(c.Y1, c.Y2);
    const bool across = direction == kScanUp || direction == kScanDown;
    const i64 from = across ? left : top, to = across ? right : bottom;
    const i64 span = to - from;
    const i64 count = span / gap + 1 + (span % gap != 0 ? 1 : 0);
    if (count > kMaxScanLines)
        return rake;
    const int n = static_cast<int>(count);
    const i64 cx = (left + right) / 2, cy = (top + bottom) / 2;  // truncation toward zero
    const float angle = static_cast<float>(settings.angle);
    auto turned = [&](i64 px, i64 py, int& x, int& y) {
        int rx, ry;
        RotatePoint(Saturate(px - cx), Saturate(py - cy), rx, ry, angle);
        x = Saturate(cx + rx);
        y = Saturate(cy + ry);
    };
    rake.resize(static_cast<std::size_t>(n));
    for (int s = 0; s < n; ++s) {
        const i64 p = s == n - 1 ? to : from + static_cast<i64>(gap) * s;
        RakeLine& line = rake[static_cast<std::size_t>(s)];
        switch (direction) {
        case kScanUp:
            turned(p, top, line.startX, line.startY);
            turned(p, bottom, line.endX, line.endY);
            break;
        case kScanLeft:
            turned(left, p, line.startX, line.startY);
            turned(right, p, line.endX, line.endY);
            break;
        case kScanDown:
            turned(p, bottom, line.startX, line.startY);
            turned(p, top, line.endX, line.endY);
            break;
        default:
            turned(right, p, line.startX, line.startY);
            turned(left, p, line.endX, line.endY);
            break;
        }
        line.hit = {0, 0, 0};
        if (FirstStepAtLeast(image, static_cast<std::uint8_t>(settings.strength), line.startX,
                             line.startY, line.endX, line.endY, width, height, line.hit.x,
                             line.hit.y))
            line.hit.found = 1;
    }
    return rake;
}

StraightMeasures MeasureStraight(const GrayImage& before, int width, int height,
                                 const StraightSettings& settings, const StraightResult& result)
{
    StraightMeasures m;
    if (!result.fitted)
        return m;
    const std::vector<RakeLine> rake = CastRake(before, width, height, settings);
    std::vector<ScanHit> hits;
    for (const RakeLine& line : rake)
        hits.push_back(line.hit);
    // The runs as the tool groups them: run r starts at the pair of scan lines
    // pairs[r], pairs[r] + 1, and takes in the next count − 1 runs.
    const std::vector<StepRun> runs = GroupStepRuns(hits);
    std::vector<std::size_t> pairs;
    for (std::size_t q = 0; q + 1 < hits.size(); ++q)
        if (hits[q].found == 1 && hits[q + 1].found == 1)
            pairs.push_back(q);
    std::size_t best = 0;
    for (std::size_t i = 1; i < runs.size(); ++i)
        if (runs[i].count > runs[best].count)  // the earliest of equal runs, as the tool picks
            best = i;
    std::vector<std::size_t> lines;  // the scan lines of the chosen run, in rake order
    if (!runs.empty() && SameRun(runs[best], result.run)) {
        const std::size_t end = best + static_cast<std::size_t>(runs[best].count);
        for (std::size_t r = best; r < end && r < pairs.size(); ++r) {
            if (lines.empty() || lines.back() != pairs[r])
                lines.push_back(pairs[r]);
            lines.push_back(pairs[r] + 1);
        }
    }
    for (const std::size_t q : lines) {
        const RakeLine& line = rake[q];
        m.runPoints.push_back({static_cast<double>(line.hit.x), static_cast<double>(line.hit.y)});
        const PointF from{static_cast<double>(line.startX), static_cast<double>(line.startY)};
        const PointF to{static_cast<double>(line.endX), static_cast<double>(line.endY)};
        const double guess = StepGuess(from, to, line.hit.x, line.hit.y);
        if (const std::optional<double> t = SubpixelStep(before, width, height, from, to, guess))
            m.subpixelPoints.push_back(PointAlong(from, to, *t));
    }
    m.tool = ToolLine(result.a, result.b, m.runPoints);
    m.subpixel = FitLine(m.subpixelPoints);
    return m;
}
