// commands/ThresholdCommand.cpp
#include "ThresholdCommand.h"

#include "Threshold.h"

int ThresholdInUse(const GrayImage& before, int width, int height,
                   const ThresholdSettings& settings)
{
    if (!settings.automatic)
        return settings.lower;
    if (settings.autoThreshold >= 0)
        return settings.autoThreshold;
    return AutoThreshold(before, 0, 0, width, height, width, height);
}

ThresholdResult RunThreshold(const GrayImage& before, GrayImage& after, int width, int height,
                             const ThresholdSettings& settings)
{
    if (!HasPicture(before, after, width, height))
        return NotRun<ThresholdResult>(Outcome::NoPicture);
    ThresholdResult result;
    CopyGrayImage(before, after, width, height);
    // Any mode below the band that is not dark or bright leaves the plain copy.
    if (settings.mode < kGrayObjects) {
        result.threshold = result.upper = ThresholdInUse(before, width, height, settings);
        ThresholdImage(before, after, settings.mode, result.threshold, 0, 0, width, height);
    } else if (settings.mode == kGrayObjects) {
        result.threshold = settings.lower;
        result.upper = settings.upper;
        ThresholdBand(before, after, settings.lower, settings.upper, 0, 0, width, height);
    }
    return result;
}
