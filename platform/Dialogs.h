// platform/Dialogs.h
#pragma once
#include <QString>
#include <optional>

class QWidget;

// Every dialog and message box of the workbench goes through this interface, so
// that tests install their own answers and never block on a modal window.
class DialogProvider {
public:
    virtual ~DialogProvider() = default;
    // The chosen file, or nothing when the user cancels.
    virtual std::optional<QString> OpenPictureFile(QWidget* parent, const QString& preset) = 0;
    virtual std::optional<QString> SavePictureFile(QWidget* parent) = 0;
    // Shows a text and waits for the user.
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    // The application's box for an error that ended a command.
    virtual void ShowError(const QString& text) = 0;
};

// The provider in use: the real Qt dialogs unless a test installed its own.
DialogProvider& Dialogs();
// Installs a provider (not owned); nullptr restores the real dialogs.
void SetDialogs(DialogProvider* provider);

// The picture kinds Qt can read, as a file-dialog filter.
QString PictureFileFilter();
