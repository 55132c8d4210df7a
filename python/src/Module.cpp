// python/src/Module.cpp: the extension module _graybench, which the package
// graybench wraps. C++ runs with the GIL released; Python objects are built
// only after it is taken back.
#include "Bindings.h"
#include "Errors.h"

#include "BatchResults.h"
#include "BatchRun.h"
#include "ByteNames.h"
#include "PictureFiles.h"
#include "TextFiles.h"


#include <pybind11/stl.h>

namespace py = pybind11;

namespace {

Recipe LoadRecipe(const std::string& path)
{
    const py::gil_scoped_release release;
    std::string text;
    try {
        text = ReadTextAtBytes(path);
    } catch (const TextFileError& e) {
        throw RecipeError(path + ": " + e.what());
    }
    try {
        return ParseRecipe(text);
    } catch (const RecipeError& e) {
        throw RecipeError(path + ": " + e.what());
    }
}

// failed, the CSV lines and the JSON row objects of one picture. Paths come
// as bytes and texts go back as bytes: a file name need not be UTF-8, and the
// package decodes them as Python decodes file names.
py::tuple RunOnePicture(const Recipe& recipe, const std::string& path, const std::string& outDir,
                        bool steps)
{
    std::string csv;
    std::vector<std::string> json;
    bool failed = false;
    {
        const py::gil_scoped_release release;
        const PictureOutcome outcome =
            RunPicture(recipe, path, BatchPictureOptions{outDir, steps}, ThreadWork());
        failed = outcome.Failed();
        csv = ResultsCsvLines(outcome);
        json = ResultsJsonObjects(outcome);
    }
    py::list objects;
    for (const std::string& object : json)
        objects.append(py::bytes(object));
    return py::make_tuple(failed, py::bytes(csv), objects);
}

}  // namespace

PYBIND11_MODULE(_graybench, m)
{
    m.doc() = "GrayBench's commands, recipes and batch runner (see the package graybench).";
    m.attr("__version__") = GRAYBENCH_VERSION;
    py::register_exception<RecipeError>(m, "RecipeError", PyExc_ValueError);
    py::register_exception<PictureError>(m, "PictureError", PyExc_OSError);
    py::register_exception<Refused>(m, "Refused", PyExc_ValueError);
    py::register_exception<NoPicture>(m, "NoPicture", PyExc_ValueError);
    py::register_exception<Cancelled>(m, "Cancelled", PyExc_RuntimeError);

    py::class_<Recipe>(m, "Recipe", R"(A recipe read once, to run on many pictures.

Recipe.load(path) reads a file (RecipeError names the file), Recipe.parse(text)
reads its text; .text is the text the program writes for it, len() its steps.
A recipe pickles as its text.

>>> recipe = graybench.Recipe.load("samples/inspect-parts.recipe.json")
>>> len(recipe), graybench.Recipe.parse(recipe.text) == recipe
(3, True)
>>> graybench.Recipe.parse('{"format": "graybench-recipe", "version": 2, "steps": []}')
Traceback (most recent call last):
graybench.RecipeError: the recipe is of version 2, newer than this program reads (1)
)")
        .def_static(
            "parse",
            [](const std::string& text) {
                const py::gil_scoped_release release;
                return ParseRecipe(text);
            },
            py::arg("text"))
        .def_static("load", &LoadRecipe, py::arg("path"))
        .def_property_readonly("text", [](const Recipe& r) { return WriteRecipe(r); })
        .def("__len__", [](const Recipe& r) { return r.steps.size(); })
        .def("__eq__", [](const Recipe& a, const Recipe& b) { return a == b; })
        .def(py::pickle([](const Recipe& r) { return WriteRecipe(r); },
                        [](const std::string& text) { return ParseRecipe(text); }));

    m.def("run_picture", &RunOnePicture, py::arg("recipe"), py::arg("path"), py::arg("out_dir"),
          py::arg("steps"));
    m.def("results_csv_header", &ResultsCsvHeader);
    m.def(
        "results_json_array",
        [](const std::vector<std::string>& objects) { return py::bytes(ResultsJsonArray(objects)); },
        py::arg("objects"));

    BindCommands(m);
}
