// tests/ui/Unit1FilterTest.cpp: the "Fiter" menu and Panel1 driven through their controls.
#include "FakeDialogs.h"
#include "Filter.h"
#include "TestImages.h"
#include "Unit1.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

namespace {

// A window with a 120 x 90 textured gray picture loaded.
struct FilterForm {
    FilterForm()
    {
        QImage picture(kWidth, kHeight, QImage::Format_RGB32);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const int v = (x * 37 + y * 91 + x * y) % 256;
                picture.setPixel(x, y, qRgb(v, v, v));
            }
        const QString path = dir.filePath(QStringLiteral("texture.png"));
        picture.save(path);
        form.LoadPicture(path);
        emit form.Fiter1->aboutToShow();
    }
    void SetRegion(int X1, int Y1, int X2, int Y2)
    {
        form.Label11->setText(QString::number(X1));
        form.Label12->setText(QString::number(Y1));
        form.Label13->setText(QString::number(X2));
        form.Label14->setText(QString::number(Y2));
    }
    // The Before image filtered over the region as the command reads it.
    GrayImage Expected(void (*filter)(const GrayImage&, GrayImage&, int, int, int, int, int, int,
                                      int),
                       int mask) const
    {
        GrayImage expected = Copy(form.BeforeImage, kWidth, kHeight);
        const Region r = form.ReadRegionOfInterest();
        filter(form.BeforeImage, expected, mask, r.X1, r.Y1, r.X2, r.Y2, kWidth, kHeight);
        return expected;
    }
    static constexpr int kWidth = 120, kHeight = 90;
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
};

}  // namespace

TEST(FilterPanel, StartsWithTheSmallestMaskAndTheButtonDisabled)
{
    FakeDialogs dialogs;
    TForm1 form;
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Filter"));
    EXPECT_EQ(form.RadioGroup1->title(), QStringLiteral("Mask Size"));
    EXPECT_EQ(form.RadioButton1->text(), QStringLiteral("3 x 3"));
    EXPECT_EQ(form.RadioButton3->text(), QStringLiteral("7 x 7"));
    EXPECT_TRUE(form.RadioButton1->isChecked());
    EXPECT_FALSE(form.Button1->isEnabled());
    form.Button1Click();  // no picture yet: nothing to filter, nothing breaks
    EXPECT_FALSE(form.AfterImage());
}

TEST(FilterPanel, GradientsDisableTheMaskSizesAndTheSizeComesBackWithThem)
{
    FilterForm f;
    f.form.RadioButton2->click();  // 5 x 5
    f.form.Sobel1->trigger();
    EXPECT_FALSE(f.form.RadioButton1->isEnabled());
    EXPECT_FALSE(f.form.RadioButton2->isEnabled());
    EXPECT_FALSE(f.form.RadioButton3->isEnabled());
    f.form.Median1->trigger();
    EXPECT_TRUE(f.form.RadioButton1->isEnabled());
    EXPECT_TRUE(f.form.RadioButton2->isChecked());
    EXPECT_EQ(f.form.Button1->text(), QStringLiteral("Median"));
    f.SetRegion(0, 0, 119, 89);
    f.form.Button1->click();
    EXPECT_EQ(
        FirstDifference(f.form.AfterImage(), f.Expected(MedianFilter, 5), f.kWidth, f.kHeight), "");
}

TEST(FilterPanel, FilterRunsOnTheRegionFromBeforeAndPaintsTheAfterView)
{
    FilterForm f;
    f.SetRegion(70, 60, 10, 5);  // dragged up-left: the command orders the corners
    f.form.RadioButton3->click();
    f.form.Laplacian1->trigger();
    f.form.Button1->click();
    const GrayImage expected = f.Expected(LaplacianFilter, 7);
    EXPECT_EQ(FirstDifference(f.form.AfterImage(), expected, f.kWidth, f.kHeight), "");
    EXPECT_EQ(f.form.AfterImage()[70][30],
              f.form.BeforeImage[70][30]);  // column X2 is not filtered
    EXPECT_NE(f.form.AfterImage()[40][30], f.form.BeforeImage[40][30]);
    const int v = f.form.AfterImage()[40][30];
    EXPECT_EQ(f.form.Image1->Pixel(40, 30), qRgb(v, v, v));
    // Running again starts from the Before image, not from the last result.
    f.form.Button1->click();
    EXPECT_EQ(FirstDifference(f.form.AfterImage(), expected, f.kWidth, f.kHeight), "");
}
