// fuzz/fuzz_brightness.cpp: the brightness table from any brightness, contrast
// and gamma (not-a-number and the infinities included), applied to a picture.
// Within the ranges of the controls the table must equal the literal one; the
// mapping must equal the table at every vector level.
#include "Brightness.h"
#include "BrightnessReference.h"
#include "FuzzInput.h"
#include "Parallel.h"
#include "VectorLevel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    FuzzPicture src = TakePicture(in, 300);
    const int brightness = AnyInt(in, 128), contrast = AnyInt(in, 45);
    const int position = AnyInt(in, 50);
    const float gamma = in.ConsumeBool() ? GammaFromPosition(position) : AnyFloat(in, 12);
    SetWorkerCount(in.ConsumeIntegralInRange(1, 3));
    FillPicture(in, src);

    const float fromPosition = GammaFromPosition(position);
    FUZZ_CHECK(std::isfinite(fromPosition));
    BrightnessTable table;
    BuildBrightnessTable(table, brightness, contrast, gamma);
    if (brightness >= 0 && brightness <= 255 && contrast >= 1 && contrast <= 89 &&
        gamma >= 0.1f && gamma <= 10.0f) {
        std::uint8_t literal[256];
        ReferenceBuildBrightnessTable(literal, brightness, contrast, gamma);
        for (int i = 0; i < 256; ++i)
            FUZZ_CHECK(table[static_cast<std::size_t>(i)] == literal[i]);
    }

    const int w = src.width, h = src.height;
    for (VectorLevel level : kVectorLevels) {  // above the processor's: run narrower
        const ScopedVectorLimit limit(level);
        GrayImage dst = CopyOf(src);
        ApplyBrightnessTable(src.image, dst, brightness, contrast, gamma, w, h);
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y)
                FUZZ_CHECK(dst[x][y] == table[src.image[x][y]]);
    }
    return 0;
}
