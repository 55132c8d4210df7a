// commands/MeasureFit.cpp
#include "MeasureFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double kStep = 0.5;     // sampling step along the line, in pixels
constexpr int kReach = 12;        // samples each side of t0: 6 px
constexpr double kSide = 0.5;     // the side profiles lie this far either side
constexpr double kNear = 2.0;     // the step's largest difference lies this close to t0

double Degrees(double radians) { return radians * 180.0 / std::numbers::pi; }

// rms and worst of distances, filled into a line or circle.
struct Spread {
    double sum2 = 0, worst = 0;
    int n = 0;
    void Add(double d)
    {
        sum2 += d * d;
        worst = std::max(worst, std::abs(d));
        ++n;
    }
    double Rms() const { return n > 0 ? std::sqrt(sum2 / n) : 0.0; }
};

}  // namespace

std::optional<double> Bilinear(const GrayImage& image, int width, int height, double x, double y)
{
    if (!(x >= 0 && y >= 0 && x <= width - 1 && y <= height - 1))
        return std::nullopt;  // NaN fails too
    const int x0 = std::min(static_cast<int>(x), width - 1);
    const int y0 = std::min(static_cast<int>(y), height - 1);
    const int x1 = std::min(x0 + 1, width - 1), y1 = std::min(y0 + 1, height - 1);
    const double fx = x - x0, fy = y - y0;
    const double top = image[x0][y0] + fx * (image[x1][y0] - image[x0][y0]);
    const double bottom = image[x0][y1] + fx * (image[x1][y1] - image[x0][y1]);
    return top + fy * (bottom - top);
}

double AlongLine(PointF from, PointF to, double x, double y)
{
    const double dx = to.x - from.x, dy = to.y - from.y;
    const double length = std::hypot(dx, dy);
    return length > 0 ? ((x - from.x) * dx + (y - from.y) * dy) / length : 0.0;
}

PointF PointAlong(PointF from, PointF to, double t)
{
    const double dx = to.x - from.x, dy = to.y - from.y;
    const double length = std::hypot(dx, dy);
    if (!(length > 0))
        return from;
    return {from.x + t * dx / length, from.y + t * dy / length};
}

double StepGuess(PointF from, PointF to, int x, int y)
{
    const double dx = to.x - from.x, dy = to.y - from.y;
    const double samples = std::max(std::abs(dx), std::abs(dy));
    const double spacing = samples > 0 ? std::hypot(dx, dy) / samples : 0.0;
    return AlongLine(from, to, x, y) - 0.5 * spacing;
}

namespace {

// One profile: samples every kStep along the line, the differences of one sign
// around the largest near t0, and their centroid.
std::optional<double> StepOnProfile(const GrayImage& image, int width, int height, PointF from,
                                    PointF to, double t0, int sign)
{
    const double length = std::hypot(to.x - from.x, to.y - from.y);
    if (!(length > 0) || !std::isfinite(t0))
        return std::nullopt;
    // g[k] at t0 + (k − kReach)·kStep; the samples inside the image are one stretch.
    std::array<double, 2 * kReach + 1> g{};
    int lo = kReach, hi = kReach;
    auto sample = [&](int k) {
        const PointF p = PointAlong(from, to, t0 + (k - kReach) * kStep);
        return Bilinear(image, width, height, p.x, p.y);
    };
    const std::optional<double> centre = sample(kReach);
    if (!centre)
        return std::nullopt;
    g[kReach] = *centre;
    while (lo > 0) {
        const std::optional<double> v = sample(lo - 1);
        if (!v)
            break;
        g[--lo] = *v;
    }
    while (hi < 2 * kReach) {
        const std::optional<double> v = sample(hi + 1);
        if (!v)
            break;
        g[++hi] = *v;
    }
    // d(k) = g[k + 1] − g[k] lies at t0 + (k + 0.5 − kReach)·kStep.
    auto position = [&](int k) { return t0 + (k + 0.5 - kReach) * kStep; };
    int peak = -1;
    double best = 0;
    for (int k = lo; k < hi; ++k) {
        if (std::abs(position(k) - t0) > kNear)
            continue;
        const double d = g[k + 1] - g[k];
        const double signedD = sign == 0 ? std::abs(d) : sign * d;
        if (signedD > best) {
            best = signedD;
            peak = k;
        }
    }
    if (peak < 0)
        return std::nullopt;
    const double s = g[peak + 1] > g[peak] ? 1.0 : -1.0;
    int first = peak, last = peak;
    while (first > lo && s * (g[first] - g[first - 1]) > 0)
        --first;
    while (last + 1 < hi && s * (g[last + 2] - g[last + 1]) > 0)
        ++last;
    // The centroid of the differences: for a step blurred by any symmetric
    // spread (the pixel's area, the interpolation) it is the step's place.
    double weight = 0, moment = 0;
    for (int k = first; k <= last; ++k) {
        const double w = s * (g[k + 1] - g[k]);
        weight += w;
        moment += w * position(k);
    }
    return moment / weight;
}

}  // namespace

LineFit ToolLine(float a, float b, std::span<const PointF> points)
{
    LineFit fit;
    fit.ok = true;
    fit.points = static_cast<int>(points.size());
    Spread spread;
    if (a == 10000.0f) {  // the tool's mark of a vertical line
        fit.vertical = true;
        fit.c = b;
        fit.angle = 90;
        for (const PointF& p : points)
            spread.Add(p.x - fit.c);
    } else {
        fit.a = a;
        fit.b = b;
        fit.angle = Degrees(std::atan(fit.a));
        const double norm = std::hypot(fit.a, 1.0);
        for (const PointF& p : points)
            spread.Add((fit.a * p.x - p.y + fit.b) / norm);
    }
    fit.rms = spread.Rms();
    fit.worst = spread.worst;
    return fit;
}

LineFit FitLine(std::span<const PointF> points)
{
    LineFit fit;
    fit.points = static_cast<int>(points.size());
    if (points.size() < 2)
        return fit;
    double mx = 0, my = 0;
    for (const PointF& p : points) {
        mx += p.x;
        my += p.y;
    }
    mx /= static_cast<double>(points.size());
    my /= static_cast<double>(points.size());
    double sxx = 0, sxy = 0, syy = 0;
    for (const PointF& p : points) {
        sxx += (p.x - mx) * (p.x - mx);
        sxy += (p.x - mx) * (p.y - my);
        syy += (p.y - my) * (p.y - my);
    }
    if (!(sxx + syy > 0))
        return fit;  // all points in one place
    // The direction of largest spread; the normal is the line's.
    const double phi = 0.5 * std::atan2(2 * sxy, sxx - syy);
    const double ux = std::cos(phi), uy = std::sin(phi);
    fit.ok = true;
    if (std::abs(ux) <= 1e-12) {
        fit.vertical = true;
        fit.c = mx;
        fit.angle = 90;
    } else {
        fit.a = uy / ux;
        fit.b = my - fit.a * mx;
        fit.angle = Degrees(std::atan(fit.a));
    }
    Spread spread;
    for (const PointF& p : points)
        spread.Add(-(p.x - mx) * uy + (p.y - my) * ux);
    fit.rms = spread.Rms();
    fit.worst = spread.worst;
    return fit;
}

std::optional<double> SubpixelStep(const GrayImage& image, int width, int height, PointF from,
                                   PointF to, double t0, int sign)
{
    const double length = std::hypot(to.x - from.x, to.y - from.y);
    if (!(length > 0) || !std::isfinite(t0))
        return std::nullopt;
    const std::optional<double> centre = StepOnProfile(image, width, height, from, to, t0, sign);
    if (!centre)
        return std::nullopt;
    // Interpolated samples blur the step by an amount that changes with where
    // they fall between pixel centres, which shifts a single profile's centroid
    // by up to 0.05 px on slanted edges. Profiles half a pixel to either side
    // and half a step along sample other phases; a straight edge crosses the
    // side profiles symmetrically about the centre one, so their mean stays put.
    const double nx = -(to.y - from.y) / length, ny = (to.x - from.x) / length;
    double sum = 0;
    int n = 0;
    for (const double side : {-kSide, 0.0, kSide})
        for (const double shift : {0.0, kStep / 2}) {
            const PointF a{from.x + side * nx, from.y + side * ny};
            const PointF b{to.x + side * nx, to.y + side * ny};
            const std::optional<double> t =
                StepOnProfile(image, width, height, a, b, *centre + shift, sign);
            // A side profile that leaves the image or finds no step near the
            // centre one's is left out.
            if (t && std::abs(*t - *centre) <= 1.0) {
                sum += *t;
                ++n;
            }
        }
    return n > 0 ? sum / n : centre;
}
