// tests/ui/ExifTest.cpp: pictures turned upright by their orientation tag;
// damaged EXIF blocks are ignored.
#include "Exif.h"
#include "PictureFiles.h"
#include "TestPictures.h"
#include "Unit1.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <tiffio.h>
#include <turbojpeg.h>

#include <random>

namespace {

constexpr int kWidth = 24, kHeight = 16;  // JPEG blocks fit: no edge effects differ

// The EXIF block of an APP1 segment holding only the orientation tag.
QByteArray ExifBlock(int orientation, bool bigEndian)
{
    QByteArray b("Exif\0\0", 6);
    const auto put = [&](quint32 v, int bytes) {
        for (int k = 0; k < bytes; ++k)
            b += char(v >> 8 * (bigEndian ? bytes - 1 - k : k));
    };
    b += bigEndian ? "MM" : "II";
    put(42, 2), put(8, 4);           // header, first directory at 8
    put(2, 2);                       // two entries
    put(282, 2), put(5, 2), put(1, 4), put(0, 4);  // a resolution first (RATIONAL, elsewhere)
    put(274, 2), put(3, 2), put(1, 4), put(static_cast<quint32>(orientation), 2), put(0, 2);
    put(0, 4);
    return b;
}

// A 4:4:4 JPEG of random pixels with the EXIF block (if any) right after SOI.
QByteArray JpegWithExif(const QByteArray& exif)
{
    std::mt19937 rng(5);
    std::vector<uchar> pixels(kWidth * kHeight * 3);
    for (uchar& p : pixels)
        p = static_cast<uchar>(rng());
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, pixels.data(), kWidth, 0, kHeight, TJPF_RGB, &out, &size, TJSAMP_444, 95, 0);
    QByteArray jpeg(reinterpret_cast<char*>(out), static_cast<qsizetype>(size));
    tjFree(out);
    tjDestroy(handle);
    if (exif.isEmpty())
        return jpeg;
    QByteArray segment("\xFF\xE1", 2);
    segment += char((exif.size() + 2) >> 8), segment += char((exif.size() + 2) & 255);
    return jpeg.left(2) + segment + exif + jpeg.mid(2);
}

QString GrayTiff(const QTemporaryDir& dir, int orientation)
{
    const QString path = dir.filePath(QStringLiteral("turned%1.tif").arg(orientation));
    TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
    std::vector<uchar> row(kWidth);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x)
            row[x] = static_cast<uchar>(x * 10 + y);
        TIFFWriteScanline(t, row.data(), y, 0);
    }
    TIFFClose(t);
    return path;
}

// Where pixel (x, y) of the upright picture is stored, for a stored picture
// of width x height: the tag's meaning, written out case by case.
QPoint StoredAt(int orientation, int x, int y, int width, int height)
{
    switch (orientation) {
    case 2: return {width - 1 - x, y};
    case 3: return {width - 1 - x, height - 1 - y};
    case 4: return {x, height - 1 - y};
    case 5: return {y, x};
    case 6: return {y, height - 1 - x};
    case 7: return {width - 1 - y, height - 1 - x};
    case 8: return {width - 1 - y, x};
    default: return {x, y};
    }
}

void ExpectTurned(const QImage& upright, const QImage& stored, int orientation, const char* what)
{
    const bool swapped = orientation >= 5;
    ASSERT_EQ(upright.width(), swapped ? stored.height() : stored.width()) << what << orientation;
    ASSERT_EQ(upright.height(), swapped ? stored.width() : stored.height()) << what << orientation;
    ASSERT_EQ(upright.format(), stored.format()) << what << orientation;
    for (int y = 0; y < upright.height(); ++y)
        for (int x = 0; x < upright.width(); ++x)
            ASSERT_EQ(upright.pixel(x, y),
                      stored.pixel(StoredAt(orientation, x, y, stored.width(), stored.height())))
                << what << " orientation " << orientation << " at " << x << "," << y;
}

}  // namespace

TEST(ReadPictureFile, TurnsJpegAndTiffPicturesAsTheirOrientationTagSays)
{
    QTemporaryDir dir;
    const QImage storedJpeg = ReadPictureFile(Write(dir, QStringLiteral("plain.jpg"), JpegWithExif({})));
    const QImage storedTiff = ReadPictureFile(GrayTiff(dir, 1));
    for (int orientation = 1; orientation <= 8; ++orientation) {
        for (const bool bigEndian : {false, true}) {
            const QString path = Write(dir, QStringLiteral("turned.jpg"),
                                       JpegWithExif(ExifBlock(orientation, bigEndian)));
            ExpectTurned(ReadPictureFile(path), storedJpeg, orientation, "jpeg");
            SetDirectPictureReadersForTesting(false);  // Qt's reading is turned alike
            ExpectTurned(ReadPictureFile(path), storedJpeg, orientation, "jpeg through qt");
            SetDirectPictureReadersForTesting(true);
        }
        ExpectTurned(ReadPictureFile(GrayTiff(dir, orientation)), storedTiff, orientation, "tiff");
    }
}

TEST(PictureOrientation, IgnoresDamagedExifBlocks)
{
    const QByteArray good = ExifBlock(6, false);
    ASSERT_EQ(TiffOrientation(reinterpret_cast<const uchar*>(good.constData()) + 6, good.size() - 6), 6);
    std::vector<std::pair<std::string, QByteArray>> damaged;
    for (qsizetype cut = 6; cut < 38; ++cut)  // cut before the end of the value
        damaged.emplace_back("cut to " + std::to_string(cut), good.left(cut));
    const auto patched = [&](int at, std::initializer_list<int> bytes) {
        QByteArray b = good;
        for (const int v : bytes)
            b[at++] = char(v);
        return b;
    };
    damaged.emplace_back("directory past the end", patched(10, {0xF0, 0xFF, 0xFF, 0x7F}));
    damaged.emplace_back("directory at the last byte", patched(10, {char(good.size() - 7), 0, 0, 0}));
    QByteArray endless = patched(14, {0xFF, 0xFF});  // entries run past the end
    endless[28] = char(275 & 255), endless[29] = char(275 >> 8);
    damaged.emplace_back("65535 entries, none the tag", endless);
    damaged.emplace_back("tag as LONG", patched(30, {4, 0}));
    damaged.emplace_back("two values", patched(32, {2, 0, 0, 0}));
    damaged.emplace_back("value 0", patched(36, {0, 0}));
    damaged.emplace_back("value 9", patched(36, {9, 0}));
    damaged.emplace_back("no byte order", patched(6, {'X', 'X'}));
    damaged.emplace_back("not 42", patched(8, {43, 0}));
    QTemporaryDir dir;
    const QImage stored = ReadPictureFile(Write(dir, QStringLiteral("plain.jpg"), JpegWithExif({})));
    for (const auto& [what, exif] : damaged) {
        const QByteArray jpeg = JpegWithExif(exif);
        EXPECT_EQ(PictureOrientation(reinterpret_cast<const uchar*>(jpeg.constData()), jpeg.size()), 1)
            << what;
        EXPECT_EQ(ReadPictureFile(Write(dir, QStringLiteral("bad-exif.jpg"), jpeg)), stored) << what;
    }
    // A segment length that runs past the file: no orientation, no read past the end.
    const QByteArray shortSegment = QByteArray("\xFF\xD8\xFF\xE1\x7F\xFF", 6) + good;
    EXPECT_EQ(PictureOrientation(reinterpret_cast<const uchar*>(shortSegment.constData()),
                                 shortSegment.size()), 1);
}

TEST(Load1Click, TheGrayImageFollowsTheTurnedPicture)
{
    QTemporaryDir dir;
    const QString path = Write(dir, QStringLiteral("turned.jpg"), JpegWithExif(ExifBlock(6, false)));
    TForm1 form;
    form.LoadPicture(path);
    const QImage upright = ReadPictureFile(path);
    ASSERT_EQ(form.ImageWidth(), kHeight);  // a quarter turn: 16 x 24
    ASSERT_EQ(form.ImageHeight(), kWidth);
    for (int y = 0; y < kWidth; ++y)
        for (int x = 0; x < kHeight; ++x) {
            const QRgb p = upright.pixel(x, y);
            ASSERT_EQ(form.BeforeImage[x][y], (qRed(p) + qGreen(p) + qBlue(p)) / 3) << x << "," << y;
        }
}
