// tests/ui/Unit1FilesTest.cpp: Load, Save, Copy After to Before, Clear Before.
#include "FakeDialogs.h"
#include "PictureFiles.h"
#include "PictureView.h"
#include "TestImages.h"
#include "TestPictures.h"
#include "Unit1.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <cstring>
#include <functional>

namespace {

QString SavePicture(const QTemporaryDir& dir, const char* name, const QImage& picture)
{
    const QString path = dir.filePath(QString::fromLatin1(name));
    EXPECT_TRUE(picture.save(path));
    return path;
}

QByteArray Head(const QString& path, int bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.read(bytes);
}

}  // namespace

TEST(GrayFromPicture, DividesTheSumOfTheChannelsByThreeRoundingDown)
{
    QImage picture(4, 1, QImage::Format_RGB32);
    picture.setPixel(0, 0, qRgb(255, 255, 254));
    picture.setPixel(1, 0, qRgb(1, 1, 0));
    picture.setPixel(2, 0, qRgb(0, 0, 255));
    picture.setPixel(3, 0, qRgb(100, 101, 101));
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_RGB888,
                                  QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB16}) {
        const QImage converted = picture.convertToFormat(format);
        const GrayImage gray = GrayFromPicture(converted);
        if (format == QImage::Format_RGB16)  // 5 and 6 bits a channel: only white survives exactly
            continue;
        EXPECT_EQ(ToRows(gray, 4, 1), (std::vector<std::vector<int>>{{254, 0, 85, 100}}))
            << "format " << format;
    }
}

TEST(GrayFromPicture, IsExactForEverySumOfTheThreeChannels)
{
    QImage picture(766, 1, QImage::Format_ARGB32);
    for (int sum = 0; sum <= 765; ++sum) {
        const int r = std::min(sum, 255), g = std::min(sum - r, 255), b = sum - r - g;
        picture.setPixel(sum, 0, qRgba(r, g, b, sum % 256));  // alpha plays no part
    }
    const GrayImage gray = GrayFromPicture(picture);
    for (int sum = 0; sum <= 765; ++sum)
        ASSERT_EQ(gray[sum][0], sum / 3) << sum;
}

TEST(GrayFromPicture, UsesThePaletteOfAnIndexedPicture)
{
    QImage picture(3, 2, QImage::Format_Indexed8);
    picture.setColorTable({qRgb(255, 255, 254), qRgb(0, 0, 255), qRgb(10, 20, 30)});
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            picture.setPixel(x, y, static_cast<uint>((x + y) % 3));
    EXPECT_EQ(ToRows(GrayFromPicture(picture), 3, 2),
              (std::vector<std::vector<int>>{{254, 85, 20}, {85, 20, 254}}));
}

TEST(GrayFromPicture, TurnsRowsIntoColumnsOnALargePicture)
{
    const QImage picture = ColourPicture(300, 131);  // not a multiple of the tile size
    const GrayImage gray = GrayFromPicture(picture);
    for (int x = 0; x < 300; x += 7)
        for (int y = 0; y < 131; y += 5)
            ASSERT_EQ(gray[x][y], (x % 256 + y % 256 + (x + y) % 256) / 3) << x << "," << y;
}

TEST(PictureFromGray, IsTheExactInverseForGray)
{
    std::mt19937 rng(5);
    const GrayImage image = RandomImage(rng, 150, 70);
    const QImage picture = PictureFromGray(image, 150, 70);
    EXPECT_TRUE(SameImage(GrayFromPicture(picture), image, 150, 70));
}

TEST(Load1Click, ConvertsTheChosenPictureIntoBothImages)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    const QString path = SavePicture(dir, "colour.png", ColourPicture());
    dialogs.OpenAnswers.push_back(path);
    form.Load1->trigger();
    EXPECT_TRUE(dialogs.Errors.isEmpty());
    ASSERT_EQ(form.ImageWidth(), 640);
    ASSERT_EQ(form.ImageHeight(), 480);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("colour.png"));
    EXPECT_TRUE(form.Button14->isEnabled());
    EXPECT_EQ(form.BeforeImage[600][470], (600 % 256 + 470 % 256 + (1070 % 256)) / 3);
    EXPECT_TRUE(SameImage(form.BeforeImage, form.AfterImage(), 640, 480));
    // The views show the picture as read, in colour, until a command paints them.
    EXPECT_EQ(form.Image1->Pixel(10, 20), qRgb(10, 20, 30));
    EXPECT_EQ(form.Image2->Pixel(10, 20), qRgb(10, 20, 30));
    EXPECT_EQ(form.Image2->Picture().format(), QImage::Format_RGB32);
    // The samples' folder, with no file chosen: Enter alone loads nothing.
    EXPECT_EQ(dialogs.OpenFolders, QStringList{QFileInfo(form.SamplePicturePath()).absolutePath()});
}

TEST(Load1Click, ACancelledDialogKeepsTheWorkspace)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    form.LoadPicture(SavePicture(dir, "first.png", ColourPicture(40, 30)));
    dialogs.OpenAnswers.push_back(QString());
    form.Load1->trigger();
    ASSERT_TRUE(form.BeforeImage);
    EXPECT_EQ(form.ImageWidth(), 40);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("first.png"));
}

TEST(Load1Click, AnUnreadableFileIsNamedAndTheWorkspaceKept)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    form.LoadPicture(SavePicture(dir, "first.png", ColourPicture(40, 30)));
    const QString broken = dir.filePath(QStringLiteral("broken.png"));
    QFile file(broken);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x89PNG\r\n\x1a\n this is no picture");
    file.close();
    dialogs.OpenAnswers.push_back(broken);
    dialogs.OpenAnswers.push_back(dir.filePath(QStringLiteral("missing.bmp")));
    form.Load1->trigger();
    form.Load1->trigger();
    ASSERT_EQ(dialogs.Errors.size(), 2);
    EXPECT_TRUE(dialogs.Errors[0].contains(QStringLiteral("broken.png")));
    EXPECT_TRUE(dialogs.Errors[1].contains(QStringLiteral("missing.bmp")));
    EXPECT_EQ(form.ImageWidth(), 40);
    EXPECT_EQ(form.BeforeImage[39][29], (39 + 29 + 68) / 3);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("first.png"));
}

TEST(Load1Click, ASecondPictureOfAnotherSizeReplacesBothImages)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    form.LoadPicture(SavePicture(dir, "a.png", ColourPicture(40, 30)));
    form.LoadPicture(SavePicture(dir, "b.bmp", ColourPicture(25, 70)));
    EXPECT_EQ(form.ImageWidth(), 25);
    EXPECT_EQ(form.ImageHeight(), 70);
    EXPECT_EQ(form.AfterImage()[24][69], (24 + 69 + 93) / 3);
}

TEST(Load1Click, PicturesOfOneSizeReuseFreedBlocksWithTheirOwnPixelsAndTheWindowGivesThemBack)
{
    // 2100 x 2000: a picture and gray images large enough for the pool. The
    // second picture is the first mirrored, so a block that kept the other's
    // pixels shows.
    QTemporaryDir dir;
    QImage first(2100, 2000, QImage::Format_RGB32);
    for (int y = 0; y < 2000; ++y) {
        auto* line = reinterpret_cast<QRgb*>(first.scanLine(y));
        for (int x = 0; x < 2100; ++x)
            line[x] = qRgb(x % 256, y % 256, (x * 3 + y) % 256);
    }
    const QImage second = first.mirrored(true, true);
    const QString paths[] = {SavePicture(dir, "first.bmp", first),
                             SavePicture(dir, "second.bmp", second)};
    const GrayImage grays[] = {GrayFromPicture(first), GrayFromPicture(second)};
    const std::size_t limit =
        std::size_t{2100} * 2000 * 4 + 3 * GrayImage::BlockBytes(2100, 2000);
    {
        TForm1 form;
        form.HistoryLimitBytes = 0;  // the history lets go of all but the latest two pictures
        for (int k = 0; k < 4; ++k) {
            form.LoadPicture(paths[k % 2]);
            ASSERT_EQ(FirstDifference(form.BeforeImage, grays[k % 2], 2100, 2000), "") << k;
            ASSERT_EQ(std::memcmp(form.AfterImage()[2099], grays[k % 2][2099], 2000), 0) << k;
            EXPECT_EQ(form.Image1->Pixel(2099, 0), (k % 2 ? second : first).pixel(2099, 0)) << k;
            EXPECT_LE(FreedLargeBlockBytes(), limit) << k;
        }
        // What the third and fourth Loads gave back (a picture, Before and
        // After) less the After made from the pool when last looked at.
        EXPECT_GE(FreedLargeBlockBytes(), limit - 2 * GrayImage::BlockBytes(2100, 2000));
    }
    EXPECT_EQ(FreedLargeBlockBytes(), 0u);
}

// A Load leaves After to be copied from Before when first used: whatever uses
// it first, after a second Load, finds the second picture's gray image, and a
// command over a region leaves it outside the region.
TEST(Load1Click, AfterFirstUsedAfterTwoLoadsIsTheLatestBefore)
{
    QTemporaryDir dir;
    const QImage first = ColourPicture(64, 48);
    const QImage second = first.mirrored(true, true);
    const QString paths[] = {SavePicture(dir, "first.png", first),
                             SavePicture(dir, "second.png", second)};
    const GrayImage gray = GrayFromPicture(second);
    const auto hover = [](TForm1& f) {
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 7), f.Image1->mapToGlobal(QPointF(5, 7)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        f.Image1->SetZoomAndScroll(1, QPoint(0, 0));
        QApplication::sendEvent(f.Image1, &move);
    };
    struct Use {
        const char* what;
        std::function<void(TForm1&)> run;
        QRect region;  // where After may differ from Before
        bool hovered = false;
    };
    const Use uses[] = {
        {"a look at After", [](TForm1&) {}, {}},
        {"the pixel under the pointer", hover, {}, true},
        {"Copy After to Before", [](TForm1& f) { f.Button6->click(); }, {}},
        {"undo to the first picture and redo",
         [](TForm1& f) {
             f.Undo1->trigger();
             f.Redo1->trigger();
         },
         {}},
        {"a Laplacian over a region",
         [](TForm1& f) {
             emit f.Fiter1->aboutToShow();
             f.Laplacian1->trigger();
             f.Label11->setText(QStringLiteral("10"));
             f.Label12->setText(QStringLiteral("8"));
             f.Label13->setText(QStringLiteral("40"));
             f.Label14->setText(QStringLiteral("30"));
             f.Button1->click();
         },
         QRect(QPoint(10, 8), QPoint(40, 30))},
    };
    for (const Use& use : uses) {
        FakeDialogs dialogs;
        TForm1 form;
        form.LoadPicture(paths[0]);
        form.LoadPicture(paths[1]);
        use.run(form);
        EXPECT_TRUE(dialogs.Errors.isEmpty()) << use.what;
        ASSERT_EQ(FirstDifference(form.BeforeImage, gray, 64, 48), "") << use.what;
        if (use.hovered) {
            EXPECT_EQ(form.PixelReadout->text(),
                      QStringLiteral("After (5, 7) = %1").arg(gray[5][7]));
        }
        int differing = 0;
        for (int x = 0; x < 64; ++x)
            for (int y = 0; y < 48; ++y) {
                const bool same = form.AfterImage()[x][y] == gray[x][y];
                differing += same ? 0 : 1;
                EXPECT_TRUE(same || use.region.contains(x, y)) << use.what << " " << x << ", " << y;
            }
        EXPECT_EQ(differing > 0, !use.region.isEmpty()) << use.what;
    }
}

TEST(Save1Click, WritesTheAfterViewInTheFormatTheExtensionNames)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    form.LoadPicture(SavePicture(dir, "in.png", ColourPicture(32, 16)));
    const QString png = dir.filePath(QStringLiteral("out.png"));
    const QString plain = dir.filePath(QStringLiteral("out"));
    dialogs.SaveAnswers = {png, plain};
    form.Save1->trigger();
    form.Save1->trigger();
    EXPECT_TRUE(dialogs.Errors.isEmpty());
    EXPECT_EQ(Head(png, 4), QByteArray("\x89PNG", 4));
    EXPECT_EQ(Head(plain, 2), QByteArray("BM"));
    // Right after Load the file holds the picture as loaded, in colour.
    EXPECT_EQ(QImage(png).pixel(5, 6), qRgb(5, 6, 11));
}

TEST(Save1Click, WritesTheGrayResultWithItsOverlaysAfterACommand)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    form.LoadPicture(SavePicture(dir, "in.png", ColourPicture(32, 16)));
    DrawLine(form.AfterImage(), 128, 0, 3, 32, 3, 32, 16);
    form.ShowAfter();
    const QString out = dir.filePath(QStringLiteral("out.bmp"));
    dialogs.SaveAnswers = {out};
    form.Save1->trigger();
    const QImage saved(out);
    EXPECT_EQ(saved.pixel(7, 3), qRgb(128, 128, 128));
    const int gray = (7 + 9 + 16) / 3;
    EXPECT_EQ(saved.pixel(7, 9), qRgb(gray, gray, gray));
}

TEST(Save1Click, AFailedWriteIsReportedAndLeavesAnExistingFileAlone)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    form.LoadPicture(SavePicture(dir, "in.png", ColourPicture(8, 8)));
    dialogs.SaveAnswers = {dir.filePath(QStringLiteral("no/such/folder/out.png"))};
    form.Save1->trigger();
    ASSERT_EQ(dialogs.Errors.size(), 1);
    EXPECT_TRUE(dialogs.Errors.front().contains(QStringLiteral("out.png")));
    // A cancelled save does nothing.
    dialogs.SaveAnswers = {QString()};
    form.Save1->trigger();
    EXPECT_EQ(dialogs.Errors.size(), 1);
}

TEST(Button6Click, CopiesAfterOverBeforeAndRepaintsTheBeforeView)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    form.LoadPicture(SavePicture(dir, "in.png", ColourPicture(20, 10)));
    form.AfterImage()[3][4] = 222;
    form.Button6->click();
    EXPECT_EQ(form.BeforeImage[3][4], 222);
    EXPECT_EQ(form.Image2->Pixel(3, 4), qRgb(222, 222, 222));
    EXPECT_EQ(form.Image1->Pixel(3, 4), qRgb(3, 4, 7));  // the After view is not repainted
}

TEST(Button6Click, BeforeAnyLoadDoesNothingVisible)
{
    FakeDialogs dialogs;
    TForm1 form;
    form.Button6->click();
    form.Button15->click();
    EXPECT_FALSE(form.BeforeImage);
    EXPECT_TRUE(form.Image2->Picture().isNull());
    EXPECT_TRUE(dialogs.Errors.isEmpty());
}

TEST(Button15Click, TurnsTheBeforeViewGrayAndLeavesTheAfterView)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    form.LoadPicture(SavePicture(dir, "in.png", ColourPicture(20, 10)));
    form.Button15->click();
    const int gray = (3 + 4 + 7) / 3;
    EXPECT_EQ(form.Image2->Pixel(3, 4), qRgb(gray, gray, gray));
    EXPECT_EQ(form.Image1->Pixel(3, 4), qRgb(3, 4, 7));
    EXPECT_TRUE(form.statusBar()->currentMessage().startsWith(QStringLiteral("Clear Before: ")));
}

TEST(Exit2Click, ReleasesTheImagesAndClosesTheWindow)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    form.show();
    form.LoadPicture(SavePicture(dir, "in.png", ColourPicture(8, 8)));
    form.Exit2->trigger();
    EXPECT_FALSE(form.BeforeImage);
    EXPECT_FALSE(form.AfterImage());
    EXPECT_FALSE(form.isVisible());
}

TEST(ReadPictureFile, AllowsPicturesBeyondQtsDefaultLimit)
{
    // 8200 x 8200 RGB32 needs 269 MB, over Qt's default of 256 MB... read as a header only:
    // the limit in force after a read is what matters.
    QTemporaryDir dir;
    const QString path = SavePicture(dir, "small.png", ColourPicture(4, 4));
    ReadPictureFile(path);
    EXPECT_GE(QImageReader::allocationLimit(), 2048);
}

TEST(PictureView, ShowingAGrayImageAgainRewritesTheViewAndNoCopyOfIt)
{
    // 37 x 21: ragged in both directions; a second image over the same view
    // takes the rewrite-in-place path.
    PictureView view;
    GrayImage first = NewGrayImage(37, 21), second = NewGrayImage(37, 21);
    for (int x = 0; x < 37; ++x)
        for (int y = 0; y < 21; ++y) {
            first[x][y] = static_cast<std::uint8_t>(x * 5 + y);
            second[x][y] = static_cast<std::uint8_t>(255 - x * 3 - y * 7);
        }
    view.SetPicture(QImage(37, 21, QImage::Format_RGB32));
    view.ShowGray(first, 37, 21);
    const QImage kept = view.Picture();  // a copy someone holds, such as a saved file's
    view.ShowGray(second, 37, 21);
    for (int x = 0; x < 37; ++x)
        for (int y = 0; y < 21; ++y) {
            ASSERT_EQ(qRed(view.Pixel(x, y)), second[x][y]) << x << ", " << y;
            ASSERT_EQ(qRed(kept.pixel(x, y)), first[x][y]) << x << ", " << y;
        }
}

TEST(Save1Click, AsksBeforeWritingJpegAndWritesNothingWhenDeclined)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    form.LoadPicture(SavePicture(dir, "in.png", ColourPicture(32, 16)));
    const QString jpeg = dir.filePath(QStringLiteral("out.jpg"));
    dialogs.ConfirmAnswer = false;
    dialogs.SaveAnswers = {jpeg, dir.filePath(QStringLiteral("out.webp")),
                           dir.filePath(QStringLiteral("out.png"))};
    for (int k = 0; k < 3; ++k)
        form.Save1->trigger();
    ASSERT_EQ(dialogs.Questions,
              QStringList{QStringLiteral(
                  "JPEG does not keep every pixel: \"out.jpg\" will differ from the picture on "
                  "screen (gray levels by up to 1 at the highest quality, which is used; colours "
                  "by more). Save it anyway?")});
    EXPECT_FALSE(QFileInfo::exists(jpeg));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("out.webp"))));  // lossless
    dialogs.ConfirmAnswer = true;
    dialogs.SaveAnswers = {jpeg};
    form.Save1->trigger();
    EXPECT_EQ(Head(jpeg, 2), QByteArray("\xFF\xD8", 2));
    EXPECT_TRUE(dialogs.Errors.isEmpty());
}

TEST(Save1Click, RefusesAFormatItCannotWriteInsteadOfWritingABitmap)
{
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    form.LoadPicture(SavePicture(dir, "in.png", ColourPicture(8, 8)));
    dialogs.SaveAnswers = {dir.filePath(QStringLiteral("out.gif"))};
    form.Save1->trigger();
    ASSERT_EQ(dialogs.Errors.size(), 1);
    EXPECT_TRUE(dialogs.Errors.front().startsWith(QStringLiteral(
        "Cannot write the picture \"out.gif\": \".gif\" names no format that can be written; use "
        "one of .bmp, ")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("out.gif"))));
}

TEST(FileDialogs, OpenInTheFolderLastUsedAndNeverOnASample)
{
    QTemporaryDir home, pictures, loads, saves;
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    const QString samples = QFileInfo(TForm1().SamplePicturePath()).absolutePath();
    {
        FakeDialogs dialogs;
        TForm1 form;
        const QString picture = SavePicture(loads, "a.png", ColourPicture(8, 8));
        dialogs.OpenAnswers = {QString(), picture, QString()};
        dialogs.SaveAnswers = {saves.filePath(QStringLiteral("b.png")), QString()};
        for (int k = 0; k < 3; ++k)
            form.Load1->trigger();
        form.Save1->trigger();
        form.Save1->trigger();
        // A cancel keeps the folder; a chosen file moves it to its own folder.
        EXPECT_EQ(dialogs.OpenFolders, (QStringList{samples, samples, loads.path()}));
        // No Pictures folder in this home: the home itself.
        EXPECT_EQ(dialogs.SaveFolders, (QStringList{home.path(), saves.path()}));
    }
    QDir(home.path()).mkdir(QStringLiteral("Pictures"));
    {
        FakeDialogs dialogs;
        TForm1 form;  // a new session starts over
        form.Save1->trigger();
        EXPECT_EQ(dialogs.SaveFolders, QStringList{home.filePath(QStringLiteral("Pictures"))});
    }
    qputenv("HOME", oldHome);
    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
}
