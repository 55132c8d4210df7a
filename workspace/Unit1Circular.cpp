// workspace/Unit1Circular.cpp: the "Find Circular" menu and Panel8.
#include "Unit1.h"

void TForm1::BuildPanel8()
{
    Panel8 = PlacePanel("Panel8", 625, 249);
    Button13 = PlaceButton(Panel8, "Button13", QStringLiteral("Find Circular"), 520, 208, 97, 33);
    BindCommand(Button13, &TForm1::Button13Click);
}

void TForm1::FindCircular1Click()
{
    HideToolPanels();
    OpenToolPanel(Panel8);
    Button13->setEnabled(false);
}

void TForm1::FindCircularSetup1Click() { Button13->setEnabled(true); }

void TForm1::Button13Click() {}
