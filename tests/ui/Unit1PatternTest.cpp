// tests/ui/Unit1PatternTest.cpp: Panel5, the template file, Temp Picture and Find Pattern.
#include "Application.h"
#include "ExchangeFiles.h"
#include "FakeDialogs.h"
#include "Match_pattern.h"
#include "PictureFiles.h"
#include "Unit1.h"
#include "Unit2.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace {

// A window over the sample picture with copies of a 48 x 48 mark: upright ones
// centred at (70, 70), (250, 80) and (270, 270), one turned by 30 degrees at
// (90, 260), others by 15, 45 and 90 degrees. The template file lives in the
// test folder and is removed before and after each test.
struct PatternForm {
    PatternForm()
    {
        QStandardPaths::setTestModeEnabled(true);
        // ctest runs tests side by side in separate processes: each process keeps
        // its template file in a folder of its own.
        QCoreApplication::setApplicationName(
            QStringLiteral("GrayBench-pattern-%1").arg(QCoreApplication::applicationPid()));
        SetMatchTrace(nullptr);
        QFile::remove(TemplateFilePath());
        form.Form2 = &form2;
        form.LoadPicture(QFileInfo(form.SamplePicturePath()).dir().filePath(QStringLiteral("pattern.png")));
        emit form.MatchPattern1->aboutToShow();
        form.MatchPatternSetup1->trigger();
    }
    ~PatternForm()
    {
        QDir(ExchangeFolder()).removeRecursively();
        QCoreApplication::setApplicationName(name);
    }

    void SetRegion(int X1, int Y1, int X2, int Y2)
    {
        form.Label11->setText(QString::number(X1));
        form.Label12->setText(QString::number(Y1));
        form.Label13->setText(QString::number(X2));
        form.Label14->setText(QString::number(Y2));
    }
    QStringList Row(int j) const
    {
        QStringList cells;
        for (int c = 0; c < 7; ++c)
            cells << form.StringGrid2->Cell(c, j);
        return cells;
    }
    // The first grid row whose corner lies within one pixel of (x, y), or -1.
    int RowNear(int x, int y) const
    {
        for (int j = 1; j + 1 < form.StringGrid2->RowCount(); ++j)
            if (std::abs(Row(j)[1].toInt() - x) <= 1 && std::abs(Row(j)[2].toInt() - y) <= 1)
                return j;
        return -1;
    }
    bool AfterEqualsBefore()
    {
        for (int x = 0; x < form.ImageWidth(); ++x)
            for (int y = 0; y < form.ImageHeight(); ++y)
                if (form.AfterImage()[x][y] != form.BeforeImage[x][y])
                    return false;
        return true;
    }

    const QString name = QCoreApplication::applicationName();  // set before the constructor runs
    FakeDialogs dialogs;
    TForm1 form;
    TForm2 form2;
};

}  // namespace

TEST(Panel5, HoldsTheAngleBarTheButtonsAndTheResultGrid)
{
    FakeDialogs dialogs;
    TForm1 form;
    EXPECT_EQ(form.GroupBox4->title(), QStringLiteral("Match Pattern"));
    EXPECT_EQ(form.GroupBox5->title(), QStringLiteral("Find Result"));
    EXPECT_EQ(form.Label34->text(), QStringLiteral("Angle"));
    EXPECT_EQ(form.Button7->text(), QStringLiteral("Show Temp Picture"));
    EXPECT_EQ(form.Button9->text(), QStringLiteral("Create Template"));
    EXPECT_EQ(form.Button10->text(), QStringLiteral("Find Pattern"));
    EXPECT_EQ(form.ScrollBar6->minimum(), 0);
    EXPECT_EQ(form.ScrollBar6->maximum(), 360);
    EXPECT_EQ(form.Label33->text(), QStringLiteral("0"));
    EXPECT_EQ(form.StringGrid2->ColCount(), 7);
    EXPECT_EQ(form.FindComponent<QScrollBar>(QStringLiteral("ScrollBar6")), form.ScrollBar6);

    form.ScrollBar6->setValue(360);
    EXPECT_EQ(form.Label33->text(), QStringLiteral("360"));
    form.ScrollBar6->setValue(500);  // clamped to the range
    EXPECT_EQ(form.Label33->text(), QStringLiteral("360"));

    emit form.MatchPattern1->aboutToShow();
    EXPECT_FALSE(form.Panel5->isHidden());
    EXPECT_FALSE(form.Button10->isEnabled());
    form.MatchPatternSetup1->trigger();
    EXPECT_TRUE(form.Button7->isEnabled() && form.Button9->isEnabled() && form.Button10->isEnabled());
}

TEST(CreateTemplate, WritesTheRegionWithoutItsLastColumnAndRow)
{
    PatternForm t;
    t.SetRegion(120, 30, 100, 10);  // dragged up and left: the same region
    t.form.Button9->click();
    const QImage file = ReadPictureFile(TemplateFilePath());
    ASSERT_EQ(file.size(), QSize(20, 20));
    const GrayImage gray = GrayFromPicture(file);
    for (int x = 0; x < 20; ++x)
        for (int y = 0; y < 20; ++y)
            ASSERT_EQ(gray[x][y], t.form.BeforeImage[100 + x][10 + y]) << x << "," << y;
    EXPECT_TRUE(t.dialogs.Messages.isEmpty());
}

TEST(CreateTemplate, TheRegionAtStartCutsAHundredSquareFromA512Picture)
{
    PatternForm t;
    // A 512 x 512 picture whose every pixel differs from its neighbours, loaded
    // with the region left as it starts: 0, 0, 100, 100.
    QTemporaryDir dir;
    QImage picture(512, 512, QImage::Format_RGB32);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 512; ++x) {
            const int v = (x * 7 + y * 13) % 256;
            picture.setPixel(x, y, qRgb(v, v, v));
        }
    const QString path = dir.filePath(QStringLiteral("ramp512.png"));
    ASSERT_TRUE(picture.save(path));
    t.form.LoadPicture(path);
    ASSERT_EQ(t.form.Label13->text(), QStringLiteral("100"));
    t.form.Button9->click();
    const QImage file = ReadPictureFile(TemplateFilePath());
    ASSERT_EQ(file.size(), QSize(100, 100));
    const GrayImage gray = GrayFromPicture(file);
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 100; ++y)
            ASSERT_EQ(gray[x][y], t.form.BeforeImage[x][y]) << x << "," << y;
    EXPECT_TRUE(t.dialogs.Messages.isEmpty());
}

TEST(CreateTemplate, ARegionWithoutPixelsWritesNothingAndSaysWhy)
{
    PatternForm t;
    t.SetRegion(40, 40, 40, 90);  // no column
    t.form.Button9->click();
    EXPECT_FALSE(QFileInfo::exists(TemplateFilePath()));
    ASSERT_EQ(t.dialogs.Messages.size(), 1);
    EXPECT_TRUE(t.dialogs.Messages[0].contains(QStringLiteral("covers no pixel")));

    t.SetRegion(600, 10, 700, 50);  // starts past the right edge
    t.form.Button9->click();
    EXPECT_FALSE(QFileInfo::exists(TemplateFilePath()));
    EXPECT_EQ(t.dialogs.Messages.size(), 2);
    EXPECT_TRUE(t.dialogs.Errors.isEmpty());
}

TEST(ShowTempPicture, ShowsTheFileOnlyWhenThereIsOne)
{
    PatternForm t;
    t.form.Button7->click();
    EXPECT_FALSE(t.form2.isVisible());
    t.SetRegion(10, 10, 60, 40);
    t.form.Button9->click();
    t.form.Button7->click();
    EXPECT_TRUE(t.form2.isVisible());
    EXPECT_EQ(t.form2.windowTitle(), QStringLiteral("Temp Picture"));
    EXPECT_EQ(t.form2.Image1->Picture().size(), QSize(50, 30));
    EXPECT_EQ(qRed(t.form2.Image1->Pixel(3, 4)), t.form.BeforeImage[13][14]);
    t.SetRegion(10, 10, 30, 30);  // a second template replaces the first
    t.form.Button9->click();
    t.form.Button7->click();
    EXPECT_EQ(t.form2.Image1->Picture().size(), QSize(20, 20));
}

TEST(FindPattern, FindsTheTemplateAtItsOwnCornerWithScoreOne)
{
    PatternForm t;
    t.SetRegion(46, 46, 94, 94);  // the upright mark centred at (70, 70)
    t.form.Button9->click();
    t.form.Button10->click();
    const int rows = t.form.StringGrid2->RowCount();
    ASSERT_GE(rows, 3);
    EXPECT_EQ(t.Row(0), (QStringList{"", "X1", "Y1", "X2", "Y2", "Angle", "SCORE"}));
    EXPECT_EQ(t.Row(rows - 1), (QStringList{"", "", "", "", "", "", ""}));
    EXPECT_EQ(rows - 2, static_cast<int>(CandidateTable().size()));
    const int j = t.RowNear(46, 46);
    ASSERT_GT(j, 0);
    EXPECT_EQ(t.Row(j), (QStringList{QString::number(j), "46", "46", "94", "94", "0", "1"}));
    // Outlined in gray 128 in the After image and its view; the Before image is untouched.
    EXPECT_EQ(t.form.AfterImage()[46][46], 128);
    EXPECT_EQ(qRed(t.form.Image1->Pixel(46, 60)), 128);
    EXPECT_NE(t.form.BeforeImage[46][46], 128);
    // The other upright copies are found too, with high scores.
    for (const QPoint corner : {QPoint(226, 56), QPoint(246, 246)}) {
        const int k = t.RowNear(corner.x(), corner.y());
        ASSERT_GT(k, 0) << corner.x();
        EXPECT_GT(t.Row(k)[6].toDouble(), 0.9);
    }
}

TEST(FindPattern, FindsTheCopyTurnedBy30Degrees)
{
    PatternForm t;
    // The mark with a margin of 2 pixels: 52 x 52. The ring test passes placements
    // whose ring shares are within 0.02 of the template's, and the antialiased edge
    // of a turned copy moves them by about that much: the margin keeps the ring
    // samples off that edge.
    t.SetRegion(44, 44, 96, 96);
    t.form.Button9->click();
    t.form.ScrollBar6->setValue(40);
    t.form.Button10->click();
    const int own = t.RowNear(44, 44);
    ASSERT_GT(own, 0);
    EXPECT_EQ(t.Row(own).mid(1), (QStringList{"44", "44", "96", "96", "0", "1"}));
    // The copy centred at (90, 260) has its corner near (64, 234).
    int j = -1;
    for (int k = 1; k + 1 < t.form.StringGrid2->RowCount(); ++k)
        if (std::abs(t.Row(k)[1].toInt() - 64) <= 2 && std::abs(t.Row(k)[2].toInt() - 234) <= 2)
            j = k;
    ASSERT_GT(j, 0);
    EXPECT_NEAR(t.Row(j)[5].toDouble(), 30.0, 1.0);
    EXPECT_GT(t.Row(j)[6].toDouble(), 0.9);
    EXPECT_EQ(t.Row(j)[3].toInt(), t.Row(j)[1].toInt() + 52);
    // Its centre is marked with a circle of radius 3.
    const int cx = t.Row(j)[1].toInt() + 26, cy = t.Row(j)[2].toInt() + 26;
    EXPECT_EQ(t.form.AfterImage()[cx][cy + 3], 128);
    EXPECT_EQ(t.form.AfterImage()[cx - 3][cy], 128);
}

TEST(FindPattern, AShorterListLeavesNoRowOfTheLongerOneBehind)
{
    PatternForm t;
    t.SetRegion(46, 46, 94, 94);  // 48 x 48: many blocks
    t.form.Button9->click();
    t.form.Button10->click();
    const int longer = t.form.StringGrid2->RowCount();
    t.SetRegion(20, 20, 220, 220);  // 200 x 200: few blocks
    t.form.Button9->click();
    t.form.Button10->click();
    const int rows = t.form.StringGrid2->RowCount();
    ASSERT_LT(rows, longer);
    EXPECT_EQ(rows - 2, static_cast<int>(CandidateTable().size()));
    EXPECT_EQ(t.Row(rows - 1), (QStringList{"", "", "", "", "", "", ""}));
    EXPECT_EQ(t.Row(rows - 2)[0], QString::number(rows - 2));
    EXPECT_EQ(t.Row(rows - 2)[3], QString::number(t.Row(rows - 2)[1].toInt() + 200));
}

TEST(FindPattern, WithoutATemplateFileLeavesTheGridAndAfter)
{
    PatternForm t;
    t.form.StringGrid2->SetCell(1, 1, QStringLiteral("old"));
    t.form.AfterImage()[5][5] = static_cast<std::uint8_t>(t.form.BeforeImage[5][5] ^ 0xFF);
    t.form.Button10->click();
    EXPECT_EQ(t.form.StringGrid2->Cell(1, 1), QStringLiteral("old"));
    EXPECT_FALSE(t.AfterEqualsBefore());  // nothing to search for: nothing changes
    EXPECT_TRUE(t.dialogs.Messages.isEmpty());
}

TEST(FindPattern, ADamagedTemplateFileFailsBeforeAfterChanges)
{
    // The template is read before anything is written: the After image keeps
    // what the view shows, so "Copy After to Before" copies what is on screen.
    PatternForm t;
    t.form.AfterImage()[5][5] = static_cast<std::uint8_t>(t.form.BeforeImage[5][5] ^ 0xFF);
    QFile file(TemplateFilePath());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).absolutePath()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("BM and nothing a bitmap needs");
    file.close();
    RunGuarded([&] { t.form.Button10Click(); });
    ASSERT_EQ(t.dialogs.Errors.size(), 1);
    EXPECT_FALSE(t.AfterEqualsBefore());
}

TEST(FindPattern, RefusesTemplatesTooSmallForTheSearchAndChangesNothing)
{
    PatternForm t;
    t.form.StringGrid2->SetCell(1, 1, QStringLiteral("old"));
    t.form.AfterImage()[5][5] = static_cast<std::uint8_t>(t.form.BeforeImage[5][5] ^ 0xFF);
    t.SetRegion(60, 60, 64, 70);  // 4 x 10
    t.form.Button9->click();
    t.form.Button10->click();
    ASSERT_EQ(t.dialogs.Messages.size(), 1);
    EXPECT_TRUE(t.dialogs.Messages[0].contains(QStringLiteral("at least 5 x 5")));

    t.SetRegion(60, 60, 67, 67);  // 7 x 7: enough at Angle 0, too small turned
    t.form.Button9->click();
    t.form.ScrollBar6->setValue(10);
    t.form.Button10->click();
    ASSERT_EQ(t.dialogs.Messages.size(), 2);
    EXPECT_TRUE(t.dialogs.Messages[1].contains(QStringLiteral("at least 8 x 8")));
    EXPECT_EQ(t.form.StringGrid2->Cell(1, 1), QStringLiteral("old"));
    EXPECT_NE(t.form.AfterImage()[5][5], t.form.BeforeImage[5][5]);

    t.form.ScrollBar6->setValue(0);
    t.form.Button10->click();
    EXPECT_EQ(t.dialogs.Messages.size(), 2);
    EXPECT_NE(t.form.StringGrid2->Cell(1, 1), QStringLiteral("old"));
}

TEST(FindPattern, ALongSearchShowsProgressAndCanBeCancelled)
{
    PatternForm t;
    t.form.SearchProgressDelayMs = 0;  // as if the search had already run half a second
    t.SetRegion(46, 46, 94, 94);
    t.form.Button9->click();
    t.form.Button10->click();  // runs to the end with the window shown
    ASSERT_EQ(t.dialogs.ProgressTexts.size(), 1);
    EXPECT_GT(t.dialogs.ProgressUpdates, 0);
    const QStringList finished = t.Row(1);
    const int rows = t.form.StringGrid2->RowCount();

    t.dialogs.ProgressUpdates = 0;
    t.dialogs.CancelAtUpdate = 1;
    t.form.ScrollBar6->setValue(20);
    t.form.Button10->click();
    EXPECT_EQ(t.dialogs.ProgressTexts.size(), 2);
    EXPECT_EQ(t.form.StringGrid2->RowCount(), rows);  // the grid keeps the finished search
    EXPECT_EQ(t.Row(1), finished);
    EXPECT_TRUE(t.AfterEqualsBefore());  // no outline stays
    EXPECT_EQ(qRed(t.form.Image1->Pixel(46, 60)), t.form.BeforeImage[46][60]);
}
