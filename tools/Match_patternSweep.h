// tools/Match_patternSweep.h: private to the Match_pattern unit. The angle
// sweep's whole-number distances, many placements of a column side by side.
//
// For one angle, the placements (x, y) .. (x, y + lanes − 1) read their samples
// at consecutive bytes of the same image columns, so the sums of |I − grid| of
// a window of placements add up byte lanes. A lane sums with saturation at 255:
// it holds min(S, 255) exactly, which is all the sweep needs, since a sum of 255
// or more never wins where a smaller one exists (Match_patternRotation.cpp).
#pragma once
#include <cstdint>

namespace match_pattern {

// Where a turned sample lies relative to the placement's centre.
struct SampleOffset {
    int dx = 0, dy = 0;
};

// One angle over a window of placements: lane l is the placement whose centre
// is (cx, row0 + l). Every sample row of every lane must lie in the image.
struct AngleWindow {
    const std::uint8_t* const* columns = nullptr;  // the image's columns
    int cx = 0, row0 = 0;
    const SampleOffset* samples = nullptr;  // count offsets, in the grid's order
    const std::uint8_t* grid = nullptr;     // the template's value at each sample
    int count = 0;
};

// Writes out[l] = min(255, start[l] + sum over the samples of |I − grid|) for
// 16 lanes, or 32 with SumLanes32 (AVX2, x86-64 only); start is 0 for a lane
// that counts and 255 for one that does not. Once every lane is above bar (a
// multiple of eight samples in), no lane can still come to bar or below: the
// lanes are all set to 255 then. Returns the least lane.
int SumLanes16(const AngleWindow& window, const std::uint8_t* start, int bar, std::uint8_t* out);
#if defined(__x86_64__)
int SumLanes32(const AngleWindow& window, const std::uint8_t* start, int bar, std::uint8_t* out);
int SumLanes64(const AngleWindow& window, const std::uint8_t* start, int bar, std::uint8_t* out);
#endif

}  // namespace match_pattern
