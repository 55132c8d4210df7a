// commands/ResultsTable.cpp
#include "ResultsTable.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

template <class... F>
struct Overloaded : F... {
    using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

// How a column's numbers turn into the calibrated unit.
enum class Scale { None, Length, Area };

ResultCell Num(double v, int decimals = -1) { return {v, decimals}; }
ResultCell Text(std::string text) { return {std::move(text), -1}; }
const ResultCell kNone{};

// Collects columns and rows in pixels, then adds each calibrated column right
// after its pixel column, so every command states its columns once.
class Builder {
public:
    explicit Builder(ResultsTable& table) : table_(table) {}
    void Column(std::string name, Scale scale = Scale::None, int decimals = -1)
    {
        table_.columns.push_back(std::move(name));
        scales_.push_back(scale);
        decimals_.push_back(decimals);
    }
    // Cells in column order; a number takes its column's decimals.
    void Row(std::vector<ResultCell> cells)
    {
        cells.resize(table_.columns.size());
        for (std::size_t c = 0; c < cells.size(); ++c)
            if (cells[c].IsNumber() && cells[c].decimals < 0)
                cells[c].decimals = decimals_[c];
        table_.rows.push_back(std::move(cells));
    }
    void Summary(std::string name, ResultCell cell, Scale scale = Scale::None)
    {
        summaryScales_.push_back(scale);
        table_.summary.push_back({std::move(name), std::move(cell)});
    }
    void Calibrate(const Calibration& calibration)
    {
        if (!calibration.IsSet())
            return;
        const double s = calibration.unitsPerPixel;
        const auto scaled = [&](const ResultCell& cell, Scale scale) {
            return cell.IsNumber() ? Num(cell.Number() * (scale == Scale::Area ? s * s : s))
                                   : kNone;
        };
        const auto named = [&](const std::string& name, Scale scale) {
            return name + "_" + calibration.unit + (scale == Scale::Area ? "2" : "");
        };
        std::vector<std::string> columns;
        std::vector<std::vector<ResultCell>> rows(table_.rows.size());
        for (std::size_t c = 0; c < table_.columns.size(); ++c) {
            columns.push_back(table_.columns[c]);
            for (std::size_t r = 0; r < rows.size(); ++r)
                rows[r].push_back(table_.rows[r][c]);
            if (scales_[c] == Scale::None)
                continue;
            columns.push_back(named(table_.columns[c], scales_[c]));
            for (std::size_t r = 0; r < rows.size(); ++r)
                rows[r].push_back(scaled(table_.rows[r][c], scales_[c]));
        }
        table_.columns = std::move(columns);
        table_.rows = std::move(rows);
        std::vector<ResultField> summary;
        for (std::size_t i = 0; i < table_.summary.size(); ++i) {
            summary.push_back(table_.summary[i]);
            if (summaryScales_[i] != Scale::None)
                summary.push_back({named(table_.summary[i].name, summaryScales_[i]),
                                   scaled(table_.summary[i].cell, summaryScales_[i])});
        }
        table_.summary = std::move(summary);
    }

private:
    ResultsTable& table_;
    std::vector<Scale> scales_;
    std::vector<int> decimals_;
    std::vector<Scale> summaryScales_;
};

template <class T>
const T* MeasuresOf(const CommandMeasures& measures)
{
    return std::get_if<T>(&measures);
}

// ---- one function a command ----

void EdgeTable(Builder& b, const EdgeResult& r, const EdgeMeasures* m)
{
    b.Column("index");
    b.Column("x", Scale::Length);
    b.Column("y", Scale::Length);
    b.Column("subX", Scale::Length, 3);
    b.Column("subY", Scale::Length, 3);
    b.Column("along", Scale::Length, 3);
    b.Column("spacing", Scale::Length, 3);  // along the line to the next edge
    b.Column("polarity");
    b.Column("strength");
    for (std::size_t i = 0; i < r.marks.size(); ++i) {
        const EdgeMark& e = r.marks[i];
        const EdgeMeasure* sub = m != nullptr && i < m->edges.size() ? &m->edges[i] : nullptr;
        const bool spaced = m != nullptr && i < m->spacing.size();
        b.Row({Num(static_cast<double>(i + 1)), Num(e.x), Num(e.y),
               sub ? Num(sub->sub.x) : kNone, sub ? Num(sub->sub.y) : kNone,
               sub ? Num(sub->along) : kNone, spaced ? Num(m->spacing[i]) : kNone,
               Num(e.polarity), Num(e.strength)});
    }
    b.Summary("edgeCount", Num(r.count));
}

// a = 10000 is how the tool says x = b.
constexpr float kVerticalSlope = 10000.0f;

// One line's cells; a vertical line gives x = c, with c passed as b.
std::vector<ResultCell> LineCells(const char* name, bool fitted, const LineFit* fit, double a,
                                  double b, bool vertical)
{
    const auto measured = [&](double v) { return fit != nullptr && fit->ok ? Num(v) : kNone; };
    return {Text(name),
            Num(fitted ? 1 : 0),
            fitted && !vertical ? Num(a) : kNone,
            fitted && !vertical ? Num(b) : kNone,
            fitted && vertical ? Num(b) : kNone,
            measured(fit ? fit->angle : 0),
            measured(fit ? fit->points : 0),
            measured(fit ? fit->rms : 0),
            measured(fit ? fit->worst : 0)};
}

void StraightTable(Builder& b, const StraightResult& r, const StraightMeasures* m)
{
    b.Column("line");
    b.Column("fitted");
    b.Column("a");
    b.Column("b", Scale::Length);
    b.Column("c", Scale::Length);  // x = c for a vertical line
    b.Column("angle", Scale::None, 3);
    b.Column("points");
    b.Column("rms", Scale::Length, 3);
    b.Column("worst", Scale::Length, 3);
    b.Column("runCount");
    std::vector<ResultCell> tool =
        LineCells("tool", r.fitted, m ? &m->tool : nullptr, r.a, r.b, r.a == kVerticalSlope);
    tool.push_back(Num(r.run.count));
    b.Row(std::move(tool));
    if (m != nullptr) {
        const LineFit& s = m->subpixel;
        b.Row(LineCells("subpixel", s.ok, &s, s.a, s.vertical ? s.c : s.b, s.vertical));
    }
    b.Summary("scanLines", Num(r.scanLines));
    b.Summary("hits", Num(r.hits));
}

void CircularTable(Builder& b, const CircularResult& r, const CircularMeasures* m)
{
    b.Column("circle");
    b.Column("centreX", Scale::Length);
    b.Column("centreY", Scale::Length);
    b.Column("radius", Scale::Length);
    b.Column("votes");
    b.Column("spokes");
    b.Column("hits");
    b.Column("rms", Scale::Length, 3);
    b.Column("inliers");
    b.Column("verdict");
    const CircleFit* voted = m != nullptr && m->voted.ok ? &m->voted : nullptr;
    b.Row({Text("voted"), Num(static_cast<double>(r.centreX)), Num(static_cast<double>(r.centreY)),
           Num(static_cast<double>(r.radius)), Num(r.votes), Num(r.spokes), Num(r.hits),
           voted ? Num(voted->rms) : kNone, voted ? Num(voted->inliers) : kNone,
           Text(r.ok ? "OK" : "NG")});
    if (m != nullptr && m->refined.ok) {
        const CircleFit& f = m->refined;
        b.Row({Text("refined"), Num(f.centre.x, 3), Num(f.centre.y, 3), Num(f.radius, 3), kNone,
               kNone, kNone, Num(f.rms), Num(f.inliers), kNone});
    }
    b.Summary("verdict", Text(r.ok ? "OK" : "NG"));
}

void DetectTable(Builder& b, const DetectResult& r, const DetectMeasures* m)
{
    b.Column("index");
    b.Column("area", Scale::Area);
    b.Column("minX", Scale::Length);
    b.Column("minY", Scale::Length);
    b.Column("maxX", Scale::Length);
    b.Column("maxY", Scale::Length);
    b.Column("centroidX", Scale::Length, 2);
    b.Column("centroidY", Scale::Length, 2);
    double total = 0;
    for (std::size_t i = 0; i < r.objects.size(); ++i) {
        const DetectedObject& o = r.objects[i];
        const ObjectMeasure* om = m != nullptr && i < m->objects.size() ? &m->objects[i] : nullptr;
        b.Row({Num(static_cast<double>(i + 1)), Num(o.area), Num(o.minX), Num(o.minY),
               Num(o.maxX), Num(o.maxY), om ? Num(om->centroid.x) : kNone,
               om ? Num(om->centroid.y) : kNone});
        total += o.area;
    }
    b.Summary("threshold", Num(r.threshold));
    b.Summary("objectCount", Num(r.Count()));
    b.Summary("totalArea", Num(total), Scale::Area);
}

void PatternTable(Builder& b, const PatternResult& r)
{
    b.Column("index");  // the candidate's place in the tool's list, from 1
    b.Column("x1", Scale::Length);
    b.Column("y1", Scale::Length);
    b.Column("x2", Scale::Length);
    b.Column("y2", Scale::Length);
    b.Column("angle");
    b.Column("score", Scale::None, 4);
    std::vector<std::size_t> order(r.rows.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    // Stable: equal scores keep the tool's order, so the table never depends on the sort.
    std::stable_sort(order.begin(), order.end(), [&](std::size_t i, std::size_t j) {
        return r.rows[i].score > r.rows[j].score;
    });
    for (const std::size_t i : order) {
        const MatchRow& m = r.rows[i];
        b.Row({Num(static_cast<double>(i + 1)), Num(m.x1), Num(m.y1), Num(m.x2), Num(m.y2),
               Num(m.angle), Num(m.score)});
    }
    b.Summary("candidates", Num(static_cast<double>(r.rows.size())));
}

void ThresholdTable(Builder& b, const ThresholdResult& r, const ThresholdMeasures* m)
{
    b.Column("threshold");
    b.Column("upper");
    b.Column("pixels", Scale::Area);
    b.Column("above", Scale::Area);
    b.Column("below", Scale::Area);
    b.Column("mean", Scale::None, 3);
    b.Column("deviation", Scale::None, 3);
    const auto count = [&](std::int64_t v) { return m ? Num(static_cast<double>(v)) : kNone; };
    b.Row({Num(r.threshold), Num(r.upper), count(m ? m->region.pixels : 0),
           count(m ? m->region.above : 0), count(m ? m->region.below : 0),
           m ? Num(m->region.mean) : kNone, m ? Num(m->region.deviation) : kNone});
}

// Filter, morphology and brightness: what ran, and where.
void ImageTable(Builder& b, const std::string& title, const Region* region)
{
    b.Column("command");
    b.Column("region");
    for (const char* corner : {"X1", "Y1", "X2", "Y2"})
        b.Column(corner, Scale::Length);
    if (region != nullptr)
        b.Row({Text(title), Text("region of interest"), Num(region->X1), Num(region->Y1),
               Num(region->X2), Num(region->Y2)});
    else
        b.Row({Text(title), Text("whole image")});
}

// Shortest text that reads back to the same double.
std::string NumberText(double v)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    return std::string(text, end);
}


using Json = nlohmann::ordered_json;

Json CellJson(const ResultCell& cell)
{
    if (const auto* text = std::get_if<std::string>(&cell.value))
        return *text;
    if (!cell.IsNumber() || !std::isfinite(cell.Number()))
        return nullptr;  // JSON has no inf or nan
    const double v = cell.Number();
    // Whole numbers as integers: 12, not 12.0. Below 2^53 every one is exact.
    if (v == std::trunc(v) && std::fabs(v) < 9007199254740992.0)
        return static_cast<std::int64_t>(v);
    return v;
}

}  // namespace

std::string CsvText(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::optional<std::string> CalibrationFault(double unitsPerPixel, std::string_view unit)
{
    if (!(unitsPerPixel > 0) || !std::isfinite(unitsPerPixel))
        return "the scale must be a number above 0";
    if (unit.empty() || unit.size() > 16)
        return "the unit must have 1 to 16 characters";
    if (std::any_of(unit.begin(), unit.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
        return "the unit must not hold a control character";
    return std::nullopt;
}

int ResultsTable::Column(std::string_view name) const
{
    const auto it = std::find(columns.begin(), columns.end(), name);
    return it == columns.end() ? -1 : static_cast<int>(it - columns.begin());
}

ResultsTable MakeResultsTable(const CommandSettings& settings, const CommandResult& result,
                              const CommandMeasures& measures, const Calibration& calibration)
{
    ResultsTable table;
    table.title = CommandTitle(settings);
    table.command = std::string(CommandName(settings));
    if (!ReportOf(result).Ran())
        return table;
    Builder b(table);
    std::visit(
        Overloaded{
            [&](const EdgeResult& r) { EdgeTable(b, r, MeasuresOf<EdgeMeasures>(measures)); },
            [&](const StraightResult& r) {
                StraightTable(b, r, MeasuresOf<StraightMeasures>(measures));
            },
            [&](const CircularResult& r) {
                CircularTable(b, r, MeasuresOf<CircularMeasures>(measures));
            },
            [&](const DetectResult& r) { DetectTable(b, r, MeasuresOf<DetectMeasures>(measures)); },
            [&](const PatternResult& r) { PatternTable(b, r); },
            [&](const ThresholdResult& r) {
                ThresholdTable(b, r, MeasuresOf<ThresholdMeasures>(measures));
            },
            [&](const FilterResult& r) { ImageTable(b, table.title, &r.region); },
            [&](const MorphologyResult&) { ImageTable(b, table.title, nullptr); },
            [&](const BrightnessResult&) { ImageTable(b, table.title, nullptr); }},
        result);
    b.Calibrate(calibration);
    return table;
}

ResultsTable FilterResults(const ResultsTable& table, std::int64_t minimumArea,
                           double minimumScore)
{
    const bool detect = table.command == "detect", pattern = table.command == "pattern";
    const int column = detect ? table.Column("area") : pattern ? table.Column("score") : -1;
    if (column < 0)
        return table;
    const double minimum = detect ? static_cast<double>(minimumArea) : minimumScore;
    ResultsTable shown = table;
    std::erase_if(shown.rows, [&](const std::vector<ResultCell>& row) {
        const ResultCell& cell = row[static_cast<std::size_t>(column)];
        return !cell.IsNumber() || !(cell.Number() >= minimum);
    });
    return shown;
}

std::string CellText(const ResultCell& cell)
{
    return std::visit(
        Overloaded{[](std::monostate) { return std::string(); },
                   [](const std::string& text) { return text; },
                   [&](double v) {
                       if (!std::isfinite(v))
                           return NumberText(v);
                       char text[64];
                       if (cell.decimals >= 0)
                           std::snprintf(text, sizeof text, "%.*f", cell.decimals, v);
                       else if (v == std::trunc(v) && std::fabs(v) < 1e15)
                           std::snprintf(text, sizeof text, "%.0f", v);
                       else
                           std::snprintf(text, sizeof text, "%.6g", v);
                       return std::string(text);
                   }},
        cell.value);
}

std::string WriteResultsCsv(const ResultsTable& table)
{
    std::string text;
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        if (c)
            text += ",";
        text += CsvText(table.columns[c]);
    }
    text += "\n";
    for (const std::vector<ResultCell>& row : table.rows) {
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c)
                text += ",";
            if (row[c].IsNumber())
                text += NumberText(row[c].Number());
            else if (const auto* t = std::get_if<std::string>(&row[c].value))
                text += CsvText(*t);
        }
        text += "\n";
    }
    return text;
}

std::string WriteResultsJson(const ResultsTable& table)
{
    Json rows = Json::array();
    for (const std::vector<ResultCell>& row : table.rows) {
        Json cells = Json::array();
        for (const ResultCell& cell : row)
            cells.push_back(CellJson(cell));
        rows.push_back(std::move(cells));
    }
    Json summary = Json::object();
    for (const ResultField& field : table.summary)
        summary[field.name] = CellJson(field.cell);
    const Json doc = {{"title", table.title},   {"command", table.command},
                      {"columns", table.columns}, {"rows", std::move(rows)},
                      {"summary", std::move(summary)}};
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

namespace {

template <class T>
std::size_t HeldBytes(const std::vector<T>& items)
{
    return items.capacity() * sizeof(T);
}

}  // namespace

std::size_t ShownResultsBytes(const ShownResults& shown)
{
    std::size_t bytes = sizeof(ShownResults);
    std::visit(Overloaded{[&](const DetectResult& r) { bytes += HeldBytes(r.objects); },
                          [&](const PatternResult& r) { bytes += HeldBytes(r.rows); },
                          [&](const EdgeResult& r) { bytes += HeldBytes(r.marks); },
                          [](const auto&) {}},
               shown.result);
    std::visit(Overloaded{[&](const EdgeMeasures& m) {
                              bytes += HeldBytes(m.edges) + HeldBytes(m.spacing);
                          },
                          [&](const StraightMeasures& m) {
                              bytes += HeldBytes(m.runPoints) + HeldBytes(m.subpixelPoints);
                          },
                          [&](const CircularMeasures& m) { bytes += HeldBytes(m.subpixelHits); },
                          [&](const DetectMeasures& m) { bytes += HeldBytes(m.objects); },
                          [](const auto&) {}},
               shown.measures);
    return bytes;
}
