// tests/ui/RefusedCommandTest.cpp: a command refused for a bad text, a bad
// template or a region of no pixels leaves the After image as the user sees it,
// so "Copy After to Before" then copies what was on screen.
#include "ExchangeFiles.h"
#include "FakeDialogs.h"
#include "TestImages.h"
#include "TestPictures.h"
#include "Unit1.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <functional>

namespace {

struct Workbench {
    Workbench()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName(
            QStringLiteral("GrayBench-refused-%1").arg(QCoreApplication::applicationPid()));
        QDir(ExchangeFolder()).removeRecursively();
        const QString path = dir.filePath(QStringLiteral("colour.png"));
        ColourPicture(64, 48).save(path);
        form.LoadPicture(path);
    }
    ~Workbench()
    {
        QDir(ExchangeFolder()).removeRecursively();
        QCoreApplication::setApplicationName(name);
    }
    int W() const { return form.ImageWidth(); }
    int H() const { return form.ImageHeight(); }
    std::vector<std::vector<int>> Shown() const
    {
        std::vector<std::vector<int>> rows(static_cast<std::size_t>(H()));
        for (int y = 0; y < H(); ++y)
            for (int x = 0; x < W(); ++x)
                rows[static_cast<std::size_t>(y)].push_back(qGray(form.Image1->Pixel(x, y)));
        return rows;
    }
    // A Sobel result on show: After differs from Before.
    void ShowAResult()
    {
        form.Label11->setText(QStringLiteral("0"));
        form.Label12->setText(QStringLiteral("0"));
        form.Label13->setText(QStringLiteral("64"));
        form.Label14->setText(QStringLiteral("48"));
        form.ChooseFilter(kSobel);
        form.Button1Click();
    }
    const QString name = QCoreApplication::applicationName();
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
};

}  // namespace

TEST(RefusedCommand, LeavesAfterAsShownAndCopyAfterToBeforeCopiesIt)
{
    struct Case {
        const char* what;
        std::function<void(TForm1&)> spoil;  // makes the next run refuse
        std::function<void(TForm1&)> run;
        bool message;  // refused with a message box rather than the conversion error
    };
    const auto label = [](QLabel* TForm1::*member, const char* text) {
        return [=](TForm1& f) { (f.*member)->setText(QString::fromLatin1(text)); };
    };
    const auto badTemplate = [](const QByteArray& bytes) {
        return [=](TForm1&) {
            QFile file(TemplateFilePath());
            ASSERT_TRUE(QDir().mkpath(QFileInfo(file).absolutePath()));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
    };
    const Case cases[] = {
        {"morphology rounds", [](TForm1& f) { f.ChooseMorphology(kDilation), f.Edit1->setText("two"); },
         [](TForm1& f) { f.Button2Click(); }, false},
        {"morphology, empty rounds", [](TForm1& f) { f.ChooseMorphology(kErosion), f.Edit1->setText(""); },
         [](TForm1& f) { f.Button2Click(); }, false},
        {"brightness", label(&TForm1::Label20, "12.5"), [](TForm1& f) { f.Button4Click(); }, false},
        {"contrast", label(&TForm1::Label21, "x"), [](TForm1& f) { f.Button4Click(); }, false},
        {"gamma", label(&TForm1::Label22, "fast"), [](TForm1& f) { f.Button4Click(); }, false},
        {"filter corner", label(&TForm1::Label11, "12a"), [](TForm1& f) { f.Button1Click(); }, false},
        {"detection corner", label(&TForm1::Label14, ""), [](TForm1& f) { f.Button8Click(); }, false},
        {"threshold AUTO value",
         [](TForm1& f) { f.CheckBox50->setChecked(true), f.Label27->setText("?"); },
         [](TForm1& f) { f.Button5Click(); }, false},
        {"edge corner", label(&TForm1::Label13, "1e3"), [](TForm1& f) { f.Button11Click(); }, false},
        {"straight corner", label(&TForm1::Label12, "0x10"), [](TForm1& f) { f.Button12Click(); }, false},
        {"circular centre", label(&TForm1::Label11, "-"), [](TForm1& f) { f.Button13Click(); }, false},
        {"damaged template", badTemplate("BM and nothing a bitmap needs"),
         [](TForm1& f) { f.Button10Click(); }, false},
        {"template too small",
         [](TForm1& f) {
             f.Label11->setText("3"), f.Label12->setText("3"), f.Label13->setText("6"),
                 f.Label14->setText("20");
             f.Button9Click();
         },
         [](TForm1& f) { f.Button10Click(); }, true},
    };
    for (const Case& c : cases) {
        Workbench w;
        w.ShowAResult();
        const auto shown = w.Shown();
        const auto after = ToRows(w.form.AfterImage(), w.W(), w.H());
        ASSERT_NE(after, ToRows(w.form.BeforeImage, w.W(), w.H())) << c.what;
        RunGuarded([&] { c.spoil(w.form); });
        RunGuarded([&] { c.run(w.form); });
        EXPECT_EQ(w.dialogs.Errors.size() + w.dialogs.Messages.size(), 1u) << c.what;
        EXPECT_EQ(w.dialogs.Messages.size(), c.message ? 1u : 0u) << c.what;
        EXPECT_EQ(ToRows(w.form.AfterImage(), w.W(), w.H()), after) << c.what;
        EXPECT_EQ(w.Shown(), shown) << c.what;
        w.form.Button6Click();  // Copy After to Before
        EXPECT_EQ(ToRows(w.form.BeforeImage, w.W(), w.H()), after) << c.what;
    }
}
