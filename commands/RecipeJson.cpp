// commands/RecipeJson.cpp: the recipe file format.
//
// Each command lists its settings once, in Fields(io, settings); the same list
// drives reading (Reader), writing (Writer) and the check for unknown names
// (KeyList), so the three cannot drift apart.
#include "Recipe.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <span>
#include <unordered_set>

namespace {

using Json = nlohmann::ordered_json;  // keeps "command" first in what we write
using Texts = std::span<const std::string_view>;

constexpr std::string_view kFormat = "graybench-recipe";
constexpr int kVersion = 1;
constexpr int kMaxRounds = 1000000000;
constexpr int kMaxTemplateSide = 100000;  // keeps width * height far from overflow

// The texts the window shows for each enumeration, in index order.
constexpr std::array<std::string_view, 8> kFilterTexts = {
    "Lowpass", "Local Average", "Median", "Gaussian", "Laplacian", "Prewitt", "Sobel", "Roberts"};
constexpr std::array<std::string_view, 7> kMorphologyTexts = {
    "Dilation",       "Erosion",        "Opening",          "Closing",
    "Proper Opening", "Proper Closing", "Proper Automedian"};
constexpr std::array<std::string_view, 3> kModeTexts = {"Dark Objects", "Bright Objects",
                                                        "Gray Objects"};
constexpr std::array<std::string_view, 3> kLookForTexts = {"All Edges", "Fist Edge Only",
                                                           "Fist & Last Edge Only"};
constexpr std::array<std::string_view, 3> kPolarityTexts = {"All Edges", "Dark to Bright Only",
                                                            "Bright to Dark Only"};
constexpr std::array<std::string_view, 4> kStraightTexts = {"UP", "LEFT", "DOWN", "RIGHT"};
constexpr std::array<std::string_view, 2> kCircularTexts = {"INWARD", "OUTWARD"};
constexpr std::array<std::string_view, 4> kCornerNames = {"X1", "Y1", "X2", "Y2"};

std::string Quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

// A value as the message shows it: its JSON text, cut short when long.
std::string Shown(const Json& value)
{
    std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
    return text.size() > 60 ? text.substr(0, 57) + "..." : text;
}

// "a", "b" or "c"; with last " and ": "a", "b" and "c".
std::string Listed(Texts texts, std::string_view last = " or ")
{
    std::string list;
    for (std::size_t i = 0; i < texts.size(); ++i)
        list += std::string(i == 0 ? "" : i + 1 == texts.size() ? last : ", ") + Quoted(texts[i]);
    return list;
}

std::string IntegerRange(int lo, int hi)
{
    if (lo == INT_MIN && hi == INT_MAX)
        return "an integer";
    return "an integer from " + std::to_string(lo) + " to " + std::to_string(hi);
}

// The integer a JSON value holds when it is an integer that fits an int.
std::optional<int> IntOf(const Json& value)
{
    if (value.is_number_unsigned())
        return value.get<std::uint64_t>() <= INT_MAX
                   ? std::optional<int>(static_cast<int>(value.get<std::uint64_t>()))
                   : std::nullopt;
    if (value.is_number_integer()) {
        const auto v = value.get<std::int64_t>();
        return v >= INT_MIN && v <= INT_MAX ? std::optional<int>(static_cast<int>(v))
                                            : std::nullopt;
    }
    return std::nullopt;
}

// Why a template of tw x th pixels cannot be searched for with this angle, or nothing.
std::optional<std::string> TemplateFault(int tw, int th, int angle)
{
    const std::string size = std::to_string(tw) + " x " + std::to_string(th);
    switch (CheckTemplateSize(tw, th, static_cast<float>(angle))) {
        case TemplateFit::Usable:
            return std::nullopt;
        case TemplateFit::Empty:
            return "\"template\" has no pixels (" + size + ")";
        case TemplateFit::TooSmallForZeroAngle:
            return "\"template\" is " + size +
                   " pixels; a search with \"angle\" 0 needs at least 5 x 5";
        case TemplateFit::TooSmallForRotation:
            return "\"template\" is " + size +
                   " pixels; a search with \"angle\" above 0 needs at least 8 x 8";
    }
    return std::nullopt;
}

// The decimal text that reads back to gamma as a double and then, narrowed, to
// the same float: the float's shortest text when that survives the detour
// through double, else the float's exact value.
double GammaAsDouble(float gamma)
{
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), gamma).ptr;
    const double shortest = std::strtod(std::string(text.data(), end).c_str(), nullptr);
    return static_cast<float>(shortest) == gamma ? shortest : static_cast<double>(gamma);
}

// ---- the settings of each command ----

template <class Io>
void Fields(Io& io, FilterSettings& s)
{
    io.Choice("kind", s.kind, kFilterTexts);
    io.Mask("mask", s.mask);
    io.Box("roi", s.roi);
}

template <class Io>
void Fields(Io& io, MorphologySettings& s)
{
    io.Choice("kind", s.kind, kMorphologyTexts);
    io.Mask("mask", s.mask);
    io.Element("element", s.element);
    io.Int("rounds", s.rounds, 1, kMaxRounds);
}

template <class Io>
void Fields(Io& io, BrightnessSettings& s)
{
    io.Int("brightness", s.brightness, 0, 255);
    io.Int("contrast", s.contrast, 1, 89);
    io.Gamma("gamma", s.gamma);
}

template <class Io>
void Fields(Io& io, ThresholdSettings& s)
{
    io.Choice("mode", s.mode, kModeTexts);
    io.Int("lower", s.lower, 0, 255);
    io.Int("upper", s.upper, 0, 255);
    io.Bool("automatic", s.automatic);
    io.AutoThreshold("autoThreshold", s.autoThreshold);
}

template <class Io>
void Fields(Io& io, DetectSettings& s)
{
    Fields(io, s.threshold);  // the shared panel's settings stand beside the region
    io.Box("roi", s.roi);
}

template <class Io>
void Fields(Io& io, PatternStep& s)
{
    io.Int("angle", s.settings.angle, 0, 360);
    io.Template("template", s.templ, s.settings.angle);  // after the angle: its size rule needs it
}

template <class Io>
void Fields(Io& io, EdgeSettings& s)
{
    io.Choice("lookFor", s.lookFor, kLookForTexts);
    io.Choice("polarity", s.polarity, kPolarityTexts);
    io.Int("strength", s.strength, 0, 255);
    io.Box("line", s.line);
}

template <class Io>
void Fields(Io& io, StraightSettings& s)
{
    io.Choice("direction", s.direction, kStraightTexts);
    io.Int("gap", s.gap, 1, 100);
    io.Int("strength", s.strength, 0, 255);
    io.Int("angle", s.angle, 0, 360);
    io.Box("roi", s.roi);
}

template <class Io>
void Fields(Io& io, CircularSettings& s)
{
    io.Choice("direction", s.direction, kCircularTexts);
    io.Int("gap", s.gap, 1, 100);
    io.Int("strength", s.strength, 0, 255);
    io.Int("startAngle", s.startAngle, 0, 360);
    io.Int("endAngle", s.endAngle, 0, 360);
    io.Int("insideRadius", s.insideRadius, 0, 100);
    io.Int("outsideRadius", s.outsideRadius, 0, 250);
    io.Point("centre", s.cx, s.cy);
}

// ---- the three walks over a field list ----

// The names a command's settings take.
struct KeyList {
    std::vector<std::string_view> names;
    void Add(std::string_view name) { names.push_back(name); }
    void Choice(std::string_view name, int&, Texts) { Add(name); }
    void Int(std::string_view name, int&, int, int) { Add(name); }
    void Mask(std::string_view name, int&) { Add(name); }
    void Bool(std::string_view name, bool&) { Add(name); }
    void Gamma(std::string_view name, float&) { Add(name); }
    void AutoThreshold(std::string_view name, int&) { Add(name); }
    void Box(std::string_view name, Corners&) { Add(name); }
    void Point(std::string_view name, int&, int&) { Add(name); }
    void Element(std::string_view name, StructuringElement&) { Add(name); }
    void Template(std::string_view name, std::shared_ptr<const SizedImage>&, int) { Add(name); }
};

// Reads one step's settings; every fault is a RecipeError that starts with where.
class Reader {
public:
    Reader(const Json& step, std::string where) : step_(step), where_(std::move(where)) {}

    void Choice(std::string_view name, int& value, Texts texts)
    {
        const Json& v = Get(step_, name);
        const auto it = v.is_string()
                            ? std::find(texts.begin(), texts.end(), v.get_ref<const std::string&>())
                            : texts.end();
        if (it == texts.end())
            Fail(name, "must be one of " + Listed(texts), v);
        value = static_cast<int>(it - texts.begin());
    }
    void Int(std::string_view name, int& value, int lo, int hi)
    {
        value = IntIn(step_, name, lo, hi);
    }
    void Mask(std::string_view name, int& value)
    {
        const Json& v = Get(step_, name);
        const std::optional<int> mask = IntOf(v);
        if (!mask || (*mask != 3 && *mask != 5 && *mask != 7))
            Fail(name, "must be 3, 5 or 7", v);
        value = *mask;
    }
    void Bool(std::string_view name, bool& value)
    {
        const Json& v = Get(step_, name);
        if (!v.is_boolean())
            Fail(name, "must be true or false", v);
        value = v.get<bool>();
    }
    void Gamma(std::string_view name, float& value)
    {
        const Json& v = Get(step_, name);
        // Narrowed the way the gamma was widened when written: bit for bit.
        const float gamma = v.is_number() ? static_cast<float>(v.get<double>()) : 0.0f;
        if (!(gamma > 0.0f) || !std::isfinite(gamma))
            Fail(name, "must be a number above 0 that a float holds", v);
        value = gamma;
    }
    void AutoThreshold(std::string_view name, int& value)
    {
        // Absent: computed over the Before image when the step runs.
        value = step_.contains(name) ? IntIn(step_, name, 0, 255) : -1;
    }
    void Box(std::string_view name, Corners& value)
    {
        const Json& v = Object(name, kCornerNames);
        int* corners[] = {&value.X1, &value.Y1, &value.X2, &value.Y2};
        for (std::size_t i = 0; i < kCornerNames.size(); ++i)
            *corners[i] = IntIn(v, kCornerNames[i], INT_MIN, INT_MAX, name);
    }
    void Point(std::string_view name, int& x, int& y)
    {
        static constexpr std::array<std::string_view, 2> kNames = {"x", "y"};
        const Json& v = Object(name, kNames);
        x = IntIn(v, "x", INT_MIN, INT_MAX, name);
        y = IntIn(v, "y", INT_MIN, INT_MAX, name);
    }
    void Element(std::string_view name, StructuringElement& value)
    {
        const Json& v = Get(step_, name);
        const std::string rule =
            "must be 7 texts of 7 characters, '#' for a cell in the "
            "element and '.' for one out";
        if (!v.is_array() || v.size() != 7)
            Fail(name, rule, v);
        for (std::size_t row = 0; row < 7; ++row) {
            const Json& line = v[row];
            const bool good =
                line.is_string() && line.get_ref<const std::string&>().size() == 7 &&
                line.get_ref<const std::string&>().find_first_not_of("#.") == std::string::npos;
            if (!good)
                Fail(std::string(name) + " row " + std::to_string(row + 1),
                     "must be 7 characters '#' or '.'", line);
            for (std::size_t column = 0; column < 7; ++column)
                value[column][row] = line.get_ref<const std::string&>()[column] == '#' ? 1 : 0;
        }
    }
    void Template(std::string_view name, std::shared_ptr<const SizedImage>& value, int angle)
    {
        static constexpr std::array<std::string_view, 3> kNames = {"width", "height", "gray"};
        const Json& v = Object(name, kNames);
        const int tw = IntIn(v, "width", 0, kMaxTemplateSide, name);
        const int th = IntIn(v, "height", 0, kMaxTemplateSide, name);
        const Json& gray = Get(v, "gray", name);
        const std::string grayName = std::string(name) + ".gray";
        std::optional<std::vector<std::uint8_t>> bytes;
        if (gray.is_string())
            bytes = DecodeBase64(gray.get_ref<const std::string&>());
        if (!bytes)
            Fail(grayName, "must be base64 text", gray);
        const auto needed = static_cast<std::size_t>(tw) * static_cast<std::size_t>(th);
        if (bytes->size() != needed)
            throw RecipeError(where_ + Quoted(grayName) + " holds " +
                              std::to_string(bytes->size()) + " bytes, but a " +
                              std::to_string(tw) + " x " + std::to_string(th) + " template needs " +
                              std::to_string(needed));
        if (const std::optional<std::string> fault = TemplateFault(tw, th, angle))
            throw RecipeError(where_ + *fault);
        auto templ = std::make_shared<SizedImage>();
        templ->pixels = NewGrayImage(tw, th);
        if (!templ->pixels)
            throw RecipeError(where_ + "not enough memory for the template");
        templ->width = tw;
        templ->height = th;
        for (int y = 0; y < th; ++y)  // row after row
            for (int x = 0; x < tw; ++x)
                templ->pixels[x][y] = (*bytes)[static_cast<std::size_t>(y) * tw + x];
        value = std::move(templ);
    }

private:
    [[noreturn]] void Fail(std::string_view name, const std::string& rule, const Json& v) const
    {
        throw RecipeError(where_ + Quoted(name) + " " + rule + ", not " + Shown(v));
    }
    // The member name of object; prefix names the object it sits in ("roi.X1").
    const Json& Get(const Json& object, std::string_view name, std::string_view prefix = {}) const
    {
        const auto it = object.find(name);
        if (it == object.end())
            throw RecipeError(where_ + Quoted(Dotted(prefix, name)) + " is missing");
        return *it;
    }
    int IntIn(const Json& object, std::string_view name, int lo, int hi,
              std::string_view prefix = {}) const
    {
        const Json& v = Get(object, name, prefix);
        const std::optional<int> value = IntOf(v);
        if (!value || *value < lo || *value > hi)
            Fail(Dotted(prefix, name), "must be " + IntegerRange(lo, hi), v);
        return *value;
    }
    // A nested object that holds exactly the members names.
    const Json& Object(std::string_view name, Texts names) const
    {
        const Json& v = Get(step_, name);
        if (!v.is_object())
            Fail(name, "must be an object with " + Listed(names, " and "), v);
        for (const auto& member : v.items())
            if (std::find(names.begin(), names.end(), member.key()) == names.end())
                throw RecipeError(where_ + "unknown setting " + Quoted(Dotted(name, member.key())));
        return v;
    }
    static std::string Dotted(std::string_view prefix, std::string_view name)
    {
        return prefix.empty() ? std::string(name) : std::string(prefix) + "." + std::string(name);
    }

    const Json& step_;
    std::string where_;
};

// Writes one step's settings. A value the reader would refuse is a RecipeError
// here too: what is written always reads back.
class Writer {
public:
    Writer(Json& step, std::string where) : step_(step), where_(std::move(where)) {}

    void Choice(std::string_view name, int& value, Texts texts)
    {
        if (value < 0 || value >= static_cast<int>(texts.size()))
            Fail(name, "must be one of " + Listed(texts), value);
        Put(name, std::string(texts[static_cast<std::size_t>(value)]));
    }
    void Int(std::string_view name, int& value, int lo, int hi)
    {
        if (value < lo || value > hi)
            Fail(name, "must be " + IntegerRange(lo, hi), value);
        Put(name, value);
    }
    void Mask(std::string_view name, int& value)
    {
        if (value != 3 && value != 5 && value != 7)
            Fail(name, "must be 3, 5 or 7", value);
        Put(name, value);
    }
    void Bool(std::string_view name, bool& value) { Put(name, value); }
    void Gamma(std::string_view name, float& value)
    {
        if (!(value > 0.0f) || !std::isfinite(value))
            Fail(name, "must be a number above 0 that a float holds", value);
        Put(name, GammaAsDouble(value));
    }
    void AutoThreshold(std::string_view name, int& value)
    {
        if (value > 255)
            Fail(name, "must be " + IntegerRange(0, 255), value);
        if (value >= 0)  // any negative value means "compute when run", as absence does
            Put(name, value);
    }
    void Box(std::string_view name, Corners& value)
    {
        Put(name, Json{{"X1", value.X1}, {"Y1", value.Y1}, {"X2", value.X2}, {"Y2", value.Y2}});
    }
    void Point(std::string_view name, int& x, int& y) { Put(name, Json{{"x", x}, {"y", y}}); }
    void Element(std::string_view name, StructuringElement& value)
    {
        Json rows = Json::array();
        for (std::size_t row = 0; row < 7; ++row) {
            std::string line(7, '.');
            for (std::size_t column = 0; column < 7; ++column)
                if (value[column][row] != 0)
                    line[column] = '#';
            rows.push_back(line);
        }
        Put(name, rows);
    }
    void Template(std::string_view name, std::shared_ptr<const SizedImage>& value, int angle)
    {
        if (!value || !*value)
            throw RecipeError(where_ + Quoted(name) + " is missing: the step holds no template");
        const SizedImage& t = *value;
        if (const std::optional<std::string> fault = TemplateFault(t.width, t.height, angle))
            throw RecipeError(where_ + *fault);
        std::vector<std::uint8_t> bytes;
        bytes.reserve(static_cast<std::size_t>(t.width) * static_cast<std::size_t>(t.height));
        for (int y = 0; y < t.height; ++y)  // row after row
            for (int x = 0; x < t.width; ++x)
                bytes.push_back(t.pixels[x][y]);
        Put(name, Json{{"width", t.width}, {"height", t.height}, {"gray", EncodeBase64(bytes)}});
    }

private:
    template <class T>
    void Put(std::string_view name, T&& value)
    {
        step_[std::string(name)] = std::forward<T>(value);
    }
    template <class T>
    [[noreturn]] void Fail(std::string_view name, const std::string& rule, T value) const
    {
        throw RecipeError(where_ + Quoted(name) + " " + rule + ", not " + Shown(Json(value)));
    }

    Json& step_;
    std::string where_;
};

// ---- steps and the document ----

std::string Where(std::size_t number, std::string_view command)
{
    return "step " + std::to_string(number) + " (" + std::string(command) + "): ";
}

// The settings of the command the name gives, or nothing for an unknown name.
template <std::size_t I = 0>
std::optional<CommandSettings> SettingsNamed(std::string_view name)
{
    if constexpr (I < std::variant_size_v<CommandSettings>) {
        CommandSettings settings{std::in_place_index<I>};
        if (CommandName(settings) == name)
            return settings;
        return SettingsNamed<I + 1>(name);
    } else {
        return std::nullopt;
    }
}

template <std::size_t I = 0>
std::string CommandList()
{
    if constexpr (I < std::variant_size_v<CommandSettings>) {
        const std::string name(CommandName(CommandSettings{std::in_place_index<I>}));
        return (I == 0                                          ? ""
                : I + 1 == std::variant_size_v<CommandSettings> ? " or "
                                                                : ", ") +
               Quoted(name) + CommandList<I + 1>();
    } else {
        return {};
    }
}

RecipeStep ReadStep(const Json& j, std::size_t number)
{
    const std::string step = "step " + std::to_string(number);
    if (!j.is_object())
        throw RecipeError(step + " must be an object, not " + Shown(j));
    const auto command = j.find("command");
    if (command == j.end())
        throw RecipeError(step + ": \"command\" is missing");
    std::optional<CommandSettings> settings;
    if (command->is_string())
        settings = SettingsNamed(command->get_ref<const std::string&>());
    if (!settings)
        throw RecipeError(step + ": \"command\" must be one of " + CommandList() + ", not " +
                          Shown(*command));
    const std::string where = Where(number, CommandName(*settings));
    RecipeStep result;
    std::visit(
        [&](auto& s) {
            // Unknown names first: a misspelt setting is reported as such, not as a missing one.
            KeyList keys;
            Fields(keys, s);
            for (const auto& member : j.items()) {
                const std::string& key = member.key();
                if (key != "command" && key != "copyAfterToBefore" &&
                    std::find(keys.names.begin(), keys.names.end(), key) == keys.names.end())
                    throw RecipeError(where + "unknown setting " + Quoted(key));
            }
            Reader reader(j, where);
            Fields(reader, s);
        },
        *settings);
    result.command = std::move(*settings);
    if (const auto chain = j.find("copyAfterToBefore"); chain != j.end()) {
        if (!chain->is_boolean())
            throw RecipeError(where + "\"copyAfterToBefore\" must be true or false, not " +
                              Shown(*chain));
        result.copyAfterToBefore = chain->get<bool>();
    }
    return result;
}

Json WriteStep(const RecipeStep& step, std::size_t number)
{
    Json j;
    j["command"] = std::string(CommandName(step.command));
    const std::string where = Where(number, CommandName(step.command));
    std::visit(
        [&](auto s) {  // a copy: the field walk takes its values by reference
            if constexpr (std::is_same_v<decltype(s), MorphologySettings>)
                s.rounds = std::max(s.rounds, 1);  // the command runs a count below 1 once
            Writer writer(j, where);
            Fields(writer, s);
        },
        step.command);
    if (step.copyAfterToBefore)
        j["copyAfterToBefore"] = true;
    return j;
}

// "at line 3, column 5: syntax error ..." out of the parser's message.
std::string ParsePosition(const Json::parse_error& e)
{
    const std::string what = e.what();
    const std::size_t at = what.find("at line");
    return at != std::string::npos ? what.substr(at)
                                   : "at byte " + std::to_string(e.byte) + ": " + what;
}

// The parser keeps the last of two equal names silently; a recipe must not
// mean something other than what its reader sees, so either is refused.
Json ParseDocument(std::string_view text)
{
    std::vector<std::unordered_set<std::string>> names;  // one set for each open object
    const Json::parser_callback_t refuseRepeats = [&](int, Json::parse_event_t event,
                                                      Json& parsed) {
        if (event == Json::parse_event_t::object_start)
            names.emplace_back();
        else if (event == Json::parse_event_t::object_end)
            names.pop_back();
        else if (event == Json::parse_event_t::key &&
                 !names.back().insert(parsed.get<std::string>()).second)
            throw RecipeError("the recipe names " + Quoted(parsed.get<std::string>()) +
                              " twice in one object");
        return true;
    };
    try {
        return Json::parse(text.begin(), text.end(), refuseRepeats);
    } catch (const Json::parse_error& e) {
        throw RecipeError("the recipe is not valid JSON " + ParsePosition(e));
    } catch (const Json::out_of_range& e) {  // a number past a double: "1e400"
        const std::string what = e.what();
        throw RecipeError("the recipe is not valid JSON: " + what.substr(what.find(']') + 2));
    }
}

// The optional "calibration": {"unitsPerPixel": 0.05, "unit": "mm"}.
Calibration ReadCalibration(const Json& v)
{
    if (!v.is_object())
        throw RecipeError("\"calibration\" must be an object with \"unitsPerPixel\" and \"unit\", not " +
                          Shown(v));
    for (const auto& member : v.items())
        if (member.key() != "unitsPerPixel" && member.key() != "unit")
            throw RecipeError("unknown setting " + Quoted("calibration." + member.key()));
    const auto scale = v.find("unitsPerPixel");
    const auto unit = v.find("unit");
    if (scale == v.end())
        throw RecipeError("\"calibration.unitsPerPixel\" is missing");
    if (unit == v.end())
        throw RecipeError("\"calibration.unit\" is missing");
    const double unitsPerPixel = scale->is_number() ? scale->get<double>() : 0.0;
    if (!(unitsPerPixel > 0) || !std::isfinite(unitsPerPixel))
        throw RecipeError("\"calibration.unitsPerPixel\" must be a number above 0, not " +
                          Shown(*scale));
    const std::string text = unit->is_string() ? unit->get<std::string>() : std::string();
    if (!unit->is_string() || CalibrationFault(unitsPerPixel, text))
        throw RecipeError("\"calibration.unit\" must be a text of 1 to 16 characters and no "
                          "control character, not " +
                          Shown(*unit));
    return {unitsPerPixel, text};
}

}  // namespace

Recipe ParseRecipe(std::string_view text)
{
    const Json doc = ParseDocument(text);
    if (!doc.is_object())
        throw RecipeError(
            "the recipe must be a JSON object with \"format\", \"version\" and \"steps\", not " +
            Shown(doc));
    const auto format = doc.find("format");
    if (format == doc.end())
        throw RecipeError("\"format\" is missing: this is not a recipe");
    if (!format->is_string() || format->get_ref<const std::string&>() != kFormat)
        throw RecipeError("\"format\" must be " + Quoted(kFormat) + ", not " + Shown(*format));
    const auto version = doc.find("version");
    if (version == doc.end())
        throw RecipeError("\"version\" is missing");
    const bool newer = version->is_number_unsigned() ? version->get<std::uint64_t>() > kVersion
                                                     : version->is_number_integer() &&
                                                           version->get<std::int64_t>() > kVersion;
    if (newer)
        throw RecipeError("the recipe is of version " + Shown(*version) +
                          ", newer than this program reads (" + std::to_string(kVersion) + ")");
    if (IntOf(*version) != kVersion)
        throw RecipeError("\"version\" must be " + std::to_string(kVersion) + ", not " +
                          Shown(*version));
    for (const auto& member : doc.items())
        if (member.key() != "format" && member.key() != "version" && member.key() != "steps" &&
            member.key() != "calibration")
            throw RecipeError("unknown setting " + Quoted(member.key()) +
                              " (a recipe holds \"format\", \"version\" and \"steps\")");
    const auto steps = doc.find("steps");
    if (steps == doc.end())
        throw RecipeError("\"steps\" is missing");
    if (!steps->is_array())
        throw RecipeError("\"steps\" must be a list of steps, not " + Shown(*steps));
    Recipe recipe;
    for (std::size_t i = 0; i < steps->size(); ++i)
        recipe.steps.push_back(ReadStep((*steps)[i], i + 1));
    if (const auto calibration = doc.find("calibration"); calibration != doc.end())
        recipe.calibration = ReadCalibration(*calibration);
    return recipe;
}

std::string WriteRecipe(const Recipe& recipe)
{
    Json steps = Json::array();
    for (std::size_t i = 0; i < recipe.steps.size(); ++i)
        steps.push_back(WriteStep(recipe.steps[i], i + 1));
    Json doc = {{"format", kFormat}, {"version", kVersion}};
    if (recipe.calibration.IsSet()) {
        const Calibration& c = recipe.calibration;
        if (const std::optional<std::string> fault = CalibrationFault(c.unitsPerPixel, c.unit))
            throw RecipeError("\"calibration\": " + *fault);
        doc["calibration"] = {{"unitsPerPixel", c.unitsPerPixel}, {"unit", c.unit}};
    }
    doc["steps"] = std::move(steps);
    return doc.dump(2) + "\n";
}
