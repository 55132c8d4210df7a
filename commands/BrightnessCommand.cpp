// commands/BrightnessCommand.cpp
#include "BrightnessCommand.h"

BrightnessResult RunBrightness(const GrayImage& before, GrayImage& after, int width, int height,
                               const BrightnessSettings& settings)
{
    if (!HasPicture(before, after, width, height))
        return NotRun<BrightnessResult>(Outcome::NoPicture);
    BrightnessResult result;
    BuildBrightnessTable(result.table, settings.brightness, settings.contrast, settings.gamma);
    // Every pixel is written, so no copy of Before is needed first. The table is
    // built once, for the picture and for the result.
    MapThroughTable(result.table, before, after, width, height);
    return result;
}
