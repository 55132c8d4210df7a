// tests/ui/HistoryTest.cpp: undo and redo restore the workspace exactly, and a
// recorded recipe replays to the same pictures.
#include "ExchangeFiles.h"
#include "FakeDialogs.h"
#include "ResultsPane.h"
#include "TestImages.h"
#include "TextFiles.h"
#include "Unit1.h"
#include "Unit4.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <functional>
#include <random>

namespace {

// Everything undo must bring back, and the region apart: undo keeps the region
// the undone change was made with.
struct State {
    std::vector<std::vector<int>> before, after;
    QImage beforeView, afterView;
    QString title;
    QStringList region;
    bool operator==(const State& other) const
    {
        return before == other.before && after == other.after && beforeView == other.beforeView &&
               afterView == other.afterView && title == other.title;
    }
};

State StateOf(TForm1& form)
{
    const int w = form.ImageWidth(), h = form.ImageHeight();
    return {
        form.BeforeImage ? ToRows(form.BeforeImage, w, h) : std::vector<std::vector<int>>{},
        form.AfterImage() ? ToRows(form.AfterImage(), w, h) : std::vector<std::vector<int>>{},
        form.Image2->Picture().convertToFormat(QImage::Format_RGB32),
        form.Image1->Picture().convertToFormat(QImage::Format_RGB32),
        form.windowTitle(),
        {form.Label11->text(), form.Label12->text(), form.Label13->text(), form.Label14->text()}};
}

struct Bench {
    Bench()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName(
            QStringLiteral("GrayBench-history-%1").arg(QCoreApplication::applicationPid()));
        QDir(ExchangeFolder()).removeRecursively();
    }
    ~Bench()
    {
        QDir(ExchangeFolder()).removeRecursively();
        QCoreApplication::setApplicationName(name);
    }
    void Region(int X1, int Y1, int X2, int Y2) { form.SetCorners({X1, Y1, X2, Y2}); }
    const QString name = QCoreApplication::applicationName();
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
};

const QString kParts = QStringLiteral(GRAYBENCH_SAMPLES_DIR "/parts.png");
const QString kGauge = QStringLiteral(GRAYBENCH_SAMPLES_DIR "/gauge.png");

// A session of every kind of change, by the window's own handlers.
std::vector<std::function<void(Bench&)>> MixedSession()
{
    return {
        [](Bench& b) { b.form.LoadPicture(kParts); },
        [](Bench& b) { b.Region(30, 40, 300, 260), b.form.ChooseFilter(kMedian), b.form.Button1Click(); },
        [](Bench& b) { b.form.ComboBox1->setCurrentIndex(0), b.form.ScrollBar4->setValue(90), b.form.Button5Click(); },
        [](Bench& b) { b.form.Button6Click(); },  // Copy After to Before
        [](Bench& b) { b.Region(10, 10, 500, 470), b.form.Button8Click(); },
        [](Bench& b) { b.form.ChooseMorphology(kOpening), b.form.Button2Click(); },
        [](Bench& b) { b.form.LoadPicture(kGauge); },
        [](Bench& b) { b.form.Button15Click(); },  // Clear Before: the view turns gray
        [](Bench& b) { b.Region(250, 240, 260, 250), b.form.Button13Click(); },
        [](Bench& b) { b.form.Button6Click(); },
        [](Bench& b) { b.form.ScrollBar1->setValue(90), b.form.Button4Click(); },
    };
}

}  // namespace

TEST(History, UndoAndRedoOverAMixedSessionRestoreEveryStateExactly)
{
    Bench b;
    std::vector<State> states{StateOf(b.form)};
    for (const auto& change : MixedSession()) {
        change(b);
        states.push_back(StateOf(b.form));
    }
    ASSERT_EQ(b.form.HistoryPosition, static_cast<int>(states.size()) - 1);
    for (int i = static_cast<int>(states.size()) - 2; i >= 0; --i) {
        b.form.Undo1->trigger();
        ASSERT_TRUE(StateOf(b.form) == states[static_cast<std::size_t>(i)]) << "undo to " << i;
        EXPECT_EQ(StateOf(b.form).region, states[static_cast<std::size_t>(i) + 1].region) << i;
    }
    EXPECT_FALSE(b.form.Undo1->isEnabled());
    for (std::size_t i = 1; i < states.size(); ++i) {
        b.form.Redo1->trigger();
        ASSERT_TRUE(StateOf(b.form) == states[i]) << "redo to " << i;
        EXPECT_EQ(StateOf(b.form).region, states[i].region) << i;
    }
    EXPECT_FALSE(b.form.Redo1->isEnabled());
    // A new change after some undos drops what could be redone.
    b.form.Undo1->trigger();
    b.form.Undo1->trigger();
    b.form.ChooseFilter(kSobel);
    b.form.Button1Click();
    EXPECT_FALSE(b.form.Redo1->isEnabled());
    b.form.Undo1->trigger();
    EXPECT_TRUE(StateOf(b.form) == states[states.size() - 3]);
}

TEST(History, ACameraGrabIsUndoneLikeALoad)
{
    Bench b;
    b.form.LoadPicture(kParts);
    const State loaded = StateOf(b.form);
    TForm4 video(b.form);
    video.Button1->click();  // no camera: a black frame
    EXPECT_NE(StateOf(b.form).before, loaded.before);
    b.form.Undo1->trigger();
    EXPECT_TRUE(StateOf(b.form) == loaded);
}

TEST(History, ARecordedRecipeReplaysToTheSamePicturesAndARefusedOneChangesNothing)
{
    Bench b;
    const auto session = MixedSession();
    for (std::size_t i = 0; i < 6; ++i)  // the parts picture's commands, one chain among them
        session[i](b);
    const State byHand = StateOf(b.form);
    const QString path = b.dir.filePath(QStringLiteral("parts.recipe.json"));
    b.dialogs.RecipeSaveAnswers << path;
    b.form.SaveRecipe1->trigger();
    const Recipe recipe = ParseRecipe(ReadTextFile(path));
    ASSERT_EQ(recipe.steps.size(), 4u);
    EXPECT_TRUE(recipe.steps[1].copyAfterToBefore);

    b.form.LoadPicture(kParts);
    b.dialogs.RecipeOpenAnswers << path;
    b.form.RunRecipe1->trigger();
    EXPECT_TRUE(b.dialogs.Errors.isEmpty()) << qPrintable(b.dialogs.Errors.join('\n'));
    const State replayed = StateOf(b.form);
    EXPECT_EQ(replayed.before, byHand.before);
    EXPECT_EQ(replayed.after, byHand.after);
    EXPECT_EQ(replayed.afterView, byHand.afterView);

    // One undo takes the whole recipe back.
    b.form.Undo1->trigger();
    EXPECT_EQ(StateOf(b.form).after, StateOf(b.form).before);

    std::string text = ReadTextFile(path);
    text.replace(text.find("\"morphology\""), 12, "\"morfology\"");
    const QString bad = b.dir.filePath(QStringLiteral("bad.recipe.json"));
    WriteTextFile(bad, text);
    const State untouched = StateOf(b.form);
    b.dialogs.RecipeOpenAnswers << bad;
    b.form.RunRecipe1->trigger();
    ASSERT_EQ(b.dialogs.Errors.size(), 1);
    EXPECT_TRUE(b.dialogs.Errors.front().contains(QStringLiteral("bad.recipe.json")));
    EXPECT_TRUE(b.dialogs.Errors.front().contains(QStringLiteral("step 4")));
    EXPECT_TRUE(StateOf(b.form) == untouched);
}

// Undo, redo and new changes in a seeded random order, with the history at its
// usual limit and at one that drops the oldest pictures: every position comes
// back as it was. The Before image moves between the workspace and the entry
// it came from at each of these, so any order must keep both intact.
TEST(History, RandomWalksOfUndoRedoAndNewChangesRestoreEveryState)
{
    for (const bool tight : {false, true}) {
        Bench b;
        std::mt19937 rng(tight ? 29 : 17);
        const auto session = MixedSession();
        std::vector<State> states{StateOf(b.form)};  // states[p]: the state at position p
        int at = 0, droppedAll = 0;
        b.form.LoadPicture(kParts);
        states.push_back(StateOf(b.form));
        at = 1;
        if (tight)  // two pictures and a little more
            b.form.HistoryLimitBytes = b.form.HistoryBytes() * 5 / 2;
        for (int step = 0; step < 60; ++step) {
            const std::string where = (tight ? "tight, step " : "step ") + std::to_string(step);
            const unsigned pick = rng() % 10;
            if (pick < 3 && b.form.Undo1->isEnabled()) {
                b.form.Undo1->trigger();
                --at;
            } else if (pick < 5 && b.form.Redo1->isEnabled()) {
                b.form.Redo1->trigger();
                ++at;
            } else {
                // Any change of the session but its first Load; with no
                // picture, a Load.
                const std::size_t k = b.form.BeforeImage ? 1 + rng() % (session.size() - 1) : 6;
                session[k](b);
                EXPECT_FALSE(b.form.Redo1->isEnabled()) << where;
                states.resize(static_cast<std::size_t>(at) + 1);
                states.push_back(StateOf(b.form));
                // Entries the limit let go of leave the front.
                const int dropped = at + 1 - b.form.HistoryPosition;
                ASSERT_GE(dropped, 0) << where;
                ASSERT_TRUE(tight || dropped == 0) << where;
                states.erase(states.begin(), states.begin() + dropped);
                droppedAll += dropped;
                // Within the limit, or nothing left to let go but pictures; and
                // the lists went oldest first.
                const auto& history = b.form.History;
                const auto* shown = b.form.ResultsPane1->Current().get();
                const bool listsLeft = std::any_of(history.begin(), history.end(), [&](const auto& e) {
                    return e.results && e.results.get() != shown;
                });
                EXPECT_TRUE(b.form.HistoryBytes() <= b.form.HistoryLimitBytes || !listsLeft) << where;
                for (std::size_t i = 1; i < history.size(); ++i)
                    EXPECT_FALSE(history[i].resultsLetGo && history[i - 1].results &&
                                 history[i - 1].results.get() != shown)
                        << where << ", entry " << i;
                at = b.form.HistoryPosition;
                continue;
            }
            ASSERT_EQ(b.form.HistoryPosition, at) << where;
            ASSERT_TRUE(StateOf(b.form) == states[static_cast<std::size_t>(at)]) << where;
        }
        EXPECT_EQ(droppedAll > 0, tight);
    }
}
