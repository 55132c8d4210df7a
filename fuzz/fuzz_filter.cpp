// fuzz/fuzz_filter.cpp: every neighbourhood filter with any mask and any
// region, at every vector level. The result must equal
// the literal filter's, pixel for pixel, and nothing outside the region cut to
// the image may change.
#include "Filter.h"
#include "FilterReference.h"
#include "FuzzInput.h"
#include "Parallel.h"
#include "VectorLevel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using Filter = void (*)(const GrayImage&, GrayImage&, int, int, int, int, int, int, int);
    static constexpr Filter kFilters[] = {LowpassFilter,  LocalAverageFilter, MedianFilter,
                                          GaussianFilter, LaplacianFilter,    PrewittFilter,
                                          SobelFilter,    RobertsFilter};
    static constexpr Filter kLiteral[] = {
        ReferenceLowpassFilter,   ReferenceLocalAverageFilter, ReferenceMedianFilter,
        ReferenceGaussianFilter,  ReferenceLaplacianFilter,    ReferencePrewittFilter,
        ReferenceSobelFilter,     ReferenceRobertsFilter};

    FuzzedDataProvider in(data, size);
    FuzzPicture src = TakePicture(in, 300);
    const int kind = in.ConsumeIntegralInRange(0, 7);
    const int mask = in.ConsumeBool() ? 3 + 2 * in.ConsumeIntegralInRange(0, 2)
                                      : AnyInt(in, 7);
    const int X1 = AnyInt(in, 0), Y1 = AnyInt(in, 0);
    const int X2 = AnyInt(in, src.width), Y2 = AnyInt(in, src.height);
    SetWorkerCount(in.ConsumeIntegralInRange(1, 3));
    FillPicture(in, src);

    const int w = src.width, h = src.height;
    // Something other than the source where the filter writes nothing.
    GrayImage before = CopyOf(src);
    if (before)
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y)
                before[x][y] = static_cast<std::uint8_t>(255 - src.image[x][y]);
    GrayImage literal = CopyOf(src);
    if (src.image) {
        CopyGrayImage(before, literal, w, h);
        kLiteral[kind](src.image, literal, mask, X1, Y1, X2, Y2, w, h);
    }
    for (VectorLevel level : kVectorLevels) {  // above the processor's: run narrower
        const ScopedVectorLimit limit(level);
        GrayImage dst = CopyOf(src);
        if (src.image)
            CopyGrayImage(before, dst, w, h);
        kFilters[kind](src.image, dst, mask, X1, Y1, X2, Y2, w, h);
        if (src.image)
            FUZZ_CHECK(Same(dst, literal, w, h));
    }
    return 0;
}
