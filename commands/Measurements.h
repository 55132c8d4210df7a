// commands/Measurements.h: the numbers a command measured, beside the marks and
// grids it draws. Computed afterwards from the Before image, the settings and
// the result, so the tools' own numbers never change; everything in pixels of
// the image, x to the right, y down, a pixel's centre at its whole coordinates.
#pragma once
#include "Command.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

struct PointF {
    double x = 0, y = 0;
    friend bool operator==(const PointF&, const PointF&) = default;
};

// Find Edge: every edge marked, in drawing order.
struct EdgeMeasure {
    int index = 0;         // from 1, in drawing order
    int x = 0, y = 0;      // where the tool found it
    PointF sub;            // sub-pixel position on the line
    double along = 0;      // sub-pixel distance from the line's start (X1, Y1)
    int polarity = 0;      // +1 bright to dark, -1 dark to bright
    int strength = 0;
};
struct EdgeMeasures {
    std::vector<EdgeMeasure> edges;
    std::vector<double> spacing;  // along[i + 1] - along[i]: widths and gaps in turn
};

// A straight line: y = a·x + b, or x = c when vertical.
struct LineFit {
    bool ok = false;
    bool vertical = false;
    double a = 0, b = 0, c = 0;
    double angle = 0;        // degrees, of the direction (1, a), in (-90, 90]
    int points = 0;          // the points fitted
    double rms = 0, worst = 0;  // distance of those points from the line
};
struct StraightMeasures {
    LineFit tool;                  // the tool's line over the run's whole-pixel hits
    LineFit subpixel;              // least squares over the run's sub-pixel edge points
    std::vector<PointF> runPoints; // the hits of the chosen run
    std::vector<PointF> subpixelPoints;
};

struct CircleFit {
    bool ok = false;
    PointF centre;
    double radius = 0;
    double rms = 0;   // of the inliers' distance from the circle
    int inliers = 0;
};
struct CircularMeasures {
    CircleFit voted;     // the tool's winner (votes in the result); rms over its hits
    CircleFit refined;   // least squares over the sub-pixel hits that agree with it
    std::vector<PointF> subpixelHits;
    bool ok = false;     // the tool's verdict
};

struct ObjectMeasure {
    int index = 0;  // from 1, in the tool's order
    DetectedObject object;
    PointF centroid;
};
struct DetectMeasures {
    std::vector<ObjectMeasure> objects;
    std::int64_t totalArea = 0;
};

// The pixels of the region of interest, split by the threshold the command used.
struct RegionStats {
    std::int64_t pixels = 0, above = 0, below = 0;  // above: value > threshold; below: value
                                                    // <= threshold (equality goes below)
    double mean = 0, deviation = 0;                 // population standard deviation
};
struct ThresholdMeasures {
    int threshold = 0, upper = 0;
    RegionStats region;
};

// Match Pattern, Filter, Morphology and Brightness measure nothing beyond
// their results.
using CommandMeasures = std::variant<std::monostate, EdgeMeasures, StraightMeasures,
                                     CircularMeasures, DetectMeasures, ThresholdMeasures>;

// The measures of a command that ran; monostate for any other. roi: the
// region of interest as it stood when the command ran (threshold statistics).
CommandMeasures MeasureCommand(const GrayImage& before, int width, int height,
                               const CommandSettings& settings, const CommandResult& result,
                               const Corners& roi);
