// workspace/Unit1Brightness.cpp: the "Brightness" menu and Panel3.
#include "Unit1.h"

void TForm1::BuildPanel3()
{
    Panel3 = PlacePanel("Panel3", 385, 233);
    Panel3->setEnabled(false);
    Button4 = PlaceButton(Panel3, "Button4", QStringLiteral("Run"), 296, 192, 81, 33);
    BindCommand(Button4, &TForm1::Button4Click);
}

void TForm1::Brightness1Click()
{
    HideToolPanels();
    Button4->setEnabled(false);
    OpenToolPanel(Panel3);
}

void TForm1::BrightnessSetup1Click() { Button4->setEnabled(true); }

void TForm1::Button4Click() {}
