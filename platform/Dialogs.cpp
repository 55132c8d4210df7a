// platform/Dialogs.cpp
#include "Dialogs.h"

#include "CalibrationDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QImageReader>
#include <QImageWriter>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QProgressDialog>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// Icons and type names by file name only: the type comes from the extension
// (stat tells pipes and devices apart; nothing is opened).
class NameOnlyIcons final : public QFileIconProvider {
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override
    {
        if (info.isDir())
            return icon(Folder);
        return QIcon::fromTheme(MimeType(info).iconName(), icon(File));
    }
    QString type(const QFileInfo& info) const override
    {
        if (info.isDir())
            return QStringLiteral("Folder");
        const QMimeType mime = MimeType(info);
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    }

private:
    QMimeType MimeType(const QFileInfo& info) const
    {
        return mimes_.mimeTypeForFile(info, QMimeDatabase::MatchExtension);
    }
    QMimeDatabase mimes_;
};

std::optional<QString> RunFileDialog(QWidget* parent, bool save, const QString& folder)
{
    const std::unique_ptr<QFileDialog> dialog = NewPictureFileDialog(parent, save, folder);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return dialog->selectedFiles().front();
}

const QString kRecipeFilter = QStringLiteral("Recipe (*.recipe.json *.json);;All files (*)");

// Recipes go through the same safe dialog as pictures, with their own filter.
std::optional<QString> RunRecipeDialog(QWidget* parent, bool save)
{
    const std::unique_ptr<QFileDialog> dialog = NewPictureFileDialog(parent, save, QString());
    dialog->setWindowTitle(save ? QStringLiteral("Save Recipe") : QStringLiteral("Run Recipe"));
    dialog->setNameFilter(kRecipeFilter);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    QString file = dialog->selectedFiles().front();
    if (save && !file.endsWith(QStringLiteral(".json")))
        file += QStringLiteral(".recipe.json");
    return file;
}

// Export Results: CSV unless the name ends in .json.
std::optional<QString> RunResultsDialog(QWidget* parent)
{
    const std::unique_ptr<QFileDialog> dialog = NewPictureFileDialog(parent, true, QString());
    dialog->setWindowTitle(QStringLiteral("Export Results"));
    dialog->setNameFilter(QStringLiteral("CSV (*.csv);;JSON (*.json)"));
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    QString file = dialog->selectedFiles().front();
    const bool json = dialog->selectedNameFilter().startsWith(QStringLiteral("JSON"));
    if (!file.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) &&
        !file.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive))
        file += json ? QStringLiteral(".json") : QStringLiteral(".csv");
    return file;
}

class QtDialogs final : public DialogProvider {
public:
    std::optional<QString> OpenPictureFile(QWidget* parent, const QString& folder) override
    {
        return RunFileDialog(parent, false, folder);
    }
    std::optional<QString> SavePictureFile(QWidget* parent, const QString& folder) override
    {
        return RunFileDialog(parent, true, folder);
    }
    std::optional<QString> OpenRecipeFile(QWidget* parent) override
    {
        return RunRecipeDialog(parent, false);
    }
    std::optional<QString> SaveRecipeFile(QWidget* parent) override
    {
        return RunRecipeDialog(parent, true);
    }
    std::optional<QString> SaveResultsFile(QWidget* parent) override
    {
        return RunResultsDialog(parent);
    }
    std::optional<Calibration> AskCalibration(QWidget* parent, const Calibration& current) override
    {
        CalibrationDialog dialog(parent, current);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.Chosen();
    }
    void ShowMessage(QWidget* parent, const QString& text) override
    {
        QMessageBox::information(parent, QApplication::applicationDisplayName(), text);
    }
    void ShowError(const QString& text) override
    {
        QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(),
                              text);
    }
};

DialogProvider* installed = nullptr;

class QtProgress final : public ProgressWindow {
public:
    QtProgress(QWidget* parent, const QString& text)
        : dialog_(text, QStringLiteral("Cancel"), 0, kSteps, parent)
    {
        // Application-modal: while the command runs nothing else may touch what it
        // works on, the workspace images above all (a grabbed video frame replaces them).
        dialog_.setWindowModality(Qt::ApplicationModal);
        dialog_.setMinimumDuration(0);
        dialog_.setAutoClose(false);
        dialog_.setAutoReset(false);
        dialog_.setValue(0);
        dialog_.show();
    }
    bool Advance(double done) override
    {
        dialog_.setValue(static_cast<int>(std::lround(std::clamp(done, 0.0, 1.0) * kSteps)));
        QCoreApplication::processEvents();  // paints, and lets Cancel be pressed
        return !dialog_.wasCanceled();
    }

private:
    static constexpr int kSteps = 1000;
    QProgressDialog dialog_;
};

}  // namespace

std::unique_ptr<ProgressWindow> DialogProvider::OpenProgress(QWidget* parent, const QString& text)
{
    return std::make_unique<QtProgress>(parent, text);
}

bool DialogProvider::Confirm(QWidget* parent, const QString& text)
{
    return QMessageBox::question(parent, QApplication::applicationDisplayName(), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

DialogProvider& Dialogs()
{
    static QtDialogs real;
    return installed != nullptr ? *installed : real;
}

void SetDialogs(DialogProvider* provider) { installed = provider; }

QString PictureFileFilter()
{
    QStringList patterns;
    for (const QByteArray& format : QImageReader::supportedImageFormats())
        patterns << QStringLiteral("*.") + QString::fromLatin1(format);
    return QStringLiteral("Pictures (%1);;All files (*)").arg(patterns.join(u' '));
}

std::unique_ptr<QFileDialog> NewPictureFileDialog(QWidget* parent, bool save,
                                                  const QString& folder)
{
    static NameOnlyIcons icons;  // the dialogs' models keep a pointer to it
    auto dialog = std::make_unique<QFileDialog>(
        parent, save ? QStringLiteral("Save Picture") : QStringLiteral("Load Picture"), folder,
        save ? QStringLiteral("Bitmap (*.bmp);;PNG (*.png);;TIFF (*.tif *.tiff);;PGM (*.pgm);;"
                              "JPEG (*.jpg *.jpeg);;WebP (*.webp);;All files (*)")
             : PictureFileFilter());
    // The desktop's own dialog cannot take another icon provider.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setIconProvider(&icons);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    return dialog;
}

namespace {
DocumentOpener documentOpener;
}  // namespace

bool OpenDocument(const QUrl& url)
{
    return documentOpener ? documentOpener(url) : QDesktopServices::openUrl(url);
}

void SetDocumentOpener(DocumentOpener opener) { documentOpener = std::move(opener); }
