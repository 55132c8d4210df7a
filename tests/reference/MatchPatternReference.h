// tests/reference/MatchPatternReference.h: the pattern search written out
// literally, step by step and slowly, as the reference the fast search is
// compared against. It keeps its own template model, rotation model and
// candidate table, and grows its tables as needed instead of capping them.
#pragma once
#include "Image.h"

#include <random>
#include <vector>

struct ReferenceCandidate {
    int x = 0, y = 0;
    float angle = 0.0f, score = 0.0f;
};

// The whole search of the template T (tw x th) in I (W x H), drawing the
// outlines into I. angle 0 is the zero-angle mode, above 0 the rotated mode.
// The template must be at least 5 x 5 for angle 0 and 8 x 8 otherwise.
std::vector<ReferenceCandidate> ReferenceMatchPattern(GrayImage& I, const GrayImage& T, int tw,
                                                      int th, float angle, int W, int H);

// The pieces, for single-function comparisons. Each uses the model of the last
// ReferenceMatchPattern or ReferencePrepare call.
void ReferencePrepare(const GrayImage& T, int tw, int th, bool rotated);
int ReferenceThreshold();
float ReferenceSampledDifference(const GrayImage& I, const GrayImage& T, int px, int py, int W,
                                 int H);
float ReferenceRingFraction(const GrayImage& image, int r, int cx, int cy, int W, int H);
float ReferenceRingProfileDistance(const GrayImage& I, int px, int py, int W, int H);
float ReferenceRotatedSampleDistance(const GrayImage& I, int cx, int cy, float angle, int W,
                                     int H);

// ---- Scenes for the comparisons and the benchmarks ---------------------------

// A background of overlapping flat blobs of middle grays.
GrayImage SceneTexture(std::mt19937& rng, int width, int height);
// A mark of dark and bright bars, so that its threshold separates two levels.
GrayImage SceneMark(std::mt19937& rng, int tw, int th);
// Pastes the mark turned by angle degrees (counter-clockwise on screen, as the
// search counts) with its centre at (cx, cy), nearest neighbour.
void PasteTurned(GrayImage& image, int width, int height, const GrayImage& mark, int tw, int th,
                 int cx, int cy, int angle);
// Adds uniform noise of +-amplitude, clamped to 0..255.
void AddSceneNoise(std::mt19937& rng, GrayImage& image, int width, int height, int amplitude);

struct PatternScene {
    int width = 0, height = 0, tw = 0, th = 0;
    GrayImage image, mark;
};
// A textured scene of minSide..maxSide with one to four copies of a random mark
// of minMark..maxMark pixels, turned by 0..40 degrees when turned, and noise.
PatternScene RandomPatternScene(std::mt19937& rng, int minSide, int maxSide, int minMark,
                                int maxMark, bool turned);
