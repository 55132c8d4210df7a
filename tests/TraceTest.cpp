// tests/TraceTest.cpp
#include "Trace.h"

#include "FindEdgeReference.h"
#include "Find_straight.h"
#include "MatchPatternReference.h"
#include "Match_pattern.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

// Puts the process-wide sink back to standard output however a test ends.
struct DefaultSinkScope {
    explicit DefaultSinkScope(TraceSink sink) { SetDefaultTraceSink(std::move(sink)); }
    ~DefaultSinkScope() { SetDefaultTraceSink(TraceSink::ToStandardOutput()); }
};

std::string Format(const char* format, double value)
{
    char line[64];
    std::snprintf(line, sizeof line, format, value);
    return line;
}

// What run writes to standard output through the process-wide sink, what it
// writes to a string sink of its own, and what it writes with the process-wide
// sink silenced.
template <class Work, class Run>
void ExpectTheSameLinesEverywhere(Run run, const std::string& expected)
{
    Work toDefault;
    CaptureStdout();
    run(toDefault);
    EXPECT_EQ(GetCapturedStdout(), expected);

    std::string captured;
    const TraceSink sink = TraceSink::ToString(captured);
    Work toString;
    toString.trace = &sink;
    CaptureStdout();
    run(toString);
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_EQ(captured, expected);

    const DefaultSinkScope silenced{TraceSink()};
    Work quiet;
    CaptureStdout();
    run(quiet);
    EXPECT_EQ(GetCapturedStdout(), "");
}

}  // namespace

TEST(TraceSink, DeliversEachLineWholeOrDropsIt)
{
    std::vector<std::string> lines;
    const TraceSink callback =
        TraceSink::ToCallback([&](std::string_view line) { lines.emplace_back(line); });
    const std::string wide(300, 'w');  // past the formatting buffer
    TraceLine(&callback, "a = %d b = %f\n", 7, 0.5);
    TraceLine(&callback, "%s\n", wide.c_str());
    EXPECT_EQ(lines, (std::vector<std::string>{"a = 7 b = 0.500000\n", wide + "\n"}));

    std::string text;
    const TraceSink toString = TraceSink::ToString(text);
    TraceLine(&toString, "one\n");
    TraceLine(&toString, "two %d\n", 2);
    EXPECT_EQ(text, "one\ntwo 2\n");

    const TraceSink none = TraceSink::ToFile(nullptr), silent;
    EXPECT_TRUE(none.Silent());
    EXPECT_TRUE(silent.Silent());
    CaptureStdout();
    TraceLine(&none, "dropped\n");
    TraceLine(&silent, "dropped\n");
    EXPECT_EQ(GetCapturedStdout(), "");

    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const TraceSink toFile = TraceSink::ToFile(file);
    TraceLine(&toFile, "x = %d\n", -3);
    std::rewind(file);
    char read[16] = {};
    const std::size_t length = std::fread(read, 1, sizeof read - 1, file);
    std::fclose(file);
    EXPECT_EQ(std::string(read, length), "x = -3\n");
}

TEST(TraceSink, TheProcessWideSinkTakesEveryLineOfAWorkWithoutOne)
{
    std::string text;
    {
        const DefaultSinkScope scope{TraceSink::ToString(text)};
        TraceLine(nullptr, "%s\n", "first");
        CaptureStdout();
        TraceLine(nullptr, "second\n");
        EXPECT_EQ(GetCapturedStdout(), "");
    }
    EXPECT_EQ(text, "first\nsecond\n");
    CaptureStdout();
    TraceLine(nullptr, "back\n");
    EXPECT_EQ(GetCapturedStdout(), "back\n");
}

TEST(FitStraightEdge, WritesTheRunsAndTheLineToTheSinkAsItDidToStandardOutput)
{
    std::mt19937 rng(31);
    const int width = 90, height = 70;
    const GrayImage scene = RandomGaugingScene(rng, width, height);
    auto run = [&](StraightWork& work) {
        GrayImage image = Copy(scene, width, height);
        FindStraightEdge(work, image, 30, 3, kScanDown, 10.0f, 5, 5, 84, 64, width, height);
        return work.fitted;
    };
    // The lines built from the runs, and LineThroughPoints' own lines for the
    // chosen run, as the image unit prints them.
    StraightWork probe;
    const TraceSink silent;
    probe.trace = &silent;
    ASSERT_TRUE(run(probe));
    const std::vector<StepRun> runs = GroupStepRuns(probe.hits);
    ASSERT_GE(runs.size(), 3u);
    std::string expected;
    for (std::size_t i = 1; i < runs.size(); ++i)
        expected += "### A= " + std::to_string(runs[i].a) + " B = " + std::to_string(runs[i].b) +
                    " COUNT = " + std::to_string(runs[i].count) + " \n";
    const StepRun& r = probe.run;
    expected += "### A= " + std::to_string(r.a) + " B = " + std::to_string(r.b) +
                " COUNT = " + std::to_string(r.count) + " \n";
    float a = 0, b = 0;
    CaptureStdout();
    LineThroughPoints(r.firstX, r.firstY, r.lastX, r.lastY, a, b);
    expected += GetCapturedStdout();
    EXPECT_EQ(a, probe.a);
    EXPECT_EQ(b, probe.b);
    ExpectTheSameLinesEverywhere<StraightWork>(run, expected);
}

TEST(MatchPattern, WritesOneScoreLinePerCandidateToTheSinkAsItDidToStandardOutput)
{
    std::mt19937 rng(41);
    const PatternScene scene = RandomPatternScene(rng, 80, 120, 10, 16, false);
    auto run = [&](PatternWork& work) {
        GrayImage image = Copy(scene.image, scene.width, scene.height);
        FloatImage results;
        return MatchPattern(work, image, scene.mark, results, 0, 0, scene.tw, scene.th, 0.0f,
                            scene.width, scene.height);
    };
    PatternWork probe;
    const TraceSink silent;
    probe.trace = &silent;
    ASSERT_GT(run(probe), 1);
    std::string expected;
    for (const Candidate& c : probe.candidates)
        expected += Format("=====> score = %f\n", static_cast<double>(c.score));
    ExpectTheSameLinesEverywhere<PatternWork>(run, expected);
}
