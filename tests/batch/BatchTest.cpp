// The graybench-batch program, run as a user runs it: with no display, on
// pictures in a temporary folder, its files compared with RunRecipe's.
#include "BatchOptions.h"
#include "BatchResults.h"
#include "BatchRun.h"
#include "PictureFiles.h"
#include "Recipe.h"
#include "ResultsTable.h"
#include "TextFiles.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <QImage>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;  // keys in file order: lists compare in order

namespace {

const fs::path kSamples = GRAYBENCH_SAMPLES_DIR;

struct TempDir {
    fs::path path;
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "batch-test-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path); }
};

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

struct Exit {
    int status = -1;
    std::string stderrText;
};

// Runs the program with no display in sight; patterns reach it unexpanded.
Exit RunBatch(const std::vector<std::string>& args, const fs::path& scratch)
{
    std::string command = "env -u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY ";
    command += Quoted(GRAYBENCH_BATCH_EXE);
    for (const std::string& arg : args) {
        command += ' ';
        command += Quoted(arg);
    }
    const fs::path err = scratch / "stderr.txt";
    command += " >/dev/null 2>";
    command += Quoted(err.string());
    const int status = std::system(command.c_str());
    Exit exit;
    exit.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(err);
    exit.stderrText.assign(std::istreambuf_iterator<char>(in), {});
    return exit;
}

std::string FileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

SizedImage LoadGray(const fs::path& path)
{
    const QImage picture = ReadPictureFile(QString::fromStdString(path.string()));
    return {GrayFromPicture(picture), picture.width(), picture.height()};
}

bool SamePixels(const GrayImage& a, const GrayImage& b, int width, int height)
{
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            if (a[x][y] != b[x][y])
                return false;
    return true;
}

// A CSV file's rows, quoted cells unquoted.
std::vector<std::vector<std::string>> ReadCsv(const fs::path& path)
{
    std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
    const std::string text = FileBytes(path);
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"')
            rows.back().back() += text[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == ',')
            rows.back().emplace_back();
        else if (!quoted && c == '\n')
            rows.emplace_back(1);
        else
            rows.back().back() += c;
    }
    rows.pop_back();  // after the last line break
    return rows;
}

// The numbers of a CSV list ("1 2 3;4 5 6") or of the same JSON array of
// objects, in order; the JSON fields read as floats where the CSV has floats.
std::vector<double> CsvNumbers(const std::string& cell)
{
    std::string spaced = cell;
    std::replace(spaced.begin(), spaced.end(), ';', ' ');
    std::istringstream in(spaced);
    std::vector<double> numbers;
    for (std::string word; in >> word;)
        numbers.push_back(std::strtod(word.c_str(), nullptr));
    return numbers;
}
std::vector<double> JsonNumbers(const json& list)
{
    std::vector<double> numbers;
    for (const json& item : list) {
        if (item.is_number())
            numbers.push_back(item.get<double>());  // a measured list holds plain numbers
        else
            for (const auto& [name, value] : item.items())
                numbers.push_back(value.get<double>());
    }
    return numbers;
}

// The row's numbers must be the step's result, exactly: floats read back bit for bit.
void ExpectNumbers(const json& row, const CommandResult& result)
{
    std::vector<double> expected;
    if (const auto* r = std::get_if<ThresholdResult>(&result)) {
        EXPECT_EQ(row.at("threshold"), r->threshold);
    } else if (const auto* r = std::get_if<DetectResult>(&result)) {
        EXPECT_EQ(row.at("threshold"), r->threshold);
        EXPECT_EQ(row.at("objectCount"), r->Count());
        for (const DetectedObject& o : r->objects)
            expected.insert(expected.end(), {double(o.minX), double(o.minY), double(o.maxX),
                                             double(o.maxY), double(o.area)});
        EXPECT_EQ(JsonNumbers(row.at("objects")), expected);
    } else if (const auto* r = std::get_if<PatternResult>(&result)) {
        ASSERT_EQ(row.at("matches").size(), r->rows.size());
        for (std::size_t i = 0; i < r->rows.size(); ++i) {
            const json& m = row.at("matches")[i];
            const MatchRow& e = r->rows[i];
            EXPECT_EQ(m.at("x1").get<float>(), e.x1);
            EXPECT_EQ(m.at("y1").get<float>(), e.y1);
            EXPECT_EQ(m.at("x2").get<float>(), e.x2);
            EXPECT_EQ(m.at("y2").get<float>(), e.y2);
            EXPECT_EQ(m.at("angle").get<float>(), e.angle);
            EXPECT_EQ(m.at("score").get<float>(), e.score);
        }
    } else if (const auto* r = std::get_if<EdgeResult>(&result)) {
        EXPECT_EQ(row.at("edgeCount"), r->count);
        for (const EdgeMark& e : r->marks)
            expected.insert(expected.end(), {double(e.x), double(e.y), double(e.polarity),
                                             double(e.strength)});
        EXPECT_EQ(JsonNumbers(row.at("edges")), expected);
    } else if (const auto* r = std::get_if<StraightResult>(&result)) {
        EXPECT_EQ(row.at("fitted"), r->fitted);
        EXPECT_EQ(row.at("a").get<float>(), r->a);
        EXPECT_EQ(row.at("b").get<float>(), r->b);
        EXPECT_EQ(row.at("runCount"), r->run.count);
    } else if (const auto* r = std::get_if<CircularResult>(&result)) {
        EXPECT_EQ(row.at("votes"), r->votes);
        EXPECT_EQ(row.at("centreX"), r->centreX);
        EXPECT_EQ(row.at("centreY"), r->centreY);
        EXPECT_EQ(row.at("radius"), r->radius);
        EXPECT_EQ(row.at("spokes"), r->spokes);
        EXPECT_EQ(row.at("hits"), r->hits);
        EXPECT_EQ(row.at("verdict"), r->ok ? "OK" : "NG");
    }
}

// The JSON value a CSV column names: "subpixel.a" is member a of "subpixel".
const json* JsonCell(const json& row, const std::string& column)
{
    const std::size_t dot = column.find('.');
    if (dot == std::string::npos)
        return row.contains(column) ? &row.at(column) : nullptr;
    const std::string object = column.substr(0, dot), member = column.substr(dot + 1);
    return row.contains(object) && row.at(object).contains(member)
               ? &row.at(object).at(member)
               : nullptr;
}

// Every CSV row says what the JSON row says.
void ExpectSameRows(const std::vector<std::vector<std::string>>& csv, const json& rows)
{
    ASSERT_EQ(csv.size(), rows.size() + 1);
    const std::vector<std::string>& header = csv[0];
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const json& row = rows[i];
        ASSERT_EQ(csv[i + 1].size(), header.size()) << "row " << i + 1;
        for (std::size_t k = 0; k < header.size(); ++k) {
            const std::string& cell = csv[i + 1][k];
            SCOPED_TRACE("row " + std::to_string(i + 1) + ", " + header[k] + " = " + cell);
            const json* found = JsonCell(row, header[k]);
            if (found == nullptr) {
                EXPECT_EQ(cell, "");
            } else if (const json& value = *found; value.is_array()) {
                EXPECT_EQ(CsvNumbers(cell), JsonNumbers(value));
            } else if (value.is_string()) {
                EXPECT_EQ(cell, value.get<std::string>());
            } else if (value.is_boolean()) {
                EXPECT_EQ(cell, value.get<bool>() ? "1" : "0");
            } else if (header[k] == "step") {
                EXPECT_EQ(cell, value == 0 ? "" : value.dump());
            } else {
                EXPECT_EQ(std::strtod(cell.c_str(), nullptr), value.get<double>());
            }
        }
    }
}

// The gauging recipe: a filter, then the gauges on its After, a threshold and
// a detection; its last step is a pattern search for a mark of pattern.png.
std::string GaugeRecipe()
{
    const SizedImage picture = LoadGray(kSamples / "pattern.png");
    std::vector<std::uint8_t> templ;
    for (int y = 100; y < 120; ++y)  // 24 x 20 from (100, 100), row after row
        for (int x = 100; x < 124; ++x)
            templ.push_back(picture.pixels[x][y]);
    return R"({"format":"graybench-recipe","version":1,"steps":[
 {"command":"filter","kind":"Median","mask":3,"roi":{"X1":0,"Y1":0,"X2":512,"Y2":480},
  "copyAfterToBefore":true},
 {"command":"straight","direction":"DOWN","gap":10,"strength":30,"angle":0,
  "roi":{"X1":60,"Y1":290,"X2":460,"Y2":370}},
 {"command":"circular","direction":"OUTWARD","gap":10,"strength":30,"startAngle":0,
  "endAngle":360,"insideRadius":30,"outsideRadius":90,"centre":{"x":150,"y":150}},
 {"command":"edge","lookFor":"All Edges","polarity":"All Edges","strength":30,
  "line":{"X1":100,"Y1":200,"X2":100,"Y2":400}},
 {"command":"threshold","mode":"Dark Objects","lower":100,"upper":255,"automatic":true},
 {"command":"detect","mode":"Dark Objects","lower":100,"upper":255,"automatic":false,
  "roi":{"X1":20,"Y1":20,"X2":490,"Y2":290}},
 {"command":"pattern","angle":0,"template":{"width":24,"height":20,"gray":")" +
           EncodeBase64(templ) + R"("}}]})";
}

// The three samples, the sample parts picture as a JPEG (a format whose
// reader is a plugin, loaded with no application object) and a text file.
fs::path MakePictures(const fs::path& dir)
{
    const fs::path pictures = dir / "in";
    fs::create_directories(pictures);
    for (const char* name : {"gauge.png", "parts.png", "pattern.png"})
        fs::copy_file(kSamples / name, pictures / name);
    std::ofstream(pictures / "notes.txt") << "a folder's other files are not pictures";
    WritePictureFile(ReadPictureFile(QString::fromStdString((kSamples / "parts.png").string())),
                     QString::fromStdString((pictures / "parts-jpeg.jpg").string()));
    return pictures;
}

}  // namespace

TEST(GraybenchBatch, PicturesAndNumbersAreRunRecipesOnAnyNumberOfJobs)
{
    const TempDir temp;
    const fs::path pictures = MakePictures(temp.path);
    const std::vector<std::string> names = {"gauge", "parts-jpeg", "parts", "pattern"};
    const std::pair<std::string, std::string> recipes[] = {
        {"inspect-parts", ReadTextFile(QString::fromStdString(
                              (kSamples / "inspect-parts.recipe.json").string()))},
        {"gauge", GaugeRecipe()}};
    for (const auto& [recipeName, text] : recipes) {
        SCOPED_TRACE(recipeName);
        const fs::path dir = temp.path / recipeName;
        fs::create_directories(dir);
        const fs::path recipeFile = dir / "recipe.json";
        WriteTextFile(QString::fromStdString(recipeFile.string()), text);
        const Recipe recipe = ParseRecipe(text);
        const int steps = static_cast<int>(recipe.steps.size());

        // One job and two, a folder and an unexpanded pattern: the same files.
        const Exit one = RunBatch({recipeFile, pictures, "--jobs", "1", "--steps", "--out",
                                   dir / "one", "--results", dir / "one.csv"}, dir);
        const Exit two = RunBatch({recipeFile, pictures / "*.*g",
                                   "--jobs", "2", "--steps", "--out", dir / "two",
                                   "--results", dir / "two.csv"}, dir);
        const Exit badJobs = RunBatch({"--results", dir / "rows.json", recipeFile,
                                    pictures.string() + "/", "--jobs=2"}, dir);
        ASSERT_EQ(one.status, 0) << one.stderrText;
        ASSERT_EQ(two.status, 0) << two.stderrText;
        EXPECT_EQ(badJobs.status, 2);  // "--jobs=2" is not how the option is given
        EXPECT_NE(badJobs.stderrText.find("unknown option \"--jobs=2\""), std::string::npos);
        const Exit rows = RunBatch({"--results", dir / "rows.json", recipeFile,
                                    pictures.string() + "/"}, dir);
        ASSERT_EQ(rows.status, 0) << rows.stderrText;
        EXPECT_NE(rows.stderrText.find("4 pictures: 4 done, 0 failed"), std::string::npos);

        EXPECT_EQ(FileBytes(dir / "one.csv"), FileBytes(dir / "two.csv"));
        std::size_t files = 0;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir / "one")) {
            ++files;
            EXPECT_EQ(FileBytes(entry.path()), FileBytes(dir / "two" / entry.path().filename()))
                << entry.path();
        }
        EXPECT_EQ(files, names.size() * (steps + 1));

        const json table = json::parse(FileBytes(dir / "rows.json"));
        ASSERT_EQ(table.size(), names.size() * steps);
        ExpectSameRows(ReadCsv(dir / "one.csv"), table);
        std::size_t listed = 0;  // the lists must be exercised, not empty everywhere
        for (const json& row : table)
            for (const char* list : {"objects", "matches", "edges"})
                listed += row.contains(list) && !row.at(list).empty();
        EXPECT_EQ(listed, recipeName == "gauge" ? 3 * names.size() : names.size() - 1);
        for (std::size_t p = 0; p < names.size(); ++p) {
            SCOPED_TRACE(names[p]);
            const fs::path source =
                pictures / (names[p] + (names[p] == "parts-jpeg" ? ".jpg" : ".png"));
            const SizedImage gray = LoadGray(source);
            const TraceSink silent;
            CommandWork work(&silent);
            const RecipeRun run =
                RunRecipe(recipe, gray.pixels, gray.width, gray.height, {}, &work);
            for (const std::string& written :
                 {names[p] + ".after.png", names[p] + ".step" + std::to_string(steps) + ".png"}) {
                const SizedImage after = LoadGray(dir / "one" / written);
                ASSERT_EQ(after.width, gray.width);
                ASSERT_EQ(after.height, gray.height);
                EXPECT_TRUE(SamePixels(after.pixels, run.after, gray.width, gray.height))
                    << written;
            }
            for (int s = 0; s < steps; ++s) {
                const json& row = table[p * steps + s];
                EXPECT_EQ(row.at("picture"), source.string());
                EXPECT_EQ(row.at("step"), s + 1);
                EXPECT_EQ(row.at("command"), CommandName(recipe.steps[s].command));
                EXPECT_EQ(row.at("status"), "ok");
                ExpectNumbers(row, run.results[s]);
            }
        }
    }
}

TEST(GraybenchBatch, DamagedPicturesAreErrorRowsAndTheOthersStillRun)
{
    const TempDir temp;
    const fs::path in = temp.path / "in";
    fs::create_directories(in);
    fs::copy_file(kSamples / "parts.png", in / "b-parts.png");
    std::ofstream(in / "a-text.png") << "not a picture";
    const std::string gauge = FileBytes(kSamples / "gauge.png");
    std::ofstream(in / "c-cut.png", std::ios::binary) << gauge.substr(0, gauge.size() / 2);
    const fs::path recipe = temp.path / "gauge.json";
    WriteTextFile(QString::fromStdString(recipe.string()), GaugeRecipe());

    const Exit exit = RunBatch({recipe, in, in / "e-missing.png", "--out", temp.path / "out",
                                "--results", temp.path / "rows.json", "--jobs", "2"},
                               temp.path);
    EXPECT_EQ(exit.status, 1);
    EXPECT_NE(exit.stderrText.find("4 pictures: 1 done, 3 failed"), std::string::npos)
        << exit.stderrText;
    const json rows = json::parse(FileBytes(temp.path / "rows.json"));
    std::map<std::string, std::vector<json>> byPicture;
    for (const json& row : rows)
        byPicture[fs::path(row.at("picture").get<std::string>()).filename()].push_back(row);
    ASSERT_EQ(byPicture["b-parts.png"].size(), 7u);
    for (const json& row : byPicture["b-parts.png"])
        EXPECT_EQ(row.at("status"), "ok");
    EXPECT_TRUE(fs::exists(temp.path / "out" / "b-parts.after.png"));
    for (const char* name : {"a-text.png", "c-cut.png", "e-missing.png"}) {
        ASSERT_EQ(byPicture[name].size(), 1u) << name;
        const json& row = byPicture[name][0];
        EXPECT_EQ(row.at("step"), 0);
        EXPECT_EQ(row.at("status"), "error");
        const std::string message = row.at("message");
        EXPECT_NE(message.find(name), std::string::npos) << message;
        const std::string line = "graybench-batch: " + (in / name).string() + ": " + message;
        EXPECT_NE(exit.stderrText.find(line + "\n"), std::string::npos)
            << exit.stderrText;
    }
}

// Names that are no UTF-8 text (Latin-1 bytes) are files like any other: each
// picture, the recipe and the results file are read or written by their own
// bytes, a missing one is still missing, and the rows keep the names' bytes.
TEST(GraybenchBatch, PicturesWhoseNamesAreNoTextAreReadAndWrittenByTheirBytes)
{
    const TempDir temp;
    const fs::path in = temp.path / "in", out = temp.path / "out";
    fs::create_directories(in);
    const std::string e9 = "p\xe9", e8 = "p\xe8";  // one text name for both: "p\uFFFD"
    fs::copy_file(kSamples / "parts.png", in / (e9 + ".png"));
    fs::copy_file(kSamples / "gauge.png", in / (e8 + ".png"));
    const fs::path recipe = temp.path / "r\xe9.json", results = temp.path / "r\xe9.csv";
    std::ofstream(recipe) << GaugeRecipe();

    const Exit exit = RunBatch({recipe, in, in / "q\xe9-missing.png", "--out", out, "--steps",
                                "--results", results, "--jobs", "2"},
                               temp.path);
    EXPECT_EQ(exit.status, 1);
    EXPECT_NE(exit.stderrText.find("3 pictures: 2 done, 1 failed"), std::string::npos)
        << exit.stderrText;
    EXPECT_NE(exit.stderrText.find("File not found"), std::string::npos) << exit.stderrText;
    // Each picture's After is its own: the two differ and match their sources' runs.
    const std::string afterE9 = FileBytes(out / (e9 + ".after.png"));
    const std::string afterE8 = FileBytes(out / (e8 + ".after.png"));
    EXPECT_FALSE(afterE9.empty());
    EXPECT_FALSE(afterE8.empty());
    EXPECT_NE(afterE9, afterE8);
    fs::copy_file(kSamples / "parts.png", in / "plain.png");
    fs::remove(in / (e9 + ".png"));
    fs::remove(in / (e8 + ".png"));
    const Exit plain = RunBatch({recipe, in / "plain.png", "--out", out}, temp.path);
    EXPECT_EQ(plain.status, 0) << plain.stderrText;
    EXPECT_EQ(FileBytes(out / "plain.after.png"), afterE9);
    // Nothing is left beside the outputs but the outputs.
    for (const auto& entry : fs::directory_iterator(out))
        EXPECT_NE(entry.path().filename().string().rfind(".graybench-", 0), 0u) << entry.path();
    const std::string rows = FileBytes(results);
    EXPECT_NE(rows.find(e9 + ".png"), std::string::npos);
    EXPECT_NE(rows.find(e8 + ".png"), std::string::npos);
}

TEST(GraybenchBatch, BadUsageExitsWith2AndNamesTheFault)
{
    const TempDir temp;
    const fs::path bad = temp.path / "bad.json";
    std::ofstream(bad) << R"({"format":"graybench-recipe","version":1,"steps":[{"command":"blur"}]})";
    const std::string recipe = (kSamples / "inspect-parts.recipe.json").string();
    const std::string picture = (kSamples / "parts.png").string();
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{bad, picture}, bad.string() + ": step 1: \"command\" must be one of"},
        {{(temp.path / "none.json").string(), picture}, (temp.path / "none.json").string()},
        {{recipe, picture, "--frobnicate"}, "unknown option \"--frobnicate\""},
        {{recipe, picture, "--jobs", "0"}, "--jobs must be a whole number from 1 to 1024, not \"0\""},
        {{recipe, picture, "--results", "rows.txt"}, "--results must name a .csv or .json file"},
        {{recipe}, "no picture given"},
        {{recipe, picture, "--steps"}, "--steps writes pictures, so it needs --out DIR"},
        {{recipe, picture, "--scheduler"}, "--scheduler needs a value"},
        {{recipe, picture, "--scheduler", ""}, "--scheduler needs an address"},
        {{recipe, picture, "--jobs", "2", "--scheduler", "tcp://127.0.0.1:8786"},
         "--jobs counts the workers of a local cluster"},
        // Usage is settled here, before any cluster is reached.
        {{bad, picture, "--scheduler", "tcp://127.0.0.1:1"}, bad.string() + ": step 1"},
        {{recipe, picture, (kSamples / "x" / "parts.png").string(), "--out", temp.path / "o"},
         "would write the same pictures in --out"},
    };
    for (const auto& c : cases) {
        const Exit exit = RunBatch(c.args, temp.path);
        EXPECT_EQ(exit.status, 2) << c.message;
        EXPECT_NE(exit.stderrText.find("graybench-batch: "), std::string::npos);
        EXPECT_NE(exit.stderrText.find(c.message), std::string::npos) << exit.stderrText;
    }
}

// No recipe file holds a step that refuses (the reader checks what it can), so
// the refusal is built here: a 3 x 3 template, which a search cannot use.
TEST(RunPicture, RefusedStepIsAnErrorRowAfterTheStepsThatRanAndWritesNoAfter)
{
    const TempDir temp;
    auto templ = std::make_shared<SizedImage>();
    templ->pixels = NewGrayImage(3, 3);
    templ->width = templ->height = 3;
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 3; ++y)
            templ->pixels[x][y] = static_cast<std::uint8_t>(40 * x + y);
    Recipe recipe;
    recipe.steps.push_back({FilterSettings{}, true});
    recipe.steps.push_back({PatternStep{PatternSettings{}, templ}, false});
    const std::string picture = (kSamples / "parts.png").string();
    const TraceSink silent;
    CommandWork work(&silent);
    for (const bool steps : {false, true}) {
        SCOPED_TRACE(steps ? "--steps" : "final only");
        const fs::path out = temp.path / (steps ? "steps" : "final");
        fs::create_directories(out);
        const PictureOutcome outcome = RunPicture(recipe, picture, {out.string(), steps}, work);
        ASSERT_EQ(outcome.rows.size(), 2u);
        EXPECT_TRUE(outcome.Failed());
        EXPECT_TRUE(outcome.rows[0].ok);
        EXPECT_EQ(outcome.rows[0].command, "filter");
        EXPECT_TRUE(outcome.rows[0].result.has_value());
        const BatchRow& refused = outcome.rows[1];
        EXPECT_FALSE(refused.ok);
        EXPECT_EQ(refused.step, 2);
        EXPECT_EQ(refused.command, "pattern");
        EXPECT_EQ(refused.message, "step 2 (pattern): The template is 3 x 3 pixels. A search "
                                   "with Angle 0 needs a template of at least 5 x 5 pixels.");
        EXPECT_FALSE(refused.result.has_value());
        // RunRecipe says the same.
        const SizedImage gray = LoadGray(picture);
        try {
            RunRecipe(recipe, gray.pixels, gray.width, gray.height, {}, &work);
            ADD_FAILURE() << "the recipe ran";
        } catch (const RecipeError& e) {
            EXPECT_EQ(refused.message, e.what());
        }
        EXPECT_FALSE(fs::exists(out / "parts.after.png"));
        EXPECT_EQ(fs::exists(out / "parts.step1.png"), steps);
        EXPECT_FALSE(fs::exists(out / "parts.step2.png"));
    }
}

// What graybench.distributed is handed: every option as given, the recipe after
// "--" (a name starting with '-' stays a name), the pictures on standard input.
TEST(ClusterArguments, CarryEveryOptionAndTheRecipeLast)
{
    const char* const argv[] = {"graybench-batch", "--steps", "-r.json", "a.png", "--out", "-o",
                                "--jobs", "3", "--results", "rows.json", "--scheduler", "local"};
    // "-r.json" looks like an option, so it is given after "--" on the real command line.
    const char* const named[] = {"graybench-batch", "--steps", "--out", "-o", "--jobs", "3",
                                 "--results", "rows.json", "--scheduler", "local", "--",
                                 "-r.json", "a.png"};
    EXPECT_THROW(ParseBatchOptions(std::size(argv), argv), UsageError);
    const BatchOptions options = ParseBatchOptions(std::size(named), named);
    EXPECT_EQ(options.scheduler, "local");
    EXPECT_EQ(ClusterArguments(options),
              (std::vector<std::string>{"-m", "graybench.distributed", "--scheduler", "local",
                                        "--out", "-o", "--steps", "--results", "rows.json",
                                        "--jobs", "3", "--pictures-from", "-", "--", "-r.json"}));

    const char* const plain[] = {"graybench-batch", "r.json", "a.png", "--scheduler",
                                 "tcp://10.0.0.5:8786"};
    EXPECT_EQ(ClusterArguments(ParseBatchOptions(std::size(plain), plain)),
              (std::vector<std::string>{"-m", "graybench.distributed", "--scheduler",
                                        "tcp://10.0.0.5:8786", "--pictures-from", "-", "--",
                                        "r.json"}));
    const char* const here[] = {"graybench-batch", "r.json", "a.png"};
    EXPECT_EQ(ParseBatchOptions(std::size(here), here).scheduler, "");
}

namespace {

std::vector<double> Doubles(const json& row, const char* name)
{
    return row.at(name).get<std::vector<double>>();
}

// The row's measured fields must be MeasureCommand's numbers, exactly.
void ExpectMeasures(const json& row, const CommandMeasures& measures)
{
    if (const auto* m = std::get_if<ThresholdMeasures>(&measures)) {
        EXPECT_EQ(row.at("upper"), m->upper);
        EXPECT_EQ(row.at("pixels"), m->region.pixels);
        EXPECT_EQ(row.at("above"), m->region.above);
        EXPECT_EQ(row.at("below"), m->region.below);
        EXPECT_EQ(row.at("mean").get<double>(), m->region.mean);
        EXPECT_EQ(row.at("deviation").get<double>(), m->region.deviation);
    } else if (const auto* m = std::get_if<DetectMeasures>(&measures)) {
        std::vector<double> x, y;
        for (const ObjectMeasure& o : m->objects) {
            x.push_back(o.centroid.x);
            y.push_back(o.centroid.y);
        }
        EXPECT_EQ(row.at("totalArea"), m->totalArea);
        EXPECT_EQ(Doubles(row, "centroidX"), x);
        EXPECT_EQ(Doubles(row, "centroidY"), y);
    } else if (const auto* m = std::get_if<EdgeMeasures>(&measures)) {
        std::vector<double> x, y, along;
        for (const EdgeMeasure& e : m->edges) {
            x.push_back(e.sub.x);
            y.push_back(e.sub.y);
            along.push_back(e.along);
        }
        EXPECT_EQ(Doubles(row, "subX"), x);
        EXPECT_EQ(Doubles(row, "subY"), y);
        EXPECT_EQ(Doubles(row, "along"), along);
        EXPECT_EQ(Doubles(row, "spacing"), m->spacing);
    } else if (const auto* m = std::get_if<StraightMeasures>(&measures)) {
        const auto expectFit = [](const json& at, const LineFit& fit) {
            EXPECT_EQ(at.at("angle").get<double>(), fit.angle);
            EXPECT_EQ(at.at("points"), fit.points);
            EXPECT_EQ(at.at("rms").get<double>(), fit.rms);
            EXPECT_EQ(at.at("worst").get<double>(), fit.worst);
        };
        EXPECT_EQ(row.contains("rms"), m->tool.ok);
        if (m->tool.ok)
            expectFit(row, m->tool);
        const json& sub = row.at("subpixel");
        ASSERT_EQ(sub.at("fitted"), m->subpixel.ok);
        if (m->subpixel.ok) {
            expectFit(sub, m->subpixel);
            EXPECT_EQ(sub.contains("c"), m->subpixel.vertical);
            if (m->subpixel.vertical) {
                EXPECT_EQ(sub.at("c").get<double>(), m->subpixel.c);
            } else {
                EXPECT_EQ(sub.at("a").get<double>(), m->subpixel.a);
                EXPECT_EQ(sub.at("b").get<double>(), m->subpixel.b);
            }
        }
    } else if (const auto* m = std::get_if<CircularMeasures>(&measures)) {
        ASSERT_EQ(row.contains("rms"), m->voted.ok);
        if (m->voted.ok) {
            EXPECT_EQ(row.at("rms").get<double>(), m->voted.rms);
            EXPECT_EQ(row.at("inliers"), m->voted.inliers);
        }
        ASSERT_EQ(row.contains("refined"), m->refined.ok);
        if (m->refined.ok) {
            const json& f = row.at("refined");
            EXPECT_EQ(f.at("centreX").get<double>(), m->refined.centre.x);
            EXPECT_EQ(f.at("centreY").get<double>(), m->refined.centre.y);
            EXPECT_EQ(f.at("radius").get<double>(), m->refined.radius);
            EXPECT_EQ(f.at("rms").get<double>(), m->refined.rms);
            EXPECT_EQ(f.at("inliers"), m->refined.inliers);
        }
    }
}

Recipe FirstSteps(const Recipe& recipe, std::size_t count)
{
    Recipe first = recipe;
    first.steps.resize(count);
    return first;
}

}  // namespace

TEST(GraybenchBatch, MeasuredFieldsAreMeasureCommandOnEachStepsBefore)
{
    const TempDir temp;
    const std::string texts[] = {
        ReadTextFile(QString::fromStdString((kSamples / "inspect-parts.recipe.json").string())),
        GaugeRecipe()};
    std::set<std::string> exercised;  // measured lists and fits seen non-empty
    for (std::size_t k = 0; k < std::size(texts); ++k) {
        SCOPED_TRACE(k == 0 ? "inspect-parts" : "gauge");
        const fs::path recipeFile = temp.path / ("recipe" + std::to_string(k) + ".json");
        WriteTextFile(QString::fromStdString(recipeFile.string()), texts[k]);
        const Recipe recipe = ParseRecipe(texts[k]);
        const char* names[] = {"gauge.png", "parts.png", "pattern.png"};
        std::vector<std::string> args = {recipeFile, "--results", temp.path / "rows.json"};
        for (const char* name : names)
            args.push_back(kSamples / name);
        const Exit exit = RunBatch(args, temp.path);
        ASSERT_EQ(exit.status, 0) << exit.stderrText;
        const json table = json::parse(FileBytes(temp.path / "rows.json"));
        ASSERT_EQ(table.size(), std::size(names) * recipe.steps.size());
        for (std::size_t p = 0; p < std::size(names); ++p) {
            const SizedImage gray = LoadGray(kSamples / names[p]);
            const int width = gray.width, height = gray.height;
            const TraceSink silent;
            CommandWork work(&silent);
            for (std::size_t s = 0; s < recipe.steps.size(); ++s) {
                SCOPED_TRACE(std::string(names[p]) + " step " + std::to_string(s + 1));
                // The step's Before is what the steps before it leave in Before.
                const RecipeRun before =
                    RunRecipe(FirstSteps(recipe, s), gray.pixels, width, height, {}, &work);
                const RecipeRun run =
                    RunRecipe(FirstSteps(recipe, s + 1), gray.pixels, width, height, {}, &work);
                const CommandSettings& settings = recipe.steps[s].command;
                const auto* detect = std::get_if<DetectSettings>(&settings);
                const CommandMeasures measures =
                    MeasureCommand(before.before, width, height, settings, run.results[s],
                                   detect ? detect->roi : Corners{0, 0, width, height});
                const std::string_view command = CommandName(settings);
                const bool measuring = command == "edge" || command == "straight" ||
                                       command == "circular" || command == "detect" ||
                                       command == "threshold";
                EXPECT_EQ(std::holds_alternative<std::monostate>(measures), !measuring);
                const json& row = table[p * recipe.steps.size() + s];
                ExpectMeasures(row, measures);
                for (const char* name : {"subX", "spacing", "centroidX", "subpixel", "refined"})
                    if (const json* v = JsonCell(row, name);
                        v && !v->empty() && (!v->is_object() || v->value("fitted", true)))
                        exercised.insert(name);
            }
        }
    }
    EXPECT_EQ(exercised, (std::set<std::string>{"subX", "spacing", "centroidX", "subpixel",
                                                "refined"}));
}

namespace {

// The names a table uses: its columns and its summary.
std::set<std::string> TableNames(const ResultsTable& table)
{
    std::set<std::string> names(table.columns.begin(), table.columns.end());
    for (const ResultField& field : table.summary)
        names.insert(field.name);
    return names;
}

// The names a results row uses for its numbers, those inside its lists of
// objects and its object members included.
std::set<std::string> RowNames(const json& row)
{
    std::set<std::string> names;
    for (const auto& [name, value] : row.items()) {
        if (name == "picture" || name == "step" || name == "command" || name == "status" ||
            name == "message")
            continue;
        names.insert(name);
        const auto members = [&](const json& object) {
            if (object.is_object())
                for (const auto& [member, unused] : object.items())
                    names.insert(member);
        };
        members(value);
        if (value.is_array())
            for (const json& item : value)
                members(item);
    }
    return names;
}

template <class Set>
Set Without(Set set, const Set& left)
{
    for (const auto& name : left)
        set.erase(name);
    return set;
}

}  // namespace

TEST(ResultsFile, NamesTheQuantitiesAsTheExportedTableDoes)
{
    // Each command with every measure present; a straight and a sub-pixel
    // line vertical in the second case, since a vertical line has c, not a and b.
    EdgeResult edge;
    edge.count = 2;
    edge.marks = {EdgeMark{3, 4, 1, 90, 0}, EdgeMark{8, 4, -1, 70, 5}};
    EdgeMeasures edgeMeasures;
    edgeMeasures.edges = {EdgeMeasure{1, 3, 4, {3.25, 4}, 3.25, 1, 90},
                          EdgeMeasure{2, 8, 4, {7.5, 4}, 7.5, -1, 70}};
    edgeMeasures.spacing = {4.25};
    StraightResult line;
    line.fitted = true;
    line.a = 0.5f;
    StraightResult upright = line;
    upright.a = 10000.0f;
    StraightMeasures lineMeasures;
    lineMeasures.tool = {true, false, 0.5, 2, 0, 26.5, 9, 0.25, 0.5};
    lineMeasures.subpixel = {true, false, 0.5, 2.25, 0, 26.6, 9, 0.125, 0.25};
    StraightMeasures uprightMeasures = lineMeasures;
    uprightMeasures.tool.vertical = uprightMeasures.subpixel.vertical = true;
    CircularResult circle;
    circle.ok = true;
    CircularMeasures circleMeasures;
    circleMeasures.voted = {true, {40, 50}, 20, 0.5, 30};
    circleMeasures.refined = {true, {40.25, 50.5}, 20.25, 0.25, 31};
    circleMeasures.ok = true;
    DetectResult detect;
    detect.objects = {DetectedObject{1, 2, 5, 6, 20}};
    DetectMeasures detectMeasures;
    detectMeasures.objects = {ObjectMeasure{1, detect.objects[0], {3, 4}}};
    detectMeasures.totalArea = 20;
    ThresholdMeasures thresholdMeasures;
    thresholdMeasures.region = {12, 5, 7, 100.5, 3.25};

    struct Case {
        CommandSettings settings;
        CommandResult result;
        CommandMeasures measures;
    };
    const std::vector<Case> cases = {
        {EdgeSettings{}, edge, edgeMeasures},
        {StraightSettings{}, line, lineMeasures},
        {StraightSettings{}, upright, uprightMeasures},
        {CircularSettings{}, circle, circleMeasures},
        {DetectSettings{}, detect, detectMeasures},
        {ThresholdSettings{}, ThresholdResult{}, thresholdMeasures}};
    // The pane alone numbers its rows and labels a second row (line: tool or
    // subpixel; circle: voted or refined); the file alone names its lists and
    // holds the second row as an object named by that label.
    const std::set<std::string> tableOnly = {"index", "line", "circle"};
    const std::set<std::string> fileOnly = {"edges", "objects", "subpixel", "refined"};
    std::map<std::string, std::set<std::string>> table, file;
    PictureOutcome outcome;
    for (const Case& c : cases) {
        const std::string command(CommandName(c.settings));
        const std::set<std::string> names =
            TableNames(MakeResultsTable(c.settings, c.result, c.measures));
        table[command].insert(names.begin(), names.end());
        BatchRow row;
        row.picture = "a.png";
        row.step = 1;
        row.command = command;
        row.result = c.result;
        row.measures = c.measures;
        outcome.rows.push_back(std::move(row));
    }
    const std::vector<std::string> objects = ResultsJsonObjects(outcome);
    ASSERT_EQ(objects.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::set<std::string> names = RowNames(json::parse(objects[i]));
        file[outcome.rows[i].command].insert(names.begin(), names.end());
    }
    for (const auto& [command, names] : table) {
        SCOPED_TRACE(command);
        EXPECT_EQ(Without(names, tableOnly), Without(file[command], fileOnly));
    }
    EXPECT_EQ(table.size(), 5u);
    // The CSV header names every number of a row outside the lists, "row.column" an object's.
    std::string header = ResultsCsvHeader();
    header.back() = ',';
    std::set<std::string> columns;
    for (std::size_t at = 0, comma; (comma = header.find(',', at)) != std::string::npos;
         at = comma + 1)
        columns.insert(header.substr(at, comma - at));
    for (const std::string& object : objects) {
        const json row = json::parse(object);
        for (const auto& [name, value] : row.items()) {
            if (value.is_object()) {
                for (const auto& [member, unused] : value.items())
                    EXPECT_TRUE(columns.contains(name + "." + member)) << name << "." << member;
            } else {
                EXPECT_TRUE(columns.contains(name)) << name;
            }
        }
    }
}
