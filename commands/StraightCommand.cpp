// commands/StraightCommand.cpp
#include "StraightCommand.h"

#include "Find_straight.h"

StraightResult RunFindStraight(const GrayImage& before, GrayImage& after, int width, int height,
                               const StraightSettings& settings)
{
    if (!HasPicture(before, after, width, height))
        return NotRun<StraightResult>(Outcome::NoPicture);
    StraightResult result;
    CopyGrayImage(before, after, width, height);
    const Corners& c = settings.roi;
    FindStraightEdge(after, static_cast<std::uint8_t>(settings.strength), settings.gap,
                     settings.direction, static_cast<float>(settings.angle), c.X1, c.Y1, c.X2,
                     c.Y2, width, height);
    return result;
}
