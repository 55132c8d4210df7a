// tests/ResultsTableTest.cpp: every command's table on constructed results and
// measures, the calibrated columns, the pane's filters, and the CSV and JSON
// writers read back cell for cell.
#include "Recipe.h"
#include "ResultsTable.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <random>

namespace {

using Row = std::vector<ResultCell>;
const ResultCell kEmpty{};
ResultCell N(double v) { return {v, -1}; }
ResultCell T(const char* text) { return {std::string(text), -1}; }

// The cell of row r under the column named name; fails loudly on a missing column.
ResultCell At(const ResultsTable& t, std::size_t r, const char* name)
{
    const int c = t.Column(name);
    EXPECT_GE(c, 0) << name;
    EXPECT_LT(r, t.rows.size()) << name;
    if (c < 0 || r >= t.rows.size())
        return {};
    ResultCell cell = t.rows[r][static_cast<std::size_t>(c)];
    cell.decimals = -1;  // the value is compared; the shown text has its own test
    return cell;
}

const Calibration kMm{0.05, "mm"};

Row Values(Row row)
{
    for (ResultCell& cell : row)
        cell.decimals = -1;
    return row;
}

}  // namespace

TEST(MakeResultsTable, FindEdgeListsEveryMarkWithItsSubPixelPlaceAndSpacing)
{
    EdgeResult r;
    r.count = 3;
    r.marks = {{10, 20, 1, 80, 0}, {14, 20, -1, 60, 0}, {30, 21, 1, 90, 0}};
    EdgeMeasures m;
    m.edges = {{1, 10, 20, {10.25, 20.0}, 10.25, 1, 80},
               {2, 14, 20, {13.5, 20.0}, 13.5, -1, 60},
               {3, 30, 21, {30.75, 21.0}, 30.8, 1, 90}};
    m.spacing = {3.25, 17.3};
    const ResultsTable t = MakeResultsTable(EdgeSettings{}, r, m, kMm);
    EXPECT_EQ(t.title, "Find Edge");
    EXPECT_EQ(t.columns, (std::vector<std::string>{
                             "index", "x", "x_mm", "y", "y_mm", "subX", "subX_mm", "subY",
                             "subY_mm", "along", "along_mm", "spacing", "spacing_mm", "polarity",
                             "strength"}));
    ASSERT_EQ(t.rows.size(), 3u);
    EXPECT_EQ(At(t, 1, "index"), N(2));
    EXPECT_EQ(At(t, 1, "x"), N(14));
    EXPECT_EQ(At(t, 1, "x_mm"), N(14 * 0.05));
    EXPECT_EQ(At(t, 1, "subX"), N(13.5));
    EXPECT_EQ(At(t, 1, "subX_mm"), N(13.5 * 0.05));
    EXPECT_EQ(At(t, 1, "polarity"), N(-1));
    EXPECT_EQ(At(t, 1, "strength"), N(60));
    EXPECT_EQ(At(t, 0, "spacing"), N(3.25));
    EXPECT_EQ(At(t, 2, "spacing"), kEmpty);  // no edge after the last
    EXPECT_EQ(At(t, 2, "spacing_mm"), kEmpty);
    EXPECT_EQ(t.summary, (std::vector<ResultField>{{"edgeCount", N(3)}}));

    // Before the measures arrive the tool's own numbers still fill their columns.
    const ResultsTable bare = MakeResultsTable(EdgeSettings{}, r, std::monostate{});
    EXPECT_EQ(bare.Column("x_mm"), -1);
    EXPECT_EQ(At(bare, 2, "x"), N(30));
    EXPECT_EQ(At(bare, 2, "subX"), kEmpty);
    EXPECT_EQ(At(bare, 2, "along"), kEmpty);
}

TEST(MakeResultsTable, GaugesGiveTheToolsNumbersAndTheFits)
{
    StraightResult s;
    s.fitted = true, s.a = 0.5f, s.b = 10.25f, s.run.count = 6, s.scanLines = 9, s.hits = 8;
    StraightMeasures sm;
    sm.tool = {true, false, 0.5, 10.25, 0, 26.565, 7, 0.25, 0.5};
    sm.subpixel = {true, true, 0, 0, 42.125, 90, 8, 0.125, 0.375};
    const ResultsTable st = MakeResultsTable(StraightSettings{}, s, sm, kMm);
    ASSERT_EQ(st.rows.size(), 2u);
    EXPECT_EQ(At(st, 0, "line"), T("tool"));
    EXPECT_EQ(At(st, 0, "a"), N(0.5));
    EXPECT_EQ(At(st, 0, "b_mm"), N(10.25 * 0.05));
    EXPECT_EQ(At(st, 0, "c"), kEmpty);
    EXPECT_EQ(At(st, 0, "points"), N(7));
    EXPECT_EQ(At(st, 0, "runCount"), N(6));
    EXPECT_EQ(At(st, 1, "a"), kEmpty);  // vertical: x = c
    EXPECT_EQ(At(st, 1, "c"), N(42.125));
    EXPECT_EQ(At(st, 1, "worst_mm"), N(0.375 * 0.05));
    EXPECT_EQ(At(st, 1, "angle"), N(90));

    StraightResult vertical;
    vertical.fitted = true, vertical.a = 10000.0f, vertical.b = 77.0f;
    const ResultsTable vt = MakeResultsTable(StraightSettings{}, vertical, std::monostate{});
    ASSERT_EQ(vt.rows.size(), 1u);
    EXPECT_EQ(At(vt, 0, "a"), kEmpty);
    EXPECT_EQ(At(vt, 0, "c"), N(77));
    EXPECT_EQ(At(vt, 0, "rms"), kEmpty);

    CircularResult c;
    c.votes = 31, c.ok = true, c.centreX = 200, c.centreY = 150, c.radius = 80;
    c.spokes = 36, c.hits = 33;
    CircularMeasures cm;
    cm.voted = {true, {200, 150}, 80, 0.75, 33};
    cm.refined = {true, {200.25, 149.5}, 80.5, 0.125, 30};
    cm.ok = true;
    const ResultsTable ct = MakeResultsTable(CircularSettings{}, c, cm, kMm);
    ASSERT_EQ(ct.rows.size(), 2u);
    EXPECT_EQ(Values(ct.rows[0]),
              (Row{T("voted"), N(200), N(200 * 0.05), N(150), N(150 * 0.05), N(80), N(80 * 0.05),
                   N(31), N(36), N(33), N(0.75), N(0.75 * 0.05), N(33), T("OK")}));
    EXPECT_EQ(At(ct, 1, "centreX_mm"), N(200.25 * 0.05));
    EXPECT_EQ(At(ct, 1, "radius"), N(80.5));
    EXPECT_EQ(At(ct, 1, "inliers"), N(30));
    EXPECT_EQ(At(ct, 1, "votes"), kEmpty);
    c.ok = false;
    EXPECT_EQ(At(MakeResultsTable(CircularSettings{}, c, std::monostate{}), 0, "verdict"), T("NG"));
}

TEST(MakeResultsTable, DetectGivesObjectsTotalsAndAreasInSquareUnits)
{
    DetectResult r;
    r.threshold = 90;
    r.objects = {{5, 6, 9, 12, 30}, {40, 2, 44, 3, 7}, {20, 30, 29, 41, 101}};
    DetectMeasures m;
    m.objects = {{1, r.objects[0], {7.0, 9.5}}, {2, r.objects[1], {42.0, 2.5}},
                 {3, r.objects[2], {24.5, 35.25}}};
    m.totalArea = 138;
    const ResultsTable t = MakeResultsTable(DetectSettings{}, r, m, kMm);
    ASSERT_EQ(t.rows.size(), 3u);
    EXPECT_EQ(At(t, 2, "area"), N(101));
    EXPECT_EQ(At(t, 2, "area_mm2"), N(101 * (0.05 * 0.05)));
    EXPECT_EQ(At(t, 2, "maxY_mm"), N(41 * 0.05));
    EXPECT_EQ(At(t, 2, "centroidY"), N(35.25));
    EXPECT_EQ(t.summary, (std::vector<ResultField>{{"threshold", N(90)},
                                                   {"objectCount", N(3)},
                                                   {"totalArea", N(138)},
                                                   {"totalArea_mm2", N(138 * (0.05 * 0.05))}}));

    // The filter keeps objects of at least 30 pixels; the totals stay the tool's.
    const ResultsTable shown = FilterResults(t, 30, 0.99);
    ASSERT_EQ(shown.rows.size(), 2u);
    EXPECT_EQ(At(shown, 0, "index"), N(1));
    EXPECT_EQ(At(shown, 1, "index"), N(3));
    EXPECT_EQ(shown.summary, t.summary);
    EXPECT_EQ(FilterResults(t, 0, 0.99), t);
}

TEST(MakeResultsTable, PatternRowsGoByScoreDescendingAndTheMinimumFilters)
{
    PatternResult r;
    r.rows = {{1, 2, 51, 48, 0, 0.5f}, {10, 20, 60, 66, 10, 0.97f}, {3, 4, 53, 50, 5, 0.5f},
              {7, 8, 57, 54, 0, 0.99996f}};
    const ResultsTable t = MakeResultsTable(PatternStep{}, r, std::monostate{});
    ASSERT_EQ(t.rows.size(), 4u);
    std::vector<double> index;
    for (std::size_t i = 0; i < 4; ++i)
        index.push_back(At(t, i, "index").Number());
    EXPECT_EQ(index, (std::vector<double>{4, 2, 1, 3}));  // equal scores keep the tool's order
    EXPECT_EQ(At(t, 1, "x1"), N(10));
    EXPECT_EQ(At(t, 1, "score"), N(static_cast<double>(0.97f)));
    EXPECT_EQ(CellText(t.rows[0][static_cast<std::size_t>(t.Column("score"))]), "1.0000");  // 0.99996 rounds up
    EXPECT_EQ(CellText(t.rows[1][static_cast<std::size_t>(t.Column("score"))]), "0.9700");

    const ResultsTable shown = FilterResults(t, 1000000, 0.9);  // the area minimum plays no part
    ASSERT_EQ(shown.rows.size(), 2u);
    EXPECT_EQ(At(shown, 1, "index"), N(2));
    EXPECT_TRUE(FilterResults(t, 0, 1.0).rows.empty());
}

TEST(MakeResultsTable, ThresholdAndImageCommandsNameWhatRanAndWhere)
{
    ThresholdResult th;
    th.threshold = 100, th.upper = 100;
    ThresholdMeasures tm{100, 100, {600, 250, 350, 97.5, 12.25}};
    const ResultsTable t = MakeResultsTable(ThresholdSettings{}, th, tm, kMm);
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(At(t, 0, "threshold"), N(100));
    EXPECT_EQ(At(t, 0, "above"), N(250));
    EXPECT_EQ(At(t, 0, "above_mm2"), N(250 * (0.05 * 0.05)));
    EXPECT_EQ(At(t, 0, "deviation"), N(12.25));
    EXPECT_EQ(At(MakeResultsTable(ThresholdSettings{}, th, std::monostate{}), 0, "mean"), kEmpty);

    FilterResult f;
    f.region = {30, 40, 299, 259};
    const ResultsTable ft = MakeResultsTable(FilterSettings{kSobel, 3, {}}, f, std::monostate{});
    EXPECT_EQ(ft.title, "Sobel");
    EXPECT_EQ(ft.rows, (std::vector<Row>{{T("Sobel"), T("region of interest"), N(30), N(40),
                                          N(299), N(259)}}));
    const ResultsTable mt =
        MakeResultsTable(MorphologySettings{kOpening}, MorphologyResult{}, std::monostate{});
    EXPECT_EQ(mt.rows, (std::vector<Row>{{T("Opening"), T("whole image"), kEmpty, kEmpty, kEmpty,
                                          kEmpty}}));
    EXPECT_EQ(MakeResultsTable(BrightnessSettings{}, BrightnessResult{}, std::monostate{}).rows[0][0],
              T("Brightness"));

    const auto refused = NotRun<PatternResult>(Outcome::Refused, "no template");
    const ResultsTable none = MakeResultsTable(PatternStep{}, refused, std::monostate{});
    EXPECT_EQ(none.title, "Find Pattern");
    EXPECT_TRUE(none.rows.empty());
}

TEST(CellText, WholeNumbersWholeOthersBySignificantDigitsOrDecimals)
{
    const std::pair<ResultCell, std::string> cases[] = {
        {N(1234), "1234"},          {N(-1), "-1"},           {N(0.1 + 0.2), "0.3"},
        {N(123.456789), "123.457"}, {{2.5, 3}, "2.500"},     {{0.99995, 4}, "1.0000"},
        {kEmpty, ""},               {T("OK"), "OK"},         {N(1e20), "1e+20"},
        {N(NAN), "nan"},
    };
    for (const auto& [cell, text] : cases)
        EXPECT_EQ(CellText(cell), text);
}

namespace {

// Fields of one CSV line, quotes undone.
std::vector<std::vector<std::string>> ParseCsv(const std::string& text)
{
    std::vector<std::vector<std::string>> lines(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                lines.back().back() += '"', ++i;
            else if (c == '"')
                quoted = false;
            else
                lines.back().back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            lines.back().emplace_back();
        } else if (c == '\n') {
            lines.emplace_back(1);
        } else {
            lines.back().back() += c;
        }
    }
    lines.pop_back();  // after the last line break
    return lines;
}

bool SameDouble(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

ResultsTable RandomTable(std::mt19937_64& rng)
{
    ResultsTable t{"Random, \"table\"", "detect", {}, {}, {{"objectCount", N(3)}}};
    const int columns = 1 + static_cast<int>(rng() % 6), rows = static_cast<int>(rng() % 5);
    for (int c = 0; c < columns; ++c) {
        std::string name = c % 3 == 0 ? "x,\"" : "c";  // some names need quotes
        name += std::to_string(c);
        t.columns.push_back(std::move(name));
    }
    static const char* kTexts[] = {"OK", "a,b", "say \"hi\"", "two\nlines", "", "µm"};
    for (int r = 0; r < rows; ++r) {
        Row row;
        for (int c = 0; c < columns; ++c) {
            switch (rng() % 5) {
            case 0: row.push_back(kEmpty); break;
            case 1: row.push_back(T(kTexts[rng() % 6])); break;
            case 2: row.push_back(N(static_cast<double>(static_cast<std::int32_t>(rng())))); break;
            default: {  // any finite double, tiny and huge included
                double v;
                do {
                    const std::uint64_t bits = rng();
                    std::memcpy(&v, &bits, sizeof v);
                } while (!std::isfinite(v));
                row.push_back(N(v));
            }
            }
        }
        t.rows.push_back(std::move(row));
    }
    return t;
}

std::vector<ResultsTable> TablesToWrite()
{
    std::vector<ResultsTable> tables;
    DetectResult d;
    d.objects = {{5, 6, 9, 12, 30}, {40, 2, 44, 3, 7}};
    tables.push_back(MakeResultsTable(DetectSettings{}, d, std::monostate{}, {0.0123, "µm"}));
    PatternResult p;
    p.rows = {{1.5f, 2.25f, 51, 48, 3.3f, 0.912345f}};
    tables.push_back(MakeResultsTable(PatternStep{}, p, std::monostate{}, kMm));
    std::mt19937_64 rng(4242);  // fixed seed: a failure reproduces
    for (int round = 0; round < 200; ++round)
        tables.push_back(RandomTable(rng));
    return tables;
}

}  // namespace

TEST(WriteResultsCsv, ReadsBackCellForCell)
{
    int table = 0;
    for (const ResultsTable& t : TablesToWrite()) {
        const auto lines = ParseCsv(WriteResultsCsv(t));
        ASSERT_EQ(lines.size(), t.rows.size() + 1) << "table " << table;
        EXPECT_EQ(lines[0], t.columns) << "table " << table;
        for (std::size_t r = 0; r < t.rows.size(); ++r) {
            ASSERT_EQ(lines[r + 1].size(), t.columns.size()) << "table " << table << " row " << r;
            for (std::size_t c = 0; c < t.columns.size(); ++c) {
                const ResultCell& cell = t.rows[r][c];
                const std::string& text = lines[r + 1][c];
                if (cell.IsNumber())
                    EXPECT_TRUE(SameDouble(std::strtod(text.c_str(), nullptr), cell.Number()))
                        << "table " << table << " " << text;
                else
                    EXPECT_EQ(text, CellText(cell)) << "table " << table;
            }
        }
        ++table;
    }
}

TEST(WriteResultsJson, ReadsBackCellForCell)
{
    int table = 0;
    for (const ResultsTable& t : TablesToWrite()) {
        const auto doc = nlohmann::json::parse(WriteResultsJson(t));
        EXPECT_EQ(doc.at("title"), t.title);
        EXPECT_EQ(doc.at("command"), t.command);
        EXPECT_EQ(doc.at("columns").get<std::vector<std::string>>(), t.columns);
        for (const ResultField& f : t.summary)
            EXPECT_TRUE(SameDouble(doc.at("summary").at(f.name).get<double>(), f.cell.Number()));
        const auto& rows = doc.at("rows");
        ASSERT_EQ(rows.size(), t.rows.size()) << "table " << table;
        for (std::size_t r = 0; r < t.rows.size(); ++r)
            for (std::size_t c = 0; c < t.columns.size(); ++c) {
                const ResultCell& cell = t.rows[r][c];
                const auto& v = rows[r].at(c);
                if (cell.IsNumber())
                    EXPECT_TRUE(v.is_number() && SameDouble(v.get<double>(), cell.Number()))
                        << "table " << table << " " << v.dump();
                else if (cell.value.index() == 0)
                    EXPECT_TRUE(v.is_null());
                else
                    EXPECT_EQ(v.get<std::string>(), CellText(cell));
            }
        ++table;
    }
    ResultsTable infinite{"t", "edge", {"x"}, {{N(INFINITY)}}, {}};
    EXPECT_TRUE(nlohmann::json::parse(WriteResultsJson(infinite)).at("rows")[0][0].is_null());
}

TEST(RecipeCalibration, IsWrittenWhenSetAndReadBack)
{
    Recipe recipe;
    recipe.steps.push_back({ThresholdSettings{}, false});
    EXPECT_EQ(WriteRecipe(recipe).find("calibration"), std::string::npos);
    EXPECT_FALSE(ParseRecipe(WriteRecipe(recipe)).calibration.IsSet());
    recipe.calibration = {0.1 + 0.2, "µm"};  // a double that needs all 17 digits
    const std::string text = WriteRecipe(recipe);
    EXPECT_NE(text.find("\"calibration\""), std::string::npos);
    EXPECT_EQ(ParseRecipe(text), recipe);

    const std::string head = R"({"format": "graybench-recipe", "version": 1, "steps": [], )";
    EXPECT_EQ(ParseRecipe(head + R"("calibration": {"unitsPerPixel": 0.05, "unit": "mm"}})")
                  .calibration,
              (Calibration{0.05, "mm"}));
    const std::pair<const char*, const char*> bad[] = {
        {R"("calibration": 5})",
         R"("calibration" must be an object with "unitsPerPixel" and "unit", not 5)"},
        {R"("calibration": {"unitsPerPixel": 0, "unit": "mm"}})",
         R"("calibration.unitsPerPixel" must be a number above 0, not 0)"},
        {R"("calibration": {"unitsPerPixel": "1", "unit": "mm"}})",
         R"("calibration.unitsPerPixel" must be a number above 0, not "1")"},
        {R"("calibration": {"unitsPerPixel": 1, "unit": ""}})",
         R"("calibration.unit" must be a text of 1 to 16 characters and no control character, not "")"},
        {R"("calibration": {"unitsPerPixel": 1}})", R"("calibration.unit" is missing)"},
        {R"("calibration": {"unitsPerPixel": 1, "unit": "mm", "offset": 2}})",
         R"(unknown setting "calibration.offset")"},
    };
    for (const auto& [tail, message] : bad) {
        try {
            ParseRecipe(head + tail);
            ADD_FAILURE() << tail;
        } catch (const RecipeError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
}
