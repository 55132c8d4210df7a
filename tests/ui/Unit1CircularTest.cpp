// tests/ui/Unit1CircularTest.cpp: the "Find Circular" panel driven through its controls.
#include "FakeDialogs.h"
#include "Unit1.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(FindCircularPanel, StartsWithItsDefaultsAndEchoesItsScrollBars)
{
    FakeDialogs dialogs;
    TForm1 form;
    EXPECT_EQ(form.GroupBox8->title(), QStringLiteral("Find Circular"));
    EXPECT_EQ(form.ComboBox5->currentText(), QStringLiteral("INWARD"));
    EXPECT_EQ(form.ComboBox5->itemText(1), QStringLiteral("OUTWARD"));
    EXPECT_EQ(form.Label50->text(), QStringLiteral("Result"));
    EXPECT_EQ(form.Label51->text(), QStringLiteral("OK"));
    EXPECT_EQ(form.Label51->font().pixelSize(), 48);
    EXPECT_TRUE(form.Label51->font().bold());
    EXPECT_EQ(form.Label51->parentWidget(), form.Shape6);
    const std::vector<std::tuple<QScrollBar*, QLineEdit*, int, int, int>> rows = {
        {form.ScrollBar11, form.Edit9, 1, 100, 10},   {form.ScrollBar12, form.Edit10, 0, 255, 50},
        {form.ScrollBar13, form.Edit11, 0, 360, 0},   {form.ScrollBar14, form.Edit12, 0, 360, 360},
        {form.ScrollBar15, form.Edit13, 0, 100, 0},   {form.ScrollBar16, form.Edit14, 0, 250, 100}};
    for (auto [bar, edit, minimum, maximum, value] : rows) {
        EXPECT_EQ(bar->minimum(), minimum) << bar->objectName().toStdString();
        EXPECT_EQ(bar->maximum(), maximum) << bar->objectName().toStdString();
        EXPECT_EQ(bar->value(), value) << bar->objectName().toStdString();
        EXPECT_EQ(edit->text(), QString::number(value)) << edit->objectName().toStdString();
        EXPECT_FALSE(edit->isReadOnly());  // a typed value moves the bar
        const int next = value + 3 <= maximum ? value + 3 : value - 3;
        bar->setValue(next);
        EXPECT_EQ(edit->text(), QString::number(next)) << edit->objectName().toStdString();
    }
}

TEST(FindCircularPanel, ADarkDiscIsOkAndANarrowSweepIsNg)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    QImage picture(300, 280, QImage::Format_RGB32);
    for (int y = 0; y < 280; ++y)
        for (int x = 0; x < 300; ++x) {
            const int u = x - 150, v = y - 140;
            picture.setPixel(x, y, u * u + v * v <= 1600 ? qRgb(50, 50, 50) : qRgb(200, 200, 200));
        }
    const QString path = dir.filePath(QStringLiteral("disc.png"));
    picture.save(path);
    form.LoadPicture(path);
    emit form.FindCircular1->aboutToShow();
    form.FindCircularSetup1->trigger();
    form.Image2MouseDown(150, 140);  // the centre is where the button goes down
    form.Image2MouseUp(200, 200);
    form.Button13->click();
    EXPECT_EQ(form.Label51->text(), QStringLiteral("OK"));
    EXPECT_EQ(form.Image1->Pixel(150 + 39, 140), qRgb(0, 0, 0));  // the found circle, radius 39

    form.ScrollBar14->setValue(90);
    form.ScrollBar11->setValue(100);  // wider than the sweep: no spoke
    form.Button13->click();
    EXPECT_EQ(form.Label51->text(), QStringLiteral("NG"));
    EXPECT_EQ(form.Image1->Pixel(150 + 39, 140), qRgb(50, 50, 50));  // only the copy is shown
}

TEST(FindCircularPanel, BeforeAnyPictureTheVerdictIsNg)
{
    FakeDialogs dialogs;
    TForm1 form;
    emit form.FindCircular1->aboutToShow();
    form.FindCircularSetup1->trigger();
    form.Button13->click();
    EXPECT_EQ(form.Label51->text(), QStringLiteral("NG"));
    EXPECT_TRUE(dialogs.Errors.isEmpty());
}
