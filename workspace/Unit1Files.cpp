// workspace/Unit1Files.cpp: picture files and image transfers.
#include "Unit1.h"

#include "Dialogs.h"
#include "PictureFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

void TForm1::EXIT1Click() { HideToolPanels(); }

QString TForm1::SamplePicturePath() const
{
    const QString name = QStringLiteral("parts.png");
    for (const QString& folder :
         {QStringLiteral(GRAYBENCH_SAMPLES_DIR),
          QCoreApplication::applicationDirPath() + QStringLiteral("/../share/graybench/samples")}) {
        const QString path = QDir(folder).filePath(name);
        if (QFileInfo::exists(path))
            return QDir::cleanPath(path);
    }
    return name;
}

void TForm1::Load1Click()
{
    const std::optional<QString> path = Dialogs().OpenPictureFile(this, SamplePicturePath());
    if (!path)
        return;
    StartCommandClock();
    LoadPicture(*path);
}

void TForm1::LoadPicture(const QString& path)
{
    // Everything is read and converted before the workspace changes, so a file
    // that cannot be read leaves the images and views as they were.
    QImage picture = ReadPictureFile(path);
    GrayImage before = GrayFromPicture(picture);
    GrayImage after = NewGrayImage(picture.width(), picture.height());
    if (!before || !after)
        throw PictureError(QStringLiteral("Not enough memory for the %1 x %2 picture \"%3\"")
                               .arg(picture.width())
                               .arg(picture.height())
                               .arg(QFileInfo(path).fileName())
                               .toStdString());
    CopyGrayImage(before, after, picture.width(), picture.height());

    BeforeImage = std::move(before);
    AfterImage = std::move(after);
    setWindowTitle(QFileInfo(path).fileName());
    Image1->SetPicture(picture);
    Image2->SetPicture(std::move(picture));
    Image2->SetPixelFormat24();
    Button14->setEnabled(true);
}

void TForm1::Save1Click()
{
    const std::optional<QString> path = Dialogs().SavePictureFile(this);
    if (!path)
        return;
    StartCommandClock();
    Image1->SaveToFile(*path);  // the After view as displayed, overlays included
}

void TForm1::Exit2Click()
{
    if (BeforeImage) {
        FreeGrayImage(BeforeImage, ImageWidth());
        FreeGrayImage(AfterImage, ImageWidth());
    }
    close();
}

void TForm1::Button6Click()
{
    if (AfterImage && BeforeImage)
        CopyGrayImage(AfterImage, BeforeImage, ImageWidth(), ImageHeight());
    ShowBefore();
}

void TForm1::Button15Click()
{
    if (BeforeImage)
        ShowBefore();
}
