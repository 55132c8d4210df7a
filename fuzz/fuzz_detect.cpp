// fuzz/fuzz_detect.cpp: object detection with any mode and thresholds, over
// the regions the window hands it (any four corners ordered and clamped by the
// region rule, so possibly covering nothing) and over any corners at all. On
// the window's regions the objects, the boxes and the frame must equal the
// literal detection's.
#include "DetectObjectReference.h"
#include "FuzzInput.h"
#include "Region.h"
#include "VectorLevel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    FuzzPicture picture = TakePicture(in, 300);
    const bool band = in.ConsumeBool();
    const int mode = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 1) : AnyInt(in, 1);
    const int t = AnyInt(in, 128), upper = AnyInt(in, 200);
    const int X1 = AnyInt(in, 0), Y1 = AnyInt(in, 0);
    const int X2 = AnyInt(in, picture.width), Y2 = AnyInt(in, picture.height);
    const bool asWindow = in.ConsumeBool(), intTable = in.ConsumeBool();
    // Labelled in 1 to 7 strips of columns, or as many as the size picks (0).
    static DetectWork work;
    work.strips = in.ConsumeIntegralInRange(0, 7);
    // Every vector level over the run; above the processor's, the next narrower.
    const ScopedVectorLimit limit(kVectorLevels[in.ConsumeIntegralInRange(0, 3)]);
    FillPicture(in, picture);
    const int w = picture.width, h = picture.height;
    const Region r = asWindow ? OrderAndClampRegion(X1, Y1, X2, Y2, w, h) : Region{X1, Y1, X2, Y2};

    GrayImage image = CopyOf(picture);
    IntImage labels = NewIntImage(2, h);
    ObjectTable objects;
    int count = 0;
    if (intTable) {
        IntImage table = NewIntImage(5, kObjectRows);
        count = band ? DetectBandObjects(work, image, labels, table, t, upper, r.X1, r.Y1, r.X2,
                                         r.Y2, w, h)
                     : DetectObjects(work, image, labels, table, mode, t, r.X1, r.Y1, r.X2, r.Y2, w,
                                     h);
        for (int j = 0; j < count; ++j)
            objects.push_back({table[0][j], table[1][j], table[2][j], table[3][j], table[4][j]});
    } else {
        count = band ? DetectBandObjects(work, image, labels, objects, t, upper, r.X1, r.Y1, r.X2,
                                         r.Y2, w, h)
                     : DetectObjects(work, image, labels, objects, mode, t, r.X1, r.Y1, r.X2, r.Y2,
                                     w, h);
    }
    FUZZ_CHECK(count == static_cast<int>(objects.size()));
    for (const DetectedObject& o : objects) {
        FUZZ_CHECK(o.minX >= std::max(r.X1, 0) && o.maxX <= std::min(r.X2, w - 1));
        FUZZ_CHECK(o.minY >= std::max(r.Y1, 0) && o.maxY <= std::min(r.Y2, h - 1));
        FUZZ_CHECK(o.area >= 1 && o.area <= (o.maxX - o.minX + 1) * (o.maxY - o.minY + 1));
    }
    // The literal detection walks every point of the frame's sides.
    const auto far = [](int v) { return v < -4000 || v > 4000; };
    if (!asWindow || !picture.image || far(r.X1) || far(r.Y1) || far(r.X2) || far(r.Y2))
        return 0;
    GrayImage literal = CopyOf(picture);
    IntImage literalLabels = NewIntImage(w, h);
    ObjectTable expected;
    const int literalCount =
        band ? ReferenceDetectBandObjects(literal, literalLabels, expected, t, upper, r.X1, r.Y1,
                                          r.X2, r.Y2, w, h)
             : ReferenceDetectObjects(literal, literalLabels, expected, mode, t, r.X1, r.Y1, r.X2,
                                      r.Y2, w, h);
    FUZZ_CHECK(count == literalCount && objects == expected);
    FUZZ_CHECK(work.LabelCount() == ReferenceLabelCount());
    FUZZ_CHECK(Same(image, literal, w, h));
    return 0;
}
