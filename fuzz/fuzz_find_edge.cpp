// fuzz/fuzz_find_edge.cpp: edges along a line with any end points (far outside
// the picture, at the ends of the int range), any strength, polarity filter
// and look-for mode. On lines short enough to walk point by point, the count
// and the marks must equal the literal tool's.
#include "FindEdgeReference.h"
#include "Find_edge.h"
#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    FuzzPicture picture = TakePicture(in, 300);
    const auto threshold = in.ConsumeIntegral<std::uint8_t>();
    const int polarity = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 2) : AnyInt(in, 2);
    const int lookFor = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 2) : AnyInt(in, 2);
    const int x1 = AnyInt(in, picture.width / 2), y1 = AnyInt(in, picture.height / 2);
    const int x2 = AnyInt(in, picture.width), y2 = AnyInt(in, picture.height);
    FillPicture(in, picture);
    const int w = picture.width, h = picture.height;

    GrayImage image = CopyOf(picture);
    const int count = FindEdgesOnLine(image, threshold, polarity, lookFor, x1, y1, x2, y2, w, h);
    FUZZ_CHECK(count >= 0 && static_cast<std::size_t>(count) <= EdgeProfile().size());
    FUZZ_CHECK(EdgeProfile().size() <= static_cast<std::size_t>(w) + static_cast<std::size_t>(h));
    const auto far = [](int v) { return v < -3000 || v > 3000; };
    if (!picture.image || far(x1) || far(y1) || far(x2) || far(y2))
        return 0;
    GrayImage literal = CopyOf(picture);
    FUZZ_CHECK(count == ReferenceFindEdgesOnLine(literal, threshold, polarity, lookFor, x1, y1,
                                                 x2, y2, w, h));
    FUZZ_CHECK(Same(image, literal, w, h));
    return 0;
}
