// commands/MorphologyCommand.cpp
#include "MorphologyCommand.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<const char*, kMorphologyKinds> kCaptions = {
    "Dilation", "Erosion", "Opening", "Closing", "Proper Opening", "Proper Closing",
    "Proper Automedian"};

using Operator = void (*)(const GrayImage&, GrayImage&, const StructuringElement&, int, int, int,
                          int, int, int, int);
constexpr std::array<Operator, 5> kOnce = {Open, Close, ProperOpen, ProperClose, AutoMedian};

}  // namespace

const char* MorphologyCaption(int kind)
{
    return kind >= 0 && kind < kMorphologyKinds ? kCaptions[static_cast<std::size_t>(kind)] : "";
}

bool MorphologyRepeats(int kind) { return kind == kDilation || kind == kErosion; }

MorphologyResult RunMorphology(const GrayImage& before, GrayImage& after, int width, int height,
                               const MorphologySettings& settings)
{
    if (!HasPicture(before, after, width, height))
        return NotRun<MorphologyResult>(Outcome::NoPicture);
    MorphologyResult result;
    CopyGrayImage(before, after, width, height);
    const int a = settings.mask;
    result.rounds = MorphologyRepeats(settings.kind) ? std::max(settings.rounds, 1) : 1;
    if (settings.kind == kDilation)
        DilateRounds(before, after, settings.element, a, result.rounds, width, height);
    else if (settings.kind == kErosion)
        ErodeRounds(before, after, settings.element, a, result.rounds, width, height);
    else if (settings.kind >= kOpening && settings.kind < kMorphologyKinds)
        kOnce[static_cast<std::size_t>(settings.kind - kOpening)](
            before, after, settings.element, a, 0, 0, width, height, width, height);
    return result;
}
