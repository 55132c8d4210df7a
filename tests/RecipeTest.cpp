// tests/RecipeTest.cpp
#include "Brightness.h"
#include "Match_pattern.h"
#include "Recipe.h"
#include "TestImages.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

namespace {

struct QuietTrace {
    QuietTrace() { SetMatchTrace(nullptr); }
} quietTrace;

int Between(std::mt19937& rng, int lo, int hi)
{
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

Corners RandomCorners(std::mt19937& rng, int width, int height)
{
    // Mostly inside the picture, sometimes past it, now and then the int extremes.
    const auto one = [&](int side) {
        const int pick = Between(rng, 0, 19);
        return pick == 0 ? INT_MIN : pick == 1 ? INT_MAX : Between(rng, -3, side + 3);
    };
    return {one(width), one(height), one(width), one(height)};
}

float RandomGamma(std::mt19937& rng)
{
    if (rng() % 2 == 0)
        return GammaFromPosition(Between(rng, 1, 100));
    // Any positive finite float, denormals included: its bits read back exactly.
    return std::bit_cast<float>(static_cast<std::uint32_t>(Between(rng, 1, 0x7F7FFFFF)));
}

std::shared_ptr<const SizedImage> RandomTemplate(std::mt19937& rng, int tw, int th)
{
    auto templ = std::make_shared<SizedImage>();
    templ->pixels = RandomImage(rng, tw, th);
    templ->width = tw;
    templ->height = th;
    return templ;
}

// A step of the command with the given index, every setting drawn from its whole range.
CommandSettings RandomCommand(std::mt19937& rng, std::size_t command, int width, int height)
{
    const auto threshold = [&] {
        return ThresholdSettings{Between(rng, 0, 2), Between(rng, 0, 255), Between(rng, 0, 255),
                                 rng() % 2 == 0, Between(rng, -1, 255)};
    };
    switch (command) {
        case 0:
            return FilterSettings{Between(rng, 0, 7), 3 + 2 * Between(rng, 0, 2),
                                  RandomCorners(rng, width, height)};
        case 1: {
            MorphologySettings s{Between(rng, 0, 6),
                                 3 + 2 * Between(rng, 0, 2),
                                 {},
                                 rng() % 4 == 0 ? 1000000000 : Between(rng, 1, 4)};
            for (auto& column : s.element)
                for (auto& cell : column)
                    cell = static_cast<std::uint8_t>(rng() % 2);
            return s;
        }
        case 2:
            return BrightnessSettings{Between(rng, 0, 255), Between(rng, 1, 89), RandomGamma(rng)};
        case 3:
            return threshold();
        case 4:
            return DetectSettings{threshold(), RandomCorners(rng, width, height)};
        case 5: {
            const int angle = rng() % 2 == 0 ? 0 : Between(rng, 1, 360);
            const int least = angle == 0 ? 5 : 8;
            return PatternStep{{angle},
                               RandomTemplate(rng, Between(rng, least, least + 4),
                                              Between(rng, least, least + 4))};
        }
        case 6:
            return EdgeSettings{Between(rng, 0, 2), Between(rng, 0, 2), Between(rng, 0, 255),
                                RandomCorners(rng, width, height)};
        case 7:
            return StraightSettings{Between(rng, 0, 3), Between(rng, 1, 100), Between(rng, 0, 255),
                                    Between(rng, 0, 360), RandomCorners(rng, width, height)};
        default:
            return CircularSettings{
                Between(rng, 0, 1),   Between(rng, 1, 100),        Between(rng, 0, 255),
                Between(rng, 0, 360), Between(rng, 0, 360),        Between(rng, 0, 100),
                Between(rng, 0, 250), Between(rng, -3, width + 3), Between(rng, -3, height + 3)};
    }
}

Recipe RandomRecipe(std::mt19937& rng, int width, int height)
{
    Recipe recipe;
    const int steps = Between(rng, 1, 6);
    for (int i = 0; i < steps; ++i)
        recipe.steps.push_back(
            {RandomCommand(rng, static_cast<std::size_t>(Between(rng, 0, 8)), width, height),
             rng() % 2 == 0});
    return recipe;
}

std::string Document(const std::string& steps)
{
    return R"({"format": "graybench-recipe", "version": 1, "steps": [)" + steps + "]}";
}

}  // namespace

TEST(RecipeJson, RandomRecipesOfEveryCommandRoundTrip)
{
    std::mt19937 rng(2024);  // fixed seed: a failure reproduces
    int seen[std::variant_size_v<CommandSettings>] = {};
    for (int round = 0; round < 400; ++round) {
        const Recipe recipe = RandomRecipe(rng, Between(rng, 1, 40), Between(rng, 1, 40));
        for (const RecipeStep& step : recipe.steps)
            ++seen[step.command.index()];
        const std::string text = WriteRecipe(recipe);
        const Recipe back = ParseRecipe(text);
        ASSERT_TRUE(back == recipe) << "round " << round << "\n" << text;
        ASSERT_EQ(WriteRecipe(back), text) << "round " << round;
    }
    for (int count : seen)
        EXPECT_GT(count, 50);
}

TEST(RecipeJson, WritesTheWindowsTextsAndTheShortestGamma)
{
    MorphologySettings morphology{kProperAutomedian, 5, {}, 0};  // the window's "0" runs once
    morphology.element[1][0] = 1;  // column 1 of row 0: the second character of the first row
    morphology.element[6][5] = 1;
    const Recipe recipe{{{FilterSettings{kLocalAverage, 7, {5, 6, 300, -2}}, true},
                         {morphology, false},
                         {BrightnessSettings{10, 44, GammaFromPosition(1)}, false},
                         {EdgeSettings{2, 1, 30, {1, 2, 3, 4}}, false}}};
    const std::string expected = R"({
  "format": "graybench-recipe",
  "version": 1,
  "steps": [
    {
      "command": "filter",
      "kind": "Local Average",
      "mask": 7,
      "roi": {
        "X1": 5,
        "Y1": 6,
        "X2": 300,
        "Y2": -2
      },
      "copyAfterToBefore": true
    },
    {
      "command": "morphology",
      "kind": "Proper Automedian",
      "mask": 5,
      "element": [
        ".#.....",
        ".......",
        ".......",
        ".......",
        ".......",
        "......#",
        "......."
      ],
      "rounds": 1
    },
    {
      "command": "brightness",
      "brightness": 10,
      "contrast": 44,
      "gamma": 0.1
    },
    {
      "command": "edge",
      "lookFor": "Fist & Last Edge Only",
      "polarity": "Dark to Bright Only",
      "strength": 30,
      "line": {
        "X1": 1,
        "Y1": 2,
        "X2": 3,
        "Y2": 4
      }
    }
  ]
}
)";
    EXPECT_EQ(WriteRecipe(recipe), expected);
    // Every gamma position reads back bit for bit.
    for (int position = 1; position <= 100; ++position) {
        const float gamma = GammaFromPosition(position);
        const Recipe back = ParseRecipe(WriteRecipe({{{BrightnessSettings{128, 45, gamma}}}}));
        const float read = std::get<BrightnessSettings>(back.steps[0].command).gamma;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(read), std::bit_cast<std::uint32_t>(gamma))
            << "position " << position;
    }
}

TEST(ParseRecipe, RefusesWhatItCannotUseWholeNamingStepAndSetting)
{
    const std::string filter = R"({"command": "filter", "kind": "Median", "mask": 3,
        "roi": {"X1": 0, "Y1": 0, "X2": 9, "Y2": 9}})";
    const std::string morphology = R"({"command": "morphology", "kind": "Erosion", "mask": 3,
        "element": ["#######", "#######", "#######", "#######", "#######", "#######",
                    "#######"], "rounds": )";
    const std::string brightness = R"({"command": "brightness", "brightness": 1, "contrast": 45, )";
    const std::string threshold = R"({"command": "threshold", "mode": "Dark Objects", "lower": 1,
        "upper": 2, "automatic": )";
    const std::string pattern = R"({"command": "pattern", "angle": )";
    const std::string circular = R"({"command": "circular", "direction": "INWARD", "gap": 10,
        "strength": 50, "startAngle": 0, "endAngle": 360, "insideRadius": 0, )";
    const struct {
        std::string text, message;
    } cases[] = {
        {R"({"format": "graybench-recipe", "version": 1, "steps": [}])",
         "the recipe is not valid JSON at line 1, column 56: syntax error while parsing value - "
         "unexpected '}'; expected '[', '{', or a literal"},
        {"[1]",
         "the recipe must be a JSON object with \"format\", \"version\" and \"steps\", not [1]"},
        {R"({"version": 1, "steps": []})", "\"format\" is missing: this is not a recipe"},
        {R"({"format": "graybench", "version": 1, "steps": []})",
         "\"format\" must be \"graybench-recipe\", not \"graybench\""},
        {R"({"format": "graybench-recipe", "steps": []})", "\"version\" is missing"},
        {R"({"format": "graybench-recipe", "version": 2, "steps": []})",
         "the recipe is of version 2, newer than this program reads (1)"},
        {R"({"format": "graybench-recipe", "version": "1", "steps": []})",
         "\"version\" must be 1, not \"1\""},
        {R"({"format": "graybench-recipe", "version": 1, "step": []})",
         "unknown setting \"step\" (a recipe holds \"format\", \"version\" and \"steps\")"},
        {R"({"format": "graybench-recipe", "version": 1})", "\"steps\" is missing"},
        {Document("7"), "step 1 must be an object, not 7"},
        {Document(filter + R"(, {"kind": "Median"})"), "step 2: \"command\" is missing"},
        {Document(R"({"command": "blur"})"),
         "step 1: \"command\" must be one of \"filter\", \"morphology\", \"brightness\", "
         "\"threshold\", \"detect\", \"pattern\", \"edge\", \"straight\" or \"circular\", not "
         "\"blur\""},
        {Document(R"({"command": "filter", "kind": "Median", "msk": 3})"),
         "step 1 (filter): unknown setting \"msk\""},
        {Document(R"({"command": "filter", "kind": "Median", "roi": {}})"),
         "step 1 (filter): \"mask\" is missing"},
        {Document(R"({"command": "filter", "kind": "Mean", "mask": 3})"),
         "step 1 (filter): \"kind\" must be one of \"Lowpass\", \"Local Average\", \"Median\", "
         "\"Gaussian\", \"Laplacian\", \"Prewitt\", \"Sobel\" or \"Roberts\", not \"Mean\""},
        {Document(R"({"command": "filter", "kind": "Median", "mask": 4})"),
         "step 1 (filter): \"mask\" must be 3, 5 or 7, not 4"},
        {Document(R"({"command": "filter", "kind": "Median", "mask": 3, "roi": {"X1": 0,
            "Y1": 0, "X2": "9", "Y2": 9}})"),
         "step 1 (filter): \"roi.X2\" must be an integer, not \"9\""},
        {Document(R"({"command": "filter", "kind": "Median", "mask": 3, "roi": {"X1": 0,
            "Y1": 0, "X2": 2147483648, "Y2": 9}})"),
         "step 1 (filter): \"roi.X2\" must be an integer, not 2147483648"},
        {Document(R"({"command": "filter", "kind": "Median", "mask": 3, "roi": {"X1": 0,
            "Y1": 0, "X2": 9}})"),
         "step 1 (filter): \"roi.Y2\" is missing"},
        {Document(R"({"command": "filter", "kind": "Median", "mask": 3, "roi": {"X1": 0,
            "Y1": 0, "X2": 9, "Y2": 9, "Z": 1}})"),
         "step 1 (filter): unknown setting \"roi.Z\""},
        {Document(filter + ", " + filter + ", " + morphology + R"("two"})"),
         "step 3 (morphology): \"rounds\" must be an integer from 1 to 1000000000, not \"two\""},
        {Document(morphology + "0}"),
         "step 1 (morphology): \"rounds\" must be an integer from 1 to 1000000000, not 0"},
        {Document(morphology + "1000000001}"),
         "step 1 (morphology): \"rounds\" must be an integer from 1 to 1000000000, not "
         "1000000001"},
        {Document(morphology + "2.0}"),
         "step 1 (morphology): \"rounds\" must be an integer from 1 to 1000000000, not 2.0"},
        {Document(R"({"command": "morphology", "kind": "Erosion", "mask": 3, "rounds": 1,
            "element": ["#######"]})"),
         "step 1 (morphology): \"element\" must be 7 texts of 7 characters, '#' for a cell in "
         "the element and '.' for one out, not [\"#######\"]"},
        {Document(R"({"command": "morphology", "kind": "Erosion", "mask": 3, "rounds": 1,
            "element": [".......", ".......", "...x...", ".......", ".......", ".......",
                        "......."]})"),
         "step 1 (morphology): \"element row 3\" must be 7 characters '#' or '.', not \"...x...\""},
        {Document(brightness + R"("gamma": 0})"),
         "step 1 (brightness): \"gamma\" must be a number above 0 that a float holds, not 0"},
        {Document(brightness + R"("gamma": 1e39})"),
         "step 1 (brightness): \"gamma\" must be a number above 0 that a float holds, not 1e+39"},
        {Document(brightness + R"("gamma": 1e400})"),
         "the recipe is not valid JSON: number overflow parsing '1e400'"},
        {Document(brightness + R"("gamma": "1"})"),
         "step 1 (brightness): \"gamma\" must be a number above 0 that a float holds, not \"1\""},
        {Document(R"({"command": "brightness", "brightness": 256, "contrast": 45, "gamma": 1})"),
         "step 1 (brightness): \"brightness\" must be an integer from 0 to 255, not 256"},
        {Document(R"({"command": "brightness", "brightness": 1, "contrast": 90, "gamma": 1})"),
         "step 1 (brightness): \"contrast\" must be an integer from 1 to 89, not 90"},
        {Document(threshold + "1}"),
         "step 1 (threshold): \"automatic\" must be true or false, not 1"},
        {Document(threshold + R"(true, "autoThreshold": 256})"),
         "step 1 (threshold): \"autoThreshold\" must be an integer from 0 to 255, not 256"},
        {Document(pattern + "361}"),
         "step 1 (pattern): \"angle\" must be an integer from 0 to 360, not 361"},
        {Document(pattern + R"(0, "template": {"width": 5, "height": 5, "gray": "AAAA"}})"),
         "step 1 (pattern): \"template.gray\" holds 3 bytes, but a 5 x 5 template needs 25"},
        {Document(pattern + R"(0, "template": {"width": 1, "height": 1, "gray": "AA="}})"),
         "step 1 (pattern): \"template.gray\" must be base64 text, not \"AA=\""},
        {Document(pattern + R"(0, "template": {"width": 1, "height": 3, "gray": "AAAA"}})"),
         "step 1 (pattern): \"template\" is 1 x 3 pixels; a search with \"angle\" 0 needs at "
         "least 5 x 5"},
        {Document(pattern + R"(0, "template": {"width": 3, "gray": "AAAA"}})"),
         "step 1 (pattern): \"template.height\" is missing"},
        {Document(R"({"command": "edge", "lookFor": "First Edge Only"})"),
         "step 1 (edge): \"lookFor\" must be one of \"All Edges\", \"Fist Edge Only\" or "
         "\"Fist & Last Edge Only\", not \"First Edge Only\""},
        {Document(R"({"command": "straight", "direction": "UP", "gap": 0})"),
         "step 1 (straight): \"gap\" must be an integer from 1 to 100, not 0"},
        {Document(circular + R"("outsideRadius": 251})"),
         "step 1 (circular): \"outsideRadius\" must be an integer from 0 to 250, not 251"},
        {Document(circular + R"("outsideRadius": 250, "centre": [1, 2]})"),
         "step 1 (circular): \"centre\" must be an object with \"x\" and \"y\", not [1,2]"},
        {Document(filter.substr(0, filter.size() - 1) + R"(, "copyAfterToBefore": "yes"})"),
         "step 1 (filter): \"copyAfterToBefore\" must be true or false, not \"yes\""},
        {Document(R"({"command": "filter", "mask": 3, "mask": 5})"),
         "the recipe names \"mask\" twice in one object"},
    };
    for (const auto& c : cases) {
        try {
            ParseRecipe(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const RecipeError& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << c.text;
        }
    }
}

TEST(WriteRecipe, RefusesSettingsItCouldNotReadBack)
{
    const struct {
        CommandSettings command;
        std::string message;
    } cases[] = {
        {FilterSettings{-1, 3, {}},
         "step 2 (filter): \"kind\" must be one of \"Lowpass\", \"Local Average\", \"Median\", "
         "\"Gaussian\", \"Laplacian\", \"Prewitt\", \"Sobel\" or \"Roberts\", not -1"},
        {MorphologySettings{kErosion, 7, {}, 1000000001},
         "step 2 (morphology): \"rounds\" must be an integer from 1 to 1000000000, not "
         "1000000001"},
        {BrightnessSettings{128, 45, 0.0f},
         "step 2 (brightness): \"gamma\" must be a number above 0 that a float holds, not 0.0"},
        {PatternStep{{0}, nullptr},
         "step 2 (pattern): \"template\" is missing: the step holds no template"},
        {PatternStep{{10}, std::make_shared<SizedImage>(SizedImage{NewGrayImage(7, 9), 7, 9})},
         "step 2 (pattern): \"template\" is 7 x 9 pixels; a search with \"angle\" above 0 needs "
         "at least 8 x 8"},
    };
    for (const auto& c : cases) {
        try {
            WriteRecipe({{{ThresholdSettings{}}, {c.command}}});
            ADD_FAILURE() << "written: " << c.message;
        } catch (const RecipeError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

namespace {

// The numbers two results of one command hold, and whether they are the same.
bool SameResult(const CommandResult& a, const CommandResult& b)
{
    if (a.index() != b.index() || ReportOf(a).outcome != ReportOf(b).outcome ||
        ReportOf(a).message != ReportOf(b).message)
        return false;
    return std::visit(
        [&](const auto& x) {
            const auto& y = std::get<std::decay_t<decltype(x)>>(b);
            using R = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<R, FilterResult>)
                return x.region == y.region;
            else if constexpr (std::is_same_v<R, MorphologyResult>)
                return x.rounds == y.rounds;
            else if constexpr (std::is_same_v<R, BrightnessResult>)
                return x.table == y.table;
            else if constexpr (std::is_same_v<R, ThresholdResult>)
                return x.threshold == y.threshold && x.upper == y.upper;
            else if constexpr (std::is_same_v<R, DetectResult>)
                return x.region == y.region && x.threshold == y.threshold && x.upper == y.upper &&
                       x.objects == y.objects;
            else if constexpr (std::is_same_v<R, PatternResult>)  // floats compared bit for bit
                return x.rows.size() == y.rows.size() &&
                       (x.rows.empty() ||  // memcmp must not see the null data() of no rows
                        std::memcmp(x.rows.data(), y.rows.data(),
                                    x.rows.size() * sizeof(MatchRow)) == 0);
            else if constexpr (std::is_same_v<R, EdgeResult>)
                return x.count == y.count;
            else if constexpr (std::is_same_v<R, CircularResult>)
                return x.votes == y.votes && x.ok == y.ok && x.centreX == y.centreX &&
                       x.centreY == y.centreY && x.radius == y.radius;
            else
                return true;
        },
        a);
}

}  // namespace

TEST(RunRecipe, GivesThePixelsAndNumbersOfTheCommandsRunByHand)
{
    std::mt19937 rng(777);
    int refused = 0, ran[std::variant_size_v<CommandSettings>] = {};
    for (int round = 0; round < 60; ++round) {
        const int width = Between(rng, 1, 48), height = Between(rng, 1, 48);
        const GrayImage picture = RandomImage(rng, width, height);
        const GrayImage untouched = Copy(picture, width, height);
        // Through the file and back, as a saved recipe runs.
        const Recipe recipe = ParseRecipe(WriteRecipe(RandomRecipe(rng, width, height)));

        GrayImage before = Copy(picture, width, height), after = NewGrayImage(width, height);
        std::vector<CommandResult> byHand;
        std::string refusal;
        for (std::size_t i = 0; i < recipe.steps.size() && refusal.empty(); ++i) {
            byHand.push_back(RunCommand(before, after, width, height, recipe.steps[i].command));
            if (const CommandReport& r = ReportOf(byHand.back()); !r.Ran())
                refusal = "step " + std::to_string(i + 1) + " (" +
                          std::string(CommandName(recipe.steps[i].command)) + "): " + r.message;
            else if (recipe.steps[i].copyAfterToBefore)
                CopyGrayImage(after, before, width, height);
        }
        if (!refusal.empty()) {  // a template larger than the picture
            ++refused;
            try {
                RunRecipe(recipe, picture, width, height);
                ADD_FAILURE() << "round " << round << " ran past " << refusal;
            } catch (const RecipeError& e) {
                EXPECT_EQ(std::string(e.what()), refusal) << "round " << round;
            }
            continue;
        }
        const RecipeRun run = RunRecipe(recipe, picture, width, height);
        ASSERT_EQ(FirstDifference(run.before, before, width, height), "") << "round " << round;
        ASSERT_EQ(FirstDifference(run.after, after, width, height), "") << "round " << round;
        ASSERT_EQ(run.results.size(), byHand.size());
        for (std::size_t i = 0; i < byHand.size(); ++i)
            EXPECT_TRUE(SameResult(run.results[i], byHand[i]))
                << "round " << round << " step " << i + 1;
        ASSERT_TRUE(SameImage(picture, untouched, width, height));
        for (const RecipeStep& step : recipe.steps)
            ++ran[step.command.index()];
    }
    EXPECT_LT(refused, 30);  // most recipes run to the end
    for (int count : ran)
        EXPECT_GE(count, 5);  // every command ran in several recipes
}

TEST(RunRecipe, StopsAtTheFirstStepThatDoesNotRun)
{
    const Recipe tiny{
        {{FilterSettings{}, true},
         {PatternStep{{0}, std::make_shared<SizedImage>(SizedImage{Filled(3, 4, 9), 3, 4})}},
         {FilterSettings{}}}};
    const GrayImage picture = Filled(20, 10, 50);
    try {
        RunRecipe(tiny, picture, 20, 10);
        ADD_FAILURE() << "a 3 x 4 template was searched for";
    } catch (const RecipeError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "step 2 (pattern): The template is 3 x 4 pixels. A search with Angle 0 needs a "
                  "template of at least 5 x 5 pixels.");
    }
    try {
        RunRecipe(tiny, GrayImage{}, 0, 0);
        ADD_FAILURE() << "ran without a picture";
    } catch (const RecipeError& e) {
        EXPECT_EQ(std::string(e.what()), "step 1 (filter): there is no picture to run on");
    }
    const RecipeRun none = RunRecipe({}, picture, 20, 10);  // no steps: Before and After as given
    EXPECT_TRUE(SameImage(none.before, picture, 20, 10));
    EXPECT_TRUE(SameImage(none.after, picture, 20, 10));
    EXPECT_TRUE(none.results.empty());
}

TEST(Base64, RoundTripsAndRefusesEveryOtherSpelling)
{
    const auto bytes = [](std::string_view s) {
        return std::vector<std::uint8_t>(s.begin(), s.end());
    };
    const std::pair<std::string_view, std::string_view> known[] = {
        {"", ""},        {"f", "Zg=="},        {"fo", "Zm8="},
        {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"\xff\xfe\x80", "//6A"}};
    for (const auto& [plain, coded] : known) {
        EXPECT_EQ(EncodeBase64(bytes(plain)), coded);
        EXPECT_EQ(DecodeBase64(coded), bytes(plain)) << coded;
    }
    for (std::string_view bad :
         {"Zg=", "Zh==", "Zm9=", "Z===", "====", "Zm=v", "Zm9v\n", "Zg==Zg==", "Zm 9"})
        EXPECT_EQ(DecodeBase64(bad), std::nullopt) << bad;
    std::mt19937 rng(99);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(Between(rng, 0, 40)));
        for (auto& b : data)
            b = static_cast<std::uint8_t>(rng());
        EXPECT_EQ(DecodeBase64(EncodeBase64(data)), data);
    }
}

TEST(SampleRecipe, InspectPartsReadsAndWritesBackTheSame)
{
    std::ifstream file(GRAYBENCH_SAMPLES_DIR "/inspect-parts.recipe.json");
    ASSERT_TRUE(file) << "samples/inspect-parts.recipe.json is missing";
    std::stringstream text;
    text << file.rdbuf();
    const Recipe recipe = ParseRecipe(text.str());
    std::vector<std::string_view> names;
    for (const RecipeStep& step : recipe.steps)
        names.push_back(CommandName(step.command));
    EXPECT_EQ(names, (std::vector<std::string_view>{"filter", "threshold", "detect"}));
    EXPECT_EQ(WriteRecipe(recipe), text.str());  // the sample is written as the program writes
}
