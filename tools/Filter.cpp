// tools/Filter.cpp
//
// The entry points cut the region to the image, check the mask and spread the
// output columns over the worker threads; every output pixel depends on the
// source alone, so the split does not change the result. The kernels live in
// FilterBox.cpp, FilterGaussian.cpp, FilterMedian.cpp and FilterGradient.cpp.
#include "Filter.h"

#include "FilterKernels.h"
#include "Parallel.h"

#include <algorithm>
#include <functional>

namespace {

// Columns per thread at least: each run of columns first loads the window's
// neighbours, so very short runs would repeat that work.
constexpr int kColumnGrain = 32;

bool IsWindowMask(int mask)
{
    return mask == 3 || mask == 5 || mask == 7;
}

void ForProcessedArea(const GrayImage& src, GrayImage& dst, int X1, int Y1, int X2, int Y2,
                      int width, int height,
                      const std::function<void(const FilterArea&, int, int)>& columns)
{
    if (!src || !dst)
        return;
    const FilterArea area{src,
                          dst,
                          width,
                          height,
                          std::max(X1, 0),
                          std::max(Y1, 0),
                          std::min(X2, width),
                          std::min(Y2, height),
                          ActiveVectorLevel()};
    if (area.X1 >= area.X2 || area.Y1 >= area.Y2)
        return;
    ParallelFor(area.X1, area.X2, kColumnGrain, [&](int x0, int x1) { columns(area, x0, x1); });
}

void RunBox(BoxKind kind, const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2,
            int Y2, int width, int height)
{
    if (!IsWindowMask(mask))
        return;
    ForProcessedArea(
        src, dst, X1, Y1, X2, Y2, width, height,
        [&](const FilterArea& a, int x0, int x1) { BoxColumns(a, kind, mask, x0, x1); });
}

void RunGradient(GradientKind kind, const GrayImage& src, GrayImage& dst, int X1, int Y1, int X2,
                 int Y2, int width, int height)
{
    ForProcessedArea(
        src, dst, X1, Y1, X2, Y2, width, height,
        [&](const FilterArea& a, int x0, int x1) { GradientColumns(a, kind, x0, x1); });
}

}  // namespace

void LowpassFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2, int Y2,
                   int width, int height)
{
    RunBox(BoxKind::Lowpass, src, dst, mask, X1, Y1, X2, Y2, width, height);
}

void LocalAverageFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2,
                        int Y2, int width, int height)
{
    RunBox(BoxKind::LocalAverage, src, dst, mask, X1, Y1, X2, Y2, width, height);
}

void LaplacianFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2, int Y2,
                     int width, int height)
{
    RunBox(BoxKind::Laplacian, src, dst, mask, X1, Y1, X2, Y2, width, height);
}

void MedianFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2, int Y2,
                  int width, int height)
{
    if (!IsWindowMask(mask))
        return;
    ForProcessedArea(src, dst, X1, Y1, X2, Y2, width, height,
                     [&](const FilterArea& a, int x0, int x1) { MedianColumns(a, mask, x0, x1); });
}

void GaussianFilter(const GrayImage& src, GrayImage& dst, int mask, int X1, int Y1, int X2, int Y2,
                    int width, int height)
{
    if (!IsWindowMask(mask))
        return;
    ForProcessedArea(
        src, dst, X1, Y1, X2, Y2, width, height,
        [&](const FilterArea& a, int x0, int x1) { GaussianColumns(a, mask, x0, x1); });
}

void PrewittFilter(const GrayImage& src, GrayImage& dst, int, int X1, int Y1, int X2, int Y2,
                   int width, int height)
{
    RunGradient(GradientKind::Prewitt, src, dst, X1, Y1, X2, Y2, width, height);
}

void SobelFilter(const GrayImage& src, GrayImage& dst, int, int X1, int Y1, int X2, int Y2,
                 int width, int height)
{
    RunGradient(GradientKind::Sobel, src, dst, X1, Y1, X2, Y2, width, height);
}

void RobertsFilter(const GrayImage& src, GrayImage& dst, int, int X1, int Y1, int X2, int Y2,
                   int width, int height)
{
    RunGradient(GradientKind::Roberts, src, dst, X1, Y1, X2, Y2, width, height);
}
