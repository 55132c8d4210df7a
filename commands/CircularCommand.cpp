// commands/CircularCommand.cpp
#include "CircularCommand.h"

#include "Find_circular_edge.h"

CircularResult RunFindCircular(const GrayImage& before, GrayImage& after, int width, int height,
                               const CircularSettings& settings)
{
    if (!HasPicture(before, after, width, height))
        return NotRun<CircularResult>(Outcome::NoPicture);
    CircularResult result;
    CopyGrayImage(before, after, width, height);
    const CircularSettings& s = settings;
    result.votes = FindCircularEdge(after, static_cast<std::uint8_t>(s.strength), s.gap,
                                    s.direction, s.startAngle, s.endAngle, s.cx, s.cy,
                                    s.insideRadius, s.outsideRadius, width, height);
    result.ok = result.votes != 0;
    if (result.ok) {
        const CircleVote winner = ChosenCircle();
        result.centreX = winner.centreX;
        result.centreY = winner.centreY;
        result.radius = winner.radius;
    }
    return result;
}
