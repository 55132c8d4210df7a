// tests/ui/PictureDecodersTest.cpp: the direct readers give what Qt gives, for
// every kind they take, whole, cut or damaged; orientation tags turn pictures.
#include "Exif.h"
#include "Parallel.h"
#include "PictureDecoders.h"
#include "PictureBands.h"
#include "PictureFiles.h"
#include "PixelRows.h"
#include "TestPictures.h"
#include "VectorLevel.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <png.h>
#include <tiffio.h>
#include <turbojpeg.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <span>

namespace {

constexpr int kWidth = 37, kHeight = 23;  // odd, no symmetry, not a multiple of a block

std::vector<uchar> RandomBytes(std::mt19937& rng, std::size_t count)
{
    std::vector<uchar> bytes(count);
    for (uchar& b : bytes)
        b = static_cast<uchar>(rng());
    return bytes;
}

// A PNG of random samples in any colour type and depth, by libpng.
QByteArray PngFile(std::mt19937& rng, int colourType, int depth, bool interlaced,
                   bool transparency = false)
{
    QByteArray file;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &file,
        [](png_structp p, png_bytep data, png_size_t n) {
            static_cast<QByteArray*>(png_get_io_ptr(p))->append(reinterpret_cast<char*>(data),
                                                                 static_cast<qsizetype>(n));
        },
        nullptr);
    png_set_IHDR(png, info, kWidth, kHeight, depth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    constexpr int kColours = 200;  // indices up to 255 also test the table's end
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        std::vector<png_color> palette(kColours);
        for (png_color& c : palette)
            c = {static_cast<png_byte>(rng()), static_cast<png_byte>(rng()), static_cast<png_byte>(rng())};
        png_set_PLTE(png, info, palette.data(), kColours);
        if (transparency) {
            const std::vector<uchar> alpha = RandomBytes(rng, 50);
            png_set_tRNS(png, info, alpha.data(), 50, nullptr);
        }
    }
    png_set_pHYs(png, info, 2835, 1417, PNG_RESOLUTION_METER);
    png_write_info(png, info);
    const int channels = colourType == PNG_COLOR_TYPE_RGB ? 3 : colourType == PNG_COLOR_TYPE_RGBA ? 4
                         : colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
    const std::size_t rowBytes = static_cast<std::size_t>(kWidth) * channels * depth / 8;
    std::vector<std::vector<uchar>> rows;
    std::vector<png_bytep> pointers;
    for (int y = 0; y < kHeight; ++y) {
        rows.push_back(RandomBytes(rng, rowBytes));
        if (colourType == PNG_COLOR_TYPE_PALETTE)
            for (uchar& index : rows.back())
                index %= kColours;
    }
    for (auto& row : rows)
        pointers.push_back(row.data());
    png_write_image(png, pointers.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return file;
}

// A JPEG by TurboJPEG in any subsampling, from random smooth-ish pixels.
QByteArray JpegFile(std::mt19937& rng, int subsampling, bool progressive)
{
    const bool gray = subsampling == TJSAMP_GRAY;
    const int channels = gray ? 1 : 3;
    std::vector<uchar> pixels = RandomBytes(rng, std::size_t{kWidth} * kHeight * channels);
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(tjCompress2(handle, pixels.data(), kWidth, 0, kHeight, gray ? TJPF_GRAY : TJPF_RGB,
                          &out, &size, subsampling, 90, progressive ? TJFLAG_PROGRESSIVE : 0),
              0);
    QByteArray file(reinterpret_cast<char*>(out), static_cast<qsizetype>(size));
    tjFree(out);
    tjDestroy(handle);
    return file;
}

QByteArray QtFile(const QImage& picture, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(QImageWriter(&buffer, format).write(picture));
    return bytes;
}

QImage RandomPicture(std::mt19937& rng, QImage::Format format)
{
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            picture.setPixel(x, y, qRgb(rng() % 256, rng() % 256, rng() % 256));
    return picture.convertToFormat(format);
}

// A TIFF by libtiff: strips (of 5 rows unless told) or 16 x 16 tiles, any compression.
QByteArray TiffFile(std::mt19937& rng, const QString& path, bool gray, bool tiled, int compression,
                    int orientation = 1, int rows = kHeight, int rowsPerStrip = 5)
{
    TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), "w");
    const int samples = gray ? 1 : 3;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, rows);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, gray ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    if (compression != COMPRESSION_NONE)
        TIFFSetField(t, TIFFTAG_PREDICTOR, 2);
    TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, 72.5f);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, tiled ? RESUNIT_CENTIMETER : RESUNIT_INCH);
    if (tiled) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
        for (int y = 0; y < rows; y += 16)
            for (int x = 0; x < kWidth; x += 16) {
                std::vector<uchar> tile = RandomBytes(rng, 16 * 16 * samples);
                TIFFWriteTile(t, tile.data(), x, y, 0, 0);
            }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
        for (int y = 0; y < rows; ++y) {
            std::vector<uchar> row = RandomBytes(rng, std::size_t{kWidth} * samples);
            TIFFWriteScanline(t, row.data(), y, 0);
        }
    }
    TIFFClose(t);
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A bitmap: 8 bits with a table of `colours` entries, 24 or 32 bits; rows
// stored bottom-up unless topDown. infoSize 40 or 124.
QByteArray BmpFile(std::mt19937& rng, int bits, bool topDown, int colours = 0, int infoSize = 40,
                   int dotsPerMeter = 2835, int rows = kHeight)
{
    const int rowBytes = (kWidth * bits + 31) / 32 * 4;
    const int tableBytes = bits == 8 ? 4 * (colours == 0 ? 256 : colours) : 0;
    const int pixelsAt = 14 + infoSize + tableBytes;
    QByteArray file(pixelsAt, '\0');
    const auto put = [&](int at, qint64 v, int bytes) {
        for (int k = 0; k < bytes; ++k)
            file[at + k] = static_cast<char>(v >> 8 * k);
    };
    file[0] = 'B', file[1] = 'M';
    put(2, pixelsAt + rowBytes * rows, 4);
    put(10, pixelsAt, 4);
    put(14, infoSize, 4);
    put(18, kWidth, 4);
    put(22, topDown ? -rows : rows, 4);
    put(26, 1, 2);
    put(28, bits, 2);
    put(38, dotsPerMeter, 4);
    put(42, dotsPerMeter, 4);
    put(46, colours, 4);
    for (int i = 14 + infoSize; i < pixelsAt; ++i)
        file[i] = static_cast<char>(rng());
    for (int y = 0; y < rows; ++y) {
        std::vector<uchar> row = RandomBytes(rng, static_cast<std::size_t>(rowBytes));
        if (bits == 8 && colours != 0)
            for (uchar& index : row)
                index %= colours;
        file.append(reinterpret_cast<const char*>(row.data()), rowBytes);
    }
    return file;
}

QByteArray PnmFile(std::mt19937& rng, bool gray, const char* header, int rows = kHeight)
{
    QByteArray file = QByteArray(gray ? "P5" : "P6") + header;
    const std::vector<uchar> pixels = RandomBytes(rng, std::size_t{kWidth} * rows * (gray ? 1 : 3));
    return file + QByteArray(reinterpret_cast<const char*>(pixels.data()), std::ssize(pixels));
}

// The picture or the message, with the direct readers on or off.
struct Outcome {
    QImage picture;
    std::string error;
};
Outcome Read(const QString& path, bool direct)
{
    SetDirectPictureReadersForTesting(direct);
    Outcome o;
    try {
        o.picture = ReadPictureFile(path);
    } catch (const PictureError& error) {
        o.error = error.what();
    }
    SetDirectPictureReadersForTesting(true);
    return o;
}

// Same picture in every respect the workbench sees: format, table, resolution, every byte.
void ExpectSamePicture(const QImage& a, const QImage& b, const std::string& what)
{
    ASSERT_EQ(a.format(), b.format()) << what;
    ASSERT_EQ(a.size(), b.size()) << what;
    EXPECT_EQ(a.colorTable(), b.colorTable()) << what;
    EXPECT_EQ(a.dotsPerMeterX(), b.dotsPerMeterX()) << what;
    EXPECT_EQ(a.dotsPerMeterY(), b.dotsPerMeterY()) << what;
    const int lineBytes = (a.width() * a.depth() + 7) / 8;
    for (int y = 0; y < a.height(); ++y)
        ASSERT_EQ(std::memcmp(a.constScanLine(y), b.constScanLine(y), lineBytes), 0)
            << what << " row " << y;
    for (int y = 0; y < a.height(); ++y)  // RGB32's unused byte included, through pixel()
        for (int x = 0; x < a.width(); ++x)
            ASSERT_EQ(a.pixel(x, y), b.pixel(x, y)) << what << " at " << x << "," << y;
}

struct Kind {
    std::string name;
    QByteArray bytes;
};

std::vector<Kind> EveryKind(const QTemporaryDir& dir)
{
    std::mt19937 rng(2024);
    std::vector<Kind> kinds;
    for (const bool interlaced : {false, true}) {
        const std::string suffix = interlaced ? " interlaced" : "";
        kinds.push_back({"png gray 8" + suffix, PngFile(rng, PNG_COLOR_TYPE_GRAY, 8, interlaced)});
        kinds.push_back({"png gray+alpha 8" + suffix, PngFile(rng, PNG_COLOR_TYPE_GRAY_ALPHA, 8, interlaced)});
        kinds.push_back({"png rgb 8" + suffix, PngFile(rng, PNG_COLOR_TYPE_RGB, 8, interlaced)});
        kinds.push_back({"png rgba 8" + suffix, PngFile(rng, PNG_COLOR_TYPE_RGBA, 8, interlaced)});
        kinds.push_back({"png palette 8" + suffix, PngFile(rng, PNG_COLOR_TYPE_PALETTE, 8, interlaced)});
        kinds.push_back({"png palette+alpha 8" + suffix,
                         PngFile(rng, PNG_COLOR_TYPE_PALETTE, 8, interlaced, true)});
        kinds.push_back({"png gray 16" + suffix, PngFile(rng, PNG_COLOR_TYPE_GRAY, 16, interlaced)});
        kinds.push_back({"png rgb 16" + suffix, PngFile(rng, PNG_COLOR_TYPE_RGB, 16, interlaced)});
        kinds.push_back({"png rgba 16" + suffix, PngFile(rng, PNG_COLOR_TYPE_RGBA, 16, interlaced)});
    }
    kinds.push_back({"png by qt", QtFile(RandomPicture(rng, QImage::Format_RGB32), "png")});
    for (const bool progressive : {false, true}) {
        const std::string suffix = progressive ? " progressive" : "";
        kinds.push_back({"jpeg gray" + suffix, JpegFile(rng, TJSAMP_GRAY, progressive)});
        kinds.push_back({"jpeg 4:4:4" + suffix, JpegFile(rng, TJSAMP_444, progressive)});
        kinds.push_back({"jpeg 4:2:2" + suffix, JpegFile(rng, TJSAMP_422, progressive)});
        kinds.push_back({"jpeg 4:2:0" + suffix, JpegFile(rng, TJSAMP_420, progressive)});
    }
    kinds.push_back({"jpeg by qt", QtFile(RandomPicture(rng, QImage::Format_RGB32), "jpeg")});
    const QString scratch = dir.filePath(QStringLiteral("scratch.tif"));
    for (const bool gray : {false, true})
        for (const bool tiled : {false, true})
            for (const int compression : {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE})
                kinds.push_back({std::string("tiff ") + (gray ? "gray" : "rgb") +
                                     (tiled ? " tiles " : " strips ") + std::to_string(compression),
                                 TiffFile(rng, scratch, gray, tiled, compression)});
    kinds.push_back({"tiff by qt", QtFile(RandomPicture(rng, QImage::Format_RGB32), "tiff")});
    for (const bool topDown : {false, true}) {
        const std::string suffix = topDown ? " top-down" : " bottom-up";
        kinds.push_back({"bmp 8" + suffix, BmpFile(rng, 8, topDown)});
        kinds.push_back({"bmp 8 of 100 colours" + suffix, BmpFile(rng, 8, topDown, 100)});
        kinds.push_back({"bmp 24" + suffix, BmpFile(rng, 24, topDown)});
        kinds.push_back({"bmp 32" + suffix, BmpFile(rng, 32, topDown)});
        kinds.push_back({"bmp 24 v5 header" + suffix, BmpFile(rng, 24, topDown, 0, 124)});
        kinds.push_back({"bmp 24 no resolution" + suffix, BmpFile(rng, 24, topDown, 0, 40, 0)});
    }
    kinds.push_back({"bmp by qt", QtFile(RandomPicture(rng, QImage::Format_RGB32), "bmp")});
    kinds.push_back({"bmp 8 by qt", QtFile(RandomPicture(rng, QImage::Format_Grayscale8), "bmp")});
    kinds.push_back({"pgm", PnmFile(rng, true, "\n37 23\n255\n")});
    kinds.push_back({"pgm with comments", PnmFile(rng, true, " # made here\n37\t23 # size\n255 ")});
    kinds.push_back({"ppm", PnmFile(rng, false, "\n37 23\n255\n")});
    kinds.push_back({"pgm by qt", QtFile(RandomPicture(rng, QImage::Format_Grayscale8), "pgm")});
    return kinds;
}

}  // namespace

TEST(DecodePictureDirectly, TakesEveryCommonKindAndGivesWhatQtGives)
{
    QTemporaryDir dir;
    for (const Kind& kind : EveryKind(dir)) {
        ASSERT_FALSE(kind.bytes.isEmpty()) << kind.name;
        QByteArray format;
        const QImage direct =
            DecodePictureDirectly(reinterpret_cast<const uchar*>(kind.bytes.constData()),
                                  kind.bytes.size(), qint64{1} << 30, format);
        EXPECT_FALSE(direct.isNull()) << kind.name << ": left to Qt";
        const QString path = Write(dir, QStringLiteral("picture"), kind.bytes);
        const Outcome qt = Read(path, false), mine = Read(path, true);
        ASSERT_EQ(mine.error, "") << kind.name;
        if (qt.error.empty()) {
            ExpectSamePicture(mine.picture, qt.picture, kind.name);
            continue;
        }
        // Qt refuses uncompressed RGB tiles, sound as they are ("Invalid tile
        // byte count"): libtiff's own reading is the reference there.
        ASSERT_EQ(kind.name.rfind("tiff rgb tiles", 0), 0u) << kind.name << ": " << qt.error;
        TIFF* t = TIFFOpen(QFile::encodeName(path).constData(), "r");
        std::vector<std::uint32_t> rgba(std::size_t{kWidth} * kHeight);
        ASSERT_EQ(TIFFReadRGBAImageOriented(t, kWidth, kHeight, rgba.data(), ORIENTATION_TOPLEFT, 0), 1);
        TIFFClose(t);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const std::uint32_t p = rgba[std::size_t{kWidth} * y + x];
                ASSERT_EQ(mine.picture.pixel(x, y), qRgb(TIFFGetR(p), TIFFGetG(p), TIFFGetB(p)))
                    << kind.name << " at " << x << "," << y;
            }
    }
}

TEST(DecodePictureDirectly, GivesTheSameRowsOnAnyNumberOfThreads)
{
    QTemporaryDir dir;
    std::mt19937 rng(7);
    const Kind tall[] = {{"bmp 24 tall", BmpFile(rng, 24, false, 0, 40, 2835, 1001)},
                         {"bmp 8 tall", BmpFile(rng, 8, true, 0, 40, 2835, 1001)},
                         {"ppm tall", PnmFile(rng, false, "\n37 1001\n255\n", 1001)}};
    for (const Kind& kind : tall) {
        const QString path = Write(dir, QStringLiteral("tall"), kind.bytes);
        const Outcome qt = Read(path, false);
        ASSERT_EQ(qt.error, "") << kind.name;
        for (const int workers : {1, 2, 3}) {
            SetWorkerCount(workers);
            ExpectSamePicture(Read(path, true).picture, qt.picture,
                              kind.name + " on " + std::to_string(workers) + " threads");
        }
        SetWorkerCount(0);
    }
}

namespace {

// Decodes bytes, reading the rows from the file at path when it is given.
QImage DecodeWithFile(const QByteArray& bytes, const QString& path, GrayImage& gray)
{
    const int fd = path.isEmpty() ? -1 : ::open(QFile::encodeName(path).constData(), O_RDONLY);
    QByteArray format;
    QImage picture = DecodePictureDirectly(reinterpret_cast<const uchar*>(bytes.constData()),
                                           bytes.size(), qint64{1} << 30, format, &gray, fd);
    if (fd >= 0)
        ::close(fd);
    return picture;
}

}  // namespace

// The readers of uncompressed rows read them from the open file, a band at a
// time: bands that cross strips, either way up, on any number of threads,
// give what the mapped bytes give; a file cut after it was mapped gives none.
TEST(DecodePictureDirectly, ReadsUncompressedRowsFromTheOpenFileAsFromItsBytes)
{
    QTemporaryDir dir;
    std::mt19937 rng(5);
    const QString scratch = dir.filePath(QStringLiteral("scratch.tif"));
    const auto tiff = [&](bool gray, int rowsPerStrip) {
        return TiffFile(rng, scratch, gray, false, COMPRESSION_NONE, 1, 301, rowsPerStrip);
    };
    const Kind tall[] = {{"tiff rgb strips of 7", tiff(false, 7)},
                         {"tiff gray strips of 45", tiff(true, 45)},
                         {"tiff rgb one strip", tiff(false, 301)},
                         {"bmp 24 bottom-up", BmpFile(rng, 24, false, 0, 40, 2835, 301)},
                         {"bmp 32 top-down", BmpFile(rng, 32, true, 0, 40, 2835, 301)},
                         {"bmp 8 bottom-up", BmpFile(rng, 8, false, 0, 40, 2835, 301)},
                         {"ppm", PnmFile(rng, false, "\n37 301\n255\n", 301)},
                         {"pgm", PnmFile(rng, true, "\n37 301\n255\n", 301)}};
    for (const Kind& kind : tall) {
        const QString path = Write(dir, QStringLiteral("tall"), kind.bytes);
        GrayImage fromBytes;
        const QImage expected = DecodeWithFile(kind.bytes, QString(), fromBytes);
        ASSERT_FALSE(expected.isNull()) << kind.name;
        for (const int workers : {1, 2, 3}) {
            SetWorkerCount(workers);
            GrayImage gray;
            const std::string name = kind.name + " on " + std::to_string(workers) + " threads";
            ExpectSamePicture(DecodeWithFile(kind.bytes, path, gray), expected, name);
            ASSERT_TRUE(gray) << name;
            for (int x = 0; x < expected.width(); ++x)
                ASSERT_EQ(0, std::memcmp(gray[x], fromBytes[x], static_cast<std::size_t>(expected.height())))
                    << name << ", column " << x;
        }
        SetWorkerCount(0);
        const QString cut = Write(dir, QStringLiteral("cut"), kind.bytes.left(kind.bytes.size() * 2 / 3));
        GrayImage none;
        EXPECT_TRUE(DecodeWithFile(kind.bytes, cut, none).isNull()) << kind.name << " cut";
    }
}

TEST(DecodePictureDirectly, RefusesCutAndDamagedFilesAsQtDoes)
{
    QTemporaryDir dir;
    SetPictureMemoryLimit(16);
    std::mt19937 rng(99);
    for (const Kind& kind : EveryKind(dir)) {
        if (!Read(Write(dir, QStringLiteral("whole"), kind.bytes), false).error.empty())
            continue;  // a kind Qt refuses whole (see above)
        std::vector<std::pair<std::string, QByteArray>> variants;
        const qint64 n = kind.bytes.size();
        for (int k = 1; k <= 24; ++k) {  // cut everywhere, headers included
            const qint64 kept = n * k / 25 + static_cast<qint64>(rng() % 7);
            variants.emplace_back("cut to " + std::to_string(kept), kind.bytes.left(kept));
        }
        for (int k = 0; k < 6; ++k) {  // one byte changed: a bad checksum or damaged data
            QByteArray damaged = kind.bytes;
            const qint64 at = 8 + static_cast<qint64>(rng() % static_cast<std::uint32_t>(n - 8));
            damaged[at] = static_cast<char>(damaged[at] ^ (1 + rng() % 255));
            variants.emplace_back("byte " + std::to_string(at) + " changed", damaged);
        }
        for (const auto& [what, bytes] : variants) {
            const QString path = Write(dir, QStringLiteral("damaged"), bytes);
            const Outcome qt = Read(path, false), direct = Read(path, true);
            const std::string name = kind.name + ", " + what;
            EXPECT_EQ(direct.error, qt.error) << name;
            if (qt.error.empty() && direct.error.empty())
                ExpectSamePicture(direct.picture, qt.picture, name);
        }
    }
    // A size over the memory limit is refused before any pixel is read.
    QByteArray huge = BmpFile(rng, 24, false);
    huge[20] = 1, huge[24] = 1;  // 37 + 65536 columns, 23 + 65536 rows
    const Outcome refused = Read(Write(dir, QStringLiteral("huge.bmp"), huge), true);
    EXPECT_EQ(refused.error, "Cannot read the picture \"huge.bmp\": its 65573 x 65559 pixels need "
                             "16400 MB, more than the 16 MB a picture may take");
    SetPictureMemoryLimit(4096);
}

int LiteralGray(QRgb p) { return (qRed(p) + qGreen(p) + qBlue(p)) / 3; }

// The gray image of rows finished band by band: bands of any height (one row,
// across the strip's end, taller than the strip), a gap after which rows
// start again, an end before the last row, each layout; rows never added
// keep what they held.
TEST(GrayBands, WritesTheRowsAddedLikeTheLiteralRuleWhateverTheBands)
{
    std::mt19937 rng(5);
    const auto random = [&](int width, int height) {
        QImage picture(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
            for (int x = 0; x < width; ++x)
                line[x] = qRgb(rng() % 256, rng() % 256, rng() % 256);
        }
        return picture;
    };
    using Bands = std::vector<std::pair<int, int>>;  // (first row, rows), in the order added
    const Bands orders[] = {
        {{0, 32}, {32, 32}, {64, 636}},
        {{0, 1}, {1, 255}, {256, 1}, {257, 300}, {557, 143}},
        {{0, 700}},
        {{0, 100}, {300, 400}},  // rows 100 .. 299 never come
        {{0, 64}, {64, 100}},    // nor the rows after 163: written at the end
    };
    // A picture too wide for 256 rows in 8 MB takes a shorter strip, filled more often.
    std::vector<std::pair<QImage, Bands>> cases = {
        {random(40000, 300), {{0, 100}, {100, 150}, {250, 50}}}};
    const QImage tall = random(45, 700);
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_Grayscale8,
                                        QImage::Format_RGB888, QImage::Format_RGB16})
        for (const Bands& bands : orders)
            cases.emplace_back(tall.convertToFormat(format), bands);
    for (const auto& [picture, bands] : cases) {
        const int width = picture.width(), height = picture.height();
        GrayImage gray = NewGrayImage(width, height);
        for (int x = 0; x < width; ++x)
            std::fill_n(gray[x], height, std::uint8_t{7});
        std::vector<bool> added(static_cast<std::size_t>(height), false);
        {
            GrayBands grayBands(picture, gray);
            for (const auto& [first, rows] : bands) {
                grayBands.Add(first, rows);
                std::fill_n(added.begin() + first, rows, true);
            }
        }
        const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(gray[x][y], added[static_cast<std::size_t>(y)]
                                          ? LiteralGray(argb.pixel(x, y))
                                          : 7)
                    << "format " << picture.format() << ", " << width << " wide, " << bands.size()
                    << " bands, at " << x << "," << y;
    }
}

TEST(ReadPictureFile, GivesTheGrayImageOfThePictureItReturns)
{
    QTemporaryDir dir;
    std::mt19937 rng(31);
    std::vector<Kind> kinds = EveryKind(dir);
    // Many bands of rows; a JPEG its orientation tag turns a quarter clockwise
    // (the gray image follows the turned picture); an XPM, which Qt reads.
    QImage tall(45, 301, QImage::Format_RGB32);
    for (int y = 0; y < tall.height(); ++y)
        for (int x = 0; x < tall.width(); ++x)
            tall.setPixel(x, y, qRgb(rng() % 256, rng() % 256, rng() % 256));
    kinds.push_back({"png tall", QtFile(tall, "png")});
    kinds.push_back({"jpeg tall", QtFile(tall, "jpeg")});
    kinds.push_back({"jpeg gray tall", QtFile(tall.convertToFormat(QImage::Format_Grayscale8), "jpeg")});
    kinds.push_back({"bmp tall", BmpFile(rng, 24, false, 0, 40, 2835, 1001)});
    kinds.push_back({"pgm tall", PnmFile(rng, true, "\n37 1001\n255\n", 1001)});
    const char exif[] = "\xFF\xE1\x00\x22" "Exif\0\0" "II*\0\x08\0\0\0" "\x01\0"
                        "\x12\x01\x03\0\x01\0\0\0\x06\0\0\0" "\0\0\0\0";
    kinds.push_back({"jpeg turned", QtFile(tall, "jpeg").insert(2, exif, sizeof exif - 1)});
    kinds.push_back({"xpm by qt", QtFile(RandomPicture(rng, QImage::Format_RGB32), "xpm")});
    for (const Kind& kind : kinds) {
        // Whole, and cut inside its pixels: then read by Qt or refused.
        for (const qint64 kept : {kind.bytes.size(), kind.bytes.size() * 2 / 3}) {
            const QString path = Write(dir, QStringLiteral("picture"), kind.bytes.left(kept));
            const std::string name = kind.name + " of " + std::to_string(kept) + " bytes";
            const Outcome alone = Read(path, true);
            for (const int workers : {1, 2, 3}) {
                SetWorkerCount(workers);
                GrayImage gray;
                QImage picture;
                std::string error;
                try {
                    picture = ReadPictureFile(path, gray);
                } catch (const PictureError& e) {
                    error = e.what();
                }
                ASSERT_EQ(error, alone.error) << name;
                if (!error.empty())
                    continue;
                ExpectSamePicture(picture, alone.picture, name);
                ASSERT_TRUE(gray) << name;
                const QImage argb = alone.picture.convertToFormat(QImage::Format_ARGB32);
                for (int x = 0; x < picture.width(); ++x)
                    for (int y = 0; y < picture.height(); ++y)
                        ASSERT_EQ(gray[x][y], LiteralGray(argb.pixel(x, y)))
                            << name << " on " << workers << " threads at " << x << "," << y;
            }
            SetWorkerCount(0);
        }
    }
    const QByteArray& turnedBytes = kinds[kinds.size() - 2].bytes;
    const Outcome turned = Read(Write(dir, QStringLiteral("turned.jpg"), turnedBytes), true);
    EXPECT_EQ(turned.picture.size(), QSize(301, 45));  // the tag is read: the test tests a turn
}

// Every width around the 16-pixel steps and a long row, either byte order,
// with and without gray values, on every vector level this processor has.
TEST(PackedRowToPixels, GivesThePixelsAndGrayOfTheLiteralRuleAtEveryVectorLevel)
{
    std::mt19937 rng(11);
    for (const VectorLevel level : kVectorLevels) {
        if (level > ProcessorVectorLevel())
            continue;
        const ScopedVectorLimit limit(level);
        for (const int width : {0, 1, 15, 16, 17, 31, 32, 33, 47, 48, 49, 8000}) {
            // Extreme samples first: every sum up to 765 meets the division.
            std::vector<uchar> in = RandomBytes(rng, 3 * static_cast<std::size_t>(width));
            for (int k = 0; k < 3 * std::min(width, 2); ++k)
                in[static_cast<std::size_t>(k)] = k < 3 ? 255 : 0;
            for (const bool bgr : {false, true}) {
                // Pixels at a 64-byte boundary (streamed) or 4 bytes past one.
                const std::size_t shift = bgr ? 1 : 0;
                std::vector<std::uint32_t> storage(static_cast<std::size_t>(width) + 18,
                                                   0xDEADBEEF);
                auto* start = reinterpret_cast<std::uint32_t*>(
                    (reinterpret_cast<std::uintptr_t>(storage.data()) + 63) / 64 * 64);
                std::span<std::uint32_t> out(start + shift, static_cast<std::size_t>(width) + 1);
                std::vector<std::uint8_t> gray(static_cast<std::size_t>(width) + 1, 7);
                PackedRowToPixels(in.data(), bgr, out.data(), gray.data(), width);
                std::vector<std::uint32_t> alone(static_cast<std::size_t>(width) + 1, 0xDEADBEEF);
                PackedRowToPixels(in.data(), bgr, alone.data(), nullptr, width);
                const std::string name = std::string(VectorLevelName(level)) + ", width " +
                                         std::to_string(width) + (bgr ? ", BGR" : ", RGB");
                for (int x = 0; x < width; ++x) {
                    const uchar* p = in.data() + 3 * x;
                    const int r = bgr ? p[2] : p[0], b = bgr ? p[0] : p[2];
                    ASSERT_EQ(out[static_cast<std::size_t>(x)], qRgb(r, p[1], b)) << name << " at " << x;
                    ASSERT_EQ(gray[static_cast<std::size_t>(x)], (p[0] + p[1] + p[2]) / 3) << name << " at " << x;
                }
                EXPECT_TRUE(std::equal(alone.begin(), alone.end(), out.begin())) << name;
                EXPECT_EQ(out.back(), 0xDEADBEEF) << name << ": wrote past the row";
                EXPECT_EQ(gray.back(), 7) << name << ": wrote past the row";
            }
        }
    }
}
