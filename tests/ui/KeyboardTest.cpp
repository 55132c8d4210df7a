// tests/ui/KeyboardTest.cpp: values typed and keyed into the panels, F5, the
// menus' mnemonics, tooltips and hints, the pixel readout at any zoom, the
// other windows on a small screen and the corner box of a large picture.
#include "FakeDialogs.h"
#include "TestPictures.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

// A shown, active window with a colour picture loaded (gray values as
// TestPictures.h works them out), so that focus and painting are as on screen.
struct KeyForm {
    explicit KeyForm(int width = 64, int height = 48)
    {
        const QString path = dir.filePath(QStringLiteral("keys.png"));
        ColourPicture(width, height).save(path);
        form.LoadPicture(path);
        form.show();
        form.activateWindow();
        QApplication::setActiveWindow(&form);
        QCoreApplication::processEvents();
    }
    QString Status() const { return form.statusBar()->currentMessage(); }

    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
};

void Press(QWidget* widget, int key, const QString& text = {})
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

// Types text into box key by key as a user does, over what it holds.
void Type(QLineEdit* box, const QString& text)
{
    box->setFocus(Qt::TabFocusReason);
    box->selectAll();
    for (const QChar c : text)
        Press(box, c.unicode() < 128 ? int(c.toUpper().unicode()) : int(Qt::Key_unknown), QString(c));
}

void Enter(QLineEdit* box) { Press(box, Qt::Key_Return); }

QString WithoutMnemonic(QString text) { return text.remove(u'&'); }

// The scroll bars of a picture view or a grid, and a list's own parts.
bool PartOfAView(const QWidget* w, const QWidget* panel)
{
    for (const QWidget* p = w->parentWidget(); p != panel; p = p->parentWidget())
        if (qobject_cast<const PictureView*>(p) || qobject_cast<const QAbstractScrollArea*>(p) ||
            qobject_cast<const QComboBox*>(p))
            return true;
    return false;
}

// Every bar with the box a value is typed into: an edit box, or the field
// under a value label.
struct Bar {
    const char* bar;
    const char* box;
    const char* name;
};
constexpr Bar kBars[] = {
    {"ScrollBar1", "Label20Field", "Brightness"}, {"ScrollBar2", "Label21Field", "Contrast"},
    {"ScrollBar4", "Edit2", "Lower"},             {"ScrollBar5", "Edit3", "Upper"},
    {"ScrollBar6", "Label33Field", "Angle"},      {"ScrollBar7", "Edit4", "Edge Strength"},
    {"ScrollBar8", "Edit6", "Gap"},               {"ScrollBar9", "Edit7", "Edge Strength"},
    {"ScrollBar10", "Edit8", "Angle"},            {"ScrollBar11", "Edit9", "Gap"},
    {"ScrollBar12", "Edit10", "Edge Strength"},   {"ScrollBar13", "Edit11", "Start Angle"},
    {"ScrollBar14", "Edit12", "End Angle"},       {"ScrollBar15", "Edit13", "Inside Radius"},
    {"ScrollBar16", "Edit14", "Outside Radius"},
};

// The panel a bar sits on, opened through its menu with its run button enabled.
void OpenPanelOf(TForm1& form, const QScrollBar* bar)
{
    for (QMenu* menu : {form.Brightness1, form.Threshold1, form.MatchPattern1, form.FindEdge1,
                        form.FindStraight1, form.FindCircular1}) {
        emit menu->aboutToShow();
        if (bar->isVisibleTo(&form)) {
            menu->actions().front()->trigger();
            break;
        }
    }
}

}  // namespace

TEST(EnterValue, ATypedNumberReachesEveryBarClampedOrRefused)
{
    KeyForm f;
    TForm1& form = f.form;
    form.ComboBox1->setCurrentIndex(kGrayObjects);  // the upper threshold takes part
    for (const Bar& b : kBars) {
        auto* bar = form.FindComponent<QScrollBar>(QLatin1String(b.bar));
        auto* box = form.FindComponent<QLineEdit>(QLatin1String(b.box));
        ASSERT_TRUE(bar && box) << b.bar;
        OpenPanelOf(form, bar);
        SCOPED_TRACE(b.bar);
        const int inside = (bar->minimum() + 2 * bar->maximum()) / 3;  // away from the start
        Type(box, QString::number(inside));
        Enter(box);
        EXPECT_EQ(bar->value(), inside);
        EXPECT_EQ(box->text(), QString::number(inside));

        f.form.statusBar()->clearMessage();
        Type(box, QStringLiteral("99999999999999999999"));  // past 64 bits: still the top
        Enter(box);
        EXPECT_EQ(bar->value(), bar->maximum());
        EXPECT_EQ(box->text(), QString::number(bar->maximum()));
        EXPECT_EQ(f.Status(), QStringLiteral("%1: 99999999999999999999 is outside %2 to %3; set to %3")
                                  .arg(QLatin1String(b.name))
                                  .arg(bar->minimum())
                                  .arg(bar->maximum()));
        Type(box, QStringLiteral(" -7 "));
        Enter(box);
        EXPECT_EQ(bar->value(), std::max(bar->minimum(), -7));

        const int kept = bar->value();
        f.dialogs.Errors.clear();
        Type(box, QStringLiteral("1x"));
        Enter(box);
        box->clearFocus();  // leaving the box after the refusal says nothing more
        EXPECT_EQ(f.dialogs.Errors, QStringList{QStringLiteral("'1x' is not a valid integer value")});
        EXPECT_EQ(bar->value(), kept);
        EXPECT_EQ(box->text(), QString::number(kept));
    }
}

TEST(EnterValue, GammaTakesTheNearestPosition)
{
    KeyForm f;
    emit f.form.Brightness1->aboutToShow();
    auto* box = f.form.FindComponent<QLineEdit>(QStringLiteral("Label22Field"));
    struct Case {
        const char* typed;
        int position;
        const char* status;  // empty: nothing said
    };
    const Case cases[] = {
        {"1.18", 51, ""},  // 1 + 0.18: the first step above 1
        {"1.26", 51, ""},  // 0.08 from 1.18, 0.10 from 1.36
        {"0.1", 1, ""},    // the least gamma, not outside it
        {"0.56", 26, ""},  // 0.1 + 25 · 0.9 / 49 = 0.559
        {"25", 100, "Gamma: 25 is outside 0.1 to 10; set to 10"},
        {"0", 1, "Gamma: 0 is outside 0.1 to 10; set to 0.100000001490116"},
    };
    for (const Case& c : cases) {
        f.form.statusBar()->clearMessage();
        Type(box, QString::fromLatin1(c.typed));
        Enter(box);
        EXPECT_EQ(f.form.ScrollBar3->value(), c.position) << c.typed;
        EXPECT_EQ(box->text(), f.form.Label22->text()) << c.typed;
        EXPECT_EQ(f.Status(), QString::fromLatin1(c.status)) << c.typed;
    }
    Type(box, QStringLiteral("gamma"));
    Enter(box);
    EXPECT_EQ(f.dialogs.Errors,
              QStringList{QStringLiteral("'gamma' is not a valid floating point value")});
    EXPECT_EQ(f.form.ScrollBar3->value(), 1);
}

TEST(ScrollBarKeys, TabReachesABarAndTheKeysMoveIt)
{
    KeyForm f;
    TForm1& form = f.form;
    emit form.FindCircular1->aboutToShow();
    form.ComboBox5->setFocus(Qt::TabFocusReason);
    Press(form.ComboBox5, Qt::Key_Tab);
    QScrollBar* bar = form.ScrollBar11;  // Gap 1 to 100, at 10
    ASSERT_TRUE(bar->hasFocus());
    auto* mark = bar->findChild<QWidget*>(QStringLiteral("ScrollBar11Focus"));
    ASSERT_NE(mark, nullptr);
    EXPECT_TRUE(mark->isVisible());
    const std::pair<int, int> keys[] = {
        {Qt::Key_Right, 11}, {Qt::Key_Left, 10}, {Qt::Key_PageUp, 20},
        {Qt::Key_PageDown, 10}, {Qt::Key_End, 100}, {Qt::Key_Home, 1},
    };
    for (const auto& [key, value] : keys) {
        Press(bar, key);
        EXPECT_EQ(bar->value(), value) << key;
        EXPECT_EQ(form.Edit9->text(), QString::number(value)) << key;
    }
    Press(bar, Qt::Key_Tab);  // on to the echo box: the ring goes
    EXPECT_TRUE(form.Edit9->hasFocus());
    EXPECT_FALSE(mark->isVisible());
    // A value label's field comes right after its bar.
    emit form.Brightness1->aboutToShow();
    form.ScrollBar1->setFocus(Qt::TabFocusReason);
    Press(form.ScrollBar1, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), QStringLiteral("Label20Field"));
}

// Deleting the digits of a threshold to type another says nothing until the
// typing ends; the round count likewise.
TEST(EnterValue, TypingDigitByDigitRaisesNoMessage)
{
    KeyForm f;
    TForm1& form = f.form;
    for (auto [menu, box] : {std::pair{form.Threshold1, form.Edit2}, {form.Mophology1, form.Edit1}}) {
        emit menu->aboutToShow();
        form.ChooseMorphology(kDilation);
        Type(box, QStringLiteral("100"));
        Enter(box);
        for (int k = 0; k < 3; ++k)
            Press(box, Qt::Key_Backspace);
        EXPECT_EQ(box->text(), QString());
        Type(box, QStringLiteral("4"));
        Press(box, Qt::Key_2, QStringLiteral("2"));
        Enter(box);
        EXPECT_EQ(box->text(), QStringLiteral("42"));
    }
    EXPECT_EQ(form.ScrollBar4->value(), 42);
    EXPECT_TRUE(f.dialogs.Errors.isEmpty()) << qPrintable(f.dialogs.Errors.join('\n'));
    // Left empty, the round count goes back to the last one taken.
    Type(form.Edit1, QStringLiteral(""));
    Press(form.Edit1, Qt::Key_Backspace);
    Enter(form.Edit1);
    EXPECT_EQ(f.dialogs.Errors, QStringList{QStringLiteral("'' is not a valid integer value")});
    EXPECT_EQ(form.Edit1->text(), QStringLiteral("42"));
}

TEST(EnterValue, ABadTextInABoxTheCommandDoesNotUseBlocksNothing)
{
    KeyForm f;
    TForm1& form = f.form;
    form.Edit3->setText(QStringLiteral("abc"));  // upper: disabled for dark objects
    ASSERT_FALSE(form.Edit3->isEnabled());
    form.ChooseMorphology(kOpening);  // runs once: the count is not read
    form.Edit1->setText(QStringLiteral("two"));
    ASSERT_FALSE(form.Edit1->isEnabled());
    for (QPushButton* run : {form.Button5, form.Button8, form.Button2}) {
        run->setEnabled(true);
        run->click();
        EXPECT_TRUE(f.Status().endsWith(QStringLiteral(" ms"))) << qPrintable(f.Status());
    }
    EXPECT_TRUE(f.dialogs.Errors.isEmpty()) << qPrintable(f.dialogs.Errors.join('\n'));
}

TEST(RunPanel1, F5PressesTheOpenPanelsRunButtonOnlyWhenEnabled)
{
    KeyForm f;
    TForm1& form = f.form;
    EXPECT_EQ(form.RunPanel1->shortcut(), QKeySequence(Qt::Key_F5));
    struct Case {
        QMenu* menu;
        QAction* item;
        QPushButton* run;
        const char* hint;
    };
    const Case cases[] = {
        {form.Fiter1, form.Sobel1, form.Button1, "filter"},
        {form.Mophology1, form.Erosion1, form.Button2, "morphology"},
        {form.Brightness1, form.BrightnessSetup1, form.Button4, "Brightness Setup"},
        {form.Threshold1, form.ThresholdSetup1, form.Button5, "Threshold Setup"},
        {form.DetectObject1, form.DetectObjectSetup1, form.Button8, "Detect Object Setup"},
        {form.MatchPattern1, form.MatchPatternSetup1, form.Button10, "Match Pattern Setup"},
        {form.FindEdge1, form.FindEdgeSetup1, form.Button11, "Find Edge Setup"},
        {form.FindStraight1, form.FindStraightSetup1, form.Button12, "Find Straight Setup"},
        {form.FindCircular1, form.FindCircularSetup1, form.Button13, "Find Circular Setup"},
    };
    std::map<QPushButton*, int> clicks;
    for (const Case& c : cases)
        QObject::connect(c.run, &QPushButton::clicked, [&clicks, run = c.run] { ++clicks[run]; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hint);
        emit c.menu->aboutToShow();
        const QString hint = QStringLiteral("Choose a %1 item in the menu to enable Run").arg(QLatin1String(c.hint));
        EXPECT_EQ(f.Status(), hint);
        form.RunPanel1->trigger();
        EXPECT_EQ(clicks[c.run], 0);
        EXPECT_EQ(f.Status(), hint);
        c.item->trigger();
        emit c.menu->aboutToHide();
        QCoreApplication::processEvents();
        EXPECT_EQ(f.Status(), QString());  // the hint goes once the button is enabled
        form.RunPanel1->trigger();
        EXPECT_EQ(clicks[c.run], 1);
        EXPECT_NE(f.Status(), hint);
    }
    form.HideToolPanels();
    form.RunPanel1->trigger();  // no panel: nothing
    for (const Case& c : cases)
        EXPECT_EQ(clicks[c.run], 1);
}

TEST(Tooltips, EveryControlOfEveryPanelSaysWhatItDoes)
{
    FakeDialogs dialogs;
    TForm1 form;
    int controls = 0;
    for (int k = 1; k <= 8; ++k) {
        const auto* panel = form.FindComponent<QFrame>(QStringLiteral("Panel%1").arg(k));
        for (QWidget* w : panel->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                                 qobject_cast<QAbstractSlider*>(w) || qobject_cast<QLineEdit*>(w) ||
                                 qobject_cast<PictureView*>(w) || qobject_cast<StringGrid*>(w);
            if (!control || w->objectName().isEmpty() || PartOfAView(w, panel))
                continue;
            ++controls;
            EXPECT_FALSE(w->toolTip().isEmpty()) << w->objectName().toStdString();
            // Every value a user can change names its default as built.
            const QString tip = w->toolTip();
            if (auto* bar = qobject_cast<QScrollBar*>(w)) {
                EXPECT_TRUE(tip.contains(QStringLiteral("%1 to %2, default %3")
                                             .arg(bar->minimum()).arg(bar->maximum()).arg(bar->value())))
                    << w->objectName().toStdString();
            } else if (auto* list = qobject_cast<QComboBox*>(w)) {
                EXPECT_TRUE(tip.endsWith(QStringLiteral("; default ") + list->currentText())) << tip.toStdString();
            } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
                EXPECT_TRUE(tip.contains(box->isChecked() ? QStringLiteral("checked by default")
                                                          : QStringLiteral("off by default")))
                    << tip.toStdString();
            } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
                EXPECT_EQ(tip.endsWith(QStringLiteral("; chosen by default")), radio->isChecked()) << tip.toStdString();
            } else if (qobject_cast<QPushButton*>(w)) {  // the run buttons say how they are enabled
                static const QStringList runs = {"Button1", "Button2",  "Button4",  "Button5", "Button8",
                                                 "Button10", "Button11", "Button12", "Button13"};
                EXPECT_EQ(tip.contains(QStringLiteral("; F5 runs it; enabled once a ")),
                          runs.contains(w->objectName()))
                    << tip.toStdString();
            }
        }
    }
    EXPECT_GT(controls, 110);  // 49 element boxes among them
    EXPECT_EQ(form.ScrollBar1->toolTip(),
              QStringLiteral("Brightness, 0 to 255, default 128: the level mid-gray maps to (127: unchanged)"));
}

TEST(Menus, EveryTitleHasItsOwnMnemonicAndItsTextAsBefore)
{
    FakeDialogs dialogs;
    TForm1 form;
    const QStringList titles = {"File", "Edit", "Fiter", "Mophology", "Brightness", "Threshold",
                                "Detect Object", "Match Pattern", "Find Edge", "Find Straight",
                                "Find Circular", "View"};
    QStringList shown;
    std::set<QKeySequence> keys;
    for (QAction* title : form.menuBar()->actions()) {
        shown << WithoutMnemonic(title->text());
        const QKeySequence key = QKeySequence::mnemonic(title->text());
        EXPECT_FALSE(key.isEmpty()) << title->text().toStdString();
        EXPECT_TRUE(keys.insert(key).second) << title->text().toStdString();
        std::set<QKeySequence> items;
        for (QAction* item : title->menu()->actions())
            if (!item->isSeparator()) {
                EXPECT_TRUE(items.insert(QKeySequence::mnemonic(item->text())).second)
                    << item->text().toStdString();
            }
    }
    EXPECT_EQ(shown.mid(0, titles.size()), titles);
    EXPECT_EQ(QKeySequence::mnemonic(form.EXIT1->title()), QKeySequence(Qt::ALT | Qt::Key_F));
    EXPECT_EQ(form.Fiter1->title(), QStringLiteral("F&iter"));
    EXPECT_EQ(form.Undo1->text(), QStringLiteral("&Undo"));
    // A command run from the menu is named without its mark.
    dialogs.OpenAnswers = {QString()};
    form.Load1->trigger();
    EXPECT_EQ(form.statusBar()->currentMessage(), QStringLiteral("Load: cancelled"));
}

// The readout names the picture pixel under the pointer, whatever the zoom and scroll.
TEST(PixelReadout, GivesPicturePixelsAt25And400Percent)
{
    KeyForm f(4000, 3000);  // at 25 % still larger than the view
    TForm1& form = f.form;
    struct Case {
        double zoom;
        QPoint scroll, pointer, pixel;
    };
    const Case cases[] = {
        {0.25, QPoint(37, 21), QPoint(101, 203), QPoint((101 + 37) * 4, (203 + 21) * 4)},
        {4, QPoint(1203, 2406), QPoint(101, 203), QPoint((101 + 1203) / 4, (203 + 2406) / 4)},
    };
    for (const Case& c : cases) {
        form.Image2->SetZoomAndScroll(c.zoom, c.scroll);
        ASSERT_EQ(form.Image2->ScrollPosition(), c.scroll);
        QMouseEvent move(QEvent::MouseMove, QPointF(c.pointer), form.Image2->mapToGlobal(QPointF(c.pointer)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(form.Image2, &move);
        const int x = c.pixel.x(), y = c.pixel.y();
        const int gray = (x % 256 + y % 256 + (x + y) % 256) / 3;
        EXPECT_EQ(form.PixelReadout->text(), QStringLiteral("Before (%1, %2) = %3").arg(x).arg(y).arg(gray));
        EXPECT_EQ(form.Label4->text(), QString::number(x));
        QApplication::sendEvent(form.Image1, &move);  // the After view is in step
        EXPECT_TRUE(form.PixelReadout->text().startsWith(QStringLiteral("After (%1, %2) = ").arg(x).arg(y)));
    }
}

// On a screen smaller than any of them (800 x 600 offscreen, below 1024 x 600)
// each window opens inside the free area, and shrunk further still reaches
// every control.
TEST(OtherWindows, FitASmallScreenAndScroll)
{
    FakeDialogs dialogs;
    TForm1 form;
    TForm2 templ;
    TForm3 tool;
    TForm4 video(form);
    for (QWidget* window : std::initializer_list<QWidget*>{&templ, &tool, &video}) {
        const QRect free = window->screen()->availableGeometry();
        EXPECT_TRUE(free.contains(QRect(window->pos(), window->size() + QSize(0, 32))))
            << window->objectName().toStdString();
        window->show();
        window->resize(300, 200);
        QCoreApplication::processEvents();
        if (auto* area = window->findChild<QScrollArea*>(QStringLiteral("ScrollBox1"))) {
            // The bars reach the whole client area, and every control lies in it.
            const QWidget* client = area->widget();
            EXPECT_EQ(area->horizontalScrollBar()->maximum(), client->width() - area->viewport()->width());
            EXPECT_EQ(area->verticalScrollBar()->maximum(), client->height() - area->viewport()->height());
            EXPECT_GT(area->verticalScrollBar()->maximum(), 0);
            for (QWidget* w : client->findChildren<QWidget*>())
                EXPECT_TRUE(client->rect().contains(QRect(w->mapTo(client, QPoint(0, 0)), w->size())))
                    << w->objectName().toStdString();
        } else {
            EXPECT_TRUE(window->rect().contains(templ.Image1->geometry()));
        }
        window->hide();
    }
    // A region of 600 x 600 fills 512 columns and rows that scroll.
    QImage picture(600, 600, QImage::Format_RGB32);
    picture.fill(qRgb(9, 9, 9));
    tool.Image1->SetPicture(picture);
    tool.show();
    tool.ToolButton1Click();
    QCoreApplication::processEvents();
    EXPECT_EQ(tool.StringGrid1->ColCount(), 513);
    EXPECT_GT(tool.StringGrid1->verticalScrollBar()->maximum(), 0);
    EXPECT_GT(tool.StringGrid1->horizontalScrollBar()->maximum(), 0);
}

// Five digits fit a corner label: the values move up to their captions and the
// box widens; a picture the views hold brings the box back as it was built.
TEST(FitCornerLabels, FiveDigitsFitAndThreeRestoreTheBox)
{
    KeyForm f(64, 48);
    TForm1& form = f.form;
    const QList<QWidget*> box = {form.Shape5, form.Label8, form.Label10, form.Label11,
                                 form.Label12, form.Label13, form.Label14};
    QList<QRect> built;
    for (QWidget* w : box)
        built << w->geometry();
    form.SetCorners({12345, 99999, 10000, 123});
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const QFontMetrics metrics = form.Label11->fontMetrics();
    for (QLabel* value : {form.Label11, form.Label12, form.Label13, form.Label14})
        EXPECT_GE(value->width(), metrics.horizontalAdvance(value->text())) << value->text().toStdString();
    for (auto [value, caption] : {std::pair{form.Label11, form.Label8}, {form.Label13, form.Label10}}) {
        EXPECT_LE(value->geometry().right(), caption->x());
        EXPECT_GE(value->x(), form.Label7->geometry().right());
    }
    EXPECT_LE(form.Label12->geometry().right(), form.Shape5->geometry().right());
    EXPECT_LT(form.Shape5->geometry().right(), form.Panel1->x());  // clear of the panels
    form.SetCorners({0, 0, 100, 100});
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    for (int k = 0; k < box.size(); ++k)
        EXPECT_EQ(box[k]->geometry(), built[k]) << box[k]->objectName().toStdString();
}
