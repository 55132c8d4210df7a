// tests/ui/CommandWindowTest.cpp: the window's run buttons and the command
// layer agree. Controls are set from seeded random values, the button is
// clicked, and the same values, written as settings by hand, run through
// RunCommand on Before: the After images must match pixel for pixel and every
// text the window wrote must be the command's number.
#include "Brightness.h"
#include "Command.h"
#include "Conversions.h"
#include "ExchangeFiles.h"
#include "FakeDialogs.h"
#include "TestImages.h"
#include "Threshold.h"
#include "Unit1.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <random>

namespace {

struct Bench {
    explicit Bench(const char* sample)
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName(
            QStringLiteral("GrayBench-commands-%1").arg(QCoreApplication::applicationPid()));
        QDir(ExchangeFolder()).removeRecursively();
        form.LoadPicture(QStringLiteral(GRAYBENCH_SAMPLES_DIR "/") + QLatin1String(sample));
    }
    ~Bench()
    {
        QDir(ExchangeFolder()).removeRecursively();
        QCoreApplication::setApplicationName(name);
    }
    int W() const { return form.ImageWidth(); }
    int H() const { return form.ImageHeight(); }
    Corners RandomCorners(std::mt19937& rng)
    {
        const auto x = [&] { return static_cast<int>(rng() % static_cast<unsigned>(W() + 40)) - 20; };
        const auto y = [&] { return static_cast<int>(rng() % static_cast<unsigned>(H() + 40)) - 20; };
        const Corners c{x(), y(), x(), y()};
        form.Label11->setText(QString::number(c.X1));
        form.Label12->setText(QString::number(c.Y1));
        form.Label13->setText(QString::number(c.X2));
        form.Label14->setText(QString::number(c.Y2));
        return c;
    }
    // Runs settings on a copy of Before and checks After against the window's.
    CommandResult Expect(const CommandSettings& settings, const std::string& what)
    {
        GrayImage after = NewGrayImage(W(), H());
        CommandResult result = RunCommand(form.BeforeImage, after, W(), H(), settings);
        EXPECT_TRUE(ReportOf(result).Ran()) << what;
        EXPECT_EQ(FirstDifference(after, form.AfterImage(), W(), H()), "") << what;
        return result;
    }
    const QString name = QCoreApplication::applicationName();
    FakeDialogs dialogs;
    TForm1 form;
};

int Pick(std::mt19937& rng, int lo, int hi) { return lo + static_cast<int>(rng() % static_cast<unsigned>(hi - lo + 1)); }

}  // namespace

TEST(CommandLayer, FiltersMorphologyAndBrightnessGiveTheWindowsPictures)
{
    Bench b("parts.png");
    std::mt19937 rng(2026);
    b.form.Fiter1->menuAction()->trigger();
    for (int kind = 0; kind < kFilterKinds; ++kind)
        for (int round = 0; round < 2; ++round) {
            b.form.ChooseFilter(kind);
            const int mask = 3 + 2 * Pick(rng, 0, 2);
            (mask == 3 ? b.form.RadioButton1 : mask == 5 ? b.form.RadioButton2 : b.form.RadioButton3)
                ->setChecked(true);
            const Corners roi = b.RandomCorners(rng);
            b.form.Button1Click();
            b.Expect(FilterSettings{kind, mask, roi}, "filter " + std::to_string(kind));
        }
    for (int kind = 0; kind < kMorphologyKinds; ++kind) {
        b.form.ChooseMorphology(kind);
        MorphologySettings s{kind, 3 + 2 * Pick(rng, 0, 2), {}, Pick(rng, 1, 3)};
        (s.mask == 3 ? b.form.RadioButton4 : s.mask == 5 ? b.form.RadioButton5 : b.form.RadioButton6)
            ->setChecked(true);
        for (int i = 0; i < 7; ++i)
            for (int j = 0; j < 7; ++j) {
                const bool on = rng() % 3 != 0;
                s.element[static_cast<std::size_t>(j)][static_cast<std::size_t>(i)] = on ? 1 : 0;
                b.form.FindComponent<QCheckBox>(QStringLiteral("CheckBox%1").arg(1 + 7 * i + j))
                    ->setChecked(on);
            }
        b.form.Edit1->setText(QString::number(s.rounds));
        if (!MorphologyRepeats(kind))
            s.rounds = 1;
        b.form.Button2Click();
        b.Expect(s, std::string("morphology ") + MorphologyCaption(kind));
    }
    for (int round = 0; round < 4; ++round) {
        const int brightness = Pick(rng, 0, 255), contrast = Pick(rng, 1, 89), gamma = Pick(rng, 1, 100);
        b.form.ScrollBar1->setValue(brightness);
        b.form.ScrollBar2->setValue(contrast);
        b.form.ScrollBar3->setValue(gamma);
        b.form.Button4Click();
        b.Expect(BrightnessSettings{brightness, contrast, GammaFromPosition(gamma)}, "brightness");
    }
}

TEST(CommandLayer, ThresholdAndDetectionGiveTheWindowsPicturesAndGrid)
{
    Bench b("parts.png");
    std::mt19937 rng(7);
    emit b.form.DetectObject1->aboutToShow();
    const int automatic = AutoThreshold(b.form.BeforeImage, 0, 0, b.W(), b.H(), b.W(), b.H());
    for (int round = 0; round < 12; ++round) {
        ThresholdSettings t{round % 3, Pick(rng, 0, 200), 0, round % 4 == 1, -1};
        t.upper = Pick(rng, t.lower, 255);
        b.form.CheckBox50->setChecked(false);
        b.form.ComboBox1->setCurrentIndex(t.mode);
        b.form.ScrollBar5->setValue(t.upper);
        b.form.ScrollBar4->setValue(t.lower);
        b.form.CheckBox50->setChecked(t.automatic);
        if (t.mode == kGrayObjects)  // the band needs both sliders, whatever "AUTO" says
            t.automatic = false;
        b.form.Button5Click();
        const auto thresholded = std::get<ThresholdResult>(b.Expect(t, "threshold"));
        EXPECT_EQ(thresholded.threshold, t.automatic ? automatic : t.lower);

        const Corners roi = b.RandomCorners(rng);
        b.form.Button8Click();
        const auto found = std::get<DetectResult>(b.Expect(DetectSettings{t, roi}, "detect"));
        if (found.Count() == 0)
            continue;
        EXPECT_EQ(b.form.Label32->text(), QString::number(found.Count()));
        ASSERT_EQ(b.form.StringGrid1->RowCount(), found.Count() + 1);
        for (int i = 1; i <= found.Count(); ++i) {
            const DetectedObject& o = found.objects[static_cast<std::size_t>(i - 1)];
            EXPECT_EQ(b.form.StringGrid1->Cell(5, i), QString::number(o.area)) << i;
            EXPECT_EQ(b.form.StringGrid1->Cell(1, i), QString::number(o.minX)) << i;
            EXPECT_EQ(b.form.StringGrid1->Cell(4, i), QString::number(o.maxY)) << i;
        }
    }
}

TEST(CommandLayer, PatternSearchGivesTheWindowsPictureAndGrid)
{
    Bench b("pattern.png");
    emit b.form.MatchPattern1->aboutToShow();
    for (const int angle : {0, 20}) {
        b.form.Label11->setText("40"), b.form.Label12->setText("50");
        b.form.Label13->setText("90"), b.form.Label14->setText("96");
        b.form.Button9Click();
        const TemplateResult made = RunCreateTemplate(b.form.BeforeImage, b.W(), b.H(), {40, 50, 90, 96});
        ASSERT_TRUE(made.Ran());
        b.form.ScrollBar6->setValue(angle);
        b.form.Button10Click();
        auto templ = std::make_shared<SizedImage>(SizedImage{Copy(made.templ.pixels, 50, 46), 50, 46});
        const auto found = std::get<PatternResult>(b.Expect(PatternStep{{angle}, templ}, "pattern"));
        ASSERT_FALSE(found.rows.empty());
        ASSERT_EQ(b.form.StringGrid2->RowCount(), static_cast<int>(found.rows.size()) + 2);
        for (std::size_t j = 0; j < found.rows.size(); ++j) {
            const int row = static_cast<int>(j) + 1;
            EXPECT_EQ(b.form.StringGrid2->Cell(1, row).toFloat(), found.rows[j].x1);
            EXPECT_EQ(b.form.StringGrid2->Cell(5, row).toFloat(), found.rows[j].angle);
            EXPECT_EQ(b.form.StringGrid2->Cell(6, row),
                      RealToText(static_cast<double>(found.rows[j].score)));
        }
    }
}

TEST(CommandLayer, GaugesGiveTheWindowsPicturesAndNumbers)
{
    Bench b("gauge.png");
    std::mt19937 rng(99);
    for (int round = 0; round < 9; ++round) {
        const EdgeSettings e{round % 3, (round / 3) % 3, Pick(rng, 0, 80), b.RandomCorners(rng)};
        b.form.ComboBox2->setCurrentIndex(e.lookFor);
        b.form.ComboBox3->setCurrentIndex(e.polarity);
        b.form.ScrollBar7->setValue(e.strength);
        b.form.Button11Click();
        const auto edges = std::get<EdgeResult>(b.Expect(e, "edge"));
        EXPECT_EQ(b.form.Edit5->text(), QString::number(edges.count));

        const StraightSettings s{round % 4, Pick(rng, 1, 30), Pick(rng, 10, 80), Pick(rng, 0, 360),
                                 b.RandomCorners(rng)};
        b.form.ComboBox4->setCurrentIndex(s.direction);
        b.form.ScrollBar8->setValue(s.gap);
        b.form.ScrollBar9->setValue(s.strength);
        b.form.ScrollBar10->setValue(s.angle);
        b.form.Button12Click();
        b.Expect(s, "straight");

        const Corners centre = b.RandomCorners(rng);
        const CircularSettings c{round % 2, Pick(rng, 5, 40), Pick(rng, 10, 80), Pick(rng, 0, 180),
                                 Pick(rng, 180, 360), Pick(rng, 0, 60), Pick(rng, 60, 250),
                                 centre.X1, centre.Y1};
        b.form.ComboBox5->setCurrentIndex(c.direction);
        b.form.ScrollBar11->setValue(c.gap);
        b.form.ScrollBar12->setValue(c.strength);
        b.form.ScrollBar13->setValue(c.startAngle);
        b.form.ScrollBar14->setValue(c.endAngle);
        b.form.ScrollBar15->setValue(c.insideRadius);
        b.form.ScrollBar16->setValue(c.outsideRadius);
        b.form.Button13Click();
        const auto circle = std::get<CircularResult>(b.Expect(c, "circular"));
        EXPECT_EQ(b.form.Label51->text(), circle.ok ? QStringLiteral("OK") : QStringLiteral("NG"));
    }
}
