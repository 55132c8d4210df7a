// batch/BatchRun.cpp
#include "BatchRun.h"

#include "BatchMeasures.h"
#include "BatchOptions.h"
#include "ByteNames.h"
#include "PictureFiles.h"
#include "WhyNotRun.h"

#include <filesystem>
#include <string>

namespace {

BatchRow ErrorRow(const std::string& picture, std::string message)
{
    BatchRow row;
    row.picture = picture;
    row.ok = false;
    row.message = std::move(message);
    return row;
}

BatchRow StepRow(const std::string& picture, int step, const RecipeStep& recipeStep,
                 CommandResult result)
{
    BatchRow row;
    row.picture = picture;
    row.step = step;
    row.command = std::string(CommandName(recipeStep.command));
    row.result = std::move(result);
    return row;
}

}  // namespace

bool PictureOutcome::Failed() const
{
    for (const BatchRow& row : rows)
        if (!row.ok)
            return true;
    return false;
}

std::vector<BatchRow> RunSteps(const Recipe& recipe, const std::string& picture,
                               const GrayImage& before, int width, int height,
                               CommandWork& work, GrayImage& after, const StepDone& stepDone)
{
    std::vector<BatchRow> rows;
    GrayImage stepBefore = NewGrayImage(width, height);
    after = NewGrayImage(width, height);
    if (!stepBefore || !after) {
        rows.push_back(ErrorRow(picture, "not enough memory for the Before and After images"));
        return rows;
    }
    CopyGrayImage(before, stepBefore, width, height);
    CopyGrayImage(before, after, width, height);
    for (std::size_t i = 0; i < recipe.steps.size(); ++i) {
        const RecipeStep& step = recipe.steps[i];
        CommandResult result =
            RunCommand(stepBefore, after, width, height, step.command, {}, &work);
        const int number = static_cast<int>(i) + 1;
        if (const CommandReport& report = ReportOf(result); !report.Ran()) {
            BatchRow row = StepRow(picture, number, step, std::move(result));
            row.ok = false;
            row.message = "step " + std::to_string(number) + " (" + row.command +
                          "): " + WhyNotRun(ReportOf(*row.result));
            row.result.reset();  // it measured nothing
            rows.push_back(std::move(row));
            return rows;
        }
        BatchRow row = StepRow(picture, number, step, std::move(result));
        row.measures = MeasureStep(stepBefore, width, height, step.command, *row.result);
        rows.push_back(std::move(row));
        if (stepDone)
            stepDone(number, after);
        if (step.copyAfterToBefore)
            CopyGrayImage(after, stepBefore, width, height);
    }
    return rows;
}

PictureOutcome RunPicture(const Recipe& recipe, const std::string& path,
                          const BatchPictureOptions& options, CommandWork& work)
{
    PictureOutcome outcome;
    GrayImage gray;
    int width = 0, height = 0;
    try {
        const QImage picture = ReadPictureAtBytes(path);
        width = picture.width();
        height = picture.height();
        gray = GrayFromPicture(picture);
        if (!gray)
            throw PictureError(path + ": not enough memory for its gray image");
    } catch (const PictureError& e) {
        outcome.rows.push_back(ErrorRow(path, e.what()));
        return outcome;
    }

    const std::filesystem::path dir(options.outDir);
    try {
        if (options.steps) {
            // A failed write keeps the steps' rows: it is reported after them.
            std::string writeError;
            GrayImage after;
            outcome.rows = RunSteps(
                recipe, path, gray, width, height, work, after,
                [&](int step, const GrayImage& image) {
                    try {
                        WritePictureAtBytes(PictureFromGray(image, width, height),
                                  dir / OutputName(path, ".step" + std::to_string(step) + ".png"));
                    } catch (const PictureError& e) {
                        if (writeError.empty())
                            writeError = e.what();
                    }
                });
            if (!writeError.empty())
                outcome.rows.push_back(ErrorRow(path, writeError));
            else if (!outcome.Failed())
                WritePictureAtBytes(PictureFromGray(after, width, height), dir / OutputName(path, ".after.png"));
            return outcome;
        }
        // Step by step rather than RunRecipe: measuring needs each step's Before.
        GrayImage after;
        outcome.rows = RunSteps(recipe, path, gray, width, height, work, after);
        if (!options.outDir.empty() && !outcome.Failed())
            WritePictureAtBytes(PictureFromGray(after, width, height), dir / OutputName(path, ".after.png"));
    } catch (const PictureError& e) {
        outcome.rows.push_back(ErrorRow(path, e.what()));
    }
    return outcome;
}
