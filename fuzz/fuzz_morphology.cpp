// fuzz/fuzz_morphology.cpp: the seven operators over any rectangle of the
// source (reversed ones included), and the repeated dilation and erosion with
// any round count, each with any element and any element size. Results must
// equal the literal operators'.
#include "FuzzInput.h"
#include "MorphologyReference.h"
#include "Parallel.h"
#include "VectorLevel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using Operator = void (*)(const GrayImage&, GrayImage&, const StructuringElement&, int, int,
                              int, int, int, int, int);
    static constexpr Operator kOperators[] = {Dilate, Erode, Open, Close,
                                              ProperOpen, ProperClose, AutoMedian};
    static constexpr Operator kLiteral[] = {
        ReferenceDilate,      ReferenceErode,       ReferenceOpen,      ReferenceClose,
        ReferenceProperOpen,  ReferenceProperClose, ReferenceAutoMedian};

    FuzzedDataProvider in(data, size);
    FuzzPicture src = TakePicture(in, 160);
    StructuringElement element{};
    const std::uint64_t cells = in.ConsumeIntegral<std::uint64_t>();
    for (int k = 0; k < 49; ++k)
        element[static_cast<std::size_t>(k / 7)][static_cast<std::size_t>(k % 7)] =
            static_cast<std::uint8_t>(cells >> k & 1);
    const int a = in.ConsumeBool() ? 3 + 2 * in.ConsumeIntegralInRange(0, 2) : AnyInt(in, 7);
    const int kind = in.ConsumeIntegralInRange(0, 8);
    const int x0 = in.ConsumeIntegralInRange(0, src.width), x1 = in.ConsumeIntegralInRange(0, src.width);
    const int y0 = in.ConsumeIntegralInRange(0, src.height), y1 = in.ConsumeIntegralInRange(0, src.height);
    const int rounds = in.ConsumeBool() ? in.ConsumeIntegralInRange(-2, 12) : AnyInt(in, 2);
    SetWorkerCount(in.ConsumeIntegralInRange(1, 3));
    // Every vector level over the run; above the processor's, the next narrower.
    const ScopedVectorLimit limit(kVectorLevels[in.ConsumeIntegralInRange(0, 3)]);
    FillPicture(in, src);
    const int w = src.width, h = src.height;

    if (kind >= 7) {  // the rounds of the run button, over the whole image
        GrayImage dst = CopyOf(src), literal = CopyOf(src);
        (kind == 7 ? DilateRounds : ErodeRounds)(src.image, dst, element, a, rounds, w, h);
        if (!src.image || rounds > 12)
            return 0;
        // Any element size acts as the nearest of 1 .. 7.
        (kind == 7 ? ReferenceDilateRounds : ReferenceErodeRounds)(src.image, literal, element,
                                                                  std::clamp(a, 1, 7), rounds, w, h);
        FUZZ_CHECK(Same(dst, literal, w, h));
        return 0;
    }
    if (!src.image)
        return 0;
    // dst is sized by the rectangle; a reversed one is empty and must stay untouched.
    const int dw = std::max(x1 - x0, 0), dh = std::max(y1 - y0, 0);
    GrayImage dst = NewGrayImage(dw, dh), literal = NewGrayImage(dw, dh);
    for (int x = 0; x < dw; ++x)
        for (int y = 0; y < dh; ++y)
            dst[x][y] = literal[x][y] = 77;
    kOperators[kind](src.image, dst, element, a, x0, y0, x1, y1, w, h);
    if (dw > 0 && dh > 0)
        kLiteral[kind](src.image, literal, element, std::clamp(a, 1, 7), x0, y0, x1, y1, w, h);
    FUZZ_CHECK(Same(dst, literal, dw, dh));
    return 0;
}
