// workspace/Unit1Threshold.cpp: the "Threshold" menu and Panel4.
#include "Unit1.h"

namespace {

// Panel4 is shared: at this width only the threshold group shows.
constexpr int kThresholdWidth = 545;

}  // namespace

void TForm1::BuildPanel4()
{
    Panel4 = PlacePanel("Panel4", 945, 233);
    GroupBox2 = Place<QGroupBox>(Panel4, "GroupBox2", 8, 8, 529, 217);
    GroupBox2->setTitle(QStringLiteral("Threshold :"));
    Button5 = PlaceButton(GroupBox2, "Button5", QStringLiteral("Run"), 440, 176, 81, 33);
    Button8 = PlaceButton(GroupBox2, "Button8", QStringLiteral("Detect Start"), 440, 176, 81, 33);
    Button8->hide();
    BindCommand(Button5, &TForm1::Button5Click);
    BindCommand(Button8, &TForm1::Button8Click);
}

void TForm1::Threshold1Click()
{
    HideToolPanels();
    GroupBox2->setTitle(QStringLiteral("Threshold :"));
    Button8->hide();
    Button5->show();
    Button5->setEnabled(false);
    OpenToolPanel(Panel4);
    Panel4->resize(kThresholdWidth, Panel4->height());
}

void TForm1::ThresholdSetup1Click() { Button5->setEnabled(true); }

void TForm1::Button5Click() {}
