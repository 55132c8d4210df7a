// tools/Find_circular_edge.h
#pragma once
#include "Image.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

// A circular edge around a search centre (cx, cy). Spokes are cast at angles
// start, start + gap, ... (always increasing, |start − end| / gap of them, but
// at most 360: spoke k + 360 would point where spoke k does) between the inside
// and the outside radius; the first edge on each spoke is
// its hit (the points of a spoke and the edge test are those of Find_edge.h).
// Every triple of hits, taken relative to the centre, gives the circle
// x² + y² + D·x + E·y + F = 0; the circles vote, and the one with the most votes
// wins (among equal votes the one entered into the accumulator last).
//
// The circle arithmetic is exact: D, E and F are the Cramer quotients of exact
// determinants, truncated toward zero, and q = D² + E² − 4F is exact before it
// is rounded to single precision. Hits up to 2^30 pixels from the centre are
// handled; a triple farther out, or one whose D, E or F reaches 2^62 in
// magnitude, gives no circle.

enum SpokeDirection { kInward = 0, kOutward = 1 };

struct Spoke {
    std::int32_t startX, startY, endX, endY;
};

struct SpokeHit {
    std::int32_t x, y;
    std::int32_t found;  // 1 or 0; x and y mean nothing when 0
};

struct CircleVote {
    std::int64_t centreX, centreY, radius;  // whole pixels; far circles need more than 32 bits
    std::int32_t votes;
};

namespace circular_edge {
class VoteTable;
}

// The working tables of one caller, kept after a run until the next. Every entry
// point without one works on a single process-wide instance, which Spokes(),
// SpokeHits(), CircleVotes() and ChosenCircle() read; two threads each with their
// own CircularWork never meet.
struct CircularWork {
    CircularWork();
    ~CircularWork();
    CircularWork(CircularWork&&) noexcept;
    CircularWork& operator=(CircularWork&&) noexcept;

    std::vector<Spoke> spokes;   // of the last BuildSpokes
    std::vector<SpokeHit> hits;  // of the last FindCircularEdge, one per spoke
    CircleVote chosen{0, 0, 0, 0};  // what the last FindCircularEdge drew; votes 0 when none
    int centreX = 0, centreY = 0;   // of the last BeginCircleVote
    std::unique_ptr<circular_edge::VoteTable> accumulator;

    // The accumulator, in the order its entries were first voted for: one entry
    // per distinct circle.
    const std::vector<CircleVote>& Votes() const;
    std::size_t DistinctCircles() const;  // Votes().size(), without making the entries
};
// The tables of every call that hands in no work of its own.
CircularWork& ProcessCircularWork();

// Runs the whole tool on image (a fresh copy of the Before image) and draws into
// it: the hits (radius-2 circles, gray 255) and the spokes (gray 128) in spoke
// order; then, with three or more hits, the winning circle in gray 0 and the
// inside and outside radius around the centre in gray 255 and 128. Returns the
// winner's votes, 0 when fewer than three spokes hit or no triple gives a circle
// (then no winning circle is drawn).
int FindCircularEdge(GrayImage& image, std::uint8_t threshold, int gap, int direction,
                     int startAngle, int endAngle, int cx, int cy, int insideRadius,
                     int outsideRadius, int width, int height);
int FindCircularEdge(CircularWork& work, GrayImage& image, std::uint8_t threshold, int gap,
                     int direction, int startAngle, int endAngle, int cx, int cy, int insideRadius,
                     int outsideRadius, int width, int height);
// The same tool run on before and drawn into image, which first gets before's
// pixels (width x height): the copy and the drawing of the spokes are made by
// the calling thread while the other threads are still voting.
int FindCircularEdge(CircularWork& work, const GrayImage& before, GrayImage& image,
                     std::uint8_t threshold, int gap, int direction, int startAngle, int endAngle,
                     int cx, int cy, int insideRadius, int outsideRadius, int width, int height);

// Fills the spoke table and returns the number of spokes. Spoke k lies at
// θ = (start + gap·k)·3.141592654/180 (the product in double, then times 1/180 in
// extended precision); its inner and outer points are the centre plus the radius
// times (cos θ, sin θ) in extended precision, truncated toward zero. Inward
// spokes run from the outer point to the inner one, outward ones the other way.
// A gap below 1 gives no spoke; a sweep of more than 360 gives its first 360.
int BuildSpokes(int gap, int direction, int startAngle, int endAngle, int cx, int cy,
                int insideRadius, int outsideRadius);
int BuildSpokes(CircularWork& work, int gap, int direction, int startAngle, int endAngle, int cx,
                int cy, int insideRadius, int outsideRadius);
std::span<const Spoke> Spokes();      // of the last BuildSpokes
std::span<const SpokeHit> SpokeHits();  // of the last FindCircularEdge, one per spoke

// The first sample of the spoke whose step from the previous sample reaches the
// threshold.
SpokeHit FirstEdgeOnSpoke(const GrayImage& image, std::uint8_t threshold, const Spoke& spoke,
                          int width, int height);

// Remembers the search centre and empties the accumulator.
void BeginCircleVote(int cx, int cy);
void BeginCircleVote(CircularWork& work, int cx, int cy);
// Votes with every triple i < j < k of hits (found 1), in that order, relative
// to the centre. The result does not depend on the number of worker threads.
void VoteCircles(std::span<const SpokeHit> hits);
void VoteCircles(CircularWork& work, std::span<const SpokeHit> hits);
// alongside, when given, runs once on the calling thread when its own share of
// the vote is done (work that needs none of the vote's results).
void VoteCircles(CircularWork& work, std::span<const SpokeHit> hits,
                 const std::function<void()>& alongside);
// The circle through three points relative to the centre; collinear or repeated
// points give none.
void CircleThroughThree(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                        std::int64_t x2, std::int64_t y2);
void CircleThroughThree(CircularWork& work, std::int64_t x0, std::int64_t y0, std::int64_t x1,
                        std::int64_t y1, std::int64_t x2, std::int64_t y2);
// Centre (cx + (−D)/2, cy + (−E)/2), halves truncated toward zero; radius
// trunc(√q · 0.5) with q = D² + E² − 4F rounded to single precision. No vote
// when q <= 0.
void AddCircleVote(std::int64_t D, std::int64_t E, std::int64_t F);
void AddCircleVote(CircularWork& work, std::int64_t D, std::int64_t E, std::int64_t F);
// The accumulator, in the order its entries were first voted for.
std::vector<CircleVote> CircleVotes();
// The winner: the most votes, the last entry among equals; votes 0 when empty.
CircleVote ChosenCircle();
CircleVote ChosenCircle(const CircularWork& work);

// DrawCircle for centres and radii beyond the int range: the same pixels,
// walking only the rows and columns inside the image.
void DrawWideCircle(GrayImage& image, std::int64_t radius, std::uint8_t value,
                    std::int64_t cx, std::int64_t cy, int width, int height);
