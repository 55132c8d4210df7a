// commands/EdgeCommand.cpp
#include "EdgeCommand.h"

EdgeResult RunFindEdge(const GrayImage& before, GrayImage& after, int width, int height,
                       const EdgeSettings& settings, EdgeWork* work)
{
    if (!HasPicture(before, after, width, height))
        return NotRun<EdgeResult>(Outcome::NoPicture);
    EdgeResult result;
    CopyGrayImage(before, after, width, height);
    const Corners& c = settings.line;
    EdgeWork& w = work != nullptr ? *work : ProcessEdgeWork();
    result.count = FindEdgesOnLine(w, after, static_cast<std::uint8_t>(settings.strength),
                                   settings.polarity, settings.lookFor, c.X1, c.Y1, c.X2, c.Y2,
                                   width, height);
    result.marks = w.marks;
    return result;
}
