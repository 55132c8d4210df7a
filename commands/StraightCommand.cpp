// commands/StraightCommand.cpp
#include "StraightCommand.h"

#include <algorithm>

StraightResult RunFindStraight(const GrayImage& before, GrayImage& after, int width, int height,
                               const StraightSettings& settings, StraightWork* work)
{
    if (!HasPicture(before, after, width, height))
        return NotRun<StraightResult>(Outcome::NoPicture);
    StraightResult result;
    CopyGrayImage(before, after, width, height);
    const Corners& c = settings.roi;
    StraightWork& w = work != nullptr ? *work : ProcessStraightWork();
    w.fitted = false;  // a rake that does nothing fits nothing
    w.hits.clear();
    FindStraightEdge(w, after, static_cast<std::uint8_t>(settings.strength), settings.gap,
                     settings.direction, static_cast<float>(settings.angle), c.X1, c.Y1, c.X2,
                     c.Y2, width, height);
    result.scanLines = static_cast<int>(w.hits.size());
    result.hits = static_cast<int>(
        std::count_if(w.hits.begin(), w.hits.end(), [](const ScanHit& h) { return h.found == 1; }));
    result.fitted = w.fitted;
    if (w.fitted) {
        result.a = w.a;
        result.b = w.b;
        result.run = w.run;
    }
    return result;
}
