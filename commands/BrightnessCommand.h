// commands/BrightnessCommand.h
#pragma once
#include "Brightness.h"
#include "CommandTypes.h"

struct BrightnessSettings {
    int brightness = 128;  // 0..255, 128 leaves the level alone
    int contrast = 45;     // the contrast angle, 1..89 degrees
    float gamma = 1.0f;    // single precision, as the gamma position gives it
    friend bool operator==(const BrightnessSettings&, const BrightnessSettings&) = default;
};

struct BrightnessResult : CommandReport {
    BrightnessTable table{};  // the table every pixel went through
};

// Maps every pixel of Before through the table into After; the region of
// interest plays no part.
BrightnessResult RunBrightness(const GrayImage& before, GrayImage& after, int width, int height,
                               const BrightnessSettings& settings);
