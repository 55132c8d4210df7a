// tests/ui/MeasurementsSamplesTest.cpp: the measures on the sample pictures,
// whose shapes are drawn at known places (see samples/make_samples.cpp; the
// painter's coordinates put a pixel's centre at + 0.5).
#include "Measurements.h"
#include "PictureFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace {

struct Sample {
    GrayImage gray;
    int width = 0, height = 0;
};

Sample Load(const char* name)
{
    const QImage picture = ReadPictureFile(QStringLiteral(GRAYBENCH_SAMPLES_DIR "/") +
                                           QLatin1String(name));
    return {GrayFromPicture(picture), picture.width(), picture.height()};
}

CommandMeasures RunAndMeasure(const Sample& s, const CommandSettings& settings,
                              const Corners& roi = {})
{
    static const TraceSink silent;
    CommandWork work(&silent);
    GrayImage after = NewGrayImage(s.width, s.height);
    const CommandResult result = RunCommand(s.gray, after, s.width, s.height, settings, {}, &work);
    return MeasureCommand(s.gray, s.width, s.height, settings, result, roi);
}

}  // namespace

TEST(MeasureSamples, EdgesAcrossTheGaugesBar)
{
    const Sample gauge = Load("gauge.png");
    EdgeSettings settings;
    settings.strength = 40;
    settings.line = {20, 265, 300, 265};  // across the bar, x 39.5 .. 239.5
    const auto m = std::get<EdgeMeasures>(RunAndMeasure(gauge, settings));
    ASSERT_EQ(m.edges.size(), 2u);
    EXPECT_EQ(m.edges[0].polarity, +1);  // 200 into the bar's 120
    EXPECT_EQ(m.edges[1].polarity, -1);
    for (const EdgeMeasure& e : m.edges) {
        EXPECT_LE(std::hypot(e.sub.x - e.x, e.sub.y - e.y), 1.0) << "edge " << e.index;
        EXPECT_DOUBLE_EQ(e.sub.y, 265.0);
    }
    EXPECT_NEAR(m.edges[0].along, 39.5 - 20, 0.25);
    EXPECT_NEAR(m.edges[1].along, 239.5 - 20, 0.25);
    ASSERT_EQ(m.spacing.size(), 1u);
    EXPECT_DOUBLE_EQ(std::accumulate(m.spacing.begin(), m.spacing.end(), 0.0),
                     m.edges.back().along - m.edges.front().along);
}

TEST(MeasureSamples, TheGaugesSlantedEdge)
{
    const Sample gauge = Load("gauge.png");
    StraightSettings settings;
    settings.direction = kScanUp;  // from the top down into the dark part
    settings.gap = 5;
    settings.strength = 50;
    settings.roi = {260, 285, 500, 360};
    const auto m = std::get<StraightMeasures>(RunAndMeasure(gauge, settings));
    ASSERT_TRUE(m.tool.ok);
    ASSERT_TRUE(m.subpixel.ok);
    EXPECT_EQ(m.runPoints.size(), 49u);  // scan lines 260, 265, .., 500
    EXPECT_EQ(m.subpixelPoints.size(), m.runPoints.size());
    // The edge runs from (0, 330) to (512, 300) in the painter's coordinates.
    const double angle = std::atan(-30.0 / 512) * 180 / M_PI;
    EXPECT_NEAR(m.subpixel.angle, angle, 0.05);
    EXPECT_NEAR(m.subpixel.a * 399.5 + m.subpixel.b, 330 - 30.0 * 400 / 512 - 0.5, 0.1);
    EXPECT_LT(m.subpixel.rms, m.tool.rms);
}

TEST(MeasureSamples, TheGaugesDarkHole)
{
    const Sample gauge = Load("gauge.png");
    CircularSettings settings;
    settings.gap = 10;
    settings.strength = 50;
    settings.insideRadius = 20;
    settings.outsideRadius = 90;
    settings.cx = 150;
    settings.cy = 150;
    const auto m = std::get<CircularMeasures>(RunAndMeasure(gauge, settings));
    ASSERT_TRUE(m.ok);
    ASSERT_TRUE(m.refined.ok);
    EXPECT_EQ(m.subpixelHits.size(), 36u);
    EXPECT_EQ(m.refined.inliers, 36);
    EXPECT_NEAR(m.refined.centre.x, 149.5, 0.1);  // the painter's (150, 150), radius 60
    EXPECT_NEAR(m.refined.centre.y, 149.5, 0.1);
    EXPECT_NEAR(m.refined.radius, 60, 0.1);
    EXPECT_LE(std::hypot(m.refined.centre.x - m.voted.centre.x,
                         m.refined.centre.y - m.voted.centre.y), 1.5);
}

TEST(MeasureSamples, ThePartsObjects)
{
    const Sample parts = Load("parts.png");
    DetectSettings settings;
    settings.threshold.lower = 100;  // dark objects
    settings.roi = {0, 0, 511, 479};
    const auto m = std::get<DetectMeasures>(RunAndMeasure(parts, settings, settings.roi));
    EXPECT_EQ(m.objects.size(), 14u);
    std::int64_t total = 0;
    for (const ObjectMeasure& o : m.objects) {
        EXPECT_GE(o.centroid.x, o.object.minX) << "object " << o.index;
        EXPECT_LE(o.centroid.x, o.object.maxX) << "object " << o.index;
        EXPECT_GE(o.centroid.y, o.object.minY) << "object " << o.index;
        EXPECT_LE(o.centroid.y, o.object.maxY) << "object " << o.index;
        total += o.object.area;
    }
    EXPECT_EQ(m.totalArea, total);
}
