// commands/RecipeRun.cpp: running a recipe's steps.
#include "Recipe.h"
#include "WhyNotRun.h"

std::string WhyNotRun(const CommandReport& report)
{
    if (!report.message.empty())
        return report.message;
    switch (report.outcome) {
    case Outcome::Ran:
        break;
    case Outcome::NoPicture:
        return "there is no picture to run on";
    case Outcome::Refused:
        return "the command refused its settings";
    case Outcome::Cancelled:
        return "cancelled";
    }
    return {};
}

RecipeRun RunRecipe(const Recipe& recipe, const GrayImage& before, int width, int height,
                    const SearchProgress& progress, CommandWork* work)
{
    RecipeRun run;
    if (HasPicture(before, before, width, height)) {
        run.before = NewGrayImage(width, height);
        run.after = NewGrayImage(width, height);
        if (!run.before || !run.after)
            throw RecipeError("not enough memory for the recipe's Before and After images");
        CopyGrayImage(before, run.before, width, height);
        // Every command rewrites all of After; the copy only gives it defined pixels.
        CopyGrayImage(before, run.after, width, height);
    }
    for (std::size_t i = 0; i < recipe.steps.size(); ++i) {
        const RecipeStep& step = recipe.steps[i];
        CommandResult result =
            RunCommand(run.before, run.after, width, height, step.command, progress, work);
        if (const CommandReport& report = ReportOf(result); !report.Ran())
            throw RecipeError("step " + std::to_string(i + 1) + " (" +
                              std::string(CommandName(step.command)) +
                              "): " + WhyNotRun(report));
        run.results.push_back(std::move(result));
        if (step.copyAfterToBefore)
            CopyGrayImage(run.after, run.before, width, height);
    }
    return run;
}
