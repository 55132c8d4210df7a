// commands/MeasureTools.h: the measures of each command that ran on a picture.
#pragma once
#include "Measurements.h"

EdgeMeasures MeasureEdges(const GrayImage& before, int width, int height,
                          const EdgeSettings& settings, const EdgeResult& result);
StraightMeasures MeasureStraight(const GrayImage& before, int width, int height,
                                 const StraightSettings& settings, const StraightResult& result);
CircularMeasures MeasureCircular(const GrayImage& before, int width, int height,
                                 const CircularSettings& settings, const CircularResult& result);
DetectMeasures MeasureDetect(const GrayImage& before, int width, int height,
                             const DetectSettings& settings, const DetectResult& result);
ThresholdMeasures MeasureThreshold(const GrayImage& before, int width, int height,
                                   const ThresholdResult& result, const Corners& roi);

// Detect's objects by our own labelling of the region the result names, with
// the tool's rule (connectivity, object test, objects touching a side dropped)
// and in its order, each with its centroid: the tool's table keeps no sums.
std::vector<ObjectMeasure> LabelOwnObjects(const GrayImage& image, const DetectSettings& settings,
                                           const DetectResult& result);

// The scan lines of the straight-edge tool's rake and their hits on image, as
// the tool casts them; empty for a rake the tool refuses.
struct RakeLine {
    int startX, startY, endX, endY;
    ScanHit hit;
};
std::vector<RakeLine> CastRake(const GrayImage& image, int width, int height,
                               const StraightSettings& settings);
