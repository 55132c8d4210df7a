// commands/FilterCommand.h
#pragma once
#include "CommandTypes.h"

// The eight neighbourhood filters, in the order of the "Fiter" menu.
enum FilterKind {
    kLowpass = 0, kLocalAverage, kMedian, kGaussian, kLaplacian, kPrewitt, kSobel, kRoberts,
    kFilterKinds
};
// The kinds from Prewitt on work on a fixed window and ignore the mask size.
constexpr int kFirstFixedWindowFilter = kPrewitt;

struct FilterSettings {
    int kind = kLowpass;  // FilterKind
    int mask = 3;         // 3, 5 or 7
    Corners roi;
    friend bool operator==(const FilterSettings&, const FilterSettings&) = default;
};

struct FilterResult : CommandReport {
    Region region;  // the region filtered: ordered and cut to the image
};

// Copies Before into After, then filters the region of Before into After; the
// pixels outside the region keep Before's values. The filters stop before
// column X2 and row Y2. An unknown kind leaves the plain copy.
FilterResult RunFilter(const GrayImage& before, GrayImage& after, int width, int height,
                       const FilterSettings& settings);

// "Lowpass", "LocalAverage", ...: the run button's caption for each kind.
const char* FilterCaption(int kind);
