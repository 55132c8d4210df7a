// tests/ToolWorkTest.cpp: every tool with its own work, run on four threads at
// once, gives exactly what the same runs give one after another.
#include "Detect_object.h"
#include "FindEdgeReference.h"
#include "Find_circular_edge.h"
#include "Find_edge.h"
#include "Find_straight.h"
#include "MatchPatternReference.h"
#include "Match_pattern.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kThreads = 4;
constexpr int kScenesPerThread = 20;
constexpr int kScenes = kThreads * kScenesPerThread;

// Everything one run produced: the image after it, every number of its tables
// (floats by their bits, so that only identical values compare equal) and its
// trace lines.
struct Outcome {
    std::vector<std::uint8_t> pixels;
    std::vector<std::int64_t> numbers;
    std::string trace;
    bool found = false;  // the run found something: an edge, a line, a circle, an object, a match

    void Put(std::int64_t v) { numbers.push_back(v); }
    void PutBits(float v) { numbers.push_back(std::bit_cast<std::int32_t>(v)); }
    void PutImage(const GrayImage& image, int width, int height)
    {
        for (int x = 0; x < width; ++x)
            pixels.insert(pixels.end(), image[x], image[x] + height);
    }
};

int Pick(std::mt19937& rng, int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

// Scene s of a tool, run with work: one after another for all scenes with one
// work, then kThreads threads each with its own work for its share of the
// scenes, all at once. Both must agree on every scene.
template <class Work, class Run>
void ExpectSameOnThreads(Run run, int minFound)
{
    std::vector<Outcome> alone(kScenes), together(kScenes);
    {
        Work work;
        for (int s = 0; s < kScenes; ++s)
            alone[static_cast<std::size_t>(s)] = run(work, s);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            Work work;
            for (int s = t * kScenesPerThread; s < (t + 1) * kScenesPerThread; ++s)
                together[static_cast<std::size_t>(s)] = run(work, s);
        });
    for (std::thread& thread : threads)
        thread.join();
    int found = 0;
    for (int s = 0; s < kScenes; ++s) {
        const Outcome& a = alone[static_cast<std::size_t>(s)];
        const Outcome& b = together[static_cast<std::size_t>(s)];
        ASSERT_TRUE(a.pixels == b.pixels) << "scene " << s << ": the images differ";
        ASSERT_EQ(a.numbers, b.numbers) << "scene " << s;
        ASSERT_EQ(a.trace, b.trace) << "scene " << s;
        found += a.found;
    }
    EXPECT_GE(found, minFound);  // the scenes are not all empty
}

TEST(FindEdgesOnLine, GivesTheSameMarksOnFourThreadsAsOneAfterAnother)
{
    ExpectSameOnThreads<EdgeWork>(
        [](EdgeWork& work, int s) {
            std::mt19937 rng(100 + s);
            const int width = Pick(rng, 20, 160), height = Pick(rng, 20, 160);
            GrayImage image = RandomGaugingScene(rng, width, height);
            const int x1 = Pick(rng, -10, width + 10), y1 = Pick(rng, -10, height + 10);
            const int x2 = Pick(rng, -10, width + 10), y2 = Pick(rng, -10, height + 10);
            const auto threshold = static_cast<std::uint8_t>(Pick(rng, 5, 80));
            const int polarity = Pick(rng, 0, 2), lookFor = Pick(rng, 0, 2);
            Outcome o;
            o.Put(FindEdgesOnLine(work, image, threshold, polarity, lookFor, x1, y1, x2, y2, width,
                                  height));
            o.PutImage(image, width, height);
            for (const EdgeSample& e : work.profile)
                for (std::int64_t v : {e.x, e.y, static_cast<int>(e.strength), e.polarity})
                    o.Put(v);
            o.Put(work.count);
            for (const EdgeMark& m : work.marks) {
                // A mark is the profile's sample at its index.
                const EdgeSample& e = work.profile[static_cast<std::size_t>(m.index)];
                EXPECT_TRUE(e.x == m.x && e.y == m.y && e.polarity == m.polarity &&
                            e.strength == m.strength);
                for (std::int64_t v : {m.x, m.y, m.polarity, static_cast<int>(m.strength)})
                    o.Put(v);
                o.Put(m.index);
            }
            if (lookFor == kAllEdges) {
                EXPECT_EQ(static_cast<int>(work.marks.size()), work.count);
            }
            o.found = !work.marks.empty();
            return o;
        },
        15);
}

TEST(FindStraightEdge, GivesTheSameLineOnFourThreadsAsOneAfterAnother)
{
    ExpectSameOnThreads<StraightWork>(
        [](StraightWork& work, int s) {
            std::mt19937 rng(200 + s);
            const int width = Pick(rng, 20, 120), height = Pick(rng, 20, 120);
            GrayImage image = RandomGaugingScene(rng, width, height);
            const int X1 = Pick(rng, -10, width + 10), Y1 = Pick(rng, -10, height + 10);
            const int X2 = Pick(rng, -10, width + 10), Y2 = Pick(rng, -10, height + 10);
            const int gap = Pick(rng, 1, 12), direction = Pick(rng, 0, 3);
            const auto angle = static_cast<float>(Pick(rng, 0, 360));
            const auto threshold = static_cast<std::uint8_t>(Pick(rng, 5, 80));
            Outcome o;
            const TraceSink sink = TraceSink::ToString(o.trace);
            work.trace = &sink;
            FindStraightEdge(work, image, threshold, gap, direction, angle, X1, Y1, X2, Y2, width,
                             height);
            work.trace = nullptr;
            o.PutImage(image, width, height);
            for (const ScanHit& h : work.hits)
                for (std::int64_t v : {h.x, h.y, h.found})
                    o.Put(v);
            o.Put(work.fitted ? 1 : 0);
            o.PutBits(work.a);
            o.PutBits(work.b);
            const StepRun& r = work.run;
            for (std::int64_t v : {r.a, r.b, r.firstX, r.firstY, r.lastX, r.lastY, r.count})
                o.Put(v);
            o.found = work.fitted;
            return o;
        },
        20);
}

TEST(FindCircularEdge, GivesTheSameCircleOnFourThreadsAsOneAfterAnother)
{
    ExpectSameOnThreads<CircularWork>(
        [](CircularWork& work, int s) {
            std::mt19937 rng(300 + s);
            const int width = Pick(rng, 40, 160), height = Pick(rng, 40, 160);
            const int cx = Pick(rng, 15, width - 15), cy = Pick(rng, 15, height - 15);
            const int radius = Pick(rng, 8, 40);
            GrayImage image = DiscScene(width, height, cx, cy, radius, Pick(rng, 0, 90),
                                        Pick(rng, 160, 255));
            // Up to 72 spokes: over 24 hits the vote is split among the worker threads.
            const int gap = Pick(rng, 5, 30);
            Outcome o;
            const int direction = Pick(rng, 0, 1), dx = Pick(rng, -3, 3), dy = Pick(rng, -3, 3);
            const int inside = Pick(rng, 0, 5), outside = radius + Pick(rng, 5, 30);
            o.Put(FindCircularEdge(work, image, 40, gap, direction, 0, 360, cx + dx, cy + dy,
                                   inside, outside, width, height));
            o.PutImage(image, width, height);
            for (const Spoke& k : work.spokes)
                for (std::int64_t v : {k.startX, k.startY, k.endX, k.endY})
                    o.Put(v);
            for (const SpokeHit& h : work.hits)
                for (std::int64_t v : {h.x, h.y, h.found})
                    o.Put(v);
            for (const CircleVote& c : work.Votes())
                for (std::int64_t v : {c.centreX, c.centreY, c.radius, std::int64_t{c.votes}})
                    o.Put(v);
            o.Put(static_cast<std::int64_t>(work.DistinctCircles()));
            const CircleVote& c = work.chosen;
            for (std::int64_t v : {c.centreX, c.centreY, c.radius, std::int64_t{c.votes}})
                o.Put(v);
            o.found = c.votes > 0;
            return o;
        },
        60);
}

TEST(DetectObjects, GivesTheSameObjectsOnFourThreadsAsOneAfterAnother)
{
    ExpectSameOnThreads<DetectWork>(
        [](DetectWork& work, int s) {
            std::mt19937 rng(400 + s);
            const int width = Pick(rng, 1, 120), height = Pick(rng, 1, 120);
            // Noise on odd scenes (the pixel-by-pixel pass), flat blobs on even ones.
            GrayImage image = s % 2 != 0 ? RandomImage(rng, width, height)
                                         : RandomGaugingScene(rng, width, height);
            IntImage labels = NewIntImage(2, height);
            ObjectTable objects;
            const int X1 = Pick(rng, -5, width / 2), Y1 = Pick(rng, -5, height / 2);
            const int X2 = Pick(rng, width / 2, width + 5), Y2 = Pick(rng, height / 2, height + 5);
            const int mode = Pick(rng, 0, 2), t = Pick(rng, 0, 255), upper = Pick(rng, 0, 255);
            Outcome o;
            o.Put(mode == 2 ? DetectBandObjects(work, image, labels, objects, t, upper, X1, Y1, X2,
                                                Y2, width, height)
                            : DetectObjects(work, image, labels, objects, mode, t, X1, Y1, X2, Y2,
                                            width, height));
            o.PutImage(image, width, height);
            for (int x = 0; x < 2; ++x)
                o.numbers.insert(o.numbers.end(), labels[x], labels[x] + height);
            for (const DetectedObject& d : objects)
                for (std::int64_t v : {d.minX, d.minY, d.maxX, d.maxY, d.area})
                    o.Put(v);
            o.Put(work.LabelCount());
            for (const LabelRecord& r : work.LabelTable())
                for (std::int64_t v : {r.parent, r.area, r.minX, r.minY, r.maxX, r.maxY, r.root})
                    o.Put(v);
            o.found = !objects.empty();
            return o;
        },
        20);
}

TEST(MatchPattern, GivesTheSameCandidatesOnFourThreadsAsOneAfterAnother)
{
    ExpectSameOnThreads<PatternWork>(
        [](PatternWork& work, int s) {
            std::mt19937 rng(500 + s);
            const bool turned = s % 2 != 0;  // odd scenes search at angle 30
            PatternScene scene = RandomPatternScene(rng, 70, 130, 10, 18, turned);
            Outcome o;
            const TraceSink sink = TraceSink::ToString(o.trace);
            work.trace = &sink;
            FloatImage results;
            const int n = MatchPattern(work, scene.image, scene.mark, results, 0, 0, scene.tw,
                                       scene.th, turned ? 30.0f : 0.0f, scene.width, scene.height);
            work.trace = nullptr;
            o.Put(n);
            o.PutImage(scene.image, scene.width, scene.height);
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < 6; ++c)
                    o.PutBits(results[c][i]);
            for (const Candidate& c : work.candidates) {
                o.Put(std::int64_t{c.x});
                o.Put(std::int64_t{c.y});
                o.PutBits(c.angle);
                o.PutBits(c.score);
                o.found = o.found || c.score > 0.9f;
            }
            const TemplateModel& m = work.model;
            for (std::int64_t v : {m.tw, m.th, m.threshold, m.brightCount, m.darkCount})
                o.Put(v);
            if (turned) {  // a zero-angle search leaves the rotation model alone
                const RotationModel& r = work.rotation;
                o.numbers.insert(o.numbers.end(), r.grid.begin(), r.grid.end());
                for (float share : r.ringProfile)
                    o.PutBits(share);
            }
            return o;
        },
        40);
}

}  // namespace
