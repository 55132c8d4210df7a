// tools/Detect_objectColumns.h: the column passes of the labelling, shared by
// the scan of one strip (Detect_objectLabels.cpp) and the scan in strips
// (Detect_objectStrips.cpp). Not for callers outside the detection unit.
#pragma once
#include "Detect_object.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace detect_columns {

// Calls task(k) for k = 0 .. count − 1 on the worker threads, each thread
// taking the next k from a shared counter, so one that finishes early takes
// more. Each task must write only what k owns.
void TakeInTurn(int count, const std::function<void(int)>& task);

// Object pixel test in one form for all three modes: v <= below or v >= above.
// below = -1 and above = 256 switch their side off; any threshold outside
// 0..255 folds into that range without changing which pixels pass.
struct PixelTest {
    int below = -1, above = 256;
    bool operator()(std::uint8_t v) const { return v <= below || v >= above; }
};
PixelTest DarkTest(int t);
PixelTest BrightTest(int t);
PixelTest BandTest(int lower, int upper);

// Bit i of bits is set when pixel i of the column segment g[0 .. n) passes;
// bits past n are clear and one spare word follows.
void ColumnBits(const std::uint8_t* g, int n, const PixelTest& test,
                std::vector<std::uint64_t>& bits);
// Number of runs of set bits in the bit string of n pixels.
int CountRuns(const std::vector<std::uint64_t>& bits, int n);
// FindRoot without the root field, which ResolveLabels sets for every label anyway.
std::int32_t RootOf(LabelRecord* records, std::int32_t a);

// One column x of the region's rows Y1 .. Y1 + n − 1, labelled into column
// after its left neighbour's labels (left; null where there is none, which
// only the sparse pass takes). The dense pass visits the object pixels one by
// one, the sparse one a run at a time; both give each pixel the label the
// pixel rules give it. The table must have room for n / 2 + 1 more records.
void LabelDenseColumn(DetectWork& work, const std::uint64_t* bits, int n, std::int32_t* column,
                      const std::int32_t* left, int x, int Y1);
void LabelSparseColumn(DetectWork& work, const std::uint64_t* bits, int n, std::int32_t* column,
                       const std::int32_t* left, int x, int Y1);

// The labelling of columns X1 .. lastX in strips on the worker threads, then
// ResolveLabels: the same labels, table and label columns as the scan in one
// strip. Returns false, having changed nothing the one-strip scan does not
// redo, when the region is to be scanned in one strip: too small to share,
// work.strips asks for one, the table is not empty, or too many pixels of a
// strip hang on the strips to their left (one object across the strips).
bool LabelInStrips(DetectWork& work, const GrayImage& image, IntImage& labels,
                   const PixelTest& test, int X1, int Y1, int lastX, int n);

}  // namespace detect_columns
