// platform/PictureFiles.cpp
#include "PictureFiles.h"

#include "Rows.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <vector>

namespace {

// Pictures are converted in strips of this many rows, which stay in the cache
// while they are turned into columns.
constexpr int kStrip = 32;
// Qt refuses pictures over 128 MB by default; a 16000 x 16000 RGBA picture needs 1 GB.
std::atomic<int> allocationLimitMb{4096};

// What the header of an uncompressed bitmap (BMP) file promises. Qt's reader
// stops quietly at the end of a short file and leaves the rows it did not read
// as they were allocated, whatever the memory held; so a file must hold every
// row its header promises before Qt reads it. valid is false for any other file.
struct BitmapHeader {
    bool valid = false;
    int width = 0, height = 0;  // height without its sign (negative: top-down rows)
    qint64 fileBytes = 0, neededBytes = 0;
};

std::uint32_t LittleEndian(const QByteArray& bytes, int at, int size)
{
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return v;
}

BitmapHeader ReadBitmapHeader(const QString& path)
{
    BitmapHeader h;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return h;
    const QByteArray head = file.read(34);
    if (head.size() < 26 || !head.startsWith("BM"))
        return h;
    const std::uint32_t pixelsAt = LittleEndian(head, 10, 4), infoSize = LittleEndian(head, 14, 4);
    std::int64_t width = 0, height = 0, bits = 0, compression = 0;
    if (infoSize == 12) {  // the old core header: 16-bit sizes, never compressed
        width = static_cast<std::int16_t>(LittleEndian(head, 18, 2));
        height = static_cast<std::int16_t>(LittleEndian(head, 20, 2));
        bits = LittleEndian(head, 24, 2);
    } else if (infoSize >= 40 && head.size() >= 34) {
        width = static_cast<std::int32_t>(LittleEndian(head, 18, 4));
        height = static_cast<std::int32_t>(LittleEndian(head, 22, 4));
        bits = LittleEndian(head, 28, 2);
        compression = LittleEndian(head, 30, 4);
    } else {
        return h;
    }
    // Run-length data has no fixed size (Qt refuses it short); every other
    // kind stores its rows whole, each padded to four bytes.
    constexpr std::int64_t kRgb = 0, kBitFields = 3, kAlphaBitFields = 6;
    if ((compression != kRgb && compression != kBitFields && compression != kAlphaBitFields) ||
        width <= 0 || height == 0 || height == INT32_MIN || bits == 0 || bits > 32)
        return h;
    height = std::abs(height);
    h.valid = true;
    h.width = static_cast<int>(width);
    h.height = static_cast<int>(height);
    h.fileBytes = file.size();
    // A row is under 2^37 bytes, but rows times a height near 2^31 pass 2^63:
    // such a file is short whatever it holds.
    const std::int64_t rowBytes = (width * bits + 31) / 32 * 4;
    const std::int64_t pixels = static_cast<std::int64_t>(pixelsAt);
    h.neededBytes =
        height > (INT64_MAX - pixels) / rowBytes ? INT64_MAX : pixels + rowBytes * height;
    return h;
}

std::uint8_t GrayOf(int r, int g, int b) { return static_cast<std::uint8_t>((r + g + b) / 3); }

// (r + g + b) / 3 of a 0xAARRGGBB pixel, as a multiply and shift that the
// compiler turns into vector code: exact for every sum up to 765.
std::uint8_t GrayOfPixel(std::uint32_t p)
{
    const std::uint32_t sum = ((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255);
    return static_cast<std::uint8_t>((sum * 43691u) >> 17);
}

// Gray values of picture rows [y0, y0 + rows) into strip (row-major, width per row).
void GrayRows(const QImage& picture, int y0, int rows, std::uint8_t* strip)
{
    const int width = picture.width();
    const QImage::Format format = picture.format();
    if (format == QImage::Format_RGB32 || format == QImage::Format_ARGB32) {
        for (int r = 0; r < rows; ++r) {
            const auto* line = reinterpret_cast<const std::uint32_t*>(picture.constScanLine(y0 + r));
            std::uint8_t* out = strip + static_cast<std::size_t>(r) * width;
            for (int x = 0; x < width; ++x)
                out[x] = GrayOfPixel(line[x]);
        }
    } else if (format == QImage::Format_RGB888 || format == QImage::Format_BGR888) {
        for (int r = 0; r < rows; ++r) {
            const std::uint8_t* line = picture.constScanLine(y0 + r);
            std::uint8_t* out = strip + static_cast<std::size_t>(r) * width;
            for (int x = 0; x < width; ++x)
                out[x] = GrayOf(line[3 * x], line[3 * x + 1], line[3 * x + 2]);
        }
    } else if (format == QImage::Format_Grayscale8) {
        for (int r = 0; r < rows; ++r)
            std::copy_n(picture.constScanLine(y0 + r), width,
                        strip + static_cast<std::size_t>(r) * width);
    } else if (format == QImage::Format_Indexed8) {
        std::array<std::uint8_t, 256> table{};
        const QList<QRgb> colours = picture.colorTable();
        for (int i = 0; i < static_cast<int>(colours.size()) && i < 256; ++i)
            table[static_cast<std::size_t>(i)] =
                GrayOf(qRed(colours[i]), qGreen(colours[i]), qBlue(colours[i]));
        for (int r = 0; r < rows; ++r) {
            const std::uint8_t* line = picture.constScanLine(y0 + r);
            std::uint8_t* out = strip + static_cast<std::size_t>(r) * width;
            for (int x = 0; x < width; ++x)
                out[x] = table[line[x]];
        }
    } else {
        // Any other layout (1 bit, 16 bits a channel, premultiplied alpha, ...):
        // convert this strip only, to 8-bit unpremultiplied ARGB.
        const QImage part = picture.copy(0, y0, width, rows).convertToFormat(QImage::Format_ARGB32);
        GrayRows(part, 0, rows, strip);
    }
}

}  // namespace

int PictureMemoryLimit() { return allocationLimitMb.load(); }
void SetPictureMemoryLimit(int megabytes) { allocationLimitMb.store(megabytes); }

QImage ReadPictureFile(const QString& path)
{
    const int limitMb = allocationLimitMb.load();
    QImageReader::setAllocationLimit(limitMb);
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const auto fail = [&](const QString& reason) {
        return PictureError(QStringLiteral("Cannot read the picture \"%1\": %2")
                                .arg(QFileInfo(path).fileName(), reason)
                                .toStdString());
    };
    // The size the header claims, asked before the pixels are read (afterwards
    // the reader no longer knows it). Qt's bitmap reader tells none for sizes it
    // refuses, so a bitmap's own header is read too.
    const BitmapHeader bitmap = ReadBitmapHeader(path);
    QSize claimed = reader.size();
    if (!claimed.isValid() && bitmap.valid)
        claimed = QSize(bitmap.width, bitmap.height);
    // Four bytes a pixel, as most pictures decode (and as the workspace takes
    // them: two gray images and a 24-bit view). Qt would refuse a larger one
    // only after trying, and with a vague "Unable to read image data".
    const double megabytes =
        claimed.isValid() ? 4.0 * claimed.width() * claimed.height() / (1 << 20) : 0.0;
    if (megabytes > limitMb)
        throw fail(QStringLiteral("its %1 x %2 pixels need %3 MB, more than the %4 MB a picture "
                                  "may take")
                       .arg(claimed.width())
                       .arg(claimed.height())
                       .arg(std::ceil(megabytes), 0, 'f', 0)
                       .arg(limitMb));
    if (bitmap.valid && bitmap.fileBytes < bitmap.neededBytes)
        throw fail(QStringLiteral("the file ends after %1 of the %2 bytes its pixels need")
                       .arg(bitmap.fileBytes)
                       .arg(bitmap.neededBytes));
    QImage picture = reader.read();
    if (picture.isNull())
        throw fail(reader.errorString());
    return picture;
}

void WritePictureFile(const QImage& picture, const QString& path)
{
    QByteArray format = QFileInfo(path).suffix().toLower().toLatin1();
    if (format.isEmpty() || !QImageWriter::supportedImageFormats().contains(format))
        format = "bmp";
    QSaveFile file(path);
    QString reason;
    if (!file.open(QIODevice::WriteOnly)) {
        reason = file.errorString();
    } else {
        QImageWriter writer(&file, format);
        if (!writer.write(picture))
            reason = writer.errorString();
        else if (!file.commit())
            reason = file.errorString();
    }
    if (!reason.isEmpty())
        throw PictureError(QStringLiteral("Cannot write the picture \"%1\": %2")
                               .arg(QFileInfo(path).fileName(), reason)
                               .toStdString());
}

GrayImage GrayFromPicture(const QImage& picture)
{
    const int width = picture.width(), height = picture.height();
    GrayImage image = NewGrayImage(width, height);
    if (!image || width == 0 || height == 0)
        return image;
    if (picture.format() == QImage::Format_Grayscale8) {
        RowsToColumns(picture.constBits(), picture.bytesPerLine(), width, height, image, 0);
        return image;
    }
    std::vector<std::uint8_t> strip(static_cast<std::size_t>(width) * kStrip);
    for (int y0 = 0; y0 < height; y0 += kStrip) {
        const int rows = std::min(kStrip, height - y0);
        GrayRows(picture, y0, rows, strip.data());
        RowsToColumns(strip.data(), width, width, rows, image, y0);
    }
    return image;
}

QImage PictureFromGray(const GrayImage& image, int width, int height)
{
    QImage picture(std::max(width, 0), std::max(height, 0), QImage::Format_Grayscale8);
    if (picture.isNull() || width <= 0 || height <= 0)
        return picture;
    // Large pages under the rows before they are first written: turning a tall
    // picture touches every row of a band at once.
    constexpr std::uintptr_t kLargePage = 2 << 20;
    const auto begin = reinterpret_cast<std::uintptr_t>(picture.bits());
    const std::uintptr_t first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const std::uintptr_t last = (begin + static_cast<std::uintptr_t>(picture.sizeInBytes())) &
                                ~(kLargePage - 1);
    if (last > first)
        AdviseLargeBlock(reinterpret_cast<void*>(first), last - first);
    ColumnsToRows(image, width, height, picture.bits(), picture.bytesPerLine());
    return picture;
}
