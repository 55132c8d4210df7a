// commands/PatternCommand.cpp
#include "PatternCommand.h"

#include <algorithm>
#include <string>

namespace {

std::string Size(int w, int h) { return std::to_string(w) + " x " + std::to_string(h); }

// Why a template cannot be searched for, or nothing when it can.
std::string Refusal(TemplateFit fit, int tw, int th)
{
    switch (fit) {
    case TemplateFit::Usable:
        return {};
    case TemplateFit::Empty:
        return "The template picture has no pixels (" + Size(tw, th) +
               "). Create a template from a region of the Before image first.";
    case TemplateFit::TooSmallForZeroAngle:
        return "The template is " + Size(tw, th) +
               " pixels. A search with Angle 0 needs a template of at least 5 x 5 pixels.";
    case TemplateFit::TooSmallForRotation:
        return "The template is " + Size(tw, th) +
               " pixels. A search with an Angle above 0 needs a template of at least 8 x 8 "
               "pixels.";
    }
    return {};
}

}  // namespace

PatternResult RunFindPattern(const GrayImage& before, GrayImage& after, int width, int height,
                             const SizedImage& templ, const PatternSettings& settings,
                             const SearchProgress& progress, PatternWork* work)
{
    if (!HasPicture(before, after, width, height))
        return NotRun<PatternResult>(Outcome::NoPicture);
    const int tw = templ.width, th = templ.height;
    const auto angle = static_cast<float>(settings.angle);
    if (std::string refusal = Refusal(CheckTemplateSize(tw, th, angle), tw, th); !refusal.empty())
        return NotRun<PatternResult>(Outcome::Refused, std::move(refusal));
    if (!templ)
        return NotRun<PatternResult>(Outcome::Refused, "The template picture could not be read.");

    CopyGrayImage(before, after, width, height);
    FloatImage results;
    PatternWork& w = work != nullptr ? *work : ProcessPatternWork();
    const int n = MatchPattern(w, after, templ.pixels, results, 0, 0, tw, th, angle, width, height,
                               progress);
    if (n < 0) {  // cancelled: no outline stays
        CopyGrayImage(before, after, width, height);
        return NotRun<PatternResult>(Outcome::Cancelled);
    }
    PatternResult result;
    if (results)
        for (int j = 0; j < n; ++j)
            result.rows.push_back({results[0][j], results[1][j], results[2][j], results[3][j],
                                   results[4][j], results[5][j]});
    return result;
}

TemplateResult RunCreateTemplate(const GrayImage& before, int width, int height,
                                 const Corners& roi)
{
    const Region r = OrderAndClampRegion(roi.X1, roi.Y1, roi.X2, roi.Y2, width, height);
    // The template is [X1, X2) x [Y1, Y2): the region's last column and row stay out.
    const int tw = r.X2 - r.X1, th = r.Y2 - r.Y1;
    if (tw <= 0 || th <= 0)
        return NotRun<TemplateResult>(
            Outcome::Refused, "The region of interest (" + std::to_string(r.X1) + ", " +
                                  std::to_string(r.Y1) + ") to (" + std::to_string(r.X2) + ", " +
                                  std::to_string(r.Y2) +
                                  ") covers no pixel of the Before image, so no template was "
                                  "written.");
    if (!before)
        return NotRun<TemplateResult>(Outcome::NoPicture);
    TemplateResult result;
    result.region = r;
    result.templ.pixels = NewGrayImage(tw, th);
    if (!result.templ)
        return NotRun<TemplateResult>(Outcome::Refused, "Not enough memory for the template.");
    result.templ.width = tw;
    result.templ.height = th;
    for (int x = 0; x < tw; ++x)
        std::copy_n(before[r.X1 + x] + r.Y1, th, result.templ.pixels[x]);
    return result;
}
