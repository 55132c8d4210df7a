// commands/FilterCommand.cpp
#include "FilterCommand.h"

#include "Filter.h"

#include <array>

namespace {

constexpr std::array<const char*, kFilterKinds> kCaptions = {
    "Lowpass", "LocalAverage", "Median", "Gaussian", "Laplacian", "Prewitt", "Sobel", "Roberts"};

using FilterFunction = void (*)(const GrayImage&, GrayImage&, int, int, int, int, int, int, int);
constexpr std::array<FilterFunction, kFilterKinds> kFilters = {
    LowpassFilter, LocalAverageFilter, MedianFilter, GaussianFilter,
    LaplacianFilter, PrewittFilter, SobelFilter, RobertsFilter};

}  // namespace

const char* FilterCaption(int kind)
{
    return kind >= 0 && kind < kFilterKinds ? kCaptions[static_cast<std::size_t>(kind)] : "";
}

FilterResult RunFilter(const GrayImage& before, GrayImage& after, int width, int height,
                       const FilterSettings& settings)
{
    if (!HasPicture(before, after, width, height))
        return NotRun<FilterResult>(Outcome::NoPicture);
    FilterResult result;
    CopyGrayImage(before, after, width, height);  // unfiltered pixels keep their value
    const Corners& c = settings.roi;
    const Region r = OrderAndClampRegion(c.X1, c.Y1, c.X2, c.Y2, width, height);
    result.region = r;
    if (settings.kind >= 0 && settings.kind < kFilterKinds)
        kFilters[static_cast<std::size_t>(settings.kind)](before, after, settings.mask, r.X1,
                                                          r.Y1, r.X2, r.Y2, width, height);
    return result;
}
