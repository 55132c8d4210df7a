// workspace/Unit1History.cpp: the one door through which the workspace
// changes, the undo history, and recipes made from it.
//
// The history keeps pictures only where Before changes (Load, a camera grab,
// Copy After to Before): each such entry keeps the Before image it left. A
// command keeps only its settings: it always starts from Before, so its After
// image is made again by running it once more. The state at any point of the
// history is rebuilt from the last entry that changed Before and the last
// command after it. The entry Before was last set from shares the workspace's
// own image rather than a copy of it (64 MB less for a large picture, and one
// copy less for each Load), and takes the image when Before is replaced.
#include "Unit1.h"
#include "Conversions.h"
#include "Dialogs.h"
#include "Measurements.h"
#include "Parallel.h"
#include "PictureFiles.h"
#include "ResultsPane.h"
#include "TextFiles.h"

#include <QFile>
#include <algorithm>
#include <QFileInfo>
#include <QMenuBar>

namespace {

// The entries that keep the Before image they left; the state after any entry
// is made again from the last of these before it.
bool KeepsBefore(TForm1::WorkspaceChange kind)
{
    return kind != TForm1::WorkspaceChange::Command && kind != TForm1::WorkspaceChange::ClearBefore;
}

std::size_t PictureBytes(const QImage& picture)
{
    return picture.isNull() ? 0 : static_cast<std::size_t>(picture.sizeInBytes());
}

GrayImage CopyOf(const GrayImage& image, int width, int height)
{
    GrayImage copy = NewGrayImage(width, height);
    if (copy)
        CopyGrayImage(image, copy, width, height);
    return copy;
}

}  // namespace

std::size_t TForm1::HistoryEntry::Bytes() const
{
    std::size_t bytes = sizeof(HistoryEntry) + PictureBytes(picture);
    if (before || beforeInWorkspace)  // shared, it is still what undo needs kept
        bytes += static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const auto templateBytes = [](const CommandSettings& settings) -> std::size_t {
        const auto* step = std::get_if<PatternStep>(&settings);
        return step != nullptr && step->templ ? static_cast<std::size_t>(step->templ->width) *
                                                    static_cast<std::size_t>(step->templ->height)
                                              : 0;
    };
    if (command)
        bytes += templateBytes(*command);
    if (recipe)
        for (const RecipeStep& step : recipe->steps)
            bytes += sizeof(RecipeStep) + templateBytes(step.command);
    return bytes;
}

std::size_t TForm1::HistoryBytes() const
{
    std::size_t bytes = 0;
    std::vector<const ShownResults*> lists;
    for (const HistoryEntry& entry : History) {
        bytes += entry.Bytes();
        if (entry.results)
            lists.push_back(entry.results.get());
    }
    std::sort(lists.begin(), lists.end());
    lists.erase(std::unique(lists.begin(), lists.end()), lists.end());
    for (const ShownResults* list : lists)
        bytes += ShownResultsBytes(*list);
    return bytes;
}

// ---- The one door ----------------------------------------------------------

void TForm1::ReplaceWorkspace(WorkspaceChange change, QImage picture, GrayImage before, int width,
                              int height, const QString& title)
{
    if (!before)
        throw PictureError(QStringLiteral("Not enough memory for the %1 x %2 picture")
                               .arg(width)
                               .arg(height)
                               .toStdString());
    HistoryEntry entry;
    entry.kind = change;
    // Only a loaded file gives the tool window a picture to show.
    entry.label = change == WorkspaceChange::Load ? QStringLiteral("Load") : QStringLiteral("Grab");
    entry.picture = picture;
    entry.beforeInWorkspace = true;
    entry.width = width;
    entry.height = height;
    entry.title = title;
    SetAfter({});  // the former After goes with its Before, not copied first
    ReturnLentBefore();
    BeforeImage = std::move(before);
    SetAfterToBefore();
    setWindowTitle(title);
    Image1->SetPicture(picture);
    if (change == WorkspaceChange::Load) {
        BeforePicture = picture;
        Image2->SetPicture(std::move(picture));
    } else {
        Image1->SetPixelFormat24();
        BeforePicture = QImage();
        Image2->FollowGray(BeforeImage, width, height);
    }
    Image2->SetPixelFormat24();
    if (ShowBeforeAsGray1 != nullptr && ShowBeforeAsGray1->isChecked())
        ShowGrayIn(Image2, BeforeImage);
    if (change == WorkspaceChange::Load)
        Button14->setEnabled(true);
    entry.region = CornersAsShown();
    Record(std::move(entry));
}

void TForm1::CopyAfterToBefore()
{
    if (!BeforeImage || !AfterImage()) {
        ShowBefore();
        return;
    }
    const int width = ImageWidth(), height = ImageHeight();
    // A new Before: the former one may be what the history keeps.
    GrayImage copy = CopyOf(AfterImage(), width, height);
    if (!copy)
        throw PictureError("Not enough memory to copy After to Before");
    ReturnLentBefore();
    BeforeImage = std::move(copy);
    ShowBefore();
    HistoryEntry entry;
    entry.kind = WorkspaceChange::CopyAfterToBefore;
    entry.label = QStringLiteral("Copy After to Before");
    entry.beforeInWorkspace = true;
    entry.width = width;
    entry.height = height;
    entry.title = windowTitle();
    entry.region = CornersAsShown();
    Record(std::move(entry));
}

// "Clear Before" shows the Before image as the tools see it, in gray, in place
// of the picture it was loaded from (and of any mark on the view).
void TForm1::ClearBefore()
{
    if (!BeforeImage)
        return;
    ShowBefore();
    HistoryEntry entry;
    entry.kind = WorkspaceChange::ClearBefore;
    entry.label = QStringLiteral("Clear Before");
    entry.width = ImageWidth();
    entry.height = ImageHeight();
    entry.title = windowTitle();
    entry.region = CornersAsShown();
    Record(std::move(entry));
}

// ---- The history -----------------------------------------------------------

void TForm1::Record(HistoryEntry entry)
{
    History.erase(History.begin() + HistoryPosition, History.end());  // no redo past a new change
    // A command's own numbers are set once the pane lists them; until then
    // the entry keeps what the pane lists now.
    entry.results = ResultsPane1->Current();
    History.push_back(std::move(entry));
    HistoryPosition = static_cast<int>(History.size());
    TrimHistory();
    UpdateUndoActions();
}

void TForm1::KeepShownResults()
{
    History.back().results = ResultsPane1->Current();
    TrimHistory();
}

void TForm1::TrimHistory()
{
    // Over the limit, the oldest entries' results go first (a detection on a
    // large picture lists millions of objects): a step's numbers come back by
    // running it again, its pictures would not. Undo still brings back those
    // steps; the pane says their numbers were not kept. What it lists now stays.
    // The total is counted once and lowered as lists go: counting it again
    // for each entry would cost a long session's every command the square of
    // its length.
    const ShownResults* shown = ResultsPane1->Current().get();
    std::size_t bytes = HistoryBytes();
    for (auto it = History.begin(); it != History.end() && bytes > HistoryLimitBytes; ++it) {
        if (!it->results || it->results.get() == shown)
            continue;
        const std::shared_ptr<const ShownResults> list = std::move(it->results);  // leaves it empty
        it->resultsLetGo = true;
        // Entries in a row may share one list: it counts until the last goes.
        if (std::none_of(History.begin(), History.end(),
                         [&](const HistoryEntry& e) { return e.results == list; }))
            bytes -= ShownResultsBytes(*list);
    }
    // Still over, the oldest entries go, down to an entry that changed
    // Before: the states after it can still be made again.
    while (HistoryBytes() > HistoryLimitBytes && History.size() > 1) {
        auto next = std::find_if(History.begin() + 1, History.end(),
                                 [](const HistoryEntry& e) { return KeepsBefore(e.kind); });
        if (next == History.end() || next == History.end() - 1)
            break;  // the latest picture stays, whatever it costs
        HistoryPosition -= static_cast<int>(next - History.begin());
        History.erase(History.begin(), next);
    }
}

void TForm1::SetAfter(GrayImage after)
{
    afterImage_ = std::move(after);
    afterIsBefore_ = false;
}

void TForm1::SetAfterToBefore()
{
    afterImage_ = {};
    afterIsBefore_ = static_cast<bool>(BeforeImage);
}

GrayImage& TForm1::AfterImage()
{
    if (afterIsBefore_) {
        const int width = ImageWidth(), height = ImageHeight();
        GrayImage copy = NewGrayImage(width, height);
        if (!copy)
            throw PictureError(QStringLiteral("Not enough memory for the %1 x %2 After image")
                                   .arg(width)
                                   .arg(height)
                                   .toStdString());
        // On two cores: a large picture's is 64 MB.
        ParallelFor(0, width, 512, [&](int lo, int hi) {
            for (int x = lo; x < hi; ++x)
                std::memcpy(copy[x], BeforeImage[x], static_cast<std::size_t>(height));
        });
        SetAfter(std::move(copy));
    }
    return afterImage_;
}

// After that is still to be copied from Before is copied first: callers about
// to replace After too drop it beforehand (SetAfter({})).
void TForm1::ReturnLentBefore()
{
    AfterImage();
    for (HistoryEntry& entry : History)
        if (entry.beforeInWorkspace) {
            entry.before = std::move(BeforeImage);
            entry.beforeInWorkspace = false;
        }
    BeforeImage = {};
}

void TForm1::RecordCommand(const CommandSettings& settings)
{
    HistoryEntry entry;
    entry.kind = WorkspaceChange::Command;
    entry.label = QString::fromStdString(CommandTitle(settings));
    entry.command = settings;
    entry.width = ImageWidth();
    entry.height = ImageHeight();
    entry.title = windowTitle();
    entry.region = CornersAsShown();
    Record(std::move(entry));
}

// The corners for the history: a label that holds no number counts as 0, since
// recording must never fail after a change was made.
Corners TForm1::CornersAsShown() const
{
    return {Label11->text().toInt(), Label12->text().toInt(), Label13->text().toInt(),
            Label14->text().toInt()};
}

void TForm1::UpdateUndoActions()
{
    if (Undo1 == nullptr)
        return;
    const bool canUndo = HistoryPosition > 0, canRedo = HistoryPosition < static_cast<int>(History.size());
    Undo1->setEnabled(canUndo);
    Redo1->setEnabled(canRedo);
    // The & marks the mnemonic; one in a label (a file name) is doubled to show as itself.
    const auto label = [this](int k) {
        return QString(History[static_cast<std::size_t>(k)].label).replace(u'&', QStringLiteral("&&"));
    };
    Undo1->setText(canUndo ? QStringLiteral("&Undo %1").arg(label(HistoryPosition - 1))
                           : QStringLiteral("&Undo"));
    Redo1->setText(canRedo ? QStringLiteral("&Redo %1").arg(label(HistoryPosition))
                           : QStringLiteral("&Redo"));
}

void TForm1::Undo1Click()
{
    // The region stays the one the undone change was made with: commands do
    // not move it, so it is also the region of the state before.
    if (HistoryPosition > 0)
        RestoreHistory(HistoryPosition - 1,
                       History[static_cast<std::size_t>(HistoryPosition - 1)].region);
}

void TForm1::Redo1Click()
{
    if (HistoryPosition < static_cast<int>(History.size()))
        RestoreHistory(HistoryPosition + 1,
                       History[static_cast<std::size_t>(HistoryPosition)].region);
}

// The After view of the state after the first `position` entries, when it
// shows a picture rather than the After image: after a Load or a grab with no
// command since. A copy of After into Before leaves the After view alone.
QImage TForm1::AfterPictureAt(int position) const
{
    for (int i = position - 1; i >= 0; --i) {
        const HistoryEntry& e = History[static_cast<std::size_t>(i)];
        if (e.kind == WorkspaceChange::Command || e.kind == WorkspaceChange::Recipe)
            return {};
        if (e.kind == WorkspaceChange::Load || e.kind == WorkspaceChange::Grab)
            return e.picture;
    }
    return {};
}

void TForm1::RestoreHistory(int position, const Corners& region)
{
    int keyframe = position - 1;
    while (keyframe >= 0 && !KeepsBefore(History[static_cast<std::size_t>(keyframe)].kind))
        --keyframe;
    if (keyframe < 0) {  // back before the first picture
        SetAfter({});
        ReturnLentBefore();
        BeforePicture = QImage();
        Image1->SetPicture(QImage());
        Image2->SetPicture(QImage());
        setWindowTitle(QStringLiteral("Form1"));
    } else {
        HistoryEntry& key = History[static_cast<std::size_t>(keyframe)];
        const int width = key.width, height = key.height;
        // The keyframe's Before image becomes the workspace's, shared, not copied.
        const GrayImage& kept = key.beforeInWorkspace ? BeforeImage : key.before;
        GrayImage after = CopyOf(kept, width, height);
        if (!after)
            throw PictureError("Not enough memory to undo");
        // The last command since the keyframe made the After image; a recipe
        // keeps its own last command.
        const HistoryEntry* made = key.command ? &key : nullptr;
        bool cleared = false;  // "Clear Before" showed the Before image in gray
        for (int i = keyframe + 1; i < position; ++i) {
            const HistoryEntry& e = History[static_cast<std::size_t>(i)];
            if (e.kind == WorkspaceChange::Command)
                made = &e;
            cleared = cleared || e.kind == WorkspaceChange::ClearBefore;
        }
        if (made != nullptr)
            RunCommand(kept, after, width, height, *made->command);
        SetAfter(std::move(after));
        if (!key.beforeInWorkspace) {
            GrayImage before = std::move(key.before);
            ReturnLentBefore();
            BeforeImage = std::move(before);
            key.beforeInWorkspace = true;
        }
        setWindowTitle(key.title);
        BeforePicture = key.kind == WorkspaceChange::Load && !cleared ? key.picture : QImage();
        if (BeforePicture.isNull())
            Image2->FollowGray(BeforeImage, width, height);
        else
            Image2->SetPicture(BeforePicture);
        Image2->SetPixelFormat24();
        if (const QImage picture = made != nullptr ? QImage() : AfterPictureAt(position);
            !picture.isNull()) {
            Image1->SetPicture(picture);
            if (key.kind == WorkspaceChange::Grab)
                Image1->SetPixelFormat24();
        } else {
            Image1->FollowGray(afterImage_, width, height);
        }
        if (ShowBeforeAsGray1 != nullptr && ShowBeforeAsGray1->isChecked())
            ShowGrayIn(Image2, BeforeImage);
    }
    if (position > 0 && History[static_cast<std::size_t>(position - 1)].resultsLetGo)
        ResultsPane1->Restore(nullptr, QStringLiteral("Results not kept: the undo history reached its memory limit"));
    else
        ResultsPane1->Restore(position > 0 ? History[static_cast<std::size_t>(position - 1)].results : nullptr);
    Button14->setEnabled(std::any_of(History.begin(), History.begin() + position,
                                     [](const HistoryEntry& e) { return e.kind == WorkspaceChange::Load; }));
    SetCorners(region);
    HistoryPosition = position;
    UpdateUndoActions();
}

// ---- Recipes ---------------------------------------------------------------

Recipe TForm1::RecipeFromHistory() const
{
    Recipe recipe;
    for (int i = 0; i < HistoryPosition; ++i) {
        const HistoryEntry& e = History[static_cast<std::size_t>(i)];
        if (e.kind == WorkspaceChange::Load || e.kind == WorkspaceChange::Grab)
            recipe.steps.clear();  // a recipe starts from the picture it is run on
        else if (e.kind == WorkspaceChange::Command)
            recipe.steps.push_back({*e.command, false});
        else if (e.kind == WorkspaceChange::Recipe)
            recipe.steps.insert(recipe.steps.end(), e.recipe->steps.begin(), e.recipe->steps.end());
        else if (e.kind == WorkspaceChange::CopyAfterToBefore && !recipe.steps.empty())
            recipe.steps.back().copyAfterToBefore = true;  // a copy with no command before it changes nothing
    }
    return recipe;
}

void TForm1::SaveRecipe1Click()
{
    Recipe recipe = RecipeFromHistory();
    if (recipe.steps.empty()) {
        Dialogs().ShowMessage(this, QStringLiteral("There is no command since the picture was "
                                                   "loaded, so there is no recipe to save."));
        return;
    }
    const std::optional<QString> path = Dialogs().SaveRecipeFile(this);
    if (!path)
        return;
    recipe.calibration = SessionCalibration;
    WriteTextFile(*path, WriteRecipe(recipe));
}

void TForm1::RunRecipe1Click()
{
    const std::optional<QString> path = Dialogs().OpenRecipeFile(this);
    if (!path)
        return;
    RunRecipeFile(*path);
}

void TForm1::RunRecipeFile(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    Recipe recipe;
    try {
        recipe = ParseRecipe(ReadTextFile(path));
    } catch (const RecipeError& e) {
        throw RecipeError("Cannot use the recipe \"" + name.toStdString() + "\": " + e.what());
    }
    if (recipe.calibration.IsSet())  // the scale the recipe's numbers were read in
        SetCalibration(recipe.calibration);
    if (!BeforeImage || recipe.steps.empty())
        return;
    // The whole recipe runs on copies: a step that refuses changes nothing.
    RecipeRun run = RunRecipe(recipe, BeforeImage, ImageWidth(), ImageHeight());
    HistoryEntry entry;
    entry.kind = WorkspaceChange::Recipe;
    entry.label = QStringLiteral("Run Recipe");
    entry.beforeInWorkspace = true;
    if (!recipe.steps.back().copyAfterToBefore)
        entry.command = recipe.steps.back().command;  // makes the After image again
    entry.recipe = std::make_shared<const Recipe>(std::move(recipe));
    entry.width = ImageWidth();
    entry.height = ImageHeight();
    entry.title = windowTitle();
    entry.region = CornersAsShown();
    const RecipeStep last = entry.recipe->steps.back();
    SetAfter(std::move(run.after));
    ReturnLentBefore();
    BeforeImage = std::move(run.before);
    ShowBefore();
    ShowAfter();
    Record(std::move(entry));
    // Before is the last step's own start unless the step copied After onto it.
    ResultsPane1->ShowResults(last.command, run.results.back(),
                              last.copyAfterToBefore
                                  ? CommandMeasures{}
                                  : MeasureCommand(BeforeImage, ImageWidth(), ImageHeight(),
                                                   last.command, run.results.back(),
                                                   CornersAsShown()));
    KeepShownResults();
}
