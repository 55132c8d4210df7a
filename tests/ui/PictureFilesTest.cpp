// tests/ui/PictureFilesTest.cpp: pictures cut short, files that are no
// pictures, and what a save writes or why it fails.
#include "PictureFiles.h"
#include "TestPictures.h"
#include "TestImages.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <random>
#include <thread>

namespace {

// width x height of seeded noise in every channel.
QImage NoisyPicture(int width, int height, QImage::Format format = QImage::Format_RGB32)
{
    std::mt19937 rng(7);
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb(rng() % 256, rng() % 256, rng() % 256));
    return picture.convertToFormat(format);
}

QByteArray Encoded(const QImage& picture, const char* format, bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setProgressiveScanWrite(progressive);
    EXPECT_TRUE(writer.write(picture)) << format;
    return bytes;
}

// A GIF of the picture's gray values (Qt writes none): a 256-gray palette and
// LZW codes that are all literals, a clear code every 253 of them so that the
// code width stays 9 bits.
QByteArray GrayGif(const QImage& picture)
{
    const int width = picture.width(), height = picture.height();
    QByteArray gif("GIF89a");
    const auto le16 = [&](int v) { gif += char(v & 255), gif += char(v >> 8); };
    le16(width), le16(height);
    gif += char(0xF7), gif += char(0), gif += char(0);
    for (int g = 0; g < 256; ++g)
        gif += char(g), gif += char(g), gif += char(g);
    gif += char(0x2C), le16(0), le16(0), le16(width), le16(height), gif += char(0);
    gif += char(8);
    QByteArray codes;
    std::uint32_t bits = 0;
    int count = 0;
    const auto put = [&](int code) {
        bits |= static_cast<std::uint32_t>(code) << count;
        for (count += 9; count >= 8; count -= 8, bits >>= 8)
            codes += char(bits & 255);
    };
    for (int i = 0; i < width * height; ++i) {
        if (i % 253 == 0)
            put(256);
        put(qGray(picture.pixel(i % width, i / width)));
    }
    put(257);
    if (count > 0)
        codes += char(bits & 255);
    for (int at = 0; at < codes.size(); at += 255) {
        const QByteArray block = codes.mid(at, 255);
        gif += char(block.size()), gif += block;
    }
    gif += char(0), gif += char(0x3B);
    return gif;
}

// An uncompressed RGB TIFF with its directory before the pixels, as many
// writers lay it out (Qt puts it last, so a cut Qt file loses its directory).
QByteArray TiffDirectoryFirst(const QImage& picture)
{
    const int width = picture.width(), height = picture.height();
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    const quint16 tags[][2] = {{256, 4}, {257, 4}, {258, 3}, {259, 3}, {262, 3},
                               {273, 4}, {277, 3}, {278, 4}, {279, 4}};
    const quint32 pixelsAt = 8 + 2 + 9 * 12 + 4;
    const quint32 values[] = {quint32(width), quint32(height), 8, 1, 2, pixelsAt, 3,
                              quint32(height), quint32(width * height * 3)};
    char field[12];
    qToLittleEndian(quint16{9}, field);
    tiff += QByteArray(field, 2);
    for (int k = 0; k < 9; ++k) {
        qToLittleEndian(tags[k][0], field);
        qToLittleEndian(tags[k][1], field + 2);
        qToLittleEndian(quint32{1}, field + 4);
        qToLittleEndian(values[k], field + 8);
        tiff += QByteArray(field, 12);
    }
    tiff += QByteArray(4, '\0');
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const QRgb p = picture.pixel(x, y);
            tiff += char(qRed(p)), tiff += char(qGreen(p)), tiff += char(qBlue(p));
        }
    return tiff;
}

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The message of the PictureError thrown, or nothing.
std::string ReadError(const QString& path)
{
    try {
        ReadPictureFile(path);
    } catch (const PictureError& error) {
        return error.what();
    }
    return {};
}

std::string WriteError(const QImage& picture, const QString& path)
{
    try {
        WritePictureFile(picture, path);
    } catch (const PictureError& error) {
        return error.what();
    }
    return {};
}

std::string Text(const QString& text) { return text.toStdString(); }

int MaxGrayError(const QImage& a, const QImage& b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            worst = std::max(worst, std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))));
    return worst;
}

}  // namespace

TEST(ReadPictureFile, RefusesEveryFormatCutAnywherePastItsHeaders)
{
    QTemporaryDir dir;
    const QImage picture = NoisyPicture(256, 192);
    const QImage gray = picture.convertToFormat(QImage::Format_Grayscale8);
    struct Case {
        const char* name;
        QByteArray bytes;
        bool exact;  // the whole file reads back the picture's pixels
    };
    const Case cases[] = {
        {"cut.jpg", Encoded(picture, "jpeg"), false},
        {"progressive.jpg", Encoded(picture, "jpeg", true), false},
        {"gray.jpg", Encoded(gray, "jpeg"), false},
        {"cut.png", Encoded(picture, "png"), true},
        {"cut.tif", Encoded(picture, "tiff"), true},
        {"first.tif", TiffDirectoryFirst(picture), true},
        {"cut.gif", GrayGif(gray), false},
        {"cut.webp", Encoded(picture, "webp"), false},
        {"cut.bmp", Encoded(picture, "bmp"), true},
        {"cut.ppm", Encoded(picture, "ppm"), true},
        {"cut.pgm", Encoded(gray, "pgm"), false},
        {"cut.xbm", Encoded(picture, "xbm"), false},
    };
    for (const Case& c : cases) {
        const QString name = QString::fromLatin1(c.name);
        const QImage whole = ReadPictureFile(Write(dir, name, c.bytes));
        ASSERT_EQ(whole.size(), picture.size()) << c.name;
        if (c.exact) {
            EXPECT_EQ(whole.convertToFormat(QImage::Format_RGB32), picture) << c.name;
        }
        if (QByteArray(c.name) == "cut.gif") {
            EXPECT_EQ(whole.convertToFormat(QImage::Format_Grayscale8), gray);
        }
        for (const double share : {0.3, 0.5, 0.9, 0.99, 0.9999}) {
            const qint64 kept = std::min<qint64>(c.bytes.size() * share, c.bytes.size() - 1);
            const std::string error = ReadError(Write(dir, name, c.bytes.left(kept)));
            EXPECT_EQ(error.rfind(Text(QStringLiteral("Cannot read the picture \"%1\": ").arg(name)), 0), 0u)
                << c.name << " cut to " << kept << " of " << c.bytes.size() << ": " << error;
        }
    }
}

TEST(ReadPictureFile, NamesTheReasonForACutOrDamagedJpeg)
{
    QTemporaryDir dir;
    const QByteArray jpeg = Encoded(NoisyPicture(256, 192), "jpeg");
    // Cut inside the pixels: the stream never reaches its end marker.
    EXPECT_EQ(ReadError(Write(dir, QStringLiteral("a.jpg"), jpeg.left(jpeg.size() / 2))), Text(QStringLiteral("Cannot read the picture \"a.jpg\": the file ends before its "
                             "picture data does")));
    // Only the end marker cut off: every pixel is there, the file is short still.
    EXPECT_EQ(ReadError(Write(dir, QStringLiteral("b.jpg"), jpeg.left(jpeg.size() - 2))), Text(QStringLiteral("Cannot read the picture \"b.jpg\": the file ends before its "
                             "picture data does")));
    // The second half of the pixels gone but the end marker kept: only the
    // decoder can tell.
    const QByteArray holed = jpeg.left(jpeg.size() / 2) + jpeg.right(2);
    EXPECT_EQ(ReadError(Write(dir, QStringLiteral("c.jpg"), holed)), Text(QStringLiteral("Cannot read the picture \"c.jpg\": the decoder reports damaged "
                             "data (Corrupt JPEG data: premature end of data segment)")));
    // Bytes after the end marker harm no pixel.
    EXPECT_EQ(ReadError(Write(dir, QStringLiteral("d.jpg"), jpeg + "trailing")), "");
}

TEST(ReadPictureFile, AcceptsEveryWholeSeedQtReadsAndEverySample)
{
    QTemporaryDir dir;
    static const char* const kExtensions[] = {"",     ".bmp", ".png", ".jpg", ".tif", ".pgm",
                                              ".ppm", ".pbm", ".gif", ".xpm", ".ico", ".tga",
                                              ".webp", ".xbm", ".wbmp", ".icns"};
    QStringList files;
    const QDir seeds(QStringLiteral(GRAYBENCH_SOURCE_DIR "/fuzz/corpus/fuzz_picture_loader"));
    for (const QString& seed : seeds.entryList(QDir::Files)) {
        const QByteArray bytes = Contents(seeds.filePath(seed));
        ASSERT_FALSE(bytes.isEmpty());
        files << Write(dir, QStringLiteral("seed-%1%2").arg(seed).arg(QString::fromLatin1(
                                kExtensions[static_cast<quint8>(bytes[0]) % std::size(kExtensions)])),
                       bytes.mid(1));
    }
    const QDir samples(QStringLiteral(GRAYBENCH_SOURCE_DIR "/samples"));
    for (const QString& sample : samples.entryList({QStringLiteral("*.png")}, QDir::Files))
        files << samples.filePath(sample);
    ASSERT_GE(files.size(), 30);
    int read = 0;
    for (const QString& file : files) {
        QImageReader reader(file);
        const QImage expected = reader.read();
        if (expected.isNull())
            continue;  // a seed Qt refuses too
        ++read;
        // The seeds cut short ("cut-*") are there to be refused.
        if (QFileInfo(file).fileName().startsWith(QStringLiteral("seed-cut-")))
            EXPECT_NE(ReadError(file), "") << qPrintable(file);
        else
            EXPECT_EQ(ReadError(file), "") << qPrintable(file);
    }
    EXPECT_GE(read, 30);
}

TEST(ReadPictureFile, RefusesPipesDevicesAndFoldersWithoutOpeningThem)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A read-open of the pipe waits for a writer. This one opens (and closes)
    // only once someone reads, which lets a blocked read end and be reported.
    std::atomic<bool> done{false}, opened{false};
    std::thread writer([&] {
        while (!done) {
            const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                opened = true, ::close(fd);
            ::usleep(10000);
        }
    });
    const std::string pipeError = ReadError(fifo);
    done = true;
    writer.join();
    EXPECT_FALSE(opened);
    EXPECT_EQ(pipeError, Text(QStringLiteral("Cannot read the picture \"fifo.png\": it is a "
                                              "named pipe, not a picture file")));
    EXPECT_EQ(ReadError(QStringLiteral("/dev/zero")), Text(QStringLiteral("Cannot read the picture \"zero\": it is a character device, not "
                             "a picture file")));
    EXPECT_EQ(ReadError(dir.path()), Text(QStringLiteral("Cannot read the picture \"%1\": it is a "
                                                    "folder, not a picture file")
                                         .arg(QFileInfo(dir.path()).fileName())));
}

TEST(WritePictureFile, RefusesExtensionsItCannotWriteAndListsThoseItCan)
{
    QTemporaryDir dir;
    const QImage picture = NoisyPicture(8, 6);
    for (const char* name : {"out.gif", "out.xyz", "out.GIF"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        const std::string error = WriteError(picture, path);
        EXPECT_EQ(error.rfind(Text(QStringLiteral("Cannot write the picture \"%1\": \".%2\" names no "
                                                  "format that can be written; use one of .bmp, ")
                                       .arg(QString::fromLatin1(name),
                                            QFileInfo(path).suffix().toLower())),
                              0),
                  0u)
            << error;
        for (const char* listed : {".jpg", ".png", ".tif", ".pgm", ".webp"})
            EXPECT_NE(error.find(listed), std::string::npos) << listed;
        EXPECT_FALSE(QFileInfo::exists(path));
    }
    const QString fifo = dir.filePath(QStringLiteral("pipe.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(WriteError(picture, fifo), Text(QStringLiteral("Cannot write the picture \"pipe.png\": "
                                                        "it is a named pipe, not a picture file")));
    EXPECT_FALSE(QFileInfo(fifo).isFile());  // still the pipe
}

TEST(WritePictureFile, RefusesSidesTheFormatCannotHoldBeforeEncoding)
{
    QTemporaryDir dir;
    struct Case {
        const char* name;
        int width, height;
        const char* reason;  // empty: written
    };
    const Case cases[] = {
        {"tall.jpg", 1, 70000, "the picture is 1 x 70000 pixels; JPEG cannot hold more than 65,500 rows"},
        {"wide.jpeg", 65501, 1, "the picture is 65501 x 1 pixels; JPEG cannot hold more than 65,500 columns"},
        {"edge.jpg", 2, 65500, ""},
        {"wide.webp", 16384, 2, "the picture is 16384 x 2 pixels; WebP cannot hold more than 16,383 columns"},
        {"edge.webp", 16383, 2, ""},
    };
    for (const Case& c : cases) {
        QImage picture(c.width, c.height, QImage::Format_RGB32);
        picture.fill(qRgb(90, 90, 90));
        const std::string error = WriteError(picture, dir.filePath(QString::fromLatin1(c.name)));
        if (*c.reason == '\0')
            EXPECT_EQ(error, "") << c.name;
        else
            EXPECT_EQ(error, Text(QStringLiteral("Cannot write the picture \"%1\": %2")
                                 .arg(QString::fromLatin1(c.name), QString::fromLatin1(c.reason))));
    }
}

TEST(WritePictureFile, KeepsGrayWithinOneLevelInJpegAndExactlyInWebp)
{
    QTemporaryDir dir;
    for (const QImage::Format format : {QImage::Format_Grayscale8, QImage::Format_RGB32}) {
        const QImage gray = NoisyPicture(256, 192, QImage::Format_Grayscale8).convertToFormat(format);
        const QString jpeg = dir.filePath(QStringLiteral("gray.jpg"));
        const QString webp = dir.filePath(QStringLiteral("gray.webp"));
        WritePictureFile(gray, jpeg);
        WritePictureFile(gray, webp);
        // Noise is the worst case for JPEG; at quality 100 it moves a level by 1
        // at most (the default quality, 75, by 43).
        EXPECT_EQ(MaxGrayError(ReadPictureFile(jpeg), gray), 1) << format;
        EXPECT_EQ(MaxGrayError(ReadPictureFile(webp), gray), 0) << format;
    }
}

TEST(WritePictureFile, AFullDiskIsNamedAndLeavesTheOldFileAndNoTemporaryFile)
{
    QTemporaryDir dir;
    const QImage picture = NoisyPicture(256, 192);
    for (const char* name : {"out.png", "out.bmp", "out.jpg", "out.tif", "out.webp", "out"}) {
        const QString path = Write(dir, QString::fromLatin1(name), "the old file");
        SetPictureDiskRoomForTesting(5000);
        const std::string error = WriteError(picture, path);
        SetPictureDiskRoomForTesting(-1);
        EXPECT_EQ(error, Text(QStringLiteral("Cannot write the picture \"%1\": No space left on device")
                             .arg(QString::fromLatin1(name))));
        EXPECT_EQ(Contents(path), QByteArray("the old file")) << name;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QString::fromLatin1(name)});
        QFile::remove(path);
    }
}

TEST(WritePictureFile, TheSystemsOwnReasonIsGiven)
{
    // The process may write files of 4 KB at most: the system refuses the rest
    // of a real write with EFBIG, as a full disk does with ENOSPC.
    QTemporaryDir dir;
    const QString path = Write(dir, QStringLiteral("out.bmp"), "the old file");
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    rlimit small = limit;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::string error = WriteError(NoisyPicture(256, 192), path);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(error, Text(QStringLiteral("Cannot write the picture \"out.bmp\": File too large")));
    EXPECT_EQ(Contents(path), QByteArray("the old file"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("out.bmp")});
}
