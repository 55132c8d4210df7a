// commands/CircularCommand.cpp
#include "CircularCommand.h"

#include <algorithm>

CircularResult RunFindCircular(const GrayImage& before, GrayImage& after, int width, int height,
                               const CircularSettings& settings, CircularWork* work)
{
    if (!HasPicture(before, after, width, height))
        return NotRun<CircularResult>(Outcome::NoPicture);
    CircularResult result;
    const CircularSettings& s = settings;
    CircularWork& w = work != nullptr ? *work : ProcessCircularWork();
    // After gets Before's pixels inside the tool, while its vote runs.
    result.votes = FindCircularEdge(w, before, after, static_cast<std::uint8_t>(s.strength), s.gap,
                                    s.direction, s.startAngle, s.endAngle, s.cx, s.cy,
                                    s.insideRadius, s.outsideRadius, width, height);
    result.ok = result.votes != 0;
    if (result.ok) {
        result.centreX = w.chosen.centreX;
        result.centreY = w.chosen.centreY;
        result.radius = w.chosen.radius;
    }
    result.spokes = static_cast<int>(w.spokes.size());
    result.hits = static_cast<int>(
        std::count_if(w.hits.begin(), w.hits.end(), [](const SpokeHit& h) { return h.found == 1; }));
    result.circles = w.DistinctCircles();
    return result;
}
