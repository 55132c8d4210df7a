// platform/Dialogs.h
#pragma once
#include "ResultsTable.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QFileDialog;
class QUrl;
class QWidget;

// The window of a command that takes a while: how far it has come, and a Cancel
// button. It closes when the object goes away.
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    // Shows the share done (0 to 1) and lets the window answer the user; false
    // once Cancel has been pressed.
    virtual bool Advance(double done) = 0;
};

// Every dialog and message box of the workbench goes through this interface, so
// that tests install their own answers and never block on a modal window.
class DialogProvider {
public:
    virtual ~DialogProvider() = default;
    // The chosen file, or nothing when the user cancels; the dialog opens in
    // folder with no file chosen.
    virtual std::optional<QString> OpenPictureFile(QWidget* parent, const QString& folder) = 0;
    virtual std::optional<QString> SavePictureFile(QWidget* parent, const QString& folder) = 0;
    // Recipe files (*.recipe.json): the chosen file, or nothing when the user cancels.
    virtual std::optional<QString> OpenRecipeFile(QWidget* parent) = 0;
    virtual std::optional<QString> SaveRecipeFile(QWidget* parent) = 0;
    // Export Results: a file whose extension names the format (.csv or .json),
    // or nothing when the user cancels.
    virtual std::optional<QString> SaveResultsFile(QWidget* parent) = 0;
    // The calibration dialog, opened on current: the scale the user set (unset
    // for pixels only), or nothing when the user cancels.
    virtual std::optional<Calibration> AskCalibration(QWidget* parent,
                                                      const Calibration& current) = 0;
    // Shows a text and waits for the user.
    virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
    // Asks a yes-or-no question; true for yes.
    virtual bool Confirm(QWidget* parent, const QString& text);
    // The application's box for an error that ended a command.
    virtual void ShowError(const QString& text) = 0;
    // Opens a progress window over parent saying text; every other window waits.
    virtual std::unique_ptr<ProgressWindow> OpenProgress(QWidget* parent, const QString& text);
};

// The provider in use: the real Qt dialogs unless a test installed its own.
DialogProvider& Dialogs();
// Installs a provider (not owned); nullptr restores the real dialogs.
void SetDialogs(DialogProvider* provider);

// The picture kinds Qt can read, as a file-dialog filter.
QString PictureFileFilter();

// The file dialog Load (save false) or Save shows, opening in folder. It is
// Qt's own dialog, whose icons and type names come from file names alone: the
// usual ones read a file's first bytes, which never returns for /proc/kmsg
// and waits for a writer on a named pipe.
std::unique_ptr<QFileDialog> NewPictureFileDialog(QWidget* parent, bool save,
                                                  const QString& folder);

// Opens a document (the user's guide) in the desktop's viewer for its kind; false
// when none took it. Tests install their own opener so that no browser starts.
using DocumentOpener = std::function<bool(const QUrl&)>;
bool OpenDocument(const QUrl& url);
// Installs an opener; an empty one restores the desktop's.
void SetDocumentOpener(DocumentOpener opener);
