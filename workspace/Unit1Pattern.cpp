// workspace/Unit1Pattern.cpp: the "Match Pattern" menu and Panel5: the template
// file, the Temp Picture window and the search.
#include "Unit1.h"

#include "Conversions.h"
#include "Dialogs.h"
#include "ExchangeFiles.h"
#include "Match_pattern.h"
#include "PictureFiles.h"
#include "Unit2.h"

#include <QFileInfo>

namespace {

// Why a template cannot be searched for, or nothing when it can.
QString Refusal(TemplateFit fit, int tw, int th)
{
    switch (fit) {
    case TemplateFit::Usable:
        return {};
    case TemplateFit::Empty:
        return QStringLiteral("The template picture has no pixels (%1 x %2). Create a template "
                              "from a region of the Before image first.")
            .arg(tw)
            .arg(th);
    case TemplateFit::TooSmallForZeroAngle:
        return QStringLiteral("The template is %1 x %2 pixels. A search with Angle 0 needs a "
                              "template of at least 5 x 5 pixels.")
            .arg(tw)
            .arg(th);
    case TemplateFit::TooSmallForRotation:
        return QStringLiteral("The template is %1 x %2 pixels. A search with an Angle above 0 "
                              "needs a template of at least 8 x 8 pixels.")
            .arg(tw)
            .arg(th);
    }
    return {};
}

// n + 2 rows: the headings, one row per candidate and a last row left blank.
void FillResultGrid(StringGrid& grid, const FloatImage& results, int n)
{
    static const char* const kHeadings[] = {"X1", "Y1", "X2", "Y2", "Angle", "SCORE"};
    grid.BeginUpdate();
    grid.SetRowCount(n + 2);
    for (int c = 0; c < 6; ++c)
        grid.SetCell(c + 1, 0, QString::fromLatin1(kHeadings[c]));
    for (int j = 1; j <= n; ++j) {
        grid.SetCell(0, j, IntToText(j));
        for (int c = 0; c < 6; ++c)  // single to double first, then 15 significant digits
            grid.SetCell(c + 1, j, RealToText(static_cast<double>(results[c][j - 1])));
    }
    // A grid keeps the texts of rows it no longer shows; the last row must not
    // bring back a candidate of an earlier, longer search.
    for (int c = 0; c < 7; ++c)
        grid.SetCell(c, n + 1, QString());
    grid.EndUpdate();
}

}  // namespace

void TForm1::BuildPanel5()
{
    Panel5 = PlacePanel("Panel5", 769, 233);
    GroupBox4 = Place<QGroupBox>(Panel5, "GroupBox4", 8, 8, 241, 217);
    GroupBox4->setTitle(QStringLiteral("Match Pattern"));
    Label34 = PlaceLabel(GroupBox4, "Label34", QStringLiteral("Angle"), 16, 24);
    ScrollBar6 = Place<QScrollBar>(GroupBox4, "ScrollBar6", 16, 44, 169, 17);
    ScrollBar6->setOrientation(Qt::Horizontal);
    ScrollBar6->setRange(0, 360);
    ScrollBar6->setValue(0);
    Label33 = PlaceLabel(GroupBox4, "Label33", QStringLiteral("0"), 196, 46);
    Label33->setMinimumWidth(30);
    Button7 = PlaceButton(GroupBox4, "Button7", QStringLiteral("Show Temp Picture"), 16, 80, 137, 33);
    Button9 = PlaceButton(GroupBox4, "Button9", QStringLiteral("Create Template"), 16, 120, 137, 33);
    Button10 = PlaceButton(GroupBox4, "Button10", QStringLiteral("Find Pattern"), 16, 160, 137, 33);

    GroupBox5 = Place<QGroupBox>(Panel5, "GroupBox5", 256, 8, 505, 217);
    GroupBox5->setTitle(QStringLiteral("Find Result"));
    StringGrid2 = Place<StringGrid>(GroupBox5, "StringGrid2", 8, 20, 489, 189);
    StringGrid2->SetColCount(7);
    StringGrid2->SetRowCount(2);
    StringGrid2->SetDefaultRowHeight(16);
    // Room for a score of 15 significant digits in the last column.
    StringGrid2->SetColWidth(0, 40);
    for (int column = 1; column <= 5; ++column)
        StringGrid2->SetColWidth(column, 56);
    StringGrid2->SetColWidth(6, 140);

    Bind(ScrollBar6, &QScrollBar::valueChanged, &TForm1::ScrollBar6Change);
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

void TForm1::ScrollBar6Change()
{
    Label33->setText(IntToText(ScrollBar6->value()));
    Label33->adjustSize();
}

void TForm1::Button9Click()
{
    // The template is [X1, X2) x [Y1, Y2): the region's last column and row stay out.
    const Region r = ReadRegionOfInterest();
    const QImage picture = PictureOfRegion(BeforeImage, r);
    if (picture.isNull()) {
        Dialogs().ShowMessage(this, QStringLiteral("The region of interest (%1, %2) to (%3, %4) "
                                                   "covers no pixel of the Before image, so no "
                                                   "template was written.")
                                        .arg(r.X1)
                                        .arg(r.Y1)
                                        .arg(r.X2)
                                        .arg(r.Y2));
        return;
    }
    WritePictureFile(picture, TemplateFilePath());
}

void TForm1::Button7Click()
{
    const QString path = TemplateFilePath();
    if (!QFileInfo::exists(path) || Form2 == nullptr)
        return;
    Form2->show();
    Form2->raise();
    Form2->activateWindow();
    Form2->Image1->LoadFromFile(path);
}

void TForm1::Button10Click()
{
    const int width = ImageWidth(), height = ImageHeight();
    const QString path = TemplateFilePath();
    if (!QFileInfo::exists(path)) {  // silently, and the view is not repainted
        CopyGrayImage(BeforeImage, AfterImage, width, height);
        return;
    }
    QImage picture;
    try {
        picture = ReadPictureFile(path);
    } catch (...) {
        // Before is copied into After ahead of reading the template: a file that
        // cannot be read ends the command with that copy made (and not shown), so
        // "Copy After to Before" afterwards brings back no earlier result.
        CopyGrayImage(BeforeImage, AfterImage, width, height);
        throw;
    }
    const int tw = picture.width(), th = picture.height();
    const float angle = static_cast<float>(ScrollBar6->value());
    // A template the search cannot use changes nothing: not the After image, not the grid.
    if (const QString refusal = Refusal(CheckTemplateSize(tw, th, angle), tw, th);
        !refusal.isEmpty()) {
        Dialogs().ShowMessage(this, refusal);
        return;
    }
    const GrayImage templ = GrayFromPicture(picture);
    if (!templ)
        return;
    CopyGrayImage(BeforeImage, AfterImage, width, height);

    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<ProgressWindow> window;
    const SearchProgress progress = [&](double done) {
        if (window == nullptr) {
            if (clock.elapsed() < SearchProgressDelayMs)
                return true;
            window = Dialogs().OpenProgress(this, QStringLiteral("Find Pattern: searching..."));
        }
        return window->Advance(done);
    };
    FloatImage results;
    const int n = MatchPattern(AfterImage, templ, results, 0, 0, tw, th, angle, width, height,
                               progress);
    window.reset();
    if (n < 0) {  // cancelled: no outline stays, the grid keeps the last search
        CopyGrayImage(BeforeImage, AfterImage, width, height);
        ShowAfter();
        return;
    }
    if (n >= 1 && results)
        FillResultGrid(*StringGrid2, results, n);
    ShowAfter();
}
