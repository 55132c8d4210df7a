// tools/Match_patternStage.h: private to the Match_pattern unit. The fine stage
// of the search, split into columns of placements that run on several threads.
#pragma once
#include "Match_pattern.h"
#include "Trace.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace match_pattern {

// The best placement of one column: the first in scan order (y, then angle)
// whose score is above every earlier one; score 0 means none scored above 0.
struct ColumnBest {
    int y = 0;
    float angle = 0.0f;
    float score = 0.0f;
};

// Scores the placements (x, oy) .. (x, oy + th − 1) of one candidate column.
// Evaluate only reads I, so columns run side by side; the rectangle it may read
// is x + readLeft .. x + readRight by oy + readTop .. oy + readBottom.
class ColumnKernel {
public:
    virtual ~ColumnKernel() = default;
    virtual ColumnBest Evaluate(const GrayImage& I, int x, int oy) const = 0;
    int readLeft = 0, readRight = 0, readTop = 0, readBottom = 0;
};

// Zero-angle columns: sampled absolute difference on the 5-pixel lattice.
std::unique_ptr<ColumnKernel> MakeDifferenceKernel(const GrayImage& T, int tw, int th, int W,
                                                   int H);
// Rotated columns: ring-profile gate, then every angle 0 .. maxAngle.
std::unique_ptr<ColumnKernel> MakeRotationKernel(const GrayImage& I, const TemplateModel& model,
                                                 const RotationModel& rotation, float maxAngle,
                                                 int W, int H);

struct StageOptions {
    bool centreCircle = false;  // rotated mode marks the centre too
    bool traceScores = false;   // zero-angle mode writes each final score
    const TraceSink* trace = nullptr;  // where; null: the process-wide sink
};

// Refines table[0 .. n) in table order with kernel, as if one candidate after
// the other were scored on I holding the outlines of those before it, and draws
// each outline (score above 0.9) into I. False when progress cancelled.
bool RunFineStage(GrayImage& I, std::vector<Candidate>& table, int n, int tw, int th, int W,
                  int H, const ColumnKernel& kernel, const StageOptions& options,
                  const SearchProgress& progress, FineStageCounts& counts);

}  // namespace match_pattern
