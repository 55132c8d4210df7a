// tests/reference/FindEdgeReference.h: edges along a line, written out step by
// step (tables indexed 1..L, an inside flag per entry), and the random scenes
// the gauging tools are compared on.
#pragma once
#include "Image.h"

#include <random>
#include <vector>

struct ReferencePoint {
    int x, y;
};

// Every point of the line, inside the image or not: the error walk e = 2S − L,
// L times "visit; if e >= 0 step the minor axis and e −= 2L; step the major axis;
// e += 2S".
std::vector<ReferencePoint> ReferenceLinePoints(int x1, int y1, int x2, int y2);

struct ReferenceEdgeEntry {
    int x = 0, y = 0;
    int strength = 0;
    int polarity = 0;
    bool sample = false;  // false for entry 0 and for points outside the image
};

// Entries 0..L: entry 0 is the start point, entry i the i-th point of the line.
std::vector<ReferenceEdgeEntry> ReferenceEdgeProfile(const GrayImage& image, int x1, int y1,
                                                     int x2, int y2, int width, int height);

int ReferenceFindEdgesOnLine(GrayImage& image, int threshold, int polarityFilter, int lookFor,
                             int x1, int y1, int x2, int y2, int width, int height);

// A scene for edge gauging: a gray background with two to four of a step
// (any direction), a ramp and a disc of random centre, radius and contrast,
// sometimes with noise.
GrayImage RandomGaugingScene(std::mt19937& rng, int width, int height);
// Gray `inside` on every pixel with (x − cx)² + (y − cy)² <= radius², `outside` elsewhere.
GrayImage DiscScene(int width, int height, int cx, int cy, int radius, int inside, int outside);
