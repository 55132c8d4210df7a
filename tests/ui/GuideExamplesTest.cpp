// tests/ui/GuideExamplesTest.cpp: every worked example of the user's guide
// (docs/guide/*.md) is run through the command layer, and the numbers the page
// gives must be those the program gives today.
//
// An example is a fenced block of kind graybench-example, one "key: value" a
// line. Given: picture (a sample's path from the source tree, or "black WxH"),
// recipe (a recipe file) and step (a recipe step's JSON, on one line; several
// run in order), template (X1 Y1 X2 Y2: a pattern step's template, cut from the
// picture as Create Template cuts it), region (X1 Y1 X2 Y2: the corners when
// the last step ran; by default its own roi or line), calibration (units per
// pixel and unit). Checked, in the page's order after the givens: before and
// after ("(x, y) = v, ..."), and the Results pane of the last step: pane (its
// title line), columns and row ("a | b | c"), more ("N rows").
#include "PictureFiles.h"
#include "Recipe.h"
#include "ResultsPane.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <optional>
#include <sstream>

namespace {

const QString kSource = QStringLiteral(GRAYBENCH_SOURCE_DIR);

struct Example {
    QString page;
    int line = 0;  // of the opening fence
    std::vector<std::pair<QString, QString>> given, expected;
};

bool IsChecked(const QString& key)
{
    return key == QLatin1String("before") || key == QLatin1String("after") ||
           key == QLatin1String("pane") || key == QLatin1String("columns") ||
           key == QLatin1String("row") || key == QLatin1String("more");
}

std::vector<Example> ExamplesOf(const QString& page, const QString& text)
{
    std::vector<Example> examples;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i].trimmed() != QLatin1String("```graybench-example"))
            continue;
        Example example{page, i + 1, {}, {}};
        for (++i; i < lines.size() && lines[i].trimmed() != QLatin1String("```"); ++i) {
            const QString line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(QLatin1Char(':'));
            if (line.isEmpty() || colon < 0)
                continue;
            std::pair<QString, QString> entry{line.left(colon), line.mid(colon + 1).trimmed()};
            (IsChecked(entry.first) ? example.expected : example.given).push_back(entry);
        }
        examples.push_back(example);
    }
    return examples;
}

QString ReadText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

std::vector<int> Numbers(const QString& text)
{
    std::vector<int> numbers;
    static const QRegularExpression number(QStringLiteral("-?\\d+"));
    for (auto it = number.globalMatch(text); it.hasNext();)
        numbers.push_back(it.next().captured().toInt());
    return numbers;
}

std::optional<Corners> CornersOf(const QString& text)
{
    const std::vector<int> n = Numbers(text);
    if (n.size() != 4)
        return std::nullopt;
    return Corners{n[0], n[1], n[2], n[3]};
}

// The corners a command ran with, as the window hands them to the pane.
Corners CornersOf(const CommandSettings& settings)
{
    if (const auto* s = std::get_if<FilterSettings>(&settings))
        return s->roi;
    if (const auto* s = std::get_if<DetectSettings>(&settings))
        return s->roi;
    if (const auto* s = std::get_if<EdgeSettings>(&settings))
        return s->line;
    if (const auto* s = std::get_if<StraightSettings>(&settings))
        return s->roi;
    if (const auto* s = std::get_if<CircularSettings>(&settings))
        return {s->cx, s->cy, s->cx, s->cy};
    return {};
}

QString Pixels(const GrayImage& image, int width, int height, const QString& points)
{
    QStringList out;
    static const QRegularExpression point(QStringLiteral("\\((-?\\d+), *(-?\\d+)\\)"));
    for (auto it = point.globalMatch(points); it.hasNext();) {
        const auto m = it.next();
        const int x = m.captured(1).toInt(), y = m.captured(2).toInt();
        const QString value = x >= 0 && y >= 0 && x < width && y < height
                                  ? QString::number(image[x][y])
                                  : QStringLiteral("outside");
        out << QStringLiteral("(%1, %2) = %3").arg(x).arg(y).arg(value);
    }
    return out.join(QStringLiteral(", "));
}

// Runs the example and returns the checked lines as the program gives them.
// The page's lines decide which pixels are read and how many rows are listed.
std::vector<std::pair<QString, QString>> RunExample(const Example& example)
{
    QString pictureName, recipeText;
    QStringList steps;
    std::optional<Corners> templateCorners, region;
    Calibration calibration;
    for (const auto& [key, value] : example.given) {
        if (key == QLatin1String("picture"))
            pictureName = value;
        else if (key == QLatin1String("recipe"))
            recipeText = ReadText(kSource + QLatin1Char('/') + value);
        else if (key == QLatin1String("step"))
            steps << value;
        else if (key == QLatin1String("template"))
            templateCorners = CornersOf(value);
        else if (key == QLatin1String("region"))
            region = CornersOf(value);
        else if (key == QLatin1String("calibration")) {
            const QStringList parts = value.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            calibration = {parts.value(0).toDouble(), parts.value(1).toStdString()};
        } else
            throw std::runtime_error("unknown key " + key.toStdString());
    }

    SizedImage picture;
    static const QRegularExpression black(QStringLiteral("^black (\\d+)x(\\d+)$"));
    if (const auto m = black.match(pictureName); m.hasMatch()) {
        picture.width = m.captured(1).toInt();
        picture.height = m.captured(2).toInt();
        picture.pixels = NewGrayImage(picture.width, picture.height);
        for (int x = 0; x < picture.width; ++x)
            std::fill_n(picture.pixels[x], picture.height, std::uint8_t{0});
    } else {
        const QImage file = ReadPictureFile(kSource + QLatin1Char('/') + pictureName);
        picture = {GrayFromPicture(file), file.width(), file.height()};
    }
    if (!picture)
        throw std::runtime_error("no picture " + pictureName.toStdString());

    if (templateCorners) {  // the template goes into the pattern step, as Create Template writes it
        const TemplateResult t =
            RunCreateTemplate(picture.pixels, picture.width, picture.height, *templateCorners);
        std::vector<std::uint8_t> gray;
        for (int y = 0; y < t.templ.height; ++y)
            for (int x = 0; x < t.templ.width; ++x)
                gray.push_back(t.templ.pixels[x][y]);
        for (QString& step : steps)
            if (step.contains(QLatin1String("\"pattern\"")))
                step.insert(step.lastIndexOf(QLatin1Char('}')),
                            QStringLiteral(", \"template\": {\"width\": %1, \"height\": %2, "
                                           "\"gray\": \"%3\"}")
                                .arg(t.templ.width)
                                .arg(t.templ.height)
                                .arg(QString::fromStdString(EncodeBase64(gray))));
    }
    if (recipeText.isEmpty())
        recipeText = QStringLiteral("{\"format\": \"graybench-recipe\", \"version\": 1, "
                                    "\"steps\": [%1]}")
                         .arg(steps.join(QStringLiteral(", ")));
    const Recipe recipe = ParseRecipe(recipeText.toStdString());
    static const TraceSink silent;  // the searches' diagnostic lines are not the example's
    CommandWork work(&silent);
    const RecipeRun run = recipe.steps.empty() ? RecipeRun{}
                                               : RunRecipe(recipe, picture.pixels, picture.width,
                                                           picture.height, {}, &work);

    int expectedRows = 0;
    for (const auto& [key, value] : example.expected)
        expectedRows += key == QLatin1String("row") ? 1 : 0;
    std::vector<std::pair<QString, QString>> actual;
    bool paneDone = false;
    for (const auto& [key, value] : example.expected) {
        if (key == QLatin1String("before") || key == QLatin1String("after")) {
            const bool before = key == QLatin1String("before");
            const GrayImage& image = before || !run.after ? picture.pixels : run.after;
            actual.push_back({key, Pixels(image, picture.width, picture.height, value)});
            continue;
        }
        if (paneDone || run.results.empty())
            continue;
        paneDone = true;  // the pane's lines come together, in the pane's order
        const CommandSettings& settings = recipe.steps.back().command;
        const CommandResult& result = run.results.back();
        ResultsPane pane;
        pane.SetCalibration(calibration.IsSet() ? calibration : recipe.calibration);
        pane.ShowResults(settings, result,
                         MeasureCommand(run.before, picture.width, picture.height, settings, result,
                                        region.value_or(CornersOf(settings))));
        actual.push_back({QStringLiteral("pane"), pane.Label1->text()});
        QStringList columns;
        for (int c = 0; c < pane.Model->columnCount(); ++c)
            columns << pane.Model->horizontalHeaderItem(c)->text();
        actual.push_back({QStringLiteral("columns"), columns.join(QStringLiteral(" | "))});
        const int rows = pane.Model->rowCount();
        const int listed = std::min(rows, expectedRows > 0 ? expectedRows : 12);
        for (int r = 0; r < listed; ++r) {
            QStringList cells;
            for (int c = 0; c < pane.Model->columnCount(); ++c)
                cells << pane.Model->item(r, c)->text();
            actual.push_back({QStringLiteral("row"), cells.join(QStringLiteral(" | "))});
        }
        if (rows > listed)
            actual.push_back({QStringLiteral("more"), QStringLiteral("%1 row%2")
                                                          .arg(rows - listed)
                                                          .arg(rows - listed > 1 ? "s" : "")});
    }
    return actual;
}

QString Text(const std::vector<std::pair<QString, QString>>& lines)
{
    QString text;
    for (const auto& [key, value] : lines)
        text += key + QStringLiteral(": ") + value.trimmed() + QLatin1Char('\n');
    return text;
}

const QStringList& GuidePages()
{
    static const QStringList pages =
        QDir(kSource + QStringLiteral("/docs/guide")).entryList({QStringLiteral("*.md")}, QDir::Files,
                                                               QDir::Name);
    return pages;
}

}  // namespace

TEST(GuideExamples, EveryPageButTheIndexHasAnExampleThatChecksSomething)
{
    ASSERT_GE(GuidePages().size(), 14);
    for (const QString& page : GuidePages()) {
        if (page == QLatin1String("index.md"))
            continue;
        const std::vector<Example> examples =
            ExamplesOf(page, ReadText(kSource + QStringLiteral("/docs/guide/") + page));
        EXPECT_FALSE(examples.empty()) << page.toStdString() << " has no graybench-example block";
        for (const Example& example : examples)
            EXPECT_FALSE(example.expected.empty())
                << page.toStdString() << ":" << example.line << " checks no number";
    }
}

TEST(GuideExamples, GiveTheNumbersThePagesSay)
{
    int checked = 0;
    for (const QString& page : GuidePages())
        for (const Example& example :
             ExamplesOf(page, ReadText(kSource + QStringLiteral("/docs/guide/") + page))) {
            std::vector<std::pair<QString, QString>> actual;
            try {
                actual = RunExample(example);
            } catch (const std::exception& e) {
                ADD_FAILURE() << page.toStdString() << ":" << example.line << ": " << e.what();
                continue;
            }
            EXPECT_EQ(Text(example.expected).toStdString(), Text(actual).toStdString())
                << page.toStdString() << ":" << example.line;
            ++checked;
        }
    EXPECT_GE(checked, 15);
}
