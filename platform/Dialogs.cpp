// platform/Dialogs.cpp
#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QImageReader>
#include <QImageWriter>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace {

const QString kRecipeFilter = QStringLiteral("Recipe (*.recipe.json *.json);;All files (*)");

std::optional<QString> Chosen(const QString& file)
{
    if (file.isEmpty())
        return std::nullopt;
    return file;
}

class QtDialogs final : public DialogProvider {
public:
    std::optional<QString> OpenPictureFile(QWidget* parent, const QString& preset) override
    {
        const QString file = QFileDialog::getOpenFileName(parent, QStringLiteral("Load Picture"),
                                                          preset, PictureFileFilter());
        if (file.isEmpty())
            return std::nullopt;
        return file;
    }
    std::optional<QString> SavePictureFile(QWidget* parent) override
    {
        const QString file = QFileDialog::getSaveFileName(
            parent, QStringLiteral("Save Picture"), QString(),
            QStringLiteral("Bitmap (*.bmp);;PNG (*.png);;TIFF (*.tif *.tiff);;PGM (*.pgm);;"
                           "JPEG (*.jpg *.jpeg);;All files (*)"));
        if (file.isEmpty())
            return std::nullopt;
        return file;
    }
    std::optional<QString> OpenRecipeFile(QWidget* parent) override
    {
        return Chosen(QFileDialog::getOpenFileName(parent, QStringLiteral("Run Recipe"), QString(),
                                                   kRecipeFilter));
    }
    std::optional<QString> SaveRecipeFile(QWidget* parent) override
    {
        QString file = QFileDialog::getSaveFileName(parent, QStringLiteral("Save Recipe"),
                                                    QString(), kRecipeFilter);
        if (!file.isEmpty() && !file.endsWith(QStringLiteral(".json")))
            file += QStringLiteral(".recipe.json");
        return Chosen(file);
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
