// workspace/Unit1Filter.cpp: the "Fiter" menu and Panel1.
#include "FilterCommand.h"
#include "Unit1.h"


void TForm1::BuildPanel1()
{
    Panel1 = PlacePanel("Panel1", 129, 233);
    Panel1->setEnabled(false);
    Label1 = PlaceLabel(Panel1, "Label1", QStringLiteral("Filter"), 8, 8);
    RadioGroup1 = Place<QGroupBox>(Panel1, "RadioGroup1", 8, 32, 113, 105);
    RadioGroup1->setTitle(QStringLiteral("Mask Size"));
    RadioButton1 = Place<QRadioButton>(RadioGroup1, "RadioButton1", 8, 24, 97, 17);
    RadioButton2 = Place<QRadioButton>(RadioGroup1, "RadioButton2", 8, 48, 97, 17);
    RadioButton3 = Place<QRadioButton>(RadioGroup1, "RadioButton3", 8, 72, 97, 17);
    RadioButton1->setText(QStringLiteral("3 x 3"));
    RadioButton2->setText(QStringLiteral("5 x 5"));
    RadioButton3->setText(QStringLiteral("7 x 7"));
    RadioButton1->setChecked(true);  // the three share their parent, so exactly one is checked
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
    // The button's caption is the only display of the chosen filter.
    Button1->setText(QString::fromLatin1(FilterCaption(kind)));
    // A disabled button keeps its check, so the size comes back with the buttons.
    for (QRadioButton* size : {RadioButton1, RadioButton2, RadioButton3})
        size->setEnabled(kind < kFirstFixedWindowFilter);
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

int TForm1::MaskSize() const
{
    return RadioButton3->isChecked() ? 7 : RadioButton2->isChecked() ? 5 : 3;
}

FilterSettings TForm1::ReadFilterSettings() const
{
    return {OperationKind, MaskSize(), ReadCorners()};
}

void TForm1::Button1Click()
{
    const FilterSettings settings = ReadFilterSettings();
    ShowOutcome(settings,
                RunFilter(BeforeImage, AfterImage(), ImageWidth(), ImageHeight(), settings),
                settings.roi);
}
