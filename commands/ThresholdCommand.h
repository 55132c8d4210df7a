// commands/ThresholdCommand.h
#pragma once
#include "CommandTypes.h"

// The object modes of the "Look For" list, shared by threshold and detection.
enum ObjectMode { kDarkObjects = 0, kBrightObjects = 1, kGrayObjects = 2 };

// One object mode, one pair of thresholds and the "AUTO" box drive both the
// threshold and the detection.
struct ThresholdSettings {
    int mode = kDarkObjects;  // ObjectMode; any other value leaves the plain copy
    int lower = 0;            // 0..255: the only threshold of the dark and bright modes
    int upper = 255;          // 0..255: the gray band's upper threshold
    // "AUTO": the dark and bright modes use the automatic threshold instead of
    // lower; the gray band never does. autoThreshold is the value to use; -1
    // computes it over the whole Before image now.
    bool automatic = false;
    int autoThreshold = -1;
    friend bool operator==(const ThresholdSettings&, const ThresholdSettings&) = default;
};

struct ThresholdResult : CommandReport {
    int threshold = 0;  // the threshold used (lower in the gray band)
    int upper = 0;      // the band's upper threshold; equal to threshold otherwise
};

// The threshold the dark and bright modes use: the automatic one or lower.
int ThresholdInUse(const GrayImage& before, int width, int height,
                   const ThresholdSettings& settings);

// Thresholds the whole Before image into After, not the region of interest.
ThresholdResult RunThreshold(const GrayImage& before, GrayImage& after, int width, int height,
                             const ThresholdSettings& settings);
