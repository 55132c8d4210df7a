// workspace/Unit1Morphology.cpp: the "Mophology" menu and Panel2.
#include "Unit1.h"

#include <array>

namespace {

constexpr std::array<const char*, 7> kMorphologyCaptions = {
    "Dilation", "Erosion", "Opening", "Closing", "Proper Opening", "Proper Closing",
    "Proper Automedian"};

}  // namespace

void TForm1::BuildPanel2()
{
    Panel2 = PlacePanel("Panel2", 265, 233);
    Panel2->setEnabled(false);
    Button2 = PlaceButton(Panel2, "Button2", QStringLiteral("Mophology"), 8, 192, 249, 33);
    BindCommand(Button2, &TForm1::Button2Click);
}

void TForm1::Mophology1Click()
{
    HideToolPanels();
    Button2->setEnabled(false);
    OpenToolPanel(Panel2);
}

void TForm1::ChooseMorphology(int kind)
{
    OperationKind = kind;
    Button2->setText(QString::fromLatin1(kMorphologyCaptions[static_cast<std::size_t>(kind)]));
    Button2->setEnabled(true);
}

void TForm1::Dilation1Click() { ChooseMorphology(0); }
void TForm1::Erosion1Click() { ChooseMorphology(1); }
void TForm1::Opening1Click() { ChooseMorphology(2); }
void TForm1::Closing1Click() { ChooseMorphology(3); }
void TForm1::ProperOpening1Click() { ChooseMorphology(4); }
void TForm1::ProperClosing1Click() { ChooseMorphology(5); }
void TForm1::ProperAutomedian1Click() { ChooseMorphology(6); }

void TForm1::Button2Click() {}
