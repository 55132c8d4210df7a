// workspace/Unit1Files.cpp: picture files and image transfers.
#include "Unit1.h"

#include "Dialogs.h"
#include "PictureFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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
    // The samples' folder the first time, with no file chosen: Enter alone
    // must not load a sample.
    if (LoadFolder.isEmpty())
        LoadFolder = QFileInfo(SamplePicturePath()).absolutePath();
    const std::optional<QString> path = Dialogs().OpenPictureFile(this, LoadFolder);
    if (!path)
        return;
    LoadFolder = QFileInfo(*path).absolutePath();
    StartCommandClock();
    LoadPicture(*path);
}

namespace {

// A child of the window that empties the pool of freed large blocks when the
// window goes: children go after the window's own images, the views' pictures
// before it (it is made after them), so every block freed then goes straight
// back to the system.
class LargeBlockKeeper final : public QObject {
public:
    explicit LargeBlockKeeper(QObject* window) : QObject(window)
    {
        setObjectName(QStringLiteral("LargeBlockKeeper"));
    }
    ~LargeBlockKeeper() override { KeepFreedLargeBlocks(0); }
};

}  // namespace

void TForm1::LoadPicture(const QString& path)
{
    // Everything is read and converted before the workspace changes, so a file
    // that cannot be read leaves the images and views as they were.
    GrayImage before;
    QImage picture = ReadPictureFile(path, before);
    if (!before)
        throw PictureError(QStringLiteral("Not enough memory for the %1 x %2 picture \"%3\"")
                               .arg(picture.width())
                               .arg(picture.height())
                               .arg(QFileInfo(path).fileName())
                               .toStdString());
    const int width = picture.width(), height = picture.height();
    const std::size_t pictureBytes = static_cast<std::size_t>(picture.sizeInBytes());
    ReplaceWorkspace(WorkspaceChange::Load, std::move(picture), std::move(before), width, height,
                     QFileInfo(path).fileName());
    // The next Load of this size takes the blocks this picture's workspace
    // gives back: the picture, Before and After.
    if (findChild<QObject*>(QStringLiteral("LargeBlockKeeper"), Qt::FindDirectChildrenOnly) ==
        nullptr)
        new LargeBlockKeeper(this);
    KeepFreedLargeBlocks(pictureBytes + 2 * GrayImage::BlockBytes(width, height));
}

void TForm1::Save1Click()
{
    // The user's pictures the first time (home without them), never the
    // samples' folder, where a careless save would overwrite a sample.
    if (SaveFolder.isEmpty()) {
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        SaveFolder = !pictures.isEmpty() && QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
    }
    const std::optional<QString> path = Dialogs().SavePictureFile(this, SaveFolder);
    if (!path)
        return;
    SaveFolder = QFileInfo(*path).absolutePath();
    const QString warning = LossySaveWarning(*path);
    if (!warning.isEmpty() && !Dialogs().Confirm(this, warning))
        return;
    StartCommandClock();
    Image1->SaveToFile(*path);  // the After view as displayed, overlays included
}

void TForm1::Exit2Click()
{
    if (BeforeImage) {
        SetAfter({});
        ReturnLentBefore();  // undo still has it; the images themselves go
        FreeGrayImage(BeforeImage, ImageWidth());
    }
    close();
}

void TForm1::Button6Click() { CopyAfterToBefore(); }

void TForm1::Button15Click() { ClearBefore(); }
