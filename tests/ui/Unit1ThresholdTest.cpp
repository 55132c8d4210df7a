// tests/ui/Unit1ThresholdTest.cpp: Panel4's thresholds, "AUTO" and "Run".
#include "FakeDialogs.h"
#include "Unit1.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using Rows = std::vector<std::vector<int>>;

// A window with the gray picture rows loaded and Panel4 opened for thresholding.
struct ThresholdForm {
    explicit ThresholdForm(const Rows& rows = {{0}})
    {
        QImage picture(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()),
                       QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x) {
                const int v = rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
                picture.setPixel(x, y, qRgb(v, v, v));
            }
        const QString path = dir.filePath(QStringLiteral("gray.png"));
        picture.save(path);
        form.LoadPicture(path);
        emit form.Threshold1->aboutToShow();
        form.ThresholdSetup1->trigger();
    }
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
};

// Types text into the edit box key by key, as a user does; with replace, the
// box's text is selected first, so the first key replaces it.
void Type(QLineEdit* edit, const QString& text, bool replace = true)
{
    if (replace)
        edit->selectAll();
    else
        edit->end(false);
    for (const QChar c : text) {
        const int key = c.toUpper().unicode();
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(edit, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(edit, &release);
    }
}

// Enter ends the typing: the box's value is taken then.
void Enter(QLineEdit* edit)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &press);
}

void Backspace(QLineEdit* edit)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QCoreApplication::sendEvent(edit, &press);
}

// The After image as screen rows.
Rows AfterRows(TForm1& form)
{
    Rows rows(static_cast<std::size_t>(form.ImageHeight()));
    for (int y = 0; y < form.ImageHeight(); ++y)
        for (int x = 0; x < form.ImageWidth(); ++x)
            rows[static_cast<std::size_t>(y)].push_back(form.AfterImage()[x][y]);
    return rows;
}

}  // namespace

TEST(Panel4, StartsWithTheFormDefaults)
{
    FakeDialogs dialogs;
    TForm1 form;
    EXPECT_EQ(form.ComboBox1->count(), 3);
    EXPECT_EQ(form.ComboBox1->itemText(2), QStringLiteral("Gray Objects"));
    EXPECT_EQ(form.ComboBox1->currentIndex(), 0);
    EXPECT_EQ(form.ScrollBar4->value(), 0);
    EXPECT_EQ(form.Edit2->text(), QStringLiteral("0"));
    EXPECT_EQ(form.ScrollBar5->value(), 255);
    EXPECT_EQ(form.Edit3->text(), QStringLiteral("255"));
    EXPECT_FALSE(form.Edit3->isEnabled());
    EXPECT_FALSE(form.Label26->isEnabled());
    EXPECT_FALSE(form.CheckBox50->isChecked());
    EXPECT_TRUE(form.Label27->isHidden());
    EXPECT_TRUE(form.Label28->isHidden());
    EXPECT_EQ(form.Label27->text(), QStringLiteral("0"));
    EXPECT_EQ(form.Image4->size(), QSize(256, 64));
    EXPECT_EQ(form.Shape4->geometry(), form.Image4->geometry());
    EXPECT_TRUE(form.Panel4->isHidden());
}

TEST(Panel4, TypingTwelveWithTheUpperSliderAtTenDragsItAlong)
{
    ThresholdForm f;
    f.form.ComboBox1->setCurrentIndex(2);  // gray: the upper controls are enabled
    EXPECT_TRUE(f.form.ScrollBar5->isEnabled());
    EXPECT_TRUE(f.form.Edit3->isEnabled());
    f.form.ScrollBar5->setValue(10);
    EXPECT_EQ(f.form.Edit3->text(), QStringLiteral("10"));
    Type(f.form.Edit2, QStringLiteral("12"));
    Enter(f.form.Edit2);
    EXPECT_EQ(f.form.ScrollBar4->value(), 12);
    EXPECT_EQ(f.form.Edit2->text(), QStringLiteral("12"));
    EXPECT_EQ(f.form.ScrollBar5->value(), 12);
    EXPECT_EQ(f.form.Edit3->text(), QStringLiteral("12"));
    // And the upper one drags the lower back down.
    Type(f.form.Edit3, QStringLiteral("7"));
    Enter(f.form.Edit3);
    EXPECT_EQ(f.form.ScrollBar4->value(), 7);
    EXPECT_EQ(f.form.Edit2->text(), QStringLiteral("7"));
    EXPECT_TRUE(f.dialogs.Errors.isEmpty());
}

TEST(Panel4, InTheDarkModeTheLowerThresholdMayPassTheUpper)
{
    ThresholdForm f;
    f.form.ComboBox1->setCurrentIndex(2);
    f.form.ScrollBar5->setValue(100);
    f.form.ComboBox1->setCurrentIndex(0);  // the upper slider is disabled and does not follow
    EXPECT_FALSE(f.form.ScrollBar5->isEnabled());
    Type(f.form.Edit2, QStringLiteral("200"));
    Enter(f.form.Edit2);
    EXPECT_EQ(f.form.ScrollBar4->value(), 200);
    EXPECT_EQ(f.form.ScrollBar5->value(), 100);
}

// A typed value is taken when the typing ends, clamped into the slider's range;
// the box then shows the slider's position, moved or not, and the status bar
// says what was clamped.
TEST(Panel4, ATypedValueIsClampedAndWrittenBackWhenTheTypingEnds)
{
    ThresholdForm f;
    Type(f.form.Edit2, QStringLiteral("999"));
    EXPECT_EQ(f.form.ScrollBar4->value(), 0);  // nothing is taken halfway
    Enter(f.form.Edit2);
    EXPECT_EQ(f.form.ScrollBar4->value(), 255);
    EXPECT_EQ(f.form.Edit2->text(), QStringLiteral("255"));
    EXPECT_EQ(f.form.statusBar()->currentMessage(),
              QStringLiteral("Lower: 999 is outside 0 to 255; set to 255"));
    f.form.Edit2->selectAll();
    f.form.Edit2->insert(QStringLiteral("-40"));  // pasted at once
    Enter(f.form.Edit2);
    EXPECT_EQ(f.form.ScrollBar4->value(), 0);
    EXPECT_EQ(f.form.Edit2->text(), QStringLiteral("0"));

    // "300" with the upper slider already at 255: the position does not move,
    // and the box shows it again.
    f.form.ComboBox1->setCurrentIndex(2);
    ASSERT_EQ(f.form.ScrollBar5->value(), 255);
    f.form.Edit3->selectAll();
    f.form.Edit3->insert(QStringLiteral("300"));
    EXPECT_EQ(f.form.Edit3->text(), QStringLiteral("300"));
    Enter(f.form.Edit3);
    EXPECT_EQ(f.form.Edit3->text(), QStringLiteral("255"));
    EXPECT_EQ(f.form.ScrollBar5->value(), 255);
    EXPECT_EQ(f.form.statusBar()->currentMessage(),
              QStringLiteral("Upper: 300 is outside 0 to 255; set to 255"));
    EXPECT_TRUE(f.dialogs.Errors.isEmpty());
}

// Typing, and deleting to type again, says nothing; the text is checked once
// the typing ends, and the box then shows the slider's position again.
TEST(Panel4, TextThatIsNotAnIntegerShowsTheErrorOnceWhenTheTypingEnds)
{
    ThresholdForm f;
    Type(f.form.Edit2, QStringLiteral("4"));
    Enter(f.form.Edit2);
    Type(f.form.Edit2, QStringLiteral("x"), false);
    Type(f.form.Edit2, QStringLiteral("y"), false);
    Backspace(f.form.Edit2);
    Backspace(f.form.Edit2);
    Backspace(f.form.Edit2);  // the box is empty on the way
    EXPECT_TRUE(f.dialogs.Errors.isEmpty());
    Type(f.form.Edit2, QStringLiteral("4x"));
    Enter(f.form.Edit2);
    EXPECT_EQ(f.dialogs.Errors, (QStringList{QStringLiteral("'4x' is not a valid integer value")}));
    EXPECT_EQ(f.form.ScrollBar4->value(), 4);  // the slider keeps its position
    EXPECT_EQ(f.form.Edit2->text(), QStringLiteral("4"));
}

TEST(Panel4, AutoInGrayModeShowsTheThresholdAndDisablesRunAndTheSliders)
{
    // A vertical step from 200 (left) to 0 (right): the edge weight goes to the left pixel.
    ThresholdForm f({{200, 200, 0, 0}, {200, 200, 0, 0}, {200, 200, 0, 0}});
    f.form.ComboBox1->setCurrentIndex(2);
    EXPECT_TRUE(f.form.Button5->isEnabled());
    f.form.CheckBox50->setChecked(true);
    EXPECT_EQ(f.form.Label27->text(), QStringLiteral("200"));
    EXPECT_FALSE(f.form.Label27->isHidden());
    EXPECT_FALSE(f.form.Label28->isHidden());
    EXPECT_FALSE(f.form.Button5->isEnabled());
    for (QWidget* control : std::initializer_list<QWidget*>{f.form.ScrollBar4, f.form.ScrollBar5,
                                                            f.form.Edit2, f.form.Edit3,
                                                            f.form.Label25, f.form.Label26})
        EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();

    f.form.CheckBox50->setChecked(false);
    EXPECT_TRUE(f.form.Button5->isEnabled());
    EXPECT_TRUE(f.form.Label27->isHidden());
    EXPECT_TRUE(f.form.ScrollBar4->isEnabled());
    EXPECT_TRUE(f.form.Edit3->isEnabled());
}

TEST(Panel4, TheModeAndAutoDecideWhetherRunIsEnabled)
{
    ThresholdForm f;
    f.form.CheckBox50->setChecked(true);  // mode 0: "Run" stays enabled
    EXPECT_TRUE(f.form.Button5->isEnabled());
    f.form.ComboBox1->setCurrentIndex(2);  // gray with "AUTO": disabled, upper controls enabled
    EXPECT_FALSE(f.form.Button5->isEnabled());
    EXPECT_TRUE(f.form.ScrollBar5->isEnabled());
    f.form.ComboBox1->setCurrentIndex(1);  // back to bright: "Run" is not touched
    EXPECT_FALSE(f.form.Button5->isEnabled());
    EXPECT_FALSE(f.form.ScrollBar5->isEnabled());
    f.form.ThresholdSetup1->trigger();
    EXPECT_TRUE(f.form.Button5->isEnabled());
    f.form.CheckBox50->setChecked(false);  // unchecked in mode 1: the upper controls come back
    EXPECT_TRUE(f.form.ScrollBar5->isEnabled());
    EXPECT_TRUE(f.form.Edit3->isEnabled());
    emit f.form.Threshold1->aboutToShow();  // reopening the panel disables "Run" again
    EXPECT_FALSE(f.form.Button5->isEnabled());
}

TEST(Panel4, RunWithAutoInTheDarkModeUsesTheShownThreshold)
{
    // Weights on row 0: 110 on 200 and 90 on 90, so (22000 + 8100) / 200 = 150.
    ThresholdForm f({{200, 200, 90, 0}, {200, 200, 90, 0}});
    f.form.CheckBox50->setChecked(true);
    ASSERT_EQ(f.form.Label27->text(), QStringLiteral("150"));
    f.form.Button5->click();  // the lower slider (0) is ignored
    EXPECT_EQ(AfterRows(f.form), (Rows{{0, 0, 255, 255}, {0, 0, 255, 255}}));
    f.form.CheckBox50->setChecked(false);
    f.form.Button5->click();  // now the slider: only 0 passes
    EXPECT_EQ(AfterRows(f.form), (Rows{{0, 0, 0, 255}, {0, 0, 0, 255}}));
    EXPECT_EQ(f.form.BeforeImage[0][0], 200);  // the Before image is not changed
    EXPECT_EQ(f.form.Image1->Pixel(3, 1), qRgb(255, 255, 255));  // and the After one is shown
}

TEST(Panel4, RunInGrayModeBlackensTheBandAndIgnoresAuto)
{
    ThresholdForm f({{10, 100, 128, 129, 250}});
    f.form.ComboBox1->setCurrentIndex(2);
    Type(f.form.Edit3, QStringLiteral("128"));
    Enter(f.form.Edit3);
    Type(f.form.Edit2, QStringLiteral("100"));
    Enter(f.form.Edit2);
    f.form.Button5->click();
    EXPECT_EQ(AfterRows(f.form), (Rows{{255, 0, 0, 255, 255}}));
    f.form.CheckBox50->setChecked(true);
    f.form.ThresholdSetup1->trigger();  // "Run" was disabled by "AUTO" in gray mode
    f.form.Button5->click();
    EXPECT_EQ(AfterRows(f.form), (Rows{{255, 0, 0, 255, 255}}));
    f.form.ComboBox1->setCurrentIndex(-1);  // no item chosen: a plain copy
    f.form.Button5->click();
    EXPECT_EQ(AfterRows(f.form), (Rows{{10, 100, 128, 129, 250}}));
}

TEST(Panel4, TheMenuDrawsTheHistogramOfTheBeforeImage)
{
    // Level 40 on six pixels, level 90 on two: bars of 64 and 2 · 64 / 6 = 21 rows.
    ThresholdForm f({{40, 40, 40, 90}, {40, 40, 40, 90}});
    const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
    EXPECT_EQ(f.form.Image4->Pixel(40, 0), white);
    EXPECT_EQ(f.form.Image4->Pixel(90, 63 - 20), white);
    EXPECT_EQ(f.form.Image4->Pixel(90, 63 - 21), black);
    EXPECT_EQ(f.form.Image4->Pixel(41, 63), black);
}

TEST(Panel4, WithoutAPictureAutoIsWhiteAndRunDoesNothing)
{
    FakeDialogs dialogs;
    TForm1 form;
    emit form.Threshold1->aboutToShow();
    form.ThresholdSetup1->trigger();
    form.CheckBox50->setChecked(true);
    EXPECT_EQ(form.Label27->text(), QStringLiteral("255"));
    form.Button5->click();
    EXPECT_TRUE(dialogs.Errors.isEmpty());
    EXPECT_EQ(form.Image4->PictureWidth(), 0);  // no histogram drawn
}
