// tests/session/Session.cpp: a whole session through the main window, as a user
// runs it: load a picture, every tool (every variant of the filters and of
// morphology), the tool window, Copy After to Before, Clear Before, save, exit.
// Nothing is shown: the dialogs answer themselves and the platform is offscreen.
//
//   workbench_session                 the sample picture parts.png
//   workbench_session --side 16000    a made-up side x side picture; prints the
//                                     time of every command and the peak memory
//
// Fails (exit status 1) when a command shows an error or the session does not
// end as it should. Run under LeakSanitizer (the asan build) or valgrind, it
// shows what the session leaves unreleased.
#include "Capture.h"
#include "FakeDialogs.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Writes a side x side 24-bit bitmap row by row, so the check's own memory does
// not count: a gradient with dark discs every 400 pixels and a bright bar.
bool WriteScene(const QString& path, int side)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const qint64 row = (3LL * side + 3) / 4 * 4, pixels = row * side;
    auto put = [&](qint64 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            file.putChar(static_cast<char>(value >> (8 * i) & 0xFF));
    };
    file.write("BM");  // file header, then the 40-byte information header
    for (const auto& [value, bytes] : {std::pair<qint64, int>{54 + pixels, 4},
                                       {0, 4},
                                       {54, 4},
                                       {40, 4},
                                       {side, 4},
                                       {side, 4},
                                       {1, 2},
                                       {24, 2},
                                       {0, 4},
                                       {pixels, 4},
                                       {2835, 4},
                                       {2835, 4},
                                       {0, 4},
                                       {0, 4}})
        put(value, bytes);
    QByteArray line(static_cast<qsizetype>(row), '\0');
    for (int r = side - 1; r >= 0; --r) {  // bottom row first
        const int y = r;
        for (int x = 0; x < side; ++x) {
            const int dx = x % 400 - 200, dy = y % 400 - 200;
            int v = 60 + (x + y) * 120 / (2 * side);
            if (dx * dx + dy * dy <= 40 * 40)
                v = 20 + (x / 400 + y / 400) % 7;
            else if (y % 1000 >= 600 && y % 1000 < 640 && x % 1000 < 300)
                v = 230;
            line[3 * x] = line[3 * x + 1] = static_cast<char>(v);
            line[3 * x + 2] = static_cast<char>(std::min(v + x % 3, 255));
        }
        if (file.write(line) != row)
            return false;
    }
    return true;
}

long PeakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

void SetRegion(TForm1& form, int X1, int Y1, int X2, int Y2)
{
    form.Label11->setText(QString::number(X1));
    form.Label12->setText(QString::number(Y1));
    form.Label13->setText(QString::number(X2));
    form.Label14->setText(QString::number(Y2));
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int side = 0;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--side") == 0)
            side = std::atoi(argv[i + 1]);
    WorkbenchApplication app(argc, argv);
    // The exchange files go to a folder of this run's own.
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(
        QStringLiteral("GrayBench-session-%1").arg(QCoreApplication::applicationPid()));
    SetCaptureDrivers([](int) { return std::unique_ptr<CaptureDriver>(); });  // no camera
    QTemporaryDir dir;
    FakeDialogs dialogs;

    QString picture =
        QDir(QStringLiteral(GRAYBENCH_SAMPLES_DIR)).filePath(QStringLiteral("parts.png"));
    if (side > 0) {
        picture = dir.filePath(QStringLiteral("scene.bmp"));
        if (!WriteScene(picture, side)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(picture));
            return 1;
        }
        std::printf("%d x %d picture written, peak %ld MB\n", side, side, PeakMegabytes());
    }

    auto form1 = std::make_unique<TForm1>();
    auto form2 = std::make_unique<TForm2>();
    auto form3 = std::make_unique<TForm3>();
    auto form4 = std::make_unique<TForm4>(*form1);
    TForm1& form = *form1;
    form.Form2 = form2.get();
    form.Form3 = form3.get();
    form.Form4 = form4.get();
    form.SearchProgressDelayMs = 0;  // the progress window, too, takes part
    form.show();
    const QStringList startMessages = dialogs.Messages;  // "no video" at start-up

    std::vector<std::pair<QString, qint64>> times;
    auto run = [&](const QString& name, auto&& command) {
        QElapsedTimer clock;
        clock.start();
        command();
        QCoreApplication::processEvents();
        times.emplace_back(name, clock.elapsed());
        if (side > 0)
            std::printf("%-28s %8lld ms   peak %6ld MB\n", qPrintable(name),
                        static_cast<long long>(clock.elapsed()), PeakMegabytes());
        std::fflush(stdout);
    };

    dialogs.OpenAnswers = {picture};
    run(QStringLiteral("Load"), [&] { form.Load1->trigger(); });
    const int w = form.ImageWidth(), h = form.ImageHeight();
    if (!form.BeforeImage || w <= 0) {
        std::fprintf(stderr, "the picture did not load: %s\n",
                     qPrintable(dialogs.Errors.join('\n')));
        return 1;
    }
    SetRegion(form, w / 8, h / 8, w - w / 8, h - h / 8);

    emit form.Fiter1->aboutToShow();
    form.RadioButton3->setChecked(true);  // 7 x 7, the slowest
    for (QAction* filter : {form.Lowpass1, form.LocalAverage1, form.Median1, form.Gaussian1,
                            form.Laplacian1, form.Prewitt1, form.Sobel1, form.Roberts1}) {
        filter->trigger();
        run(QStringLiteral("Filter ") + form.Button1->text(), [&] { form.Button1->click(); });
    }

    emit form.Mophology1->aboutToShow();
    for (QAction* variant : {form.Dilation1, form.Erosion1, form.Opening1, form.Closing1,
                             form.ProperOpening1, form.ProperClosing1, form.ProperAutomedian1}) {
        variant->trigger();
        form.Edit1->setText(QStringLiteral("3"));
        run(QStringLiteral("Morphology ") + form.Button2->text(), [&] { form.Button2->click(); });
    }

    run(QStringLiteral("Brightness menu"), [&] { emit form.Brightness1->aboutToShow(); });
    form.BrightnessSetup1->trigger();
    form.ScrollBar1->setValue(150);
    form.ScrollBar2->setValue(60);
    form.ScrollBar3->setValue(70);
    run(QStringLiteral("Brightness Run"), [&] { form.Button4->click(); });

    run(QStringLiteral("Threshold menu (histogram)"), [&] { emit form.Threshold1->aboutToShow(); });
    form.ThresholdSetup1->trigger();
    form.Edit2->setText(QStringLiteral("90"));
    for (int mode : {0, 1, 2}) {
        form.ComboBox1->setCurrentIndex(mode);
        run(QStringLiteral("Threshold mode %1").arg(mode), [&] { form.Button5->click(); });
    }
    form.ComboBox1->setCurrentIndex(0);
    run(QStringLiteral("Threshold AUTO"), [&] { form.CheckBox50->setChecked(true); });
    run(QStringLiteral("Threshold Run, AUTO"), [&] { form.Button5->click(); });
    form.CheckBox50->setChecked(false);

    emit form.DetectObject1->aboutToShow();
    form.DetectObjectSetup1->trigger();
    form.Edit2->setText(QStringLiteral("40"));
    run(QStringLiteral("Detect Start"), [&] { form.Button8->click(); });

    emit form.MatchPattern1->aboutToShow();
    form.MatchPatternSetup1->trigger();
    // A dark disc with its surroundings: present all over the made-up scene.
    const int tx = side > 0 ? 140 : w / 3, ty = side > 0 ? 140 : h / 3;
    SetRegion(form, tx, ty, tx + std::min(120, w / 4), ty + std::min(120, h / 4));
    run(QStringLiteral("Create Template"), [&] { form.Button9->click(); });
    run(QStringLiteral("Show Temp Picture"), [&] { form.Button7->click(); });
    for (int angle : {0, 10}) {
        form.ScrollBar6->setValue(angle);
        run(QStringLiteral("Find Pattern, Angle %1").arg(angle), [&] { form.Button10->click(); });
    }

    emit form.FindEdge1->aboutToShow();
    form.FindEdgeSetup1->trigger();
    form.ScrollBar7->setValue(30);
    SetRegion(form, 0, h / 2, w - 1, h / 3);
    run(QStringLiteral("Find Edge"), [&] { form.Button11->click(); });

    emit form.FindStraight1->aboutToShow();
    form.FindStraightSetup1->trigger();
    form.ScrollBar8->setValue(1);
    form.ScrollBar9->setValue(30);
    form.ScrollBar10->setValue(15);
    SetRegion(form, w / 10, h / 10, w - w / 10, h - h / 10);
    run(QStringLiteral("Find Straight, gap 1"), [&] { form.Button12->click(); });

    emit form.FindCircular1->aboutToShow();
    form.FindCircularSetup1->trigger();
    form.ScrollBar11->setValue(1);  // 360 spokes: the most the panel allows
    SetRegion(form, side > 0 ? 200 : w / 2, side > 0 ? 200 : h / 2, 0, 0);
    run(QStringLiteral("Find Circular, gap 1"), [&] { form.Button13->click(); });

    SetRegion(form, 10, 10, std::min(w, 600), std::min(h, 600));
    run(QStringLiteral("Tool Button"), [&] { form.Button14->click(); });
    run(QStringLiteral("Tool window table"), [&] { form3->ToolButton1->click(); });
    run(QStringLiteral("Viedo"), [&] { form.Button16->click(); });

    run(QStringLiteral("Copy After to Before"), [&] { form.Button6->click(); });
    run(QStringLiteral("Clear Before"), [&] { form.Button15->click(); });
    dialogs.SaveAnswers = {dir.filePath(QStringLiteral("after.bmp"))};
    run(QStringLiteral("Save"), [&] { form.Save1->trigger(); });
    run(QStringLiteral("Exit"), [&] { form.Exit2->trigger(); });

    // Every command ran without an error box or a message (beyond "no video" at
    // start-up), the saved file exists and Exit released the images.
    const QStringList messages = dialogs.Messages.mid(startMessages.size());
    const bool good = dialogs.Errors.isEmpty() && messages.isEmpty() && !form.isVisible() &&
                      !form.BeforeImage &&
                      QFileInfo(dir.filePath(QStringLiteral("after.bmp"))).size() > 0;
    for (const QString& error : dialogs.Errors)
        std::fprintf(stderr, "error shown: %s\n", qPrintable(error));
    for (const QString& message : messages)
        std::fprintf(stderr, "message shown: %s\n", qPrintable(message));
    qint64 total = 0;
    for (const auto& [name, ms] : times)
        total += ms;
    std::printf("%d commands on %d x %d in %lld ms, peak memory %ld MB: %s\n",
                static_cast<int>(times.size()), w, h, static_cast<long long>(total),
                PeakMegabytes(), good ? "clean" : "FAILED");
    QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
    form4.reset();
    form3.reset();
    form2.reset();
    form1.reset();
    return good ? 0 : 1;
}
