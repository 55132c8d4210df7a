// tests/ui/Unit1StraightTest.cpp: the "Find Straight" panel driven through its controls.
#include "FakeDialogs.h"
#include "Unit1.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(FindStraightPanel, StartsWithItsDefaultsAndEchoesItsScrollBars)
{
    FakeDialogs dialogs;
    TForm1 form;
    EXPECT_EQ(form.GroupBox7->title(), QStringLiteral("Find Straight"));
    EXPECT_EQ(form.ComboBox4->count(), 4);
    EXPECT_EQ(form.ComboBox4->currentText(), QStringLiteral("UP"));
    EXPECT_EQ(form.ComboBox4->itemText(3), QStringLiteral("RIGHT"));
    EXPECT_EQ(form.ScrollBar8->minimum(), 1);
    EXPECT_EQ(form.ScrollBar8->maximum(), 100);
    EXPECT_EQ(form.ScrollBar10->maximum(), 360);
    const std::vector<std::pair<QScrollBar*, QLineEdit*>> echoes = {
        {form.ScrollBar8, form.Edit6}, {form.ScrollBar9, form.Edit7}, {form.ScrollBar10, form.Edit8}};
    EXPECT_EQ(form.Edit6->text(), QStringLiteral("1"));
    EXPECT_EQ(form.Edit7->text(), QStringLiteral("0"));
    EXPECT_EQ(form.Edit8->text(), QStringLiteral("0"));
    int value = 7;
    for (auto [bar, edit] : echoes) {
        EXPECT_FALSE(edit->isReadOnly());  // a typed value moves the bar
        bar->setValue(value);
        EXPECT_EQ(edit->text(), QString::number(value));
        value += 11;
    }
}

TEST(FindStraightPanel, ARegionDraggedFromTheBottomRightFindsTheBoundary)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    QImage picture(320, 300, QImage::Format_RGB32);
    for (int y = 0; y < 300; ++y)
        for (int x = 0; x < 320; ++x)
            picture.setPixel(x, y, y < 200 ? qRgb(40, 40, 40) : qRgb(180, 180, 180));
    const QString path = dir.filePath(QStringLiteral("boundary.png"));
    picture.save(path);
    form.LoadPicture(path);
    emit form.FindStraight1->aboutToShow();
    form.FindStraightSetup1->trigger();
    form.ScrollBar8->setValue(10);
    form.ScrollBar9->setValue(100);
    form.Image2MouseDown(150, 260);
    form.Image2MouseUp(100, 150);
    form.Button12->click();
    EXPECT_EQ(form.Image1->Pixel(0, 200), qRgb(128, 128, 128));  // the fitted line, edge to edge
    EXPECT_EQ(form.Image1->Pixel(318, 200), qRgb(128, 128, 128));
    EXPECT_EQ(form.Image1->Pixel(120, 230), qRgb(200, 200, 200));  // a scan line
    EXPECT_EQ(form.Image1->Pixel(319, 200), qRgb(180, 180, 180));
}
