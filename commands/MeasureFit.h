// commands/MeasureFit.h: the sub-pixel edge and the least-squares fits the
// measures are built from. Pixel centres at whole coordinates, as everywhere.
#pragma once
#include "Measurements.h"

#include <optional>
#include <span>

// The gray value at (x, y) from the four nearest pixels; none outside the
// square spanned by the pixel centres.
std::optional<double> Bilinear(const GrayImage& image, int width, int height, double x, double y);

// The sub-pixel position of the step nearest to t0 on the straight line from
// `from` towards `to`, as a distance from `from`. A profile samples the line
// every half pixel (bilinear) over t0 ± 6 px; its step lies at the centroid of
// the differences of one sign around the largest near t0 (within 2 px), taken
// out to where they change sign. The result is the mean over that profile and
// five more: half a step along, and half a pixel to either side. sign: +1 for
// a rise in gray, −1 for a fall, 0 for the sign of the largest difference near
// t0. None when the line has no length, t0 lies outside the image, or no
// difference of that sign is near.
std::optional<double> SubpixelStep(const GrayImage& image, int width, int height, PointF from,
                                   PointF to, double t0, int sign = 0);

// Where to look for the step that made the whole-pixel hit (x, y) an edge: it
// is the sample whose step from the previous sample reached the threshold, so
// the step lies half a sample spacing before it (a line of L points over
// `length` pixels spaces them length / L apart along it).
double StepGuess(PointF from, PointF to, int x, int y);

// The distance of the point (x, y) from `from` along the line towards `to`.
double AlongLine(PointF from, PointF to, double x, double y);
PointF PointAlong(PointF from, PointF to, double t);

// The tool's line y = a·x + b (a = 10000: x = b, as the straight-edge tool
// writes it) with rms and worst distance of points from it.
LineFit ToolLine(float a, float b, std::span<const PointF> points);
// The line nearest to the points in perpendicular distance (total least
// squares); not ok with fewer than two distinct points.
LineFit FitLine(std::span<const PointF> points);

// The circle through the points in least squares: an algebraic fit, then
// Gauss-Newton steps on the geometric distance. Not ok with fewer than three
// points or points on one line.
CircleFit FitCircle(std::span<const PointF> points);
// The rms distance of the points from a given circle.
double CircleRms(PointF centre, double radius, std::span<const PointF> points);
