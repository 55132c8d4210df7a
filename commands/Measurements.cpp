// commands/Measurements.cpp
#include "Measurements.h"

#include "MeasureTools.h"

CommandMeasures MeasureCommand(const GrayImage& before, int width, int height,
                               const CommandSettings& settings, const CommandResult& result,
                               const Corners& roi)
{
    if (!before || width <= 0 || height <= 0 || !ReportOf(result).Ran())
        return std::monostate{};
    // Settings and result must be of one command; a mismatched pair measures nothing.
    if (const auto* s = std::get_if<EdgeSettings>(&settings))
        if (const auto* r = std::get_if<EdgeResult>(&result))
            return MeasureEdges(before, width, height, *s, *r);
    if (const auto* s = std::get_if<StraightSettings>(&settings))
        if (const auto* r = std::get_if<StraightResult>(&result))
            return MeasureStraight(before, width, height, *s, *r);
    if (const auto* s = std::get_if<CircularSettings>(&settings))
        if (const auto* r = std::get_if<CircularResult>(&result))
            return MeasureCircular(before, width, height, *s, *r);
    if (const auto* s = std::get_if<DetectSettings>(&settings))
        if (const auto* r = std::get_if<DetectResult>(&result))
            return MeasureDetect(before, width, height, *s, *r);
    if (std::holds_alternative<ThresholdSettings>(settings))
        if (const auto* r = std::get_if<ThresholdResult>(&result))
            return MeasureThreshold(before, width, height, *r, roi);
    return std::monostate{};
}
