// tests/ui/Unit1DetectTest.cpp: "Detect Start", its result label and grid.
#include "FakeDialogs.h"
#include "Unit1.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Box {
    int x1, y1, x2, y2;  // inclusive
};

// A 60 x 40 picture of gray 200 with dark (30) boxes, loaded, Panel4 opened
// for detection and "Detect Start" enabled; dark mode, threshold 100.
struct DetectForm {
    explicit DetectForm(const std::vector<Box>& boxes)
    {
        QImage picture(60, 40, QImage::Format_RGB32);
        picture.fill(qRgb(200, 200, 200));
        for (const Box& b : boxes)
            for (int x = b.x1; x <= b.x2; ++x)
                for (int y = b.y1; y <= b.y2; ++y)
                    picture.setPixel(x, y, qRgb(30, 30, 30));
        const QString path = dir.filePath(QStringLiteral("boxes.png"));
        picture.save(path);
        form.LoadPicture(path);
        emit form.DetectObject1->aboutToShow();
        form.DetectObjectSetup1->trigger();
        form.ScrollBar4->setValue(100);
    }
    void Region(int x1, int y1, int x2, int y2)
    {
        form.Image2MouseDown(x1, y1);
        form.Image2MouseUp(x2, y2);
    }
    QStringList Row(int row) const
    {
        QStringList cells;
        for (int c = 0; c < 6; ++c)
            cells << form.StringGrid1->Cell(c, row);
        return cells;
    }
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
};

// Five objects in the order of their first pixel, column by column:
// A starts in column 5; B and C both in column 10, B higher; then D and E.
const std::vector<Box> kFive = {{10, 30, 14, 31},  // C: 5 x 2
                                {40, 15, 49, 17},  // E: 10 x 3
                                {5, 20, 8, 22},    // A: 4 x 3
                                {25, 10, 25, 10},  // D: one pixel
                                {10, 3, 11, 7}};   // B: 2 x 5

}  // namespace

TEST(DetectStart, TheGridAfterFiveObjectsThenThree)
{
    DetectForm f(kFive);
    EXPECT_EQ(f.form.StringGrid1->ColCount(), 7);
    EXPECT_EQ(f.form.StringGrid1->RowCount(), 3);
    f.form.Button8->click();  // the default region 0..100 is cut to the picture
    EXPECT_EQ(f.form.Label32->text(), QStringLiteral("5"));
    EXPECT_EQ(f.form.StringGrid1->RowCount(), 6);
    EXPECT_EQ(f.Row(0), (QStringList{"", "X1", "Y1", "X2", "Y2", "SIZE"}));
    EXPECT_EQ(f.Row(1), (QStringList{"1", "5", "20", "8", "22", "12"}));
    EXPECT_EQ(f.Row(2), (QStringList{"2", "10", "3", "11", "7", "10"}));
    EXPECT_EQ(f.Row(3), (QStringList{"3", "10", "30", "14", "31", "10"}));
    EXPECT_EQ(f.Row(4), (QStringList{"4", "25", "10", "25", "10", "1"}));
    EXPECT_EQ(f.Row(5), (QStringList{"5", "40", "15", "49", "17", "30"}));
    EXPECT_EQ(f.form.StringGrid1->Cell(6, 1), QString());  // column 6 is never written

    f.Region(9, 1, 30, 38);  // A and E now lie outside the region
    f.form.Button8->click();
    EXPECT_EQ(f.form.Label32->text(), QStringLiteral("3"));
    EXPECT_EQ(f.form.StringGrid1->RowCount(), 4);
    EXPECT_EQ(f.Row(1), (QStringList{"1", "10", "3", "11", "7", "10"}));
    EXPECT_EQ(f.Row(3), (QStringList{"3", "25", "10", "25", "10", "1"}));
    EXPECT_EQ(f.Row(0), (QStringList{"", "X1", "Y1", "X2", "Y2", "SIZE"}));
}

TEST(DetectStart, AnObjectTouchingTheFrameIsNeitherBoxedNorListed)
{
    DetectForm f(kFive);
    f.Region(9, 1, 45, 38);  // the frame's right side cuts through E
    f.form.Button8->click();
    EXPECT_EQ(f.form.Label32->text(), QStringLiteral("3"));
    const GrayImage& after = f.form.AfterImage();
    EXPECT_EQ(after[40][15], 30);   // E: no box
    EXPECT_EQ(after[45][16], 100);  // the frame runs over it
    EXPECT_EQ(after[10][3], 128);   // B: boxed
    EXPECT_EQ(f.form.Image1->Pixel(10, 3), qRgb(128, 128, 128));

    // E alone, touching: nothing is found and the last result stays on show.
    f.Region(38, 13, 45, 20);
    f.form.Button8->click();
    EXPECT_EQ(f.form.Label32->text(), QStringLiteral("3"));
    EXPECT_EQ(f.form.StringGrid1->RowCount(), 4);
    EXPECT_EQ(f.form.AfterImage()[10][3], 30);  // a fresh copy: only this frame is drawn
    EXPECT_EQ(f.form.AfterImage()[38][13], 100);
}

TEST(DetectStart, ARectangleOfTwelveByEightIsListedWithItsSize)
{
    DetectForm f({{20, 10, 31, 17}});
    f.Region(5, 4, 50, 30);
    f.form.Button8->click();
    EXPECT_EQ(f.form.Label32->text(), QStringLiteral("1"));
    EXPECT_EQ(f.Row(1), (QStringList{"1", "20", "10", "31", "17", "96"}));
    EXPECT_EQ(f.form.Image1->Pixel(30, 17), qRgb(128, 128, 128));  // the box, shown
    EXPECT_EQ(f.form.Image1->Pixel(31, 17), qRgb(30, 30, 30));     // but not its corner
    EXPECT_EQ(f.form.BeforeImage[20][10], 30);  // the Before image is not changed
}

TEST(DetectStart, AutoGivesTheThresholdInTheDarkModeButNotInTheGrayMode)
{
    DetectForm f(kFive);
    f.form.ScrollBar4->setValue(0);  // by the slider no pixel would pass
    f.form.CheckBox50->setChecked(true);
    const int automatic = f.form.Label27->text().toInt();
    ASSERT_GT(automatic, 30);  // between the objects and the background
    ASSERT_LT(automatic, 200);
    EXPECT_TRUE(f.form.Button8->isEnabled());  // "AUTO" never touches "Detect Start"
    f.form.Button8->click();
    EXPECT_EQ(f.form.Label32->text(), QStringLiteral("5"));

    // Gray mode reads both sliders: 0 and 255 pass nothing here, so the last
    // result stays, where the automatic value would have found three objects.
    f.form.ComboBox1->setCurrentIndex(2);
    f.form.ScrollBar5->setValue(255);
    f.Region(9, 1, 30, 38);
    f.form.Button8->click();
    EXPECT_EQ(f.form.Label32->text(), QStringLiteral("5"));
    EXPECT_EQ(f.form.AfterImage()[10][3], 30);
}

TEST(DetectStart, NoModeChosenFindsNothingButDrawsTheFrame)
{
    DetectForm f(kFive);
    f.form.Button8->click();
    f.form.ComboBox1->setCurrentIndex(-1);
    f.Region(2, 2, 55, 35);
    f.form.Button8->click();
    EXPECT_EQ(f.form.Label32->text(), QStringLiteral("5"));  // unchanged
    EXPECT_EQ(f.form.AfterImage()[2][2], 100);
    EXPECT_EQ(f.form.AfterImage()[5][20], 30);  // A is not boxed
}

TEST(DetectStart, TheMenuDisablesTheButtonAndTheSetupItemEnablesIt)
{
    DetectForm f(kFive);
    emit f.form.DetectObject1->aboutToShow();
    EXPECT_FALSE(f.form.Button8->isEnabled());
    EXPECT_FALSE(f.form.GroupBox3->isHidden());
    EXPECT_EQ(f.form.Image4->Pixel(200, 0), qRgb(255, 255, 255));  // the histogram's peak
    f.form.DetectObjectSetup1->trigger();
    EXPECT_TRUE(f.form.Button8->isEnabled());
}
