// platform/Dialogs.cpp
#include "Dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QImageReader>
#include <QImageWriter>
#include <QMessageBox>
#include <QStringList>

namespace {

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

}  // namespace

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
