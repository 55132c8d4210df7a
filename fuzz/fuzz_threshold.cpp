// fuzz/fuzz_threshold.cpp: histogram, threshold, band and pixel count with any
// mode and thresholds over any rectangle of the picture (reversed ones
// included: they cover nothing), and the automatic threshold over any
// rectangle at all. Results must equal the literal functions'.
#include "FuzzInput.h"
#include "Threshold.h"
#include "ThresholdReference.h"
#include "VectorLevel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    FuzzPicture src = TakePicture(in, 300);
    const int kind = in.ConsumeIntegralInRange(0, 4);
    const int mode = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 1) : AnyInt(in, 1);
    const int t = AnyInt(in, 128), upper = AnyInt(in, 200);
    // Inside the picture, in any order: the functions without a picture size
    // rely on their caller for that.
    int x0 = in.ConsumeIntegralInRange(0, src.width), x1 = in.ConsumeIntegralInRange(0, src.width);
    int y0 = in.ConsumeIntegralInRange(0, src.height), y1 = in.ConsumeIntegralInRange(0, src.height);
    if (kind == 3) {  // AutoThreshold knows the picture's size: any corners at all
        x0 = AnyInt(in, 0), y0 = AnyInt(in, 0);
        x1 = AnyInt(in, src.width), y1 = AnyInt(in, src.height);
    }
    // Every vector level over the run; above the processor's, the next narrower.
    const ScopedVectorLimit limit(kVectorLevels[in.ConsumeIntegralInRange(0, 3)]);
    FillPicture(in, src);
    if (!src.image)
        return 0;
    const int w = src.width, h = src.height;

    switch (kind) {
    case 0: {
        GrayImage hist = NewGrayImage(256, 64), literal = NewGrayImage(256, 64);
        HistogramImage(src.image, hist, x0, y0, x1, y1);
        ReferenceHistogramImage(src.image, literal, x0, y0, x1, y1);
        FUZZ_CHECK(Same(hist, literal, 256, 64));
        break;
    }
    case 1:
    case 2: {
        GrayImage dst = CopyOf(src), literal = CopyOf(src);
        if (kind == 1) {
            ThresholdImage(src.image, dst, mode, t, x0, y0, x1, y1);
            ReferenceThresholdImage(src.image, literal, mode, t, x0, y0, x1, y1);
        } else {
            ThresholdBand(src.image, dst, t, upper, x0, y0, x1, y1);
            ReferenceThresholdBand(src.image, literal, t, upper, x0, y0, x1, y1);
        }
        FUZZ_CHECK(Same(dst, literal, w, h));
        break;
    }
    case 3: {
        const int found = AutoThreshold(src.image, x0, y0, x1, y1, w, h);
        const int cx0 = std::max(x0, 0), cy0 = std::max(y0, 0);
        const int cx1 = std::min(x1, w), cy1 = std::min(y1, h);
        FUZZ_CHECK(found >= 0 && found <= 255);
        FUZZ_CHECK(found == ReferenceAutoThreshold(src.image, cx0, cy0, cx1, cy1, w, h));
        break;
    }
    default:
        FUZZ_CHECK(CountAtOrAbove(src.image, t, x0, y0, x1, y1) ==
                   ReferenceCountAtOrAbove(src.image, t, x0, y0, x1, y1));
    }
    return 0;
}
