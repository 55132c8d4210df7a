// commands/StraightCommand.h
#pragma once
#include "CommandTypes.h"
#include "Find_straight.h"

struct StraightSettings {
    int direction = 0;  // "Direction": UP, LEFT, DOWN, RIGHT
    int gap = 1;        // "Gap" between scan lines, 1..100
    int strength = 0;   // "Edge Strength", 0..255
    int angle = 0;      // "Angle" the rake is turned by, 0..360 degrees
    Corners roi;        // any order: the tool orders them itself
    friend bool operator==(const StraightSettings&, const StraightSettings&) = default;
};

struct StraightResult : CommandReport {
    int scanLines = 0, hits = 0;  // the rake's lines, and those that found an edge
    bool fitted = false;          // a line was fitted and drawn
    float a = 0.0f, b = 0.0f;     // y = a·x + b in single precision; a = 10000: x = b
    StepRun run{};                // the run of nearly equal steps the line goes through
};

// Copies Before into After, then runs the straight-edge finder on After and
// draws its rake and the fitted line there.
// work holds the tool's tables; without one, the process-wide tables are used.
StraightResult RunFindStraight(const GrayImage& before, GrayImage& after, int width, int height,
                               const StraightSettings& settings, StraightWork* work = nullptr);
