// workspace/Unit1.h
#pragma once
#include "Application.h"
#include "Command.h"
#include "Recipe.h"
#include "Image.h"
#include "PictureView.h"
#include "Region.h"
#include "RegionFrame.h"
#include "StringGrid.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>

#include <utility>
#include <vector>

class TForm2;
class TForm3;
class TForm4;
class ResultsPane;
struct ShownResults;

// The main window: the workspace (Before and After images), the two views, the
// region of interest, the menu and the eight tool panels. A tool is reached in
// two steps: opening its menu shows its panel with the run button disabled, and
// choosing its Setup item (or a variant) enables the run button.
//
// Controls are public members named as the window names them, and each one's
// objectName is its member name. Handlers are split across Unit1*.cpp by tool.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- Workspace ----------------------------------------------------------
    GrayImage BeforeImage;  // none until the first picture is loaded
    // The After image, none without Before. After a Load or a grab it is a
    // copy of Before made when first asked for: a picture only looked at, or
    // replaced by the next, never pays for the copy (64 MB at 8000 x 8000).
    // Throws PictureError when there is no memory for the copy.
    GrayImage& AfterImage();
    int OperationKind = 0;  // last variant chosen from "Fiter" or "Mophology"

    // The image size is the size of the picture the After view holds.
    int ImageWidth() const { return Image1->PictureWidth(); }
    int ImageHeight() const { return Image1->PictureHeight(); }

    // The other windows, created after this one at start-up.
    TForm2* Form2 = nullptr;
    TForm3* Form3 = nullptr;
    TForm4* Form4 = nullptr;

    // Looks up a child control by its name ("Panel4", "CheckBox17").
    template <class T = QWidget>
    T* FindComponent(const QString& name) const
    {
        return findChild<T*>(name);
    }

    // ---- Views and region of interest --------------------------------------
    QWidget* Client = nullptr;  // parent of every control below
    QFrame* Shape1 = nullptr;
    QFrame* Shape2 = nullptr;
    PictureView* Image1 = nullptr;  // After view
    PictureView* Image2 = nullptr;  // Before view
    QLabel* Label29 = nullptr;
    QLabel* Label30 = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label4 = nullptr;  // pointer x
    QLabel* Label16 = nullptr;
    QLabel* Label5 = nullptr;  // pointer y
    QFrame* Shape5 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;  // X1
    QLabel* Label12 = nullptr;  // Y1
    QLabel* Label13 = nullptr;  // X2
    QLabel* Label14 = nullptr;  // Y2
    RegionFrame* Shape3 = nullptr;
    QPushButton* Button6 = nullptr;   // "Copy After to Before"
    QPushButton* Button15 = nullptr;  // "Clear Before"
    QPushButton* Button14 = nullptr;  // "Tool Button"
    QPushButton* Button16 = nullptr;  // "Viedo"
    QLabel* PixelReadout = nullptr;   // status bar: gray value under the pointer

    Region ReadRegionOfInterest() const;
    Corners ReadCorners() const;  // the four corner labels as they stand

    // ---- Commands --------------------------------------------------------------
    // After a command: paints After when it ran (or was cancelled), shows why
    // when it refused, and lists its numbers in the Results pane. roi: the
    // corners as they stood when the command ran. True when it ran.
    bool ShowOutcome(const CommandSettings& settings, const CommandResult& result,
                     const Corners& roi);
    void ShowBefore();  // the Before image in gray, in place of the loaded picture
    void ShowAfter();
    // The loaded picture while the Before view shows it in colour; null once
    // the view shows the Before image in gray (Clear Before, a copy into Before).
    QImage BeforePicture;
    void HideToolPanels();

    void Image2MouseDown(int x, int y);
    void Image2MouseMove(int x, int y);
    void Image2MouseUp(int x, int y);
    bool Image2DragOver() const { return true; }  // anything dragged over the view is accepted
    void Image2DragDrop(int x, int y);

    // ---- Menu ----------------------------------------------------------------
    QMenu* EXIT1 = nullptr;  // "File"
    QAction* Load1 = nullptr;
    QAction* Save1 = nullptr;
    QAction* Exit2 = nullptr;
    QMenu* Fiter1 = nullptr;
    QAction* Lowpass1 = nullptr;
    QAction* LocalAverage1 = nullptr;
    QAction* Median1 = nullptr;
    QAction* Gaussian1 = nullptr;
    QAction* Laplacian1 = nullptr;
    QAction* Prewitt1 = nullptr;
    QAction* Sobel1 = nullptr;
    QAction* Roberts1 = nullptr;
    QMenu* Mophology1 = nullptr;
    QAction* Dilation1 = nullptr;
    QAction* Erosion1 = nullptr;
    QAction* Opening1 = nullptr;
    QAction* Closing1 = nullptr;
    QAction* ProperOpening1 = nullptr;
    QAction* ProperClosing1 = nullptr;
    QAction* ProperAutomedian1 = nullptr;
    QMenu* Brightness1 = nullptr;
    QAction* BrightnessSetup1 = nullptr;
    QMenu* Threshold1 = nullptr;
    QAction* ThresholdSetup1 = nullptr;
    QMenu* DetectObject1 = nullptr;
    QAction* DetectObjectSetup1 = nullptr;
    QMenu* MatchPattern1 = nullptr;
    QAction* MatchPatternSetup1 = nullptr;
    QMenu* FindEdge1 = nullptr;
    QAction* FindEdgeSetup1 = nullptr;
    QMenu* FindStraight1 = nullptr;
    QAction* FindStraightSetup1 = nullptr;
    QMenu* FindCircular1 = nullptr;
    QAction* FindCircularSetup1 = nullptr;

    // ---- Picture files (Unit1Files.cpp) --------------------------------------
    void EXIT1Click();    // "File" opened: hides every tool panel
    void Load1Click();
    void Save1Click();
    void Exit2Click();
    void Button6Click();  // Copy After to Before
    void Button15Click(); // Clear Before
    // Loads a picture file into both views and both images; used by Load and by
    // dropping a file on the window. The workspace is replaced only on success.
    void LoadPicture(const QString& path);
    QString SamplePicturePath() const;  // its folder: the open dialog's first
    QString LoadFolder, SaveFolder;     // where the file dialogs open next

    // ---- Filters: Panel1 (Unit1Filter.cpp) -----------------------------------
    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;            // "Filter"
    QGroupBox* RadioGroup1 = nullptr;    // "Mask Size"
    QRadioButton* RadioButton1 = nullptr;  // "3 x 3", checked at start
    QRadioButton* RadioButton2 = nullptr;  // "5 x 5"
    QRadioButton* RadioButton3 = nullptr;  // "7 x 7"
    QPushButton* Button1 = nullptr;  // "Filter"
    void BuildPanel1();
    void Fiter1Click();
    void Lowpass1Click();
    void LocalAverage1Click();
    void Median1Click();
    void Gaussian1Click();
    void Laplacian1Click();
    void Prewitt1Click();
    void Sobel1Click();
    void Roberts1Click();
    void ChooseFilter(int kind);  // sets OperationKind, Button1's caption, the mask-size buttons
    void Button1Click();
    int MaskSize() const;
    FilterSettings ReadFilterSettings() const;  // 3, 5 or 7 from the checked radio button

    // ---- Morphology: Panel2 (Unit1Morphology.cpp) ----------------------------
    QFrame* Panel2 = nullptr;
    QLabel* Label2 = nullptr;  // "Mophology"
    QGroupBox* RadioGroup2 = nullptr;  // "Mask Size"
    QRadioButton* RadioButton4 = nullptr;  // "3 x 3"
    QRadioButton* RadioButton5 = nullptr;  // "5 x 5"
    QRadioButton* RadioButton6 = nullptr;  // "7 x 7"
    // The structuring element, 7 rows of 7 boxes as on the panel: box k sits in
    // row (k - 1) / 7 and column (k - 1) % 7; CheckBox25 is the centre.
    QCheckBox *CheckBox1 = nullptr, *CheckBox2 = nullptr, *CheckBox3 = nullptr, *CheckBox4 = nullptr,
              *CheckBox5 = nullptr, *CheckBox6 = nullptr, *CheckBox7 = nullptr;
    QCheckBox *CheckBox8 = nullptr, *CheckBox9 = nullptr, *CheckBox10 = nullptr,
              *CheckBox11 = nullptr, *CheckBox12 = nullptr, *CheckBox13 = nullptr,
              *CheckBox14 = nullptr;
    QCheckBox *CheckBox15 = nullptr, *CheckBox16 = nullptr, *CheckBox17 = nullptr,
              *CheckBox18 = nullptr, *CheckBox19 = nullptr, *CheckBox20 = nullptr,
              *CheckBox21 = nullptr;
    QCheckBox *CheckBox22 = nullptr, *CheckBox23 = nullptr, *CheckBox24 = nullptr,
              *CheckBox25 = nullptr, *CheckBox26 = nullptr, *CheckBox27 = nullptr,
              *CheckBox28 = nullptr;
    QCheckBox *CheckBox29 = nullptr, *CheckBox30 = nullptr, *CheckBox31 = nullptr,
              *CheckBox32 = nullptr, *CheckBox33 = nullptr, *CheckBox34 = nullptr,
              *CheckBox35 = nullptr;
    QCheckBox *CheckBox36 = nullptr, *CheckBox37 = nullptr, *CheckBox38 = nullptr,
              *CheckBox39 = nullptr, *CheckBox40 = nullptr, *CheckBox41 = nullptr,
              *CheckBox42 = nullptr;
    QCheckBox *CheckBox43 = nullptr, *CheckBox44 = nullptr, *CheckBox45 = nullptr,
              *CheckBox46 = nullptr, *CheckBox47 = nullptr, *CheckBox48 = nullptr,
              *CheckBox49 = nullptr;
    QLabel* Label3 = nullptr;  // "# of Iterations"
    QLineEdit* Edit1 = nullptr;  // rounds of dilation and erosion, "1"
    QPushButton* Button2 = nullptr;  // "Mophology"
    void BuildPanel2();
    void RadioButton4Click();
    void RadioButton5Click();
    void RadioButton6Click();
    // Shows the boxes of the centred window of half size r and hides the rest.
    void ShowElementBoxes(int r);
    void Mophology1Click();
    void Dilation1Click();
    void Erosion1Click();
    void Opening1Click();
    void Closing1Click();
    void ProperOpening1Click();
    void ProperClosing1Click();
    void ProperAutomedian1Click();
    void ChooseMorphology(int kind);
    void Button2Click();
    MorphologySettings ReadMorphologySettings() const;

    // ---- Brightness: Panel3 (Unit1Brightness.cpp) ----------------------------
    // The settings live in the scroll bars and their value labels; the table is
    // built from the labels every time it is drawn or applied.
    QFrame* Panel3 = nullptr;
    QGroupBox* GroupBox1 = nullptr;   // "Brightness"
    QLabel* Label6 = nullptr;         // "Brightness"
    QScrollBar* ScrollBar1 = nullptr; // brightness 0..255, 128
    QLabel* Label20 = nullptr;        // brightness value
    QLabel* Label17 = nullptr;        // "Contrast"
    QScrollBar* ScrollBar2 = nullptr; // contrast angle 1..89, 45
    QLabel* Label21 = nullptr;        // contrast value
    QLabel* Label18 = nullptr;        // "Gamma"
    QScrollBar* ScrollBar3 = nullptr; // gamma position 1..100, 50
    QLabel* Label22 = nullptr;        // gamma value
    QLabel* Label19 = nullptr;        // "Lookup Table"
    PictureView* Image3 = nullptr;    // 64 x 64 plot of the table
    QPushButton* Button3 = nullptr;   // "Reset"
    QPushButton* Button4 = nullptr;   // "Run"
    void BuildPanel3();
    void Brightness1Click();
    void BrightnessSetup1Click();
    void ScrollBar1Change();
    void ScrollBar2Change();
    void ScrollBar3Change();
    void Button3Click();
    void Button4Click();
    void DrawLookupCurve();
    BrightnessSettings ReadBrightnessSettings() const;

    // ---- Threshold and detection: Panel4 (Unit1Threshold.cpp, Unit1Detect.cpp)
    // One object mode, one pair of thresholds and one "AUTO" box drive both the
    // threshold ("Run") and the detection ("Detect Start").
    QFrame* Panel4 = nullptr;
    QGroupBox* GroupBox2 = nullptr;   // "Threshold :" or "Object Detect :"
    QLabel* Label23 = nullptr;        // "Look For"
    QComboBox* ComboBox1 = nullptr;   // object mode: 0 dark, 1 bright, 2 gray
    QLabel* Label25 = nullptr;        // "Lower"
    QScrollBar* ScrollBar4 = nullptr; // lower threshold; the only one in modes 0 and 1
    QLineEdit* Edit2 = nullptr;       // lower threshold as text
    QLabel* Label26 = nullptr;        // "Upper"
    QScrollBar* ScrollBar5 = nullptr; // upper threshold (gray mode)
    QLineEdit* Edit3 = nullptr;       // upper threshold as text
    QCheckBox* CheckBox50 = nullptr;  // "AUTO"
    QLabel* Label28 = nullptr;        // "Threshold :"
    QLabel* Label27 = nullptr;        // the automatic threshold, computed when "AUTO" is checked
    QLabel* Label24 = nullptr;        // "Histogram"
    QFrame* Shape4 = nullptr;         // shadow behind the histogram
    PictureView* Image4 = nullptr;    // histogram of the Before image, 256 x 64
    QPushButton* Button5 = nullptr;   // "Run"
    QPushButton* Button8 = nullptr;   // "Detect Start", at the same place
    QGroupBox* GroupBox3 = nullptr;   // "Detect Result", seen at the detection width
    QLabel* Label31 = nullptr;        // "Number of Object Found:"
    QLabel* Label32 = nullptr;        // objects of the last detection that found any
    StringGrid* StringGrid1 = nullptr;  // one row per object: box corners and size
    void BuildPanel4();
    void Threshold1Click();
    void ThresholdSetup1Click();
    void ComboBox1Change();
    void ScrollBar4Change();
    void ScrollBar5Change();
    void Edit2Change();
    void Edit3Change();
    void CheckBox50Click();
    void Button5Click();
    void DetectObject1Click();
    void DetectObjectSetup1Click();
    void Button8Click();
    ThresholdSettings ReadThresholdSettings() const;  // of both threshold and detection
private:
    void BuildGroupBox3();  // the "Detect Result" group (Unit1Detect.cpp)
    void DrawHistogram();   // histogram of the whole Before image into Image4
public:

    // ---- Pattern matching: Panel5 (Unit1Pattern.cpp) -------------------------
    QFrame* Panel5 = nullptr;
    QGroupBox* GroupBox4 = nullptr;    // "Match Pattern"
    QLabel* Label34 = nullptr;         // "Angle"
    QScrollBar* ScrollBar6 = nullptr;  // largest angle tried, 0 to 360 degrees
    QLabel* Label33 = nullptr;         // the angle as text
    QPushButton* Button7 = nullptr;    // "Show Temp Picture"
    QPushButton* Button9 = nullptr;    // "Create Template"
    QPushButton* Button10 = nullptr;   // "Find Pattern"
    QGroupBox* GroupBox5 = nullptr;    // "Find Result"
    StringGrid* StringGrid2 = nullptr; // X1, Y1, X2, Y2, Angle, SCORE of each candidate
    // A search that runs longer than this shows a progress window with Cancel.
    int SearchProgressDelayMs = 500;
    void BuildPanel5();
    void MatchPattern1Click();
    void MatchPatternSetup1Click();
    void Button7Click();       // Show Temp Picture
    void Button9Click();       // Create Template
    void ScrollBar6Change();
    void Button10Click();      // Find Pattern

    // ---- Edge along a line: Panel6 (Unit1Edge.cpp) ---------------------------
    QFrame* Panel6 = nullptr;
    QGroupBox* GroupBox6 = nullptr;
    QComboBox* ComboBox2 = nullptr;   // "Look For"
    QComboBox* ComboBox3 = nullptr;   // "Edge Polarity"
    QScrollBar* ScrollBar7 = nullptr; // "Edge Strength"
    QLineEdit* Edit4 = nullptr;       // echo of ScrollBar7; takes a typed value
    QLabel* Label35 = nullptr;        // "Total Edge"
    QLineEdit* Edit5 = nullptr;       // edge count
    QPushButton* Button11 = nullptr;  // "Find Edge"
    void BuildPanel6();
    void FindEdge1Click();
    void FindEdgeSetup1Click();
    void ScrollBar7Change();
    void Button11Click();
    // Caption, scroll bar and echo box in one row of a gauging panel; the
    // scroll bar's changes run handler, a value typed into the box moves the bar.
    QScrollBar* PlaceEchoedScrollBar(QWidget* parent, const char* name, const char* editName,
                                     const QString& caption, int top, int minimum, int maximum,
                                     int value, QLineEdit*& echo, void (TForm1::*handler)());
    QComboBox* PlaceCaptionedList(QWidget* parent, const char* name, const QString& caption,
                                  int top, const QStringList& items);

    // ---- Straight edge: Panel7 (Unit1Straight.cpp) ---------------------------
    QFrame* Panel7 = nullptr;
    QGroupBox* GroupBox7 = nullptr;
    QComboBox* ComboBox4 = nullptr;    // "Direction"
    QScrollBar* ScrollBar8 = nullptr;  // "Gap"
    QLineEdit* Edit6 = nullptr;
    QScrollBar* ScrollBar9 = nullptr;  // "Edge Strength"
    QLineEdit* Edit7 = nullptr;
    QScrollBar* ScrollBar10 = nullptr; // "Angle"
    QLineEdit* Edit8 = nullptr;
    QPushButton* Button12 = nullptr;  // "Find Straight"
    void BuildPanel7();
    void FindStraight1Click();
    void FindStraightSetup1Click();
    void ScrollBar8Change();
    void ScrollBar9Change();
    void ScrollBar10Change();
    void Button12Click();

    // ---- Circular edge: Panel8 (Unit1Circular.cpp) ---------------------------
    QFrame* Panel8 = nullptr;
    QGroupBox* GroupBox8 = nullptr;
    QComboBox* ComboBox5 = nullptr;    // "Direction"
    QScrollBar* ScrollBar11 = nullptr; // "Gap"
    QLineEdit* Edit9 = nullptr;
    QScrollBar* ScrollBar12 = nullptr; // "Edge Strength"
    QLineEdit* Edit10 = nullptr;
    QScrollBar* ScrollBar13 = nullptr; // "Start Angle"
    QLineEdit* Edit11 = nullptr;
    QScrollBar* ScrollBar14 = nullptr; // "End Angle"
    QLineEdit* Edit12 = nullptr;
    QScrollBar* ScrollBar15 = nullptr; // "Inside Radius"
    QLineEdit* Edit13 = nullptr;
    QScrollBar* ScrollBar16 = nullptr; // "Outside Radius"
    QLineEdit* Edit14 = nullptr;
    QLabel* Label50 = nullptr;         // "Result"
    QFrame* Shape6 = nullptr;          // fixed frame around the verdict
    QLabel* Label51 = nullptr;         // "OK" or "NG"
    QPushButton* Button13 = nullptr;  // "Find Circular"
    void BuildPanel8();
    void FindCircular1Click();
    void FindCircularSetup1Click();
    void ScrollBar11Change();
    void ScrollBar12Change();
    void ScrollBar13Change();
    void ScrollBar14Change();
    void ScrollBar15Change();
    void ScrollBar16Change();
    void Button13Click();

    // ---- The workspace's one door, undo and recipes (Unit1History.cpp) -------
    // What changed the workspace: a command changes After; the others change Before.
    enum class WorkspaceChange { Command, Load, Grab, CopyAfterToBefore, ClearBefore, Recipe };
    struct HistoryEntry {
        WorkspaceChange kind = WorkspaceChange::Command;
        QString label;  // "Undo <label>"
        // The command a Command entry ran; for a Recipe entry, its last step
        // when that made the After image.
        std::optional<CommandSettings> command;
        std::shared_ptr<const Recipe> recipe;  // Recipe entries
        QImage picture;     // Load and Grab: the picture the views showed
        GrayImage before;   // Load, Grab, CopyAfterToBefore, Recipe: the Before image it left
        // That image is the workspace's BeforeImage itself, not a copy, until
        // Before changes: at most one entry at a time, the one Before was last
        // set from. ReturnLentBefore gives it its own.
        bool beforeInWorkspace = false;
        int width = 0, height = 0;
        Corners region;     // the region of interest when the entry was made
        QString title;      // the window's title after it
        std::shared_ptr<const ShownResults> results;  // what the Results pane listed after it
        bool resultsLetGo = false;  // results dropped to keep within HistoryLimitBytes
        std::size_t Bytes() const;  // the memory the entry holds
    };
    std::vector<HistoryEntry> History;
    int HistoryPosition = 0;  // entries [0, HistoryPosition) are done; the rest can be redone
    // Beyond this the oldest pictures go, then the oldest entries' results.
    std::size_t HistoryLimitBytes = std::size_t{1} << 30;
    std::size_t HistoryBytes() const;  // results shared by entries count once
    void TrimHistory();
    // Before BeforeImage is replaced: the entry whose Before image it is takes it.
    void ReturnLentBefore();
    void KeepShownResults();  // the latest entry keeps what the pane lists now
    // Load and the camera grab: the new Before image (After starts as its copy),
    // the picture the views show, the title. Recorded for undo.
    void ReplaceWorkspace(WorkspaceChange change, QImage picture, GrayImage before, int width,
                          int height, const QString& title);
    void CopyAfterToBefore();  // "Copy After to Before", recorded for undo
    void ClearBefore();        // "Clear Before", recorded for undo
    void RecordCommand(const CommandSettings& settings);
    void Record(HistoryEntry entry);
    // The state after the first position entries, with the region given.
    void RestoreHistory(int position, const Corners& region);
    QImage AfterPictureAt(int position) const;
    void UpdateUndoActions();
    QMenu* Edit1Menu = nullptr;  // "Edit"
    QAction* Undo1 = nullptr;
    QAction* Redo1 = nullptr;
    QAction* SaveRecipe1 = nullptr;
    QAction* RunRecipe1 = nullptr;
    void Undo1Click();
    void Redo1Click();
    void SaveRecipe1Click();
    void RunRecipe1Click();
    void RunRecipeFile(const QString& path);
    // The commands since the last Load or grab, chained where After was copied to Before.
    Recipe RecipeFromHistory() const;
    void SetCorners(const Corners& corners);  // the corner labels and the frame
    Corners CornersAsShown() const;

    // ---- Results pane, calibration and export (Unit1Results.cpp) -------------
    ResultsPane* ResultsPane1 = nullptr;  // the "Results" dock, right of the views
    Calibration SessionCalibration;       // kept for the session; saved with recipes
    QMenu* View1 = nullptr;               // "View"
    bool PaneDocked = true;               // the Results pane takes room in the window
    QAction* Results1 = nullptr;          // "Results": shows or hides the pane
    QAction* Calibration1 = nullptr;      // "Calibration..."
    // View > "Show Before as Gray", off at start: the Before view shows the
    // Before image as the tools see it, in gray, in place of the loaded picture.
    QAction* ShowBeforeAsGray1 = nullptr;
    void ShowBeforeAsGray1Click();
    QAction* ExportResults1 = nullptr;    // File > "Export Results..."
    void BuildResultsPane();
    void Calibration1Click();
    void ExportResults1Click();
    void SetCalibration(const Calibration& calibration);  // the session's and the pane's

    // ---- Tool window and video (Unit1Tool.cpp, Unit1Video.cpp) ---------------
    void Button14Click();  // "Tool Button"
    void Button16Click();  // "Viedo"
    void BuildHelpMenu();  // "Help" > "User's Guide", and F1 for the open panel (Unit1Help.cpp)

    // ---- Keyboard, tooltips and hints (Unit1Keys.cpp) ------------------------
    // Every value bar takes the focus and its echo box takes a typed value; F5
    // presses the run button of the panel on show; the menus have mnemonics.
    QAction* RunPanel1 = nullptr;  // F5
    void BuildKeys();
    QPushButton* OpenPanelRunButton() const;  // the open panel's run button, or nullptr
    void RunPanel1Click();
    std::vector<std::pair<QPushButton*, const char*>> RunNeeds() const;  // run button, enabling item
    void ShowRunHint();  // on the status bar while the open panel's run button is disabled
    // Enter or leaving box: its whole number moves bar, clamped into the bar's
    // range (the status bar says so); any other text puts the bar's value back
    // and throws the conversion error. name is the bar's caption.
    void EnterValue(QScrollBar* bar, QLineEdit* box, const QString& name);
    void EnterGamma(QLineEdit* box);  // the same for the gamma bar: the nearest position
    void Edit1Finished();             // the round count, checked when the typing ends
    QString Edit1Accepted = QStringLiteral("1");  // its last whole number
    // Hiding the window as it goes takes the focus from a box, which ends its
    // typing: the boxes must no longer reach the form by then.
    void DropKeyWatches();
    // The corner labels keep their places while their texts fit, and make room
    // for up to five digits when a large picture needs it (Unit1Corners.cpp).
    void FitCornerLabels();

    // ---- Wiring used by every Build function ---------------------------------
    // Runs handler on signal; an error it throws is shown and the loop goes on.
    template <class Sender, class Signal>
    void Bind(Sender* sender, Signal signal, void (TForm1::*handler)())
    {
        connect(sender, signal, this, [this, handler] { RunGuarded([&] { (this->*handler)(); }); });
    }
    // The same for a command: the status bar then tells what ran and how long
    // it took ("Sobel: 3.2 ms"), the name being the button's or item's text.
    void BindCommand(QAbstractButton* button, void (TForm1::*handler)());
    void BindCommand(QAction* action, void (TForm1::*handler)());

    // What a command tells the status bar. A handler that did not simply run
    // says so before it returns; outside a command these calls do nothing.
    enum class StatusOutcome {
        Ran,          // "Sobel: 3.2 ms" (the default)
        Cancelled,    // the user stopped the work: "Find Pattern: cancelled after 812.0 ms"
        NothingDone,  // "Find Pattern: nothing done", no time
        NoPicture,    // "No picture: load one first", no time
    };
    void CommandOutcome(StatusOutcome outcome);
    // Restarts the command's clock: a handler calls it when its dialog returns,
    // so that the time shown is the work's alone. Load and Save show a time only
    // once they have called it; returning before means the dialog was cancelled.
    void StartCommandClock();

    // Creates a control of type T as a child of parent, named name, at (left, top)
    // with the given size (a size of 0 keeps the control's own).
    template <class T>
    T* Place(QWidget* parent, const char* name, int left, int top, int width = 0, int height = 0)
    {
        auto* control = new T(parent);
        control->setObjectName(QString::fromLatin1(name));
        if (width > 0 && height > 0)
            control->setGeometry(left, top, width, height);
        else
            control->move(left, top);
        return control;
    }
    QLabel* PlaceLabel(QWidget* parent, const char* name, const QString& caption, int left, int top);
    QPushButton* PlaceButton(QWidget* parent, const char* name, const QString& caption, int left,
                             int top, int width, int height);
    QFrame* PlacePanel(const char* name, int width, int height);
    // Shows panel enabled at its place after hiding every other panel.
    void OpenToolPanel(QFrame* panel);

protected:
    void closeEvent(QCloseEvent* event) override;  // closing the main window ends the application
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildWorkspace();
    void BuildMenu();
    void BuildViewer();
    void DropViewerWatches();  // zoom, region editing, a size that fits (Unit1View.cpp)
    void TimeCommand(const QObject* control, const QString& text, void (TForm1::*handler)());
    struct RunningCommand {
        QElapsedTimer clock;
        StatusOutcome outcome = StatusOutcome::Ran;
        bool clockRestarted = false;
    };
    RunningCommand* runningCommand_ = nullptr;  // the innermost command running
    void ShowPixelUnder(const char* view, const GrayImage& image, int x, int y);
    void ShowGrayIn(PictureView* view, const GrayImage& image);
    // What After holds, without making the copy it may still be (Unit1History.cpp).
    const GrayImage& AfterAsItIs() const { return afterIsBefore_ ? BeforeImage : afterImage_; }
    void SetAfter(GrayImage after);  // a made image, or none
    void SetAfterToBefore();         // a copy of Before, made when asked for
    GrayImage afterImage_;
    bool afterIsBefore_ = false;
};
