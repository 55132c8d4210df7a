// commands/StraightCommand.h
#pragma once
#include "CommandTypes.h"

struct StraightSettings {
    int direction = 0;  // "Direction": UP, LEFT, DOWN, RIGHT
    int gap = 1;        // "Gap" between scan lines, 1..100
    int strength = 0;   // "Edge Strength", 0..255
    int angle = 0;      // "Angle" the rake is turned by, 0..360 degrees
    Corners roi;        // any order: the tool orders them itself
    friend bool operator==(const StraightSettings&, const StraightSettings&) = default;
};

struct StraightResult : CommandReport {};

// Copies Before into After, then runs the straight-edge finder on After and
// draws its rake and the fitted line there.
StraightResult RunFindStraight(const GrayImage& before, GrayImage& after, int width, int height,
                               const StraightSettings& settings);
