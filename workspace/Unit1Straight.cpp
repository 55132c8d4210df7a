// workspace/Unit1Straight.cpp: the "Find Straight" menu and Panel7.
#include "Unit1.h"

void TForm1::BuildPanel7()
{
    Panel7 = PlacePanel("Panel7", 401, 241);
    Button12 = PlaceButton(Panel7, "Button12", QStringLiteral("Find Straight"), 296, 200, 97, 33);
    BindCommand(Button12, &TForm1::Button12Click);
}

void TForm1::FindStraight1Click()
{
    HideToolPanels();
    OpenToolPanel(Panel7);
    Button12->setEnabled(false);
}

void TForm1::FindStraightSetup1Click() { Button12->setEnabled(true); }

void TForm1::Button12Click() {}
