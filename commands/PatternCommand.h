// commands/PatternCommand.h
#pragma once
#include "CommandTypes.h"
#include "Match_pattern.h"

#include <vector>

struct PatternSettings {
    int angle = 0;  // the largest angle tried, 0..360 degrees; 0 searches upright only
    friend bool operator==(const PatternSettings&, const PatternSettings&) = default;
};

// One row of the "Find Result" grid: the placement's corners, its angle and score,
// as the search wrote them in single precision.
struct MatchRow {
    float x1 = 0, y1 = 0, x2 = 0, y2 = 0, angle = 0, score = 0;
};

struct PatternResult : CommandReport {
    std::vector<MatchRow> rows;  // every candidate, in block order, whatever its score
};

// Searches the whole Before image for the template and outlines in After every
// candidate scoring above 0.9; the region of interest plays no part. A template
// the search cannot use is refused with the reason and changes nothing. A
// search cancelled through progress leaves After a plain copy of Before.
// work holds the search's state; without one, the process-wide state is used.
PatternResult RunFindPattern(const GrayImage& before, GrayImage& after, int width, int height,
                             const SizedImage& templ, const PatternSettings& settings,
                             const SearchProgress& progress = {}, PatternWork* work = nullptr);

// The pixels [X1, X2) x [Y1, Y2) of Before, the corners ordered and cut to the
// image: the template Create Template writes. Refused when the region covers
// no pixel, as it always does before any picture.
struct TemplateResult : CommandReport {
    SizedImage templ;
    Region region;
};
TemplateResult RunCreateTemplate(const GrayImage& before, int width, int height,
                                 const Corners& roi);
