// tests/support/SubpixelTrials.h: one synthetic picture at a known sub-pixel
// place, one command and its measures, and how far they landed from the truth.
// Each trial is drawn from its seed alone, so a trial reproduces.
#pragma once

#include <cstdint>
#include <optional>

// Find Edge along the edge's normal (a line with whole end points, as the
// settings take them) on an edge at angle degrees: the signed error of the
// first edge's along, in pixels. None when the command finds no edge.
std::optional<double> EdgePositionError(double angle, double sigma, std::uint32_t seed);

// Find Straight across an edge at angle degrees: the error of the sub-pixel
// line's angle and of the tool's own line, in degrees.
struct LineErrors {
    double subpixel = 0, tool = 0;
};
std::optional<LineErrors> LineAngleError(double angle, double sigma, std::uint32_t seed);

// Find Circular on a disc: the distance of the refined centre from the true
// one and the radius error, in pixels.
struct CircleErrors {
    double centre = 0, radius = 0;
};
std::optional<CircleErrors> CircleError(double sigma, std::uint32_t seed);
