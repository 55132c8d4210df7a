// tests/ui/BadInputTest.cpp: what the workbench does with bad input, command
// by command: picture files it cannot use, texts that are not integers,
// regions outside the picture, commands before any picture, exchange files
// that cannot be written. Each case is a row of docs/bad-inputs.md.
#include "ExchangeFiles.h"
#include "FakeDialogs.h"
#include "Match_pattern.h"
#include "PictureFiles.h"
#include "TestImages.h"
#include "TestPictures.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include <sys/stat.h>

#include <climits>
#include <functional>

namespace {

QByteArray Encoded(const QImage& picture, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(picture.save(&buffer, format));
    return bytes;
}

quint32 Crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray PngChunk(const char* type, const QByteArray& data)
{
    char size[4], crc[4];
    qToBigEndian(static_cast<quint32>(data.size()), size);
    const QByteArray typed = QByteArray(type) + data;
    qToBigEndian(Crc32(typed), crc);
    return QByteArray(size, 4) + typed + QByteArray(crc, 4);
}

// A PNG file whose header claims width x height RGB pixels, followed by an
// empty pixel-data chunk.
QByteArray PngHeader(quint32 width, quint32 height)
{
    char size[8];
    qToBigEndian(width, size);
    qToBigEndian(height, size + 4);
    const QByteArray header = QByteArray(size, 8) + QByteArray("\x08\x02\x00\x00\x00", 5);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", header) + PngChunk("IDAT", {}) +
           PngChunk("IEND", {});
}

// A 24-bit bitmap header claiming width x height and no pixel data after it.
QByteArray BmpHeader(qint32 width, qint32 height)
{
    QByteArray h(54, '\0');
    h[0] = 'B', h[1] = 'M';
    qToLittleEndian(quint32{54}, h.data() + 10);
    qToLittleEndian(quint32{40}, h.data() + 14);
    qToLittleEndian(width, h.data() + 18);
    qToLittleEndian(height, h.data() + 22);
    qToLittleEndian(quint16{1}, h.data() + 26);
    qToLittleEndian(quint16{24}, h.data() + 28);
    return h;
}

// A window with the 40 x 30 picture "first.png" loaded; the exchange files live
// in a folder of this process's own.
struct LoadedForm {
    LoadedForm()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName(
            QStringLiteral("GrayBench-bad-%1").arg(QCoreApplication::applicationPid()));
        QDir(ExchangeFolder()).removeRecursively();
        form.Form2 = &form2;
        form.Form3 = &form3;
        Write("first.png", Encoded(ColourPicture(40, 30), "PNG"));
        form.LoadPicture(dir.filePath(QStringLiteral("first.png")));
    }
    ~LoadedForm()
    {
        QDir(ExchangeFolder()).removeRecursively();
        QCoreApplication::setApplicationName(name);
    }
    QString Write(const char* file, const QByteArray& bytes)
    {
        const QString path = dir.filePath(QString::fromLatin1(file));
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        return path;
    }
    void SetRegion(const QString& X1, const QString& Y1, const QString& X2, const QString& Y2)
    {
        form.Label11->setText(X1);
        form.Label12->setText(Y1);
        form.Label13->setText(X2);
        form.Label14->setText(Y2);
    }
    bool WorkspaceIsFirstPicture() const
    {
        return form.BeforeImage && form.ImageWidth() == 40 && form.ImageHeight() == 30 &&
               form.BeforeImage[39][29] == (39 + 29 + 68) / 3 &&
               form.windowTitle() == QStringLiteral("first.png");
    }
    bool AfterIsBefore()
    {
        return SameImage(form.AfterImage(), form.BeforeImage, form.ImageWidth(),
                         form.ImageHeight());
    }

    const QString name = QCoreApplication::applicationName();
    QTemporaryDir dir;
    FakeDialogs dialogs;
    TForm1 form;
    TForm2 form2;
    TForm3 form3;
};

}  // namespace

TEST(Load1Click, RefusesPictureFilesItCannotUseByNameAndKeepsTheWorkspace)
{
    LoadedForm f;
    const QByteArray png = Encoded(ColourPicture(40, 30), "PNG"),
                     jpeg = Encoded(ColourPicture(40, 30), "JPEG");
    const QByteArray bmp = Encoded(ColourPicture(40, 30), "BMP");
    const QByteArray large = Encoded(ColourPicture(512, 512), "JPEG");
    QDir(f.dir.path()).mkdir(QStringLiteral("folder.png"));
    struct Case {
        const char* file;
        QByteArray bytes;  // nothing is written for the first two
        const char* reason;
    };
    const Case cases[] = {
        {"missing.bmp", {}, "File not found"},
        {"folder.png", {}, ""},
        {"damaged.png", QByteArray("\x89PNG\r\n\x1a\n this is no picture"), ""},
        {"truncated.png", png.left(png.size() / 2), "Unable to read image data"},
        {"truncated.jpg", jpeg.left(jpeg.size() / 2), "Unable to read image data"},
        // Cut in its pixels: the decoder would make up gray rows without a word.
        {"cut.jpg", large.left(large.size() * 3 / 10), "the file ends before its picture data does"},
        // Qt reads a short bitmap without a word and leaves the missing rows as
        // the memory held them: refused before Qt reads it.
        {"truncated.bmp", bmp.left(bmp.size() - 1), "the file ends after 3653 of the 3654 bytes"},
        {"empty.png", QByteArray(), "Unsupported image format"},
        {"notes.png", QByteArray("a text, not a picture\n"), "Unsupported image format"},
        {"notes.txt", QByteArray("a text, not a picture\n"), "Unsupported image format"},
        {"huge.png", PngHeader(100000, 100000),
         "its 100000 x 100000 pixels need 38147 MB, more than the 4096 MB a picture may take"},
        {"huge.bmp", BmpHeader(60000, -60000),
         "its 60000 x 60000 pixels need 13733 MB, more than the 4096 MB a picture may take"},
        // Its rows would add up to more bytes than a 64-bit count holds.
        {"widest.bmp", BmpHeader(INT32_MAX, INT32_MAX),
         "its 2147483647 x 2147483647 pixels need 17592186028032 MB"},
    };
    for (const Case& c : cases) {
        if (!c.bytes.isNull() || QByteArray(c.file).startsWith("empty"))
            f.Write(c.file, c.bytes);
        f.dialogs.Errors.clear();
        f.dialogs.OpenAnswers = {f.dir.filePath(QString::fromLatin1(c.file))};
        f.form.Load1->trigger();
        ASSERT_EQ(f.dialogs.Errors.size(), 1) << c.file;
        const QString error = f.dialogs.Errors.front();
        EXPECT_TRUE(error.startsWith(
            QStringLiteral("Cannot read the picture \"%1\": ").arg(QString::fromLatin1(c.file))))
            << qPrintable(error);
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.reason))) << qPrintable(error);
        EXPECT_TRUE(f.WorkspaceIsFirstPicture()) << c.file;
    }
}

TEST(Load1Click, RefusesPipesAndDevicesBeforeOpeningThem)
{
    LoadedForm f;
    const QString fifo = f.dir.filePath(QStringLiteral("fifo.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    f.dialogs.OpenAnswers = {fifo, QStringLiteral("/dev/zero")};
    f.form.Load1->trigger();  // opening the pipe would wait for a writer for good
    f.form.Load1->trigger();
    EXPECT_EQ(f.dialogs.Errors,
              (QStringList{QStringLiteral("Cannot read the picture \"fifo.png\": it is a named "
                                          "pipe, not a picture file"),
                           QStringLiteral("Cannot read the picture \"zero\": it is a character "
                                          "device, not a picture file")}));
    EXPECT_TRUE(f.WorkspaceIsFirstPicture());
}

TEST(Load1Click, APictureOverTheMemoryLimitIsRefusedBeforeItIsRead)
{
    LoadedForm f;
    const QString path = f.Write("large.png", Encoded(ColourPicture(800, 600), "PNG"));
    SetPictureMemoryLimit(1);  // 800 x 600 at four bytes a pixel: 1.83 MB
    f.dialogs.OpenAnswers = {path, path};
    f.form.Load1->trigger();
    SetPictureMemoryLimit(4096);
    ASSERT_EQ(f.dialogs.Errors.size(), 1);
    EXPECT_EQ(f.dialogs.Errors.front(),
              QStringLiteral("Cannot read the picture \"large.png\": its 800 x 600 pixels need "
                             "2 MB, more than the 1 MB a picture may take"));
    EXPECT_TRUE(f.WorkspaceIsFirstPicture());
    f.form.Load1->trigger();  // within the limit again
    EXPECT_EQ(f.dialogs.Errors.size(), 1);
    EXPECT_EQ(f.form.ImageWidth(), 800);
}

TEST(Workbench, ATextThatIsNoIntegerEndsTheCommandWithTheConversionMessage)
{
    LoadedForm f;
    struct Case {
        QLineEdit* edit;  // the text goes here, or into label
        QLabel* label;
        const char* text;
        std::function<void()> command;
    };
    TForm1& form = f.form;
    const Case cases[] = {
        {nullptr, form.Label11, "12a", [&] { form.Button1Click(); }},          // filter
        {nullptr, form.Label13, "", [&] { form.Button8Click(); }},             // detection
        {nullptr, form.Label12, " 5", [&] { form.Button9Click(); }},           // template
        {nullptr, form.Label14, "1e3", [&] { form.Button11Click(); }},         // edge
        {nullptr, form.Label11, "0x10", [&] { form.Button12Click(); }},        // straight edge
        {nullptr, form.Label12, "-", [&] { form.Button13Click(); }},           // circular edge
        {nullptr, form.Label13, "9999999999", [&] { form.Button14Click(); }},  // tool window
        {nullptr, form.Label20, "12.5", [&] { form.Button4Click(); }},         // brightness
        {form.Edit1, nullptr, "two", [&] { form.Button2Click(); }},            // morphology rounds
        // A typed threshold is taken when the typing ends.
        {form.Edit2, nullptr, "+", [&] { emit form.Edit2->editingFinished(); }},
        {form.Edit3, nullptr, "٣", [&] { emit form.Edit3->editingFinished(); }},  // not ASCII
    };
    form.ChooseMorphology(0);
    for (const Case& c : cases) {
        f.dialogs.Errors.clear();
        f.SetRegion(QStringLiteral("5"), QStringLiteral("5"), QStringLiteral("30"),
                    QStringLiteral("20"));
        form.Label20->setText(QStringLiteral("128"));
        const QString text = QString::fromUtf8(c.text);
        RunGuarded([&] {
            if (c.edit != nullptr)
                c.edit->setText(text);
            else
                c.label->setText(text);
            c.command();
        });
        ASSERT_EQ(f.dialogs.Errors.size(), 1) << c.text;
        EXPECT_EQ(f.dialogs.Errors.front(),
                  QStringLiteral("'%1' is not a valid integer value").arg(text));
        EXPECT_TRUE(f.WorkspaceIsFirstPicture());
        if (c.edit != nullptr) {
            c.edit->setText(QStringLiteral("1"));
            emit c.edit->editingFinished();
        }
    }
    EXPECT_EQ(form.ScrollBar4->value(), 1);  // the typed "+" left the slider where "1" put it
    EXPECT_EQ(form.Edit3->text(), QString::number(form.ScrollBar5->value()));  // "٣" went
}

TEST(Workbench, RegionsOutsideThePictureOrOfNoPixelsAreSafeInEveryCommand)
{
    LoadedForm f;
    TForm1& form = f.form;
    form.ChooseFilter(2);  // median
    form.ChooseMorphology(4);
    struct Corners {
        const char *X1, *Y1, *X2, *Y2;
    };
    const Corners regions[] = {
        {"200", "200", "300", "300"},
        {"-50", "-40", "-10", "-1"},
        {"10", "10", "10", "10"},
        {"39", "0", "39", "29"},
        {"-2147483648", "-2147483648", "2147483647", "2147483647"},
        {"2147483647", "5", "-2147483648", "9"},
    };
    for (const Corners& r : regions) {
        f.dialogs.Errors.clear();
        f.dialogs.Messages.clear();
        f.SetRegion(QString::fromLatin1(r.X1), QString::fromLatin1(r.Y1), QString::fromLatin1(r.X2),
                    QString::fromLatin1(r.Y2));
        const Region cut = form.ReadRegionOfInterest();
        const bool empty = cut.X1 >= cut.X2 || cut.Y1 >= cut.Y2;
        form.Button1Click();  // the filter writes nothing outside the region cut to the picture
        EXPECT_EQ(f.AfterIsBefore(), empty) << r.X1 << ", " << r.Y1;
        form.Button8Click();
        form.Button11Click();
        form.Button12Click();
        form.Button13Click();
        form.Button9Click();   // no template of no pixels: a message says so
        form.Button14Click();  // no tool picture of no pixels: a message says so
        EXPECT_TRUE(f.dialogs.Errors.isEmpty()) << qPrintable(f.dialogs.Errors.join('\n'));
        EXPECT_EQ(f.dialogs.Messages.size(), empty ? 2 : 0) << r.X1 << ", " << r.Y1;
        EXPECT_TRUE(f.WorkspaceIsFirstPicture());
    }
}

TEST(Workbench, EveryCommandBeforeTheFirstPictureDoesNothing)
{
    LoadedForm loaded;  // only for a template file from an earlier search
    loaded.SetRegion(QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("20"),
                     QStringLiteral("20"));
    loaded.form.Button9Click();
    ASSERT_TRUE(QFileInfo::exists(TemplateFilePath()));

    FakeDialogs dialogs;
    TForm1 form;
    const std::function<void()> commands[] = {
        [&] { form.Button1Click(); },
        [&] { form.Button2Click(); },
        [&] { form.Button4Click(); },
        [&] { form.Button5Click(); },
        [&] { form.Button8Click(); },
        [&] { form.Button10Click(); },
        [&] { form.ScrollBar6->setValue(20), form.Button10Click(); },
        [&] { form.Button11Click(); },
        [&] { form.Button12Click(); },
        [&] { form.Button13Click(); },
        [&] { form.Button6Click(); },
        [&] { form.Button15Click(); },
        [&] { form.CheckBox50->setChecked(true); },  // AUTO over no picture: 255
        [&] { emit form.Threshold1->aboutToShow(); },
        [&] { emit form.DetectObject1->aboutToShow(); },
    };
    for (const auto& command : commands)
        RunGuarded(command);
    EXPECT_TRUE(dialogs.Errors.isEmpty()) << qPrintable(dialogs.Errors.join('\n'));
    EXPECT_FALSE(form.BeforeImage);
    EXPECT_FALSE(form.AfterImage());
    EXPECT_EQ(form.Label27->text(), QStringLiteral("255"));
    form.Button9Click();  // the template and the tool picture need pixels: each says so
    form.Button14Click();
    EXPECT_EQ(dialogs.Messages.size(), 2);
}

TEST(ExchangeFiles, AFolderThatCannotBeWrittenIsReportedAndNothingChanges)
{
    LoadedForm f;
    // Running as any user, even one whom no permission stops: a file stands
    // where the application-data folder has to be.
    const QString folder = ExchangeFolder();
    QDir(folder).removeRecursively();
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    f.SetRegion(QStringLiteral("5"), QStringLiteral("5"), QStringLiteral("25"),
                QStringLiteral("25"));
    f.form.Button9->setEnabled(true);
    f.form.Button9->click();   // Create Template
    f.form.Button14->click();  // Tool Button
    ASSERT_EQ(f.dialogs.Errors.size(), 2);
    EXPECT_TRUE(
        f.dialogs.Errors[0].startsWith(QStringLiteral("Cannot write the picture \"temp.bmp\": ")));
    EXPECT_TRUE(
        f.dialogs.Errors[1].startsWith(QStringLiteral("Cannot write the picture \"temp1.bmp\": ")));
    EXPECT_TRUE(f.form3.isHidden());
    EXPECT_TRUE(QFileInfo(folder).isFile());
    QFile::remove(folder);
}

TEST(ExchangeFiles, ADamagedOrShortTemplateFileIsReportedAndTheGridKept)
{
    LoadedForm f;
    const QByteArray bmp = Encoded(ColourPicture(12, 12), "BMP");
    for (const QByteArray& bytes :
         {QByteArray("BM and nothing a bitmap needs"), bmp.left(bmp.size() - 7)}) {
        QFile file(TemplateFilePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        f.dialogs.Errors.clear();
        f.form.StringGrid2->SetCell(1, 1, QStringLiteral("kept"));
        RunGuarded([&] { f.form.Button10Click(); });
        ASSERT_EQ(f.dialogs.Errors.size(), 1);
        EXPECT_TRUE(f.dialogs.Errors.front().startsWith(
            QStringLiteral("Cannot read the picture \"temp.bmp\": ")));
        EXPECT_EQ(f.form.StringGrid2->Cell(1, 1), QStringLiteral("kept"));
    }
}
