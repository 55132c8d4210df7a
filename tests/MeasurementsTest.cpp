// tests/MeasurementsTest.cpp
#include "MeasureFit.h"
#include "MeasureTools.h"
#include "Measurements.h"
#include "SubpixelTrials.h"
#include "SyntheticEdges.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

template <class Settings>
CommandResult RunOn(const GrayImage& before, int width, int height, const Settings& settings,
                  CommandWork* work = nullptr)
{
    static const TraceSink silent;
    CommandWork own(&silent);
    GrayImage after = NewGrayImage(width, height);
    return RunCommand(before, after, width, height, settings, {}, work != nullptr ? work : &own);
}

template <class Settings>
CommandMeasures Measure(const GrayImage& before, int width, int height, const Settings& settings,
                        const Corners& roi = {})
{
    return MeasureCommand(before, width, height, settings, RunOn(before, width, height, settings),
                          roi);
}

constexpr double kAngles[] = {0, 5, 30, 45, 80};

}  // namespace

// Accuracy on pictures of exact coverage: 8 seeds an angle and noise level.
TEST(MeasureCommand, PlacesEdgesWithinTheBounds)
{
    for (const double sigma : {0.0, 2.0})
        for (const double angle : kAngles)
            for (std::uint32_t seed = 1; seed <= 8; ++seed) {
                const std::optional<double> error = EdgePositionError(angle, sigma, seed);
                ASSERT_TRUE(error) << angle << " deg, seed " << seed;
                EXPECT_LE(std::abs(*error), sigma == 0 ? 0.05 : 0.15)
                    << angle << " deg, noise " << sigma << ", seed " << seed;
            }
}

TEST(MeasureCommand, FitsLineAnglesWithinTheBounds)
{
    for (const double sigma : {0.0, 2.0})
        for (const double angle : kAngles)
            for (std::uint32_t seed = 1; seed <= 8; ++seed) {
                const std::optional<LineErrors> error = LineAngleError(angle, sigma, seed);
                ASSERT_TRUE(error) << angle << " deg, seed " << seed;
                EXPECT_LE(std::abs(error->subpixel), 0.05)
                    << angle << " deg, noise " << sigma << ", seed " << seed;
            }
}

TEST(MeasureCommand, FitsCirclesWithinTheBounds)
{
    for (const double sigma : {0.0, 2.0})
        for (std::uint32_t seed = 1; seed <= 12; ++seed) {
            const std::optional<CircleErrors> error = CircleError(sigma, seed);
            ASSERT_TRUE(error) << "seed " << seed;
            const double bound = sigma == 0 ? 0.05 : 0.1;
            EXPECT_LE(error->centre, bound) << "noise " << sigma << ", seed " << seed;
            EXPECT_LE(std::abs(error->radius), bound) << "noise " << sigma << ", seed " << seed;
        }
}

TEST(MeasureCommand, PutsAColumnStepWhereThePixelsShareSaysItIs)
{
    // Pixel 4 covers 3.5 .. 4.5 and is 0.3 bright: 40 + 0.3·200 = 100, so the
    // step is at 4.5 − 0.3 = 4.2. Strength 100 marks only x = 5 (100 → 240).
    const GrayImage before = FromRows({{40, 40, 40, 40, 100, 240, 240, 240, 240},
                                       {40, 40, 40, 40, 100, 240, 240, 240, 240},
                                       {40, 40, 40, 40, 100, 240, 240, 240, 240}});
    EdgeSettings settings;
    settings.strength = 100;
    settings.line = {8, 1, 0, 1};  // right to left: along = 8 − 4.2
    const auto m = std::get<EdgeMeasures>(Measure(before, 9, 3, settings));
    ASSERT_EQ(m.edges.size(), 1u);
    EXPECT_EQ(m.edges[0].x, 4);  // right to left, the step 240 → 100 is at x = 4
    EXPECT_EQ(m.edges[0].polarity, +1);
    EXPECT_NEAR(m.edges[0].along, 8 - 4.2, 1e-9);
    EXPECT_NEAR(m.edges[0].sub.x, 4.2, 1e-9);
    EXPECT_NEAR(m.edges[0].sub.y, 1.0, 1e-9);
    EXPECT_TRUE(m.spacing.empty());
}

TEST(MeasureCommand, GivesEdgeSpacingBetweenConsecutiveEdges)
{
    // Steps at 2.5 (60 → 200) and 6.5 (200 → 60), whole pixels: along 2.5 and 6.5.
    const GrayImage before = FromRows({{60, 60, 60, 200, 200, 200, 200, 60, 60, 60}});
    EdgeSettings settings;
    settings.strength = 50;
    settings.line = {0, 0, 9, 0};
    const auto m = std::get<EdgeMeasures>(Measure(before, 10, 1, settings));
    ASSERT_EQ(m.edges.size(), 2u);
    EXPECT_EQ(m.edges[0].index, 1);
    EXPECT_EQ(m.edges[1].index, 2);
    EXPECT_NEAR(m.edges[0].along, 2.5, 1e-9);
    EXPECT_NEAR(m.edges[1].along, 6.5, 1e-9);
    ASSERT_EQ(m.spacing.size(), 1u);
    EXPECT_NEAR(m.spacing[0], 4.0, 1e-9);
}

TEST(FitLine, IsExactOnPointsOfALine)
{
    struct Case { std::vector<PointF> points; bool vertical; double a, b, c, angle; };
    const Case cases[] = {
        {{{0, 1}, {2, 2}, {4, 3}, {10, 6}}, false, 0.5, 1, 0, std::atan(0.5) * 180 / M_PI},
        {{{3, 0}, {3, 5}, {3, -7}}, true, 0, 0, 3, 90},
        {{{0, 4}, {1, 4}, {9, 4}}, false, 0, 4, 0, 0},
        {{{0, 0}, {1, -3}, {2, -6}}, false, -3, 0, 0, std::atan(-3.0) * 180 / M_PI},
    };
    for (const Case& c : cases) {
        const LineFit fit = FitLine(c.points);
        ASSERT_TRUE(fit.ok);
        EXPECT_EQ(fit.vertical, c.vertical);
        EXPECT_NEAR(fit.a, c.a, 1e-9);
        EXPECT_NEAR(fit.b, c.b, 1e-9);
        EXPECT_NEAR(fit.c, c.c, 1e-9);
        EXPECT_NEAR(fit.angle, c.angle, 1e-9);
        EXPECT_EQ(fit.points, static_cast<int>(c.points.size()));
        EXPECT_NEAR(fit.worst, 0, 1e-9);
    }
    EXPECT_FALSE(FitLine(std::vector<PointF>{{1, 1}, {1, 1}}).ok);  // one place: no direction
    // The tool's vertical mark: x = b, distance |x − b|.
    const LineFit tool = ToolLine(10000.0f, 7.0f, std::vector<PointF>{{7, 0}, {9, 1}, {7, 2}});
    EXPECT_TRUE(tool.vertical);
    EXPECT_EQ(tool.c, 7.0);
    EXPECT_DOUBLE_EQ(tool.worst, 2.0);
    EXPECT_DOUBLE_EQ(tool.rms, std::sqrt(4.0 / 3));
}

TEST(FitCircle, IsExactOnPointsOfACircleFarFromTheOrigin)
{
    std::vector<PointF> points;
    for (int k = 0; k < 7; ++k) {  // an arc of 7 points, 50° apart
        const double theta = k * 50 * M_PI / 180;
        points.push_back({5000.25 + 17.5 * std::cos(theta), -3000.5 + 17.5 * std::sin(theta)});
    }
    const CircleFit fit = FitCircle(points);
    ASSERT_TRUE(fit.ok);
    EXPECT_NEAR(fit.centre.x, 5000.25, 1e-6);
    EXPECT_NEAR(fit.centre.y, -3000.5, 1e-6);
    EXPECT_NEAR(fit.radius, 17.5, 1e-6);
    EXPECT_EQ(fit.inliers, 7);
    EXPECT_FALSE(FitCircle(std::vector<PointF>{{0, 0}, {1, 1}, {2, 2}, {3, 3}}).ok);  // a line
    EXPECT_FALSE(FitCircle(std::vector<PointF>{{0, 0}, {1, 1}}).ok);
}

TEST(LabelOwnObjects, FindsTheToolsObjectsInItsOrderOnRandomScenes)
{
    std::mt19937 rng(4242);  // fixed seed: a failure reproduces
    for (int round = 0; round < 300; ++round) {
        const int width = 1 + static_cast<int>(rng() % 40);
        const int height = 1 + static_cast<int>(rng() % 40);
        const GrayImage before = RandomImage(rng, width, height);
        DetectSettings settings;
        settings.threshold.mode = static_cast<int>(rng() % 4) - (round % 17 == 0 ? 1 : 0);
        settings.threshold.lower = static_cast<int>(rng() % 256);
        settings.threshold.upper = static_cast<int>(rng() % 256);
        settings.roi = {static_cast<int>(rng() % 50) - 5, static_cast<int>(rng() % 50) - 5,
                        static_cast<int>(rng() % 50) - 5, static_cast<int>(rng() % 50) - 5};
        const auto result = std::get<DetectResult>(RunOn(before, width, height, settings));
        const std::vector<ObjectMeasure> own = LabelOwnObjects(before, settings, result);
        ASSERT_EQ(own.size(), result.objects.size()) << "round " << round;
        for (std::size_t i = 0; i < own.size(); ++i) {
            ASSERT_EQ(own[i].object, result.objects[i]) << "round " << round << ", object " << i;
            const ObjectMeasure& o = own[i];
            EXPECT_GE(o.centroid.x, o.object.minX);
            EXPECT_LE(o.centroid.x, o.object.maxX);
            EXPECT_GE(o.centroid.y, o.object.minY);
            EXPECT_LE(o.centroid.y, o.object.maxY);
        }
        const auto m = std::get<DetectMeasures>(MeasureCommand(before, width, height, settings,
                                                               result, settings.roi));
        std::int64_t total = 0;
        for (const DetectedObject& o : result.objects)
            total += o.area;
        EXPECT_EQ(m.totalArea, total);
    }
}

TEST(MeasureCommand, GivesTheCentroidOfAnObjectsPixels)
{
    // A dark U (joined only at the bottom, so two labels meet) and a dark pixel
    // touching the region's right side, which the tool drops.
    const GrayImage before = FromRows({{200, 200, 200, 200, 200, 200},
                                       {200, 10, 200, 10, 200, 200},
                                       {200, 10, 200, 10, 200, 10},
                                       {200, 10, 10, 10, 200, 200},
                                       {200, 200, 200, 200, 200, 200}});
    DetectSettings settings;
    settings.threshold.lower = 50;
    settings.roi = {5, 4, 0, 0};
    const auto m = std::get<DetectMeasures>(Measure(before, 6, 5, settings));
    ASSERT_EQ(m.objects.size(), 1u);
    EXPECT_EQ(m.objects[0].index, 1);
    EXPECT_EQ(m.objects[0].object, (DetectedObject{1, 1, 3, 3, 7}));
    // x: 1+1+1+2+3+3+3 = 14, y: 1+2+3+3+1+2+3 = 15, over 7 pixels.
    EXPECT_DOUBLE_EQ(m.objects[0].centroid.x, 14.0 / 7);
    EXPECT_DOUBLE_EQ(m.objects[0].centroid.y, 15.0 / 7);
    EXPECT_EQ(m.totalArea, 7);
}

TEST(MeasureCommand, CountsTheRegionAboveAndBelowTheThreshold)
{
    const GrayImage before = FromRows({{0, 10, 20, 30},
                                       {40, 50, 60, 250},
                                       {90, 50, 50, 255}});
    ThresholdSettings settings;
    settings.lower = 50;
    // Corners reversed and past the image: the region is x 1..3, y 1..2.
    const auto m = std::get<ThresholdMeasures>(Measure(before, 4, 3, settings, {9, 7, 1, 1}));
    EXPECT_EQ(m.threshold, 50);
    EXPECT_EQ(m.upper, 50);
    EXPECT_EQ(m.region.pixels, 6);
    EXPECT_EQ(m.region.above, 3);  // 60, 250, 255
    EXPECT_EQ(m.region.below, 3);  // 50, 50, 50: equality counts below
    // Mean (50 + 60 + 250 + 50 + 50 + 255) / 6 = 715 / 6.
    const double mean = 715.0 / 6;
    EXPECT_DOUBLE_EQ(m.region.mean, mean);
    double squares = 0;
    for (const int v : {50, 60, 250, 50, 50, 255})
        squares += (v - mean) * (v - mean);
    EXPECT_NEAR(m.region.deviation, std::sqrt(squares / 6), 1e-12);
    // A region wholly past the image holds nothing.
    const auto none = std::get<ThresholdMeasures>(Measure(before, 4, 3, settings, {5, 5, 9, 9}));
    EXPECT_EQ(none.region.pixels, 0);
    EXPECT_EQ(none.region.mean, 0);
}

TEST(CastRake, CastsTheToolsScanLinesAndFindsItsHits)
{
    std::mt19937 rng(777);
    for (int round = 0; round < 200; ++round) {
        const int width = 1 + static_cast<int>(rng() % 60);
        const int height = 1 + static_cast<int>(rng() % 60);
        const GrayImage before = RandomImage(rng, width, height);
        StraightSettings settings;
        settings.direction = static_cast<int>(rng() % 5);
        settings.gap = 1 + static_cast<int>(rng() % 6);
        settings.strength = static_cast<int>(rng() % 256);
        settings.angle = static_cast<int>(rng() % 361);
        settings.roi = {static_cast<int>(rng() % 80) - 10, static_cast<int>(rng() % 80) - 10,
                        static_cast<int>(rng() % 80) - 10, static_cast<int>(rng() % 80) - 10};
        static const TraceSink silent;
        CommandWork work(&silent);
        RunOn(before, width, height, settings, &work);
        const std::vector<RakeLine> rake = CastRake(before, width, height, settings);
        ASSERT_EQ(rake.size(), work.straight.hits.size()) << "round " << round;
        for (std::size_t s = 0; s < rake.size(); ++s) {
            const ScanHit& tool = work.straight.hits[s];
            ASSERT_EQ(rake[s].hit.found, tool.found) << "round " << round << ", line " << s;
            if (tool.found == 1) {
                EXPECT_EQ(rake[s].hit.x, tool.x);
                EXPECT_EQ(rake[s].hit.y, tool.y);
            }
        }
    }
}

TEST(MeasureCommand, TakesTheStraightToolsRunAndLine)
{
    std::mt19937 rng(5);
    const EdgeScene scene{100.3, 80.6, 12};
    const GrayImage before = RenderEdge(scene, 200, 160, 0, rng);
    StraightSettings settings;
    settings.direction = kScanDown;
    settings.gap = 4;
    settings.strength = 30;
    settings.roi = {30, 25, 170, 135};
    const auto result = std::get<StraightResult>(RunOn(before, 200, 160, settings));
    ASSERT_TRUE(result.fitted);
    const auto m = std::get<StraightMeasures>(
        MeasureCommand(before, 200, 160, settings, result, settings.roi));
    // Every scan line hits the edge, so the run holds them all: count + 1 hits.
    EXPECT_EQ(static_cast<int>(m.runPoints.size()), result.run.count + 1);
    EXPECT_EQ(m.runPoints.front(), (PointF{static_cast<double>(result.run.firstX),
                                           static_cast<double>(result.run.firstY)}));
    EXPECT_EQ(m.tool.points, static_cast<int>(m.runPoints.size()));
    EXPECT_DOUBLE_EQ(m.tool.a, result.a);
    EXPECT_DOUBLE_EQ(m.tool.b, result.b);
    EXPECT_EQ(m.subpixelPoints.size(), m.runPoints.size());
    for (std::size_t i = 0; i < m.runPoints.size(); ++i) {
        EXPECT_LE(std::abs(m.subpixelPoints[i].x - m.runPoints[i].x), 1e-9);  // along a column
        EXPECT_LE(std::abs(m.subpixelPoints[i].y - m.runPoints[i].y), 1.0);
    }
    EXPECT_NEAR(m.subpixel.angle, 12, 0.05);
    EXPECT_LT(m.subpixel.rms, m.tool.rms);
}

TEST(MeasureCommand, RefinesTheVotedCircle)
{
    std::mt19937 rng(9);
    const DiscScene scene{60.4, 54.7, 25.3};
    const GrayImage before = RenderDisc(scene, 120, 110, 0, rng);
    CircularSettings settings;
    settings.gap = 15;
    settings.strength = 30;
    settings.insideRadius = 5;
    settings.outsideRadius = 40;
    settings.cx = 60;
    settings.cy = 55;
    const auto result = std::get<CircularResult>(RunOn(before, 120, 110, settings));
    ASSERT_TRUE(result.ok);
    const auto m = std::get<CircularMeasures>(
        MeasureCommand(before, 120, 110, settings, result, {}));
    EXPECT_TRUE(m.ok);
    EXPECT_EQ(m.voted.centre, (PointF{static_cast<double>(result.centreX),
                                      static_cast<double>(result.centreY)}));
    EXPECT_EQ(m.voted.radius, static_cast<double>(result.radius));
    EXPECT_EQ(m.voted.inliers, result.hits);
    EXPECT_EQ(static_cast<int>(m.subpixelHits.size()), result.hits);  // 24 spokes, all hit
    ASSERT_TRUE(m.refined.ok);
    EXPECT_EQ(m.refined.inliers, 24);
    EXPECT_NEAR(m.refined.centre.x, 60.4, 0.05);
    EXPECT_NEAR(m.refined.centre.y, 54.7, 0.05);
    EXPECT_NEAR(m.refined.radius, 25.3, 0.05);
    EXPECT_LT(m.refined.rms, m.voted.rms);
}

TEST(MeasureCommand, MeasuresNothingWithoutARunOrForOtherCommands)
{
    const GrayImage before = Filled(5, 4, 90);
    const CommandSettings filter = FilterSettings{};
    EXPECT_TRUE(std::holds_alternative<std::monostate>(
        MeasureCommand(before, 5, 4, filter, RunOn(before, 5, 4, filter), {})));
    // A command that did not run, and a result of another command.
    const CommandSettings edge = EdgeSettings{};
    EXPECT_TRUE(std::holds_alternative<std::monostate>(MeasureCommand(
        before, 5, 4, edge, NotRun<EdgeResult>(Outcome::NoPicture), {})));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(
        MeasureCommand(before, 5, 4, edge, ThresholdResult{}, {})));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(
        MeasureCommand(GrayImage{}, 0, 0, edge, EdgeResult{}, {})));
    // A straight-edge run that fitted nothing (a flat picture has no step)
    // measures an empty line.
    StraightSettings flat;
    flat.strength = 50;
    const auto straight = std::get<StraightMeasures>(
        MeasureCommand(before, 5, 4, flat, RunOn(before, 5, 4, flat), {}));
    EXPECT_FALSE(straight.tool.ok);
    EXPECT_TRUE(straight.runPoints.empty());
}
