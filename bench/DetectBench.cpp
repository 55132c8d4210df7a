// bench/DetectBench.cpp: the work of "Detect Start" (copy, label, resolve,
// select, draw) on 2048 x 2048 scenes, against its literal version and OpenCV.
#include "DetectObjectReference.h"
#include "Detect_object.h"
#include "Parallel.h"
#include "Unit1.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <random>

#ifdef GRAYBENCH_HAVE_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

constexpr int kSide = 2048;
constexpr int kThreshold = 120;  // dark objects: v <= 120

// 0: a few large blobs, some overlapping, on a textured background.
// 1: about 10 000 small blobs, one in each cell of a 100 x 100 grid.
// 2: 50 % salt and pepper: every pixel 0 or 255 at random.
GrayImage Scene(int kind)
{
    std::mt19937 rng(static_cast<unsigned>(11 + kind));
    GrayImage image = NewGrayImage(kSide, kSide);
    for (int x = 0; x < kSide; ++x)
        for (int y = 0; y < kSide; ++y)
            image[x][y] = kind == 2 ? (rng() & 1 ? 255 : 0) : static_cast<std::uint8_t>(150 + rng() % 80);
    auto disc = [&](int cx, int cy, int rx, int ry) {
        for (int x = std::max(cx - rx, 0); x <= std::min(cx + rx, kSide - 1); ++x)
            for (int y = std::max(cy - ry, 0); y <= std::min(cy + ry, kSide - 1); ++y) {
                const double u = double(x - cx) / rx, v = double(y - cy) / ry;
                if (u * u + v * v <= 1)
                    image[x][y] = static_cast<std::uint8_t>(20 + rng() % 70);
            }
    };
    if (kind == 0)
        for (int i = 0; i < 8; ++i)
            disc(static_cast<int>(200 + rng() % 1650), static_cast<int>(200 + rng() % 1650),
                 static_cast<int>(80 + rng() % 220), static_cast<int>(80 + rng() % 220));
    if (kind == 1)
        for (int cx = 10; cx < kSide - 10; cx += 20)
            for (int cy = 10; cy < kSide - 10; cy += 20)
                disc(cx + static_cast<int>(rng() % 5) - 2, cy + static_cast<int>(rng() % 5) - 2,
                     static_cast<int>(2 + rng() % 6), static_cast<int>(2 + rng() % 6));
    return image;
}

const char* kSceneNames[] = {"large blobs", "10000 small blobs", "50% salt and pepper"};

// What the command does between reading its controls and painting the result.
// The fast command keeps two label columns, the literal one a whole label image.
template <class Detect>
void RunCommand(benchmark::State& state, Detect detect, int labelColumns)
{
    const int kind = static_cast<int>(state.range(0));
    const GrayImage before = Scene(kind);
    GrayImage after = NewGrayImage(kSide, kSide);
    int count = 0;
    for (auto _ : state) {
        CopyGrayImage(before, after, kSide, kSide);
        IntImage labels = NewIntImage(labelColumns, kSide);
        ObjectTable objects;
        count = detect(after, labels, objects, 0, kThreshold, 0, 0, kSide - 1, kSide - 1, kSide,
                       kSide);
        benchmark::DoNotOptimize(objects.data());
    }
    state.counters["objects"] = count;
    state.SetLabel(kSceneNames[kind]);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

// Arguments: the scene and the worker threads (the labelling takes one strip
// of columns per thread). Wall time: the second thread's work counts too.
void BM_DetectCommand2048(benchmark::State& state)
{
    using Detect = int (*)(GrayImage&, IntImage&, ObjectTable&, int, int, int, int, int, int, int,
                           int);
    SetWorkerCount(static_cast<int>(state.range(1)));
    RunCommand(state, static_cast<Detect>(DetectObjects), 2);
    SetWorkerCount(0);
    state.counters["labels"] = LabelCount();
}
BENCHMARK(BM_DetectCommand2048)
    ->ArgsProduct({{0, 1, 2}, {1, 2}})
    ->ArgNames({"scene", "threads"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The labelling alone (the scan in strips, the reached pixels, the resolution),
// on the same scenes and threads: the command's time less this one is the
// copy, the gathering of the objects and the drawing.
void BM_DetectLabels2048(benchmark::State& state)
{
    const int kind = static_cast<int>(state.range(0));
    const GrayImage scene = Scene(kind);
    IntImage labels = NewIntImage(2, kSide);
    DetectWork work;
    SetWorkerCount(static_cast<int>(state.range(1)));
    for (auto _ : state) {
        ClearLabels(work, labels, kSide);
        LabelDarkPixels(work, scene, labels, kThreshold, 0, 0, kSide - 1, kSide - 1);
        benchmark::DoNotOptimize(work.Records());
    }
    SetWorkerCount(0);
    state.counters["labels"] = work.LabelCount();
    state.SetLabel(kSceneNames[kind]);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_DetectLabels2048)
    ->ArgsProduct({{0, 1, 2}, {1, 2}})
    ->ArgNames({"scene", "threads"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_ReferenceDetectCommand2048(benchmark::State& state)
{
    RunCommand(state, ReferenceDetectObjects, kSide);
    state.counters["labels"] = ReferenceLabelCount();
}
BENCHMARK(BM_ReferenceDetectCommand2048)->DenseRange(0, 2)->UseRealTime()->Unit(benchmark::kMillisecond);

#ifdef GRAYBENCH_HAVE_OPENCV
// The peer: threshold into a binary picture, then 4-connected components with
// their statistics, on one thread. It neither copies nor draws.
void BM_OpenCvConnectedComponents2048(benchmark::State& state)
{
    cv::setNumThreads(1);
    const int kind = static_cast<int>(state.range(0));
    const GrayImage scene = Scene(kind);
    cv::Mat gray(kSide, kSide, CV_8UC1);
    for (int x = 0; x < kSide; ++x)
        std::copy(scene[x], scene[x] + kSide, gray.ptr<std::uint8_t>(x));
    cv::Mat binary, labels, stats, centroids;
    int count = 0;
    for (auto _ : state) {
        cv::threshold(gray, binary, kThreshold, 255, cv::THRESH_BINARY_INV);
        count = cv::connectedComponentsWithStats(binary, labels, stats, centroids, 4, CV_32S);
        benchmark::DoNotOptimize(stats.data);
    }
    state.counters["components"] = count - 1;
    state.SetLabel(kSceneNames[kind]);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_OpenCvConnectedComponents2048)->DenseRange(0, 2)->UseRealTime()->Unit(benchmark::kMillisecond);
#endif

}  // namespace

namespace {

// The whole command as the window runs it: the detection above, then the
// count, the grid of objects and the painting of the After view.
void BM_Button8Click2048(benchmark::State& state)
{
    const int kind = static_cast<int>(state.range(0));
    const GrayImage scene = Scene(kind);
    QImage picture(kSide, kSide, QImage::Format_RGB32);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            picture.setPixel(x, y, qRgb(scene[x][y], scene[x][y], scene[x][y]));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("scene.png"));
    picture.save(path);
    TForm1 form;
    form.LoadPicture(path);
    form.Label11->setText(QStringLiteral("0"));
    form.Label12->setText(QStringLiteral("0"));
    form.Label13->setText(QString::number(kSide - 1));
    form.Label14->setText(QString::number(kSide - 1));
    form.ScrollBar4->setValue(kThreshold);
    for (auto _ : state)
        form.Button8Click();
    state.SetLabel(kSceneNames[kind]);
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_Button8Click2048)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace
