// tests/ui/PictureWritersTest.cpp: the direct writers write Qt's bytes, and a
// save through them fails as one through Qt does.
#include "PictureFiles.h"
#include "PictureWriters.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>

#include <algorithm>
#include <random>

namespace {

// Seeded noise in every channel, alpha included, of the given layout. The
// bytes that pad each row to four are zero: Qt's bitmap writer copies an
// 8-bit row whole, padding included, and the direct writer writes zeros.
QImage Noise(std::mt19937& rng, int width, int height, QImage::Format format)
{
    QImage picture(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgba(rng() % 256, rng() % 256, rng() % 256, rng() % 256));
    picture = picture.convertToFormat(format);
    const qsizetype used = (qsizetype{width} * picture.depth() + 7) / 8;
    for (int y = 0; y < height; ++y)
        std::fill(picture.scanLine(y) + used, picture.scanLine(y) + picture.bytesPerLine(), 0);
    return picture;
}

QByteArray QtBytes(const QImage& picture, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(QImageWriter(&buffer, format).write(picture)) << format;
    return bytes;
}

QByteArray DirectBytes(const QImage& picture, const char* format, Taken expected = Taken::Written)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(WritePictureDirectly(picture, format, buffer), expected) << format;
    return bytes;
}

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

qsizetype FirstDifference(const QByteArray& a, const QByteArray& b)
{
    qsizetype i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    return i;
}

const char* const kFormats[] = {"bmp", "tif", "tiff"};
constexpr QImage::Format kKinds[] = {QImage::Format_Grayscale8, QImage::Format_RGB32,
                                     QImage::Format_ARGB32};

}  // namespace

TEST(WritePictureDirectly, WritesQtsBytesForEveryKindSizeAndResolution)
{
    std::mt19937 rng(2024);  // fixed seed: a failure reproduces
    const QSize sizes[] = {{1, 1}, {1, 9}, {9, 1}, {2, 3}, {301, 203}, {67, 1031}};
    const int resolutions[][2] = {{3937, 3937}, {2835, 2835}, {5000, 1200}, {1234, 987}, {0, 0}};
    for (const char* format : kFormats)
        for (const QImage::Format kind : kKinds)
            for (const QSize size : sizes)
                for (const auto& dpm : resolutions) {
                    QImage picture = Noise(rng, size.width(), size.height(), kind);
                    picture.setDotsPerMeterX(dpm[0]);
                    picture.setDotsPerMeterY(dpm[1]);
                    const QByteArray qt = QtBytes(picture, format);
                    const QByteArray direct = DirectBytes(picture, format);
                    ASSERT_EQ(direct, qt) << "first difference at " << FirstDifference(direct, qt) << " "
                                          << format << " kind " << kind << " " << size.width()
                                          << " x " << size.height() << " dpm " << dpm[0];
                    // Equal bytes read back equal; the pixels are checked on
                    // their own all the same, against the picture written where
                    // the round trip keeps it (a bitmap drops alpha, and Qt's
                    // TIFF reader does not give RGBA back exactly).
                    const QImage back = QImage::fromData(direct);
                    ASSERT_EQ(back, QImage::fromData(qt));
                    if (kind != QImage::Format_ARGB32) {
                        ASSERT_EQ(back.convertToFormat(kind), picture) << format << kind;
                    }
                }
}

TEST(WritePictureDirectly, LeavesToQtWhatQtWouldWriteDifferently)
{
    std::mt19937 rng(5);
    QImage text = Noise(rng, 8, 6, QImage::Format_RGB32);
    text.setText(QStringLiteral("Description"), QStringLiteral("parts"));
    QImage profiled = Noise(rng, 8, 6, QImage::Format_RGB32);
    profiled.setColorSpace(QColorSpace::SRgb);
    const QImage others[] = {text, profiled, Noise(rng, 8, 6, QImage::Format_RGB888),
                             Noise(rng, 8, 6, QImage::Format_Indexed8),
                             Noise(rng, 8, 6, QImage::Format_ARGB32_Premultiplied),
                             Noise(rng, 8, 6, QImage::Format_Mono), QImage()};
    for (const char* format : kFormats)
        for (const QImage& picture : others)
            EXPECT_TRUE(DirectBytes(picture, format, Taken::No).isEmpty()) << format;
    for (const char* format : {"png", "jpg", "webp", "ppm", "xbm"})
        EXPECT_TRUE(DirectBytes(Noise(rng, 8, 6, QImage::Format_RGB32), format, Taken::No).isEmpty());
}

TEST(WritePictureFile, WritesTheSameFileWithAndWithoutTheDirectWriters)
{
    QTemporaryDir dir;
    std::mt19937 rng(77);
    for (const QImage::Format kind : kKinds) {
        const QImage picture = Noise(rng, 123, 45, kind);
        for (const char* name : {"a.bmp", "a.png", "a.tif", "a.TIFF", "a"}) {
            const QString direct = dir.filePath(QStringLiteral("direct-") + QLatin1String(name));
            const QString qt = dir.filePath(QStringLiteral("qt-") + QLatin1String(name));
            WritePictureFile(picture, direct);
            SetDirectPictureWritersForTesting(false);
            WritePictureFile(picture, qt);
            SetDirectPictureWritersForTesting(true);
            EXPECT_EQ(Contents(direct), Contents(qt)) << name << " kind " << kind;
            EXPECT_EQ(ReadPictureFile(direct), ReadPictureFile(qt)) << name;
        }
    }
}

TEST(WritePictureFile, TheDirectWritersRefuseAFullDiskAtEveryByte)
{
    // Room for every size up to the file's own: each must fail as a full disk,
    // keep the old file and leave no temporary file; the file's own size fits.
    // TIFF goes back to its header last, after the directory at the end.
    QTemporaryDir dir;
    std::mt19937 rng(9);
    const QImage picture = Noise(rng, 37, 29, QImage::Format_ARGB32);
    for (const char* name : {"out.bmp", "out.png", "out.tif"}) {
        const QString path = dir.filePath(QLatin1String(name));
        WritePictureFile(picture, path);
        const qint64 size = QFile(path).size();
        for (const qint64 room : {qint64{0}, qint64{7}, size / 2, size - 9, size - 1, size}) {
            QFile old(path);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
            old.write("the old file");
            old.close();
            SetPictureDiskRoomForTesting(room);
            std::string error;
            try {
                WritePictureFile(picture, path);
            } catch (const PictureError& e) {
                error = e.what();
            }
            SetPictureDiskRoomForTesting(-1);
            EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                      QStringList{QLatin1String(name)}) << name << " room " << room;
            if (room == size) {
                EXPECT_EQ(error, "") << name;
                EXPECT_EQ(QImage(path).convertToFormat(QImage::Format_ARGB32),
                          QImage::fromData(QtBytes(picture, name + 4)).convertToFormat(
                              QImage::Format_ARGB32)) << name;
            } else {
                EXPECT_EQ(error, "Cannot write the picture \"" + std::string(name) +
                                     "\": No space left on device") << name << " room " << room;
                EXPECT_EQ(Contents(path), QByteArray("the old file")) << name << " room " << room;
            }
        }
        QFile::remove(path);
    }
}
