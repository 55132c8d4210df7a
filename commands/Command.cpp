// commands/Command.cpp
#include "Command.h"

#include <algorithm>

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

bool SamePixels(const SizedImage& a, const SizedImage& b)
{
    if (a.width != b.width || a.height != b.height || !a != !b)
        return false;
    if (!a)
        return true;
    for (int x = 0; x < a.width; ++x)
        if (!std::equal(a.pixels[x], a.pixels[x] + a.height, b.pixels[x]))
            return false;
    return true;
}

}  // namespace

bool operator==(const PatternStep& a, const PatternStep& b)
{
    if (a.settings != b.settings || !a.templ != !b.templ)
        return false;
    return a.templ == b.templ || !a.templ || SamePixels(*a.templ, *b.templ);
}

std::string_view CommandName(const CommandSettings& settings)
{
    return std::visit(
        Overloaded{[](const FilterSettings&) { return std::string_view("filter"); },
                   [](const MorphologySettings&) { return std::string_view("morphology"); },
                   [](const BrightnessSettings&) { return std::string_view("brightness"); },
                   [](const ThresholdSettings&) { return std::string_view("threshold"); },
                   [](const DetectSettings&) { return std::string_view("detect"); },
                   [](const PatternStep&) { return std::string_view("pattern"); },
                   [](const EdgeSettings&) { return std::string_view("edge"); },
                   [](const StraightSettings&) { return std::string_view("straight"); },
                   [](const CircularSettings&) { return std::string_view("circular"); }},
        settings);
}

std::string CommandTitle(const CommandSettings& settings)
{
    return std::visit(
        Overloaded{[](const FilterSettings& s) { return std::string(FilterCaption(s.kind)); },
                   [](const MorphologySettings& s) { return std::string(MorphologyCaption(s.kind)); },
                   [](const BrightnessSettings&) { return std::string("Brightness"); },
                   [](const ThresholdSettings&) { return std::string("Threshold"); },
                   [](const DetectSettings&) { return std::string("Detect Object"); },
                   [](const PatternStep&) { return std::string("Find Pattern"); },
                   [](const EdgeSettings&) { return std::string("Find Edge"); },
                   [](const StraightSettings&) { return std::string("Find Straight"); },
                   [](const CircularSettings&) { return std::string("Find Circular"); }},
        settings);
}

CommandResult RunCommand(const GrayImage& before, GrayImage& after, int width, int height,
                         const CommandSettings& settings, const SearchProgress& progress,
                         CommandWork* work)
{
    return std::visit(
        Overloaded{
            [&](const FilterSettings& s) -> CommandResult {
                return RunFilter(before, after, width, height, s);
            },
            [&](const MorphologySettings& s) -> CommandResult {
                return RunMorphology(before, after, width, height, s);
            },
            [&](const BrightnessSettings& s) -> CommandResult {
                return RunBrightness(before, after, width, height, s);
            },
            [&](const ThresholdSettings& s) -> CommandResult {
                return RunThreshold(before, after, width, height, s);
            },
            [&](const DetectSettings& s) -> CommandResult {
                return RunDetect(before, after, width, height, s, work ? &work->detect : nullptr);
            },
            [&](const PatternStep& s) -> CommandResult {
                static const SizedImage kNoTemplate;
                return RunFindPattern(before, after, width, height, s.templ ? *s.templ : kNoTemplate,
                                      s.settings, progress, work ? &work->pattern : nullptr);
            },
            [&](const EdgeSettings& s) -> CommandResult {
                return RunFindEdge(before, after, width, height, s, work ? &work->edge : nullptr);
            },
            [&](const StraightSettings& s) -> CommandResult {
                return RunFindStraight(before, after, width, height, s,
                                       work ? &work->straight : nullptr);
            },
            [&](const CircularSettings& s) -> CommandResult {
                return RunFindCircular(before, after, width, height, s,
                                       work ? &work->circular : nullptr);
            }},
        settings);
}

const CommandReport& ReportOf(const CommandResult& result)
{
    return std::visit([](const auto& r) -> const CommandReport& { return r; }, result);
}
