// tools/Match_patternShared.cpp: the entry points without a work, on the one
// process-wide instance the window and the read access functions use.
#include "Match_pattern.h"

namespace {

// Made on first use, so a choice made by another unit's initialiser (a quiet
// trace) is not undone.
PatternWork& Shared()
{
    static PatternWork work;
    return work;
}

}  // namespace

PatternWork& ProcessPatternWork() { return Shared(); }

int MatchPattern(GrayImage& I, const GrayImage& T, FloatImage& results, int x1, int y1, int x2,
                 int y2, float angle, int W, int H, const SearchProgress& progress)
{
    return MatchPattern(Shared(), I, T, results, x1, y1, x2, y2, angle, W, H, progress);
}

void MeasureTemplate(const GrayImage& T, int x1, int y1, int x2, int y2, int W, int H, int& nx,
                     int& ny)
{
    MeasureTemplate(Shared(), T, x1, y1, x2, y2, W, H, nx, ny);
}

int FindCandidateBlocks(const GrayImage& I, int nx, int ny, int W, int H)
{
    return FindCandidateBlocks(Shared(), I, nx, ny, W, H);
}

float SampledDifference(const GrayImage& I, const GrayImage& T, int px, int py, int W, int H)
{
    return SampledDifference(Shared(), I, T, px, py, W, H);
}

bool RefineByDifference(GrayImage& I, const GrayImage& T, int n, float angle, int W, int H,
                        const SearchProgress& progress)
{
    return RefineByDifference(Shared(), I, T, n, angle, W, H, progress);
}

void PrepareRotationModel(const GrayImage& T, int tw, int th)
{
    PrepareRotationModel(Shared(), T, tw, th);
}

float RingFraction(const GrayImage& image, int r, int cx, int cy, int W, int H)
{
    return RingFraction(Shared(), image, r, cx, cy, W, H);
}

float RingProfileDistance(const GrayImage& I, int px, int py, int W, int H)
{
    return RingProfileDistance(Shared(), I, px, py, W, H);
}

float RotatedSampleDistance(const GrayImage& I, int cx, int cy, float angle, int W, int H)
{
    return RotatedSampleDistance(Shared(), I, cx, cy, angle, W, H);
}

bool RefineByRotation(GrayImage& I, const GrayImage& T, int n, float maxAngle, int W, int H,
                      const SearchProgress& progress)
{
    return RefineByRotation(Shared(), I, T, n, maxAngle, W, H, progress);
}

const TemplateModel& CurrentTemplateModel() { return Shared().model; }
const RotationModel& CurrentRotationModel() { return Shared().rotation; }
const std::vector<Candidate>& CandidateTable() { return Shared().candidates; }
FineStageCounts LastFineStageCounts() { return Shared().counts; }

void SetMatchTrace(std::FILE* out)
{
    static TraceSink chosen;
    chosen = TraceSink::ToFile(out);
    Shared().trace = &chosen;
}
