// workspace/Unit1Pattern.cpp: the "Match Pattern" menu and Panel5.
#include "Unit1.h"

void TForm1::BuildPanel5()
{
    Panel5 = PlacePanel("Panel5", 769, 233);
    Button7 = PlaceButton(Panel5, "Button7", QStringLiteral("Show Temp Picture"), 16, 112, 121, 33);
    Button9 = PlaceButton(Panel5, "Button9", QStringLiteral("Create Template"), 16, 152, 121, 33);
    Button10 = PlaceButton(Panel5, "Button10", QStringLiteral("Find Pattern"), 16, 192, 121, 33);
    BindCommand(Button7, &TForm1::Button7Click);
    BindCommand(Button9, &TForm1::Button9Click);
    BindCommand(Button10, &TForm1::Button10Click);
}

void TForm1::MatchPattern1Click()
{
    HideToolPanels();
    for (QPushButton* button : {Button7, Button9, Button10})
        button->setEnabled(false);
    OpenToolPanel(Panel5);
}

void TForm1::MatchPatternSetup1Click()
{
    for (QPushButton* button : {Button7, Button9, Button10})
        button->setEnabled(true);
}

void TForm1::Button7Click() {}
void TForm1::Button9Click() {}
void TForm1::Button10Click() {}
