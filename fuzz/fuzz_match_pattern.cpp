// fuzz/fuzz_match_pattern.cpp: the pattern search with any template size (none,
// too small, larger than the picture), cut from the picture or made of its own
// bytes, and any Angle (negative, beyond 360, the infinities, not-a-number),
// cancelled now and then. On small searches the candidates and the outlines
// must equal the literal search's.
#include "FuzzInput.h"
#include "Match_pattern.h"
#include "MatchPatternReference.h"
#include "Parallel.h"
#include "VectorLevel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SetMatchTrace(nullptr);
    FuzzedDataProvider in(data, size);
    FuzzPicture picture = TakePicture(in, 300);
    const int tw = in.ConsumeIntegralInRange(0, 80), th = in.ConsumeIntegralInRange(0, 80);
    const bool cut = in.ConsumeBool();
    const int tx = in.ConsumeIntegralInRange(0, 300), ty = in.ConsumeIntegralInRange(0, 300);
    float angle = in.ConsumeBool() ? static_cast<float>(in.ConsumeIntegralInRange(0, 40))
                                   : AnyFloat(in, 400);
    const int cancelAt = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 8) : 0;
    SetWorkerCount(in.ConsumeIntegralInRange(1, 3));
    // Every vector level over the run; above the processor's, the next narrower.
    const ScopedVectorLimit limit(kVectorLevels[in.ConsumeIntegralInRange(0, 3)]);
    FillPicture(in, picture);
    const int W = picture.width, H = picture.height;

    // The search costs placements x angles: keep a run within seconds by
    // narrowing the angles on large pictures (the cap at 360 is the product's).
    const double angles = angle >= 1.0f ? std::min(angle, 360.0f) + 1.0 : 1.0;
    if (static_cast<double>(W) * H * angles > 4e6)
        angle = static_cast<float>(std::floor(4e6 / (static_cast<double>(W) * H)));

    GrayImage templ = NewGrayImage(tw, th);
    for (int x = 0; x < tw; ++x)
        for (int y = 0; y < th; ++y)
            templ[x][y] = cut && picture.image && tx + x < W && ty + y < H
                              ? picture.image[tx + x][ty + y]
                              : static_cast<std::uint8_t>((x * 37) ^ (y * 11) ^ tx);
    GrayImage I = CopyOf(picture);
    FloatImage results;
    int calls = 0;
    const SearchProgress progress = [&](double done) {
        FUZZ_CHECK(done >= 0.0 && done <= 1.0);
        return cancelAt == 0 || ++calls < cancelAt;
    };
    const int n = MatchPattern(I, templ, results, 0, 0, tw, th, angle, W, H, progress);
    FUZZ_CHECK(n >= -1);
    if (n < 0 || CheckTemplateSize(tw, th, angle) != TemplateFit::Usable)
        return 0;
    FUZZ_CHECK(n == 0 || results);
    for (int i = 0; i < n; ++i) {
        FUZZ_CHECK(results[5][i] >= 0.0f && results[5][i] <= 1.0f);
        FUZZ_CHECK(results[4][i] >= 0.0f && results[4][i] <= 360.0f);
    }
    // The literal search costs placements x angles too: up to 96 x 96 with 13
    // angles, or taller pictures (whose columns fill 64 placements side by
    // side) with 3.
    const long long pixels = static_cast<long long>(W) * H;
    if (!(angle >= 0.0f &&
          (pixels <= 96 * 96 ? angle <= 12.0f : pixels <= 200 * 200 && angle <= 2.0f)))
        return 0;
    GrayImage literal = CopyOf(picture);
    const std::vector<ReferenceCandidate> expected =
        ReferenceMatchPattern(literal, templ, tw, th, angle, W, H);
    FUZZ_CHECK(n == static_cast<int>(expected.size()));
    for (int i = 0; i < n; ++i) {
        const ReferenceCandidate& c = expected[static_cast<std::size_t>(i)];
        FUZZ_CHECK(results[0][i] == static_cast<float>(c.x) && results[1][i] == static_cast<float>(c.y));
        FUZZ_CHECK(results[4][i] == c.angle && results[5][i] == c.score);
    }
    FUZZ_CHECK(Same(I, literal, W, H));
    return 0;
}
