// workspace/Unit1Straight.cpp: the "Find Straight" menu and Panel7.
#include "Unit1.h"

#include "Conversions.h"
#include "StraightCommand.h"

void TForm1::BuildPanel7()
{
    Panel7 = PlacePanel("Panel7", 401, 241);
    GroupBox7 = Place<QGroupBox>(Panel7, "GroupBox7", 8, 8, 385, 185);
    GroupBox7->setTitle(QStringLiteral("Find Straight"));
    ComboBox4 = PlaceCaptionedList(GroupBox7, "ComboBox4", QStringLiteral("Direction"), 24,
                                   {QStringLiteral("UP"), QStringLiteral("LEFT"),
                                    QStringLiteral("DOWN"), QStringLiteral("RIGHT")});
    ScrollBar8 = PlaceEchoedScrollBar(GroupBox7, "ScrollBar8", "Edit6", QStringLiteral("Gap"), 64,
                                      1, 100, 1, Edit6, &TForm1::ScrollBar8Change);
    ScrollBar9 = PlaceEchoedScrollBar(GroupBox7, "ScrollBar9", "Edit7",
                                      QStringLiteral("Edge Strength"), 100, 0, 255, 0, Edit7,
                                      &TForm1::ScrollBar9Change);
    ScrollBar10 = PlaceEchoedScrollBar(GroupBox7, "ScrollBar10", "Edit8", QStringLiteral("Angle"),
                                       136, 0, 360, 0, Edit8, &TForm1::ScrollBar10Change);
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

void TForm1::ScrollBar8Change() { Edit6->setText(IntToText(ScrollBar8->value())); }
void TForm1::ScrollBar9Change() { Edit7->setText(IntToText(ScrollBar9->value())); }
void TForm1::ScrollBar10Change() { Edit8->setText(IntToText(ScrollBar10->value())); }

// The corners as they stand; the tool orders them itself.
void TForm1::Button12Click()
{
    const StraightSettings settings{ComboBox4->currentIndex(), ScrollBar8->value(),
                                    ScrollBar9->value(), ScrollBar10->value(), ReadCorners()};
    ShowOutcome(settings,
                RunFindStraight(BeforeImage, AfterImage(), ImageWidth(), ImageHeight(), settings),
                settings.roi);
}
