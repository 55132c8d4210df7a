// python/src/Commands.cpp: the commands, recipes and picture files over numpy
// arrays. Settings arrive as a one-step recipe, so that the recipe reader
// checks them and a bad one is refused in the words a recipe file gets.
#include "Arrays.h"
#include "Bindings.h"
#include "Errors.h"

#include "BatchMeasures.h"
#include "BatchRun.h"
#include "ByteNames.h"
#include "PictureFiles.h"
#include "Recipe.h"
#include "WhyNotRun.h"

#include <pybind11/stl.h>

#include <optional>

namespace py = pybind11;

namespace {

py::tuple RegionTuple(const Region& r) { return py::make_tuple(r.X1, r.Y1, r.X2, r.Y2); }

// The result's numbers by name; the package turns them into its dataclasses.
py::dict Numbers(const FilterResult& r)
{
    py::dict d;
    d["region"] = RegionTuple(r.region);
    return d;
}

py::dict Numbers(const MorphologyResult& r)
{
    py::dict d;
    d["rounds"] = r.rounds;
    return d;
}

py::dict Numbers(const BrightnessResult& r)
{
    py::dict d;
    py::list table;
    for (std::uint8_t v : r.table)
        table.append(v);
    d["table"] = table;
    return d;
}

py::dict Numbers(const ThresholdResult& r)
{
    py::dict d;
    d["threshold"] = r.threshold;
    d["upper"] = r.upper;
    return d;
}

py::dict Numbers(const DetectResult& r)
{
    py::dict d;
    d["region"] = RegionTuple(r.region);
    d["threshold"] = r.threshold;
    d["upper"] = r.upper;
    py::list objects;
    for (const DetectedObject& o : r.objects)
        objects.append(py::make_tuple(o.minX, o.minY, o.maxX, o.maxY, o.area));
    d["objects"] = objects;
    d["labels"] = r.labels;
    return d;
}

py::dict Numbers(const PatternResult& r)
{
    py::dict d;
    py::list rows;
    for (const MatchRow& m : r.rows)  // each float widens exactly to a Python float
        rows.append(py::make_tuple(m.x1, m.y1, m.x2, m.y2, m.angle, m.score));
    d["rows"] = rows;
    return d;
}

py::dict Numbers(const EdgeResult& r)
{
    py::dict d;
    d["count"] = r.count;
    py::list marks;
    for (const EdgeMark& e : r.marks)
        marks.append(py::make_tuple(e.x, e.y, e.polarity, e.strength, e.index));
    d["marks"] = marks;
    return d;
}

py::dict Numbers(const StraightResult& r)
{
    py::dict d;
    d["scan_lines"] = r.scanLines;
    d["hits"] = r.hits;
    d["fitted"] = r.fitted;
    d["a"] = r.a;
    d["b"] = r.b;
    const StepRun& s = r.run;
    d["run"] = py::make_tuple(s.a, s.b, s.firstX, s.firstY, s.lastX, s.lastY, s.count);
    return d;
}

py::dict Numbers(const CircularResult& r)
{
    py::dict d;
    d["votes"] = r.votes;
    d["ok"] = r.ok;
    d["centre_x"] = r.centreX;
    d["centre_y"] = r.centreY;
    d["radius"] = r.radius;
    d["spokes"] = r.spokes;
    d["hits"] = r.hits;
    d["circles"] = r.circles;
    return d;
}

// (command name, numbers, measures) of a result that ran. The measures are the
// JSON object of the results file's measured fields, so that Python finds
// them under the same names with the same values.
py::tuple ResultTuple(const CommandSettings& settings, const CommandResult& result,
                      const CommandMeasures& measures)
{
    return py::make_tuple(std::string(CommandName(settings)),
                          std::visit([](const auto& r) { return Numbers(r); }, result),
                          "{" + JsonMembers(MeasuredFields(result, measures)) + "}");
}

// Runs the first step of a one-step recipe; templ, when given, replaces a
// pattern step's template (the command, not the reader, then judges its size).
py::tuple RunStep(const Recipe& recipe, const py::array& image,
                  const std::optional<py::array>& templ)
{
    if (recipe.steps.size() != 1)
        throw py::value_error("a command runs a recipe of exactly one step");
    CommandSettings settings = recipe.steps.front().command;
    if (templ) {
        auto* pattern = std::get_if<PatternStep>(&settings);
        if (pattern == nullptr)
            throw py::value_error("only a pattern step takes a template");
        pattern->templ = std::make_shared<const SizedImage>(GrayFromArray(*templ));
    }
    const SizedImage before = GrayFromArray(image);
    const int width = before.width, height = before.height;
    GrayImage after = NewGrayImage(width, height);
    if (!after)
        throw std::bad_alloc();
    std::optional<CommandResult> result;
    CommandMeasures measures;
    {
        const py::gil_scoped_release release;  // the command copies Before into After itself
        result = RunCommand(before.pixels, after, width, height, settings, {}, &ThreadWork());
        if (ReportOf(*result).Ran())
            measures = MeasureStep(before.pixels, width, height, settings, *result);
    }
    RaiseIfNotRun(ReportOf(*result));
    return py::make_tuple(ArrayFromGray(after, width, height),
                          ResultTuple(settings, *result, measures));
}

py::array_t<std::uint8_t> CreateTemplate(const py::array& image, const Corners& roi)
{
    const SizedImage before = GrayFromArray(image);
    if (before.width == 0 || before.height == 0)
        RaiseIfNotRun(NotRun<TemplateResult>(Outcome::NoPicture));
    TemplateResult result;
    {
        const py::gil_scoped_release release;
        result = RunCreateTemplate(before.pixels, before.width, before.height, roi);
    }
    RaiseIfNotRun(result);
    return ArrayFromGray(result.templ.pixels, result.templ.width, result.templ.height);
}

py::tuple RunRecipeOn(const Recipe& recipe, const py::array& image)
{
    const SizedImage before = GrayFromArray(image);
    py::list results;
    if (before.width == 0 || before.height == 0) {
        // No picture: a step refuses in RunRecipe's words; with no steps the
        // empty picture stands.
        {
            const py::gil_scoped_release release;
            RunRecipe(recipe, before.pixels, before.width, before.height, {}, &ThreadWork());
        }
        return py::make_tuple(ArrayFromGray(before.pixels, before.width, before.height), results);
    }
    // Step by step, as the batch runner goes: measuring needs each step's Before.
    std::vector<BatchRow> rows;
    GrayImage after;
    {
        const py::gil_scoped_release release;
        rows = RunSteps(recipe, "", before.pixels, before.width, before.height, ThreadWork(),
                        after);
    }
    for (const BatchRow& row : rows) {
        if (!row.ok)
            throw RecipeError(row.message);  // RunRecipe's words for the step that stopped it
        results.append(ResultTuple(recipe.steps[static_cast<std::size_t>(row.step - 1)].command,
                                   *row.result, row.measures));
    }
    return py::make_tuple(ArrayFromGray(after, before.width, before.height), results);
}

py::array_t<std::uint8_t> LoadPicture(const std::string& path)
{
    GrayImage gray;
    int width = 0, height = 0;
    {
        const py::gil_scoped_release release;
        const QImage picture = ReadPictureAtBytes(path);
        width = picture.width();
        height = picture.height();
        gray = GrayFromPicture(picture);
        if (!gray)
            throw PictureError(path + ": not enough memory for its gray image");
    }
    return ArrayFromGray(gray, width, height);
}

void SavePicture(const std::string& path, const py::array& image)
{
    const SizedImage gray = GrayFromArray(image);
    const py::gil_scoped_release release;
    WritePictureAtBytes(PictureFromGray(gray.pixels, gray.width, gray.height), path);
}

}  // namespace

void BindCommands(py::module_& m)
{
    m.def("run_step", &RunStep, py::arg("recipe"), py::arg("image"),
          py::arg("template") = py::none());
    m.def(
        "create_template",
        [](const py::array& image, int X1, int Y1, int X2, int Y2) {
            return CreateTemplate(image, Corners{X1, Y1, X2, Y2});
        },
        py::arg("image"), py::arg("X1"), py::arg("Y1"), py::arg("X2"), py::arg("Y2"));
    m.def("run_recipe", &RunRecipeOn, py::arg("recipe"), py::arg("image"));
    m.def("load_picture", &LoadPicture, py::arg("path"));
    m.def("save_picture", &SavePicture, py::arg("path"), py::arg("image"));
}
