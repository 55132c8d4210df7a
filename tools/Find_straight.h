// tools/Find_straight.h
#pragma once
#include "Image.h"
#include "Trace.h"

#include <cstdint>
#include <span>
#include <vector>

// One straight edge inside the region X1..X2 by Y1..Y2, the corners in any
// order. A rake of parallel scan lines, one every gap pixels, crosses the region
// in the chosen direction, the whole rake turned by angle degrees about the
// region's centre. Each scan line's hit is its first sample (the points of the
// line inside the image, see Find_edge.h) whose step from the previous sample
// reaches the threshold. The steps between the hits of neighbouring scan lines
// are grouped into runs of nearly equal steps; the straight line through the
// ends of the longest run is drawn across the whole image.

enum ScanDirection { kScanUp = 0, kScanLeft = 1, kScanDown = 2, kScanRight = 3 };

struct ScanSample {
    std::int32_t x;
    std::int32_t y;
    std::uint8_t strength;  // |g − g_prev|
};

struct ScanHit {
    std::int32_t x;
    std::int32_t y;
    std::int32_t found;  // 1 when the scan line has a hit; x and y mean nothing otherwise
};

struct StepRun {
    std::int32_t a, b;            // step from one hit to the next: x_q − x_(q+1), y_q − y_(q+1)
    std::int32_t firstX, firstY;  // hit q
    std::int32_t lastX, lastY;    // the far end of the run
    std::int32_t count;           // steps in the run
};

// The working tables of one caller, kept after a run until the next. Every entry
// point without one works on a single process-wide instance, which ScanProfile()
// and ScanHits() read; two threads each with their own StraightWork never meet.
struct StraightWork {
    std::vector<ScanSample> profile;  // of the last SampleScanProfile
    std::vector<ScanHit> hits;        // one per scan line of the last FindStraightEdge
    bool fitted = false;              // a run was found; otherwise a, b and run mean nothing
    float a = 0.0f, b = 0.0f;         // the fitted line y = a·x + b; a = 10000: vertical at x = b
    StepRun run{};                    // the chosen run: its first and last point and count
    const TraceSink* trace = nullptr;  // where the fit's lines go; null: the process-wide sink
};
// The tables of every call that hands in no work of its own.
StraightWork& ProcessStraightWork();

// Runs the whole tool on image (a fresh copy of the Before image) and draws into
// it: every scan line in gray 200, a radius-5 circle at its end and at its hit,
// then the fitted line in gray 128 (none when there is no run). Every scan line
// is sampled before any mark is drawn, so marks are never read as edges. A gap
// below 1, an unknown direction or a rake of more than a million scan lines
// (the hit table's capacity) does nothing. Any corners and angle are safe.
void FindStraightEdge(GrayImage& image, std::uint8_t threshold, int gap, int direction,
                      float angle, int X1, int Y1, int X2, int Y2, int width, int height);
void FindStraightEdge(StraightWork& work, GrayImage& image, std::uint8_t threshold, int gap,
                      int direction, float angle, int X1, int Y1, int X2, int Y2, int width,
                      int height);

// Fills the scan profile along one scan line and returns L, its number of
// points. The profile holds the samples, the points inside the image in line
// order, and grows as needed.
std::int64_t SampleScanProfile(const GrayImage& image, int x1, int y1, int x2, int y2, int width,
                               int height);
std::int64_t SampleScanProfile(StraightWork& work, const GrayImage& image, int x1, int y1, int x2,
                               int y2, int width, int height);
std::span<const ScanSample> ScanProfile();  // of the last SampleScanProfile
std::span<const ScanHit> ScanHits();        // one per scan line of the last FindStraightEdge

// The steps between neighbouring hits, grouped: run i takes in the runs after it
// while their steps differ from its own by at most 1 in a and in b. Run n − 1
// is never grown. Each run is a start, also one already taken in by another.
std::vector<StepRun> GroupStepRuns(std::span<const ScanHit> hits);

// The line y = a·x + b through the ends of the longest run (the earliest among
// equals), in single precision; a = 10000 marks a vertical line at x = b.
// False, with a and b untouched, when no two neighbouring scan lines have hits.
// Writes a "### A= .. B = .. COUNT = .." trace line for every run after the
// first and one for the chosen run, then the three lines of LineThroughPoints
// ("#############", its points, a and b); to the process-wide sink.
bool FitStraightEdge(std::span<const ScanHit> hits, float& a, float& b);
// The same into work (fitted, a, b and the chosen run), its lines to work.trace.
bool FitStraightEdge(StraightWork& work, std::span<const ScanHit> hits);

// Gray 128 at y = a·x + b (single precision, truncated toward zero) for every
// column x = 0..width − 2 where 0 < y < height; row 0 is never drawn. For
// a = 10000 the column b instead, rows 0..height − 2.
void DrawFittedLine(GrayImage& image, float a, float b, int width, int height);
