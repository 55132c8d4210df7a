// tests/CommandTest.cpp: commands of every kind run on several threads at once,
// each with its own tables, give the pictures and numbers of one after another;
// the numbers a gauge reports agree with what it drew.
#include "Command.h"
#include "TestImages.h"
#include "Trace.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <thread>

namespace {

// Discs and bars on a gentle ramp with a little noise: every tool finds something.
GrayImage Scene(std::mt19937& rng, int width, int height)
{
    GrayImage image = NewGrayImage(width, height);
    const int cx = 40 + static_cast<int>(rng() % static_cast<unsigned>(width - 80));
    const int cy = 40 + static_cast<int>(rng() % static_cast<unsigned>(height - 80));
    const int r = 15 + static_cast<int>(rng() % 20);
    const int bar = static_cast<int>(rng() % static_cast<unsigned>(width));
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y) {
            int v = 60 + x / 4 + static_cast<int>(rng() % 7);
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                v = 220;
            if (x >= bar && x < bar + 12)
                v = 15;
            image[x][y] = static_cast<std::uint8_t>(std::min(v, 255));
        }
    return image;
}

int Pick(std::mt19937& rng, int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); }

Corners RandomCorners(std::mt19937& rng, int width, int height)
{
    return {Pick(rng, -10, width + 10), Pick(rng, -10, height + 10), Pick(rng, -10, width + 10),
            Pick(rng, -10, height + 10)};
}

struct Case {
    GrayImage before;
    int width = 0, height = 0;
    CommandSettings settings;
};

Case MakeCase(std::mt19937& rng, int kind)
{
    Case c;
    c.width = Pick(rng, 90, 200);
    c.height = Pick(rng, 90, 160);
    c.before = Scene(rng, c.width, c.height);
    const Corners roi = RandomCorners(rng, c.width, c.height);
    switch (kind % 9) {
    case 0: c.settings = FilterSettings{Pick(rng, 0, 7), 3 + 2 * Pick(rng, 0, 2), roi}; break;
    case 1: {
        MorphologySettings m{Pick(rng, 0, 6), 3 + 2 * Pick(rng, 0, 2), {}, Pick(rng, 1, 3)};
        for (auto& column : m.element)
            for (auto& cell : column)
                cell = static_cast<std::uint8_t>(rng() % 2);
        c.settings = m;
        break;
    }
    case 2: c.settings = BrightnessSettings{Pick(rng, 0, 255), Pick(rng, 1, 89), 0.5f + static_cast<float>(rng() % 100) / 50.0f}; break;
    case 3: c.settings = ThresholdSettings{Pick(rng, 0, 2), Pick(rng, 0, 128), Pick(rng, 128, 255), rng() % 2 == 0, -1}; break;
    case 4: c.settings = DetectSettings{{Pick(rng, 0, 2), Pick(rng, 30, 128), Pick(rng, 128, 230), rng() % 2 == 0, -1}, roi}; break;
    case 5: {
        const int tw = Pick(rng, 10, 30), th = Pick(rng, 10, 30);
        const int x0 = Pick(rng, 0, c.width - tw), y0 = Pick(rng, 0, c.height - th);
        auto templ = std::make_shared<SizedImage>(SizedImage{NewGrayImage(tw, th), tw, th});
        for (int x = 0; x < tw; ++x)
            for (int y = 0; y < th; ++y)
                templ->pixels[x][y] = c.before[x0 + x][y0 + y];
        c.settings = PatternStep{{rng() % 2 == 0 ? 0 : 15}, templ};
        break;
    }
    case 6: c.settings = EdgeSettings{Pick(rng, 0, 2), Pick(rng, 0, 2), Pick(rng, 5, 60), roi}; break;
    case 7: c.settings = StraightSettings{Pick(rng, 0, 3), Pick(rng, 1, 12), Pick(rng, 10, 60), Pick(rng, 0, 360), roi}; break;
    default: c.settings = CircularSettings{Pick(rng, 0, 1), Pick(rng, 8, 30), Pick(rng, 20, 80), 0, 360, Pick(rng, 0, 20), Pick(rng, 30, 90), roi.X1, roi.Y1}; break;
    }
    return c;
}

// Every number of a result, as text, so that two runs compare in one line.
std::string Numbers(const CommandResult& result)
{
    std::ostringstream out;
    out << static_cast<int>(ReportOf(result).outcome) << ReportOf(result).message << '|';
    std::visit(
        [&](const auto& r) {
            using R = std::decay_t<decltype(r)>;
            if constexpr (std::is_same_v<R, DetectResult>) {
                out << r.threshold << ',' << r.upper << ',' << r.labels << ':';
                for (const DetectedObject& o : r.objects)
                    out << o.minX << ',' << o.minY << ',' << o.maxX << ',' << o.maxY << ',' << o.area << ';';
            } else if constexpr (std::is_same_v<R, PatternResult>) {
                for (const MatchRow& m : r.rows)
                    out << m.x1 << ',' << m.y1 << ',' << m.angle << ',' << m.score << ';';
            } else if constexpr (std::is_same_v<R, EdgeResult>) {
                out << r.count << ':';
                for (const EdgeMark& m : r.marks)
                    out << m.x << ',' << m.y << ',' << m.polarity << ',' << int{m.strength} << ';';
            } else if constexpr (std::is_same_v<R, StraightResult>) {
                out << r.scanLines << ',' << r.hits << ',' << r.fitted << ',' << r.a << ',' << r.b
                    << ',' << r.run.count;
            } else if constexpr (std::is_same_v<R, CircularResult>) {
                out << r.votes << ',' << r.centreX << ',' << r.centreY << ',' << r.radius << ','
                    << r.spokes << ',' << r.hits << ',' << r.circles;
            } else if constexpr (std::is_same_v<R, ThresholdResult>) {
                out << r.threshold << ',' << r.upper;
            } else if constexpr (std::is_same_v<R, MorphologyResult>) {
                out << r.rounds;
            }
        },
        result);
    return out.str();
}

struct Done {
    GrayImage after;
    std::string numbers;
};

Done RunCase(const Case& c, CommandWork* work)
{
    Done o{NewGrayImage(c.width, c.height), {}};
    o.numbers = Numbers(RunCommand(c.before, o.after, c.width, c.height, c.settings, {}, work));
    return o;
}

}  // namespace

TEST(RunCommand, GivesOnFourThreadsWhatItGivesOneAfterAnother)
{
    std::mt19937 rng(4242);
    std::vector<Case> cases;
    for (int i = 0; i < 144; ++i)
        cases.push_back(MakeCase(rng, i));
    SetDefaultTraceSink(TraceSink());  // the fit's and the search's lines are not wanted here
    std::vector<Done> alone;
    for (const Case& c : cases)
        alone.push_back(RunCase(c, nullptr));  // the process-wide tables, as the window uses them

    std::vector<Done> together(cases.size());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            CommandWork work;
            for (std::size_t i = static_cast<std::size_t>(t); i < cases.size(); i += 4)
                together[i] = RunCase(cases[i], &work);
        });
    for (std::thread& thread : threads)
        thread.join();
    SetDefaultTraceSink(TraceSink::ToStandardOutput());

    int found = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(std::string(CommandName(c.settings)) + " case " + std::to_string(i));
        ASSERT_EQ(together[i].numbers, alone[i].numbers);
        ASSERT_EQ(FirstDifference(together[i].after, alone[i].after, c.width, c.height), "");
        found += alone[i].numbers.size() > 12;
    }
    EXPECT_GT(found, 60);  // most cases measured something, so the comparison means something
}

TEST(RunCommand, TheGaugesNumbersAreWhatTheyDrew)
{
    std::mt19937 rng(77);
    for (int round = 0; round < 60; ++round) {
        const Case c = MakeCase(rng, 6 + round % 3);
        GrayImage after = NewGrayImage(c.width, c.height);
        const CommandResult result = RunCommand(c.before, after, c.width, c.height, c.settings);
        if (const auto* edge = std::get_if<EdgeResult>(&result)) {
            const auto& s = std::get<EdgeSettings>(c.settings);
            if (s.lookFor == 0) {  // every edge marked is counted
                EXPECT_EQ(edge->count, static_cast<int>(edge->marks.size()));
            }
            for (const EdgeMark& m : edge->marks) {
                EXPECT_GE(m.strength, s.strength);
                EXPECT_TRUE(m.polarity == 1 || m.polarity == -1);
                EXPECT_TRUE(m.x >= 0 && m.x < c.width && m.y >= 0 && m.y < c.height);
            }
        } else if (const auto* line = std::get_if<StraightResult>(&result)) {
            EXPECT_LE(line->hits, line->scanLines);
            if (line->fitted) {
                EXPECT_GE(line->run.count, 1);
            }
        } else if (const auto* circle = std::get_if<CircularResult>(&result)) {
            EXPECT_EQ(circle->ok, circle->votes > 0);
            EXPECT_LE(circle->hits, circle->spokes);
            if (circle->hits < 3) {
                EXPECT_EQ(circle->votes, 0);
            }
            if (circle->ok) {
                EXPECT_GE(circle->circles, 1u);
            }
        }
    }
}
