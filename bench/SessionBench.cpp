// bench/SessionBench.cpp: the window's own cost around its commands. Every run
// button clicked as the user clicks it, on a 2048 x 2048 picture, with the views
// painted afterwards as the event loop paints them; and the fixed cost a
// command pays on an 8000 x 8000 picture beyond the command itself.
#include "Command.h"
#include "Dialogs.h"
#include "ExchangeFiles.h"
#include "PictureFiles.h"
#include "Trace.h"
#include "Unit1.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <ctime>
#include <functional>

namespace {

// Answers every dialog at once: Load opens the bench picture, Save writes to
// the temporary folder, a message is noted and dismissed.
class BenchDialogs : public DialogProvider {
public:
    BenchDialogs() { SetDialogs(this); }
    ~BenchDialogs() override { SetDialogs(nullptr); }
    QString OpenPath, SavePath;
    int Messages = 0;
    std::optional<QString> OpenPictureFile(QWidget*, const QString&) override { return OpenPath; }
    std::optional<QString> SavePictureFile(QWidget*, const QString&) override { return SavePath; }
    std::optional<QString> OpenRecipeFile(QWidget*) override { return std::nullopt; }
    std::optional<QString> SaveRecipeFile(QWidget*) override { return std::nullopt; }
    std::optional<QString> SaveResultsFile(QWidget*) override { return std::nullopt; }
    std::optional<Calibration> AskCalibration(QWidget*, const Calibration&) override
    {
        return std::nullopt;
    }
    void ShowMessage(QWidget*, const QString&) override { ++Messages; }
    void ShowError(const QString&) override { ++Messages; }
    std::unique_ptr<ProgressWindow> OpenProgress(QWidget*, const QString&) override
    {
        struct Silent : ProgressWindow {
            bool Advance(double) override { return true; }
        };
        return std::make_unique<Silent>();
    }
};

// A bright disc and a dark bar on a colour ramp with texture: every tool finds
// something at its default settings near the top-left corner.
QImage ScenePicture(int side)
{
    QImage picture(side, side, QImage::Format_RGB32);
    const int c = side / 2, r = side / 6;
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < side; ++x) {
            int v = 60 + (x * 97 / side) + ((x * 7 + y * 3) & 7);
            if ((x - c) * (x - c) + (y - c) * (y - c) <= r * r || (x - 50) * (x - 50) + (y - 50) * (y - 50) <= 900)
                v = 220;
            if (x >= side / 7 && x < side / 7 + 20)
                v = 15;
            line[x] = qRgb(v, (v + x) & 255, v);
        }
    }
    return picture;
}

// The exchange folder (the template file) kept apart from the user's own.
struct Session {
    Session()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName(
            QStringLiteral("GrayBench-bench-%1").arg(QCoreApplication::applicationPid()));
    }
    ~Session()
    {
        QDir(ExchangeFolder()).removeRecursively();
        QCoreApplication::setApplicationName(name);
        SetDefaultTraceSink(TraceSink::ToStandardOutput());
    }
    const QString name = QCoreApplication::applicationName();
    QTemporaryDir dir;
    BenchDialogs dialogs;
};

double ProcessSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// What the event loop does after a click: paints both views where they show.
void PaintViews(TForm1& form, QImage& frame)
{
    for (PictureView* view : {form.Image1, form.Image2}) {
        QPainter painter(&frame);
        view->Render(painter, view->Viewport());
    }
}

struct Step {
    const char* name;
    std::function<void(TForm1&)> prepare;  // opens the tool's panel, enables its run button
    std::function<QObject*(TForm1&)> control;
};

const std::vector<Step>& Steps()
{
    auto button = [](QPushButton* TForm1::*member) {
        return [member](TForm1& f) -> QObject* { return f.*member; };
    };
    auto action = [](QAction* TForm1::*member) {
        return [member](TForm1& f) -> QObject* { return f.*member; };
    };
    // The tool's menu opened (its panel shows), then its setup item or variant.
    auto setup = [](QMenu* TForm1::*menu, QAction* TForm1::*item) {
        return [menu, item](TForm1& f) {
            emit(f.*menu)->aboutToShow();
            (f.*item)->trigger();
        };
    };
    auto nothing = [](TForm1&) {};
    static const std::vector<Step> steps = {
        {"Load", nothing, action(&TForm1::Load1)},
        {"Save", nothing, action(&TForm1::Save1)},
        {"Filter", setup(&TForm1::Fiter1, &TForm1::Lowpass1), button(&TForm1::Button1)},
        {"Morphology", setup(&TForm1::Mophology1, &TForm1::Dilation1), button(&TForm1::Button2)},
        {"Brightness", setup(&TForm1::Brightness1, &TForm1::BrightnessSetup1), button(&TForm1::Button4)},
        {"Threshold", setup(&TForm1::Threshold1, &TForm1::ThresholdSetup1), button(&TForm1::Button5)},
        {"DetectObject", setup(&TForm1::DetectObject1, &TForm1::DetectObjectSetup1), button(&TForm1::Button8)},
        {"CreateTemplate", setup(&TForm1::MatchPattern1, &TForm1::MatchPatternSetup1), button(&TForm1::Button9)},
        {"FindPattern", setup(&TForm1::MatchPattern1, &TForm1::MatchPatternSetup1), button(&TForm1::Button10)},
        {"FindEdge", setup(&TForm1::FindEdge1, &TForm1::FindEdgeSetup1), button(&TForm1::Button11)},
        {"FindStraight", setup(&TForm1::FindStraight1, &TForm1::FindStraightSetup1), button(&TForm1::Button12)},
        {"FindCircular", setup(&TForm1::FindCircular1, &TForm1::FindCircularSetup1), button(&TForm1::Button13)},
        {"CopyAfterToBefore", nothing, button(&TForm1::Button6)},
        {"ClearBefore", nothing, button(&TForm1::Button15)},
        {"Undo", nothing, action(&TForm1::Undo1)},
    };
    return steps;
}

void Click(QObject* control)
{
    if (auto* b = qobject_cast<QAbstractButton*>(control))
        b->click();
    else
        qobject_cast<QAction*>(control)->trigger();
}

// One command of a 2048 x 2048 session: the click and the paint that follows.
// A tool's command starts from Before whatever ran before it, so the picture
// is loaded once; Undo undoes a Clear Before made before each (untimed). The
// template exists for Find Pattern.
// cpu_ms: processor time of every thread, a click and paint.
void BM_WindowSession2048(benchmark::State& state, std::size_t index)
{
    constexpr int kSide = 2048;
    const Step& step = Steps()[index];
    Session session;
    SetDefaultTraceSink(TraceSink());
    session.dialogs.OpenPath = session.dir.filePath(QStringLiteral("scene.png"));
    session.dialogs.SavePath = session.dir.filePath(QStringLiteral("saved.png"));
    ScenePicture(kSide).save(session.dialogs.OpenPath);
    TForm1 form;
    form.show();
    QApplication::processEvents();
    QImage frame(form.Image1->size(), QImage::Format_RGB32);
    form.LoadPicture(session.dialogs.OpenPath);
    emit form.MatchPattern1->aboutToShow();
    form.MatchPatternSetup1->trigger();
    form.Button9->click();  // the template of the default region
    step.prepare(form);
    QApplication::processEvents();
    QObject* control = step.control(form);
    const bool undo = step.name == std::string_view("Undo");
    double cpu = 0;
    for (auto _ : state) {
        if (undo) {
            state.PauseTiming();
            form.Button15->click();
            state.ResumeTiming();
        }
        const double t0 = ProcessSeconds();
        Click(control);
        PaintViews(form, frame);
        cpu += ProcessSeconds() - t0;
    }
    state.counters["cpu_ms"] = cpu / static_cast<double>(state.iterations()) * 1e3;
    if (form.statusBar()->currentMessage().contains(QStringLiteral("nothing")))
        state.SkipWithError("the command did nothing");
    if (session.dialogs.Messages > 0)
        state.SkipWithError("the command was refused");
    state.SetLabel(form.statusBar()->currentMessage().toStdString());
}

// One benchmark a command: BM_WindowSession2048/Filter, .../Load and so on.
const bool kSessionRegistered = [] {
    for (std::size_t i = 0; i < Steps().size(); ++i)
        benchmark::RegisterBenchmark(
            ("BM_WindowSession2048/" + std::string(Steps()[i].name)).c_str(), BM_WindowSession2048, i)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    return true;
}();

// The fixed cost of a command on an 8000 x 8000 picture: a Lowpass filter of a
// 100 x 100 region clicked and painted, less the same command run bare on the
// window's own images (its copy of Before into After included). The time shown
// is that difference; window_ms and command_ms are the two parts. All three are
// processor time of the whole process, every thread's included: on a shared
// machine a wall clock counts the other jobs' turns as well.
void BM_WindowCommand8000(benchmark::State& state)
{
    constexpr int kSide = 8000;
    Session session;
    SetDefaultTraceSink(TraceSink());
    TForm1 form;
    form.show();
    QApplication::processEvents();
    QImage frame(form.Image1->size(), QImage::Format_RGB32);
    {
        QImage picture = ScenePicture(kSide);
        GrayImage gray = GrayFromPicture(picture);
        form.ReplaceWorkspace(TForm1::WorkspaceChange::Load, std::move(picture), std::move(gray),
                              kSide, kSide, QStringLiteral("big"));
    }
    form.SetCorners({4000, 4000, 4100, 4100});
    emit form.Fiter1->aboutToShow();
    form.Lowpass1->trigger();
    form.Button1->click();
    QApplication::processEvents();
    if (form.History.size() != 2)
        state.SkipWithError("the filter did not run");
    const CommandSettings settings = form.ReadFilterSettings();
    double window = 0, bare = 0;
    for (auto _ : state) {
        const double t0 = ProcessSeconds();
        form.Button1->click();
        PaintViews(form, frame);
        const double t1 = ProcessSeconds();
        const CommandResult r =
            RunCommand(form.BeforeImage, form.AfterImage(), kSide, kSide, settings);
        benchmark::DoNotOptimize(&r);
        const double t2 = ProcessSeconds();
        const double w = t1 - t0, b = t2 - t1;
        window += w;
        bare += b;
        state.SetIterationTime(std::max(w - b, 0.0));
        // The history grows by one entry a click; start each round from the load.
        state.PauseTiming();
        form.History.resize(1);
        form.HistoryPosition = 1;
        state.ResumeTiming();
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["window_ms"] = window / n * 1e3;
    state.counters["command_ms"] = bare / n * 1e3;
}
BENCHMARK(BM_WindowCommand8000)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace
