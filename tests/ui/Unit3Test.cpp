// tests/ui/Unit3Test.cpp: "Tool Button" and the tool window's gray-value table.
#include "ExchangeFiles.h"
#include "FakeDialogs.h"
#include "TestImages.h"
#include "Unit1.h"
#include "Unit3.h"

#include <QFile>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Main window and tool window. The exchange folder is redirected to the test
// folder under a fresh home folder of this test's own: ctest runs tests as
// parallel processes, and they must not write one another's tool picture.
class ToolWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        hadHome_ = qEnvironmentVariableIsSet("HOME");
        savedHome_ = qgetenv("HOME");
        qputenv("HOME", home_.path().toUtf8());
        QStandardPaths::setTestModeEnabled(true);
        ASSERT_TRUE(ToolPictureFilePath().startsWith(home_.path()))
            << ToolPictureFilePath().toStdString();
        form.Form3 = &tool;
    }
    void TearDown() override
    {
        QFile::remove(ToolPictureFilePath());
        QStandardPaths::setTestModeEnabled(false);
        if (hadHome_)
            qputenv("HOME", savedHome_);
        else
            qunsetenv("HOME");
    }
    // A picture with no symmetry: pixel (x, y) = (x + 2y, 3x + y, x * y) mod 256,
    // so gray values and a swapped x and y both show.
    static QImage Picture(int width, int height)
    {
        QImage picture(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                picture.setPixel(x, y, qRgb((x + 2 * y) % 256, (3 * x + y) % 256, (x * y) % 256));
        return picture;
    }
    void Load(int width, int height)
    {
        const QString path = dir.filePath(QStringLiteral("picture.png"));
        ASSERT_TRUE(Picture(width, height).save(path));
        form.LoadPicture(path);
    }
    void SetRegion(int X1, int Y1, int X2, int Y2)
    {
        form.Label11->setText(QString::number(X1));
        form.Label12->setText(QString::number(Y1));
        form.Label13->setText(QString::number(X2));
        form.Label14->setText(QString::number(Y2));
    }
    QStringList GridRow(int row, int columns) const
    {
        QStringList cells;
        for (int column = 0; column < columns; ++column)
            cells << tool.StringGrid1->Cell(column, row);
        return cells;
    }

    QTemporaryDir home_;  // removed with everything written into it
    QByteArray savedHome_;
    bool hadHome_ = false;
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    TForm3 tool;
};

}  // namespace

TEST_F(ToolWindow, IsLaidOutWithItsToolbarPictureAndGrid)
{
    EXPECT_EQ(tool.windowTitle(), QStringLiteral("Form3"));
    // Its own size where the screen holds it (the offscreen one is smaller):
    // the controls keep their places in the client area, which then scrolls.
    const QSize free = tool.screen()->availableGeometry().size() - QSize(0, 32);
    EXPECT_EQ(tool.size(), QSize(1083, 676).boundedTo(free));
    EXPECT_EQ(tool.Client->size(), QSize(1083, 676));
    EXPECT_EQ(tool.CoolBar1->geometry(), QRect(0, 0, 1083, 29));
    EXPECT_EQ(tool.ImageList1.size(), 3);
    for (QToolButton* button : {tool.ToolButton1, tool.ToolButton2, tool.ToolButton3})
        EXPECT_FALSE(button->icon().isNull());
    EXPECT_EQ(tool.Shape1->geometry(), QRect(16, 80, 529, 529));
    EXPECT_EQ(tool.Image1->geometry(), QRect(24, 88, 512, 512));
    EXPECT_EQ(tool.Panel1->geometry(), QRect(568, 80, 489, 529));
    EXPECT_EQ(tool.StringGrid1->parentWidget(), tool.Panel1);
    EXPECT_EQ(tool.StringGrid1->geometry(), QRect(8, 16, 473, 505));
    EXPECT_TRUE(tool.isHidden());
}

TEST_F(ToolWindow, A100By100RegionGivesA101By101GridOfItsGrayValues)
{
    Load(300, 200);
    SetRegion(0, 0, 100, 100);
    form.Button14->click();
    ASSERT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join(u'\n').toStdString();

    // The file: a 100 x 100 bitmap, red = green = blue = Before[x][y].
    const QString path = ToolPictureFilePath();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.read(2), QByteArray("BM"));
    const QImage written(path);
    ASSERT_EQ(written.size(), QSize(100, 100));
    const int b = form.BeforeImage[99][40];
    EXPECT_EQ(written.pixel(99, 40), qRgb(b, b, b));
    EXPECT_TRUE(tool.isVisible());
    EXPECT_EQ(tool.Image1->PictureWidth(), 100);

    EXPECT_EQ(tool.StringGrid1->ColCount(), 0);  // not filled until ToolButton1
    tool.ToolButton1->click();
    ASSERT_EQ(tool.StringGrid1->ColCount(), 101);
    ASSERT_EQ(tool.StringGrid1->RowCount(), 101);
    EXPECT_EQ(tool.StringGrid1->Cell(0, 0), QString());
    EXPECT_EQ(GridRow(0, 4), (QStringList{"", "0", "1", "2"}));
    EXPECT_EQ(tool.StringGrid1->Cell(100, 0), QStringLiteral("99"));
    EXPECT_EQ(tool.StringGrid1->Cell(0, 1), QStringLiteral("0"));
    EXPECT_EQ(tool.StringGrid1->Cell(0, 100), QStringLiteral("99"));
    // Pixel (7, 2) = (11, 23, 14): 48 / 3 = 16; pixel (2, 7) = (16, 13, 14): 43 / 3 = 14.
    // Cell (x + 1, y + 1): a swapped x and y would show 14 and 16.
    EXPECT_EQ(tool.StringGrid1->Cell(8, 3), QStringLiteral("16"));
    EXPECT_EQ(tool.StringGrid1->Cell(3, 8), QStringLiteral("14"));
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 100; ++y) {
            ASSERT_EQ(tool.StringGrid1->Cell(x + 1, y + 1), QString::number(form.BeforeImage[x][y]))
                << x << "," << y;
            ASSERT_EQ(tool.GrayTable[x][y], form.BeforeImage[x][y]) << x << "," << y;
        }
}

TEST_F(ToolWindow, LeavesOutTheLastColumnAndRowOfTheRegion)
{
    Load(300, 200);
    SetRegion(250, 150, 20, 30);  // typed backwards: ordered to 20..250 by 30..150
    form.Button14->click();
    tool.ToolButton1->click();
    EXPECT_EQ(tool.Image1->PictureWidth(), 230);
    EXPECT_EQ(tool.Image1->PictureHeight(), 120);
    EXPECT_EQ(tool.StringGrid1->ColCount(), 231);
    EXPECT_EQ(tool.StringGrid1->RowCount(), 121);
    EXPECT_EQ(tool.StringGrid1->Cell(1, 1), QString::number(form.BeforeImage[20][30]));
    EXPECT_EQ(tool.StringGrid1->Cell(230, 120), QString::number(form.BeforeImage[249][149]));
}

TEST_F(ToolWindow, APictureOver512IsTabulatedOverItsFirst512ColumnsAndRows)
{
    Load(700, 600);
    SetRegion(0, 0, 700, 600);  // clamped to 699 x 599: a 699 x 599 tool picture
    form.Button14->click();
    ASSERT_EQ(tool.Image1->PictureWidth(), 699);
    tool.ToolButton1->click();
    EXPECT_EQ(tool.StringGrid1->ColCount(), 513);
    EXPECT_EQ(tool.StringGrid1->RowCount(), 513);
    EXPECT_EQ(tool.StringGrid1->Cell(512, 0), QStringLiteral("511"));
    EXPECT_EQ(tool.StringGrid1->Cell(0, 512), QStringLiteral("511"));
    EXPECT_EQ(tool.StringGrid1->Cell(512, 512), QString::number(form.BeforeImage[511][511]));
    EXPECT_EQ(tool.StringGrid1->Cell(300, 511), QString::number(form.BeforeImage[299][510]));
    EXPECT_EQ(tool.GrayTable[511][511], form.BeforeImage[511][511]);

    // A 512 x 40 picture: all 512 columns, 40 rows.
    SetRegion(0, 0, 512, 40);
    form.Button14->click();
    tool.ToolButton1->click();
    EXPECT_EQ(tool.StringGrid1->ColCount(), 513);
    EXPECT_EQ(tool.StringGrid1->RowCount(), 41);
}

TEST_F(ToolWindow, TheGridChangesOnlyOnToolButton1)
{
    Load(300, 200);
    SetRegion(10, 20, 60, 50);
    form.Button14->click();
    tool.ToolButton1->click();
    const QStringList first = GridRow(5, 51);
    tool.ToolButton1->click();  // twice gives the same grid
    EXPECT_EQ(GridRow(5, 51), first);
    EXPECT_EQ(tool.StringGrid1->ColCount(), 51);

    SetRegion(100, 100, 140, 120);
    form.Button14->click();  // a new picture, the old grid
    EXPECT_EQ(tool.Image1->PictureWidth(), 40);
    EXPECT_EQ(tool.StringGrid1->ColCount(), 51);
    EXPECT_EQ(tool.StringGrid1->RowCount(), 31);
    EXPECT_EQ(GridRow(5, 51), first);

    tool.ToolButton1->click();
    EXPECT_EQ(tool.StringGrid1->ColCount(), 41);
    EXPECT_EQ(tool.StringGrid1->RowCount(), 21);
    EXPECT_EQ(tool.StringGrid1->Cell(1, 1), QString::number(form.BeforeImage[100][100]));
}

TEST_F(ToolWindow, GrayValuesOfAColourPictureRoundDown)
{
    QImage picture(3, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(255, 255, 254));  // 764 / 3 = 254
    picture.setPixel(1, 0, qRgb(1, 1, 0));        // 2 / 3 = 0
    picture.setPixel(2, 0, qRgb(100, 101, 101));  // 302 / 3 = 100
    tool.Image1->SetPicture(picture.convertToFormat(QImage::Format_RGB888));
    tool.ToolButton1->click();
    EXPECT_EQ(GridRow(1, 4), (QStringList{"0", "254", "0", "100"}));
    EXPECT_EQ(tool.GrayTable[0][0], 254);
}

TEST_F(ToolWindow, ARegionThatCoversNoPixelWritesNoFileAndSaysWhy)
{
    Load(256, 256);
    SetRegion(10, 10, 50, 50);
    form.Button14->click();
    tool.ToolButton1->click();
    tool.hide();
    const QString path = ToolPictureFilePath();
    QFile before(path);
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();
    before.close();

    // The frame dropped at (400, 400): X1 = 400 > X2 = 255 after clamping.
    SetRegion(400, 400, 513, 513);
    form.Button14->click();
    ASSERT_EQ(dialogs.Messages.size(), 1);
    EXPECT_TRUE(dialogs.Messages[0].contains(QStringLiteral("covers no pixel")));
    EXPECT_TRUE(dialogs.Messages[0].contains(QStringLiteral("X1 400, Y1 400, X2 513, Y2 513")));
    EXPECT_TRUE(dialogs.Errors.isEmpty());
    QFile after(path);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), bytes);  // the old file stays
    EXPECT_TRUE(tool.isHidden());
    EXPECT_EQ(tool.Image1->PictureWidth(), 40);

    SetRegion(30, 10, 30, 90);  // no width
    form.Button14->click();
    EXPECT_EQ(dialogs.Messages.size(), 2);
    EXPECT_EQ(tool.StringGrid1->ColCount(), 41);
}
