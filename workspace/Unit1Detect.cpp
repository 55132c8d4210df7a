// workspace/Unit1Detect.cpp: the "Detect Object" menu; detection shares Panel4.
#include "Conversions.h"
#include "Detect_object.h"
#include "Unit1.h"

namespace {

// At this width Panel4 shows the "Detect Result" group beside the thresholds.
constexpr int kDetectWidth = 921;
constexpr int kGrayObjects = 2;  // object mode with two thresholds and the band test

}  // namespace

void TForm1::BuildGroupBox3()
{
    GroupBox3 = Place<QGroupBox>(Panel4, "GroupBox3", 545, 8, 369, 217);
    GroupBox3->setTitle(QStringLiteral("Detect Result"));
    Label31 = PlaceLabel(GroupBox3, "Label31", QStringLiteral("Number of Object Found:"), 16, 24);
    // Just right of the caption, whatever width the font gives it.
    Label32 = PlaceLabel(GroupBox3, "Label32", QStringLiteral("0"),
                         Label31->x() + Label31->width() + 6, 24);
    Label32->setMinimumWidth(48);
    StringGrid1 = Place<StringGrid>(GroupBox3, "StringGrid1", 16, 48, 337, 153);
    StringGrid1->SetColCount(7);
    StringGrid1->SetRowCount(3);
    StringGrid1->SetFixedCols(1);
    StringGrid1->SetFixedRows(1);
    StringGrid1->SetDefaultColWidth(46);
    StringGrid1->SetDefaultRowHeight(16);
}

void TForm1::DetectObject1Click()
{
    HideToolPanels();
    DrawHistogram();
    GroupBox2->setTitle(QStringLiteral("Object Detect :"));
    Button5->hide();
    Button8->show();
    Button8->setEnabled(false);
    OpenToolPanel(Panel4);
    Panel4->resize(kDetectWidth, Panel4->height());
}

void TForm1::DetectObjectSetup1Click() { Button8->setEnabled(true); }

void TForm1::Button8Click()
{
    const int mode = ComboBox1->currentIndex();
    int t = ScrollBar4->value();
    const int upper = ScrollBar5->value();
    const int width = ImageWidth(), height = ImageHeight();
    if (!BeforeImage)
        return;  // nothing loaded: no pixel to scan, no object to find
    CopyGrayImage(BeforeImage, AfterImage, width, height);
    const Region r = ReadRegionOfInterest();
    // The label image keeps two columns; the object table grows with what is found.
    IntImage labels = NewIntImage(2, height);
    if (!labels)
        return;
    ObjectTable objects;
    int count = 0;
    if (mode < kGrayObjects) {
        if (CheckBox50->isChecked())
            t = TextToInt(Label27->text());
        count = DetectObjects(AfterImage, labels, objects, mode, t, r.X1, r.Y1, r.X2, r.Y2, width,
                              height);
    } else if (mode == kGrayObjects) {
        // "AUTO" is not consulted: the band needs both sliders.
        count = DetectBandObjects(AfterImage, labels, objects, ScrollBar4->value(), upper, r.X1,
                                  r.Y1, r.X2, r.Y2, width, height);
    }
    // A detection that finds nothing leaves the last result on show.
    if (count > 0) {
        StringGrid1->BeginUpdate();
        const char* headings[] = {"X1", "Y1", "X2", "Y2", "SIZE"};
        for (int c = 1; c <= 5; ++c)
            StringGrid1->SetCell(c, 0, QString::fromLatin1(headings[c - 1]));
        Label32->setText(IntToText(count));
        StringGrid1->SetRowCount(count + 1);
        for (int i = 1; i <= count; ++i) {
            const DetectedObject& o = objects[static_cast<std::size_t>(i - 1)];
            StringGrid1->SetCell(0, i, IntToText(i));
            StringGrid1->SetCell(1, i, IntToText(o.minX));
            StringGrid1->SetCell(2, i, IntToText(o.minY));
            StringGrid1->SetCell(3, i, IntToText(o.maxX));
            StringGrid1->SetCell(4, i, IntToText(o.maxY));
            StringGrid1->SetCell(5, i, IntToText(o.area));
        }
        StringGrid1->EndUpdate();
    }
    ShowAfter();
}
