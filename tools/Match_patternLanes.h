// tools/Match_patternLanes.h: private to the Match_pattern unit. Scoring the
// placements of a column side by side.
//
// The placements of a column are (x, y) for consecutive y, and the pixels they
// read at one offset are consecutive bytes of one image column. So placements
// are scored side by side, one byte lane each, wherever the work is the same for
// every placement (the lattice sums, the ring counts): 16 with SSE2, 32 with
// AVX2, as the active vector level (VectorLevel.h) allows; at the plain level
// every placement is counted one at a time. What is defined as a float sequence (ring
// shares, rotated distances) is then computed in exactly the order and
// precision of its definition, placement by placement.
#pragma once
#include "Match_patternStage.h"

#include "VectorLevel.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace match_pattern {

constexpr int kLanes = 16;      // placements per SSE2 vector
constexpr int kWideLanes = 32;  // placements per AVX2 vector
constexpr int kChunk = 64;      // placements counted before they are scored in order
constexpr int kMaxWindows = kChunk / kLanes + 1;

#if defined(__x86_64__)
inline __m128i AbsDiff(__m128i a, __m128i b)
{
    return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
}
#endif

// Where the windows of lanes placements that cover the chunk [c0, c0 + count)
// start. The last one is moved back to end at the chunk's end when the column
// (from columnFirst) has room for it: it then counts some placements twice,
// which is harmless, as a count depends on its placement only. Placements
// left over (tail of them, at the chunk's end) are counted one at a time.
inline int WindowStarts(int c0, int count, int columnFirst, int lanes, int starts[kMaxWindows],
                        int& tail)
{
    int windows = 0;
    int y = c0;
    for (; y + lanes <= c0 + count; y += lanes)
        starts[windows++] = y;
    tail = c0 + count - y;
    if (tail > 0 && c0 + count - lanes >= columnFirst) {
        starts[windows++] = c0 + count - lanes;
        tail = 0;
    }
    return windows;
}

// Stores the sums of the placements start[w] + l that lie in [c0, c0 + count).
template <int Windows, int Lanes, class Sum>
void KeepInChunk(const Sum (&total)[Windows][Lanes], const int* start, int c0, int count, int* out)
{
    for (int w = 0; w < Windows; ++w) {
        const int first = std::max(start[w], c0), last = std::min(start[w] + Lanes, c0 + count);
        if (first < last)
            std::copy(total[w] + (first - start[w]), total[w] + (last - start[w]), out + (first - c0));
    }
}

}  // namespace match_pattern
