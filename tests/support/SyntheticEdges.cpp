// tests/support/SyntheticEdges.cpp
#include "SyntheticEdges.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

struct Vertex {
    double x, y;
};

// Area of the polygon by the shoelace formula.
double Area(const std::vector<Vertex>& polygon)
{
    double twice = 0;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const Vertex& a = polygon[i];
        const Vertex& b = polygon[(i + 1) % polygon.size()];
        twice += a.x * b.y - b.x * a.y;
    }
    return std::abs(twice) / 2;
}

std::uint8_t Gray(double value)
{
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

}  // namespace

double HalfPlaneCover(double x, double y, double px, double py, double angle)
{
    const double theta = angle * std::numbers::pi / 180;
    const double nx = std::sin(theta), ny = -std::cos(theta);
    auto side = [&](const Vertex& v) { return (v.x - px) * nx + (v.y - py) * ny; };
    const std::vector<Vertex> square{
        {x - 0.5, y - 0.5}, {x + 0.5, y - 0.5}, {x + 0.5, y + 0.5}, {x - 0.5, y + 0.5}};
    std::vector<Vertex> kept;  // one clipping pass of the square against side >= 0
    for (std::size_t i = 0; i < square.size(); ++i) {
        const Vertex& a = square[i];
        const Vertex& b = square[(i + 1) % square.size()];
        const double sa = side(a), sb = side(b);
        if (sa >= 0)
            kept.push_back(a);
        if ((sa >= 0) != (sb >= 0)) {
            const double t = sa / (sa - sb);
            kept.push_back({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)});
        }
    }
    return kept.size() < 3 ? 0.0 : Area(kept);
}

double DiscCover(double x, double y, double cx, double cy, double radius)
{
    const double d = std::hypot(x - cx, y - cy);
    if (d + 0.7072 <= radius)  // the square's farthest corner is √2 / 2 away
        return 1.0;
    if (d - 0.7072 >= radius)
        return 0.0;
    constexpr int kSub = 64;
    int inside = 0;
    for (int i = 0; i < kSub; ++i)
        for (int j = 0; j < kSub; ++j) {
            const double sx = x - 0.5 + (i + 0.5) / kSub, sy = y - 0.5 + (j + 0.5) / kSub;
            inside += (sx - cx) * (sx - cx) + (sy - cy) * (sy - cy) < radius * radius ? 1 : 0;
        }
    return static_cast<double>(inside) / (kSub * kSub);
}

GrayImage RenderEdge(const EdgeScene& scene, int width, int height, double sigma,
                     std::mt19937& rng)
{
    GrayImage image = NewGrayImage(width, height);
    std::normal_distribution<double> noise(0.0, sigma > 0 ? sigma : 1.0);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y) {
            const double cover = HalfPlaneCover(x, y, scene.px, scene.py, scene.angle);
            const double value = scene.dark + (scene.bright - scene.dark) * cover;
            image[x][y] = Gray(sigma > 0 ? value + noise(rng) : value);
        }
    return image;
}

GrayImage RenderDisc(const DiscScene& scene, int width, int height, double sigma,
                     std::mt19937& rng)
{
    GrayImage image = NewGrayImage(width, height);
    std::normal_distribution<double> noise(0.0, sigma > 0 ? sigma : 1.0);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y) {
            const double cover = DiscCover(x, y, scene.cx, scene.cy, scene.radius);
            const double value = scene.outside + (scene.inside - scene.outside) * cover;
            image[x][y] = Gray(sigma > 0 ? value + noise(rng) : value);
        }
    return image;
}
