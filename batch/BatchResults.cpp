// batch/BatchResults.cpp
#include "BatchResults.h"

#include "BatchMeasures.h"
#include "ResultsTable.h"

#include <cmath>
#include <cstdio>
#include <string_view>
#include <type_traits>

namespace {

// Nine significant digits read back to the same float, bit for bit.
std::string FloatText(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    return text;
}

using Field = BatchField;

template <class T>
Field Number(const char* name, T v)
{
    std::string text;
    if constexpr (std::is_floating_point_v<T>)
        text = FloatText(v);
    else
        text = std::to_string(v);
    return {name, text, text};
}

std::string JsonFloat(float v)
{
    return std::isfinite(v) ? FloatText(v) : "null";  // JSON has no inf or nan
}

template <class... Args>
std::string Format(const char* format, Args... args)
{
    char text[160];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

void AddItem(std::string& list, const char* separator, const std::string& item)
{
    if (!list.empty())
        list += separator;
    list += item;
}

std::vector<Field> Numbers(const CommandResult& result)
{
    std::vector<Field> fields;
    if (const auto* r = std::get_if<ThresholdResult>(&result)) {
        fields.push_back(Number("threshold", r->threshold));
    } else if (const auto* r = std::get_if<DetectResult>(&result)) {
        fields.push_back(Number("threshold", r->threshold));
        fields.push_back(Number("objectCount", r->Count()));
        Field objects{"objects", "", ""};
        for (const DetectedObject& o : r->objects) {
            AddItem(objects.csv, ";", Format("%d %d %d %d %d", o.minX, o.minY, o.maxX, o.maxY,
                                             o.area));
            AddItem(objects.json, ",",
                    Format(R"({"minX":%d,"minY":%d,"maxX":%d,"maxY":%d,"area":%d})", o.minX,
                           o.minY, o.maxX, o.maxY, o.area));
        }
        objects.json = "[" + objects.json + "]";
        fields.push_back(std::move(objects));
    } else if (const auto* r = std::get_if<PatternResult>(&result)) {
        Field matches{"matches", "", ""};
        for (const MatchRow& m : r->rows) {
            const float values[] = {m.x1, m.y1, m.x2, m.y2, m.angle, m.score};
            static constexpr const char* kNames[] = {"x1", "y1", "x2", "y2", "angle", "score"};
            std::string csv, json;
            for (int k = 0; k < 6; ++k) {
                AddItem(csv, " ", FloatText(values[k]));
                AddItem(json, ",", Format("\"%s\":%s", kNames[k], JsonFloat(values[k]).c_str()));
            }
            AddItem(matches.csv, ";", csv);
            AddItem(matches.json, ",", "{" + json + "}");
        }
        matches.json = "[" + matches.json + "]";
        fields.push_back(std::move(matches));
    } else if (const auto* r = std::get_if<EdgeResult>(&result)) {
        fields.push_back(Number("edgeCount", r->count));
        Field edges{"edges", "", ""};
        for (const EdgeMark& e : r->marks) {
            AddItem(edges.csv, ";", Format("%d %d %d %d", e.x, e.y, e.polarity, e.strength));
            AddItem(edges.json, ",", Format(R"({"x":%d,"y":%d,"polarity":%d,"strength":%d})",
                                            e.x, e.y, e.polarity, e.strength));
        }
        edges.json = "[" + edges.json + "]";
        fields.push_back(std::move(edges));
    } else if (const auto* r = std::get_if<StraightResult>(&result)) {
        fields.push_back({"fitted", r->fitted ? "1" : "0", r->fitted ? "true" : "false"});
        fields.push_back({"a", FloatText(r->a), JsonFloat(r->a)});
        fields.push_back({"b", FloatText(r->b), JsonFloat(r->b)});
        fields.push_back(Number("runCount", r->run.count));
    } else if (const auto* r = std::get_if<CircularResult>(&result)) {
        fields.push_back(Number("votes", r->votes));
        fields.push_back(Number("centreX", r->centreX));
        fields.push_back(Number("centreY", r->centreY));
        fields.push_back(Number("radius", r->radius));
        fields.push_back(Number("spokes", r->spokes));
        fields.push_back(Number("hits", r->hits));
        fields.push_back({"verdict", r->ok ? "OK" : "NG", r->ok ? "\"OK\"" : "\"NG\""});
    }
    return fields;
}

constexpr const char* kNumberColumns[] = {
    "threshold", "objectCount", "objects", "matches", "edgeCount", "edges", "fitted", "a", "b",
    "runCount", "votes", "centreX", "centreY", "radius", "spokes", "hits", "verdict"};

std::string JsonText(std::string_view text)
{
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

// A step's fields: its tool's numbers, then what was measured.
std::vector<Field> RowFields(const BatchRow& row)
{
    if (!row.result)
        return {};
    std::vector<Field> fields = Numbers(*row.result);
    for (Field& field : MeasuredFields(*row.result, row.measures))
        fields.push_back(std::move(field));
    return fields;
}

}  // namespace

std::string ResultsCsvHeader()
{
    std::string text = "picture,step,command,status,message";
    for (const char* column : kNumberColumns)
        text += std::string(",") + column;
    for (const std::string& column : MeasuredColumns())
        text += "," + column;
    return text + "\n";
}

std::string ResultsCsvLines(const PictureOutcome& picture)
{
    std::string text;
    for (const BatchRow& row : picture.rows) {
        text += CsvText(row.picture) + "," + (row.step ? std::to_string(row.step) : "") + "," +
                row.command + "," + (row.ok ? "ok" : "error") + "," + CsvText(row.message);
        const std::vector<Field> fields = RowFields(row);
        const auto cell = [&](std::string_view column) {
            text += ",";
            for (const Field& field : fields)
                if (field.name == column)
                    text += CsvText(field.csv);
        };
        for (const char* column : kNumberColumns)
            cell(column);
        for (const std::string& column : MeasuredColumns())
            cell(column);
        text += "\n";
    }
    return text;
}

std::string ResultsCsv(const std::vector<PictureOutcome>& pictures)
{
    std::string text = ResultsCsvHeader();
    for (const PictureOutcome& picture : pictures)
        text += ResultsCsvLines(picture);
    return text;
}

std::vector<std::string> ResultsJsonObjects(const PictureOutcome& picture)
{
    std::vector<std::string> objects;
    for (const BatchRow& row : picture.rows) {
        std::string text = "{\"picture\": " + JsonText(row.picture) +
                           ", \"step\": " + std::to_string(row.step) +
                           ", \"command\": " + JsonText(row.command) +
                           ", \"status\": " + (row.ok ? "\"ok\"" : "\"error\"") +
                           ", \"message\": " + JsonText(row.message);
        if (const std::vector<Field> fields = RowFields(row); !fields.empty())
            text += ", " + JsonMembers(fields);
        objects.push_back(text + "}");
    }
    return objects;
}

std::string ResultsJsonArray(const std::vector<std::string>& objects)
{
    std::string text = "[";
    for (std::size_t i = 0; i < objects.size(); ++i)
        text += (i ? ",\n  " : "\n  ") + objects[i];
    return text + "\n]\n";
}

std::string ResultsJson(const std::vector<PictureOutcome>& pictures)
{
    std::vector<std::string> objects;
    for (const PictureOutcome& picture : pictures)
        for (std::string& object : ResultsJsonObjects(picture))
            objects.push_back(std::move(object));
    return ResultsJsonArray(objects);
}
