// tools/Match_pattern.h
#pragma once
#include "Image.h"
#include "Trace.h"

#include <cstdio>
#include <functional>
#include <vector>

// Pattern search: finds copies of a gray template T of tw x th pixels in an
// image I of W x H, upright (Angle 0) or turned by any whole angle from 0 to
// Angle degrees.
//
// A coarse block filter cuts I into template-sized blocks and keeps a block as
// a candidate when it and its right, lower and lower-right neighbours hold at
// least 98 % of the template's bright pixels and 98 % of its dark ones. A fine
// stage then tries every placement whose top-left corner lies in the block and
// keeps the best, first in scan order (x outer, y inner, angle innermost) on
// equal scores. Scores are single floats, computed and compared in single
// precision. A candidate scoring above 0.9 is outlined in gray 128 in I at once,
// so the candidates after it are scored on an image that holds its outline.
//
// A search keeps its state in a PatternWork, rewritten by every search: the
// template model, the rotation model (rotated searches only) and the candidate
// table. The table and the block grid grow as needed; nothing is capped. Every
// entry point without a work uses one process-wide instance, which the read
// access functions below read; two threads each with their own work never meet.

struct Candidate {
    int x = 0, y = 0;    // top-left corner: first the block's, then the best placement's
    float angle = 0.0f;  // degrees; 0 in zero-angle mode
    float score = 0.0f;  // best score; 0 when no placement scored above 0
};

struct TemplateModel {
    int tw = 0, th = 0;
    int threshold = 255;  // AutoThreshold of the whole template
    int brightCount = 0;  // template pixels >= threshold
    int darkCount = 0;    // tw · th − brightCount
};

struct RotationModel {
    int cx = 0, cy = 0;         // tw / 2, th / 2
    int R = 0;                  // half the shorter side, rounded down
    int sx = 0, sy = 0;         // sample steps tw / 5 and th / 5
    int columns = 0, rows = 0;  // sample grid extent: k · sx < tw, l · sy < th
    std::vector<int> grid;      // [k * rows + l] = T[k · sx][l · sy]
    int step = 0;               // ring step R / 2 − 1
    std::vector<float> ringProfile;  // [k] = share of bright pixels at radius k · step; [0] unused
};

// How the last fine stage spent its work: columns of placements scored ahead on
// an image without the outlines drawn meanwhile, and those scored again because
// an earlier candidate's outline touched what they read.
struct FineStageCounts {
    long long columns = 0, rescored = 0;
};

// The state of one caller's searches, kept after a search until the next.
struct PatternWork {
    TemplateModel model;
    RotationModel rotation;
    std::vector<Candidate> candidates;  // the candidate table, row i = candidate i
    FineStageCounts counts;             // of the last fine stage
    const TraceSink* trace = nullptr;   // where the score lines go; null: the process-wide sink
};
// The state of every call that hands in no work of its own.
PatternWork& ProcessPatternWork();

// Called on the searching thread now and then with the share of the fine
// stage done (0 to 1); returning false cancels the search.
using SearchProgress = std::function<bool(double done)>;

// The sizes a search accepts: the zero-angle lattice needs 5 x 5 pixels and
// the rotation model 8 x 8 (smaller ones divide by zero or sample nothing).
enum class TemplateFit { Usable, Empty, TooSmallForZeroAngle, TooSmallForRotation };
TemplateFit CheckTemplateSize(int tw, int th, float angle);

// The whole search. Measures T (template rectangle x1, y1, x2, y2, always 0, 0,
// tw, th), builds the rotation model when angle is not 0, filters the blocks,
// refines every candidate and writes results = 6 columns x n rows: x, y, x + tw,
// y + th, angle, score of candidate i in row i. Returns n, every candidate
// whatever its score. A template CheckTemplateSize refuses changes nothing and
// gives 0. Cancelled through progress: returns -1, I may hold some outlines and
// results is left alone. angle is the Angle bar's 0..360.
int MatchPattern(GrayImage& I, const GrayImage& T, FloatImage& results, int x1, int y1, int x2,
                 int y2, float angle, int W, int H, const SearchProgress& progress = {});
int MatchPattern(PatternWork& work, GrayImage& I, const GrayImage& T, FloatImage& results, int x1,
                 int y1, int x2, int y2, float angle, int W, int H,
                 const SearchProgress& progress = {});

// Sets the template model from T (threshold and counts by AutoThreshold and
// CountAtOrAbove of the Threshold unit) and gives the block grid: nx = W / tw and ny =
// H / th, each rounded up (0 for an empty template).
void MeasureTemplate(const GrayImage& T, int x1, int y1, int x2, int y2, int W, int H, int& nx,
                     int& ny);
void MeasureTemplate(PatternWork& work, const GrayImage& T, int x1, int y1, int x2, int y2, int W,
                     int H, int& nx, int& ny);

// The block filter: fills the candidate table in block order (bx outer, by
// inner) and returns its count. The image's last column and row never count.
int FindCandidateBlocks(const GrayImage& I, int nx, int ny, int W, int H);
int FindCandidateBlocks(PatternWork& work, const GrayImage& I, int nx, int ny, int W, int H);

// Zero-angle distance of T placed at (px, py): the sum of |I − T| on a 5-pixel
// lattice, divided by 255 in integers; −1 when a sample leaves the image.
float SampledDifference(const GrayImage& I, const GrayImage& T, int px, int py, int W, int H);
float SampledDifference(const PatternWork& work, const GrayImage& I, const GrayImage& T, int px,
                        int py, int W, int H);

// Zero-angle refinement of the first n candidates; score = 1 − d / N with N =
// (tw / 5) · (th / 5). Writes "=====> score = %f" for each candidate to the
// trace. False when cancelled.
bool RefineByDifference(GrayImage& I, const GrayImage& T, int n, float angle, int W, int H,
                        const SearchProgress& progress = {});
bool RefineByDifference(PatternWork& work, GrayImage& I, const GrayImage& T, int n, float angle,
                        int W, int H, const SearchProgress& progress = {});

// The rotation model of T; needs a template of at least 8 x 8.
void PrepareRotationModel(const GrayImage& T, int tw, int th);
void PrepareRotationModel(PatternWork& work, const GrayImage& T, int tw, int th);

// Share of the points of the rasterised circle of radius r about (cx, cy) (the
// points DrawCircle sets, each axis point on the vertical counted twice) whose
// value is >= the template threshold; points outside the image are not
// counted, and a circle wholly outside gives 0.
float RingFraction(const GrayImage& image, int r, int cx, int cy, int W, int H);
float RingFraction(const PatternWork& work, const GrayImage& image, int r, int cx, int cy, int W,
                   int H);

// Mean |template ring profile − image ring profile| for the template placed at
// (px, py); −1 when the rings would pass the right or bottom edge.
float RingProfileDistance(const GrayImage& I, int px, int py, int W, int H);
float RingProfileDistance(const PatternWork& work, const GrayImage& I, int px, int py, int W,
                          int H);

// Mean |I − sample grid| / 255 with the grid turned by angle about (cx, cy);
// −1 when a sample falls outside the image.
float RotatedSampleDistance(const GrayImage& I, int cx, int cy, float angle, int W, int H);
float RotatedSampleDistance(const PatternWork& work, const GrayImage& I, int cx, int cy,
                            float angle, int W, int H);

// Rotated refinement of the first n candidates over the angles 0, 1, ... <=
// maxAngle (at most 360: later angles would only repeat turns): positions whose
// ring profile is within 0.02 of the template's are tried at every angle.
// Outlines are a turned rectangle and a circle of radius 3 at the centre. Needs
// the rotation model of the measured template; without one every candidate
// scores 0. False when cancelled.
bool RefineByRotation(GrayImage& I, const GrayImage& T, int n, float maxAngle, int W, int H,
                      const SearchProgress& progress = {});
bool RefineByRotation(PatternWork& work, GrayImage& I, const GrayImage& T, int n, float maxAngle,
                      int W, int H, const SearchProgress& progress = {});

// Read access to the state of the last search of the process-wide work.
const TemplateModel& CurrentTemplateModel();
const RotationModel& CurrentRotationModel();
const std::vector<Candidate>& CandidateTable();

FineStageCounts LastFineStageCounts();

// Where the process-wide work's score lines go: the process-wide sink (standard
// output) unless set; nullptr for none.
void SetMatchTrace(std::FILE* out);
