// bench/CommandBench.cpp: what the command layer costs over the bare tool call
// the window made before it (the copy of Before and the tool on the shared
// tables), command by command at 2048 x 2048; and the memory the undo history
// holds after 100 commands on an 8000 x 8000 picture.
#include "Brightness.h"
#include "Command.h"
#include "Detect_object.h"
#include "Filter.h"
#include "Find_circular_edge.h"
#include "Find_edge.h"
#include "Find_straight.h"
#include "Match_pattern.h"
#include "Morphology.h"
#include "PictureFiles.h"
#include "Threshold.h"
#include "Trace.h"
#include "Unit1.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <random>

namespace {

constexpr int kSide = 2048;

// A bright disc and a dark bar on a ramp with a little noise.
const GrayImage& Scene()
{
    static const GrayImage scene = [] {
        GrayImage image = NewGrayImage(kSide, kSide);
        std::mt19937 rng(5);
        for (int x = 0; x < kSide; ++x)
            for (int y = 0; y < kSide; ++y) {
                int v = 60 + x / 32 + static_cast<int>(rng() % 7);
                if ((x - 1024) * (x - 1024) + (y - 1024) * (y - 1024) <= 300 * 300)
                    v = 220;
                if (x >= 300 && x < 340)
                    v = 15;
                image[x][y] = static_cast<std::uint8_t>(v);
            }
        return image;
    }();
    return scene;
}

std::shared_ptr<const SizedImage> Template()
{
    auto templ = std::make_shared<SizedImage>(SizedImage{NewGrayImage(64, 64), 64, 64});
    for (int x = 0; x < 64; ++x)
        for (int y = 0; y < 64; ++y)
            templ->pixels[x][y] = Scene()[1300 + x][1000 + y];  // the disc's right edge
    return templ;
}

StructuringElement FullElement()
{
    StructuringElement element{};
    for (auto& column : element)
        column.fill(1);
    return element;
}

struct Pair {
    const char* name;
    CommandSettings settings;
    std::function<void(GrayImage& after)> bare;  // what the window's handler called
};

const std::vector<Pair>& Pairs()
{
    static const std::vector<Pair> pairs = [] {
        const GrayImage& I = Scene();
        const int n = kSide;
        const auto templ = Template();
        std::vector<Pair> p;
        p.push_back({"Sobel", FilterSettings{kSobel, 3, {0, 0, n, n}}, [&I, n](GrayImage& a) {
                         CopyGrayImage(I, a, n, n);
                         SobelFilter(I, a, 3, 0, 0, n - 1, n - 1, n, n);
                     }});
        p.push_back({"Opening", MorphologySettings{kOpening, 3, FullElement(), 1}, [&I, n](GrayImage& a) {
                         CopyGrayImage(I, a, n, n);
                         Open(I, a, FullElement(), 3, 0, 0, n, n, n, n);
                     }});
        p.push_back({"Brightness", BrightnessSettings{100, 50, 1.2f},
                     [&I, n](GrayImage& a) { ApplyBrightnessTable(I, a, 100, 50, 1.2f, n, n); }});
        p.push_back({"Threshold", ThresholdSettings{kDarkObjects, 100, 255, false, -1}, [&I, n](GrayImage& a) {
                         CopyGrayImage(I, a, n, n);
                         ThresholdImage(I, a, 0, 100, 0, 0, n, n);
                     }});
        p.push_back({"Detect", DetectSettings{{kBrightObjects, 200, 255, false, -1}, {10, 10, n - 10, n - 10}},
                     [&I, n](GrayImage& a) {
                         IntImage labels = NewIntImage(2, n);
                         CopyGrayImage(I, a, n, n);
                         ObjectTable objects;
                         DetectObjects(a, labels, objects, 1, 200, 10, 10, n - 11, n - 11, n, n);
                     }});
        p.push_back({"FindPattern", PatternStep{{0}, templ}, [&I, n, templ](GrayImage& a) {
                         CopyGrayImage(I, a, n, n);
                         FloatImage results;
                         MatchPattern(a, templ->pixels, results, 0, 0, 64, 64, 0.0f, n, n);
                     }});
        p.push_back({"FindEdge", EdgeSettings{0, 0, 40, {10, 1024, n - 10, 1030}}, [&I, n](GrayImage& a) {
                         CopyGrayImage(I, a, n, n);
                         FindEdgesOnLine(a, 40, 0, 0, 10, 1024, n - 10, 1030, n, n);
                     }});
        p.push_back({"FindStraight", StraightSettings{3, 4, 40, 0, {200, 200, 600, 1800}}, [&I, n](GrayImage& a) {
                         CopyGrayImage(I, a, n, n);
                         FindStraightEdge(a, 40, 4, 3, 0.0f, 200, 200, 600, 1800, n, n);
                     }});
        p.push_back({"FindCircular", CircularSettings{1, 3, 50, 0, 360, 200, 250, 1024, 1024}, [&I, n](GrayImage& a) {
                         CopyGrayImage(I, a, n, n);
                         FindCircularEdge(a, 50, 3, 1, 0, 360, 1024, 1024, 200, 250, n, n);
                     }});
        return p;
    }();
    return pairs;
}

void BM_BareTool(benchmark::State& state)
{
    SetDefaultTraceSink(TraceSink());
    const Pair& pair = Pairs()[static_cast<std::size_t>(state.range(0))];
    GrayImage after = NewGrayImage(kSide, kSide);
    for (auto _ : state) {
        pair.bare(after);
        benchmark::ClobberMemory();
    }
    state.SetLabel(pair.name);
    SetDefaultTraceSink(TraceSink::ToStandardOutput());
}

void BM_Command(benchmark::State& state)
{
    SetDefaultTraceSink(TraceSink());
    const Pair& pair = Pairs()[static_cast<std::size_t>(state.range(0))];
    GrayImage after = NewGrayImage(kSide, kSide);
    for (auto _ : state) {
        const CommandResult result = RunCommand(Scene(), after, kSide, kSide, pair.settings);
        benchmark::DoNotOptimize(&result);
        benchmark::ClobberMemory();
    }
    state.SetLabel(pair.name);
    SetDefaultTraceSink(TraceSink::ToStandardOutput());
}

// Each pair measured side by side, bare first.
void Interleaved(benchmark::internal::Benchmark* b)
{
    for (int i = 0; i < 9; ++i)
        b->Arg(i);
}

}  // namespace

BENCHMARK(BM_BareTool)->Apply(Interleaved)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_Command)->Apply(Interleaved)->Unit(benchmark::kMillisecond)->MinTime(0.5);

namespace {

// 100 commands on an 8000 x 8000 picture, then what the history holds: the
// loaded picture and its gray image, and each command's settings.
void BM_UndoHistory100Commands8000(benchmark::State& state)
{
    SetDefaultTraceSink(TraceSink());
    constexpr int kBig = 8000;
    for (auto _ : state) {
        TForm1 form;
        QImage picture(kBig, kBig, QImage::Format_RGB32);
        picture.fill(qRgb(90, 120, 150));
        GrayImage gray = GrayFromPicture(picture);
        form.ReplaceWorkspace(TForm1::WorkspaceChange::Load, picture, std::move(gray), kBig, kBig,
                              QStringLiteral("big"));
        form.SetCorners({100, 100, 1100, 1100});
        for (int i = 0; i < 100; ++i) {
            form.ChooseFilter(i % 2 == 0 ? kLowpass : kSobel);
            form.Button1Click();
        }
        state.counters["entries"] = static_cast<double>(form.History.size());
        state.counters["history_MB"] = static_cast<double>(form.HistoryBytes()) / (1 << 20);
        state.counters["commands_kB"] =
            static_cast<double>(form.HistoryBytes() - form.History.front().Bytes()) / 1024;
    }
    SetDefaultTraceSink(TraceSink::ToStandardOutput());
}

// A long session over the history's limit: Detect Object clicked again and
// again on a picture of many small objects, each click's listed objects kept
// until the limit lets the oldest go. Times the clicks after the first
// (argument) ones: after 2,000, every click drops one entry's results.
void BM_UndoHistoryLongSession(benchmark::State& state)
{
    SetDefaultTraceSink(TraceSink());
    constexpr int kSide = 256;
    TForm1 form;
    QImage picture(kSide, kSide, QImage::Format_RGB32);
    picture.fill(qRgb(40, 40, 40));
    for (int y = 2; y < kSide; y += 6)
        for (int x = 2; x < kSide; x += 6)
            picture.setPixel(x, y, qRgb(220, 220, 220));
    GrayImage gray = GrayFromPicture(picture);
    form.ReplaceWorkspace(TForm1::WorkspaceChange::Load, picture, std::move(gray), kSide, kSide,
                          QStringLiteral("dots"));
    form.SetCorners({0, 0, kSide - 1, kSide - 1});
    form.Button8Click();
    form.HistoryLimitBytes = form.HistoryBytes() * 40;  // some 40 clicks' lists
    for (int i = 0; i < state.range(0); ++i)
        form.Button8Click();
    for (auto _ : state)
        form.Button8Click();
    state.counters["entries"] = static_cast<double>(form.History.size());
    SetDefaultTraceSink(TraceSink::ToStandardOutput());
}
BENCHMARK(BM_UndoHistoryLongSession)->Arg(0)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace

BENCHMARK(BM_UndoHistory100Commands8000)->Iterations(1)->Unit(benchmark::kSecond);
