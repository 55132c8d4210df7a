// workspace/Unit1.cpp
#include "Unit1.h"

#include "Conversions.h"
#include "Dialogs.h"
#include "Measurements.h"
#include "ResultsPane.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>
#include <cstdlib>
#include <utility>

namespace {

// Client area of the window: views at the top, panels and buttons below.
constexpr int kClientWidth = 1123;
constexpr int kClientHeight = 842;
// Where every tool panel sits.
constexpr int kPanelLeft = 136, kPanelTop = 576;

// How the status bar names a command and what it needs. A command is named by
// its control's text ("Sobel" on the filter button) unless a name is given here:
// "Run", "Reset" and "Detect Start" do not say which tool ran. A command that
// works on the picture reports no time while none is loaded; one that starts
// with a file dialog times only what follows StartCommandClock.
struct CommandTraits {
    const char* control;
    const char* name;  // nullptr: the control's text
    bool needsPicture;
    bool startsWithDialog;
};
constexpr CommandTraits kCommandTraits[] = {
    {"Load1", nullptr, false, true},
    {"Save1", nullptr, true, true},
    {"Button1", nullptr, true, false},
    {"Button2", nullptr, true, false},
    {"Button3", "Brightness Reset", false, false},
    {"Button4", "Brightness", true, false},
    {"Button5", "Threshold", true, false},
    {"Button6", nullptr, true, false},
    {"Button8", "Detect Object", true, false},
    {"Button9", nullptr, true, false},
    {"Button10", nullptr, true, false},
    {"Button11", nullptr, true, false},
    {"Button12", nullptr, true, false},
    {"Button13", nullptr, true, false},
    {"Button14", nullptr, true, false},
    {"Button15", nullptr, true, false},
    {"Button16", "Video", false, false},
};

CommandTraits TraitsOf(const QObject* control)
{
    for (const CommandTraits& traits : kCommandTraits)
        if (control->objectName() == QLatin1String(traits.control))
            return traits;
    return {nullptr, nullptr, false, false};
}

QString Milliseconds(const QElapsedTimer& clock)
{
    return QString::number(static_cast<double>(clock.nsecsElapsed()) / 1e6, 'f', 1);
}

// "&Load" is named "Load"; "&&" stands for one "&".
QString WithoutMnemonic(const QString& text)
{
    QString plain;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] != u'&' || (++i < text.size()))
            plain += text[i];
    return plain;
}

int ClampToImage(int v, int size)
{
    if (v < 0)
        v = 0;
    if (v >= size)
        v = size - 1;  // before any picture the size is 0 and this gives -1
    return v;
}

QFrame* PlaceBox(QWidget* parent, const char* name, int left, int top, int width, int height,
                 const QColor& colour)
{
    auto* box = new QFrame(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(left, top, width, height);
    box->setAutoFillBackground(true);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Window, colour);
    box->setPalette(palette);
    return box;
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Form1"));
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    setAcceptDrops(true);

    Client = new QWidget(this);
    Client->setObjectName(QStringLiteral("Client"));
    Client->setFixedSize(kClientWidth, kClientHeight);
    setCentralWidget(Client);

    BuildWorkspace();
    BuildPanel1();
    BuildPanel2();
    BuildPanel3();
    BuildPanel4();
    BuildPanel5();
    BuildPanel6();
    BuildPanel7();
    BuildPanel8();
    BuildMenu();
    BuildResultsPane();
    Shape3->raise();

    PixelReadout = new QLabel(this);
    PixelReadout->setObjectName(QStringLiteral("PixelReadout"));
    statusBar()->addPermanentWidget(PixelReadout);
    move(82, 135);
    BuildViewer();
    BuildHelpMenu();
    BuildKeys();
}

// The panels are destroyed after the form's own members: the watches that
// call back into the form must go first.
TForm1::~TForm1()
{
    DropViewerWatches();
    DropKeyWatches();
}

void TForm1::BuildWorkspace()
{
    const QColor silver(192, 192, 192);
    Shape1 = PlaceBox(Client, "Shape1", 8, 40, 529, 529, silver);
    Shape2 = PlaceBox(Client, "Shape2", 552, 40, 529, 529, silver);
    Image2 = Place<PictureView>(Client, "Image2", 16, 48, 513, 513);
    Image1 = Place<PictureView>(Client, "Image1", 560, 48, 512, 512);
    Label29 = PlaceLabel(Client, "Label29", QStringLiteral("Before"), 16, 16);
    Label30 = PlaceLabel(Client, "Label30", QStringLiteral("After"), 560, 16);
    Label15 = PlaceLabel(Client, "Label15", QStringLiteral("X"), 352, 20);
    Label4 = PlaceLabel(Client, "Label4", QStringLiteral("X"), 400, 20);
    Label16 = PlaceLabel(Client, "Label16", QStringLiteral("Y"), 440, 20);
    Label5 = PlaceLabel(Client, "Label5", QStringLiteral("Y"), 488, 20);
    for (QLabel* label : {Label4, Label5})
        label->setMinimumWidth(40);

    Shape5 = PlaceBox(Client, "Shape5", 8, 576, 113, 57, palette().color(QPalette::Base));
    Label7 = PlaceLabel(Client, "Label7", QStringLiteral("X1"), 20, 587);
    Label11 = PlaceLabel(Client, "Label11", QStringLiteral("0"), 44, 587);
    Label8 = PlaceLabel(Client, "Label8", QStringLiteral("Y1"), 68, 587);
    Label12 = PlaceLabel(Client, "Label12", QStringLiteral("0"), 92, 587);
    Label9 = PlaceLabel(Client, "Label9", QStringLiteral("X2"), 20, 611);
    Label13 = PlaceLabel(Client, "Label13", QStringLiteral("100"), 44, 611);
    Label10 = PlaceLabel(Client, "Label10", QStringLiteral("Y2"), 68, 611);
    Label14 = PlaceLabel(Client, "Label14", QStringLiteral("100"), 92, 611);
    for (QLabel* label : {Label11, Label12, Label13, Label14})
        label->setMinimumWidth(24);

    Shape3 = Place<RegionFrame>(Client, "Shape3", 16, 48, 113, 113);
    Shape3->ClipTo(Image2);  // the frame belongs to the Before view alone

    Button6 = PlaceButton(Client, "Button6", QStringLiteral("Copy After to Before"), 8, 648, 113, 33);
    Button15 = PlaceButton(Client, "Button15", QStringLiteral("Clear Before"), 8, 688, 113, 33);
    Button14 = PlaceButton(Client, "Button14", QStringLiteral("Tool Button"), 8, 728, 113, 33);
    Button16 = PlaceButton(Client, "Button16", QStringLiteral("Viedo"), 8, 768, 113, 33);
    Button14->setEnabled(false);
    BindCommand(Button6, &TForm1::Button6Click);
    BindCommand(Button15, &TForm1::Button15Click);
    BindCommand(Button14, &TForm1::Button14Click);
    BindCommand(Button16, &TForm1::Button16Click);

    connect(Image2, &PictureView::MouseDown, this,
            [this](Qt::MouseButton, int x, int y) { RunGuarded([&] { Image2MouseDown(x, y); }); });
    connect(Image2, &PictureView::MouseMove, this,
            [this](int x, int y) { RunGuarded([&] { Image2MouseMove(x, y); }); });
    connect(Image2, &PictureView::MouseUp, this,
            [this](Qt::MouseButton, int x, int y) { RunGuarded([&] { Image2MouseUp(x, y); }); });
    connect(Image2, &PictureView::FrameDropped, this,
            [this](int x, int y) { RunGuarded([&] { Image2DragDrop(x, y); }); });
    connect(Image1, &PictureView::MouseMove, this,
            [this](int x, int y) { ShowPixelUnder("After", AfterAsItIs(), x, y); });
    for (PictureView* view : {Image1, Image2})
        connect(view, &PictureView::FilesDropped, this, [this](const QStringList& paths) {
            RunGuarded([&] { LoadPicture(paths.front()); });
        });
}

void TForm1::BuildMenu()
{
    QMenuBar* bar = menuBar();
    auto title = [&](const char* name, const QString& text, void (TForm1::*handler)()) {
        QMenu* menu = bar->addMenu(text);
        menu->setObjectName(QString::fromLatin1(name));
        // A title's handler runs when its menu opens.
        Bind(menu, &QMenu::aboutToShow, handler);
        return menu;
    };
    // Choosing a variant or a setup item only prepares a panel: no time to report.
    auto item = [&](QMenu* menu, const char* name, const QString& text, void (TForm1::*handler)()) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        Bind(action, &QAction::triggered, handler);
        return action;
    };
    auto command = [&](QMenu* menu, const char* name, const QString& text,
                       void (TForm1::*handler)()) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        BindCommand(action, handler);
        return action;
    };

    EXIT1 = title("EXIT1", QStringLiteral("File"), &TForm1::EXIT1Click);
    Load1 = command(EXIT1, "Load1", QStringLiteral("Load"), &TForm1::Load1Click);
    Save1 = command(EXIT1, "Save1", QStringLiteral("Save"), &TForm1::Save1Click);
    Exit2 = item(EXIT1, "Exit2", QStringLiteral("Exit"), &TForm1::Exit2Click);
    SaveRecipe1 = item(EXIT1, "SaveRecipe1", QStringLiteral("Save Recipe..."),
                       &TForm1::SaveRecipe1Click);
    RunRecipe1 = command(EXIT1, "RunRecipe1", QStringLiteral("Run Recipe..."),
                         &TForm1::RunRecipe1Click);
    EXIT1->insertSeparator(SaveRecipe1);
    EXIT1->insertSeparator(Exit2);
    EXIT1->removeAction(Exit2);
    EXIT1->addAction(Exit2);
    Load1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    Save1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    Exit2->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    // Undo and redo every change of the workspace.
    Edit1Menu = bar->addMenu(QStringLiteral("Edit"));
    Edit1Menu->setObjectName(QStringLiteral("Edit1Menu"));
    Undo1 = item(Edit1Menu, "Undo1", QStringLiteral("Undo"), &TForm1::Undo1Click);
    Redo1 = item(Edit1Menu, "Redo1", QStringLiteral("Redo"), &TForm1::Redo1Click);
    Undo1->setShortcut(QKeySequence::Undo);
    Redo1->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                         QKeySequence(Qt::CTRL | Qt::Key_Y)});
    UpdateUndoActions();

    Fiter1 = title("Fiter1", QStringLiteral("Fiter"), &TForm1::Fiter1Click);
    Lowpass1 = item(Fiter1, "Lowpass1", QStringLiteral("Lowpass"), &TForm1::Lowpass1Click);
    LocalAverage1 = item(Fiter1, "LocalAverage1", QStringLiteral("Local Average"),
                         &TForm1::LocalAverage1Click);
    Median1 = item(Fiter1, "Median1", QStringLiteral("Median"), &TForm1::Median1Click);
    Gaussian1 = item(Fiter1, "Gaussian1", QStringLiteral("Gaussian"), &TForm1::Gaussian1Click);
    Laplacian1 = item(Fiter1, "Laplacian1", QStringLiteral("Laplacian"), &TForm1::Laplacian1Click);
    Prewitt1 = item(Fiter1, "Prewitt1", QStringLiteral("Prewitt"), &TForm1::Prewitt1Click);
    Sobel1 = item(Fiter1, "Sobel1", QStringLiteral("Sobel"), &TForm1::Sobel1Click);
    Roberts1 = item(Fiter1, "Roberts1", QStringLiteral("Roberts"), &TForm1::Roberts1Click);

    Mophology1 = title("Mophology1", QStringLiteral("Mophology"), &TForm1::Mophology1Click);
    Dilation1 = item(Mophology1, "Dilation1", QStringLiteral("Dilation"), &TForm1::Dilation1Click);
    Erosion1 = item(Mophology1, "Erosion1", QStringLiteral("Erosion"), &TForm1::Erosion1Click);
    Opening1 = item(Mophology1, "Opening1", QStringLiteral("Opening"), &TForm1::Opening1Click);
    Closing1 = item(Mophology1, "Closing1", QStringLiteral("Closing"), &TForm1::Closing1Click);
    ProperOpening1 = item(Mophology1, "ProperOpening1", QStringLiteral("Proper Opening"),
                          &TForm1::ProperOpening1Click);
    ProperClosing1 = item(Mophology1, "ProperClosing1", QStringLiteral("Proper Closing"),
                          &TForm1::ProperClosing1Click);
    ProperAutomedian1 = item(Mophology1, "ProperAutomedian1", QStringLiteral("Proper Automedian"),
                             &TForm1::ProperAutomedian1Click);

    Brightness1 = title("Brightness1", QStringLiteral("Brightness"), &TForm1::Brightness1Click);
    BrightnessSetup1 = item(Brightness1, "BrightnessSetup1", QStringLiteral("Brightness Setup"),
                            &TForm1::BrightnessSetup1Click);
    Threshold1 = title("Threshold1", QStringLiteral("Threshold"), &TForm1::Threshold1Click);
    ThresholdSetup1 = item(Threshold1, "ThresholdSetup1", QStringLiteral("Threshold Setup"),
                           &TForm1::ThresholdSetup1Click);
    DetectObject1 = title("DetectObject1", QStringLiteral("Detect Object"),
                          &TForm1::DetectObject1Click);
    DetectObjectSetup1 = item(DetectObject1, "DetectObjectSetup1",
                              QStringLiteral("Detect Object Setup"),
                              &TForm1::DetectObjectSetup1Click);
    MatchPattern1 = title("MatchPattern1", QStringLiteral("Match Pattern"),
                          &TForm1::MatchPattern1Click);
    MatchPatternSetup1 = item(MatchPattern1, "MatchPatternSetup1",
                              QStringLiteral("Match Pattern Setup"),
                              &TForm1::MatchPatternSetup1Click);
    FindEdge1 = title("FindEdge1", QStringLiteral("Find Edge"), &TForm1::FindEdge1Click);
    FindEdgeSetup1 = item(FindEdge1, "FindEdgeSetup1", QStringLiteral("Find Edge Setup"),
                          &TForm1::FindEdgeSetup1Click);
    FindStraight1 = title("FindStraight1", QStringLiteral("Find Straight"),
                          &TForm1::FindStraight1Click);
    FindStraightSetup1 = item(FindStraight1, "FindStraightSetup1",
                              QStringLiteral("Find Straight Setup"),
                              &TForm1::FindStraightSetup1Click);
    FindCircular1 = title("FindCircular1", QStringLiteral("Find Circular"),
                          &TForm1::FindCircular1Click);
    FindCircularSetup1 = item(FindCircular1, "FindCircularSetup1",
                              QStringLiteral("Find Circular Setup"),
                              &TForm1::FindCircularSetup1Click);
}

// ---- Helpers for the Build functions --------------------------------------

QLabel* TForm1::PlaceLabel(QWidget* parent, const char* name, const QString& caption, int left,
                           int top)
{
    auto* label = Place<QLabel>(parent, name, left, top);
    label->setText(caption);
    label->adjustSize();
    return label;
}

QPushButton* TForm1::PlaceButton(QWidget* parent, const char* name, const QString& caption,
                                 int left, int top, int width, int height)
{
    auto* button = Place<QPushButton>(parent, name, left, top, width, height);
    button->setText(caption);
    return button;
}

QFrame* TForm1::PlacePanel(const char* name, int width, int height)
{
    auto* panel = Place<QFrame>(Client, name, kPanelLeft, kPanelTop, width, height);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->hide();
    return panel;
}

void TForm1::OpenToolPanel(QFrame* panel)
{
    panel->setEnabled(true);
    panel->show();
}

void TForm1::BindCommand(QAbstractButton* button, void (TForm1::*handler)())
{
    connect(button, &QAbstractButton::clicked, this,
            [this, button, handler] { TimeCommand(button, button->text(), handler); });
}

void TForm1::BindCommand(QAction* action, void (TForm1::*handler)())
{
    connect(action, &QAction::triggered, this,
            [this, action, handler] { TimeCommand(action, WithoutMnemonic(action->text()), handler); });
}

void TForm1::CommandOutcome(StatusOutcome outcome)
{
    if (runningCommand_ != nullptr)
        runningCommand_->outcome = outcome;
}

void TForm1::StartCommandClock()
{
    if (runningCommand_ == nullptr)
        return;
    runningCommand_->clock.start();
    runningCommand_->clockRestarted = true;
}

void TForm1::TimeCommand(const QObject* control, const QString& text, void (TForm1::*handler)())
{
    const CommandTraits traits = TraitsOf(control);
    const QString name = traits.name != nullptr ? QString::fromLatin1(traits.name) : text;
    // A command may start another (a dialog's event loop runs); each keeps its own.
    RunningCommand command;
    RunningCommand* const outer = std::exchange(runningCommand_, &command);
    command.clock.start();
    bool failed = true;
    RunGuarded([&] {
        (this->*handler)();
        failed = false;
    });
    runningCommand_ = outer;

    QString message;
    if (failed)  // the error box has the story; a time would suggest it ran
        message = QStringLiteral("%1: failed").arg(name);
    else if (command.outcome == StatusOutcome::NoPicture || (traits.needsPicture && !BeforeImage))
        message = QStringLiteral("No picture: load one first");
    else if (traits.startsWithDialog && !command.clockRestarted)
        message = QStringLiteral("%1: cancelled").arg(name);
    else if (command.outcome == StatusOutcome::Cancelled)
        message = QStringLiteral("%1: cancelled after %2 ms").arg(name, Milliseconds(command.clock));
    else if (command.outcome == StatusOutcome::NothingDone)
        message = QStringLiteral("%1: nothing done").arg(name);
    else
        message = QStringLiteral("%1: %2 ms").arg(name, Milliseconds(command.clock));
    statusBar()->showMessage(message);
}

// ---- Region of interest ----------------------------------------------------

Region TForm1::ReadRegionOfInterest() const
{
    return OrderAndClampRegion(TextToInt(Label11->text()), TextToInt(Label12->text()),
                               TextToInt(Label13->text()), TextToInt(Label14->text()),
                               ImageWidth(), ImageHeight());
}

Corners TForm1::ReadCorners() const
{
    return {TextToInt(Label11->text()), TextToInt(Label12->text()), TextToInt(Label13->text()),
            TextToInt(Label14->text())};
}

bool TForm1::ShowOutcome(const CommandSettings& settings, const CommandResult& result,
                         const Corners& roi)
{
    const CommandReport& report = ReportOf(result);
    switch (report.outcome) {
    case Outcome::Ran:
        ShowAfter();
        RecordCommand(settings);
        break;
    case Outcome::Cancelled:
        ShowAfter();
        CommandOutcome(StatusOutcome::Cancelled);
        break;
    case Outcome::Refused:
        CommandOutcome(StatusOutcome::NothingDone);
        Dialogs().ShowMessage(this, QString::fromStdString(report.message));
        break;
    case Outcome::NoPicture:
        CommandOutcome(StatusOutcome::NoPicture);
        break;
    }
    // Last: the views and the history already stand whatever the measuring does.
    // Before is the image the command started from; no command changes it.
    ResultsPane1->ShowResults(settings, result,
                              report.Ran() ? MeasureCommand(BeforeImage, ImageWidth(), ImageHeight(),
                                                            settings, result, roi)
                                           : CommandMeasures{});
    if (report.Ran())  // recorded above: the history keeps what the pane lists
        KeepShownResults();
    return report.Ran();
}

void TForm1::Image2MouseDown(int x, int y)
{
    x = ClampToImage(x, ImageWidth());
    y = ClampToImage(y, ImageHeight());
    Label11->setText(IntToText(x));
    Label12->setText(IntToText(y));
    Shape3->MoveTo(QPoint(x, y));
    if (!Panel8->isHidden())  // the centre mark of the circular edge finder
        Image2->SetMark(QPoint(x, y));
}

void TForm1::Image2MouseMove(int x, int y)
{
    Label4->setText(IntToText(x));
    Label5->setText(IntToText(y));
    Label4->adjustSize();
    Label5->adjustSize();
    ShowPixelUnder("Before", BeforeImage, x, y);
}

void TForm1::SetCorners(const Corners& c)
{
    Label11->setText(IntToText(c.X1));
    Label12->setText(IntToText(c.Y1));
    Label13->setText(IntToText(c.X2));
    Label14->setText(IntToText(c.Y2));
    Shape3->SetCorners(QPoint(c.X1, c.Y1), QPoint(c.X2, c.Y2));
}

void TForm1::Image2MouseUp(int x, int y)
{
    x = ClampToImage(x, ImageWidth());
    y = ClampToImage(y, ImageHeight());
    Label13->setText(IntToText(x));
    Label14->setText(IntToText(y));
    const int X1 = TextToInt(Label11->text()), Y1 = TextToInt(Label12->text());
    Shape3->SetCorners(QPoint(X1, Y1), QPoint(x, y));
}

void TForm1::Image2DragDrop(int x, int y)
{
    const QRect frame = Shape3->PictureRect();  // picture pixels, whatever the zoom
    Shape3->MoveTo(QPoint(x, y));
    Label11->setText(IntToText(x));
    Label12->setText(IntToText(y));
    Label13->setText(IntToText(x + frame.width()));
    Label14->setText(IntToText(y + frame.height()));
}

void TForm1::ShowPixelUnder(const char* view, const GrayImage& image, int x, int y)
{
    if (image && x >= 0 && y >= 0 && x < ImageWidth() && y < ImageHeight())
        PixelReadout->setText(
            QStringLiteral("%1 (%2, %3) = %4").arg(QLatin1String(view)).arg(x).arg(y).arg(image[x][y]));
    else
        PixelReadout->clear();
}

// ---- Painting and panels ---------------------------------------------------

// The views follow the images rather than copy them: painting reads only the
// pixels in sight, so a command's cost does not grow with the picture's.
void TForm1::ShowBefore()
{
    BeforePicture = QImage();
    ShowGrayIn(Image2, BeforeImage);
}

void TForm1::ShowAfter()
{
    ShowGrayIn(Image1, AfterImage());
}

void TForm1::ShowGrayIn(PictureView* view, const GrayImage& image)
{
    const int width = ImageWidth(), height = ImageHeight();
    if (view->PictureWidth() == width && view->PictureHeight() == height)
        view->FollowGray(image, width, height);
    else  // a view of another size shows the part the image covers, as a picture
        view->ShowGray(image, width, height);
}

void TForm1::HideToolPanels()
{
    for (int i = 1; i <= 8; ++i)
        if (QWidget* panel = FindComponent(QStringLiteral("Panel%1").arg(i))) {
            panel->setVisible(false);
            panel->setEnabled(false);
        }
}

void TForm1::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        QCoreApplication::quit();
}

// ---- Files dropped on the window -------------------------------------------

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile())
        return;
    event->acceptProposedAction();
    RunGuarded([&] { LoadPicture(urls.front().toLocalFile()); });
}
