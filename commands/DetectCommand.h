// commands/DetectCommand.h
#pragma once
#include "CommandTypes.h"
#include "Detect_object.h"
#include "ThresholdCommand.h"

struct DetectSettings {
    ThresholdSettings threshold;  // the mode, thresholds and "AUTO" of the shared panel
    Corners roi;
    friend bool operator==(const DetectSettings&, const DetectSettings&) = default;
};

struct DetectResult : CommandReport {
    Region region;          // the region scanned: ordered and cut to the image
    int threshold = 0;      // the threshold used (lower in the gray band)
    int upper = 0;          // the band's upper threshold; equal to threshold otherwise
    ObjectTable objects;    // in scan order of their first pixel
    int labels = 0;         // provisional labels the scan opened, touching objects included
    int Count() const { return static_cast<int>(objects.size()); }
};

// Copies Before into After, finds the objects of the region that touch none of
// its sides, and draws their boxes and the region's frame into After.
// work holds the label table; without one, the process-wide table is used.
DetectResult RunDetect(const GrayImage& before, GrayImage& after, int width, int height,
                       const DetectSettings& settings, DetectWork* work = nullptr);
