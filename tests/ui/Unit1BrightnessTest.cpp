// tests/ui/Unit1BrightnessTest.cpp: the "Brightness" menu and Panel3 driven through their controls.
#include "Brightness.h"
#include "FakeDialogs.h"
#include "Unit1.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

namespace {

QStringList Values(const TForm1& form)
{
    return {form.Label20->text(), form.Label21->text(), form.Label22->text()};
}

bool ColumnIsWhite(const TForm1& form, int x)
{
    for (int y = 0; y < 64; ++y)
        if (form.Image3->Pixel(x, y) != qRgb(255, 255, 255))
            return false;
    return true;
}

}  // namespace

TEST(BrightnessPanel, StartsAtTheMiddleSettings)
{
    FakeDialogs dialogs;
    TForm1 form;
    EXPECT_EQ(form.GroupBox1->title(), QStringLiteral("Brightness"));
    EXPECT_EQ(Values(form), (QStringList{"128", "45", "1"}));
    EXPECT_EQ(form.ScrollBar1->maximum(), 255);
    EXPECT_EQ(form.ScrollBar2->minimum(), 1);
    EXPECT_EQ(form.ScrollBar2->maximum(), 89);
    EXPECT_EQ(form.ScrollBar3->value(), 50);
    EXPECT_EQ(form.Image3->PictureWidth(), 64);
}

TEST(BrightnessPanel, GammaLabelShowsTheSinglePrecisionValue)
{
    FakeDialogs dialogs;
    TForm1 form;
    const std::pair<int, const char*> shown[] = {
        {51, "1.17999994754791"}, {1, "0.100000001490116"}, {75, "5.5"}, {100, "10"}, {50, "1"}};
    for (const auto& [position, text] : shown) {
        form.ScrollBar3->setValue(position);
        EXPECT_EQ(form.Label22->text(), QString::fromLatin1(text)) << position;
    }
    form.ScrollBar1->setValue(7);
    form.ScrollBar2->setValue(89);
    EXPECT_EQ(Values(form), (QStringList{"7", "89", "1"}));
}

TEST(BrightnessPanel, ResetRestoresTheMiddleSettingsAndRedrawsThePlot)
{
    FakeDialogs dialogs;
    TForm1 form;
    emit form.Brightness1->aboutToShow();  // opening the menu draws the plot
    // Start-up table: output = input + 1. Column 10 plots entry 40 (41): row 64 − 10.
    EXPECT_EQ(form.Image3->Pixel(10, 54), qRgb(0, 0, 0));
    EXPECT_TRUE(ColumnIsWhite(form, 0));  // entry 0 gives 1: row 64, outside the plot
    form.ScrollBar1->setValue(0);
    form.ScrollBar3->setValue(80);
    EXPECT_EQ(form.Image3->Pixel(10, 54), qRgb(255, 255, 255));
    EXPECT_TRUE(ColumnIsWhite(form, 20));  // brightness 0 maps entry 80 to 0
    form.Button3->click();
    EXPECT_EQ(form.ScrollBar1->value(), 128);
    EXPECT_EQ(form.ScrollBar2->value(), 45);
    EXPECT_EQ(form.ScrollBar3->value(), 50);
    EXPECT_EQ(Values(form), (QStringList{"128", "45", "1"}));
    EXPECT_EQ(form.Image3->Pixel(10, 54), qRgb(0, 0, 0));
}

TEST(BrightnessPanel, RunMapsTheWholePictureWhateverTheRegion)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    QImage picture(300, 200, QImage::Format_RGB32);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            picture.setPixel(x, y, qRgb(x % 256, x % 256, x % 256));
    const QString path = dir.filePath(QStringLiteral("ramp.png"));
    picture.save(path);
    form.LoadPicture(path);
    form.Label13->setText(QStringLiteral("10"));  // a 10 x 10 region
    form.Label14->setText(QStringLiteral("10"));
    emit form.Brightness1->aboutToShow();
    EXPECT_FALSE(form.Button4->isEnabled());
    form.BrightnessSetup1->trigger();
    form.ScrollBar1->setValue(0);  // c = input − 127
    form.Button4->click();
    EXPECT_EQ(form.AfterImage()[193][150], 66);
    EXPECT_EQ(form.AfterImage()[250][199], 123);
    EXPECT_EQ(form.AfterImage()[5][5], 0);
    EXPECT_EQ(form.BeforeImage[193][150], 193);
    EXPECT_EQ(form.Image1->Pixel(193, 150), qRgb(66, 66, 66));
}
