// tests/ui/FakeDialogs.h: answers every dialog without showing one.
#pragma once
#include "Dialogs.h"

#include <QStringList>

class FakeDialogs : public DialogProvider {
public:
    FakeDialogs() { SetDialogs(this); }
    ~FakeDialogs() override { SetDialogs(nullptr); }

    // Answers of the file dialogs, in order; an empty text is a cancel, and so
    // is running out of answers.
    QStringList OpenAnswers, SaveAnswers;
    QStringList Messages, Errors;
    QString LastPreset;

    std::optional<QString> OpenPictureFile(QWidget*, const QString& preset) override
    {
        LastPreset = preset;
        return Next(OpenAnswers);
    }
    std::optional<QString> SavePictureFile(QWidget*) override { return Next(SaveAnswers); }
    void ShowMessage(QWidget*, const QString& text) override { Messages << text; }
    void ShowError(const QString& text) override { Errors << text; }

private:
    static std::optional<QString> Next(QStringList& answers)
    {
        const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
        if (answer.isEmpty())
            return std::nullopt;
        return answer;
    }
};
