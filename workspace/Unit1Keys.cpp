// workspace/Unit1Keys.cpp: values by keyboard, F5, the menus' mnemonics, the
// controls' tooltips and the status-bar hint of a disabled run button.
#include "Unit1.h"

#include "Brightness.h"
#include "Conversions.h"
#include "ResultsPane.h"

#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// A value bar the keyboard works: a ring over it while it has the focus
// (hidden otherwise, so the bar looks as it always has until Tab reaches it),
// and the arrows and Page keys towards the larger value on the right and up.
// A scroll bar's own keys run the other way, as they scroll a page; its wheel
// is left as it is.
class FocusMark : public QWidget {
public:
    explicit FocusMark(QScrollBar* bar) : QWidget(bar), bar_(bar)
    {
        setObjectName(bar->objectName() + QStringLiteral("Focus"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
        bar->setFocusPolicy(Qt::StrongFocus);
        bar->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
            setGeometry(bar_->rect());
            setVisible(event->type() == QEvent::FocusIn);
        }
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & ~Qt::KeypadModifier)
            return false;
        switch (key->key()) {
        case Qt::Key_Right:
        case Qt::Key_Up:
            bar_->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            return true;
        case Qt::Key_Left:
        case Qt::Key_Down:
            bar_->triggerAction(QAbstractSlider::SliderSingleStepSub);
            return true;
        case Qt::Key_PageUp:
            bar_->triggerAction(QAbstractSlider::SliderPageStepAdd);
            return true;
        case Qt::Key_PageDown:
            bar_->triggerAction(QAbstractSlider::SliderPageStepSub);
            return true;
        default:
            return false;  // Home and End as the bar has them
        }
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(rect().adjusted(1, 1, -1, -1));
    }

private:
    QScrollBar* bar_;
};

// A field under an echo label. Until it has the focus (Tab, or a click on the
// label) it paints nothing and lets the mouse through, so the label looks as it
// always has; with the focus it rises over the label holding the label's text.
class LabelField : public QLineEdit {
public:
    explicit LabelField(QLabel* label) : QLineEdit(label->parentWidget()), label_(label)
    {
        setObjectName(label->objectName() + QStringLiteral("Field"));
        const QRect at = label->geometry();
        setGeometry(at.x() - 2, at.y() - 3, std::max(at.width() + 4, 44), at.height() + 6);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        stackUnder(label);
        label->installEventFilter(this);
        label->setCursor(Qt::IBeamCursor);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && isEnabled()) {
            setFocus(Qt::MouseFocusReason);
            return true;
        }
        return false;
    }

protected:
    void focusInEvent(QFocusEvent* event) override
    {
        setText(label_->text());
        setAttribute(Qt::WA_TransparentForMouseEvents, false);
        raise();
        QLineEdit::focusInEvent(event);
        selectAll();
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        QLineEdit::focusOutEvent(event);  // editingFinished: the value is entered first
        setAttribute(Qt::WA_TransparentForMouseEvents);
        stackUnder(label_);
        update();
    }
    void paintEvent(QPaintEvent* event) override
    {
        if (hasFocus())
            QLineEdit::paintEvent(event);
    }

private:
    QLabel* label_;
};

// The menu bar's titles underline their mnemonics while the keyboard works the
// bar (Alt held, or the bar taken with Alt) and look as they always have
// otherwise; the menus' items always show theirs.
class KeyboardCues : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override
    {
        if (hint == SH_UnderlineShortcut && widget != nullptr)
            return (QGuiApplication::queryKeyboardModifiers() & Qt::AltModifier) ||
                   widget->hasFocus();
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

// A sign and digits, blanks around them allowed: what a whole-number box takes.
bool IsWholeNumber(const QString& text)
{
    static const QRegularExpression whole(QStringLiteral("^[+-]?[0-9]+$"));
    return whole.match(text).hasMatch();
}

QString Range(const QScrollBar* bar)
{
    return QStringLiteral("%1 to %2").arg(bar->minimum()).arg(bar->maximum());
}

}  // namespace

// ---- Typed values -------------------------------------------------------------

void TForm1::EnterValue(QScrollBar* bar, QLineEdit* box, const QString& name)
{
    const QString typed = box->text();
    const QString shown = IntToText(bar->value());
    const QString text = typed.trimmed();
    if (!IsWholeNumber(text)) {
        box->setText(shown);  // first: the box must not keep a text the bar never took
        TextToInt(typed);     // throws "'<text>' is not a valid integer value"
        return;
    }
    bool fits = false;
    long long value = text.toLongLong(&fits);
    if (!fits)  // more digits than 64 bits hold: beyond either end of any bar
        value = text.startsWith(u'-') ? LLONG_MIN : LLONG_MAX;
    const int clamped = static_cast<int>(
        std::clamp<long long>(value, bar->minimum(), bar->maximum()));
    bar->setValue(clamped);
    // The bar's handler echoes a change; a value it already had needs the box put back.
    box->setText(IntToText(bar->value()));
    if (clamped != value)
        statusBar()->showMessage(QStringLiteral("%1: %2 is outside %3; set to %4")
                                     .arg(name, text, Range(bar), IntToText(clamped)));
}

// The gamma label shows the gamma, not the bar's position: a typed gamma takes
// the position whose gamma is nearest (the lower one on a tie).
void TForm1::EnterGamma(QLineEdit* box)
{
    const QString typed = box->text();
    const QString text = typed.trimmed();
    bool ok = false;
    const double gamma = QLocale::c().toDouble(text, &ok);
    if (!ok || std::isnan(gamma)) {
        box->setText(Label22->text());
        throw ConversionError(
            QStringLiteral("'%1' is not a valid floating point value").arg(typed).toStdString());
    }
    const int first = ScrollBar3->minimum(), last = ScrollBar3->maximum();
    int nearest = first;
    for (int p = first; p <= last; ++p)
        if (std::abs(static_cast<double>(GammaFromPosition(p)) - gamma) <
            std::abs(static_cast<double>(GammaFromPosition(nearest)) - gamma))
            nearest = p;
    ScrollBar3->setValue(nearest);
    box->setText(Label22->text());
    // Compared in single precision, as the gamma is kept: 0.1 is the first position.
    const auto g = static_cast<float>(gamma);
    if (g < GammaFromPosition(first) || g > GammaFromPosition(last))
        statusBar()->showMessage(
            QStringLiteral("Gamma: %1 is outside %2 to %3; set to %4")
                .arg(text, QString::number(static_cast<double>(GammaFromPosition(first)), 'g', 6),
                     QString::number(static_cast<double>(GammaFromPosition(last)), 'g', 6),
                     Label22->text()));
}

// A text that is no whole number goes back to the last count taken, so that a
// command never meets it; the message is the one the command would give.
void TForm1::Edit1Finished()
{
    const QString typed = Edit1->text();
    bool fits = false;
    const int rounds = typed.trimmed().toInt(&fits);
    if (IsWholeNumber(typed.trimmed()) && fits) {
        Edit1Accepted = IntToText(rounds);
        Edit1->setText(Edit1Accepted);
        return;
    }
    Edit1->setText(Edit1Accepted);
    TextToInt(typed);  // throws the conversion error
}

void TForm1::DropKeyWatches()
{
    for (QLineEdit* box : Client->findChildren<QLineEdit*>())
        box->disconnect(this);
}

// ---- F5 and the hint of a disabled run button ---------------------------------

QPushButton* TForm1::OpenPanelRunButton() const
{
    const std::pair<const QFrame*, QPushButton*> runs[] = {
        {Panel1, Button1}, {Panel2, Button2}, {Panel3, Button4}, {Panel4, Button5},
        {Panel4, Button8}, {Panel5, Button10}, {Panel6, Button11}, {Panel7, Button12},
        {Panel8, Button13},
    };
    // Opening a panel hides every other one, so the one on show is the one opened last.
    for (const auto& [panel, button] : runs)
        if (!panel->isHidden() && !button->isHidden())
            return button;
    return nullptr;
}

void TForm1::RunPanel1Click()
{
    QPushButton* run = OpenPanelRunButton();
    if (run != nullptr && run->isEnabled())
        run->click();
}

// Each run button and the menu item that enables it.
std::vector<std::pair<QPushButton*, const char*>> TForm1::RunNeeds() const
{
    return {{Button1, "filter"},
            {Button2, "morphology"},
            {Button4, "Brightness Setup"},
            {Button5, "Threshold Setup"},
            {Button8, "Detect Object Setup"},
            {Button10, "Match Pattern Setup"},
            {Button11, "Find Edge Setup"},
            {Button12, "Find Straight Setup"},
            {Button13, "Find Circular Setup"}};
}

void TForm1::ShowRunHint()
{
    const QPushButton* run = OpenPanelRunButton();
    for (const auto& [button, need] : RunNeeds()) {
        if (button != run)
            continue;
        const QString hint =
            QStringLiteral("Choose a %1 item in the menu to enable Run").arg(QLatin1String(need));
        if (!run->isEnabled())
            statusBar()->showMessage(hint);
        else if (statusBar()->currentMessage() == hint)
            statusBar()->clearMessage();
    }
}

// ---- Construction ----------------------------------------------------------------

void TForm1::BuildKeys()
{
    // Before the tab order is set: a widget without focus has no place in it.
    for (QScrollBar* bar : Client->findChildren<QScrollBar*>(QRegularExpression(QStringLiteral("^ScrollBar\\d+$"))))
        new FocusMark(bar);

    // Bars with an edit box beside them: the box takes a typed value.
    struct Echoed {
        QScrollBar* bar;
        QLineEdit* box;
    };
    const Echoed echoed[] = {
        {ScrollBar7, Edit4},   {ScrollBar8, Edit6},   {ScrollBar9, Edit7},   {ScrollBar10, Edit8},
        {ScrollBar11, Edit9},  {ScrollBar12, Edit10}, {ScrollBar13, Edit11}, {ScrollBar14, Edit12},
        {ScrollBar15, Edit13}, {ScrollBar16, Edit14},
    };
    for (const Echoed& e : echoed) {
        const QString name = FindComponent<QLabel>(e.bar->objectName() + QStringLiteral("Caption"))->text();
        connect(e.box, &QLineEdit::editingFinished, this, [this, e, name] {
            RunGuarded([&] { EnterValue(e.bar, e.box, name); });
        });
    }
    // Bars with a label beside them: a field under the label takes the value.
    struct Labelled {
        QScrollBar* bar;
        QLabel* label;
        QLabel* caption;
    };
    const Labelled labelled[] = {
        {ScrollBar1, Label20, Label6}, {ScrollBar2, Label21, Label17},
        {ScrollBar3, Label22, Label18}, {ScrollBar6, Label33, Label34},
    };
    for (const Labelled& l : labelled) {
        auto* field = new LabelField(l.label);
        QWidget::setTabOrder(l.bar, field);
        if (l.bar == ScrollBar3)
            connect(field, &QLineEdit::editingFinished, this,
                    [this, field] { RunGuarded([&] { EnterGamma(field); }); });
        else
            connect(field, &QLineEdit::editingFinished, this, [this, l, field] {
                RunGuarded([&] { EnterValue(l.bar, field, l.caption->text()); });
            });
    }
    Bind(Edit1, &QLineEdit::editingFinished, &TForm1::Edit1Finished);

    // F5 presses the open panel's run button, as a click would.
    RunPanel1 = new QAction(QStringLiteral("Run"), this);
    RunPanel1->setObjectName(QStringLiteral("RunPanel1"));
    RunPanel1->setShortcut(QKeySequence(Qt::Key_F5));
    addAction(RunPanel1);
    Bind(RunPanel1, &QAction::triggered, &TForm1::RunPanel1Click);

    // Opening a tool menu disables the panel's run button until an item is
    // chosen. The hint goes up when the menu opens and again once it closes
    // (hovering an item clears the status bar); an item chosen takes it down.
    for (QMenu* menu : {Fiter1, Mophology1, Brightness1, Threshold1, DetectObject1, MatchPattern1,
                        FindEdge1, FindStraight1, FindCircular1}) {
        connect(menu, &QMenu::aboutToShow, this, [this] { ShowRunHint(); });
        connect(menu, &QMenu::aboutToHide, this,
                [this] { QTimer::singleShot(0, this, [this] { ShowRunHint(); }); });
    }

    // Mnemonics: each text with its & taken out is the text the menu has.
    const std::pair<const char*, const char*> mnemonics[] = {
        {"EXIT1", "&File"}, {"Load1", "&Load"}, {"Save1", "&Save"},
        {"SaveRecipe1", "Save &Recipe..."}, {"RunRecipe1", "R&un Recipe..."},
        {"ExportResults1", "&Export Results..."}, {"Exit2", "E&xit"},
        {"Edit1Menu", "&Edit"},
        {"Fiter1", "F&iter"}, {"Lowpass1", "&Lowpass"}, {"LocalAverage1", "Local &Average"},
        {"Median1", "&Median"}, {"Gaussian1", "&Gaussian"}, {"Laplacian1", "La&placian"},
        {"Prewitt1", "P&rewitt"}, {"Sobel1", "&Sobel"}, {"Roberts1", "R&oberts"},
        {"Mophology1", "&Mophology"}, {"Dilation1", "&Dilation"}, {"Erosion1", "&Erosion"},
        {"Opening1", "&Opening"}, {"Closing1", "&Closing"}, {"ProperOpening1", "&Proper Opening"},
        {"ProperClosing1", "Proper C&losing"}, {"ProperAutomedian1", "Proper &Automedian"},
        {"Brightness1", "&Brightness"}, {"BrightnessSetup1", "Brightness &Setup"},
        {"Threshold1", "&Threshold"}, {"ThresholdSetup1", "Threshold &Setup"},
        {"DetectObject1", "&Detect Object"}, {"DetectObjectSetup1", "Detect Object &Setup"},
        {"MatchPattern1", "Match &Pattern"}, {"MatchPatternSetup1", "Match Pattern &Setup"},
        {"FindEdge1", "Find Ed&ge"}, {"FindEdgeSetup1", "Find Edge &Setup"},
        {"FindStraight1", "Find &Straight"}, {"FindStraightSetup1", "Find Straight &Setup"},
        {"FindCircular1", "Find &Circular"}, {"FindCircularSetup1", "Find Circular &Setup"},
        {"View1", "&View"}, {"Results1", "&Results"}, {"Calibration1", "&Calibration..."},
        {"ActualSize1", "&Actual Size (100 %)"}, {"FitToView1", "&Fit to View"},
        {"ZoomIn1", "Zoom &In"}, {"ZoomOut1", "Zoom &Out"},
        {"ShowBeforeAsGray1", "Show Before as &Gray"},
        {"Help1", "&Help"}, {"UsersGuide1", "User's &Guide"},
    };
    auto* cues = new KeyboardCues;
    cues->setParent(menuBar());
    menuBar()->setStyle(cues);
    for (const auto& [name, text] : mnemonics) {
        const QString marked = QString::fromLatin1(text);
        const QString plain = QString(marked).remove(u'&');
        if (auto* menu = findChild<QMenu*>(QLatin1String(name)); menu && menu->title() == plain)
            menu->setTitle(marked);
        else if (auto* action = findChild<QAction*>(QLatin1String(name)); action && action->text() == plain)
            action->setText(marked);
    }

    // What each control does, and its range as the control holds it.
    // Built with the panels, so each bar still holds its default.
    const auto bar = [](const QScrollBar* b, const QString& what) {
        return what.arg(QStringLiteral("%1, default %2").arg(Range(b)).arg(b->value()));
    };
    // Lists, buttons and boxes give their default the same way, read from the
    // control as built.
    const auto list = [](const QComboBox* c, const QString& what) {
        QStringList items;
        for (int i = 0; i < c->count(); ++i)
            items << c->itemText(i);
        return QStringLiteral("%1: %2; default %3").arg(what, items.join(QStringLiteral(", ")), c->currentText());
    };
    const auto pick = [](const QAbstractButton* b, const QString& what) {
        return what + (b->isChecked() ? QStringLiteral("; chosen by default") : QString());
    };
    const std::pair<QWidget*, QString> tips[] = {
        {Button6, QStringLiteral("Copies the After image into Before")},
        {Button15, QStringLiteral("Clears the Before image to black")},
        {Button14, QStringLiteral("Shows the region of interest and its gray values in the tool window")},
        {Button16, QStringLiteral("Opens the video window")},
        // Filter
        {RadioButton1, pick(RadioButton1, QStringLiteral("3 x 3 mask (Prewitt, Sobel and Roberts use their own)"))},
        {RadioButton2, pick(RadioButton2, QStringLiteral("5 x 5 mask (Prewitt, Sobel and Roberts use their own)"))},
        {RadioButton3, pick(RadioButton3, QStringLiteral("7 x 7 mask (Prewitt, Sobel and Roberts use their own)"))},
        {Button1, QStringLiteral("Filters the region of interest of Before into After")},
        // Morphology
        {RadioButton4, pick(RadioButton4, QStringLiteral("3 x 3 structuring element: the centre boxes"))},
        {RadioButton5, pick(RadioButton5, QStringLiteral("5 x 5 structuring element"))},
        {RadioButton6, pick(RadioButton6, QStringLiteral("7 x 7 structuring element: every box"))},
        {Edit1, QStringLiteral("Rounds of dilation or erosion, 1 or more (below 1 runs once), default %1; Enter takes it").arg(Edit1->text())},
        {Button2, QStringLiteral("Runs the chosen operator over the whole Before image into After")},
        // Brightness
        {ScrollBar1, bar(ScrollBar1, QStringLiteral("Brightness, %1: the level mid-gray maps to (127: unchanged)"))},
        {ScrollBar2, bar(ScrollBar2, QStringLiteral("Contrast angle in degrees, %1 (45: unchanged)"))},
        {ScrollBar3, bar(ScrollBar3, QStringLiteral("Gamma position, %1: gamma %2 to %3 (50: gamma 1, unchanged)")
                                         .arg(QString::number(static_cast<double>(GammaFromPosition(ScrollBar3->minimum())), 'g', 6),
                                              QString::number(static_cast<double>(GammaFromPosition(ScrollBar3->maximum())), 'g', 6)))},
        {Image3, QStringLiteral("The lookup table: input gray level across, output up")},
        {Button3, QStringLiteral("Brightness 128, contrast 45, gamma 1")},
        {Button4, QStringLiteral("Maps the whole Before image through the lookup table into After")},
        // Threshold and detection
        {ComboBox1, list(ComboBox1, QStringLiteral("Which pixels are objects (dark: at or below Lower; bright: at or above Lower; gray: between Lower and Upper)"))},
        {ScrollBar4, bar(ScrollBar4, QStringLiteral("Lower threshold, %1"))},
        {Edit2, bar(ScrollBar4, QStringLiteral("Lower threshold, %1; Enter takes it"))},
        {ScrollBar5, bar(ScrollBar5, QStringLiteral("Upper threshold, %1 (gray objects)"))},
        {Edit3, bar(ScrollBar5, QStringLiteral("Upper threshold, %1 (gray objects); Enter takes it"))},
        {CheckBox50, QStringLiteral("Dark and bright objects: a threshold computed from the Before image; off by default")},
        {Image4, QStringLiteral("Histogram of the Before image, gray levels 0 to 255 across")},
        {Button5, QStringLiteral("Thresholds the whole Before image into After")},
        {Button8, QStringLiteral("Finds the objects inside the region of interest")},
        {StringGrid1, QStringLiteral("One row per object: its box corners and size in pixels")},
        // Pattern
        {ScrollBar6, bar(ScrollBar6, QStringLiteral("Largest angle tried in degrees, %1 (0: upright only)"))},
        {Button7, QStringLiteral("Shows the template picture")},
        {Button9, QStringLiteral("Takes the region of interest of Before as the template")},
        {Button10, QStringLiteral("Searches the whole Before image for the template")},
        {StringGrid2, QStringLiteral("Every candidate: its corners, angle and score")},
        // Edge
        {ComboBox2, list(ComboBox2, QStringLiteral("Which edges along the line to mark"))},
        {ComboBox3, list(ComboBox3, QStringLiteral("Which steps count"))},
        {ScrollBar7, bar(ScrollBar7, QStringLiteral("Edge strength, %1: the smallest gray step that counts"))},
        {Edit5, QStringLiteral("Edges found along the line")},
        {Button11, QStringLiteral("Finds the edges along the line from the first corner to the second")},
        // Straight edge
        {ComboBox4, list(ComboBox4, QStringLiteral("Where the scan lines start"))},
        {ScrollBar8, bar(ScrollBar8, QStringLiteral("Gap between scan lines in pixels, %1"))},
        {ScrollBar9, bar(ScrollBar9, QStringLiteral("Edge strength, %1: the smallest gray step that counts"))},
        {ScrollBar10, bar(ScrollBar10, QStringLiteral("Angle the scan lines are turned by in degrees, %1"))},
        {Button12, QStringLiteral("Fits a straight edge in the region of interest")},
        // Circular edge
        {ComboBox5, list(ComboBox5, QStringLiteral("Which way each spoke is walked (the first edge met is the hit)"))},
        {ScrollBar11, bar(ScrollBar11, QStringLiteral("Gap between spokes in degrees, %1"))},
        {ScrollBar12, bar(ScrollBar12, QStringLiteral("Edge strength, %1: the smallest gray step that counts"))},
        {ScrollBar13, bar(ScrollBar13, QStringLiteral("Start angle in degrees, %1"))},
        {ScrollBar14, bar(ScrollBar14, QStringLiteral("End angle in degrees, %1"))},
        {ScrollBar15, bar(ScrollBar15, QStringLiteral("Inside radius in pixels, %1"))},
        {ScrollBar16, bar(ScrollBar16, QStringLiteral("Outside radius in pixels, %1"))},
        {Button13, QStringLiteral("Looks for a circle about the first corner of the region")},
    };
    for (const auto& [control, tip] : tips)
        control->setToolTip(tip);
    // An echo box says what its bar says, and how it takes a value.
    for (const Echoed& e : echoed)
        e.box->setToolTip(e.bar->toolTip() + QStringLiteral("; Enter takes a typed value"));
    for (const Labelled& l : labelled) {
        const QString tip = l.bar->toolTip() + QStringLiteral("; click or Tab to type a value");
        l.label->setToolTip(tip);
        FindComponent<QLineEdit>(l.label->objectName() + QStringLiteral("Field"))->setToolTip(tip);
    }
    // Run buttons: F5 presses them, and a menu item enables them.
    for (const auto& [button, need] : RunNeeds())
        button->setToolTip(
            button->toolTip() + QStringLiteral("; F5 runs it; enabled once a %1 item is chosen in the menu")
                                    .arg(QLatin1String(need)));
    for (int k = 1; k <= 49; ++k) {
        auto* cell = FindComponent<QCheckBox>(QStringLiteral("CheckBox%1").arg(k));
        cell->setToolTip(QStringLiteral("Structuring element cell: checked cells take part; the mask size "
                                        "shows the centre 3 x 3, 5 x 5 or all 7 x 7; %1 by default")
                             .arg(cell->isChecked() ? QStringLiteral("checked") : QStringLiteral("clear")));
    }
    FitCornerLabels();
}
