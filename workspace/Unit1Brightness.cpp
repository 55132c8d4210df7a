// workspace/Unit1Brightness.cpp: the "Brightness" menu and Panel3.
#include "BrightnessCommand.h"
#include "Conversions.h"
#include "Unit1.h"

namespace {

constexpr int kPlotSide = 64;

QScrollBar* PlaceScrollBar(TForm1& form, QWidget* parent, const char* name, int top, int minimum,
                           int maximum, int position)
{
    auto* bar = form.Place<QScrollBar>(parent, name, 8, top, 141, 17);
    bar->setOrientation(Qt::Horizontal);
    bar->setRange(minimum, maximum);
    bar->setValue(position);
    return bar;
}

}  // namespace

void TForm1::BuildPanel3()
{
    Panel3 = PlacePanel("Panel3", 385, 233);
    Panel3->setEnabled(false);
    GroupBox1 = Place<QGroupBox>(Panel3, "GroupBox1", 8, 8, 281, 217);
    GroupBox1->setTitle(QStringLiteral("Brightness"));
    Label6 = PlaceLabel(GroupBox1, "Label6", QStringLiteral("Brightness"), 8, 24);
    ScrollBar1 = PlaceScrollBar(*this, GroupBox1, "ScrollBar1", 42, 0, 255, 128);
    Label20 = PlaceLabel(GroupBox1, "Label20", QStringLiteral("128"), 157, 44);
    Label17 = PlaceLabel(GroupBox1, "Label17", QStringLiteral("Contrast"), 8, 80);
    ScrollBar2 = PlaceScrollBar(*this, GroupBox1, "ScrollBar2", 98, 1, 89, 45);
    Label21 = PlaceLabel(GroupBox1, "Label21", QStringLiteral("45"), 157, 100);
    Label18 = PlaceLabel(GroupBox1, "Label18", QStringLiteral("Gamma"), 8, 136);
    ScrollBar3 = PlaceScrollBar(*this, GroupBox1, "ScrollBar3", 154, 1, 100, 50);
    Label22 = PlaceLabel(GroupBox1, "Label22", QStringLiteral("1"), 157, 156);
    for (QLabel* value : {Label20, Label21, Label22})
        value->setMinimumWidth(120);  // "0.100000001490116" fits

    Label19 = PlaceLabel(Panel3, "Label19", QStringLiteral("Lookup Table"), 300, 12);
    Image3 = Place<PictureView>(Panel3, "Image3", 304, 32, kPlotSide, kPlotSide);
    QImage plot(kPlotSide, kPlotSide, QImage::Format_RGB32);
    plot.fill(Qt::white);
    Image3->SetPicture(plot);

    Button3 = PlaceButton(Panel3, "Button3", QStringLiteral("Reset"), 296, 152, 81, 33);
    Button4 = PlaceButton(Panel3, "Button4", QStringLiteral("Run"), 296, 192, 81, 33);
    Bind(ScrollBar1, &QScrollBar::valueChanged, &TForm1::ScrollBar1Change);
    Bind(ScrollBar2, &QScrollBar::valueChanged, &TForm1::ScrollBar2Change);
    Bind(ScrollBar3, &QScrollBar::valueChanged, &TForm1::ScrollBar3Change);
    BindCommand(Button3, &TForm1::Button3Click);
    BindCommand(Button4, &TForm1::Button4Click);
}

void TForm1::Brightness1Click()
{
    HideToolPanels();
    Button4->setEnabled(false);
    OpenToolPanel(Panel3);
    DrawLookupCurve();
}

void TForm1::BrightnessSetup1Click()
{
    Button4->setEnabled(true);
}

void TForm1::ScrollBar1Change()
{
    Label20->setText(IntToText(ScrollBar1->value()));
    DrawLookupCurve();
}

void TForm1::ScrollBar2Change()
{
    Label21->setText(IntToText(ScrollBar2->value()));
    DrawLookupCurve();
}

void TForm1::ScrollBar3Change()
{
    // The single-precision value with 15 digits: 51 shows "1.17999994754791".
    Label22->setText(RealToText(static_cast<double>(GammaFromPosition(ScrollBar3->value()))));
    DrawLookupCurve();
}

void TForm1::Button3Click()
{
    ScrollBar1->setValue(128);
    ScrollBar2->setValue(45);
    ScrollBar3->setValue(50);
    Label20->setText(QStringLiteral("128"));
    Label21->setText(QStringLiteral("45"));
    Label22->setText(QStringLiteral("1"));
    DrawLookupCurve();
}

// The settings are the value labels, as the lookup curve reads them.
BrightnessSettings TForm1::ReadBrightnessSettings() const
{
    return {TextToInt(Label20->text()), TextToInt(Label21->text()),
            static_cast<float>(TextToReal(Label22->text()))};
}

// The whole image: the region of interest plays no part here.
void TForm1::Button4Click()
{
    const BrightnessSettings settings = ReadBrightnessSettings();
    const Corners roi = CornersAsShown();
    ShowOutcome(settings,
                RunBrightness(BeforeImage, AfterImage(), ImageWidth(), ImageHeight(), settings),
                roi);
}

// Dots, not a line: the entries 0, 4, .. 252 at x = 0 .. 63, output 255 on row 0.
// An output of 0 or 1 lands on row 64, below the plot, and shows nothing.
void TForm1::DrawLookupCurve()
{
    Image3->Fill(qRgb(255, 255, 255));
    const auto gamma = static_cast<float>(TextToReal(Label22->text()));
    const int contrast = TextToInt(Label21->text());
    const int brightness = TextToInt(Label20->text());
    BrightnessTable table;
    BuildBrightnessTable(table, brightness, contrast, gamma);
    for (int x = 0; x < kPlotSide; ++x) {
        const int v = table[static_cast<std::size_t>(4 * x)];
        Image3->SetPixel(x, kPlotSide - RoundHalfAway(static_cast<float>(v) * 0.25f),
                         qRgb(0, 0, 0));
    }
}
