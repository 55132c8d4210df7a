// tests/ui/FakeDialogs.h: answers every dialog without showing one.
#pragma once
#include "Dialogs.h"

#include <QStringList>
#include <memory>
#include <vector>

class FakeDialogs : public DialogProvider {
public:
    FakeDialogs() { SetDialogs(this); }
    ~FakeDialogs() override { SetDialogs(nullptr); }

    // Answers of the file dialogs, in order; an empty text is a cancel, and so
    // is running out of answers.
    QStringList OpenAnswers, SaveAnswers;
    QStringList Messages, Errors;
    // The folders the file dialogs were offered, one a call.
    QStringList OpenFolders, SaveFolders;
    // Questions asked, and the answer to all of them.
    QStringList Questions;
    bool ConfirmAnswer = true;

    std::optional<QString> OpenPictureFile(QWidget*, const QString& folder) override
    {
        OpenFolders << folder;
        return Next(OpenAnswers);
    }
    std::optional<QString> SavePictureFile(QWidget*, const QString& folder) override
    {
        SaveFolders << folder;
        return Next(SaveAnswers);
    }
    bool Confirm(QWidget*, const QString& text) override
    {
        Questions << text;
        return ConfirmAnswer;
    }
    QStringList RecipeOpenAnswers, RecipeSaveAnswers;
    std::optional<QString> OpenRecipeFile(QWidget*) override { return Next(RecipeOpenAnswers); }
    std::optional<QString> SaveRecipeFile(QWidget*) override { return Next(RecipeSaveAnswers); }

    // Export Results answers, like the file dialogs' above.
    QStringList ResultsSaveAnswers;
    std::optional<QString> SaveResultsFile(QWidget*) override { return Next(ResultsSaveAnswers); }
    // The calibration dialog: each call takes the next answer (nothing: cancelled)
    // and notes the calibration it was opened on.
    std::vector<std::optional<Calibration>> CalibrationAnswers;
    std::vector<Calibration> CalibrationsOffered;
    std::optional<Calibration> AskCalibration(QWidget*, const Calibration& current) override
    {
        CalibrationsOffered.push_back(current);
        if (CalibrationAnswers.empty())
            return std::nullopt;
        const std::optional<Calibration> answer = CalibrationAnswers.front();
        CalibrationAnswers.erase(CalibrationAnswers.begin());
        return answer;
    }

    // Progress windows opened, with their texts and updates; the user presses
    // Cancel at update number CancelAtUpdate (counted from 1; 0 for never).
    QStringList ProgressTexts;
    int ProgressUpdates = 0, CancelAtUpdate = 0;
    std::unique_ptr<ProgressWindow> OpenProgress(QWidget*, const QString& text) override
    {
        ProgressTexts << text;
        return std::make_unique<Progress>(*this);
    }
    void ShowMessage(QWidget*, const QString& text) override { Messages << text; }
    void ShowError(const QString& text) override { Errors << text; }

private:
    class Progress : public ProgressWindow {
    public:
        explicit Progress(FakeDialogs& owner) : owner_(owner) {}
        bool Advance(double) override
        {
            ++owner_.ProgressUpdates;
            return owner_.CancelAtUpdate == 0 || owner_.ProgressUpdates < owner_.CancelAtUpdate;
        }

    private:
        FakeDialogs& owner_;
    };

    static std::optional<QString> Next(QStringList& answers)
    {
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
        if (answer.isEmpty())
            return std::nullopt;
        return answer;
    }
};
