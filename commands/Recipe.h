// commands/Recipe.h: a recipe is a list of commands with their settings, saved
// as a small versioned JSON file and run again on any Before image.
#pragma once
#include "Command.h"
#include "ResultsTable.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct RecipeStep {
    CommandSettings command;
    // The user pressed "Copy After to Before" after this step: the next step
    // starts from this step's After image.
    bool copyAfterToBefore = false;
    friend bool operator==(const RecipeStep&, const RecipeStep&) = default;
};

struct Recipe {
    std::vector<RecipeStep> steps;
    // The scale the results were read in; written only when set. A recipe run
    // from the window makes it the session's.
    Calibration calibration{};
    friend bool operator==(const Recipe&, const Recipe&) = default;
};

// Why a recipe cannot be read or run. The text names the step (counted from 1)
// and the setting: "step 3 (morphology): "rounds" must be an integer from 1 to
// 1000000000, not "two"".
class RecipeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file's text; throws RecipeError for anything it cannot use whole: a
// format or version it does not know, an unknown command, a missing setting, a
// value of the wrong type or out of range.
Recipe ParseRecipe(std::string_view text);
// The text ParseRecipe reads back to the same recipe.
std::string WriteRecipe(const Recipe& recipe);

// Every step's result and the images the last step left.
struct RecipeRun {
    GrayImage before, after;  // width x height
    std::vector<CommandResult> results;  // one per step run
};

// Runs the steps in order on a copy of before. A step that does not run (a
// refusal, a cancelled search) stops the run with RecipeError naming the step
// and its reason; the caller's images are never touched.
// work: the tools' tables for a run on its own thread (see CommandWork).
RecipeRun RunRecipe(const Recipe& recipe, const GrayImage& before, int width, int height,
                    const SearchProgress& progress = {}, CommandWork* work = nullptr);

// Base64 with '=' padding, as a recipe carries a template's gray bytes.
std::string EncodeBase64(const std::vector<std::uint8_t>& bytes);
// The bytes of canonical base64 text (the only spelling EncodeBase64 gives: no
// line breaks, padding only at the end, unused bits zero); nothing otherwise.
std::optional<std::vector<std::uint8_t>> DecodeBase64(std::string_view text);
