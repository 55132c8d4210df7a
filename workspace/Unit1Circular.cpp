// workspace/Unit1Circular.cpp: the "Find Circular" menu and Panel8.
#include "Unit1.h"

#include "Conversions.h"
#include "CircularCommand.h"

void TForm1::BuildPanel8()
{
    Panel8 = PlacePanel("Panel8", 625, 249);
    GroupBox8 = Place<QGroupBox>(Panel8, "GroupBox8", 8, 8, 385, 233);
    GroupBox8->setTitle(QStringLiteral("Find Circular"));
    ComboBox5 = PlaceCaptionedList(GroupBox8, "ComboBox5", QStringLiteral("Direction"), 22,
                                   {QStringLiteral("INWARD"), QStringLiteral("OUTWARD")});
    struct Row {
        QScrollBar*& bar;
        const char* name;
        const char* editName;
        const char* caption;
        int minimum, maximum, value;
        QLineEdit*& echo;
        void (TForm1::*handler)();
    };
    const Row rows[] = {
        {ScrollBar11, "ScrollBar11", "Edit9", "Gap", 1, 100, 10, Edit9, &TForm1::ScrollBar11Change},
        {ScrollBar12, "ScrollBar12", "Edit10", "Edge Strength", 0, 255, 50, Edit10,
         &TForm1::ScrollBar12Change},
        {ScrollBar13, "ScrollBar13", "Edit11", "Start Angle", 0, 360, 0, Edit11,
         &TForm1::ScrollBar13Change},
        {ScrollBar14, "ScrollBar14", "Edit12", "End Angle", 0, 360, 360, Edit12,
         &TForm1::ScrollBar14Change},
        {ScrollBar15, "ScrollBar15", "Edit13", "Inside Radius", 0, 100, 0, Edit13,
         &TForm1::ScrollBar15Change},
        {ScrollBar16, "ScrollBar16", "Edit14", "Outside Radius", 0, 250, 100, Edit14,
         &TForm1::ScrollBar16Change},
    };
    int top = 56;
    for (const Row& row : rows) {
        row.bar = PlaceEchoedScrollBar(GroupBox8, row.name, row.editName,
                                       QString::fromLatin1(row.caption), top, row.minimum, row.maximum,
                                       row.value, row.echo, row.handler);
        top += 28;
    }

    Label50 = PlaceLabel(Panel8, "Label50", QStringLiteral("Result"), 408, 16);
    Shape6 = Place<QFrame>(Panel8, "Shape6", 408, 40, 209, 129);
    Shape6->setFrameShape(QFrame::Box);
    Label51 = Place<QLabel>(Shape6, "Label51", 4, 4, 201, 121);
    QFont verdict = Label51->font();
    verdict.setPixelSize(48);
    verdict.setBold(true);
    Label51->setFont(verdict);
    Label51->setAlignment(Qt::AlignCenter);
    Label51->setText(QStringLiteral("OK"));

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

void TForm1::ScrollBar11Change() { Edit9->setText(IntToText(ScrollBar11->value())); }
void TForm1::ScrollBar12Change() { Edit10->setText(IntToText(ScrollBar12->value())); }
void TForm1::ScrollBar13Change() { Edit11->setText(IntToText(ScrollBar13->value())); }
void TForm1::ScrollBar14Change() { Edit12->setText(IntToText(ScrollBar14->value())); }
void TForm1::ScrollBar15Change() { Edit13->setText(IntToText(ScrollBar15->value())); }
void TForm1::ScrollBar16Change() { Edit14->setText(IntToText(ScrollBar16->value())); }

// The centre is where the mouse button went down on the Before view.
void TForm1::Button13Click()
{
    const Corners corners = ReadCorners();
    const CircularSettings settings{ComboBox5->currentIndex(), ScrollBar11->value(),
                                    ScrollBar12->value(), ScrollBar13->value(),
                                    ScrollBar14->value(), ScrollBar15->value(),
                                    ScrollBar16->value(), corners.X1, corners.Y1};
    const CircularResult r =
        RunFindCircular(BeforeImage, AfterImage(), ImageWidth(), ImageHeight(), settings);
    Label51->setText(r.ok ? QStringLiteral("OK") : QStringLiteral("NG"));  // NG before any picture
    ShowOutcome(settings, r, corners);
}
