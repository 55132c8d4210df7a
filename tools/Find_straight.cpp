// tools/Find_straight.cpp
#include "Find_straight.h"

#include "Find_edge.h"
#include "Parallel.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

using i64 = std::int64_t;

// A rake with more scan lines than the hit table holds does nothing: only a
// region over a million pixels across at gap 1 needs them, and a hostile
// region (the ends of the int range) would need billions.
constexpr i64 kMaxScanLines = 1'000'000;

// The tables of every call that hands in no work: one for the whole process.
StraightWork& SharedWork()
{
    static StraightWork work;
    return work;
}

struct ScanLine {
    int startX, startY, endX, endY;
};

int Saturate(i64 v) { return static_cast<int>(std::clamp<i64>(v, INT_MIN, INT_MAX)); }

ScanHit FirstHit(const GrayImage& image, std::uint8_t threshold, const ScanLine& line, int width,
                 int height)
{
    ScanHit hit{0, 0, 0};
    if (FirstStepAtLeast(image, threshold, line.startX, line.startY, line.endX, line.endY, width,
                         height, hit.x, hit.y))
        hit.found = 1;
    return hit;
}

// For every i, the first j > i with value[j] >= value[i] + 2, or n when there is
// none. Walks from the right keeping the chain of record values seen from i + 1
// on: i + 1, then the next index with a larger value, and so on. Every index
// between two chain entries is no larger than the earlier entry, so the first
// index reaching a bound is the first chain entry reaching it.
void FirstAtLeastTwoAbove(const std::vector<i64>& value, std::vector<std::size_t>& end)
{
    const std::size_t n = value.size();
    std::vector<std::size_t> chain;  // back = i + 1; values grow toward the front
    for (std::size_t i = n; i-- > 0;) {
        const i64 bound = value[i] + 2;
        // Entries reaching the bound form a prefix; the last of it is nearest to i.
        const auto reach = std::partition_point(chain.begin(), chain.end(),
                                                [&](std::size_t j) { return value[j] >= bound; });
        if (reach != chain.begin())
            end[i] = std::min(end[i], *(reach - 1));
        while (!chain.empty() && value[chain.back()] <= value[i])
            chain.pop_back();
        chain.push_back(i);
    }
}

bool Fit(std::span<const ScanHit> scan, const TraceSink* trace, StepRun& chosen, float& a,
         float& b)
{
    const std::vector<StepRun> runs = GroupStepRuns(scan);
    if (runs.empty())
        return false;
    std::size_t best = 0;
    for (std::size_t i = 1; i < runs.size(); ++i) {
        TraceLine(trace, "### A= %d B = %d COUNT = %d \n", runs[i].a, runs[i].b, runs[i].count);
        if (runs[i].count > runs[best].count)  // strictly: the earliest of equal runs wins
            best = i;
    }
    chosen = runs[best];
    TraceLine(trace, "### A= %d B = %d COUNT = %d \n", chosen.a, chosen.b, chosen.count);
    LineThroughPoints(chosen.firstX, chosen.firstY, chosen.lastX, chosen.lastY, a, b, trace);
    return true;
}

}  // namespace

StraightWork& ProcessStraightWork() { return SharedWork(); }

std::int64_t SampleScanProfile(const GrayImage& image, int x1, int y1, int x2, int y2, int width,
                               int height)
{
    return SampleScanProfile(SharedWork(), image, x1, y1, x2, y2, width, height);
}

std::int64_t SampleScanProfile(StraightWork& work, const GrayImage& image, int x1, int y1, int x2,
                               int y2, int width, int height)
{
    std::vector<ScanSample>& profile = work.profile;
    profile.clear();
    LineWalker walk(x1, y1, x2, y2, width, height);
    int x, y;
    bool first = true;
    int previous = 0;
    while (walk.Next(x, y)) {
        const int g = image[x][y];
        if (first) {
            previous = g;
            first = false;
        }
        profile.push_back({x, y, static_cast<std::uint8_t>(std::abs(g - previous))});
        previous = g;
    }
    return walk.Length();
}

std::span<const ScanSample> ScanProfile() { return SharedWork().profile; }
std::span<const ScanHit> ScanHits() { return SharedWork().hits; }

std::vector<StepRun> GroupStepRuns(std::span<const ScanHit> scan)
{
    std::vector<StepRun> runs;
    for (std::size_t q = 0; q + 1 < scan.size(); ++q)
        if (scan[q].found == 1 && scan[q + 1].found == 1)
            runs.push_back({scan[q].x - scan[q + 1].x, scan[q].y - scan[q + 1].y, scan[q].x,
                            scan[q].y, scan[q + 1].x, scan[q + 1].y, 1});
    const std::size_t n = runs.size();
    if (n < 2)
        return runs;
    // Run i takes in runs i + 1 .. end − 1, where end is the first run whose a or
    // b differs from run i's by 2 or more. Walking each run's group one by one is
    // quadratic on a long straight edge; four record-chain passes (a up, a down,
    // b up, b down) find every end in n log n.
    std::vector<std::size_t> end(n, n);
    std::vector<i64> value(n);
    for (int pass = 0; pass < 4; ++pass) {
        for (std::size_t i = 0; i < n; ++i) {
            const i64 v = pass < 2 ? runs[i].a : runs[i].b;
            value[i] = pass % 2 == 0 ? v : -v;
        }
        FirstAtLeastTwoAbove(value, end);
    }
    for (std::size_t i = 0; i + 1 < n; ++i) {
        runs[i].count = static_cast<std::int32_t>(end[i] - i);
        if (end[i] - 1 > i) {
            runs[i].lastX = runs[end[i] - 1].firstX;
            runs[i].lastY = runs[end[i] - 1].firstY;
        }
    }
    return runs;
}

bool FitStraightEdge(std::span<const ScanHit> scan, float& a, float& b)
{
    StepRun chosen{};
    return Fit(scan, SharedWork().trace, chosen, a, b);
}

bool FitStraightEdge(StraightWork& work, std::span<const ScanHit> scan)
{
    work.fitted = Fit(scan, work.trace, work.run, work.a, work.b);
    return work.fitted;
}

void DrawFittedLine(GrayImage& image, float a, float b, int width, int height)
{
    if (a != 10000.0f) {
        for (int x = 0; x + 1 < width; ++x) {
            const float y = a * static_cast<float>(x) + b;  // single precision, as a and b are
            // Truncation toward zero, then 0 < y < height: so y >= 1 (NaN fails too).
            if (y >= 1.0f && y < 2147483648.0f) {
                const int row = static_cast<int>(y);
                if (row < height)
                    image[x][row] = 128;
            }
        }
        return;
    }
    // A vertical line at column b; a column outside the image draws nothing.
    if (!(b >= 0.0f && b < 2147483648.0f))
        return;
    const int column = static_cast<int>(b);
    if (column >= width)
        return;
    for (int y = 0; y + 1 < height; ++y)
        image[column][y] = 128;
}

void FindStraightEdge(GrayImage& image, std::uint8_t threshold, int gap, int direction,
                      float angle, int X1, int Y1, int X2, int Y2, int width, int height)
{
    FindStraightEdge(SharedWork(), image, threshold, gap, direction, angle, X1, Y1, X2, Y2, width,
                     height);
}

void FindStraightEdge(StraightWork& work, GrayImage& image, std::uint8_t threshold, int gap,
                      int direction, float angle, int X1, int Y1, int X2, int Y2, int width,
                      int height)
{
    std::vector<ScanHit>& hits = work.hits;
    hits.clear();
    work.fitted = false;
    work.a = work.b = 0.0f;
    work.run = {};
    if (gap < 1 || direction < kScanUp || direction > kScanRight)
        return;
    // A region dragged from any corner gives the same rake.
    const i64 left = std::min(X1, X2), right = std::max(X1, X2);
    const i64 top = std::min(Y1, Y2), bottom = std::max(Y1, Y2);
    const bool across = direction == kScanUp || direction == kScanDown;  // scan lines are columns
    const i64 from = across ? left : top, to = across ? right : bottom;
    const i64 span = to - from;
    const i64 count = span / gap + 1 + (span % gap != 0 ? 1 : 0);
    if (count > kMaxScanLines)
        return;
    const int n = static_cast<int>(count);
    const i64 cx = (left + right) / 2, cy = (top + bottom) / 2;  // truncation toward zero

    auto turned = [&](i64 px, i64 py, int& x, int& y) {
        int rx, ry;
        RotatePoint(Saturate(px - cx), Saturate(py - cy), rx, ry, angle);
        x = Saturate(cx + rx);
        y = Saturate(cy + ry);
    };
    std::vector<ScanLine> lines(static_cast<std::size_t>(n));
    hits.assign(static_cast<std::size_t>(n), ScanHit{0, 0, 0});
    // Scan lines are independent: each range fills only its own entries.
    ParallelFor(0, n, 32, [&](int lo, int hi) {
        for (int s = lo; s < hi; ++s) {
            const i64 p = s == n - 1 ? to : from + static_cast<i64>(gap) * s;
            ScanLine& line = lines[static_cast<std::size_t>(s)];
            switch (direction) {
            case kScanUp:
                turned(p, top, line.startX, line.startY);
                turned(p, bottom, line.endX, line.endY);
                break;
            case kScanLeft:
                turned(left, p, line.startX, line.startY);
                turned(right, p, line.endX, line.endY);
                break;
            case kScanDown:
                turned(p, bottom, line.startX, line.startY);
                turned(p, top, line.endX, line.endY);
                break;
            default:
                turned(right, p, line.startX, line.startY);
                turned(left, p, line.endX, line.endY);
                break;
            }
            hits[static_cast<std::size_t>(s)] = FirstHit(image, threshold, line, width, height);
        }
    });

    // Marks in scan-line order: later marks cover earlier ones.
    for (int s = 0; s < n; ++s) {
        const ScanLine& line = lines[static_cast<std::size_t>(s)];
        DrawLine(image, 200, line.startX, line.startY, line.endX, line.endY, width, height);
        DrawCircle(image, 5, 200, line.endX, line.endY, width, height);
        const ScanHit& hit = hits[static_cast<std::size_t>(s)];
        if (hit.found == 1)
            DrawCircle(image, 5, 200, hit.x, hit.y, width, height);
    }
    if (FitStraightEdge(work, hits))
        DrawFittedLine(image, work.a, work.b, width, height);
}
