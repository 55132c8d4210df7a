// tests/ui/Unit1Test.cpp: the main window's menu, panels and region protocol.
#include "FakeDialogs.h"
#include "Unit1.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>

namespace {

// A window with a picture of width x height (a horizontal ramp) loaded.
struct LoadedForm {
    LoadedForm(int width, int height)
    {
        QImage picture(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                picture.setPixel(x, y, qRgb(x % 256, x % 256, x % 256));
        const QString path = dir.filePath(QStringLiteral("ramp.png"));
        picture.save(path);
        form.LoadPicture(path);
    }
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
};

QStringList CornerTexts(const TForm1& form)
{
    return {form.Label11->text(), form.Label12->text(), form.Label13->text(),
            form.Label14->text()};
}

bool OnlyVisiblePanel(TForm1& form, int shown)
{
    for (int i = 1; i <= 8; ++i) {
        QWidget* panel = form.FindComponent(QStringLiteral("Panel%1").arg(i));
        if (panel == nullptr || panel->isHidden() != (i != shown))
            return false;
    }
    return true;
}

}  // namespace

TEST(TForm1, StartsWithHiddenPanelsAndTheDefaultRegion)
{
    FakeDialogs dialogs;
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Form1"));
    EXPECT_TRUE(OnlyVisiblePanel(form, 0));
    EXPECT_FALSE(form.Panel1->isEnabled());
    EXPECT_FALSE(form.Panel3->isEnabled());
    EXPECT_FALSE(form.Button14->isEnabled());
    EXPECT_EQ(CornerTexts(form), (QStringList{"0", "0", "100", "100"}));
    EXPECT_EQ(form.OperationKind, 0);
    EXPECT_EQ(form.ImageWidth(), 0);
    EXPECT_EQ(form.Shape3->geometry(), QRect(16, 48, 113, 113));
    EXPECT_EQ(form.FindComponent<QPushButton>(QStringLiteral("Button16"))->text(),
              QStringLiteral("Viedo"));
}

TEST(TForm1, OpeningAToolMenuShowsItsPanelWithTheRunButtonDisabled)
{
    FakeDialogs dialogs;
    TForm1 form;
    emit form.Fiter1->aboutToShow();  // opening the menu runs the title's handler
    EXPECT_TRUE(OnlyVisiblePanel(form, 1));
    EXPECT_TRUE(form.Panel1->isEnabled());
    EXPECT_FALSE(form.Button1->isEnabled());  // closing the menu without a choice leaves it so

    form.Sobel1->trigger();
    EXPECT_EQ(form.OperationKind, 6);
    EXPECT_EQ(form.Button1->text(), QStringLiteral("Sobel"));
    EXPECT_TRUE(form.Button1->isEnabled());
    form.LocalAverage1->trigger();
    EXPECT_EQ(form.Button1->text(), QStringLiteral("LocalAverage"));

    emit form.Mophology1->aboutToShow();
    EXPECT_TRUE(OnlyVisiblePanel(form, 2));
    EXPECT_FALSE(form.Panel1->isEnabled());
    EXPECT_FALSE(form.Button2->isEnabled());
    form.ProperAutomedian1->trigger();
    EXPECT_EQ(form.OperationKind, 6);
    EXPECT_TRUE(form.Button2->isEnabled());

    emit form.EXIT1->aboutToShow();  // "File" hides every panel
    EXPECT_TRUE(OnlyVisiblePanel(form, 0));
}

TEST(TForm1, EveryToolIsReachedInTwoSteps)
{
    FakeDialogs dialogs;
    TForm1 form;
    struct Tool {
        QMenu* menu;
        QAction* setup;
        int panel;
        std::vector<QPushButton*> run;
    };
    const std::vector<Tool> tools = {
        {form.Brightness1, form.BrightnessSetup1, 3, {form.Button4}},
        {form.Threshold1, form.ThresholdSetup1, 4, {form.Button5}},
        {form.DetectObject1, form.DetectObjectSetup1, 4, {form.Button8}},
        {form.MatchPattern1, form.MatchPatternSetup1, 5, {form.Button7, form.Button9, form.Button10}},
        {form.FindEdge1, form.FindEdgeSetup1, 6, {form.Button11}},
        {form.FindStraight1, form.FindStraightSetup1, 7, {form.Button12}},
        {form.FindCircular1, form.FindCircularSetup1, 8, {form.Button13}},
    };
    for (const Tool& tool : tools) {
        emit tool.menu->aboutToShow();
        EXPECT_TRUE(OnlyVisiblePanel(form, tool.panel)) << tool.menu->title().toStdString();
        for (QPushButton* run : tool.run) {
            EXPECT_FALSE(run->isEnabled()) << run->objectName().toStdString();
            EXPECT_FALSE(run->isHidden()) << run->objectName().toStdString();
        }
        tool.setup->trigger();
        for (QPushButton* run : tool.run)
            EXPECT_TRUE(run->isEnabled()) << run->objectName().toStdString();
    }
}

TEST(TForm1, ThresholdAndDetectionShareTheirPanelAtTwoWidths)
{
    FakeDialogs dialogs;
    TForm1 form;
    emit form.Threshold1->aboutToShow();
    EXPECT_EQ(form.Panel4->width(), 545);
    // At this width the result group lies wholly past the panel's edge.
    EXPECT_GE(form.GroupBox3->geometry().left(), 545);
    EXPECT_LE(form.GroupBox3->geometry().right(), 921 - 1);
    EXPECT_EQ(form.GroupBox2->title(), QStringLiteral("Threshold :"));
    EXPECT_TRUE(form.Button8->isHidden());
    emit form.DetectObject1->aboutToShow();
    EXPECT_EQ(form.Panel4->width(), 921);
    EXPECT_EQ(form.GroupBox2->title(), QStringLiteral("Object Detect :"));
    EXPECT_TRUE(form.Button5->isHidden());
    EXPECT_FALSE(form.Button8->isHidden());
}

TEST(RegionOfInterest, DragUpLeftKeepsTheLabelsAsSetAndSizesTheFrame)
{
    LoadedForm f(512, 512);
    f.form.Image2MouseDown(300, 200);
    EXPECT_EQ(f.form.Shape3->pos(), QPoint(16 + 300, 48 + 200));
    f.form.Image2MouseUp(100, 50);
    EXPECT_EQ(CornerTexts(f.form), (QStringList{"300", "200", "100", "50"}));
    EXPECT_EQ(f.form.Shape3->geometry(), QRect(16 + 100, 48 + 50, 200, 150));
    EXPECT_EQ(f.form.ReadRegionOfInterest(), (Region{100, 50, 300, 200}));
}

TEST(RegionOfInterest, PressAndReleaseAreClampedToThePicture)
{
    LoadedForm f(512, 480);
    f.form.Image2MouseDown(512, 10);
    EXPECT_EQ(f.form.Label11->text(), QStringLiteral("511"));
    f.form.Image2MouseDown(10, 500);
    EXPECT_EQ(f.form.Label12->text(), QStringLiteral("479"));
    f.form.Image2MouseUp(-3, 7);
    EXPECT_EQ(f.form.Label13->text(), QStringLiteral("0"));
    f.form.Image2MouseMove(-3, 700);  // the pointer labels are not clamped
    EXPECT_EQ(f.form.Label4->text(), QStringLiteral("-3"));
    EXPECT_EQ(f.form.Label5->text(), QStringLiteral("700"));
}

TEST(RegionOfInterest, BeforeAnyPictureThePressGivesMinusOne)
{
    FakeDialogs dialogs;
    TForm1 form;
    form.Image2MouseDown(40, 40);
    EXPECT_EQ(form.Label11->text(), QStringLiteral("-1"));
    EXPECT_EQ(form.Label12->text(), QStringLiteral("-1"));
}

TEST(RegionOfInterest, DroppingTheFrameSetsTheCornersUnclamped)
{
    LoadedForm f(256, 256);
    f.form.Image2DragDrop(400, 400);
    EXPECT_EQ(CornerTexts(f.form), (QStringList{"400", "400", "513", "513"}));
    EXPECT_EQ(f.form.Shape3->pos(), QPoint(416, 448));
    const Region r = f.form.ReadRegionOfInterest();
    EXPECT_GT(r.X1, r.X2);  // an empty region
}

TEST(RegionOfInterest, DroppingTheFrameOnTheViewReachesTheHandler)
{
    LoadedForm f(300, 300);
    QMimeData mime;
    mime.setData(QString::fromLatin1(PictureView::kFrameMimeType), QByteArray("frame"));
    EXPECT_TRUE(f.form.Image2->HandleDrop(&mime, QPointF(20.7, 30.2)));
    EXPECT_EQ(CornerTexts(f.form), (QStringList{"20", "30", "133", "143"}));
}

TEST(RegionOfInterest, ACentreMarkIsShownOnlyWhileTheCircularPanelIsVisible)
{
    LoadedForm f(64, 64);
    f.form.Button15Click();  // the Before view shows the gray ramp
    const QImage before = f.form.Image2->Picture();
    f.form.Image2MouseDown(30, 30);
    EXPECT_FALSE(f.form.Image2->Mark());
    emit f.form.FindCircular1->aboutToShow();
    f.form.Image2MouseDown(30, 30);
    EXPECT_EQ(f.form.Image2->Mark(), QPoint(30, 30));
    // Shown over the picture, never drawn into it.
    EXPECT_EQ(f.form.Image2->Picture(), before);
    const QImage shot = f.form.Image2->grab().toImage();
    EXPECT_EQ(shot.pixel(30, 30), qRgb(255, 255, 255));  // filled white
    EXPECT_LT(qGray(shot.pixel(27, 30)), 32);            // ringed black
    emit f.form.EXIT1->aboutToShow();  // closing the panel removes it
    EXPECT_FALSE(f.form.Image2->Mark());
}

TEST(RegionOfInterest, ACornerThatIsNotANumberEndsTheCommandWithTheConversionError)
{
    LoadedForm f(64, 64);
    f.form.Label11->setText(QStringLiteral("abc"));
    emit f.form.Image2->MouseUp(Qt::LeftButton, 5, 5);
    ASSERT_EQ(f.dialogs.Errors.size(), 1);
    EXPECT_EQ(f.dialogs.Errors.front(), QStringLiteral("'abc' is not a valid integer value"));
    EXPECT_EQ(f.form.Label13->text(), QStringLiteral("5"));  // work done before the error stays
}

TEST(TForm1, APictureFileDroppedOnAViewIsLoaded)
{
    LoadedForm f(30, 20);
    QImage picture(7, 5, QImage::Format_RGB32);
    picture.fill(qRgb(90, 60, 30));
    const QString path = f.dir.filePath(QStringLiteral("dropped.bmp"));
    ASSERT_TRUE(picture.save(path));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    EXPECT_TRUE(f.form.Image1->HandleDrop(&mime, QPointF(3, 3)));
    EXPECT_EQ(f.form.ImageWidth(), 7);
    EXPECT_EQ(f.form.BeforeImage[6][4], 60);
    EXPECT_EQ(f.form.windowTitle(), QStringLiteral("dropped.bmp"));
}

TEST(RegionOfInterest, AFrameDroppedNearTheLowerRightLeavesThePanelsAndTheAfterViewWorking)
{
    LoadedForm f(512, 512);
    TForm1& form = f.form;
    form.show();  // hit tests and painting as on screen
    emit form.DetectObject1->aboutToShow();
    form.DetectObjectSetup1->trigger();
    form.Image2MouseDown(100, 100);
    form.Image2MouseUp(400, 400);
    form.Image2DragDrop(450, 450);
    // Corners and frame are placed as ever: the frame's bounds reach over Button8.
    EXPECT_EQ(CornerTexts(form), (QStringList{"450", "450", "750", "750"}));
    ASSERT_EQ(form.Shape3->geometry(), QRect(16 + 450, 48 + 450, 300, 300));
    const QRect button(form.Button8->mapTo(form.Client, QPoint(0, 0)), form.Button8->size());
    ASSERT_TRUE(form.Shape3->geometry().contains(button));

    struct Case {
        QPoint at;  // in the client area
        QWidget* expected;
    };
    const Case cases[] = {
        {button.center(), form.Button8},
        {button.topLeft() + QPoint(3, 3), form.Button8},  // its upper half
        {QPoint(600, 520), form.Image1},                  // After view under the frame
        {QPoint(765, 520), form.Image1},                  // under the outline, past the Before view
        {QPoint(500, 520), form.Shape3},                  // inside the frame: moves it
        {QPoint(466, 520), form.Shape3},                  // the outline drags the frame
        {QPoint(466 + RegionFrame::kGrabWidth - 1, 520), form.Shape3},
        {QPoint(466 + RegionFrame::kGrabWidth, 520), form.Shape3},
        {QPoint(460, 520), form.Image2},                  // outside: draw a new region
    };
    for (const Case& c : cases)
        EXPECT_EQ(form.Client->childAt(c.at), c.expected)
            << c.at.x() << "," << c.at.y() << " reaches "
            << (form.Client->childAt(c.at) ? form.Client->childAt(c.at)->objectName().toStdString()
                                           : "nothing");

    // Nothing green is painted outside the Before view, and the frame's left
    // and top sides still show inside it.
    const QImage shot = form.Client->grab().toImage();
    int inside = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixel(x, y) == qRgb(0, 128, 0)) {
                ASSERT_TRUE(form.Image2->geometry().contains(x, y)) << x << "," << y;
                ++inside;
            }
    EXPECT_EQ(inside, (529 - 466) + (561 - 498) - 1);  // to the view's right and bottom edges

    // A real press and release where the button shows clicks it.
    int clicks = 0;
    QObject::connect(form.Button8, &QPushButton::clicked, [&] { ++clicks; });
    QWidget* target = form.Client->childAt(button.center());
    ASSERT_EQ(target, form.Button8);  // a press on the frame would start a drag
    const QPointF local = target->mapFrom(form.Client, button.center());
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, local, target->mapToGlobal(local), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(target, &event);
    }
    EXPECT_EQ(clicks, 1);
}

namespace {

// File dialogs that keep the user 300 ms before answering.
// Dialogs that keep the user a while, and say how long they did.
struct SlowDialogs : FakeDialogs {
    static constexpr int kMs = 300;
    double dialogMs = 0;
    void Wait()
    {
        QElapsedTimer clock;
        clock.start();
        QThread::msleep(kMs);
        dialogMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    }
    std::optional<QString> OpenPictureFile(QWidget* parent, const QString& preset) override
    {
        Wait();
        return FakeDialogs::OpenPictureFile(parent, preset);
    }
    std::optional<QString> SavePictureFile(QWidget* parent, const QString& folder) override
    {
        Wait();
        return FakeDialogs::SavePictureFile(parent, folder);
    }
};

// The time of a "<name>: <ms> ms" message, or nothing when the message is not one.
std::optional<double> ReportedMs(const QString& message, const QString& name)
{
    const QRegularExpression timed(QStringLiteral("^%1: (\\d+\\.\\d) ms$")
                                       .arg(QRegularExpression::escape(name)));
    const QRegularExpressionMatch match = timed.match(message);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toDouble();
}

}  // namespace

TEST(TimeCommand, NamesTheToolOfEveryRunButtonAndTimesOnlyWithAPicture)
{
    struct Case {
        QMenu* menu;
        QAction* setup;
        QPushButton* button;
        const char* name;
        bool needsPicture;
    };
    for (const bool loaded : {true, false}) {
        std::optional<LoadedForm> f;
        std::optional<FakeDialogs> dialogs;
        std::optional<TForm1> bare;
        if (loaded) {
            f.emplace(64, 48);
        } else {
            dialogs.emplace();
            bare.emplace();
        }
        TForm1& form = loaded ? f->form : *bare;
        const std::vector<Case> cases = {
            {form.Fiter1, form.Sobel1, form.Button1, "Sobel", true},
            {form.Mophology1, form.Dilation1, form.Button2, "Dilation", true},
            {form.Brightness1, form.BrightnessSetup1, form.Button4, "Brightness", true},
            {form.Brightness1, form.BrightnessSetup1, form.Button3, "Brightness Reset", false},
            {form.Threshold1, form.ThresholdSetup1, form.Button5, "Threshold", true},
            {form.DetectObject1, form.DetectObjectSetup1, form.Button8, "Detect Object", true},
            {form.FindEdge1, form.FindEdgeSetup1, form.Button11, "Find Edge", true},
            {form.EXIT1, nullptr, form.Button6, "Copy After to Before", true},
            {form.EXIT1, nullptr, form.Button15, "Clear Before", true},
            {form.EXIT1, nullptr, form.Button16, "Video", false},
        };
        for (const Case& c : cases) {
            emit c.menu->aboutToShow();
            if (c.setup != nullptr)
                c.setup->trigger();
            form.statusBar()->clearMessage();
            c.button->click();
            const QString message = form.statusBar()->currentMessage();
            if (loaded || !c.needsPicture)
                EXPECT_TRUE(ReportedMs(message, QString::fromLatin1(c.name)))
                    << c.name << ": " << message.toStdString();
            else
                EXPECT_EQ(message.toStdString(), "No picture: load one first") << c.name;
        }
    }
}

TEST(TimeCommand, ACommandThatFailsReportsNoTime)
{
    LoadedForm f(64, 48);
    emit f.form.Fiter1->aboutToShow();
    f.form.Sobel1->trigger();
    f.form.Label11->setText(QStringLiteral("abc"));
    f.form.Button1->click();
    EXPECT_EQ(f.dialogs.Errors.size(), 1);
    EXPECT_EQ(f.form.statusBar()->currentMessage().toStdString(), "Sobel: failed");
}

TEST(TimeCommand, LoadAndSaveLeaveTheDialogOutOfTheirTime)
{
    QTemporaryDir dir;
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(qRgb(10, 20, 30));
    const QString in = dir.filePath(QStringLiteral("in.png"));
    ASSERT_TRUE(picture.save(in));
    SlowDialogs dialogs;
    TForm1 form;
    struct Case {
        QAction* action;
        QStringList* answers;
        QString answer;
        QString expected;  // empty: a time of less than the dialog's
    };
    const std::vector<Case> cases = {
        {form.Load1, &dialogs.OpenAnswers, QString(), QStringLiteral("Load: cancelled")},
        {form.Load1, &dialogs.OpenAnswers, in, QString()},
        {form.Load1, &dialogs.OpenAnswers, dir.filePath(QStringLiteral("missing.png")),
         QStringLiteral("Load: failed")},
        {form.Save1, &dialogs.SaveAnswers, dir.filePath(QStringLiteral("out.png")), QString()},
        {form.Save1, &dialogs.SaveAnswers, QString(), QStringLiteral("Save: cancelled")},
    };
    for (const Case& c : cases) {
        *c.answers = QStringList{c.answer};
        form.statusBar()->clearMessage();
        QElapsedTimer clock;
        clock.start();
        c.action->trigger();
        const double wholeMs = static_cast<double>(clock.nsecsElapsed()) / 1e6;
        const QString message = form.statusBar()->currentMessage();
        if (!c.expected.isEmpty()) {
            EXPECT_EQ(message.toStdString(), c.expected.toStdString()) << c.answer.toStdString();
            continue;
        }
        // The status bar names the item without its mnemonic mark.
        const std::optional<double> ms = ReportedMs(message, QString(c.action->text()).remove(u'&'));
        ASSERT_TRUE(ms) << message.toStdString();
        // Whatever the machine's load: the time shown fits in what the
        // command took beside the dialog (0.1 ms of rounding allowed).
        EXPECT_LE(*ms, wholeMs - dialogs.dialogMs + 0.1) << message.toStdString();
    }
    EXPECT_EQ(dialogs.Errors.size(), 1);  // the missing file
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral("out.png"))));
}
