// platform/PictureFiles.cpp
#include "PictureFiles.h"

#include "Rows.h"

#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <vector>

namespace {

// Pictures are converted in strips of this many rows, which stay in the cache
// while they are turned into columns.
constexpr int kStrip = 32;
// Qt refuses pictures over 128 MB by default; a 16000 x 16000 RGBA picture needs 1 GB.
constexpr int kAllocationLimitMb = 4096;

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

QImage ReadPictureFile(const QString& path)
{
    QImageReader::setAllocationLimit(kAllocationLimitMb);
    QImageReader reader(path);
    reader.setAutoTransform(false);
    QImage picture = reader.read();
    if (picture.isNull()) {
        QString reason = reader.errorString();
        if (reader.error() == QImageReader::UnknownError && !reader.size().isEmpty())
            reason = QStringLiteral("%1 x %2 pixels do not fit in memory")
                         .arg(reader.size().width())
                         .arg(reader.size().height());
        throw PictureError(QStringLiteral("Cannot read the picture \"%1\": %2")
                               .arg(QFileInfo(path).fileName(), reason)
                               .toStdString());
    }
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
    ColumnsToRows(image, width, height, picture.bits(), picture.bytesPerLine());
    return picture;
}
