// batch/BatchMeasures.cpp
#include "BatchMeasures.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace {

// a = 10000 is how the straight tool says x = b.
constexpr float kVerticalSlope = 10000.0f;

// Shortest text that reads back to the same double, with ".0" on a whole one.
std::string DoubleText(double v)
{
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, v).ptr;
    std::string s(text, end);
    if (std::isfinite(v) && s.find_first_of(".e") == std::string::npos)
        s += ".0";
    return s;
}

std::string FloatText(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    return text;
}

BatchField Count(std::string name, std::int64_t v)
{
    const std::string text = std::to_string(v);
    return {std::move(name), text, text};
}

BatchField Real(std::string name, double v)
{
    const std::string text = DoubleText(v);
    return {std::move(name), text, std::isfinite(v) ? text : "null"};
}

// One number of each item: "1.5;2.25" in CSV, [1.5, 2.25] in JSON.
template <class Items, class Get>
BatchField RealList(std::string name, const Items& items, Get get)
{
    BatchField field{std::move(name), "", ""};
    for (const auto& item : items) {
        const double v = get(item);
        if (!field.json.empty()) {
            field.csv += ";";
            field.json += ",";
        }
        field.csv += DoubleText(v);
        field.json += std::isfinite(v) ? DoubleText(v) : "null";
    }
    field.json = "[" + field.json + "]";
    return field;
}

void AddLine(std::vector<BatchField>& fields, const std::string& prefix, const LineFit& fit)
{
    if (fit.vertical) {
        fields.push_back(Real(prefix + "c", fit.c));
    } else {
        fields.push_back(Real(prefix + "a", fit.a));
        fields.push_back(Real(prefix + "b", fit.b));
    }
}

void AddLineQuality(std::vector<BatchField>& fields, const std::string& prefix,
                    const LineFit& fit)
{
    fields.push_back(Real(prefix + "angle", fit.angle));
    fields.push_back(Count(prefix + "points", fit.points));
    fields.push_back(Real(prefix + "rms", fit.rms));
    fields.push_back(Real(prefix + "worst", fit.worst));
}

void AddStraight(std::vector<BatchField>& fields, const StraightResult& r,
                 const StraightMeasures* m)
{
    fields.push_back(Count("scanLines", r.scanLines));
    fields.push_back(Count("hits", r.hits));
    if (r.fitted && r.a == kVerticalSlope)  // the tool's b is then the line's x
        fields.push_back({"c", FloatText(r.b), FloatText(r.b)});
    if (m == nullptr)
        return;
    if (m->tool.ok)
        AddLineQuality(fields, "", m->tool);
    const LineFit& s = m->subpixel;
    fields.push_back({"subpixel.fitted", s.ok ? "1" : "0", s.ok ? "true" : "false"});
    if (!s.ok)
        return;
    AddLine(fields, "subpixel.", s);
    AddLineQuality(fields, "subpixel.", s);
}

void AddCircular(std::vector<BatchField>& fields, const CircularMeasures* m)
{
    if (m == nullptr)
        return;
    if (m->voted.ok) {
        fields.push_back(Real("rms", m->voted.rms));
        fields.push_back(Count("inliers", m->voted.inliers));
    }
    if (const CircleFit& f = m->refined; f.ok) {
        fields.push_back(Real("refined.centreX", f.centre.x));
        fields.push_back(Real("refined.centreY", f.centre.y));
        fields.push_back(Real("refined.radius", f.radius));
        fields.push_back(Real("refined.rms", f.rms));
        fields.push_back(Count("refined.inliers", f.inliers));
    }
}

}  // namespace

CommandMeasures MeasureStep(const GrayImage& before, int width, int height,
                            const CommandSettings& settings, const CommandResult& result)
{
    const bool measured =
        std::holds_alternative<EdgeSettings>(settings) ||
        std::holds_alternative<StraightSettings>(settings) ||
        std::holds_alternative<CircularSettings>(settings) ||
        std::holds_alternative<DetectSettings>(settings) ||
        std::holds_alternative<ThresholdSettings>(settings);
    if (!measured)
        return std::monostate{};
    Corners roi{0, 0, width, height};
    if (const auto* s = std::get_if<DetectSettings>(&settings))
        roi = s->roi;
    else if (const auto* s = std::get_if<StraightSettings>(&settings))
        roi = s->roi;
    return MeasureCommand(before, width, height, settings, result, roi);
}

const std::vector<std::string>& MeasuredColumns()
{
    static const std::vector<std::string> columns = {
        "upper", "pixels", "above", "below", "mean", "deviation",  // threshold
        "totalArea", "centroidX", "centroidY",                      // detect
        "subX", "subY", "along", "spacing",                         // edge
        "scanLines", "c", "angle", "points", "rms", "worst",        // straight (rms: circular too)
        "subpixel.fitted", "subpixel.a", "subpixel.b", "subpixel.c", "subpixel.angle",
        "subpixel.points", "subpixel.rms", "subpixel.worst",
        "inliers", "refined.centreX", "refined.centreY", "refined.radius", "refined.rms",
        "refined.inliers"};
    return columns;
}

std::vector<BatchField> MeasuredFields(const CommandResult& result,
                                       const CommandMeasures& measures)
{
    std::vector<BatchField> fields;
    if (const auto* r = std::get_if<ThresholdResult>(&result)) {
        fields.push_back(Count("upper", r->upper));
        if (const auto* m = std::get_if<ThresholdMeasures>(&measures)) {
            fields.push_back(Count("pixels", m->region.pixels));
            fields.push_back(Count("above", m->region.above));
            fields.push_back(Count("below", m->region.below));
            fields.push_back(Real("mean", m->region.mean));
            fields.push_back(Real("deviation", m->region.deviation));
        }
    } else if (std::holds_alternative<DetectResult>(result)) {
        if (const auto* m = std::get_if<DetectMeasures>(&measures)) {
            fields.push_back(Count("totalArea", m->totalArea));
            fields.push_back(RealList("centroidX", m->objects,
                                      [](const ObjectMeasure& o) { return o.centroid.x; }));
            fields.push_back(RealList("centroidY", m->objects,
                                      [](const ObjectMeasure& o) { return o.centroid.y; }));
        }
    } else if (std::holds_alternative<EdgeResult>(result)) {
        if (const auto* m = std::get_if<EdgeMeasures>(&measures)) {
            fields.push_back(
                RealList("subX", m->edges, [](const EdgeMeasure& e) { return e.sub.x; }));
            fields.push_back(
                RealList("subY", m->edges, [](const EdgeMeasure& e) { return e.sub.y; }));
            fields.push_back(
                RealList("along", m->edges, [](const EdgeMeasure& e) { return e.along; }));
            fields.push_back(RealList("spacing", m->spacing, [](double v) { return v; }));
        }
    } else if (const auto* r = std::get_if<StraightResult>(&result)) {
        AddStraight(fields, *r, std::get_if<StraightMeasures>(&measures));
    } else if (std::holds_alternative<CircularResult>(result)) {
        AddCircular(fields, std::get_if<CircularMeasures>(&measures));
    }
    return fields;
}

std::string JsonMembers(const std::vector<BatchField>& fields)
{
    std::string text;
    std::string open;    // the object row being written, "" at the top
    bool first = true;   // no member written yet where the next one goes
    for (const BatchField& field : fields) {
        const std::size_t dot = field.name.find('.');
        const std::string row = dot == std::string::npos ? "" : field.name.substr(0, dot);
        if (row != open) {
            if (!open.empty())
                text += "}";
            first = text.empty();
            if (!row.empty()) {
                if (!first)
                    text += ", ";
                text += '"';
                text += row;
                text += "\": {";
                first = true;
            }
            open = row;
        }
        if (!first)
            text += ", ";
        first = false;
        text += '"';
        text.append(field.name, dot == std::string::npos ? 0 : dot + 1);
        text += "\": ";
        text += field.json;
    }
    if (!open.empty())
        text += "}";
    return text;
}
