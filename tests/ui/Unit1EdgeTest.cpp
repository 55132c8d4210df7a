// tests/ui/Unit1EdgeTest.cpp: the "Find Edge" panel driven through its controls.
#include "FakeDialogs.h"
#include "Unit1.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A window holding a picture that is gray 50 left of column 15 and gray 150 from it on.
struct StepForm {
    StepForm()
    {
        QImage picture(40, 30, QImage::Format_RGB32);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                picture.setPixel(x, y, x < 15 ? qRgb(50, 50, 50) : qRgb(150, 150, 150));
        const QString path = dir.filePath(QStringLiteral("step.png"));
        picture.save(path);
        form.LoadPicture(path);
        emit form.FindEdge1->aboutToShow();
        form.FindEdgeSetup1->trigger();
    }
    void Drag(int x1, int y1, int x2, int y2)
    {
        form.Image2MouseDown(x1, y1);
        form.Image2MouseUp(x2, y2);
    }
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
};

}  // namespace

TEST(FindEdgePanel, StartsWithItsDefaults)
{
    FakeDialogs dialogs;
    TForm1 form;
    EXPECT_EQ(form.GroupBox6->title(), QStringLiteral("Find Edge"));
    EXPECT_EQ(form.ComboBox2->currentIndex(), 0);
    EXPECT_EQ(form.ComboBox2->itemText(1), QStringLiteral("Fist Edge Only"));
    EXPECT_EQ(form.ComboBox2->itemText(2), QStringLiteral("Fist & Last Edge Only"));
    EXPECT_EQ(form.ComboBox3->itemText(1), QStringLiteral("Dark to Bright Only"));
    EXPECT_EQ(form.ScrollBar7->maximum(), 255);
    EXPECT_EQ(form.ScrollBar7->value(), 0);
    EXPECT_EQ(form.Edit4->text(), QStringLiteral("0"));
    EXPECT_FALSE(form.Edit4->isReadOnly());  // a typed strength moves the bar
    EXPECT_EQ(form.Label35->text(), QStringLiteral("Total Edge"));
    EXPECT_EQ(form.Edit5->text(), QStringLiteral("0"));
    EXPECT_TRUE(form.Edit5->isReadOnly());
    form.ScrollBar7->setValue(60);
    EXPECT_EQ(form.Edit4->text(), QStringLiteral("60"));
}

TEST(FindEdgePanel, CountsTheEdgesOfTheDraggedLineInItsDirection)
{
    StepForm f;
    f.form.ScrollBar7->setValue(50);
    f.Drag(10, 10, 20, 10);
    f.form.Button11->click();
    EXPECT_EQ(f.form.Edit5->text(), QStringLiteral("1"));
    EXPECT_EQ(f.form.Image1->Pixel(20, 10), qRgb(128, 128, 128));  // dark to bright about (15, 10)
    EXPECT_EQ(f.form.BeforeImage[20][10], 150);                    // the Before image is untouched

    f.Drag(20, 10, 10, 10);  // the other way: bright to dark on (14, 10)
    f.form.Button11->click();
    EXPECT_EQ(f.form.Edit5->text(), QStringLiteral("1"));
    EXPECT_EQ(f.form.Image1->Pixel(9, 10), qRgb(255, 255, 255));

    f.form.ComboBox2->setCurrentIndex(1);  // "Fist Edge Only" marks but shows 0
    f.form.Button11->click();
    EXPECT_EQ(f.form.Edit5->text(), QStringLiteral("0"));
    EXPECT_EQ(f.form.Image1->Pixel(9, 10), qRgb(255, 255, 255));
}

TEST(FindEdgePanel, TheDefaultLineOnASmallPictureCountsOnlyItsInsidePoints)
{
    // The default corners (0, 0) to (100, 100) reach past a 40 x 30 picture.
    StepForm f;
    f.form.Button11->click();
    EXPECT_EQ(f.form.Edit5->text(), QStringLiteral("30"));  // threshold 0: every point inside
}
