// workspace/Unit1Detect.cpp: the "Detect Object" menu; detection shares Panel4.
#include "Conversions.h"
#include "DetectCommand.h"
#include "Unit1.h"

namespace {

// At this width Panel4 shows the "Detect Result" group beside the thresholds.
constexpr int kDetectWidth = 921;

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
    const DetectSettings settings{ReadThresholdSettings(), ReadCorners()};
    const DetectResult r =
        RunDetect(BeforeImage, AfterImage(), ImageWidth(), ImageHeight(), settings);
    // A detection that finds nothing leaves the last result on show.
    if (r.Ran() && r.Count() > 0) {
        StringGrid1->BeginUpdate();
        const char* headings[] = {"X1", "Y1", "X2", "Y2", "SIZE"};
        for (int c = 1; c <= 5; ++c)
            StringGrid1->SetCell(c, 0, QString::fromLatin1(headings[c - 1]));
        Label32->setText(IntToText(r.Count()));
        StringGrid1->SetRowCount(r.Count() + 1);
        for (int i = 1; i <= r.Count(); ++i) {
            const DetectedObject& o = r.objects[static_cast<std::size_t>(i - 1)];
            StringGrid1->SetCell(0, i, IntToText(i));
            StringGrid1->SetCell(1, i, IntToText(o.minX));
            StringGrid1->SetCell(2, i, IntToText(o.minY));
            StringGrid1->SetCell(3, i, IntToText(o.maxX));
            StringGrid1->SetCell(4, i, IntToText(o.maxY));
            StringGrid1->SetCell(5, i, IntToText(o.area));
        }
        StringGrid1->EndUpdate();
    }
    ShowOutcome(settings, r, settings.roi);
}
