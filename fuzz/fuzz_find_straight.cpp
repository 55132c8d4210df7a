// fuzz/fuzz_find_straight.cpp: the straight edge finder with any region
// corners, gap, direction, strength and angle (not-a-number and the infinities
// included). On small rakes the hits, the runs, the fitted line and every mark
// must equal the literal tool's.
#include "FindStraightReference.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    FuzzPicture picture = TakePicture(in, 300);
    const auto threshold = in.ConsumeIntegral<std::uint8_t>();
    const int gap = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 100) : AnyInt(in, 10);
    const int direction = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 3) : AnyInt(in, 3);
    const bool wholeAngle = in.ConsumeBool();
    const float angle = wholeAngle ? static_cast<float>(in.ConsumeIntegralInRange(0, 360))
                                   : AnyFloat(in, 720);
    const int X1 = AnyInt(in, 0), Y1 = AnyInt(in, 0);
    const int X2 = AnyInt(in, picture.width), Y2 = AnyInt(in, picture.height);
    FillPicture(in, picture);
    const int w = picture.width, h = picture.height;

    GrayImage image = CopyOf(picture);
    FindStraightEdge(image, threshold, gap, direction, angle, X1, Y1, X2, Y2, w, h);
    const auto far = [](int v) { return v < -1000 || v > 1000; };
    if (!picture.image || far(X1) || far(Y1) || far(X2) || far(Y2) || gap < 1 || far(gap) || direction < 0 ||
        direction > 3 || !wholeAngle)
        return 0;
    GrayImage literal = CopyOf(picture);
    const ReferenceStraightResult expected =
        ReferenceFindStraightEdge(literal, threshold, gap, direction, angle, X1, Y1, X2, Y2, w, h);
    const std::span<const ScanHit> hits = ScanHits();
    FUZZ_CHECK(hits.size() == expected.hits.size());
    for (std::size_t s = 0; s < hits.size(); ++s) {
        FUZZ_CHECK(hits[s].found == expected.hits[s].found);
        FUZZ_CHECK(hits[s].found == 0 ||
                   (hits[s].x == expected.hits[s].x && hits[s].y == expected.hits[s].y));
    }
    FUZZ_CHECK(Same(image, literal, w, h));
    return 0;
}
