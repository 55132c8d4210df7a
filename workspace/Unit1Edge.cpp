// workspace/Unit1Edge.cpp: the "Find Edge" menu and Panel6.
#include "Unit1.h"

void TForm1::BuildPanel6()
{
    Panel6 = PlacePanel("Panel6", 401, 233);
    Button11 = PlaceButton(Panel6, "Button11", QStringLiteral("Find Edge"), 296, 192, 97, 33);
    BindCommand(Button11, &TForm1::Button11Click);
}

void TForm1::FindEdge1Click()
{
    HideToolPanels();
    Button11->setEnabled(false);
    OpenToolPanel(Panel6);
}

void TForm1::FindEdgeSetup1Click() { Button11->setEnabled(true); }

void TForm1::Button11Click() {}
