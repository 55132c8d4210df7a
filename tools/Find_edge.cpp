// tools/Find_edge.cpp
#include "Find_edge.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using i64 = std::int64_t;

// The tables of every call that hands in no work: one for the whole process.
EdgeWork& SharedWork()
{
    static EdgeWork work;
    return work;
}

bool Accepts(int polarityFilter, int polarity)
{
    switch (polarityFilter) {
    case kAnyPolarity: return true;
    case kDarkToBrightOnly: return polarity == -1;
    case kBrightToDarkOnly: return polarity == +1;
    default: return false;
    }
}

}  // namespace

EdgeWork& ProcessEdgeWork() { return SharedWork(); }

LineWalker::LineWalker(int x1, int y1, int x2, int y2, int width, int height)
{
    // Visit t (0 <= t < L) lies at major = M0 + sM·t and minor = m0 + sm·k(t) with
    // k(t) = floor((2S·t + L) / (2L)), the closed form of the error walk
    // e = 2S − L, "if e >= 0 step the minor axis". So the walk can start at the
    // first visit whose major coordinate is inside the image.
    const i64 dx = static_cast<i64>(x2) - x1, dy = static_cast<i64>(y2) - y1;
    steep_ = std::abs(dy) > std::abs(dx);
    const i64 L = steep_ ? std::abs(dy) : std::abs(dx);
    const i64 S = steep_ ? std::abs(dx) : std::abs(dy);
    length_ = L;
    const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    majorStep_ = steep_ ? sy : sx;
    minorStep_ = steep_ ? sx : sy;
    const i64 M0 = steep_ ? y1 : x1, m0 = steep_ ? x1 : y1;
    const i64 majorLimit = steep_ ? height : width;
    minorLimit_ = steep_ ? width : height;
    if (L == 0 || majorLimit <= 0 || minorLimit_ <= 0)
        return;
    i64 first = majorStep_ > 0 ? -M0 : M0 - (majorLimit - 1);
    i64 last = majorStep_ > 0 ? majorLimit - 1 - M0 : M0;
    first = std::max<i64>(first, 0);
    last = std::min<i64>(last, L - 1);
    if (first > last)
        return;
    const __int128 twoS = 2 * static_cast<__int128>(S), twoL = 2 * static_cast<__int128>(L);
    const i64 k = static_cast<i64>((twoS * first + L) / twoL);
    error_ = static_cast<i64>(twoS - L + twoS * first - twoL * k);  // within (−2L, 2S]
    twoS_ = 2 * S;
    twoL_ = 2 * L;
    major_ = M0 + majorStep_ * first;
    minor_ = m0 + minorStep_ * k;
    left_ = last - first + 1;
}

bool LineWalker::Next(int& x, int& y)
{
    while (left_ > 0) {
        const i64 major = major_, minor = minor_;
        --left_;
        if (error_ >= 0) {
            minor_ += minorStep_;
            error_ -= twoL_;
        }
        major_ += majorStep_;
        error_ += twoS_;
        if (minor >= 0 && minor < minorLimit_) {
            x = static_cast<int>(steep_ ? minor : major);
            y = static_cast<int>(steep_ ? major : minor);
            return true;
        }
    }
    return false;
}

bool FirstStepAtLeast(const GrayImage& image, std::uint8_t threshold, int x1, int y1, int x2,
                      int y2, int width, int height, int& x, int& y)
{
    LineWalker walk(x1, y1, x2, y2, width, height);
    int px, py;
    if (!walk.Next(px, py))
        return false;
    int previous = image[px][py];  // the first sample is its own previous point: step 0
    do {
        const int g = image[px][py];
        if (std::abs(g - previous) >= threshold) {
            x = px;
            y = py;
            return true;
        }
        previous = g;
    } while (walk.Next(px, py));
    return false;
}

std::int64_t SampleEdgeProfile(const GrayImage& image, int x1, int y1, int x2, int y2, int width,
                               int height)
{
    return SampleEdgeProfile(SharedWork(), image, x1, y1, x2, y2, width, height);
}

std::int64_t SampleEdgeProfile(EdgeWork& work, const GrayImage& image, int x1, int y1, int x2,
                               int y2, int width, int height)
{
    std::vector<EdgeSample>& profile = work.profile;
    profile.clear();
    LineWalker walk(x1, y1, x2, y2, width, height);
    int x, y;
    bool first = true;
    int previous = 0;
    while (walk.Next(x, y)) {
        const int g = image[x][y];
        if (first) {  // the first point inside is its own previous point
            previous = g;
            first = false;
        }
        const int step = g - previous;
        profile.push_back({x, y, static_cast<std::uint8_t>(std::abs(step)), step < 0 ? +1 : -1});
        previous = g;
    }
    return walk.Length();
}

std::span<const EdgeSample> EdgeProfile() { return SharedWork().profile; }

int FindEdgesOnLine(GrayImage& image, std::uint8_t threshold, int polarityFilter, int lookFor,
                    int x1, int y1, int x2, int y2, int width, int height)
{
    return FindEdgesOnLine(SharedWork(), image, threshold, polarityFilter, lookFor, x1, y1, x2, y2,
                           width, height);
}

int FindEdgesOnLine(EdgeWork& work, GrayImage& image, std::uint8_t threshold, int polarityFilter,
                    int lookFor, int x1, int y1, int x2, int y2, int width, int height)
{
    // Sampled before anything is drawn, so the line never disturbs the samples.
    SampleEdgeProfile(work, image, x1, y1, x2, y2, width, height);
    DrawLine(image, 128, x1, y1, x2, y2, width, height);
    const std::vector<EdgeSample>& profile = work.profile;
    work.marks.clear();
    work.count = 0;
    auto isEdge = [&](const EdgeSample& s) {
        return s.strength >= threshold && Accepts(polarityFilter, s.polarity);
    };
    auto mark = [&](const EdgeSample& s) {
        DrawCircle(image, 5, s.polarity == +1 ? 255 : 128, s.x, s.y, width, height);
        const std::int64_t index = &s - profile.data();
        work.marks.push_back({s.x, s.y, s.polarity, s.strength, index});
    };
    const auto forward = std::find_if(profile.begin(), profile.end(), isEdge);
    switch (lookFor) {
    case kAllEdges:
        for (const EdgeSample& s : profile)
            if (isEdge(s)) {
                mark(s);
                ++work.count;
            }
        return work.count;
    case kFirstEdgeOnly:
        if (forward != profile.end())
            mark(*forward);
        return 0;
    case kFirstAndLastEdge:
        if (forward != profile.end()) {
            mark(*forward);
            mark(*std::find_if(profile.rbegin(), profile.rend(), isEdge));
        }
        return 0;
    default:
        return 0;
    }
}
