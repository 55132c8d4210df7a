// commands/MeasureGauges.cpp: Find Edge and Find Circular.
#include "MeasureFit.h"
#include "MeasureTools.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// A hit agrees with the voted circle when its sub-pixel point lies this close to it.
constexpr double kAgreement = 2.0;


}  // namespace

EdgeMeasures MeasureEdges(const GrayImage& before, int width, int height,
                          const EdgeSettings& settings, const EdgeResult& result)
{
    EdgeMeasures m;
    const Corners& c = settings.line;
    const PointF from{static_cast<double>(c.X1), static_cast<double>(c.Y1)};
    const PointF to{static_cast<double>(c.X2), static_cast<double>(c.Y2)};
    int index = 0;
    for (const EdgeMark& mark : result.marks) {
        EdgeMeasure e;
        e.index = ++index;
        e.x = mark.x;
        e.y = mark.y;
        e.polarity = mark.polarity;
        e.strength = mark.strength;
        // Bright to dark is a fall in gray along the line.
        const int sign = mark.polarity == +1 ? -1 : +1;
        const std::optional<double> t = SubpixelStep(before, width, height, from, to,
                                                     StepGuess(from, to, mark.x, mark.y), sign);
        // Where no step of that sign is near, the whole-pixel edge stands.
        e.along = t ? *t : AlongLine(from, to, mark.x, mark.y);
        e.sub = PointAlong(from, to, e.along);
        m.edges.push_back(e);
    }
    for (std::size_t i = 1; i < m.edges.size(); ++i)
        m.spacing.push_back(m.edges[i].along - m.edges[i - 1].along);
    return m;
}

CircularMeasures MeasureCircular(const GrayImage& before, int width, int height,
                                 const CircularSettings& s, const CircularResult& result)
{
    CircularMeasures m;
    m.ok = result.ok;
    CircularWork work;
    BuildSpokes(work, s.gap, s.direction, s.startAngle, s.endAngle, s.cx, s.cy, s.insideRadius,
                s.outsideRadius);
    std::vector<PointF> hits;
    for (const Spoke& spoke : work.spokes) {
        const SpokeHit hit = FirstEdgeOnSpoke(before, static_cast<std::uint8_t>(s.strength), spoke,
                                              width, height);
        if (hit.found != 1)
            continue;
        hits.push_back({static_cast<double>(hit.x), static_cast<double>(hit.y)});
        const PointF from{static_cast<double>(spoke.startX), static_cast<double>(spoke.startY)};
        const PointF to{static_cast<double>(spoke.endX), static_cast<double>(spoke.endY)};
        const std::optional<double> t =
            SubpixelStep(before, width, height, from, to, StepGuess(from, to, hit.x, hit.y));
        if (t)
            m.subpixelHits.push_back(PointAlong(from, to, *t));
    }
    if (!result.ok)
        return m;
    CircleFit& voted = m.voted;
    voted.ok = true;
    voted.centre = {static_cast<double>(result.centreX), static_cast<double>(result.centreY)};
    voted.radius = static_cast<double>(result.radius);
    voted.rms = CircleRms(voted.centre, voted.radius, hits);
    voted.inliers = static_cast<int>(hits.size());
    std::vector<PointF> agree;
    for (const PointF& p : m.subpixelHits)
        if (std::abs(std::hypot(p.x - voted.centre.x, p.y - voted.centre.y) - voted.radius) <=
            kAgreement)
            agree.push_back(p);
    m.refined = FitCircle(agree);
    return m;
}
