// tests/reference/FindStraightReference.h: the straight edge finder written
// out step by step: corners ordered, every scan line sampled from an unmarked
// copy while its marks go into the image at once, runs grouped pair by pair.
#pragma once
#include "Find_straight.h"

#include <vector>

struct ReferenceStraightResult {
    std::vector<ScanHit> hits;
    std::vector<StepRun> runs;  // grouped
    bool fitted = false;
    float a = 0, b = 0;
};

ReferenceStraightResult ReferenceFindStraightEdge(GrayImage& image, int threshold, int gap,
                                                  int direction, float angle, int X1, int Y1,
                                                  int X2, int Y2, int width, int height);

// Steps and grouping: for every run i, walk j = i + 1, ... while the steps stay
// within 1 of run i's.
std::vector<StepRun> ReferenceGroupStepRuns(const std::vector<ScanHit>& hits);

void ReferenceDrawFittedLine(GrayImage& image, float a, float b, int width, int height);
