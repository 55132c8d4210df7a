// batch/BatchRun.h: one picture through a recipe, as the batch runner does it.
#pragma once
#include "Measurements.h"
#include "Recipe.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// One row of the results: a step of a picture, or the picture itself (step 0)
// when it could not be read or its pictures could not be written.
struct BatchRow {
    std::string picture;
    int step = 0;              // from 1; 0: the row is about the picture
    std::string command;       // as recipes name it; empty for a picture row
    bool ok = true;
    std::string message;       // why it failed; empty when ok
    std::optional<CommandResult> result;  // the step's numbers when it ran
    CommandMeasures measures;  // what MeasureStep gives for a step that ran, else monostate
};

struct PictureOutcome {
    std::vector<BatchRow> rows;
    bool Failed() const;
};

struct BatchPictureOptions {
    std::string outDir;  // empty: write nothing
    bool steps = false;  // write every step's After too
};

// Loads path with the window's loader and gray rule, runs the recipe with
// work's tables, and writes the After pictures asked for. Never throws for a
// bad picture, a refused step or a failed write: each becomes an error row.
PictureOutcome RunPicture(const Recipe& recipe, const std::string& path,
                          const BatchPictureOptions& options, CommandWork& work);

// The steps one by one, as RunRecipe runs them (copyAfterToBefore included),
// each measured from its own Before, handing each step's After to stepDone. Stops at the first step that does
// not run, with its row. Returns the last After in after.
using StepDone = std::function<void(int step, const GrayImage& after)>;
std::vector<BatchRow> RunSteps(const Recipe& recipe, const std::string& picture,
                               const GrayImage& before, int width, int height,
                               CommandWork& work, GrayImage& after,
                               const StepDone& stepDone = {});
