// workspace/Unit1Pattern.cpp: the "Match Pattern" menu and Panel5: the template
// file, the Temp Picture window and the search.
#include "Unit1.h"

#include "Conversions.h"
#include "Dialogs.h"
#include "ExchangeFiles.h"
#include "PatternCommand.h"
#include "PictureFiles.h"
#include "Unit2.h"

#include <QFileInfo>

namespace {

// n + 2 rows: the headings, one row per candidate and a last row left blank.
void FillResultGrid(StringGrid& grid, const std::vector<MatchRow>& rows)
{
    const int n = static_cast<int>(rows.size());
    static const char* const kHeadings[] = {"X1", "Y1", "X2", "Y2", "Angle", "SCORE"};
    grid.BeginUpdate();
    grid.SetRowCount(n + 2);
    for (int c = 0; c < 6; ++c)
        grid.SetCell(c + 1, 0, QString::fromLatin1(kHeadings[c]));
    for (int j = 1; j <= n; ++j) {
        const MatchRow& row = rows[static_cast<std::size_t>(j - 1)];
        const float values[] = {row.x1, row.y1, row.x2, row.y2, row.angle, row.score};
        grid.SetCell(0, j, IntToText(j));
        for (int c = 0; c < 6; ++c)  // single to double first, then 15 significant digits
            grid.SetCell(c + 1, j, RealToText(static_cast<double>(values[c])));
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
    const TemplateResult r = RunCreateTemplate(BeforeImage, ImageWidth(), ImageHeight(),
                                               ReadCorners());
    if (r.outcome == Outcome::Refused) {
        CommandOutcome(StatusOutcome::NothingDone);
        Dialogs().ShowMessage(this, QString::fromStdString(r.message));
    }
    if (!r.Ran())
        return;
    WritePictureFile(PictureOfRegion(r.templ.pixels, {0, 0, r.templ.width, r.templ.height}),
                     TemplateFilePath());
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

// The template file is read before anything changes: a missing, damaged or
// unusable template leaves the After image and its view as they were.
void TForm1::Button10Click()
{
    const QString path = TemplateFilePath();
    if (!BeforeImage || !QFileInfo::exists(path)) {  // silently: there is nothing to search for
        CommandOutcome(BeforeImage ? StatusOutcome::NothingDone : StatusOutcome::NoPicture);
        return;
    }
    const QImage picture = ReadPictureFile(path);
    const PatternStep step{{ScrollBar6->value()},
                           std::make_shared<const SizedImage>(SizedImage{
                               GrayFromPicture(picture), picture.width(), picture.height()})};
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
    const PatternResult r = RunFindPattern(BeforeImage, AfterImage(), ImageWidth(), ImageHeight(),
                                           *step.templ, step.settings, progress);
    window.reset();
    // The grid keeps the last search when this one found nothing or was cancelled.
    if (r.Ran() && !r.rows.empty())
        FillResultGrid(*StringGrid2, r.rows);
    ShowOutcome(step, r, CornersAsShown());
}
