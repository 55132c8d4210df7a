// commands/MorphologyCommand.h
#pragma once
#include "CommandTypes.h"
#include "Morphology.h"

// The seven operators, in the order of the "Mophology" menu.
enum MorphologyKind {
    kDilation = 0, kErosion, kOpening, kClosing, kProperOpening, kProperClosing,
    kProperAutomedian, kMorphologyKinds
};

struct MorphologySettings {
    int kind = kDilation;  // MorphologyKind
    int mask = 7;          // element size: 3, 5 or 7
    StructuringElement element{};  // [column][row], every cell as the boxes show it
    int rounds = 1;        // dilation and erosion only; below 1 counts as 1
    friend bool operator==(const MorphologySettings&, const MorphologySettings&) = default;
};

struct MorphologyResult : CommandReport {
    int rounds = 0;  // the rounds run: 1 for the operators that run once
};

// The whole image, whatever the region of interest: dilation and erosion
// repeat rounds times, the other operators run once. An unknown kind leaves
// After a plain copy of Before.
MorphologyResult RunMorphology(const GrayImage& before, GrayImage& after, int width, int height,
                               const MorphologySettings& settings);

const char* MorphologyCaption(int kind);  // "Dilation", ..., "Proper Automedian"
bool MorphologyRepeats(int kind);         // dilation and erosion take a round count
