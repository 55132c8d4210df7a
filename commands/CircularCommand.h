// commands/CircularCommand.h
#pragma once
#include "CommandTypes.h"
#include "Find_circular_edge.h"

#include <cstdint>

struct CircularSettings {
    int direction = 0;       // "Direction": INWARD, OUTWARD
    int gap = 10;            // "Gap" between spokes in degrees, 1..100
    int strength = 50;       // "Edge Strength", 0..255
    int startAngle = 0;      // 0..360
    int endAngle = 360;      // 0..360
    int insideRadius = 0;    // 0..100
    int outsideRadius = 100; // 0..250
    int cx = 0, cy = 0;      // the search centre: where the drag began (X1, Y1)
    friend bool operator==(const CircularSettings&, const CircularSettings&) = default;
};

struct CircularResult : CommandReport {
    int votes = 0;                // the winning circle's votes; 0 when none was found
    bool ok = false;              // the verdict: "OK" when a circle was found
    std::int64_t centreX = 0, centreY = 0, radius = 0;  // the winning circle, whole pixels
    int spokes = 0, hits = 0;     // the spokes cast, and those that found an edge
    std::size_t circles = 0;      // the distinct circles that received votes
};

// Copies Before into After, then casts the spokes about the centre on After,
// votes for the circle and draws the hits, spokes and winner there.
// work holds the tool's tables; without one, the process-wide tables are used.
CircularResult RunFindCircular(const GrayImage& before, GrayImage& after, int width, int height,
                               const CircularSettings& settings, CircularWork* work = nullptr);
