// tests/support/SubpixelTrials.cpp
#include "SubpixelTrials.h"

#include "Measurements.h"
#include "SyntheticEdges.h"

#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr int kStrength = 30;  // well below the 130 grays of contrast, above the noise

double Radians(double degrees) { return degrees * std::numbers::pi / 180; }

// The angle of a direction folded into (−90, 90].
double Fold(double degrees)
{
    while (degrees > 90)
        degrees -= 180;
    while (degrees <= -90)
        degrees += 180;
    return degrees;
}

template <class Settings>
CommandMeasures RunAndMeasure(const GrayImage& before, int width, int height,
                              const Settings& settings, const Corners& roi = {})
{
    static const TraceSink silent;  // the straight-edge fit's lines would flood the report
    CommandWork work(&silent);
    GrayImage after = NewGrayImage(width, height);
    const CommandSettings s = settings;
    const CommandResult result = RunCommand(before, after, width, height, s, {}, &work);
    return MeasureCommand(before, width, height, s, result, roi);
}

}  // namespace

std::optional<double> EdgePositionError(double angle, double sigma, std::uint32_t seed)
{
    constexpr int kWidth = 96, kHeight = 88;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(-2.0, 2.0);
    EdgeScene scene{kWidth / 2.0 + jitter(rng), kHeight / 2.0 + jitter(rng), angle};
    const GrayImage before = RenderEdge(scene, kWidth, kHeight, sigma, rng);
    // The gauge runs along the normal from the bright side, 30 px each way.
    const double nx = std::sin(Radians(angle)), ny = -std::cos(Radians(angle));
    EdgeSettings settings;
    settings.lookFor = 1;  // the first edge only
    settings.strength = kStrength;
    settings.line = {static_cast<int>(std::lround(scene.px + 30 * nx)),
                     static_cast<int>(std::lround(scene.py + 30 * ny)),
                     static_cast<int>(std::lround(scene.px - 30 * nx)),
                     static_cast<int>(std::lround(scene.py - 30 * ny))};
    const CommandMeasures m = RunAndMeasure(before, kWidth, kHeight, settings);
    const auto* edges = std::get_if<EdgeMeasures>(&m);
    if (edges == nullptr || edges->edges.empty())
        return std::nullopt;
    // Where the gauge's own line crosses the true edge: from A along u, the
    // distance t with (A + t·u − P)·n = 0.
    const Corners& c = settings.line;
    const double ux = c.X2 - c.X1, uy = c.Y2 - c.Y1, length = std::hypot(ux, uy);
    const double t = -((c.X1 - scene.px) * nx + (c.Y1 - scene.py) * ny) /
                     ((ux * nx + uy * ny) / length);
    return edges->edges.front().along - t;
}

std::optional<LineErrors> LineAngleError(double angle, double sigma, std::uint32_t seed)
{
    constexpr int kWidth = 200, kHeight = 160;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(-2.0, 2.0);
    const EdgeScene scene{kWidth / 2.0 + jitter(rng), kHeight / 2.0 + jitter(rng), angle};
    const GrayImage before = RenderEdge(scene, kWidth, kHeight, sigma, rng);
    StraightSettings settings;
    // Scan lines across the edge: columns for a flat edge, rows for a steep one.
    settings.direction = std::abs(Fold(angle)) <= 45 ? kScanDown : kScanRight;
    settings.gap = 2;
    settings.strength = kStrength;
    settings.roi = {30, 25, 170, 135};
    const CommandMeasures m = RunAndMeasure(before, kWidth, kHeight, settings);
    const auto* line = std::get_if<StraightMeasures>(&m);
    if (line == nullptr || !line->subpixel.ok || !line->tool.ok)
        return std::nullopt;
    return LineErrors{Fold(line->subpixel.angle - angle), Fold(line->tool.angle - angle)};
}

std::optional<CircleErrors> CircleError(double sigma, std::uint32_t seed)
{
    constexpr int kWidth = 120, kHeight = 110;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> jitter(-2.0, 2.0), radius(20.0, 40.0);
    const DiscScene scene{kWidth / 2.0 + jitter(rng), kHeight / 2.0 + jitter(rng), radius(rng)};
    const GrayImage before = RenderDisc(scene, kWidth, kHeight, sigma, rng);
    CircularSettings settings;
    settings.direction = kInward;
    settings.gap = 10;
    settings.strength = kStrength;
    settings.insideRadius = 5;
    settings.outsideRadius = static_cast<int>(scene.radius) + 12;
    settings.cx = kWidth / 2;
    settings.cy = kHeight / 2;
    const CommandMeasures m = RunAndMeasure(before, kWidth, kHeight, settings);
    const auto* circle = std::get_if<CircularMeasures>(&m);
    if (circle == nullptr || !circle->refined.ok)
        return std::nullopt;
    return CircleErrors{
        std::hypot(circle->refined.centre.x - scene.cx, circle->refined.centre.y - scene.cy),
        circle->refined.radius - scene.radius};
}
