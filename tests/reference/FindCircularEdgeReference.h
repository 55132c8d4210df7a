// tests/reference/FindCircularEdgeReference.h: the circular edge finder
// written out step by step: 3 x 3 matrices and six-product determinants (in
// 128 bits), Cramer's rule, and an accumulator searched entry by entry up to
// its end marker.
#pragma once
#include "Find_circular_edge.h"

#include <vector>

struct ReferenceCircularResult {
    std::vector<Spoke> spokes;
    std::vector<SpokeHit> hits;
    std::vector<CircleVote> votes;  // the accumulator in its order
    CircleVote chosen{0, 0, 0, 0};
    int result = 0;
};

std::vector<Spoke> ReferenceBuildSpokes(int gap, int direction, int startAngle, int endAngle,
                                        int cx, int cy, int insideRadius, int outsideRadius);

// Every triple of hits (found 1) relative to (cx, cy) votes.
std::vector<CircleVote> ReferenceVoteCircles(const std::vector<SpokeHit>& hits, int cx, int cy);

ReferenceCircularResult ReferenceFindCircularEdge(GrayImage& image, int threshold, int gap,
                                                  int direction, int startAngle, int endAngle,
                                                  int cx, int cy, int insideRadius,
                                                  int outsideRadius, int width, int height);
