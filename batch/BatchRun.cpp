// batch/BatchRun.cpp
#include "BatchRun.h"

#include "BatchMeasures.h"
#include "BatchOptions.h"
#include "PictureFiles.h"
#include "WhyNotRun.h"

#include <QFile>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

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

// Qt names files by text. A name whose bytes are no text in the locale's
// encoding (a Latin-1 name on a UTF-8 system) does not come back from its text:
// "p\xe9.png" becomes "p\uFFFD.png", which is another file, and two such names
// become the same one.
bool NameSurvivesText(const std::string& path)
{
    return QFile::encodeName(QFile::decodeName(path.c_str())).toStdString() == path;
}

// A private folder, gone with the object.
struct ScratchFolder {
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "graybench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw PictureError("Cannot make a scratch folder for a picture's name");
        path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

// Such a picture is read through a link whose name is the name's text (so the
// messages name it as before) and which points at the file's own bytes.
QImage ReadPicture(const std::string& path)
{
    if (NameSurvivesText(path))
        return ReadPictureFile(QFile::decodeName(path.c_str()));
    const ScratchFolder scratch;
    const QString text = QFile::decodeName(std::filesystem::path(path).filename().c_str());
    const std::filesystem::path link = scratch.path / QFile::encodeName(text).toStdString();
    std::error_code error;
    std::filesystem::create_symlink(std::filesystem::absolute(path, error), link, error);
    if (error)
        throw PictureError("Cannot read the picture \"" + text.toStdString() + "\": " + error.message());
    return ReadPictureFile(QFile::decodeName(link.c_str()));
}

// Such an output is written under a text name beside it, then renamed to its
// own bytes.
void WriteGray(const GrayImage& image, int width, int height, const std::filesystem::path& path)
{
    const QImage picture = PictureFromGray(image, width, height);
    if (NameSurvivesText(path.string())) {
        WritePictureFile(picture, QFile::decodeName(path.c_str()));
        return;
    }
    static std::atomic<unsigned> written_count{0};  // jobs write side by side
    const std::filesystem::path written =
        path.parent_path() / (".graybench-" + std::to_string(::getpid()) + "-" +
                              std::to_string(written_count++) + path.extension().string());
    WritePictureFile(picture, QFile::decodeName(written.c_str()));
    if (std::rename(written.c_str(), path.c_str()) != 0) {
        const std::error_code error(errno, std::generic_category());
        std::error_code ignored;
        std::filesystem::remove(written, ignored);
        throw PictureError("Cannot save the picture \"" +
                           QFile::decodeName(path.filename().c_str()).toStdString() +
                           "\": " + error.message());
    }
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
        const QImage picture = ReadPicture(path);
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
                        WriteGray(image, width, height,
                                  dir / OutputName(path, ".step" + std::to_string(step) + ".png"));
                    } catch (const PictureError& e) {
                        if (writeError.empty())
                            writeError = e.what();
                    }
                });
            if (!writeError.empty())
                outcome.rows.push_back(ErrorRow(path, writeError));
            else if (!outcome.Failed())
                WriteGray(after, width, height, dir / OutputName(path, ".after.png"));
            return outcome;
        }
        // Step by step rather than RunRecipe: measuring needs each step's Before.
        GrayImage after;
        outcome.rows = RunSteps(recipe, path, gray, width, height, work, after);
        if (!options.outDir.empty() && !outcome.Failed())
            WriteGray(after, width, height, dir / OutputName(path, ".after.png"));
    } catch (const PictureError& e) {
        outcome.rows.push_back(ErrorRow(path, e.what()));
    }
    return outcome;
}
