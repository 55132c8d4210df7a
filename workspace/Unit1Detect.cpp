// workspace/Unit1Detect.cpp: the "Detect Object" menu; detection shares Panel4.
#include "Unit1.h"

namespace {

// At this width Panel4 shows the "Detect Result" group beside the thresholds.
constexpr int kDetectWidth = 921;

}  // namespace

void TForm1::DetectObject1Click()
{
    HideToolPanels();
    GroupBox2->setTitle(QStringLiteral("Object Detect :"));
    Button5->hide();
    Button8->show();
    Button8->setEnabled(false);
    OpenToolPanel(Panel4);
    Panel4->resize(kDetectWidth, Panel4->height());
}

void TForm1::DetectObjectSetup1Click() { Button8->setEnabled(true); }

void TForm1::Button8Click() {}
