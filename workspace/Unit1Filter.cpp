// workspace/Unit1Filter.cpp: the "Fiter" menu and Panel1.
#include "Unit1.h"

#include <array>

namespace {

// Caption of Button1 for each filter kind; the button's caption is the only
// display of the chosen filter.
constexpr std::array<const char*, 8> kFilterCaptions = {
    "Lowpass", "LocalAverage", "Median", "Gaussian", "Laplacian", "Prewitt", "Sobel", "Roberts"};

}  // namespace

void TForm1::BuildPanel1()
{
    Panel1 = PlacePanel("Panel1", 129, 233);
    Panel1->setEnabled(false);
    Button1 = PlaceButton(Panel1, "Button1", QStringLiteral("Filter"), 8, 192, 113, 33);
    Button1->setEnabled(false);
    BindCommand(Button1, &TForm1::Button1Click);
}

void TForm1::Fiter1Click()
{
    HideToolPanels();
    Button1->setEnabled(false);
    OpenToolPanel(Panel1);
}

void TForm1::ChooseFilter(int kind)
{
    OperationKind = kind;
    Button1->setText(QString::fromLatin1(kFilterCaptions[static_cast<std::size_t>(kind)]));
    Button1->setEnabled(true);
}

void TForm1::Lowpass1Click() { ChooseFilter(0); }
void TForm1::LocalAverage1Click() { ChooseFilter(1); }
void TForm1::Median1Click() { ChooseFilter(2); }
void TForm1::Gaussian1Click() { ChooseFilter(3); }
void TForm1::Laplacian1Click() { ChooseFilter(4); }
void TForm1::Prewitt1Click() { ChooseFilter(5); }
void TForm1::Sobel1Click() { ChooseFilter(6); }
void TForm1::Roberts1Click() { ChooseFilter(7); }

void TForm1::Button1Click() {}
