// workspace/Unit1Morphology.cpp: the "Mophology" menu and Panel2.
#include "Conversions.h"
#include "MorphologyCommand.h"
#include "Unit1.h"

#include <array>
#include <cstdlib>

namespace {

// The element boxes in box order: row after row, left to right.
constexpr std::array<QCheckBox* TForm1::*, 49> kElementBoxes = {
    &TForm1::CheckBox1,  &TForm1::CheckBox2,  &TForm1::CheckBox3,  &TForm1::CheckBox4,
    &TForm1::CheckBox5,  &TForm1::CheckBox6,  &TForm1::CheckBox7,  &TForm1::CheckBox8,
    &TForm1::CheckBox9,  &TForm1::CheckBox10, &TForm1::CheckBox11, &TForm1::CheckBox12,
    &TForm1::CheckBox13, &TForm1::CheckBox14, &TForm1::CheckBox15, &TForm1::CheckBox16,
    &TForm1::CheckBox17, &TForm1::CheckBox18, &TForm1::CheckBox19, &TForm1::CheckBox20,
    &TForm1::CheckBox21, &TForm1::CheckBox22, &TForm1::CheckBox23, &TForm1::CheckBox24,
    &TForm1::CheckBox25, &TForm1::CheckBox26, &TForm1::CheckBox27, &TForm1::CheckBox28,
    &TForm1::CheckBox29, &TForm1::CheckBox30, &TForm1::CheckBox31, &TForm1::CheckBox32,
    &TForm1::CheckBox33, &TForm1::CheckBox34, &TForm1::CheckBox35, &TForm1::CheckBox36,
    &TForm1::CheckBox37, &TForm1::CheckBox38, &TForm1::CheckBox39, &TForm1::CheckBox40,
    &TForm1::CheckBox41, &TForm1::CheckBox42, &TForm1::CheckBox43, &TForm1::CheckBox44,
    &TForm1::CheckBox45, &TForm1::CheckBox46, &TForm1::CheckBox47, &TForm1::CheckBox48,
    &TForm1::CheckBox49};

QString BoxName(int row, int column) { return QStringLiteral("CheckBox%1").arg(1 + 7 * row + column); }

// Every box counts, visible or not: the element size decides which cells the
// operators look at, so a hidden box never changes a result.
StructuringElement ReadStructuringElement(const TForm1& form)
{
    StructuringElement element{};
    for (int i = 0; i < 7; ++i)
        for (int j = 0; j < 7; ++j) {
            const QCheckBox* box = form.FindComponent<QCheckBox>(BoxName(i, j));
            element[static_cast<std::size_t>(j)][static_cast<std::size_t>(i)] =
                box != nullptr && box->isChecked() ? 1 : 0;
        }
    return element;
}

}  // namespace

void TForm1::BuildPanel2()
{
    Panel2 = PlacePanel("Panel2", 265, 233);
    Panel2->setEnabled(false);
    Label2 = PlaceLabel(Panel2, "Label2", QStringLiteral("Mophology"), 8, 8);

    RadioGroup2 = Place<QGroupBox>(Panel2, "RadioGroup2", 8, 28, 97, 81);
    RadioGroup2->setTitle(QStringLiteral("Mask Size"));
    RadioButton4 = Place<QRadioButton>(RadioGroup2, "RadioButton4", 8, 18, 81, 17);
    RadioButton5 = Place<QRadioButton>(RadioGroup2, "RadioButton5", 8, 38, 81, 17);
    RadioButton6 = Place<QRadioButton>(RadioGroup2, "RadioButton6", 8, 58, 81, 17);
    RadioButton4->setText(QStringLiteral("3 x 3"));
    RadioButton5->setText(QStringLiteral("5 x 5"));
    RadioButton6->setText(QStringLiteral("7 x 7"));
    RadioButton6->setChecked(true);
    Bind(RadioButton4, &QRadioButton::clicked, &TForm1::RadioButton4Click);
    Bind(RadioButton5, &QRadioButton::clicked, &TForm1::RadioButton5Click);
    Bind(RadioButton6, &QRadioButton::clicked, &TForm1::RadioButton6Click);

    for (int k = 1; k <= 49; ++k) {
        const int row = (k - 1) / 7, column = (k - 1) % 7;
        const QByteArray name = BoxName(row, column).toLatin1();
        auto* box = Place<QCheckBox>(Panel2, name.constData(), 116 + 20 * column, 8 + 20 * row, 17,
                                     17);
        box->setChecked(true);
        this->*kElementBoxes[static_cast<std::size_t>(k - 1)] = box;
    }

    Label3 = PlaceLabel(Panel2, "Label3", QStringLiteral("# of Iterations"), 8, 116);
    Edit1 = Place<QLineEdit>(Panel2, "Edit1", 8, 134, 97, 21);
    Edit1->setText(QStringLiteral("1"));

    Button2 = PlaceButton(Panel2, "Button2", QStringLiteral("Mophology"), 8, 192, 249, 33);
    BindCommand(Button2, &TForm1::Button2Click);
}

void TForm1::Mophology1Click()
{
    HideToolPanels();
    Button2->setEnabled(false);
    OpenToolPanel(Panel2);
}

// Only dilation and erosion repeat; the other operators run once.
void TForm1::ChooseMorphology(int kind)
{
    OperationKind = kind;
    Button2->setText(QString::fromLatin1(MorphologyCaption(kind)));
    Edit1->setEnabled(MorphologyRepeats(kind));
    Button2->setEnabled(true);
}

void TForm1::Dilation1Click() { ChooseMorphology(0); }
void TForm1::Erosion1Click() { ChooseMorphology(1); }
void TForm1::Opening1Click() { ChooseMorphology(2); }
void TForm1::Closing1Click() { ChooseMorphology(3); }
void TForm1::ProperOpening1Click() { ChooseMorphology(4); }
void TForm1::ProperClosing1Click() { ChooseMorphology(5); }
void TForm1::ProperAutomedian1Click() { ChooseMorphology(6); }

void TForm1::ShowElementBoxes(int r)
{
    for (int i = 0; i < 7; ++i)
        for (int j = 0; j < 7; ++j)
            if (QCheckBox* box = FindComponent<QCheckBox>(BoxName(i, j)))
                box->setVisible(std::abs(3 - j) <= r && std::abs(3 - i) <= r);
}

void TForm1::RadioButton4Click() { ShowElementBoxes(1); }
void TForm1::RadioButton5Click() { ShowElementBoxes(2); }
void TForm1::RadioButton6Click() { ShowElementBoxes(3); }

// Every text is read before anything changes: a round count that is no number
// ends the command with the After image and its view as they were. The box is
// read only for the operators that repeat; it shows "1" again when it is
// disabled or holds a count below 1.
MorphologySettings TForm1::ReadMorphologySettings() const
{
    MorphologySettings settings;
    settings.kind = OperationKind;
    settings.mask = RadioButton4->isChecked() ? 3 : RadioButton5->isChecked() ? 5 : 7;
    settings.element = ReadStructuringElement(*this);
    settings.rounds = MorphologyRepeats(OperationKind) ? TextToInt(Edit1->text()) : 1;
    return settings;
}

void TForm1::Button2Click()
{
    const MorphologySettings settings = ReadMorphologySettings();
    const Corners roi = CornersAsShown();
    if (settings.rounds < 1 || !Edit1->isEnabled())
        Edit1->setText(QStringLiteral("1"));
    ShowOutcome(settings,
                RunMorphology(BeforeImage, AfterImage(), ImageWidth(), ImageHeight(), settings),
                roi);
}
