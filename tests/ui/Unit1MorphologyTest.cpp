// tests/ui/Unit1MorphologyTest.cpp: the "Mophology" panel driven through its controls.
#include "FakeDialogs.h"
#include "Morphology.h"
#include "TestImages.h"
#include "Unit1.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// A window holding a width x height picture of assorted grays (no symmetry),
// with the morphology panel open.
struct MorphologyForm {
    MorphologyForm(int width, int height)
    {
        QImage picture(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int v = (x * 37 + y * 101 + x * y * 13) % 256;
                picture.setPixel(x, y, qRgb(v, v, v));
            }
        const QString path = dir.filePath(QStringLiteral("grays.png"));
        picture.save(path);
        form.LoadPicture(path);
        emit form.Mophology1->aboutToShow();
    }
    int Width() const { return form.ImageWidth(); }
    int Height() const { return form.ImageHeight(); }
    // The After image as it stands, and as the view shows it.
    std::vector<std::vector<int>> After() { return ToRows(form.AfterImage(), Width(), Height()); }
    std::vector<std::vector<int>> Shown() const
    {
        std::vector<std::vector<int>> rows(static_cast<std::size_t>(Height()));
        for (int y = 0; y < Height(); ++y)
            for (int x = 0; x < Width(); ++x)
                rows[static_cast<std::size_t>(y)].push_back(qGray(form.Image1->Pixel(x, y)));
        return rows;
    }
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
};

QCheckBox* Box(const TForm1& form, int k)
{
    return form.FindComponent<QCheckBox>(QStringLiteral("CheckBox%1").arg(k));
}

// What the tool gives with every box checked, at element size a.
std::vector<std::vector<int>> Expected(const MorphologyForm& f, void (*op)(const GrayImage&, GrayImage&,
                                                                           const StructuringElement&, int,
                                                                           int, int, int, int, int, int),
                                       int a)
{
    StructuringElement full;
    for (auto& column : full)
        column.fill(1);
    GrayImage dst = NewGrayImage(f.Width(), f.Height());
    op(f.form.BeforeImage, dst, full, a, 0, 0, f.Width(), f.Height(), f.Width(), f.Height());
    return ToRows(dst, f.Width(), f.Height());
}

}  // namespace

TEST(Panel2, StartsWithEveryBoxCheckedAtSevenBySevenAndOneRound)
{
    FakeDialogs dialogs;
    TForm1 form;
    EXPECT_TRUE(form.RadioButton6->isChecked());
    EXPECT_EQ(form.RadioButton4->text(), QStringLiteral("3 x 3"));
    EXPECT_EQ(form.RadioGroup2->title(), QStringLiteral("Mask Size"));
    EXPECT_EQ(form.Label3->text(), QStringLiteral("# of Iterations"));
    EXPECT_EQ(form.Edit1->text(), QStringLiteral("1"));
    EXPECT_EQ(form.Button2->text(), QStringLiteral("Mophology"));
    for (int k = 1; k <= 49; ++k) {
        QCheckBox* box = Box(form, k);
        ASSERT_NE(box, nullptr) << k;
        EXPECT_TRUE(box->isChecked()) << k;
        EXPECT_FALSE(box->isHidden()) << k;
    }
    EXPECT_EQ(Box(form, 25), form.CheckBox25);
    // Box k sits in row (k - 1) / 7 and column (k - 1) % 7 of the grid.
    EXPECT_EQ(form.CheckBox9->x() - form.CheckBox1->x(), form.CheckBox2->x() - form.CheckBox1->x());
    EXPECT_GT(form.CheckBox8->y(), form.CheckBox7->y());
    EXPECT_EQ(form.CheckBox8->x(), form.CheckBox1->x());
}

TEST(Panel2, TheMaskSizeShowsOnlyTheCentralBoxes)
{
    FakeDialogs dialogs;
    TForm1 form;
    emit form.Mophology1->aboutToShow();  // the panel's controls work once it is open
    form.CheckBox1->setChecked(false);
    for (auto [button, r] : {std::pair{form.RadioButton4, 1}, {form.RadioButton5, 2},
                             {form.RadioButton6, 3}, {form.RadioButton4, 1}}) {
        button->click();
        for (int k = 1; k <= 49; ++k) {
            const int i = (k - 1) / 7, j = (k - 1) % 7;
            EXPECT_EQ(Box(form, k)->isHidden(), std::abs(3 - j) > r || std::abs(3 - i) > r)
                << "box " << k << " at size " << 2 * r + 1;
        }
    }
    EXPECT_FALSE(form.CheckBox1->isChecked());  // hiding keeps the checked state
    EXPECT_TRUE(form.CheckBox2->isChecked());
}

TEST(Button2Click, DilationAtThreeByThreeIgnoresHiddenBoxes)
{
    MorphologyForm f(23, 17);
    f.form.Dilation1->trigger();
    EXPECT_EQ(f.form.Button2->text(), QStringLiteral("Dilation"));
    EXPECT_TRUE(f.form.Edit1->isEnabled());
    f.form.RadioButton4->click();
    f.form.Button2->click();
    const auto full = f.After();
    EXPECT_EQ(full, Expected(f, Dilate, 3));
    EXPECT_EQ(f.Shown(), full);

    f.form.CheckBox1->setChecked(false);  // hidden at 3 x 3: no effect
    f.form.Button2->click();
    EXPECT_EQ(f.After(), full);

    f.form.CheckBox19->setChecked(false);  // visible: one up and one right of the centre
    f.form.Button2->click();
    EXPECT_NE(f.After(), full);
}

TEST(Button2Click, ACountBelowOneBecomesOneAndOneRoundRuns)
{
    MorphologyForm f(19, 14);
    f.form.Erosion1->trigger();
    const auto once = Expected(f, Erode, 7);
    for (const char* count : {"0", "-3"}) {
        f.form.Edit1->setText(QString::fromLatin1(count));
        f.form.Button2->click();
        EXPECT_EQ(f.form.Edit1->text(), QStringLiteral("1")) << count;
        EXPECT_EQ(f.After(), once) << count;
    }
    EXPECT_TRUE(f.dialogs.Errors.isEmpty());
}

TEST(Button2Click, TextThatIsNoNumberShowsTheConversionErrorAndRunsNothing)
{
    MorphologyForm f(16, 12);
    f.form.Dilation1->trigger();
    f.form.Button2->click();
    const auto dilated = f.Shown();
    const auto before = ToRows(f.form.BeforeImage, f.Width(), f.Height());
    ASSERT_NE(dilated, before);

    f.form.Edit1->setText(QString());
    f.form.Button2->click();
    ASSERT_EQ(f.dialogs.Errors.size(), 1);
    EXPECT_EQ(f.dialogs.Errors.front(), QStringLiteral("'' is not a valid integer value"));
    EXPECT_EQ(f.After(), dilated);   // the text is read before anything changes
    EXPECT_EQ(f.Shown(), dilated);
    EXPECT_EQ(f.form.Edit1->text(), QString());

    f.form.Edit1->setText(QStringLiteral("2x"));
    f.form.Button2->click();
    ASSERT_EQ(f.dialogs.Errors.size(), 2);
    EXPECT_EQ(f.dialogs.Errors.back(), QStringLiteral("'2x' is not a valid integer value"));
}

TEST(Button2Click, TheCompoundOperatorsRunOnceWithTheCountReset)
{
    MorphologyForm f(21, 15);
    f.form.ProperAutomedian1->trigger();
    EXPECT_EQ(f.form.OperationKind, 6);
    EXPECT_FALSE(f.form.Edit1->isEnabled());
    f.form.Edit1->setText(QStringLiteral("5"));
    f.form.RadioButton5->click();
    f.form.Button2->click();
    EXPECT_EQ(f.form.Edit1->text(), QStringLiteral("1"));
    EXPECT_EQ(f.After(), Expected(f, AutoMedian, 5));
    EXPECT_EQ(f.Shown(), f.After());

    f.form.Opening1->trigger();
    f.form.Button2->click();
    EXPECT_EQ(f.After(), Expected(f, Open, 5));
}

TEST(Button2Click, ABillionRoundsEndAtOnceWithEveryPixelAtTheMaximum)
{
    MorphologyForm f(40, 30);
    f.form.Dilation1->trigger();
    f.form.Edit1->setText(QStringLiteral("1000000000"));
    f.form.Button2->click();
    // The full element spreads the brightest pixel 3 pixels a round: after a
    // dozen rounds nothing changes any more, and the rounds stop there.
    int brightest = 0;
    for (const auto& row : ToRows(f.form.BeforeImage, f.Width(), f.Height()))
        for (int v : row)
            brightest = std::max(brightest, v);
    for (const auto& row : f.After())
        for (int v : row)
            ASSERT_EQ(v, brightest);
    EXPECT_EQ(f.form.Edit1->text(), QStringLiteral("1000000000"));
}
