// commands/MeasureCircle.cpp: the least-squares circle.
#include "MeasureFit.h"

#include <array>
#include <cmath>
#include <utility>

namespace {

constexpr int kCircleSteps = 20;  // Gauss-Newton steps at most; a few suffice

// Solves m·v = r by elimination with partial pivoting; false when m is singular.
bool Solve3(std::array<std::array<double, 3>, 3> m, std::array<double, 3> r,
            std::array<double, 3>& v)
{
    for (int c = 0; c < 3; ++c) {
        int pivot = c;
        for (int i = c + 1; i < 3; ++i)
            if (std::abs(m[i][c]) > std::abs(m[pivot][c]))
                pivot = i;
        if (!(std::abs(m[pivot][c]) > 1e-300))
            return false;
        std::swap(m[c], m[pivot]);
        std::swap(r[c], r[pivot]);
        for (int i = c + 1; i < 3; ++i) {
            const double f = m[i][c] / m[c][c];
            for (int j = c; j < 3; ++j)
                m[i][j] -= f * m[c][j];
            r[i] -= f * r[c];
        }
    }
    for (int c = 2; c >= 0; --c) {
        double s = r[c];
        for (int j = c + 1; j < 3; ++j)
            s -= m[c][j] * v[j];
        v[c] = s / m[c][c];
    }
    return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]);
}

}  // namespace

double CircleRms(PointF centre, double radius, std::span<const PointF> points)
{
    double sum2 = 0;
    for (const PointF& p : points) {
        const double d = std::hypot(p.x - centre.x, p.y - centre.y) - radius;
        sum2 += d * d;
    }
    return points.empty() ? 0.0 : std::sqrt(sum2 / static_cast<double>(points.size()));
}

CircleFit FitCircle(std::span<const PointF> points)
{
    CircleFit fit;
    fit.inliers = static_cast<int>(points.size());
    if (points.size() < 3)
        return fit;
    // Relative to the mean, so the sums stay well conditioned far from the origin.
    double mx = 0, my = 0;
    for (const PointF& p : points) {
        mx += p.x;
        my += p.y;
    }
    mx /= static_cast<double>(points.size());
    my /= static_cast<double>(points.size());
    // Algebraic: x² + y² + D·x + E·y + F = 0 in least squares.
    std::array<std::array<double, 3>, 3> m{};
    std::array<double, 3> r{};
    for (const PointF& p : points) {
        const double x = p.x - mx, y = p.y - my, z = x * x + y * y;
        const std::array<double, 3> row{x, y, 1.0};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j)
                m[i][j] += row[i] * row[j];
            r[i] -= row[i] * z;
        }
    }
    std::array<double, 3> v{};
    if (!Solve3(m, r, v))
        return fit;
    double cx = -v[0] / 2, cy = -v[1] / 2;
    const double q = cx * cx + cy * cy - v[2];
    if (!(q > 0))
        return fit;
    double radius = std::sqrt(q);
    // Geometric: distance from the circle in least squares.
    for (int step = 0; step < kCircleSteps; ++step) {
        std::array<std::array<double, 3>, 3> jj{};
        std::array<double, 3> jr{};
        for (const PointF& p : points) {
            const double x = p.x - mx - cx, y = p.y - my - cy;
            const double d = std::hypot(x, y);
            if (!(d > 0))
                continue;
            const std::array<double, 3> row{-x / d, -y / d, -1.0};
            const double residual = d - radius;
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j)
                    jj[i][j] += row[i] * row[j];
                jr[i] -= row[i] * residual;
            }
        }
        std::array<double, 3> delta{};
        if (!Solve3(jj, jr, delta))
            break;
        cx += delta[0];
        cy += delta[1];
        radius += delta[2];
        if (std::abs(delta[0]) + std::abs(delta[1]) + std::abs(delta[2]) < 1e-9)
            break;
    }
    if (!(radius > 0) || !std::isfinite(cx) || !std::isfinite(cy))
        return fit;
    fit.ok = true;
    fit.centre = {mx + cx, my + cy};
    fit.radius = radius;
    fit.rms = CircleRms(fit.centre, fit.radius, points);
    return fit;
}
