// workspace/Unit1Threshold.cpp: the "Threshold" menu and Panel4.
#include "Conversions.h"
#include "Threshold.h"
#include "ThresholdCommand.h"
#include "Unit1.h"

namespace {

// Panel4 is shared: at this width only the threshold group shows.
constexpr int kThresholdWidth = 545;

}  // namespace

void TForm1::BuildPanel4()
{
    Panel4 = PlacePanel("Panel4", 945, 233);
    GroupBox2 = Place<QGroupBox>(Panel4, "GroupBox2", 8, 8, 529, 217);
    GroupBox2->setTitle(QStringLiteral("Threshold :"));

    Label23 = PlaceLabel(GroupBox2, "Label23", QStringLiteral("Look For"), 16, 24);
    ComboBox1 = Place<QComboBox>(GroupBox2, "ComboBox1", 16, 40, 145, 21);
    ComboBox1->addItems({QStringLiteral("Dark Objects"), QStringLiteral("Bright Objects"),
                         QStringLiteral("Gray Objects")});
    ComboBox1->setCurrentIndex(0);

    const auto slider = [&](const char* name, int top, int position) {
        auto* bar = Place<QScrollBar>(GroupBox2, name, 16, top, 177, 17);
        bar->setOrientation(Qt::Horizontal);
        bar->setRange(0, 255);  // every position set is clamped to the range
        bar->setValue(position);
        return bar;
    };
    Label25 = PlaceLabel(GroupBox2, "Label25", QStringLiteral("Lower"), 16, 72);
    ScrollBar4 = slider("ScrollBar4", 88, 0);
    Edit2 = Place<QLineEdit>(GroupBox2, "Edit2", 200, 86, 49, 21);
    Edit2->setText(QStringLiteral("0"));
    Label26 = PlaceLabel(GroupBox2, "Label26", QStringLiteral("Upper"), 16, 116);
    ScrollBar5 = slider("ScrollBar5", 132, 255);
    Edit3 = Place<QLineEdit>(GroupBox2, "Edit3", 200, 130, 49, 21);
    Edit3->setText(QStringLiteral("255"));
    // The upper slider itself starts enabled; the first change of the mode sets
    // it as the mode says.
    Label26->setEnabled(false);
    Edit3->setEnabled(false);

    CheckBox50 = Place<QCheckBox>(GroupBox2, "CheckBox50", 16, 176, 57, 17);
    CheckBox50->setText(QStringLiteral("AUTO"));
    Label28 = PlaceLabel(GroupBox2, "Label28", QStringLiteral("Threshold :"), 88, 178);
    Label27 = PlaceLabel(GroupBox2, "Label27", QStringLiteral("0"), 152, 178);
    Label27->setMinimumWidth(24);
    Label28->hide();
    Label27->hide();

    Label24 = PlaceLabel(GroupBox2, "Label24", QStringLiteral("Histogram"), 264, 24);
    Shape4 = Place<QFrame>(GroupBox2, "Shape4", 264, 40, 256, 64);
    Shape4->setAutoFillBackground(true);
    QPalette shadow = Shape4->palette();
    shadow.setColor(QPalette::Window, shadow.color(QPalette::Dark));
    Shape4->setPalette(shadow);
    Image4 = Place<PictureView>(GroupBox2, "Image4", 264, 40, 256, 64);
    Image4->raise();

    Button5 = PlaceButton(GroupBox2, "Button5", QStringLiteral("Run"), 440, 176, 81, 33);
    Button8 = PlaceButton(GroupBox2, "Button8", QStringLiteral("Detect Start"), 440, 176, 81, 33);
    Button8->hide();
    BuildGroupBox3();

    // currentIndexChanged fires both when the user picks a mode and when the
    // index is set from code (a test, or a future preset), as long as it moves;
    // activated would miss the second. A typed threshold is taken when the
    // typing ends (Enter, or leaving the box), never halfway: deleting a digit
    // to type another must not meet an empty box.
    Bind(ComboBox1, &QComboBox::currentIndexChanged, &TForm1::ComboBox1Change);
    Bind(ScrollBar4, &QScrollBar::valueChanged, &TForm1::ScrollBar4Change);
    Bind(ScrollBar5, &QScrollBar::valueChanged, &TForm1::ScrollBar5Change);
    Bind(Edit2, &QLineEdit::editingFinished, &TForm1::Edit2Change);
    Bind(Edit3, &QLineEdit::editingFinished, &TForm1::Edit3Change);
    Bind(CheckBox50, &QCheckBox::toggled, &TForm1::CheckBox50Click);
    BindCommand(Button5, &TForm1::Button5Click);
    BindCommand(Button8, &TForm1::Button8Click);
}

void TForm1::DrawHistogram()
{
    if (!BeforeImage)
        return;
    GrayImage histogram = NewGrayImage(256, 64);
    if (!histogram)
        return;
    HistogramImage(BeforeImage, histogram, 0, 0, ImageWidth(), ImageHeight());
    if (Image4->PictureWidth() != 256 || Image4->PictureHeight() != 64)
        Image4->SetPicture(QImage(256, 64, QImage::Format_RGB32));
    Image4->ShowGray(histogram, 256, 64);
}

void TForm1::Threshold1Click()
{
    HideToolPanels();
    DrawHistogram();
    GroupBox2->setTitle(QStringLiteral("Threshold :"));
    Button8->hide();
    Button5->show();
    Button5->setEnabled(false);
    OpenToolPanel(Panel4);
    Panel4->resize(kThresholdWidth, Panel4->height());
}

void TForm1::ThresholdSetup1Click() { Button5->setEnabled(true); }

void TForm1::ComboBox1Change()
{
    const bool gray = ComboBox1->currentIndex() == kGrayObjects;
    if (gray && CheckBox50->isChecked())
        Button5->setEnabled(false);  // the band ignores "AUTO": it needs the sliders
    // Enabled in gray mode even while "AUTO" is checked; disabled in any other.
    Label26->setEnabled(gray);
    ScrollBar5->setEnabled(gray);
    Edit3->setEnabled(gray);
}

// Moving a slider fires its handler, so a typed value comes back clamped into
// its box, and moving one threshold past the other drags the other along. The
// lower one drags the upper only while the upper slider is enabled; the upper
// one always drags the lower.
void TForm1::ScrollBar4Change()
{
    Edit2->setText(IntToText(ScrollBar4->value()));
    if (ScrollBar5->isEnabled() && ScrollBar4->value() >= ScrollBar5->value())
        ScrollBar5->setValue(ScrollBar4->value());
}

void TForm1::ScrollBar5Change()
{
    Edit3->setText(IntToText(ScrollBar5->value()));
    if (ScrollBar4->value() >= ScrollBar5->value())
        ScrollBar4->setValue(ScrollBar5->value());
}

// A text that is not a whole number throws the conversion error, which the
// wiring shows; the slider keeps its position and the box shows it again.
void TForm1::Edit2Change() { EnterValue(ScrollBar4, Edit2, Label25->text()); }

void TForm1::Edit3Change() { EnterValue(ScrollBar5, Edit3, Label26->text()); }

void TForm1::CheckBox50Click()
{
    const bool automatic = CheckBox50->isChecked();
    const bool gray = ComboBox1->currentIndex() == kGrayObjects;
    if (automatic) {
        // Computed once, over the whole Before image of this moment, and kept as text.
        const int width = ImageWidth(), height = ImageHeight();
        Label27->setText(IntToText(AutoThreshold(BeforeImage, 0, 0, width, height, width, height)));
        Label27->adjustSize();
    }
    if (gray)
        Button5->setEnabled(!automatic);
    Label27->setVisible(automatic);
    Label28->setVisible(automatic);
    // In every mode, so unchecking enables the upper controls in modes 0 and 1 too.
    for (QWidget* control : std::initializer_list<QWidget*>{ScrollBar4, ScrollBar5, Edit2, Edit3,
                                                            Label25, Label26})
        control->setEnabled(!automatic);
}

// The automatic threshold is the one "AUTO" computed when it was checked, kept
// as the label's text; the band mode never uses it.
ThresholdSettings TForm1::ReadThresholdSettings() const
{
    ThresholdSettings settings;
    settings.mode = ComboBox1->currentIndex();
    settings.lower = ScrollBar4->value();
    settings.upper = ScrollBar5->value();
    settings.automatic = CheckBox50->isChecked();
    if (settings.automatic)
        settings.autoThreshold = TextToInt(Label27->text());
    return settings;
}

// The whole image is thresholded, not the region of interest.
void TForm1::Button5Click()
{
    const ThresholdSettings settings = ReadThresholdSettings();
    const Corners roi = CornersAsShown();  // the region the statistics cover
    ShowOutcome(settings,
                RunThreshold(BeforeImage, AfterImage(), ImageWidth(), ImageHeight(), settings),
                roi);
}
