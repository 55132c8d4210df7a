// workspace/Unit1Tool.cpp: "Tool Button", the region as a table in the tool window.
#include "Unit1.h"

#include "Dialogs.h"
#include "ExchangeFiles.h"
#include "PictureFiles.h"
#include "Unit3.h"

void TForm1::Button14Click()
{
    if (!BeforeImage) {
        Dialogs().ShowMessage(this, QStringLiteral("No picture is loaded."));
        return;
    }
    const Region r = ReadRegionOfInterest();
    if (r.X1 >= r.X2 || r.Y1 >= r.Y2) {
        // The corners may lie outside the picture or on one line: a picture of no
        // pixels cannot be written, and the old file and window stay as they were.
        Dialogs().ShowMessage(
            this, QStringLiteral("The region of interest X1 %1, Y1 %2, X2 %3, Y2 %4 covers no "
                                 "pixel of the %5 x %6 picture; no tool picture was written.")
                      .arg(Label11->text(), Label12->text(), Label13->text(), Label14->text())
                      .arg(ImageWidth())
                      .arg(ImageHeight()));
        return;
    }
    const QImage picture = PictureOfRegion(BeforeImage, r);  // [X1, X2) x [Y1, Y2)
    if (picture.isNull())
        throw PictureError("Not enough memory for the tool picture");
    const QString path = ToolPictureFilePath();
    WritePictureFile(picture, path);
    if (Form3 == nullptr)
        return;
    Form3->show();
    Form3->raise();
    Form3->activateWindow();
    Form3->Image1->LoadFromFile(path);
}
