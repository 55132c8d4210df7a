// fuzz/fuzz_image.cpp: the drawing and arithmetic helpers every tool shares,
// with any arguments: lines and circles anywhere and of any size, turned
// rectangles at any angle, rounding of any float, the region rule. Lines and
// circles near the picture must set exactly the literal versions' pixels.
#include "FuzzInput.h"
#include "ImageReference.h"
#include "Region.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    FuzzPicture picture = TakePicture(in, 300);
    const int kind = in.ConsumeIntegralInRange(0, 6);
    const auto value = in.ConsumeIntegral<std::uint8_t>();
    const int x1 = AnyInt(in, picture.width / 2), y1 = AnyInt(in, picture.height / 2);
    const int x2 = AnyInt(in, picture.width), y2 = AnyInt(in, picture.height);
    const float angle = AnyFloat(in, 720);
    FillPicture(in, picture);
    const int w = picture.width, h = picture.height;
    GrayImage image = CopyOf(picture), literal = CopyOf(picture);
    const auto near = [](int v) { return v > -3000 && v < 3000; };

    switch (kind) {
    case 0:
        DrawLine(image, value, x1, y1, x2, y2, w, h);
        if (near(x1) && near(y1) && near(x2) && near(y2))
            ReferenceDrawLine(literal, value, x1, y1, x2, y2, w, h);
        else
            return 0;
        break;
    case 1:
        DrawCircle(image, x2, value, x1, y1, w, h);
        if (near(x1) && near(y1) && near(x2))
            ReferenceDrawCircle(literal, x2, value, x1, y1, w, h);
        else
            return 0;
        break;
    case 2:
        DrawRotatedRect(image, value, angle, x1, y1, x2, y2, w, h);
        return 0;
    case 3: {
        int xOut = 0, yOut = 0;
        RotatePoint(x1, y1, xOut, yOut, angle);
        const std::int32_t r = RoundHalfAway(angle);
        FUZZ_CHECK(!(angle >= 1.0f) || r >= 1);
        FUZZ_CHECK(!(angle <= -1.0f) || r <= -1);
        return 0;
    }
    case 4: {
        float a = 0, b = 0;
        LineThroughPoints(x1, y1, x2, y2, a, b);
        FUZZ_CHECK(x1 != x2 || (a == 10000.0f && b == static_cast<float>(x1)));
        return 0;
    }
    case 5: {
        IntMatrix m = NewIntMatrix(3, 3);
        const int v[9] = {x1, y1, x2, y2, w, h, value, x1 ^ y2, x2 ^ y1};
        for (int k = 0; k < 9; ++k)
            m[k / 3][k % 3] = v[k];
        Determinant3(m);
        double values[9] = {static_cast<double>(angle), 1.0 * x1, 1.0 * y1, 1.0 * x2, 1.0 * y2,
                            static_cast<double>(-angle), 0.0, -0.0, 1.0 * value};
        SortAscending(values, in.ConsumeIntegralInRange(0, 9));
        return 0;
    }
    default: {
        const Region r = OrderAndClampRegion(x1, y1, x2, y2, w, h);
        FUZZ_CHECK(r.X1 >= 0 && r.Y1 >= 0 && r.X2 <= w - 1 && r.Y2 <= h - 1);
        return 0;
    }
    }
    FUZZ_CHECK(Same(image, literal, w, h));
    return 0;
}
