// commands/MeasureRegions.cpp: Detect Object and Threshold.
#include "MeasureTools.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using i64 = std::int64_t;

// One label of our own labelling: the tool's table keeps no sums of x and y,
// so the centroids need a labelling of their own by the same rule.
struct Blob {
    std::int32_t parent;
    std::int32_t minX, minY, maxX, maxY;
    i64 area, sumX, sumY;
};

std::int32_t Root(std::vector<Blob>& blobs, std::int32_t a)
{
    while (blobs[static_cast<std::size_t>(a)].parent != a) {
        Blob& b = blobs[static_cast<std::size_t>(a)];
        b.parent = blobs[static_cast<std::size_t>(b.parent)].parent;  // halves the path
        a = b.parent;
    }
    return a;
}

struct OwnObject {
    DetectedObject object;
    PointF centroid;
};

// The 4-connected objects of the region that touch none of its sides, in the
// tool's order: by their first pixel in a column-by-column scan. A label's
// parent is never larger than the label, so a set's root is its first label.
template <class IsObject>
std::vector<OwnObject> LabelObjects(const GrayImage& image, const Region& r, IsObject isObject)
{
    std::vector<OwnObject> objects;
    if (r.X1 > r.X2 || r.Y1 > r.Y2)
        return objects;
    const int rows = r.Y2 - r.Y1 + 1;
    std::vector<std::int32_t> previous(static_cast<std::size_t>(rows), -1), current(previous);
    std::vector<Blob> blobs;
    for (int x = r.X1; x <= r.X2; ++x) {
        const std::uint8_t* column = image[x];
        for (int j = 0; j < rows; ++j) {
            const int y = r.Y1 + j;
            if (!isObject(column[y])) {
                current[static_cast<std::size_t>(j)] = -1;
                continue;
            }
            const std::int32_t left = previous[static_cast<std::size_t>(j)];
            const std::int32_t up = j > 0 ? current[static_cast<std::size_t>(j - 1)] : -1;
            std::int32_t label;
            if (left < 0 && up < 0) {
                label = static_cast<std::int32_t>(blobs.size());
                blobs.push_back({label, x, y, x, y, 0, 0, 0});
            } else if (left < 0 || up < 0) {
                label = left < 0 ? up : left;
            } else {
                const std::int32_t a = Root(blobs, left), b = Root(blobs, up);
                label = std::min(a, b);
                blobs[static_cast<std::size_t>(std::max(a, b))].parent = label;
            }
            Blob& blob = blobs[static_cast<std::size_t>(label)];
            blob.minX = std::min(blob.minX, x);
            blob.minY = std::min(blob.minY, y);
            blob.maxX = std::max(blob.maxX, x);
            blob.maxY = std::max(blob.maxY, y);
            ++blob.area;
            blob.sumX += x;
            blob.sumY += y;
            current[static_cast<std::size_t>(j)] = label;
        }
        previous.swap(current);
    }
    // Each record folds into its root, which comes before it.
    for (std::size_t i = 0; i < blobs.size(); ++i) {
        const auto root = static_cast<std::size_t>(Root(blobs, static_cast<std::int32_t>(i)));
        if (root == i)
            continue;
        Blob& to = blobs[root];
        const Blob& from = blobs[i];
        to.minX = std::min(to.minX, from.minX);
        to.minY = std::min(to.minY, from.minY);
        to.maxX = std::max(to.maxX, from.maxX);
        to.maxY = std::max(to.maxY, from.maxY);
        to.area += from.area;
        to.sumX += from.sumX;
        to.sumY += from.sumY;
    }
    for (std::size_t i = 0; i < blobs.size(); ++i) {
        const Blob& b = blobs[i];
        if (b.parent != static_cast<std::int32_t>(i) || b.minX == r.X1 || b.minY == r.Y1 ||
            b.maxX == r.X2 || b.maxY == r.Y2)
            continue;
        const double area = static_cast<double>(b.area);
        const PointF centroid{static_cast<double>(b.sumX) / area,
                              static_cast<double>(b.sumY) / area};
        objects.push_back(
            {{b.minX, b.minY, b.maxX, b.maxY, static_cast<std::int32_t>(b.area)}, centroid});
    }
    return objects;
}

}  // namespace

std::vector<ObjectMeasure> LabelOwnObjects(const GrayImage& image, const DetectSettings& settings,
                                           const DetectResult& result)
{
    std::vector<OwnObject> own;
    const int mode = settings.threshold.mode;
    const int t = result.threshold, upper = result.upper;
    if (mode == kDarkObjects)
        own = LabelObjects(image, result.region, [t](int v) { return v <= t; });
    else if (mode == kBrightObjects)
        own = LabelObjects(image, result.region, [t](int v) { return v >= t; });
    else if (mode == kGrayObjects)
        own = LabelObjects(image, result.region,
                           [t, upper](int v) { return v <= t || v >= upper; });
    // Any other mode labels nothing, as in the tool.
    std::vector<ObjectMeasure> objects;
    for (const OwnObject& o : own)
        objects.push_back({static_cast<int>(objects.size()) + 1, o.object, o.centroid});
    return objects;
}

DetectMeasures MeasureDetect(const GrayImage& before, int, int, const DetectSettings& settings,
                             const DetectResult& result)
{
    DetectMeasures m;
    const std::vector<ObjectMeasure> own = LabelOwnObjects(before, settings, result);
    for (std::size_t i = 0; i < result.objects.size(); ++i) {
        const DetectedObject& o = result.objects[i];
        ObjectMeasure om;
        om.index = static_cast<int>(i) + 1;
        om.object = o;
        // The same rule lists the same objects in the same order; should the
        // lists part (a region past 2^31 − 1 pixels, which the tool cuts short),
        // the box's centre stands in.
        om.centroid = {(o.minX + o.maxX) / 2.0, (o.minY + o.maxY) / 2.0};
        if (i < own.size() && own[i].object == o)
            om.centroid = own[i].centroid;
        m.objects.push_back(om);
        m.totalArea += o.area;
    }
    return m;
}

ThresholdMeasures MeasureThreshold(const GrayImage& before, int width, int height,
                                   const ThresholdResult& result, const Corners& roi)
{
    ThresholdMeasures m;
    m.threshold = result.threshold;
    m.upper = result.upper;
    const Region r = OrderAndClampRegion(roi.X1, roi.Y1, roi.X2, roi.Y2, width, height);
    std::array<i64, 256> histogram{};
    for (int x = r.X1; x <= r.X2; ++x) {
        const std::uint8_t* column = before[x];
        for (int y = r.Y1; y <= r.Y2; ++y)
            ++histogram[column[y]];
    }
    RegionStats& s = m.region;
    double sum = 0;
    for (int v = 0; v < 256; ++v) {
        s.pixels += histogram[static_cast<std::size_t>(v)];
        (v > m.threshold ? s.above : s.below) += histogram[static_cast<std::size_t>(v)];
        sum += static_cast<double>(v) * static_cast<double>(histogram[static_cast<std::size_t>(v)]);
    }
    if (s.pixels == 0)
        return m;
    s.mean = sum / static_cast<double>(s.pixels);
    double squares = 0;  // about the mean: no cancellation of two large sums
    for (int v = 0; v < 256; ++v)
        squares += static_cast<double>(histogram[static_cast<std::size_t>(v)]) * (v - s.mean) *
                   (v - s.mean);
    s.deviation = std::sqrt(squares / static_cast<double>(s.pixels));
    return m;
}
