// tests/support/SyntheticEdges.h: pictures of straight edges and discs at known
// sub-pixel places, every pixel the exact share of its square on the bright side
// (pixel (x, y) covers x − 0.5 .. x + 0.5, y − 0.5 .. y + 0.5), optionally with
// Gaussian noise, rounded to the nearest gray and kept within 0..255.
#pragma once
#include "Image.h"

#include <random>

struct EdgeScene {
    double px = 0, py = 0;   // a point on the edge
    double angle = 0;        // of the edge's direction, degrees, y down
    int dark = 60, bright = 190;
};
struct DiscScene {
    double cx = 0, cy = 0, radius = 0;
    int inside = 60, outside = 190;
};

// The part of the pixel square at (x, y) left of the directed line through
// (px, py) at angle degrees ("left" as seen with y down: the side the normal
// (sin, −cos) points to). Exact: the square is clipped by the half-plane.
double HalfPlaneCover(double x, double y, double px, double py, double angle);
// The part of the pixel square inside the disc, from 64 x 64 sub-samples on the
// squares the circle crosses (exact elsewhere).
double DiscCover(double x, double y, double cx, double cy, double radius);

// Bright on the left of the edge, dark on the right. sigma 0: no noise; rng is
// used only for the noise.
GrayImage RenderEdge(const EdgeScene& scene, int width, int height, double sigma,
                     std::mt19937& rng);
GrayImage RenderDisc(const DiscScene& scene, int width, int height, double sigma,
                     std::mt19937& rng);
