// tests/ui/ResultsPaneTest.cpp: the Results dock after real commands on the
// sample pictures, its filters, sorting and copying, the calibration and the
// export through the injected dialogs, and the window's size with the dock.
#include "CalibrationDialog.h"
#include "ExchangeFiles.h"
#include "FakeDialogs.h"
#include "ResultsPane.h"
#include "TestImages.h"
#include "TextFiles.h"
#include "Unit1.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QHeaderView>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

struct Bench {
    explicit Bench(const char* sample = nullptr)
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName(
            QStringLiteral("GrayBench-results-%1").arg(QCoreApplication::applicationPid()));
        QDir(ExchangeFolder()).removeRecursively();
        if (sample != nullptr)
            form.LoadPicture(QStringLiteral(GRAYBENCH_SAMPLES_DIR "/") + QLatin1String(sample));
    }
    ~Bench()
    {
        QDir(ExchangeFolder()).removeRecursively();
        QCoreApplication::setApplicationName(name);
    }
    QStandardItemModel& Model() { return *form.ResultsPane1->Model; }
    int Column(const char* name)
    {
        for (int c = 0; c < Model().columnCount(); ++c)
            if (Model().headerData(c, Qt::Horizontal).toString() == QLatin1String(name))
                return c;
        ADD_FAILURE() << "no column " << name;
        return 0;
    }
    QString Cell(int row, const char* column) { return Model().item(row, Column(column))->text(); }
    double Number(int row, const char* column)
    {
        return Model().item(row, Column(column))->data(Qt::UserRole).toDouble();
    }
    // The command again, on a copy of Before: the numbers the pane must show.
    CommandResult Run(const CommandSettings& settings)
    {
        const int w = form.ImageWidth(), h = form.ImageHeight();
        GrayImage after = NewGrayImage(w, h);
        return RunCommand(form.BeforeImage, after, w, h, settings);
    }
    const QString name = QCoreApplication::applicationName();
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
};

void FindCircular(Bench& b, int cx, int cy)
{
    emit b.form.FindCircular1->aboutToShow();
    b.form.FindCircularSetup1->trigger();
    b.form.SetCorners({cx, cy, cx, cy});
    b.form.Button13->click();
}

}  // namespace

TEST(ResultsPane, FindCircularShowsTheToolsCircleAndVerdict)
{
    Bench b("gauge.png");
    FindCircular(b, 150, 150);  // the dark hole of radius 60
    const auto c = std::get<CircularResult>(b.Run(CircularSettings{0, 10, 50, 0, 360, 0, 100, 150, 150}));
    ASSERT_TRUE(c.ok);
    ASSERT_GE(b.Model().rowCount(), 1);
    EXPECT_EQ(b.Cell(0, "circle"), QStringLiteral("voted"));
    EXPECT_EQ(b.Number(0, "centreX"), static_cast<double>(c.centreX));
    EXPECT_EQ(b.Number(0, "centreY"), static_cast<double>(c.centreY));
    EXPECT_EQ(b.Number(0, "radius"), static_cast<double>(c.radius));
    EXPECT_EQ(b.Number(0, "votes"), c.votes);
    EXPECT_EQ(b.Number(0, "hits"), c.hits);
    EXPECT_EQ(b.Cell(0, "verdict"), QStringLiteral("OK"));
    EXPECT_EQ(b.Cell(0, "verdict"), b.form.Label51->text());
    EXPECT_TRUE(b.form.ResultsPane1->Label1->text().startsWith(QStringLiteral("Find Circular: ")));

    // The scale set through the dialog adds calibrated columns to the same table.
    b.dialogs.CalibrationAnswers = {Calibration{0.05, "mm"}};
    b.form.Calibration1->trigger();
    EXPECT_EQ(b.form.SessionCalibration, (Calibration{0.05, "mm"}));
    EXPECT_EQ(b.Column("radius_mm"), b.Column("radius") + 1);
    EXPECT_EQ(b.Number(0, "radius_mm"), static_cast<double>(c.radius) * 0.05);
    b.dialogs.CalibrationAnswers = {std::nullopt};  // Cancel keeps the scale
    b.form.Calibration1->trigger();
    EXPECT_EQ(b.dialogs.CalibrationsOffered.back(), (Calibration{0.05, "mm"}));
    EXPECT_EQ(b.form.SessionCalibration, (Calibration{0.05, "mm"}));
}

TEST(ResultsPane, DetectFiltersTheTableOnlyAndSortsAndCopies)
{
    Bench b("parts.png");
    emit b.form.DetectObject1->aboutToShow();
    b.form.DetectObjectSetup1->trigger();
    b.form.CheckBox50->setChecked(true);
    b.form.SetCorners({10, 10, 500, 470});
    b.form.Button8->click();
    const auto d = std::get<DetectResult>(
        b.Run(DetectSettings{b.form.ReadThresholdSettings(), {10, 10, 500, 470}}));
    ASSERT_GE(d.Count(), 3);
    ASSERT_EQ(b.Model().rowCount(), d.Count());
    for (int i = 0; i < d.Count(); ++i) {
        const DetectedObject& o = d.objects[static_cast<std::size_t>(i)];
        EXPECT_EQ(b.Number(i, "index"), i + 1);
        EXPECT_EQ(b.Number(i, "area"), o.area);
        EXPECT_EQ(b.Number(i, "minX"), o.minX);
        EXPECT_EQ(b.Number(i, "maxY"), o.maxY);
    }
    EXPECT_TRUE(b.form.ResultsPane1->SpinEdit1->isVisibleTo(b.form.ResultsPane1));
    EXPECT_FALSE(b.form.ResultsPane1->SpinEdit2->isVisibleTo(b.form.ResultsPane1));

    // The smallest object's area plus one hides exactly the objects below it.
    int smallest = d.objects[0].area, below = 0;
    for (const DetectedObject& o : d.objects)
        smallest = std::min(smallest, o.area);
    for (const DetectedObject& o : d.objects)
        below += o.area <= smallest ? 1 : 0;
    b.form.ResultsPane1->SpinEdit1->setValue(smallest + 1);
    EXPECT_EQ(b.Model().rowCount(), d.Count() - below);
    EXPECT_EQ(b.form.Label32->text(), QString::number(d.Count()));  // the panel stays the tool's
    EXPECT_EQ(b.form.StringGrid1->RowCount(), d.Count() + 1);
    EXPECT_TRUE(b.form.ResultsPane1->Label1->text().contains(
        QStringLiteral("objectCount %1").arg(d.Count())));

    // A header click sorts by value, and a new filter keeps that sort.
    b.form.ResultsPane1->SpinEdit1->setValue(0);
    b.form.ResultsPane1->Grid1->horizontalHeader()->setSortIndicator(b.Column("area"),
                                                                      Qt::DescendingOrder);
    for (int i = 1; i < b.Model().rowCount(); ++i)
        ASSERT_GE(b.Number(i - 1, "area"), b.Number(i, "area"));
    b.form.ResultsPane1->SpinEdit1->setValue(1);
    for (int i = 1; i < b.Model().rowCount(); ++i)
        ASSERT_GE(b.Number(i - 1, "area"), b.Number(i, "area"));

    // Ctrl+C copies the selected cells, a tab between them, a line a row.
    QTableView* grid = b.form.ResultsPane1->Grid1;
    grid->selectionModel()->select(QItemSelection(b.Model().index(0, b.Column("index")),
                                                  b.Model().index(1, b.Column("area"))),
                                   QItemSelectionModel::Select);
    const QString expected = b.Cell(0, "index") + u'\t' + b.Cell(0, "area") + u'\n' +
                             b.Cell(1, "index") + u'\t' + b.Cell(1, "area");
    EXPECT_EQ(b.form.ResultsPane1->SelectedText(), expected);
    grid->findChild<QAction*>(QStringLiteral("Copy1"))->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), expected);
}

TEST(ResultsPane, FindEdgeListsTheMarksAndExportWritesTheNamedFile)
{
    Bench b("gauge.png");
    emit b.form.FindEdge1->aboutToShow();
    b.form.FindEdgeSetup1->trigger();
    b.form.SetCorners({20, 265, 300, 265});  // across the step at x = 40 and x = 240
    b.form.Button11->click();
    const auto e = std::get<EdgeResult>(b.Run(EdgeSettings{0, 0, 0, {20, 265, 300, 265}}));
    ASSERT_FALSE(e.marks.empty());
    ASSERT_EQ(b.Model().rowCount(), static_cast<int>(e.marks.size()));
    for (std::size_t i = 0; i < e.marks.size(); ++i) {
        const int row = static_cast<int>(i);
        EXPECT_EQ(b.Number(row, "x"), e.marks[i].x);
        EXPECT_EQ(b.Number(row, "y"), e.marks[i].y);
        EXPECT_EQ(b.Number(row, "polarity"), e.marks[i].polarity);
        EXPECT_EQ(b.Number(row, "strength"), e.marks[i].strength);
    }

    for (const char* file : {"edges.csv", "edges.JSON"}) {
        const QString path = b.dir.filePath(QLatin1String(file));
        b.dialogs.ResultsSaveAnswers = {path};
        b.form.ExportResults1->trigger();
        const ResultsTable shown = b.form.ResultsPane1->Shown();
        EXPECT_EQ(ReadTextFile(path), path.endsWith(QStringLiteral(".csv"))
                                          ? WriteResultsCsv(shown)
                                          : WriteResultsJson(shown));
    }
    b.dialogs.ResultsSaveAnswers = {QString()};  // cancelled: nothing written, nothing said
    b.form.ExportResults1->trigger();
    EXPECT_TRUE(b.dialogs.Messages.isEmpty());

    Bench empty;
    empty.dialogs.ResultsSaveAnswers = {empty.dir.filePath(QStringLiteral("none.csv"))};
    empty.form.ExportResults1->trigger();
    EXPECT_EQ(empty.dialogs.Messages,
              QStringList{QStringLiteral("There are no results to export: run a command first.")});
    EXPECT_FALSE(QFileInfo::exists(empty.dir.filePath(QStringLiteral("none.csv"))));
}

TEST(ResultsPane, ShowsConstructedMeasuresInTheirColumns)
{
    ResultsPane pane;
    EdgeResult r;
    r.count = 2;
    r.marks = {{10, 20, 1, 80, 0}, {14, 20, -1, 60, 0}};
    EdgeMeasures m;
    m.edges = {{1, 10, 20, {10.25, 20.0}, 10.25, 1, 80}, {2, 14, 20, {13.5, 20.0}, 13.5, -1, 60}};
    m.spacing = {3.25};
    pane.ShowResults(EdgeSettings{}, r, m);
    ASSERT_EQ(pane.Model->rowCount(), 2);
    ASSERT_EQ(pane.Model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("subX"));
    EXPECT_EQ(pane.Model->item(0, 3)->text(), QStringLiteral("10.250"));
    EXPECT_EQ(pane.Model->item(1, 5)->text(), QStringLiteral("13.500"));  // along
    EXPECT_EQ(pane.Model->item(0, 6)->text(), QStringLiteral("3.250"));   // spacing
    EXPECT_EQ(pane.Model->item(1, 6)->text(), QString());
    pane.SetCalibration({0.5, "um"});
    EXPECT_EQ(pane.Model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("x_um"));
    EXPECT_EQ(pane.Model->item(0, 2)->text(), QStringLiteral("5"));  // 10 x 0.5

    // A refused search leaves the title and no rows; its minimum-score box shows.
    pane.ShowResults(PatternStep{}, NotRun<PatternResult>(Outcome::Refused, "no"), {});
    EXPECT_EQ(pane.Model->rowCount(), 0);
    EXPECT_EQ(pane.Label1->text(), QStringLiteral("Find Pattern: nothing measured"));
    EXPECT_TRUE(pane.SpinEdit2->isVisibleTo(&pane));
}

TEST(ResultsPane, RecipeKeepsTheCalibrationAndRestoresItWhenRun)
{
    Bench b("gauge.png");
    b.dialogs.CalibrationAnswers = {Calibration{0.025, "mm"}};
    b.form.Calibration1->trigger();
    FindCircular(b, 150, 150);
    const QString path = b.dir.filePath(QStringLiteral("gauge.recipe.json"));
    b.dialogs.RecipeSaveAnswers = {path};
    b.form.SaveRecipe1->trigger();
    EXPECT_EQ(ParseRecipe(ReadTextFile(path)).calibration, (Calibration{0.025, "mm"}));

    Bench other("gauge.png");
    other.form.RunRecipeFile(path);
    EXPECT_EQ(other.form.SessionCalibration, (Calibration{0.025, "mm"}));
    ASSERT_EQ(other.Model().rowCount(), b.Model().rowCount());
    EXPECT_EQ(other.Cell(0, "radius_mm"), b.Cell(0, "radius_mm"));
    EXPECT_EQ(other.Cell(0, "verdict"), b.Cell(0, "verdict"));
}

TEST(CalibrationDialog, ReadsTheScaleOrSaysWhyNot)
{
    CalibrationDialog dialog(nullptr, Calibration{0.05, "mm"});
    EXPECT_EQ(dialog.Edit1->text(), QStringLiteral("0.05"));
    EXPECT_EQ(dialog.Edit2->text(), QStringLiteral("mm"));
    const struct {
        const char *scale, *unit;
        std::optional<Calibration> read;
        const char* why;
    } cases[] = {
        {"0.125", "um", Calibration{0.125, "um"}, ""},
        {"", "mm", Calibration{}, ""},  // pixels only
        {"abc", "mm", std::nullopt, "'abc' is not a valid floating point value"},
        {"-1", "mm", std::nullopt, "the scale must be a number above 0"},
        {"2", "", std::nullopt, "the unit must have 1 to 16 characters"},
    };
    for (const auto& c : cases) {
        dialog.Edit1->setText(QLatin1String(c.scale));
        dialog.Edit2->setText(QLatin1String(c.unit));
        EXPECT_EQ(dialog.Read(), c.read) << c.scale;
        EXPECT_EQ(dialog.Label3->text(), QLatin1String(c.why)) << c.scale;
    }
    dialog.Edit1->setText(QStringLiteral("x"));
    dialog.Buttons->button(QDialogButtonBox::Ok)->click();  // refused: the dialog stays
    EXPECT_EQ(dialog.result(), 0);
    dialog.Edit1->setText(QStringLiteral("0.2"));
    dialog.Edit2->setText(QStringLiteral("mm"));
    dialog.Buttons->button(QDialogButtonBox::Ok)->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Chosen(), (Calibration{0.2, "mm"}));
}

TEST(ResultsPane, DocksBesideTheViewsAndHidingGivesTheOldWindowBack)
{
    Bench b;
    b.form.show();
    QCoreApplication::processEvents();
    ASSERT_TRUE(b.form.Results1->isChecked());
    // The views' area (it scrolls where the screen is small) beside the pane.
    const QWidget* views = b.form.centralWidget();
    const QRect area = views->geometry();
    EXPECT_EQ(b.form.Client->size(), QSize(1123, 842));
    EXPECT_FALSE(b.form.ResultsPane1->geometry().intersects(area));
    EXPECT_EQ(b.form.dockWidgetArea(b.form.ResultsPane1), Qt::RightDockWidgetArea);
    const int width = b.form.width();

    // Hiding the pane gives its room back: the window narrows, the views stay.
    b.form.Results1->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(b.form.ResultsPane1->isHidden());
    EXPECT_LT(b.form.width(), width);
    EXPECT_EQ(views->geometry(), area);

    b.form.Results1->trigger();
    QCoreApplication::processEvents();
    EXPECT_FALSE(b.form.ResultsPane1->isHidden());
    EXPECT_EQ(b.form.width(), width);
    EXPECT_EQ(views->geometry(), area);
    EXPECT_FALSE(b.form.ResultsPane1->geometry().intersects(views->geometry()));
}

// Undo and redo bring back what the pane listed at each step, so Export never
// writes the numbers of a command whose After image was taken back.
TEST(ResultsPane, UndoAndRedoListWhatEachStepListed)
{
    Bench b("parts.png");
    const auto listed = [&b] {
        QStringList lines = {b.form.ResultsPane1->Label1->text()};
        for (int r = 0; r < b.Model().rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < b.Model().columnCount(); ++c)
                cells << b.Model().item(r, c)->text();
            lines << cells.join(u'|');
        }
        return lines;
    };
    std::vector<QStringList> steps = {listed()};  // steps[k]: after k + 1 entries; none yet
    emit b.form.DetectObject1->aboutToShow();
    b.form.DetectObjectSetup1->trigger();
    b.form.CheckBox50->setChecked(true);
    b.form.SetCorners({10, 10, 500, 470});
    b.form.Button8->click();
    steps.push_back(listed());
    FindCircular(b, 150, 150);
    steps.push_back(listed());
    b.form.Button6->click();  // Copy After to Before keeps the list
    steps.push_back(listed());
    b.form.LoadPicture(QStringLiteral(GRAYBENCH_SAMPLES_DIR "/gauge.png"));  // so does a load
    steps.push_back(listed());
    ASSERT_EQ(b.form.HistoryPosition, 5);
    EXPECT_EQ(steps[0], QStringList{QStringLiteral("No results yet")});
    EXPECT_NE(steps[1], steps[2]);
    EXPECT_EQ(steps[2], steps[3]);
    EXPECT_EQ(steps[3], steps[4]);

    for (int position = 4; position >= 0; --position) {
        b.form.Undo1->trigger();
        const QStringList expected =
            position > 0 ? steps[static_cast<std::size_t>(position - 1)] : steps[0];
        EXPECT_EQ(listed(), expected) << "undone to " << position;
    }
    EXPECT_FALSE(b.form.ResultsPane1->HasResults());
    for (int position = 1; position <= 5; ++position) {
        b.form.Redo1->trigger();
        EXPECT_EQ(listed(), steps[static_cast<std::size_t>(position - 1)]) << "redone to " << position;
    }
    // Undone past the circle, the export holds the detection's rows.
    b.form.Undo1->trigger();
    b.form.Undo1->trigger();
    b.form.Undo1->trigger();
    EXPECT_EQ(listed(), steps[1]);
    EXPECT_EQ(b.form.ResultsPane1->Shown().command, "detect");
}

namespace {

// Detect Object's panel open, at a threshold and region that list many objects.
void DetectManyParts(Bench& b)
{
    emit b.form.DetectObject1->aboutToShow();
    b.form.DetectObjectSetup1->trigger();
    b.form.ScrollBar4->setValue(60);
    b.form.SetCorners({10, 10, 500, 470});
}

}  // namespace

// The lists the history keeps count against its memory limit. Over it, the
// oldest lists go before any picture: undo still brings back the step's
// images and says its numbers were not kept; the latest list always stays.
TEST(ResultsPane, TheHistorysListsCountAgainstItsLimitAndTheOldestGoFirst)
{
    Bench b("parts.png");
    DetectManyParts(b);
    const std::size_t loaded = b.form.HistoryBytes();
    b.form.Button8->click();
    const std::size_t detected = b.form.HistoryBytes();
    const auto& objects = std::get<DetectResult>(b.form.ResultsPane1->Current()->result).objects;
    ASSERT_GT(objects.size(), 1u);
    EXPECT_GE(detected - loaded, objects.size() * sizeof(DetectedObject));
    const int w = b.form.ImageWidth(), h = b.form.ImageHeight();
    const auto firstAfter = ToRows(b.form.AfterImage(), w, h);

    // Room for the same step again, but not for both lists. (Undo and redo of
    // two equal steps give equal pictures: what differs is the pane.)
    const std::size_t list = ShownResultsBytes(*b.form.ResultsPane1->Current());
    b.form.HistoryLimitBytes = detected + (detected - loaded) - list / 2;
    b.form.Button8->click();
    const auto latest = b.form.ResultsPane1->Current();
    ASSERT_EQ(b.form.History.size(), 3u);  // every step is kept
    EXPECT_LE(b.form.HistoryBytes(), b.form.HistoryLimitBytes);
    EXPECT_FALSE(b.form.History[1].results);
    EXPECT_EQ(b.form.History[2].results, latest);

    b.form.Undo1->trigger();
    EXPECT_EQ(b.form.ResultsPane1->Label1->text(),
              QStringLiteral("Results not kept: the undo history reached its memory limit"));
    EXPECT_EQ(b.Model().rowCount(), 0);
    EXPECT_EQ(ToRows(b.form.AfterImage(), w, h), firstAfter);
    b.form.Redo1->trigger();
    EXPECT_EQ(b.form.ResultsPane1->Current(), latest);
}

// A Clear Before keeps the list shown before it: two entries share one list,
// which counts once and frees its memory only when both let it go.
TEST(ResultsPane, AListTwoStepsShareCountsOnceAndGoesWithBoth)
{
    Bench b("parts.png");
    DetectManyParts(b);
    const std::size_t loaded = b.form.HistoryBytes();
    b.form.Button8->click();
    const std::size_t list = ShownResultsBytes(*b.form.ResultsPane1->Current());
    const std::size_t detectEntry = b.form.HistoryBytes() - loaded - list;
    b.form.Button15->click();  // Clear Before
    ASSERT_EQ(b.form.History.size(), 3u);
    ASSERT_EQ(b.form.History[1].results, b.form.History[2].results);
    const std::size_t shared = b.form.HistoryBytes();
    EXPECT_EQ(shared, loaded + 2 * detectEntry + list);  // the list once

    // Room for one more entry and half a list: the shared one must go whole.
    b.form.HistoryLimitBytes = shared + detectEntry + list / 2;
    b.form.Button8->click();
    ASSERT_EQ(b.form.History.size(), 4u);
    EXPECT_FALSE(b.form.History[1].results);
    EXPECT_FALSE(b.form.History[2].results);
    EXPECT_EQ(b.form.History[3].results, b.form.ResultsPane1->Current());
    EXPECT_LE(b.form.HistoryBytes(), b.form.HistoryLimitBytes);
}
