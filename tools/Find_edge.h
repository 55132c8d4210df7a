// tools/Find_edge.h
#pragma once
#include "Image.h"

#include <cstdint>
#include <span>
#include <vector>

// Gray-level edges along one straight line. The points of a line from (x1, y1)
// to (x2, y2) are the ones DrawLine visits, in its order: L = max(|dx|, |dy|)
// points from the start up to, but not including, the end (ties step along x),
// so a line whose ends coincide has none. An edge is a point whose gray value
// differs from the previous sampled point by at least the edge strength.
//
// Only points inside the image are samples. A point outside is no sample: it is
// never an edge and never the previous point of the next one; the first point
// inside the image is its own previous point (strength 0). A straight line
// enters and leaves the image once, so the samples are one unbroken stretch.

// Walks the points of a line that lie inside the image, in line order, without
// visiting the parts outside: a line of any length (any int end points) costs
// at most one step per column or row of the image.
class LineWalker {
public:
    LineWalker(int x1, int y1, int x2, int y2, int width, int height);
    // L: the number of points of the whole line, inside the image or not.
    std::int64_t Length() const { return length_; }
    // The next point inside the image; false when none is left.
    bool Next(int& x, int& y);

private:
    std::int64_t length_ = 0;
    std::int64_t left_ = 0;  // visits still to walk
    std::int64_t major_ = 0, minor_ = 0, error_ = 0, twoS_ = 0, twoL_ = 0;
    std::int64_t minorLimit_ = 0;
    int majorStep_ = 1, minorStep_ = 1;
    bool steep_ = false;
};

struct EdgeSample {
    std::int32_t x;
    std::int32_t y;
    std::uint8_t strength;  // |g − g_prev|, 0..255
    std::int32_t polarity;  // +1 when the gray value falls (bright to dark), −1 otherwise
};

// An edge FindEdgesOnLine marked: the sample and its index in the profile.
struct EdgeMark {
    std::int32_t x;
    std::int32_t y;
    std::int32_t polarity;  // +1 bright to dark, −1 dark to bright
    std::uint8_t strength;
    std::int64_t index;  // in the profile, whose samples are in line order
    friend bool operator==(const EdgeMark&, const EdgeMark&) = default;
};

// The working tables of one caller, kept after a run until the next. Every
// entry point without one works on a single process-wide instance, which
// EdgeProfile() reads; two threads each with their own EdgeWork never meet.
struct EdgeWork {
    std::vector<EdgeSample> profile;  // of the last SampleEdgeProfile
    std::vector<EdgeMark> marks;      // the circles of the last FindEdgesOnLine, in drawing order
    int count = 0;                    // what the last FindEdgesOnLine returned
};
// The tables of every call that hands in no work of its own.
EdgeWork& ProcessEdgeWork();

// The first sample of the line whose step from the previous sample reaches the
// threshold, in (x, y); false when there is none. The search stops there.
bool FirstStepAtLeast(const GrayImage& image, std::uint8_t threshold, int x1, int y1, int x2,
                      int y2, int width, int height, int& x, int& y);

// Fills the edge profile along the line and returns L, the number of points of
// the line. The profile holds one sample per point inside the image, in line
// order; it grows as needed, so a line of any length is sampled whole.
std::int64_t SampleEdgeProfile(const GrayImage& image, int x1, int y1, int x2, int y2, int width,
                               int height);
std::int64_t SampleEdgeProfile(EdgeWork& work, const GrayImage& image, int x1, int y1, int x2,
                               int y2, int width, int height);
// The samples of the last SampleEdgeProfile.
std::span<const EdgeSample> EdgeProfile();

// Polarity filter (the "Edge Polarity" list) and look-for mode (the "Look For" list).
enum EdgePolarityFilter { kAnyPolarity = 0, kDarkToBrightOnly = 1, kBrightToDarkOnly = 2 };
enum EdgeLookFor { kAllEdges = 0, kFirstEdgeOnly = 1, kFirstAndLastEdge = 2 };

// Samples the line first, then draws it in gray 128 and marks the edges with
// radius-5 circles, gray 255 for bright to dark and gray 128 for dark to bright.
// An edge has strength >= threshold and a polarity the filter accepts (an
// unknown filter accepts none). kAllEdges marks every edge and returns their
// number; kFirstEdgeOnly marks the first, kFirstAndLastEdge the first and the
// last (one edge is marked twice), and both return 0, as does an unknown mode.
int FindEdgesOnLine(GrayImage& image, std::uint8_t threshold, int polarityFilter, int lookFor,
                    int x1, int y1, int x2, int y2, int width, int height);
int FindEdgesOnLine(EdgeWork& work, GrayImage& image, std::uint8_t threshold, int polarityFilter,
                    int lookFor, int x1, int y1, int x2, int y2, int width, int height);
