// commands/EdgeCommand.h
#pragma once
#include "CommandTypes.h"
#include "Find_edge.h"

#include <vector>

struct EdgeSettings {
    int lookFor = 0;    // "Look For": all edges, the first only, the first and last
    int polarity = 0;   // "Edge Polarity": all, dark to bright only, bright to dark only
    int strength = 0;   // "Edge Strength", 0..255
    Corners line;       // from (X1, Y1) to (X2, Y2): the drag's direction is the scan's
    friend bool operator==(const EdgeSettings&, const EdgeSettings&) = default;
};

struct EdgeResult : CommandReport {
    int count = 0;  // "Total Edge": the edges marked when all are looked for, else 0
    std::vector<EdgeMark> marks;  // every edge marked, in drawing order (the first and
                                  // last edge mode marks a lone edge twice)
};

// Copies Before into After, then samples the line in After, draws it and marks
// its edges. The corners are used as they stand, outside the image or not.
// work holds the tool's tables; without one, the process-wide tables are used.
EdgeResult RunFindEdge(const GrayImage& before, GrayImage& after, int width, int height,
                       const EdgeSettings& settings, EdgeWork* work = nullptr);
